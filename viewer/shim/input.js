// Input events for the random pool: [kind, x, y, key, time in ms].

var input = [];
var inputTimer = 0;
var waitingInput = null;  // the events of an input post queued and not sent yet
// While the collection overlay is up, the last events it needs go out one by
// one as they happen, so that the program ends the collection on the event
// that completes it, not on a batch timer. A few more than the page's own
// count: events it sent just before the overlay came up may count as well.
var SEND_AT_ONCE = 32;
function stamp(e) { return Math.floor(performance.timeOrigin + e.timeStamp) % 4294967296; }
function record(kind, x, y, key, e) {
    input.push([kind, Math.round(x) | 0, Math.round(y) | 0, key | 0, stamp(e)]);
    if (collecting && collecting.left > 0)
        collecting.left--;
    if (input.length >= 200 || (collecting && collecting.left <= SEND_AT_ONCE))
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
    // Events join the input post still waiting at the end of the chain, so
    // that a burst goes out in one request rather than a queue of them.
    if (waitingInput) {
        waitingInput.push.apply(waitingInput, input);
        input = [];
        return;
    }
    var batch = input;
    input = [];
    waitingInput = batch;
    post('input', function() {
        if (waitingInput === batch)
            waitingInput = null;
        return {events: batch};
    });
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
