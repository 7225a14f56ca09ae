// The wizard's own window on a display of its own (Xvfb at 1366x768): the
// program opens Debian's Chromium itself, as on a desktop, through a small
// wrapper first on PATH that lets the test drive it over the developer
// protocol. Checks what the user sees of the browser: its own texts in
// Spanish with a locale that names no language, the window's class and
// centred position, the program's icon, no browser menu outside the text
// fields and no list of earlier entries under them; then a whole run in that
// window, with the browser's own switches, to the two files.
//
// The window's profile has the developer tools off, and the test needs
// them to drive the browser: the wrapper turns them back on in the profile
// (and only that) before starting the browser.
//
// Exits with 77 (CTest's "skipped") when Xvfb, xwininfo, the browser,
// playwright-core or openssl is missing.
import assert from 'node:assert/strict';
import {spawn, spawnSync} from 'node:child_process';
import {once} from 'node:events';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';

import {acceptMessage, ADDRESS, APPLICANT, messageBox, output, program as builtProgram,
        requireTools, setValue, within} from './harness.mjs';
import {debuggingPortFile, giveToWindowUser, ownWindowFolders, processGone, startDisplay,
        WINDOW_USER, writeBrowserStandIn} from './own_window.mjs';

const chromium = await requireTools({openssl: true});
for (const tool of ['Xvfb', 'xwininfo']) {
    if (spawnSync('sh', ['-c', `command -v ${tool}`]).status !== 0) {
        console.log(`# skipped: no ${tool}`);
        process.exit(77);
    }
}

const SCREEN = {width: 1366, height: 768};
const WINDOW = {width: 648, height: 515};  // the shipped profile's size
const {scratch, home, runtime, bin, record, program} = ownWindowFolders('reqwiz-window-',
                                                                       builtProgram);

let xvfb;
let display;
let wizard;
let address;
let browser;
let page;

async function until(check, what, ms = 20000) {
    const end = Date.now() + ms;
    for (;;) {
        const value = await check();
        if (value)
            return value;
        assert.ok(Date.now() < end, `${what} did not happen`);
        await new Promise((r) => setTimeout(r, 100));
    }
}

// The browser's top-level windows of class reqwiz (WM_CLASS is instance and
// class; the browser names the instance after the window's address): [{id, x, y, width, height}].
function reqwizWindows() {
    const tree = spawnSync('xwininfo', ['-root', '-tree'], {env: {...process.env, DISPLAY: display},
                                                           encoding: 'utf8'}).stdout || '';
    const found = [];
    for (const line of tree.split('\n')) {
        const m = line.match(/^\s*(0x[0-9a-f]+) .*\("[^"]*" "reqwiz"\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)/);
        if (m && Number(m[2]) > 100)
            found.push({id: m[1], width: Number(m[2]), height: Number(m[3]), x: Number(m[4]),
                        y: Number(m[5])});
    }
    return found;
}

before(async () => {
    fs.mkdirSync(output, {recursive: true});
    ({child: xvfb, display} = await within(startDisplay(SCREEN), 10000, 'the display'));
    writeBrowserStandIn(bin, record);
    const env = {...process.env, HOME: home, XDG_RUNTIME_DIR: runtime, DISPLAY: display,
                 REQWIZ_NO_DIALOG: '1', PATH: `${bin}:${process.env.PATH}`};
    // A locale that names no language: the window must still be Spanish.
    for (const name of ['LC_ALL', 'LC_MESSAGES', 'LANG', 'LANGUAGE', 'XDG_CACHE_HOME',
                        'WAYLAND_DISPLAY'])
        delete env[name];
    wizard = spawn(program, [], {cwd: home, env, stdio: ['ignore', 'pipe', 'pipe'], ...WINDOW_USER});
    let out = '';
    wizard.stdout.on('data', (d) => { out += d; });
    wizard.stderr.on('data', (d) => { out += d; });
    address = await until(() => out.split('\n').find((l) => ADDRESS.test(l)), 'the address');
    const portFile = debuggingPortFile(home);
    const port = await until(() => fs.existsSync(portFile) &&
                                 fs.readFileSync(portFile, 'utf8').split('\n')[0],
                             'the browser start');
    browser = await chromium.connectOverCDP(`http://127.0.0.1:${port}`);
    page = await until(async () => {
        for (const context of browser.contexts())
            for (const p of context.pages())
                if (await p.locator('form[name="DATOS"]').count() > 0)
                    return p;
        return null;
    }, 'the data page');
});

after(async () => {
    if (wizard && wizard.exitCode === null) {
        wizard.kill('SIGTERM');
        await within(once(wizard, 'exit'), 10000, 'the program exit').catch(() => {});
    }
    // The browser itself, should it still be there, and then its display;
    // no step may hold the test up (a browser already gone may leave a call
    // unanswered).
    if (browser) {
        const closing = (async () => {
            const cdp = await browser.newBrowserCDPSession().catch(() => null);
            if (cdp)
                await cdp.send('Browser.close').catch(() => {});
            await browser.close().catch(() => {});
        })();
        await within(closing, 5000, 'closing the browser').catch(() => {});
    }
    // The stand-in's process id is the browser's (it execs it).
    const pidFile = path.join(record, 'pid');
    if (fs.existsSync(pidFile))
        await processGone(Number(fs.readFileSync(pidFile, 'utf8')));
    if (xvfb) {
        xvfb.stdout.destroy();
        xvfb.kill('SIGKILL');
    }
    // The browser may still be writing its profile as it goes.
    fs.rmSync(scratch, {recursive: true, force: true, maxRetries: 20, retryDelay: 100});
});

test('the browser speaks Spanish when the locale names no language', async () => {
    assert.equal(fs.readFileSync(path.join(record, 'language'), 'utf8'), 'es');
    const args = fs.readFileSync(path.join(record, 'args'), 'utf8').split('\n');
    assert.ok(args.includes('--lang=es'), args.join(' '));
    const preferences = JSON.parse(fs.readFileSync(path.join(record, 'preferences'), 'utf8'));
    assert.equal(preferences.intl.accept_languages, 'es');
    assert.equal(preferences.translate.enabled, false);
    assert.equal(preferences.devtools.availability, 2);
    // The browser's own texts: the message of a required field left empty.
    const said = await page.evaluate(() => {
        const field = document.createElement('input');
        field.required = true;
        return [navigator.language, field.validationMessage];
    });
    assert.deepEqual(said, ['es', 'Completa este campo']);
});

test('the window has the program\'s class, is centred at the profile\'s size', async () => {
    const windows = await until(() => reqwizWindows().length > 0 && reqwizWindows(),
                                'a window of class reqwiz');
    const shown = windows[0];
    assert.equal(shown.width, WINDOW.width, JSON.stringify(windows));
    assert.equal(shown.height, WINDOW.height, JSON.stringify(windows));
    assert.equal(shown.x, Math.floor((SCREEN.width - WINDOW.width) / 2), JSON.stringify(windows));
    assert.equal(shown.y, Math.floor((SCREEN.height - WINDOW.height) / 2),
                 JSON.stringify(windows));
});

test('the pages carry the program\'s icon', async () => {
    const icon = await page.evaluate(async () => {
        const link = document.querySelector('link[rel="icon"]');
        const response = await fetch(link.href);
        return {href: new URL(link.href).pathname, type: response.headers.get('content-type'),
                text: await response.text()};
    });
    assert.equal(icon.href, '/__reqwiz/icon.svg');
    assert.equal(icon.type, 'image/svg+xml');
    assert.ok(icon.text.startsWith('<svg'), icon.text);
    await page.screenshot({path: path.join(output, 'window-01-data-page.png')});
});

test('no browser menu outside the text fields, no earlier entries under them', async () => {
    const menus = await page.evaluate(() => {
        const menuOn = (el) => {
            const event = new MouseEvent('contextmenu', {bubbles: true, cancelable: true});
            el.dispatchEvent(event);
            return !event.defaultPrevented;
        };
        return {
            page: menuOn(document.body),
            image: menuOn(document.querySelector('[name="Image2"]')),
            field: menuOn(document.querySelector('[name="DN_O"]')),
        };
    });
    assert.deepEqual(menus, {page: false, image: false, field: true});
    const lists = await page.evaluate(() => Array.from(
        document.querySelectorAll('input[type="text"], input:not([type]), textarea'),
        (el) => el.getAttribute('autocomplete')));
    assert.ok(lists.length > 10);
    assert.deepEqual([...new Set(lists)], ['off']);
    // Copy and paste in a field work from the keyboard.
    await page.locator('[name="DN_O"]').fill('COPIA');
    await page.locator('[name="DN_O"]').press('Control+a');
    await page.locator('[name="DN_O"]').press('Control+c');
    await page.locator('[name="DN_CN_1"]').focus();
    await page.locator('[name="DN_CN_1"]').press('Control+v');
    assert.equal(await page.locator('[name="DN_CN_1"]').inputValue(), 'COPIA');
});

test('a whole run in the window itself ends on the final page with both files', async () => {
    // The window's own browser runs the pages with its own switches (one
    // renderer, drawing and network inside the browser): the collection
    // and the pages after it must work there as in any browser.
    // An ordinary user's window: its own browser opened on the address
    // itself, started lean.
    const args = fs.readFileSync(path.join(record, 'args'), 'utf8').split('\n');
    assert.equal(args[0], `--app=${address}`);
    for (const lean of ['--disable-gpu', '--in-process-gpu', '--renderer-process-limit=1',
                        '--disable-extensions'])
        assert.ok(args.includes(lean), args.join(' '));
    const folder = path.join(home, 'Llaves');
    fs.mkdirSync(folder);
    giveToWindowUser(folder);
    for (const [name, value] of Object.entries(APPLICANT))
        await setValue(page, name, value);
    await page.locator('[name="Image2"]').click();
    await page.waitForSelector('form[name="Generacion_de_Llaves"]');
    const password = 'Clave2026';
    await setValue(page, 'PWD', password);
    await setValue(page, 'PWD2', password);
    await setValue(page, 'KEY', path.join(folder, 'llave'));
    await setValue(page, 'REQ', path.join(folder, 'solicitud'));
    await page.locator('[name="Image2"]').click();
    assert.equal((await messageBox(page)).title, 'Aviso');
    await acceptMessage(page);
    const overlay = page.locator('.reqwiz-collect');
    await overlay.waitFor();
    for (let moves = 0; await overlay.count() > 0; moves++) {
        assert.ok(moves < 5000, 'the overlay did not close');
        await page.mouse.move(20 + (moves * 37) % 600, 20 + (moves * 53) % 470);
    }
    await page.waitForSelector('text=Tu requerimiento se gener', {timeout: 60000});
    const band = page.locator('.reqwiz-result');
    await band.waitFor();
    const keyFile = path.join(folder, 'llave.key');
    const reqFile = path.join(folder, 'solicitud.req');
    assert.equal(await band.locator('.reqwiz-result-request').textContent(), reqFile);
    assert.equal(await band.locator('.reqwiz-result-key').textContent(), keyFile);
    await page.screenshot({path: path.join(output, 'window-02-final-page.png')});
    // OpenSSL reads the request (the data lines after it aside) and its
    // signature, and opens the key with the password typed.
    const request = spawnSync('openssl', ['req', '-inform', 'DER', '-in', reqFile, '-verify',
                                          '-noout'], {encoding: 'utf8'});
    assert.equal(request.status, 0, request.stderr);
    const key = spawnSync('openssl', ['pkcs8', '-inform', 'DER', '-in', keyFile, '-passin', 'stdin',
                                      '-provider', 'legacy', '-provider', 'default', '-out',
                                      '/dev/null'],
                          {input: `${password}\n`, encoding: 'utf8'});
    assert.equal(key.status, 0, key.stderr);
});
