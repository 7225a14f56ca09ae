// The end of the collection in a real browser: from the last mouse event the
// collection needs to the final page, for a 2048-bit key. Playwright drives
// Debian's Chromium through the shipped pages served by the real program
// (`reqwiz --no-open`), as the browser tests do (tests/e2e/harness.mjs).
//
//   node bench/final-page.mjs [RUNS]        (RUNS defaults to 20)
//
// Every run starts the program, fills the two form pages, accepts the mouse
// message and moves the mouse exactly as many times as the collection needs
// (500), then waits for the final page. The times are taken in the page, on
// the browser's clock: the last mouse event seen while the overlay was up
// (its event time stamp), and the first frame after the waiting page and
// after the final page had loaded. Prints every run and, over all runs, the
// median (p50), p95, mean and the range of last event -> final page, and the
// medians of last event -> overlay gone and -> waiting page. With
// BENCH_DETAIL=1 each run also prints when the navigation to each page
// started, its request went out, its answer began and it had loaded.
//
// Needs what the browser tests need (`make e2e-deps`) and a built program
// (REQWIZ_BIN, default build/reqwiz).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import {acceptMessage, APPLICANT, messageBox, requireTools, Session, setValue} from '../tests/e2e/harness.mjs';

const runs = Number(process.argv[2] || 20);
const NEEDED = 500;

const data = APPLICANT;
const PASSWORD = 'Se\u00f1al2024';

const session = new Session(await requireTools(), 'bench');
await session.begin({prepareProfile: true});

// In every document: the time of the last mouse move while the overlay is
// up (kept across pages in the tab's session storage), and the first frame
// after the waiting page and the final page have loaded.
await session.context.addInitScript(() => {
    const now = () => performance.timeOrigin + performance.now();
    document.addEventListener('mousemove', (e) => {
        if (document.querySelector('.reqwiz-collect'))
            sessionStorage.setItem('bench.last', String(performance.timeOrigin + e.timeStamp));
    }, true);
    // When the overlay goes away.
    new MutationObserver((changes) => {
        for (const change of changes)
            for (const node of change.removedNodes)
                if (node.classList && node.classList.contains('reqwiz-collect'))
                    sessionStorage.setItem('bench.off', String(now()));
    }).observe(document, {childList: true, subtree: true});
    const page = location.pathname;
    if (page === '/Page3.htm' || page === '/Page4.htm') {
        document.addEventListener('DOMContentLoaded', () => {
            requestAnimationFrame(() => {
                const last = Number(sessionStorage.getItem('bench.last'));
                const off = Number(sessionStorage.getItem('bench.off'));
                const nav = performance.getEntriesByType('navigation')[0];
                const at = (t) => Math.round(performance.timeOrigin + t - last);
                const steps = nav ? `navigation ${at(0)}, request ${at(nav.requestStart)}, ` +
                        `response ${at(nav.responseStart)}, loaded ${
                            at(nav.domContentLoadedEventStart)}` :
                                    '';
                if (window.benchShown)
                    window.benchShown(page, now() - last, off - last, steps);
            });
        });
    }
});

function percentile(sorted, p) {
    const rank = Math.max(0, Math.ceil((p / 100) * sorted.length) - 1);
    return sorted[rank];
}

const finals = [];
const waits = [];
const offs = [];
try {
    for (let run = 0; run < runs; run++) {
        const folder = fs.mkdtempSync(path.join(session.home, 'run-'));
        const wizard = await session.startWizard();
        const page = await session.openWindow(wizard.url);
        const shown = {};
        let finalShown;
        const final = new Promise((resolve) => {
            finalShown = resolve;
        });
        let overlayOff = 0;
        const detail = {};
        await page.exposeFunction('benchShown', (name, ms, off, steps) => {
            shown[name] = ms;
            detail[name] = steps;
            overlayOff = off;
            if (name === '/Page4.htm')
                finalShown();
        });
        for (const [name, value] of Object.entries(data))
            await setValue(page, name, value);
        await page.locator('[name="Image2"]').click();
        await page.waitForSelector('form[name="Generacion_de_Llaves"]');
        await setValue(page, 'PWD', PASSWORD);
        await setValue(page, 'PWD2', PASSWORD);
        await setValue(page, 'KEY', path.join(folder, 'llave'));
        await setValue(page, 'REQ', path.join(folder, 'solicitud'));
        await page.locator('[name="Image2"]').click();
        await messageBox(page);
        await acceptMessage(page);
        const overlay = page.locator('.reqwiz-collect');
        await overlay.waitFor();

        for (let i = 0; i < NEEDED; i++)
            await page.mouse.move(20 + ((i * 37) % 600), 20 + ((i * 53) % 470));
        // Only if the program counted fewer than the page sent (it never
        // should) more moves follow, slowly; they count in the figure.
        let extra = 0;
        for (;;) {
            const done = await Promise.race([
                final.then(() => true),
                new Promise((resolve) => setTimeout(() => resolve(false), 2000)),
            ]);
            if (done)
                break;
            assert.ok(extra < 20, 'the final page did not come');
            if (await overlay.count() > 0)
                await page.mouse.move(300, 200 + extra);
            extra++;
        }
        const ms = shown['/Page4.htm'];
        finals.push(ms);
        waits.push(shown['/Page3.htm']);
        offs.push(overlayOff);
        console.log(`run ${run + 1}: last event -> overlay gone ${Math.round(overlayOff)} ms, -> waiting page ${
            Math.round(shown['/Page3.htm'])} ms, -> final page ${Math.round(ms)} ms${
            extra ? ` (${extra} extra moves)` : ''}`);
        if (process.env.BENCH_DETAIL)
            console.log(`  waiting page: ${detail['/Page3.htm']}\n  final page: ${
                detail['/Page4.htm']}`);
        assert.ok(fs.existsSync(path.join(folder, 'solicitud.req')));
        await page.close();
        wizard.child.kill();
        await wizard.exited;
    }
} finally {
    await session.end();
}

const sorted = [...finals].sort((a, b) => a - b);
const mean = finals.reduce((a, b) => a + b, 0) / finals.length;
const waitSorted = [...waits].sort((a, b) => a - b);
console.log(`runs ${finals.length}, 2048-bit key, last needed mouse event -> final page:`);
console.log(`p50 ${Math.round(percentile(sorted, 50))} ms  p95 ${
    Math.round(percentile(sorted, 95))} ms  mean ${Math.round(mean)} ms  min ${
    Math.round(sorted[0])} ms  max ${Math.round(sorted[sorted.length - 1])} ms`);
const offSorted = [...offs].sort((a, b) => a - b);
console.log(`last needed mouse event -> overlay gone: p50 ${
    Math.round(percentile(offSorted, 50))} ms, -> waiting page: p50 ${
    Math.round(percentile(waitSorted, 50))} ms`);
