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
// The shim is written in several files, one concern each, joined at build
// time (viewer/CMakeLists.txt names them in order) inside one strict-mode
// function scope: a name one file declares is seen by the others. Every file
// is ASCII only: pages are ISO-8859-1, so other characters are written as \u
// escapes.
//
// This file: the shim's state and its one channel to the program.

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

// The start address may answer with the window's first page itself: its
// load command counts as done, and the page takes its own address.
if (config.arrived) {
    remember('done', config.arrived.done);
    try {
        history.replaceState(null, '', pageUrl(config.arrived.page));
    } catch (e) { /* the address stays */
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

// `body` may be a function that gives the body when the post goes out. The
// promise gives the answer's JSON when there is one, else null.
var chain = Promise.resolve();
function post(what, body) {
    if (what !== 'input') {
        flushInput();
        waitingInput = null;  // later input goes after this post
    }
    var text = typeof body === 'function' ? null : JSON.stringify(body || {});
    var answered = chain.then(function() {
        return fetch(BASE + what, {
                   method: 'POST',
                   credentials: 'same-origin',
                   cache: 'no-store',
                   headers: {'Content-Type': 'application/json'},
                   body: text !== null ? text : JSON.stringify(body())
               })
            .then(function(r) { return r.status === 200 ? r.json() : null; })
            .then(null, function() { return null; });
    });
    chain = answered.then(function() {});
    return answered;
}
