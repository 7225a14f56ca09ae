// Commands from the window: one handler per command type (the list of
// every command and its fields is at the top of viewer/wire_protocol.h),
// run one after the other; the long poll that fetches them; the start.

function pageUrl(name) {
    return '/' + String(name).replace(/^\/+/, '').split('/').map(encodeURIComponent).join('/');
}

function answer(id, result) { return post('answer', {id: id, result: result}); }

var handlers = {
    load: function(c) {
        leaving = true;
        remember('done', c.seq);
        flushInput();
        // Whatever was already said goes out before the page changes.
        return chain.then(function() {
            location.replace(pageUrl(c.page));
            return new Promise(function() {});
        });
    },
    follow: function(c) {
        leaving = true;
        remember('done', c.seq);
        return chain.then(function() {
            location.replace(c.url);
            return new Promise(function() {});
        });
    },
    message: function(c) {
        return messageBox(
                   c.title, c.text, c.icon === 'error' ? 'error' : 'warning',
                   [{label: ACCEPT, value: true}], true)
            .then(function() { return answer(c.id, true); });
    },
    question: function(c) {
        return messageBox(
                   c.title, c.text, c.icon === 'error' ? 'error' : 'question',
                   [{label: YES, value: true}, {label: NO, value: false}], false, NO_BY_DEFAULT)
            .then(function(yes) { return answer(c.id, yes); });
    },
    save: function(
        c) { return saveDialog(c).then(function(path) { return answer(c.id, path || null); }); },
    show: function(c) {
        var el = controls[c.index];
        if (!el)
            return;
        if (el.tagName === 'INPUT' && el.type === 'hidden')
            el.type = 'text';
        if (el.style.display === 'none')
            el.style.display = '';
        if (el.style.visibility === 'hidden')
            el.style.visibility = '';
    },
    focus: function(c) {
        var el = controls[c.index];
        if (!el)
            return;
        el.scrollIntoView({block: 'nearest', inline: 'nearest'});
        try {
            el.focus({preventScroll: true});
        } catch (e) {
            el.focus();
        }
        // Which focus command ran last: closing a box gives the focus back to
        // the control that had it, so the focus alone does not tell whether the
        // program's own focus step has happened yet.
        document.documentElement.setAttribute('data-reqwiz-focus', String(c.seq));
    },
    text: function(c) {
        var el = controls[c.index];
        if (el && 'value' in el)
            el.value = c.text;
    },
    cursor: function(c) { document.documentElement.classList.toggle('reqwiz-wait', !!c.wait); },
    collect: function(c) {
        if (c.on)
            showCollection(c.need);
        else
            hideCollection();
    },
    progress: function(c) { setCollectionProgress(c.value); },
    files: function(c) { showResultBand(c); },
    close: function(c) {
        leaving = true;
        remember('done', c.seq);
        flushInput();
        return chain.then(function() {
            window.close();
            // A window the browser does not let the page close stays: say so.
            setTimeout(function() {
                document.body.textContent = '';
                document.body.appendChild(element(
                    'p', 'reqwiz-ended', 'El programa ha terminado. Puede cerrar esta ventana.'));
            }, 500);
            return new Promise(function() {});
        });
    }
};

function runNext() {
    if (running || leaving || !queue.length)
        return;
    var command = queue.shift();
    running = true;
    var handler = handlers[command.type];
    var result;
    try {
        result = handler ? handler(command) : undefined;
    } catch (e) {
        result = undefined;
    }
    var finished = function() {
        running = false;
        if (leaving)
            return;
        done = command.seq;
        remember('done', done);
        runNext();
    };
    Promise.resolve(result).then(finished, finished);
}

// The commands of a poll's answer (or of the hello's) that are new.
function take(body) {
    ((body && body.commands) || []).forEach(function(c) {
        if (c.seq > have) {
            have = c.seq;
            queue.push(c);
        }
    });
    runNext();
}

function poll() {
    if (leaving)
        return;
    fetch(
        BASE + 'poll?done=' + done + '&have=' + have,
        {credentials: 'same-origin', cache: 'no-store'})
        .then(function(r) {
            if (!r.ok)
                throw new Error('poll ' + r.status);
            return r.json();
        })
        .then(
            function(body) {
                pollFailures = 0;
                document.documentElement.classList.remove('reqwiz-offline');
                take(body);
                poll();
            },
            function() {
                pollFailures++;
                if (pollFailures >= 5)
                    document.documentElement.classList.add('reqwiz-offline');
                setTimeout(poll, Math.min(2000, 100 * pollFailures));
            });
}

function start() {
    collectControls();
    if (config.title)
        document.title = config.title;
    // The hello's answer brings the commands already waiting.
    post('hello', function() {
        return {
            page: pageId,
            done: done,
            have: have,
            controls: controls.map(function(
                el) { return {name: controlName(el), visible: isVisible(el)}; })
        };
    }).then(function(body) {
        take(body);
        poll();
    });
}

if (document.readyState === 'loading')
    document.addEventListener('DOMContentLoaded', start);
else
    start();
