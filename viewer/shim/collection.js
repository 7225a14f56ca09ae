// The collection overlay of the entropy step. It covers the window (the
// whole screen where the browser lets the page go full screen), stays in
// front of everything and shows a panel three quarters of the width wide,
// centred a little above the middle, with the title strip "Avance" and a
// progress bar. The input listeners above go on reporting every move and
// key meanwhile; the program moves the bar and takes the overlay away once
// it has the events it needs.

var collecting = null;

// `need`: the input events the program still needs (the last of them go out
// as they happen, see record()).
function showCollection(need) {
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
    // Events still waiting for a batch count too: they go out after this.
    collecting = {layer: layer, bar: bar, left: Math.max(0, (Number(need) || 0) - input.length)};
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
