// Generation in a real browser: Playwright drives Debian's Chromium through
// the shipped pages served by the real program (`reqwiz --no-open`), with
// accented names, both files picked in the save dialog and the mouse moved
// until the collection overlay closes; OpenSSL then reads what was written.
// A second run loses its target folder after validation and must come back
// to the key page with a message and no files.
//
// The environment it reads is described in harness.mjs.
//
// Exits with 77 (CTest's "skipped") when the browser, playwright-core or
// openssl is missing.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';

import {accessibilityViolations, acceptMessage, APPLICANT, messageBox, output, requireTools, Session,
        setValue} from './harness.mjs';

const session = new Session(await requireTools({openssl: true}), 'gen');

const PASSWORD = 'Se\u00f1al2024';
const MSG_MOUSE = 'Para generar tus llaves mueve el rat\u00f3n de manera aleatoria y continua.';
const NEEDED = 500;

const data = APPLICANT;
// The subject's common name and street as the job joins them: upper case,
// accented letters too, with the profile's separators.
const CN = 'MAR\u00cdA IB\u00c1\u00d1EZ LE\u00d3N';
const STREET = 'PASEO DE LA REFORMA 222 4. JU\u00c1REZ';

// ---------------------------------------------------------------------------
// The program and the browser

const home = session.home;
const startWizard = (options) => session.startWizard(options);
const openWindow = (url) => session.openWindow(url);

// The browser profile is prepared as the program prepares its window's own.
before(() => session.begin({prepareProfile: true}));
after(() => session.end());

// ---------------------------------------------------------------------------
// Steps on a page

async function fillDataPage(page) {
    for (const [name, value] of Object.entries(data))
        await setValue(page, name, value);
    await page.locator('[name="Image2"]').click();
    await page.waitForSelector('form[name="Generacion_de_Llaves"]');
}

// From the data page to a filled key page: the password twice and both
// files typed in `folder`.
async function fillKeyPage(page, folder, password = PASSWORD) {
    await fillDataPage(page);
    await setValue(page, 'PWD', password);
    await setValue(page, 'PWD2', password);
    await setValue(page, 'KEY', path.join(folder, 'llave'));
    await setValue(page, 'REQ', path.join(folder, 'solicitud'));
}

// Picks a file in the save dialog: the folder typed as the name first, then
// the file name.
async function pickFile(page, button, folder, name) {
    await page.locator(`[name="${button}"]`).click();
    const dialog = page.locator('.reqwiz-save');
    await dialog.waitFor();
    await dialog.locator('.reqwiz-name').fill(path.join(folder, name));
    await dialog.locator('button', {hasText: 'Guardar'}).click();
    await dialog.waitFor({state: 'detached'});
}

// Continues from a filled key page through the mouse message; resolves once
// the collection overlay is up.
async function continueToCollection(page) {
    await page.locator('[name="Image2"]').click();
    const box = await messageBox(page);
    assert.equal(box.title, 'Aviso');
    assert.equal(box.icon, 'reqwiz-icon-warning');
    assert.ok(box.text.startsWith(MSG_MOUSE), box.text);
    await acceptMessage(page);
    const overlay = page.locator('.reqwiz-collect');
    await overlay.waitFor();
    // Every position the bar takes is reported to the test (the page itself
    // is gone once the collection is over).
    await page.evaluate(() => {
        const bar = document.querySelector('.reqwiz-collect-bar');
        window.reqwizBar(Number(bar.getAttribute('value')));
        new MutationObserver(() => window.reqwizBar(Number(bar.getAttribute('value'))))
            .observe(bar, {attributes: true, attributeFilter: ['value']});
    });
    return overlay;
}

// Moves the mouse until the overlay goes away; returns the number of moves
// and the time of the last one.
async function moveUntilClosed(page, overlay) {
    let moves = 0;
    let last = 0;
    while (await overlay.count() > 0) {
        assert.ok(moves < 5000, 'the overlay did not close');
        const x = 20 + ((moves * 37) % 600);
        const y = 20 + ((moves * 53) % 470);
        await page.mouse.move(x, y);
        last = performance.now();
        moves++;
        // Give the batches time to reach the program now and then.
        if (moves >= NEEDED && moves % 25 === 0)
            await page.waitForTimeout(50);
    }
    return {moves, last};
}

// The DER request at the start of a request file (which may carry a text
// trailer after it).
function splitRequest(bytes) {
    let length = bytes[1];
    let header = 2;
    if (length & 0x80) {
        const count = length & 0x7f;
        length = 0;
        for (let i = 0; i < count; i++)
            length = length * 256 + bytes[2 + i];
        header += count;
    }
    return {der: bytes.subarray(0, header + length), trailer: bytes.subarray(header + length)};
}

function openssl(args) { return spawnSync('openssl', args, {encoding: 'latin1'}); }

// ---------------------------------------------------------------------------

// A desktop opener first on PATH that writes down what it was asked to open.
function fakeOpener() {
    const bin = fs.mkdtempSync(path.join(home, 'bin-'));
    const record = path.join(bin, 'opened');
    fs.writeFileSync(path.join(bin, 'xdg-open'), `#!/bin/sh\nprintf '%s\\n' "$@" >> '${record}'\n`,
                     {mode: 0o755});
    return {env: {PATH: `${bin}:${process.env.PATH}`},
            opened: () => fs.existsSync(record) ? fs.readFileSync(record, 'utf8') : ''};
}

test('a whole run with accented names writes files OpenSSL accepts', async () => {
    // A folder name with accents: the pages speak ISO-8859-1, the disk UTF-8.
    const folder = path.join(home, 'Llaves de A\u00f1o');
    fs.mkdirSync(folder);
    const opener = fakeOpener();
    const wizard = await startWizard({env: opener.env});
    const page = await openWindow(wizard.url);
    const bar = [];
    await page.exposeFunction('reqwizBar', (value) => bar.push(value));
    const pages = [];
    page.on('framenavigated', (frame) => {
        if (frame === page.mainFrame())
            pages.push(new URL(frame.url()).pathname);
    });
    await fillDataPage(page);
    // Typed key by key, as a user does: what a browser's password manager
    // watches for.
    for (const name of ['PWD', 'PWD2']) {
        await page.locator(`[name="${name}"]`).focus();
        await page.keyboard.type(PASSWORD);
    }
    assert.equal(await page.locator('[name="PWD"]').inputValue(), PASSWORD);
    assert.equal(await page.locator('[name="PWD"]').getAttribute('autocomplete'), 'new-password');
    assert.equal(await page.locator('[name="KEY"]').getAttribute('autocomplete'), 'off');
    await pickFile(page, 'BTN_KEY', folder, 'llave');
    await pickFile(page, 'BTN_REQ', folder, 'solicitud');
    assert.equal(await page.locator('[name="KEY"]').inputValue(), path.join(folder, 'llave.key'));

    const overlay = await continueToCollection(page);
    assert.equal(await page.locator('.reqwiz-collect-title').textContent(), 'Avance');
    const panel = await page.locator('.reqwiz-collect-panel').boundingBox();
    const screen = await page.evaluate(() => [window.innerWidth, window.innerHeight]);
    assert.ok(Math.abs(panel.width - 0.75 * screen[0]) <= 1, `${panel.width} of ${screen[0]}`);
    assert.ok(Math.abs(panel.x + panel.width / 2 - screen[0] / 2) <= 1);
    // The overlay covers the whole window and is in front of everything.
    assert.deepEqual(
        await page.evaluate(() => {
            const r = document.querySelector('.reqwiz-collect').getBoundingClientRect();
            const corner = document.elementFromPoint(2, window.innerHeight - 2);
            return [
                r.left, r.top, r.width === innerWidth, r.height === innerHeight, corner.className
            ];
        }),
        [0, 0, true, true, 'reqwiz-collect']);
    // What to do, a framed bar and its percentage; the browser's own full
    // screen (and its notice) is not used.
    assert.equal(await page.locator('.reqwiz-collect-hint').textContent(),
                 'Mueve el rat\u00f3n dentro de esta ventana hasta que la barra se llene ' +
                     '(las teclas que pulses tambi\u00e9n cuentan).');
    assert.equal(await page.locator('.reqwiz-collect-percent').textContent(), '0 %');
    assert.ok(await page.locator('.reqwiz-collect-frame .reqwiz-collect-bar').count() === 1);
    assert.equal(await page.evaluate(() => document.fullscreenElement), null);
    // A modal dialog named "Avance", its bar named too; no WCAG 2.1 A/AA
    // fault inside.
    assert.equal(await page.getByRole('dialog', {name: 'Avance'}).count(), 1);
    assert.equal(await page.getByRole('progressbar', {name: 'Avance'}).count(), 1);
    assert.deepEqual(await accessibilityViolations(page, '.reqwiz-collect'), []);
    await page.mouse.move(5, 5);
    await page.screenshot({path: path.join(output, 'gen-01-collection.png')});
    const early = 200;
    for (let i = 0; i < early; i++)
        await page.mouse.move(30 + (i * 7) % 500, 30 + (i * 11) % 400);
    await page.waitForFunction(() => Number(document.querySelector('.reqwiz-collect-bar')
                                                .getAttribute('value')) >= 20);
    const shown = await page.evaluate(() => [
        document.querySelector('.reqwiz-collect-bar').getAttribute('value'),
        document.querySelector('.reqwiz-collect-percent').textContent
    ]);
    assert.equal(shown[1], `${shown[0]} %`);
    await page.screenshot({path: path.join(output, 'gen-01b-collection-progress.png')});

    const {moves, last} = await moveUntilClosed(page, overlay);
    assert.ok(early + 1 + moves >= NEEDED - 1, `closed after ${early + 1 + moves} moves`);
    assert.equal(bar[bar.length - 1], 100, bar.join(','));
    assert.ok(bar.includes(1) && bar.includes(99), bar.join(','));
    for (let i = 1; i < bar.length; i++)
        assert.ok(bar[i] >= bar[i - 1], bar.join(','));

    // The waiting page, then the final page.
    await page.waitForSelector('text=Tu requerimiento se gener', {timeout: 120000});
    const elapsed = performance.now() - last;
    assert.deepEqual(pages.slice(-3), ['/Page2.htm', '/Page3.htm', '/Page4.htm']);
    console.log(`# last mouse event to final page: ${Math.round(elapsed)} ms (2048-bit key)`);

    // The window's band under the page: both full paths, and a button that
    // has the program open their folder.
    const keyFile = path.join(folder, 'llave.key');
    const reqFile = path.join(folder, 'solicitud.req');
    const band = page.locator('.reqwiz-result');
    await band.waitFor();
    assert.equal(await band.locator('.reqwiz-result-request').textContent(), reqFile);
    assert.equal(await band.locator('.reqwiz-result-key').textContent(), keyFile);
    const said = await band.textContent();
    assert.ok(said.includes('env\u00eda este archivo'), said);
    assert.ok(said.includes('gu\u00e1rdala junto con tu clave de acceso; sin ellas no ' +
                            'podr\u00e1s usar tu certificado'), said);
    assert.deepEqual(await accessibilityViolations(page, '.reqwiz-result'), []);
    await page.screenshot({path: path.join(output, 'gen-02-final-page.png'), fullPage: true});
    await band.locator('button', {hasText: 'Abrir la carpeta'}).click();
    for (let i = 0; i < 100 && !opener.opened(); i++)
        await page.waitForTimeout(50);
    assert.equal(opener.opened(), `${folder}\n`);

    assert.equal(fs.statSync(keyFile).mode & 0o777, 0o600);
    const {der, trailer} = splitRequest(fs.readFileSync(reqFile));
    const derFile = path.join(folder, 'request.der');
    fs.writeFileSync(derFile, der);

    const verify = openssl(['req', '-inform', 'DER', '-in', derFile, '-verify', '-noout']);
    assert.equal(verify.status, 0, verify.stderr);
    assert.match(verify.stdout + verify.stderr, /verify OK/);
    const subject = openssl([
        'req', '-inform', 'DER', '-in', derFile, '-noout', '-subject', '-nameopt',
        'sep_multiline,lname,esc_msb'
    ]);
    const escaped = (s) =>
        s.replace(/[\u0080-\u00ff]/g, (c) => '\\' + c.charCodeAt(0).toString(16).toUpperCase());
    assert.ok(subject.stdout.includes(`commonName=${escaped(CN)}\n`), subject.stdout);
    assert.ok(subject.stdout.includes(`streetAddress=${escaped(STREET)}\n`), subject.stdout);
    assert.ok(subject.stdout.includes('emailAddress=maria.ibanez@example.com\n'), subject.stdout);
    const text = openssl(['req', '-inform', 'DER', '-in', derFile, '-noout', '-text']);
    assert.match(text.stdout, /Public-Key: \(2048 bit\)/);

    const lines = trailer.toString('latin1');
    assert.ok(lines.startsWith('VERSION1.1DN_O=Comercial Pe\u00f1a SA\r\n'), lines);
    assert.ok(lines.includes(`\r\nDN_CN_1=MAR\u00cdA\r\nDN_CN_2=IB\u00c1\u00d1EZ\r\n`), lines);
    assert.ok(lines.includes('\r\nDN_E=maria.ibanez@example.com\r\n'), lines);
    assert.ok(lines.endsWith('\r\n'));

    // The key opens with the password (ISO-8859-1 bytes, as typed in the
    // page) and belongs to the request.
    const passFile = path.join(folder, 'pass');
    fs.writeFileSync(passFile, Buffer.from(PASSWORD + '\n', 'latin1'));
    const pem = path.join(folder, 'llave.pem');
    const opened = openssl([
        'pkcs8', '-inform', 'DER', '-in', keyFile, '-passin', `file:${passFile}`, '-provider',
        'legacy', '-provider', 'default', '-out', pem
    ]);
    assert.equal(opened.status, 0, opened.stderr);
    const keyModulus = openssl(['rsa', '-in', pem, '-noout', '-modulus']).stdout;
    const reqModulus =
        openssl(['req', '-inform', 'DER', '-in', derFile, '-noout', '-modulus']).stdout;
    assert.match(keyModulus, /^Modulus=[0-9A-F]{512}\n$/);
    assert.equal(keyModulus, reqModulus);

    await page.locator('[name="Image2"]').click();
    assert.equal(await wizard.exited, 0);
});

test('a folder gone after validation: a message, no files, the key page again', async () => {
    const folder = path.join(home, 'se-va');
    fs.mkdirSync(folder);
    const wizard = await startWizard();
    const page = await openWindow(wizard.url);
    await page.exposeFunction('reqwizBar', () => {});
    await fillKeyPage(page, folder);
    const overlay = await continueToCollection(page);
    // Removed after validation: no write can succeed there, not even as root.
    fs.rmSync(folder, {recursive: true});
    await moveUntilClosed(page, overlay);

    const box = await messageBox(page, {timeout: 60000});  // after the job
    assert.equal(box.title, 'Aviso');
    assert.equal(box.icon, 'reqwiz-icon-error');
    assert.equal(
        box.text,
        `No se pudo escribir el archivo ${path.join(folder, 'llave.key')}. ` +
            'No se escribi\u00f3 ning\u00fan archivo.');
    await page.screenshot({path: path.join(output, 'gen-03-failure.png')});
    await acceptMessage(page);
    await page.waitForSelector('form[name="Generacion_de_Llaves"]');
    // No band: nothing was written.
    assert.equal(await page.locator('.reqwiz-result').count(), 0);
    assert.equal(await page.locator('[name="KEY"]').inputValue(), path.join(folder, 'llave.key'));
    assert.equal(
        await page.locator('[name="REQ"]').inputValue(), path.join(folder, 'solicitud.req'));
    assert.equal(await page.locator('[name="PWD"]').inputValue(), '');
    assert.ok(!fs.existsSync(folder));

    // The data page kept its values (as the job converted them).
    await page.locator('[name="Image"]').click();
    await page.waitForSelector('form[name="DATOS"]');
    assert.equal(await page.locator('[name="DN_CN_2"]').inputValue(), 'IB\u00c1\u00d1EZ');
    wizard.child.kill();
});

// Opens the key file with `password` (ISO-8859-1 bytes, as the page sends
// it); true when OpenSSL could decrypt it.
function keyOpensWith(folder, keyFile, password) {
    const passFile = path.join(folder, 'pass');
    fs.writeFileSync(passFile, Buffer.from(password + '\n', 'latin1'));
    const opened = openssl([
        'pkcs8', '-inform', 'DER', '-in', keyFile, '-passin', `file:${passFile}`, '-provider',
        'legacy', '-provider', 'default', '-out', path.join(folder, 'opened.pem')
    ]);
    return opened.status === 0;
}

// A double click, and a double Enter, on Continuar: the second one arrives
// while the first one's message box is open. One hand-over only, and the key
// opens with the password typed (not with an empty one).
for (const [how, twice] of [
         ['a double click', (button) => button.dblclick()],
         [
             'a double Enter',
             async (button) => {
                 await button.focus();
                 await button.press('Enter');
                 await button.press('Enter');
             }
         ],
]) {
    test(`${how} on Continuar starts one hand-over`, async () => {
        const folder = fs.mkdtempSync(path.join(home, 'doble-'));
        const wizard = await startWizard();
        const page = await openWindow(wizard.url);
        let boxes = 0;
        await page.exposeFunction('reqwizBox', () => boxes++);
        await page.exposeFunction('reqwizBar', () => {});
        await fillDataPage(page);
        await setValue(page, 'PWD', PASSWORD);
        await setValue(page, 'PWD2', PASSWORD);
        await setValue(page, 'KEY', path.join(folder, 'llave'));
        await setValue(page, 'REQ', path.join(folder, 'solicitud'));
        // Every message box the page opens is counted.
        await page.evaluate(() => new MutationObserver((changes) => {
                                      for (const c of changes)
                                          for (const n of c.addedNodes)
                                              if (n.querySelector && n.querySelector('.reqwiz-message'))
                                                  window.reqwizBox();
                                  }).observe(document.body, {childList: true}));
        await twice(page.locator('[name="Image2"]'));
        const box = await messageBox(page);
        assert.ok(box.text.startsWith(MSG_MOUSE), box.text);
        await acceptMessage(page);
        const overlay = page.locator('.reqwiz-collect');
        await overlay.waitFor();
        await moveUntilClosed(page, overlay);
        await page.waitForSelector('text=Tu requerimiento se gener', {timeout: 120000});
        assert.equal(boxes, 1);
        assert.ok(keyOpensWith(folder, path.join(folder, 'llave.key'), PASSWORD));
        assert.ok(!keyOpensWith(folder, path.join(folder, 'llave.key'), ''));
        wizard.child.kill();
    });
}

test('a password with a character ISO-8859-1 cannot hold is refused', async () => {
    const folder = fs.mkdtempSync(path.join(home, 'euro-'));
    const wizard = await startWizard();
    const page = await openWindow(wizard.url);
    await fillKeyPage(page, folder, 'Pw1\u20acabcdX');
    await page.locator('[name="Image2"]').click();
    const box = await messageBox(page);
    assert.equal(box.icon, 'reqwiz-icon-error');
    assert.equal(
        box.text,
        'El campo PWD tiene un car\u00e1cter que no est\u00e1 permitido (como el signo del ' +
            'euro): use solo letras, n\u00fameros y signos del alfabeto latino');
    await acceptMessage(page);
    await page.waitForFunction(
        () => document.activeElement && document.activeElement.name === 'PWD');
    assert.deepEqual(fs.readdirSync(folder), []);
    wizard.child.kill();
});

test('Enter on the question that replaces a key answers No', async () => {
    const folder = fs.mkdtempSync(path.join(home, 'existe-'));
    fs.writeFileSync(path.join(folder, 'llave.key'), 'vieja');
    const wizard = await startWizard();
    const page = await openWindow(wizard.url);
    await fillKeyPage(page, folder);
    await page.locator('[name="Image2"]').click();
    const box = await messageBox(page);
    assert.match(box.text, /ya existe/);
    await page.keyboard.press('Enter');
    await page.locator('.reqwiz-layer').waitFor({state: 'detached'});
    await page.waitForFunction(
        () => document.activeElement && document.activeElement.name === 'KEY');
    assert.equal(fs.readFileSync(path.join(folder, 'llave.key'), 'latin1'), 'vieja');
    assert.equal(await page.locator('.reqwiz-collect').count(), 0);
    wizard.child.kill();
});

// Last, once the browser has ended and written out all it keeps: nothing of
// its profile holds the password, in any encoding, and the settings that
// keep passwords and form data out of it are still in place.
test('the browser profile keeps no password and its saving stays off', async () => {
    await session.closeBrowser();
    const needles = ['utf8', 'latin1', 'utf16le'].map((encoding) => Buffer.from(PASSWORD, encoding));
    const files = fs.readdirSync(session.profileDir, {recursive: true})
                      .map((name) => path.join(session.profileDir, name))
                      .filter((file) => fs.lstatSync(file).isFile());
    assert.ok(files.some((file) => file.endsWith(path.join('Default', 'Login Data'))),
              files.join('\n'));
    for (const file of files) {
        const bytes = fs.readFileSync(file);
        for (const needle of needles)
            assert.equal(bytes.indexOf(needle), -1, `${file} holds the password`);
    }
    const preferences =
        JSON.parse(fs.readFileSync(path.join(session.profileDir, 'Default', 'Preferences')));
    assert.equal(preferences.credentials_enable_service, false);
    assert.equal(preferences.autofill.profile_enabled, false);
    assert.equal(preferences.autofill.credit_card_enabled, false);
});
