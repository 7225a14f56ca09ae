// The page shim: injected into every page the wizard's window shows. It makes
// the browser behave as the wizard's page viewer:
//   - reports every click on a form control (with its onClick text) and every
//     form submission (action and name=value lines in document order) to the
//     program, in the order they happen, and never lets the browser submit a
//     form itself;
//   - fetches the window's commands (load a page, message box, question, save
//     dialog, focus/show a control, set its text, cursor, the collection
//     overlay and its progress, close) and runs them one after the other;
//   - reports the user's mouse and key input in batches for the random pool.
// The page keeps no history: every page change replaces the current entry.
// This file is ASCII only: pages are ISO-8859-1, so other characters are
// written as \u escapes.
(function() {
'use strict';
if (window.__reqwizShim)
    return;
window.__reqwizShim = true;

var config = /*REQWIZ_CONFIG*/ null || {};
var BASE = '/__reqwiz/';
var pageId = Math.random().toString(36).slice(2) + Date.now().toString(36);

var storage = null;
try {
    storage = window.sessionStorage;
} catch (e) {
    storage = null;
}
function recall(key) {
    try {
        return storage ? storage.getItem('reqwiz.' + key) : null;
    } catch (e) {
        return null;
    }
}
function remember(key, value) {
    try {
        if (storage)
            storage.setItem('reqwiz.' + key, String(value));
    } catch (e) { /* none */
    }
}

// Commands: `done` is the last one finished, `have` the highest received.
var done = Number(recall('done')) || 0;
var have = done;
var queue = [];
var running = false;
var leaving = false;  // a page change or close is under way: run nothing more
var modalDepth = 0;   // dialogs of the shim open on top of the page
var controls = [];    // the page's form controls in document order
var pollFailures = 0;

// ---------------------------------------------------------------------
// Talking to the program. Posts go out one after the other, so the program
// sees clicks, submissions and answers in the order they happened.

var chain = Promise.resolve();
function post(what, body) {
    if (what !== 'input')
        flushInput();
    var text = JSON.stringify(body || {});
    chain = chain.then(function() {
        return fetch(BASE + what, {
                   method: 'POST',
                   credentials: 'same-origin',
                   cache: 'no-store',
                   headers: {'Content-Type': 'application/json'},
                   body: text
               })
            .then(function() {}, function() {});
    });
    return chain;
}

// ---------------------------------------------------------------------
// Form controls

function isLayer(el) { return !!(el && el.closest && el.closest('.reqwiz-layer')); }

function collectControls() {
    controls = Array.prototype.filter.call(
        document.querySelectorAll('input, select, textarea, button'),
        function(el) { return !isLayer(el); });
    // The onClick text is data for the program, not script for the browser.
    controls.forEach(function(el) {
        if (el.hasAttribute('onclick')) {
            el.setAttribute('data-reqwiz-click', el.getAttribute('onclick'));
            el.removeAttribute('onclick');
        }
    });
    keepFieldsUnsaved();
}

// Nothing typed in the wizard may be offered for saving, kept or filled in
// again, by the browser or by a password manager added to it: the forms and
// their fields say so in every way those read. A password field asks for a
// "new" password, which no browser fills in from what it has kept.
var TEXT_FIELD = {'': 1, text: 1, search: 1, email: 1, tel: 1, url: 1, number: 1};
function keepFieldsUnsaved() {
    Array.prototype.forEach.call(document.forms, function(form) {
        form.setAttribute('autocomplete', 'off');
    });
    controls.forEach(function(el) {
        var password = el.tagName === 'INPUT' && typeOf(el) === 'password';
        var text = el.tagName === 'TEXTAREA' || (el.tagName === 'INPUT' && TEXT_FIELD[typeOf(el)]);
        if (!password && !text)
            return;
        el.setAttribute('autocomplete', password ? 'new-password' : 'off');
        el.setAttribute('data-lpignore', 'true');
        el.setAttribute('data-1p-ignore', 'true');
        el.setAttribute('data-bwignore', 'true');
        el.setAttribute('data-form-type', 'other');
    });
}

function clickText(el) { return el.getAttribute('data-reqwiz-click') || ''; }
function controlName(el) { return el.name || el.id || ''; }
function typeOf(el) { return (el.getAttribute('type') || el.type || '').toLowerCase(); }

function isVisible(el) {
    if (el.tagName === 'INPUT' && el.type === 'hidden')
        return false;
    return el.getClientRects().length > 0 && getComputedStyle(el).visibility !== 'hidden';
}

function submits(el) {
    var type = typeOf(el);
    if (el.tagName === 'BUTTON')
        return type === '' || type === 'submit';
    return el.tagName === 'INPUT' && (type === 'image' || type === 'submit');
}

// The lines a form submits: one per control of the form, in document order.
// Text, password and hidden fields give name=value even when empty; a
// select gives its selected option's value; the clicked image button gives
// name.x and name.y; plain buttons and other image buttons give nothing.
// Controls outside any form make up a form of their own with no action.
function linesOf(form, clicked, x, y) {
    var lines = [];
    controls.forEach(function(el) {
        if ((el.form || null) !== form || el.disabled)
            return;
        var name = el.name;
        if (!name)
            return;
        var type = typeOf(el);
        if (el.tagName === 'SELECT') {
            for (var i = 0; i < el.options.length; i++) {
                if (el.options[i].selected) {
                    lines.push(name + '=' + el.options[i].value);
                    if (!el.multiple)
                        break;
                }
            }
        } else if (el.tagName === 'TEXTAREA') {
            lines.push(name + '=' + el.value);
        } else if (el.tagName === 'BUTTON' || type === 'submit') {
            if (el === clicked)
                lines.push(name + '=' + el.value);
        } else if (type === 'image') {
            if (el === clicked) {
                lines.push(name + '.x=' + x);
                lines.push(name + '.y=' + y);
            }
        } else if (type === 'checkbox' || type === 'radio') {
            if (el.checked)
                lines.push(name + '=' + (el.hasAttribute('value') ? el.value : 'on'));
        } else if (type !== 'button' && type !== 'reset' && type !== 'file') {
            lines.push(name + '=' + el.value);
        }
    });
    return lines;
}

function submit(form, clicked, x, y) {
    var attr = function(name) { return form ? (form.getAttribute(name) || '') : ''; };
    post('submit', {
        action: attr('action'),
        target: attr('target'),
        enctype: attr('enctype'),
        method: attr('method'),
        lines: linesOf(form, clicked, x, y)
    });
}

// Clicks on buttons, image buttons, text and password fields.
document.addEventListener('click', function(e) {
    var target = e.target;
    if (!target || !target.closest || isLayer(target))
        return;
    var link = target.closest('a[href]');
    var control = target.closest('input, textarea, button');
    if (control && submits(control))
        e.preventDefault();
    if (modalDepth > 0 || leaving) {
        if (link)
            e.preventDefault();
        return;
    }
    if (control) {
        if (control.disabled)
            return;
        post('click', {name: controlName(control), onclick: clickText(control)});
        if (submits(control)) {
            var x = 0, y = 0;
            // A click with the mouse gives the position inside the image; one
            // from the keyboard gives 0,0.
            if (typeOf(control) === 'image' && e.detail > 0) {
                x = Math.max(0, Math.round(e.offsetX));
                y = Math.max(0, Math.round(e.offsetY));
            }
            submit(control.form || null, control, x, y);
        }
        return;
    }
    if (link) {
        e.preventDefault();
        post('link', {target: link.getAttribute('target') || '', url: link.getAttribute('href')});
    }
}, true);

// A select is reported when the mouse goes down on it: that opens its list,
// and no click follows.
document.addEventListener('mousedown', function(e) {
    if (modalDepth > 0 || leaving || e.button !== 0)
        return;
    var select = e.target && e.target.closest ? e.target.closest('select') : null;
    if (select && !isLayer(select) && !select.disabled)
        post('click', {name: controlName(select), onclick: clickText(select)});
}, true);

// Enter in a one-line text or password field submits its form, without a
// click. Keeping the browser from handling the key also keeps it from
// clicking the form's first image button on its own.
var ONE_LINE = {'': 1, text: 1, password: 1, search: 1, email: 1, tel: 1, url: 1, number: 1};
document.addEventListener('keydown', function(e) {
    if (e.key !== 'Enter' || e.isComposing || e.altKey || e.ctrlKey || e.metaKey)
        return;
    var el = e.target;
    if (!el || el.tagName !== 'INPUT' || !ONE_LINE[typeOf(el)] || isLayer(el))
        return;
    e.preventDefault();
    if (modalDepth > 0 || leaving)
        return;
    submit(el.form || null, null, 0, 0);
}, true);

// Whatever else tries to submit a form natively is stopped.
document.addEventListener('submit', function(e) { e.preventDefault(); }, true);

// ---------------------------------------------------------------------
// Input events for the random pool: [kind, x, y, key, time in ms].

var input = [];
var inputTimer = 0;
function stamp(e) { return Math.floor(performance.timeOrigin + e.timeStamp) % 4294967296; }
function record(kind, x, y, key, e) {
    input.push([kind, Math.round(x) | 0, Math.round(y) | 0, key | 0, stamp(e)]);
    if (input.length >= 200)
        flushInput();
    else if (!inputTimer)
        inputTimer = setTimeout(flushInput, 150);
}
function flushInput() {
    if (inputTimer) {
        clearTimeout(inputTimer);
        inputTimer = 0;
    }
    if (!input.length)
        return;
    var batch = input;
    input = [];
    post('input', {events: batch});
}
// Positions are the page's own coordinates; only the left, middle and right
// buttons count as button events.
function recordButton(kind, e) {
    if (e.button >= 0 && e.button <= 2)
        record(kind, e.pageX, e.pageY, e.button, e);
}
document.addEventListener('mousemove', function(e) { record(0, e.pageX, e.pageY, 0, e); }, true);
document.addEventListener('mousedown', function(e) { recordButton(1, e); }, true);
document.addEventListener('mouseup', function(e) { recordButton(2, e); }, true);
document.addEventListener('keydown', function(e) { record(3, 0, 0, e.keyCode, e); }, true);

window.addEventListener('pagehide', function() {
    if (input.length && navigator.sendBeacon)
        navigator.sendBeacon(BASE + 'input', JSON.stringify({events: input}));
    input = [];
    if (navigator.sendBeacon)
        navigator.sendBeacon(BASE + 'bye', JSON.stringify({page: pageId}));
});

// ---------------------------------------------------------------------
// The collection overlay of the entropy step. It covers the window (the
// whole screen where the browser lets the page go full screen), stays in
// front of everything and shows a panel three quarters of the width wide,
// centred a little above the middle, with the title strip "Avance" and a
// progress bar. The input listeners above go on reporting every move and
// key meanwhile; the program moves the bar and takes the overlay away once
// it has the events it needs.

var collecting = null;

function showCollection() {
    if (collecting)
        return;
    var layer = element('div', 'reqwiz-collect');
    var panel = element('div', 'reqwiz-collect-panel');
    var bar = element('progress', 'reqwiz-collect-bar');
    bar.setAttribute('max', '100');
    bar.setAttribute('value', '0');
    panel.appendChild(element('div', 'reqwiz-collect-title', 'Avance'));
    panel.appendChild(bar);
    layer.appendChild(panel);
    document.body.appendChild(layer);
    collecting = {layer: layer, bar: bar};
    // Keys typed now must not reach a field of the page.
    if (document.activeElement && document.activeElement.blur)
        document.activeElement.blur();
    // Going full screen needs a recent user action (the OK of the message
    // just before); where the browser refuses, the overlay covers the window.
    var root = document.documentElement;
    if (root.requestFullscreen && !document.fullscreenElement) {
        try {
            root.requestFullscreen().catch(function() {});
        } catch (e) { /* refused */
        }
    }
}

function setCollectionProgress(value) {
    if (collecting)
        collecting.bar.setAttribute('value', String(Math.max(0, Math.min(100, value | 0))));
}

function hideCollection() {
    if (!collecting)
        return;
    if (collecting.layer.parentNode)
        collecting.layer.parentNode.removeChild(collecting.layer);
    collecting = null;
    if (document.fullscreenElement && document.exitFullscreen)
        document.exitFullscreen().catch(function() {});
}

// Registered after the input listeners, so that the keys still count.
document.addEventListener('keydown', function(e) {
    if (collecting)
        e.preventDefault();
}, true);

// ---------------------------------------------------------------------
// Dialogs drawn in the page. Each returns a promise of the user's answer.

var ICONS = {
    warning: '<svg viewBox="0 0 32 32" aria-hidden="true"><path d="M16 2 L31 29 H1 Z" ' +
        'fill="#f6c400" stroke="#8a6d00" stroke-width="1.2"/><rect x="14.4" y="10" width="3.2" ' +
        'height="10" fill="#000"/><rect x="14.4" y="22.5" width="3.2" height="3.2" fill="#000"/></svg>',
    error: '<svg viewBox="0 0 32 32" aria-hidden="true"><circle cx="16" cy="16" r="14.5" ' +
        'fill="#d32f2f" stroke="#8e1b1b" stroke-width="1.2"/><path d="M10.5 10.5 L21.5 21.5 ' +
        'M21.5 10.5 L10.5 21.5" stroke="#fff" stroke-width="3.2" stroke-linecap="round"/></svg>',
    question: '<svg viewBox="0 0 32 32" aria-hidden="true"><circle cx="16" cy="16" r="14.5" ' +
        'fill="#2f6fd3" stroke="#1b3f8e" stroke-width="1.2"/><text x="16" y="23" ' +
        'text-anchor="middle" font-size="20" font-weight="bold" fill="#fff" ' +
        'font-family="Arial, sans-serif">?</text></svg>'
};

function element(tag, className, text) {
    var el = document.createElement(tag);
    if (className)
        el.className = className;
    if (text !== undefined)
        el.textContent = text;
    return el;
}

// A modal layer over the page with a box: title bar, content, buttons.
// `buttons`: [{label, value}]; the one at `defaultIndex` (the first when not
// given) has the focus and answers Enter. `cancel` is the value of Escape.
// Keeps the focus inside the box while it is open.
function openBox(title, content, buttons, cancel, extraClass, defaultIndex) {
    return new Promise(function(resolve) {
        var before = document.activeElement;
        var layer = element('div', 'reqwiz-layer');
        var box = element('div', 'reqwiz-box' + (extraClass ? ' ' + extraClass : ''));
        box.setAttribute('role', 'dialog');
        box.setAttribute('aria-modal', 'true');
        box.setAttribute('aria-label', title);
        box.appendChild(element('div', 'reqwiz-title', title));
        box.appendChild(content);
        var row = element('div', 'reqwiz-buttons');
        var finished = false;
        function finish(value) {
            if (finished)
                return;
            finished = true;
            layer.remove();
            modalDepth--;
            if (before && before.focus && document.contains(before) && modalDepth === 0) {
                try {
                    before.focus({preventScroll: true});
                } catch (e) { /* none */
                }
            }
            resolve(value);
        }
        var made = buttons.map(function(choice) {
            var button = element('button', 'reqwiz-button', choice.label);
            button.type = 'button';
            button.addEventListener('click', function() {
                if (choice.check) {
                    Promise.resolve(choice.check()).then(function(result) {
                        if (result !== undefined)
                            finish(result);
                    });
                } else {
                    finish(choice.value);
                }
            });
            row.appendChild(button);
            return button;
        });
        box.appendChild(row);
        layer.appendChild(box);
        layer.addEventListener('keydown', function(e) {
            if (e.key === 'Escape') {
                e.preventDefault();
                e.stopPropagation();
                finish(cancel);
            } else if (e.key === 'Tab') {
                var focusable = Array.prototype.filter.call(
                    box.querySelectorAll('button, input, select, [tabindex]'),
                    function(el) { return !el.disabled && el.getClientRects().length > 0; });
                if (!focusable.length)
                    return;
                var at = focusable.indexOf(document.activeElement);
                var next = e.shiftKey ? (at <= 0 ? focusable.length - 1 : at - 1) :
                                        (at + 1) % focusable.length;
                e.preventDefault();
                focusable[next].focus();
            }
        });
        // Clicks outside the box do nothing, as with a system dialog.
        layer.addEventListener('mousedown', function(e) {
            if (e.target === layer)
                e.preventDefault();
        });
        modalDepth++;
        document.body.appendChild(layer);
        box.finish = finish;
        box.defaultButton = made[defaultIndex || 0];
        if (box.defaultButton)
            box.defaultButton.focus();
        layer.box = box;
        box.layer = layer;
        content.dispatchEvent(new CustomEvent('reqwiz-open', {detail: box}));
    });
}

// A message box: an icon, the text as the window gave it (line breaks at
// its end included), and the given buttons.
function messageBox(title, text, icon, buttons, cancel, defaultIndex) {
    var content = element('div', 'reqwiz-body');
    var picture = element('span', 'reqwiz-icon reqwiz-icon-' + icon);
    picture.innerHTML = ICONS[icon] || ICONS.warning;
    content.appendChild(picture);
    content.appendChild(element('div', 'reqwiz-text', String(text)));
    return openBox(title, content, buttons, cancel, 'reqwiz-message', defaultIndex);
}

// A question that replaces something answers No to a plain Enter.
var NO_BY_DEFAULT = 1;

var ACCEPT = 'Aceptar';
var YES = 'S\u00ed';
var NO = 'No';

// ---------------------------------------------------------------------
// The save dialog: browse folders through the program, type a name, the
// filter and default extension as given, ask before overwriting.

function parseFilter(filter) {
    var parts = String(filter || '').split('|');
    var list = [];
    for (var i = 0; i + 1 < parts.length; i += 2)
        list.push({label: parts[i], patterns: parts[i + 1].split(';')});
    if (!list.length)
        list.push({label: '*.*', patterns: ['*']});
    return list;
}

function matches(name, patterns) {
    var lower = name.toLowerCase();
    return patterns.some(function(pattern) {
        pattern = pattern.trim().toLowerCase();
        if (pattern === '*' || pattern === '*.*')
            return true;
        if (pattern.indexOf('*.') === 0) {
            var ext = pattern.slice(1);
            return lower.length > ext.length && lower.slice(-ext.length) === ext;
        }
        return lower === pattern;
    });
}

function joinPath(dir, name) {
    return dir === '/' ? '/' + name : dir.replace(/\/+$/, '') + '/' + name;
}

function listFolder(path) {
    return fetch(
               BASE + 'dir?path=' + encodeURIComponent(path || ''),
               {credentials: 'same-origin', cache: 'no-store'})
        .then(function(r) {
            return r.json().then(function(body) {
                body.ok = r.ok;
                return body;
            });
        })
        .catch(function() { return {ok: false, error: 'offline'}; });
}

function saveDialog(command) {
    var filters = parseFilter(command.filter);
    var extension = command.extension || '';
    var current = '';
    var entries = [];

    var content = element('div', 'reqwiz-save-body');
    var top = element('div', 'reqwiz-row');
    top.appendChild(element('label', 'reqwiz-label', 'Guardar en:'));
    var where = element('div', 'reqwiz-path');
    top.appendChild(where);
    var up = element('button', 'reqwiz-button reqwiz-up', '\u2191');
    up.type = 'button';
    up.title = 'Subir un nivel';
    top.appendChild(up);
    content.appendChild(top);

    var list = element('div', 'reqwiz-list');
    list.setAttribute('role', 'listbox');
    list.tabIndex = 0;
    content.appendChild(list);

    var problem = element('div', 'reqwiz-problem');
    content.appendChild(problem);

    var nameRow = element('div', 'reqwiz-row');
    nameRow.appendChild(element('label', 'reqwiz-label', 'Nombre:'));
    var nameInput = element('input', 'reqwiz-name');
    nameInput.type = 'text';
    nameInput.value = command.name || '';
    nameInput.setAttribute('autocomplete', 'off');
    nameRow.appendChild(nameInput);
    content.appendChild(nameRow);

    var typeRow = element('div', 'reqwiz-row');
    typeRow.appendChild(element('label', 'reqwiz-label', 'Tipo:'));
    var typeSelect = element('select', 'reqwiz-type');
    filters.forEach(function(f, i) {
        var option = element('option', '', f.label);
        option.value = String(i);
        typeSelect.appendChild(option);
    });
    typeRow.appendChild(typeSelect);
    content.appendChild(typeRow);

    var box = null;

    function render() {
        list.textContent = '';
        var patterns = filters[Number(typeSelect.value) || 0].patterns;
        entries.forEach(function(entry) {
            if (entry.name.charAt(0) === '.')
                return;
            if (!entry.dir && !matches(entry.name, patterns))
                return;
            var item = element(
                'div', 'reqwiz-item ' + (entry.dir ? 'reqwiz-folder' : 'reqwiz-file'), entry.name);
            item.setAttribute('role', 'option');
            item.addEventListener('click', function() {
                Array.prototype.forEach.call(
                    list.querySelectorAll('.reqwiz-selected'),
                    function(el) { el.classList.remove('reqwiz-selected'); });
                item.classList.add('reqwiz-selected');
                if (!entry.dir)
                    nameInput.value = entry.name;
            });
            item.addEventListener('dblclick', function() {
                if (entry.dir)
                    browse(joinPath(current, entry.name));
                else {
                    nameInput.value = entry.name;
                    accept();
                }
            });
            list.appendChild(item);
        });
    }

    function browse(path) {
        return listFolder(path).then(function(body) {
            if (!body.ok) {
                problem.textContent = 'No se puede abrir la carpeta ' + (body.path || path) + '.';
                return false;
            }
            problem.textContent = '';
            current = body.path;
            entries = body.entries || [];
            // The folder's end matters most: the box cuts the path at its start.
            where.textContent = '';
            where.appendChild(element('span', 'reqwiz-path-text', current));
            where.title = current;
            render();
            list.scrollTop = 0;
            return true;
        });
    }

    // Resolves the typed name; answers the chosen full path, or undefined to
    // keep the dialog open.
    function accept() {
        var typed = nameInput.value.trim();
        if (!typed) {
            nameInput.focus();
            return undefined;
        }
        var full = typed.charAt(0) === '/' ? typed : joinPath(current, typed);
        if (/\/$/.test(full) || typed === '..' || typed === '.') {
            var target = typed === '..' ? (current.replace(/\/[^\/]*$/, '') || '/') : full;
            return browse(target).then(function() {
                nameInput.value = '';
                return undefined;
            });
        }
        var slash = full.lastIndexOf('/');
        var dir = slash <= 0 ? '/' : full.slice(0, slash);
        var base = full.slice(slash + 1);
        return listFolder(dir).then(function(body) {
            if (!body.ok) {
                return messageBox(
                           'Guardar como', 'La carpeta no existe:\n' + dir, 'warning',
                           [{label: ACCEPT, value: true}], true)
                    .then(function() {
                        nameInput.focus();
                        return undefined;
                    });
            }
            var same = (body.entries || []).filter(function(e) { return e.name === base; })[0];
            if (same && same.dir) {
                current = body.path;
                entries = body.entries || [];
                return browse(joinPath(body.path, base)).then(function() {
                    nameInput.value = '';
                    return undefined;
                });
            }
            // The default extension goes on a name that has none.
            if (extension && base.indexOf('.') < 0) {
                base += extension;
                same = (body.entries || []).filter(function(e) { return e.name === base; })[0];
            }
            var chosen = joinPath(body.path, base);
            // The window keeps file names in ISO-8859-1: a name with any
            // other character would reach it changed, so it is refused here.
            if (/[^\u0000-\u00ff]/.test(chosen)) {
                return messageBox(
                           'Guardar como',
                           chosen + '\ntiene un car\u00e1cter que no est\u00e1 permitido (como ' +
                               'el signo del euro): use solo letras, n\u00fameros y signos del ' +
                               'alfabeto latino.',
                           'warning', [{label: ACCEPT, value: true}], true)
                    .then(function() {
                        nameInput.focus();
                        return undefined;
                    });
            }
            if (same && same.dir) {
                return messageBox(
                           'Guardar como', chosen + '\nes una carpeta.', 'warning',
                           [{label: ACCEPT, value: true}], true)
                    .then(function() { return undefined; });
            }
            if (!same)
                return chosen;
            return messageBox(
                       'Confirmar Guardar como', base + ' ya existe.\n\u00bfDesea reemplazarlo?',
                       'question', [{label: YES, value: true}, {label: NO, value: false}], false,
                       NO_BY_DEFAULT)
                .then(function(yes) {
                    if (yes)
                        return chosen;
                    nameInput.focus();
                    return undefined;
                });
        });
    }

    up.addEventListener('click', function() { browse(current.replace(/\/[^\/]*$/, '') || '/'); });
    typeSelect.addEventListener('change', render);
    nameInput.addEventListener('keydown', function(e) {
        if (e.key === 'Enter') {
            e.preventDefault();
            if (box)
                box.defaultButton.click();
        }
    });
    content.addEventListener('reqwiz-open', function(e) { box = e.detail; });

    var shown = openBox(
        'Guardar como', content,
        [{label: 'Guardar', check: accept}, {label: 'Cancelar', value: null}], null, 'reqwiz-save');
    nameInput.focus();
    browse(command.directory).then(function(ok) {
        if (!ok)
            return browse('');
    });
    return shown;
}

// ---------------------------------------------------------------------
// Commands from the window

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
            showCollection();
        else
            hideCollection();
    },
    progress: function(c) { setCollectionProgress(c.value); },
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

function poll() {
    if (leaving)
        return;
    fetch(
        BASE + 'poll?done=' + done + '&have=' + have + '&page=' + pageId,
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
                (body.commands || []).forEach(function(c) {
                    if (c.seq > have) {
                        have = c.seq;
                        queue.push(c);
                    }
                });
                runNext();
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
    post('hello', {
        page: pageId,
        controls:
            controls.map(function(el) { return {name: controlName(el), visible: isVisible(el)}; })
    }).then(poll);
}

if (document.readyState === 'loading')
    document.addEventListener('DOMContentLoaded', start);
else
    start();
})();
