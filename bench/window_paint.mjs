// Start-up of the wizard in its real window: the program opens Debian's
// Chromium itself, as on a desktop, on a display of its own (Xvfb), through
// a wrapper first on PATH that only adds a debugging port (and turns the
// developer tools back on in the window's profile, which the port needs).
// Warm starts: one home and one browser profile for every run, the first
// run not counted. Prints, as medians over the runs:
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
//   BENCH_BROWSER_ARGS: further switches for the browser, to try them.
//   BENCH_DROP_ARGS: switches of the program's to leave out, to weigh them
//                    ("--in-process-gpu --disable-gpu").
import {spawn, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const program = path.resolve(process.env.REQWIZ_BIN || path.join(here, '../build/reqwiz'));
const {chromium} = await import(path.join(here, '../tests/e2e/node_modules/playwright-core/index.mjs'));
const runs = Number(process.argv[2] || 10);
// How long after the program's start the page is first asked for its paint.
const settle = 4000;

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'reqwiz-bench-window-'));
const home = path.join(scratch, 'home');
const runtime = path.join(scratch, 'run');
const bin = path.join(scratch, 'bin');
const record = path.join(scratch, 'record');
for (const dir of [home, runtime, bin, record])
    fs.mkdirSync(dir, {mode: 0o700});
fs.writeFileSync(path.join(bin, 'chromium'), `#!/bin/sh
r='${record}'
drop='${process.env.BENCH_DROP_ARGS || ''}'
printf '%s' "$$" > "$r/pid"
printf '%s\\n' "$@" > "$r/args"
for a in "$@"; do
  case "$a" in
    --user-data-dir=*) d="\${a#--user-data-dir=}" ;;
  esac
done
sed -i 's/"devtools":{"availability":2}/"devtools":{}/' "$d/Default/Preferences"
for a in "$@"; do
  shift
  case " $drop " in
    *" $a "*) continue ;;
  esac
  set -- "$@" "$a"
done
exec /usr/bin/chromium "$@" --remote-debugging-port=0 ${process.env.BENCH_BROWSER_ARGS || ''} 2>> "$r/browser.log"
`, {mode: 0o755});

const now = () => performance.timeOrigin + performance.now();
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// -noreset: the display would otherwise start afresh whenever its last
// client leaves, as each run's browser does, and refuse the next one for a
// moment.
const xvfb = spawn(
    'Xvfb', ['-displayfd', '1', '-screen', '0', '1366x768x24', '-nolisten', 'tcp', '-noreset'],
    {stdio: ['ignore', 'pipe', 'ignore']});
const display = await new Promise((resolve) => {
    let out = '';
    xvfb.stdout.on('data', (d) => {
        out += d;
        if (out.includes('\n'))
            resolve(`:${out.trim()}`);
    });
});
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

function alive(pid) {
    try {
        process.kill(pid, 0);
        return true;
    } catch {
        return false;
    }
}

async function oneRun() {
    fs.rmSync(path.join(record, 'pid'), {force: true});
    // The browser leaves its debugging port's file behind as it ends.
    const portFile = path.join(home, '.cache/reqwiz/browser/DevToolsActivePort');
    fs.rmSync(portFile, {force: true});
    const env = {...process.env, HOME: home, XDG_RUNTIME_DIR: runtime, DISPLAY: display,
                 REQWIZ_NO_DIALOG: '1', PATH: `${bin}:${process.env.PATH}`};
    for (const name of ['XDG_CACHE_HOME', 'WAYLAND_DISPLAY'])
        delete env[name];
    const started = now();
    const wizard = spawn(program, [], {cwd: home, env, stdio: ['ignore', 'ignore', 'pipe']});
    let said = '';
    wizard.stderr.on('data', (d) => { said += d; });
    // Nothing is asked of the browser until well after its start: the
    // first paint stays in the page's performance timeline, and a debugging
    // client that attached during the start would slow it down.
    await sleep(settle);
    const shown = windowShown(started);
    if (shown === null)
        throw new Error(`no window; the program said: ${said}; the browser said: ` +
                        fs.readFileSync(path.join(record, 'browser.log'), 'utf8').slice(-3000));
    let port = null;
    while (!port && now() - started < 20000) {
        if (fs.existsSync(portFile))
            port = fs.readFileSync(portFile, 'utf8').split('\n')[0];
        else
            await sleep(20);
    }
    const browser = await chromium.connectOverCDP(`http://127.0.0.1:${port}`);
    let painted = null;
    while (painted === null && now() - started < settle + 20000) {
        for (const context of browser.contexts()) {
            for (const page of context.pages()) {
                painted = await page.evaluate(() => {
                    if (!document.querySelector('form[name="DATOS"]'))
                        return null;
                    const paint = performance.getEntriesByName('first-contentful-paint')[0];
                    return paint ? performance.timeOrigin + paint.startTime : null;
                }).catch(() => null);
                if (painted !== null)
                    break;
            }
            if (painted !== null)
                break;
        }
        if (painted === null)
            await sleep(20);
    }
    const opened = fs.readFileSync(path.join(record, 'args'), 'utf8').split('\n')[0];
    await browser.close().catch(() => {});
    // The program closes its window as it ends; the next run waits until the
    // browser is gone, so that it starts a browser of its own again.
    wizard.kill('SIGTERM');
    await new Promise((r) => wizard.exitCode !== null ? r() : wizard.once('exit', r));
    const pid = Number(fs.readFileSync(path.join(record, 'pid'), 'utf8'));
    for (let i = 0; i < 200 && alive(pid); i++) {
        if (i === 100)
            process.kill(pid, 'SIGTERM');
        await sleep(50);
    }
    if (painted === null)
        throw new Error('no paint');
    return {toWindow: shown - started, toPaint: painted - shown,
            how: opened.startsWith('--app=http') ? 'the address' : 'the forwarding page'};
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
