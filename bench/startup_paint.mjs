// Start-up of the wizard up to its first page painted, in headless Chromium
// (Debian's, driven by playwright-core from tests/e2e). Each run starts the
// program (`reqwiz --no-open`) and, once it has printed its address, opens a
// window on it as the program's own browser window is opened (the address as
// the window's first navigation). Prints, as medians over the runs:
//   start -> window   program start until the window is opened on its address
//   window -> paint   the window opened until the data page's first paint
//   address -> paint  the window's navigation to the address (its window
//                     exists) until that paint, on the page's own clock
// and the requests the window made between its first one and that paint.
//
//   node bench/startup_paint.mjs [runs]      (default 10)
//   REQWIZ_BIN, REQWIZ_CHROMIUM as for the browser tests.
//   BENCH_BROWSER_ARGS: further switches for the browser, to try them.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const program = path.resolve(process.env.REQWIZ_BIN || path.join(here, '../build/reqwiz'));
const browserPath = process.env.REQWIZ_CHROMIUM || '/usr/bin/chromium';
const {chromium} = await import(path.join(here, '../tests/e2e/node_modules/playwright-core/index.mjs'));
const runs = Number(process.argv[2] || 10);

const home = fs.mkdtempSync(path.join(os.tmpdir(), 'reqwiz-bench-home-'));
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'reqwiz-bench-browser-'));
const context = await chromium.launchPersistentContext(profile, {
    executablePath: browserPath, headless: true, viewport: {width: 648, height: 515},
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
           ...(process.env.BENCH_BROWSER_ARGS || '').split(' ').filter(Boolean)],
});

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted[Math.floor(sorted.length / 2)];
}

const toWindow = [];
const toPaint = [];
const fromAddress = [];
const trips = [];
for (let run = 0; run < runs; run++) {
    const started = performance.timeOrigin + performance.now();
    const child = spawn(program, ['--no-open'], {cwd: home, stdio: ['ignore', 'pipe', 'ignore'],
                                                 env: {...process.env, HOME: home, REQWIZ_NO_DIALOG: '1'}});
    const url = await new Promise((resolve, reject) => {
        let out = '';
        child.stdout.on('data', (d) => {
            out += d;
            const line = out.split('\n').find((l) => l.startsWith('http://'));
            if (line)
                resolve(line.trim());
        });
        child.on('exit', (code) => reject(new Error(`reqwiz ended with ${code}`)));
    });
    const requests = [];
    const listener = (r) => requests.push({url: r.url(), at: performance.timeOrigin + performance.now()});
    context.on('request', listener);
    const cdp = await context.newCDPSession(context.pages()[0]);
    const opening = context.waitForEvent('page');
    const windowAt = performance.timeOrigin + performance.now();
    await cdp.send('Target.createTarget', {url});
    const page = await opening;
    await cdp.detach();
    await page.waitForSelector('form[name="DATOS"]');
    const paintAt = await page.waitForFunction(() => {
        const paint = performance.getEntriesByName('first-contentful-paint')[0];
        return paint && performance.timeOrigin + paint.startTime;
    }).then((h) => h.jsonValue());
    // FCP is counted from the start of the page's navigation: with the
    // first page answering the address, that is the address's own.
    fromAddress.push(await page.evaluate(() => {
        const navigation = performance.getEntriesByType('navigation')[0];
        const paint = performance.getEntriesByName('first-contentful-paint')[0];
        return paint.startTime - navigation.startTime;
    }));
    context.off('request', listener);
    toWindow.push(windowAt - started);
    toPaint.push(paintAt - windowAt);
    // The round trips to the program: requests before the paint, images of
    // the page aside (the browser fetches them side by side).
    trips.push(requests.filter((r) => r.at <= paintAt && !/\.(gif|png|jpe?g|svg)$/i.test(new URL(r.url).pathname)).length);
    if (run === 0)
        console.log(`# requests of the first run (ms after the window opened): ${requests.map((r) => `${new URL(r.url).pathname}@${(r.at - windowAt).toFixed(0)}`).join(" ")} paint@${(paintAt - windowAt).toFixed(0)}`);
    await page.close();
    child.kill('SIGTERM');
    await new Promise((r) => child.once('exit', r));
}
await context.close();
fs.rmSync(home, {recursive: true, force: true});
fs.rmSync(profile, {recursive: true, force: true});
console.log(`start -> window: ${median(toWindow).toFixed(0)} ms (median of ${runs})`);
console.log(`window -> paint: ${median(toPaint).toFixed(0)} ms (median of ${runs})`);
console.log(`address -> paint: ${median(fromAddress).toFixed(0)} ms (median of ${runs})`);
console.log(`requests to the program before the paint: ${median(trips)}`);
