// The collection overlay of the entropy step. It covers the window, stays
// in front of everything and shows a panel three quarters of the width wide,
// centred a little above the middle, with the title strip "Avance", one line
// saying what to do, a framed progress bar and its percentage. The input
// listeners above go on reporting every move and key meanwhile; the program
// moves the bar and takes the overlay away once it has the events it needs.
// The browser's full-screen mode is not used: it would lay its own notice
// over the overlay, in the browser's words.

var collecting = null;

var COLLECT_HINT = 'Mueve el rat\u00f3n dentro de esta ventana hasta que la barra se llene ' +
    '(las teclas que pulses tambi\u00e9n cuentan).';

// `need`: the input events the program still needs (the last of them go out
// as they happen, see record()).
function showCollection(need) {
    if (collecting)
        return;
    var layer = element('div', 'reqwiz-collect');
    layer.setAttribute('role', 'dialog');
    layer.setAttribute('aria-modal', 'true');
    layer.setAttribute('aria-labelledby', 'reqwiz-collect-title');
    layer.setAttribute('aria-describedby', 'reqwiz-collect-hint');
    layer.tabIndex = -1;
    var panel = element('div', 'reqwiz-collect-panel');
    var title = element('div', 'reqwiz-collect-title', 'Avance');
    title.id = 'reqwiz-collect-title';
    var hint = element('div', 'reqwiz-collect-hint', COLLECT_HINT);
    hint.id = 'reqwiz-collect-hint';
    var row = element('div', 'reqwiz-collect-row');
    var frame = element('div', 'reqwiz-collect-frame');
    var bar = element('progress', 'reqwiz-collect-bar');
    bar.setAttribute('max', '100');
    bar.setAttribute('value', '0');
    bar.setAttribute('aria-labelledby', 'reqwiz-collect-title');
    var percent = element('div', 'reqwiz-collect-percent', '0 %');
    percent.setAttribute('aria-hidden', 'true');
    frame.appendChild(bar);
    row.appendChild(frame);
    row.appendChild(percent);
    panel.appendChild(title);
    panel.appendChild(hint);
    panel.appendChild(row);
    layer.appendChild(panel);
    document.body.appendChild(layer);
    // Events still waiting for a batch count too: they go out after this.
    collecting = {
        layer: layer,
        bar: bar,
        percent: percent,
        left: Math.max(0, (Number(need) || 0) - input.length)
    };
    // Keys typed now must not reach a field of the page: the focus goes to
    // the overlay itself.
    if (document.activeElement && document.activeElement.blur)
        document.activeElement.blur();
    try {
        layer.focus({preventScroll: true});
    } catch (e) { /* none */
    }
}

function setCollectionProgress(value) {
    if (!collecting)
        return;
    var shown = String(Math.max(0, Math.min(100, value | 0)));
    collecting.bar.setAttribute('value', shown);
    collecting.percent.textContent = shown + ' %';
}

function hideCollection() {
    if (!collecting)
        return;
    if (collecting.layer.parentNode)
        collecting.layer.parentNode.removeChild(collecting.layer);
    collecting = null;
}

// Registered after the input listeners, so that the keys still count.
document.addEventListener('keydown', function(e) {
    if (collecting)
        e.preventDefault();
}, true);
