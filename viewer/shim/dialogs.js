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

var boxSerial = 0;

// A modal layer over the page with a box: title bar, content, buttons.
// `buttons`: [{label, value}]; the one at `defaultIndex` (the first when not
// given) has the focus and answers Enter. `cancel` is the value of Escape.
// Keeps the focus inside the box while it is open.
function openBox(title, content, buttons, cancel, extraClass, defaultIndex) {
    return new Promise(function(resolve) {
        var before = document.activeElement;
        var layer = element('div', 'reqwiz-layer');
        var box = element('div', 'reqwiz-box' + (extraClass ? ' ' + extraClass : ''));
        // A message or a question is an alert dialog named by its title and
        // described by its text; the save dialog is a plain dialog.
        var serial = ++boxSerial;
        var heading = element('div', 'reqwiz-title', title);
        heading.id = 'reqwiz-box-title-' + serial;
        box.setAttribute('role', content.querySelector('.reqwiz-text') ? 'alertdialog' : 'dialog');
        box.setAttribute('aria-modal', 'true');
        box.setAttribute('aria-labelledby', heading.id);
        var said = content.querySelector('.reqwiz-text');
        if (said) {
            said.id = 'reqwiz-box-text-' + serial;
            box.setAttribute('aria-describedby', said.id);
        }
        box.appendChild(heading);
        box.appendChild(content);
        var row = element('div', 'reqwiz-buttons');
        var finished = false;
        function finish(value) {
            if (finished)
                return;
            finished = true;
            layer.remove();
            behind.forEach(function(el) { el.inert = false; });
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
        // Everything behind the box is out of reach of the keyboard, the
        // mouse and assistive technology while it is open.
        var behind = Array.prototype.filter.call(
            document.body.children, function(el) { return !el.inert; });
        behind.forEach(function(el) { el.inert = true; });
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
    var shown = openBox(title, content, buttons, cancel, 'reqwiz-message', defaultIndex);
    // A key pressed twice where the box comes up (Enter on Continuar, the
    // box opening in between) must not answer it unread: the box takes Enter
    // and Space only once it has been up for a moment, and then says so with
    // its layer's class "reqwiz-armed". Escape and the mouse work at once.
    var layer = content.closest('.reqwiz-layer');
    if (layer) {
        var armed = false;
        var hold = function(e) {
            if (!armed && (e.key === 'Enter' || e.key === ' ')) {
                e.preventDefault();
                e.stopPropagation();
            }
        };
        layer.addEventListener('keydown', hold, true);
        layer.addEventListener('keyup', hold, true);
        setTimeout(function() {
            armed = true;
            layer.classList.add('reqwiz-armed');
        }, KEYS_TAKEN_AFTER_MS);
    }
    return shown;
}

var KEYS_TAKEN_AFTER_MS = 400;

// A question that replaces something answers No to a plain Enter.
var NO_BY_DEFAULT = 1;

var ACCEPT = 'Aceptar';
var YES = 'S\u00ed';
var NO = 'No';
