// Form controls: the page's controls, the lines a submission sends, and
// the clicks, Enter keys and submissions reported to the program.

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
