// Start-up of the wizard in its real window: the program opens Debian's
// Chromium itself, as on a desktop, on a display of its own (Xvfb), through
// a stand-in first on PATH that only adds a debugging port (and turns the
// developer tools back on in the window's profile, which the port needs).
// Warm starts: one home and one browser profile for every run, the first
// run not counted. Run as root, it runs the program as an ordinary user
// (tests/e2e/own_window.mjs): that window is the one users get. Prints, as
// medians over the runs:
//   start -> window   program start until the display maps the window
//   window -> paint   the window mapped until the data page's first paint
//                     (the page's own first-contentful-paint)
//   start -> paint    the sum, as the user waits for it
// and how the browser was opened (on the address itself, or on the private
// page that forwards to it). The window is seen through the display's own
// reports and the page is asked only once it has long been painted, so the
// measurement takes nothing from the browser while it starts.
//
//   node bench/window_paint.mjs [runs]      (default 10)
//   REQWIZ_BIN as for the browser tests. Needs Xvfb, xev, xprop, xwininfo.
//   BENCH_BROWSER_ARGS: further switches for the browser, to try them (a
//                    switch given twice takes its last value: an
//                    --enable-features here replaces the program's).
//   BENCH_DROP_ARGS: switches of the program's to leave out, to weigh them
//                    ("--in-process-gpu --disable-gpu").
import {spawn, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

import {debuggingPortFile, ownWindowFolders, processGone, startDisplay, WINDOW_USER,
        writeBrowserStandIn} from '../tests/e2e/own_window.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const program = path.resolve(process.env.REQWIZ_BIN || path.join(here, '../build/reqwiz'));
const {chromium} = await import(path.join(here, '../tests/e2e/node_modules/playwright-core/index.mjs'));
const runs = Number(process.argv[2] || 10);
// How long after the program's start the page is first asked for its paint.
const settle = 4000;

const {scratch, home, runtime, bin, record, program: copy} =
    ownWindowFolders('reqwiz-bench-window-', program);
writeBrowserStandIn(bin, record, {drop: process.env.BENCH_DROP_ARGS || '',
                                  extra: process.env.BENCH_BROWSER_ARGS || ''});

const now = () => performance.timeOrigin + performance.now();
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

const {child: xvfb, display} = await startDisplay({noreset: true});
const xenv = {...process.env, DISPLAY: display};

// The display's top-level windows as they are mapped, each with the moment
// it was: xev on the root window reports them as they happen, so nothing
// polls the display while the browser starts on the same two cores.
const xev = spawn('xev', ['-root', '-event', 'substructure'],
                  {env: xenv, stdio: ['ignore', 'pipe', 'ignore']});
const mapped = [];
let xevText = '';
xev.stdout.on('data', (d) => {
    const at = now();
    xevText += d;
    // "MapNotify event, serial N, synthetic NO, window ROOT,\n
    //      event ROOT, window ID, override NO"
    let m;
    const pattern = /MapNotify event[^\n]*\n\s*event 0x[0-9a-f]+, window (0x[0-9a-f]+)/g;
    let last = 0;
    while ((m = pattern.exec(xevText)) !== null) {
        mapped.push({id: m[1], at});
        last = pattern.lastIndex;
    }
    xevText = xevText.slice(last);
});

// When the wizard's window (class reqwiz, larger than a menu) was mapped
// after `since`, or null.
function windowShown(since) {
    for (const {id, at} of mapped) {
        if (at < since)
            continue;
        const cls = spawnSync('xprop', ['-id', id, 'WM_CLASS'], {env: xenv, encoding: 'utf8'}).stdout || '';
        const size = spawnSync('xwininfo', ['-id', id], {env: xenv, encoding: 'utf8'}).stdout || '';
        const width = Number((size.match(/Width: (\d+)/) || [])[1]);
        if (/"reqwiz"/.test(cls) && width > 100)
            return at;
    }
    return null;
}

// The browser's first paint of the data page, on the page's own clock, or
// null; asks through the debugging port once the start is long over.
async function paintOf(portFile, until) {
    let port = null;
    while (!port && now() < until) {
        if (fs.existsSync(portFile))
            port = fs.readFileSync(portFile, 'utf8').split('\n')[0];
        else
            await sleep(20);
    }
    if (!port)
        throw new Error('the browser opened no debugging port');
    const browser = await chromium.connectOverCDP(`http://127.0.0.1:${port}`);
    try {
        while (now() < until) {
            for (const context of browser.contexts()) {
                for (const page of context.pages()) {
                    const painted = await page.evaluate(() => {
                        if (!document.querySelector('form[name="DATOS"]'))
                            return null;
                        const paint = performance.getEntriesByName('first-contentful-paint')[0];
                        return paint ? performance.timeOrigin + paint.startTime : null;
                    }).catch(() => null);
                    if (painted !== null)
                        return painted;
                }
            }
            await sleep(20);
        }
        return null;
    } finally {
        await browser.close().catch(() => {});
    }
}

async function oneRun() {
    fs.rmSync(path.join(record, 'pid'), {force: true});
    // The browser leaves its debugging port's file behind as it ends.
    const portFile = debuggingPortFile(home);
    fs.rmSync(portFile, {force: true});
    const env = {...process.env, HOME: home, XDG_RUNTIME_DIR: runtime, DISPLAY: display,
                 REQWIZ_NO_DIALOG: '1', PATH: `${bin}:${process.env.PATH}`};
    for (const name of ['XDG_CACHE_HOME', 'WAYLAND_DISPLAY'])
        delete env[name];
    const started = now();
    const wizard = spawn(copy, [], {cwd: home, env, stdio: ['ignore', 'ignore', 'pipe'],
                                    ...WINDOW_USER});
    let said = '';
    wizard.stderr.on('data', (d) => { said += d; });
    try {
        // Nothing is asked of the browser until well after its start: the
        // first paint stays in the page's performance timeline, and a
        // debugging client that attached during the start would slow it.
        await sleep(settle);
        const shown = windowShown(started);
        if (shown === null) {
            const log = path.join(record, 'browser.log');
            throw new Error(`no window; the program said: ${said}; the browser said: ` +
                            (fs.existsSync(log) ? fs.readFileSync(log, 'utf8').slice(-3000) : ''));
        }
        const painted = await paintOf(portFile, started + settle + 20000);
        if (painted === null)
            throw new Error('no paint');
        const opened = fs.readFileSync(path.join(record, 'args'), 'utf8').split('\n')[0];
        return {toWindow: shown - started, toPaint: painted - shown,
                how: opened.startsWith('--app=http') ? 'the address' : 'the forwarding page'};
    } finally {
        // The program closes its window as it ends; the next run waits until
        // the browser is gone, so that it starts a browser of its own again.
        if (wizard.exitCode === null) {
            wizard.kill('SIGTERM');
            await new Promise((r) => wizard.exitCode !== null ? r() : wizard.once('exit', r));
        }
        const pidFile = path.join(record, 'pid');
        if (fs.existsSync(pidFile))
            await processGone(Number(fs.readFileSync(pidFile, 'utf8')));
    }
}

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted[Math.floor(sorted.length / 2)];
}

const results = [];
try {
    await oneRun();  // the first start fills the caches
    for (let run = 0; run < runs; run++)
        results.push(await oneRun());
} finally {
    xev.kill('SIGKILL');
    xvfb.kill('SIGKILL');
    fs.rmSync(scratch, {recursive: true, force: true, maxRetries: 20, retryDelay: 100});
}
const round = (ms) => Math.round(ms);
const toWindow = results.map((r) => r.toWindow);
const toPaint = results.map((r) => r.toPaint);
const total = results.map((r) => r.toWindow + r.toPaint);
console.log(`runs: ${results.length}, browser opened on ${results[0].how}`);
console.log(`start -> window   median ${round(median(toWindow))} ms`);
console.log(`window -> paint   median ${round(median(toPaint))} ms ` +
            `(min ${round(Math.min(...toPaint))}, max ${round(Math.max(...toPaint))})`);
console.log(`start -> paint    median ${round(median(total))} ms`);
