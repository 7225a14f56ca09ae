// The wizard in a real browser: Playwright drives Debian's Chromium through
// the shipped pages served by the real program (`reqwiz --no-open`); the
// environment it reads is described in harness.mjs.
//
// Exits with 77 (CTest's "skipped") when the browser or playwright-core is
// missing; `make test` installs both.
import assert from 'node:assert/strict';
import {once} from 'node:events';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';

import * as harness from './harness.mjs';
import {ADDRESS, output, within} from './harness.mjs';

const session = new harness.Session(await harness.requireTools(), 'e2e');

// Texts of the shipped profile and of the key page's rules.
const DISPLAY_DN_O = 'Proporciona el campo Raz\u00f3n SOcial';
const DISPLAY_DN_CN_1 = 'Proporciona el campo Nombre';
const MSG_MOUSE = 'Para generar tus llaves mueve el rat\u00f3n de manera aleatoria y continua.';
const PASSWORD = 'clave2024x';

// ---------------------------------------------------------------------------
// The program and the browser

const home = session.home;
const files = path.join(home, 'llaves');
let context;
let page;
let wizard;
const requested = [];
const startWizard = () => session.startWizard();
const openWindow = (url) => session.openWindow(url);

before(async () => {
    await session.begin();
    context = session.context;
    fs.mkdirSync(files);
    fs.writeFileSync(path.join(files, 'existente.req'), 'old');
    fs.writeFileSync(path.join(files, 'anterior.key'), 'old');
    fs.mkdirSync(path.join(files, 'respaldo'));
    // The user's XDG folders: a desktop, and documents named but missing.
    fs.mkdirSync(path.join(home, 'Escritorio'));
    fs.mkdirSync(path.join(home, '.config'));
    fs.writeFileSync(path.join(home, '.config', 'user-dirs.dirs'),
                     '# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR="$HOME/Escritorio"\n' +
                         'XDG_DOCUMENTS_DIR="$HOME/Documentos"\n');
    context.on('request', (r) => requested.push(r.url()));
    wizard = await startWizard();
    page = await openWindow(wizard.url);
});

after(() => session.end());

// ---------------------------------------------------------------------------
// Helpers on the page

async function shot(name) {
    await page.screenshot({path: path.join(output, `${name}.png`), fullPage: true});
}

const messageBox = () => harness.messageBox(page);
const acceptMessage = () => harness.acceptMessage(page);
const setValue = (name, value) => harness.setValue(page, name, value);

async function focusedName() {
    return page.evaluate(() => document.activeElement && document.activeElement.name);
}

// Accepts the open message box and waits for the program to focus `name`.
// Closing the box returns the focus to the control that had it, so this waits
// for a focus command newer than the box, not just for the focus.
async function acceptMessageThenFocus(name) {
    const since = await page.evaluate(
        () => Number(document.documentElement.getAttribute('data-reqwiz-focus') || 0));
    await acceptMessage();
    await page.waitForFunction(
        ([n, s]) => document.activeElement && document.activeElement.name === n &&
            Number(document.documentElement.getAttribute('data-reqwiz-focus') || 0) > s,
        [name, since]);
}

const validData = {
    DN_O: 'ACME SA DE CV',
    DN_CN_1: 'JUAN',
    DN_CN_2: 'PEREZ',
    DN_UID_1: 'AAA',
    DN_UID_2: '010101',
    DN_UID_3: 'AB1',
    DN_STREET_1: 'REFORMA',
    DN_STREET_2: '100',
    DN_STREET_4: 'CENTRO',
    DN_L: 'CUAUHTEMOC',
    DN_S: 'CDMX',
    DN_POSTALCODE: '06000',
    DN_PHONE: '5555555555',
};

// ---------------------------------------------------------------------------
// The flow, one step after the other on the same window

test('the data page shows the profile defaults, Mexico selected', async () => {
    assert.equal(await page.locator('select[name="DN_C"]').inputValue(), 'MX');
    assert.equal(await page.locator('select[name="DN_C"] option').count(), 198);
    assert.equal(await page.locator('[name="DN_O"]').inputValue(), '');
    assert.equal(await page.locator('[name="TIPO"]').inputValue(), '30');
    // The address the browser was given is gone from the history and the bar.
    assert.equal(new URL(page.url()).search, '');
    assert.equal(await page.evaluate(() => history.length), 1);
    await shot('01-data-page');
});

test(
    'Continuar with empty mandatory fields names the first one and focuses it after OK',
    async () => {
        await page.locator('[name="Image2"]').click();
        const box = await messageBox();
        assert.deepEqual(box, {title: 'Aviso', text: DISPLAY_DN_O, icon: 'reqwiz-icon-warning'});
        await shot('02-data-page-message');
        // An alert dialog named by its title and described by its text, the
        // page behind it out of reach, no WCAG 2.1 A/AA fault inside it.
        const dialog = page.locator('.reqwiz-message');
        assert.equal(await dialog.getAttribute('role'), 'alertdialog');
        assert.equal(await dialog.getAttribute('aria-modal'), 'true');
        assert.equal(await page.getByRole('alertdialog', {name: 'Aviso'}).count(), 1);
        assert.equal(await page.getByRole('alertdialog', {description: DISPLAY_DN_O}).count(), 1);
        assert.equal(await page.evaluate(() => document.querySelector('form').closest('[inert]') !== null), true);
        assert.deepEqual(await harness.accessibilityViolations(page, '.reqwiz-layer'), []);
        // The focus moves only once the box is closed.
        assert.notEqual(await focusedName(), 'DN_O');
        await acceptMessageThenFocus('DN_O');
    });

test(
    'Enter in a field submits again with the last button: the next empty field is named',
    async () => {
        await setValue('DN_O', validData.DN_O);
        await page.locator('[name="DN_O"]').press('Enter');
        assert.equal((await messageBox()).text, DISPLAY_DN_CN_1);
        await acceptMessageThenFocus('DN_CN_1');
    });

test('a full valid data page reaches the key page', async () => {
    for (const [name, value] of Object.entries(validData))
        await setValue(name, value);
    await page.locator('select[name="DN_C"]').selectOption('MX');
    await page.locator('[name="Image2"]').click();
    await page.waitForSelector('form[name="Generacion_de_Llaves"]');
    assert.equal(await page.locator('[name="PWD"]').inputValue(), '');
    assert.equal(await page.evaluate(() => history.length), 1);
    await shot('03-key-page');
});

test(
    'each key-page rule shows its exact message with the error icon and focuses its control',
    async () => {
        const key = path.join(files, 'llave.key');
        const req = path.join(files, 'solicitud.req');
        const cases = [
            {
                why: '7-character password',
                PWD: 'abc1234',
                PWD2: 'x',
                KEY: key,
                REQ: req,
                text: 'La clave de acceso debe de tener por lo menos 8 caracteres',
                focus: 'PWD'
            },
            {
                why: 'confirmation differs',
                PWD: 'abcd1234',
                PWD2: 'abcd1235',
                KEY: key,
                REQ: req,
                text: 'No coinciden las claves de acceso proporcionadas',
                focus: 'PWD2'
            },
            {
                why: 'letters only',
                PWD: 'abcdefgh',
                PWD2: 'abcdefgh',
                KEY: key,
                REQ: req,
                text: 'La clave de acceso debe de contener n\u00fameros y letras',
                focus: 'PWD'
            },
            {
                why: 'missing key file',
                PWD: PASSWORD,
                PWD2: PASSWORD,
                KEY: '  ',
                REQ: req,
                text: 'Indica el archivo para guardar la llave privada',
                focus: 'KEY'
            },
            {
                why: 'path without a directory',
                PWD: PASSWORD,
                PWD2: PASSWORD,
                KEY: 'llave.key',
                REQ: req,
                text: 'La ruta especificada para la llave privada no es v\u00e1lida',
                focus: 'KEY'
            },
            {
                why: 'file name with a blank',
                PWD: PASSWORD,
                PWD2: PASSWORD,
                KEY: path.join(files, 'mi llave.key'),
                REQ: req,
                text:
                    'El nombre del archivo no puede contener acentos, \n \u00f1 o caracteres especiales.\n' +
                    'Por favor modif\u00edcalo.',
                focus: 'KEY'
            },
        ];
        for (const c of cases) {
            for (const name of ['PWD', 'PWD2', 'KEY', 'REQ'])
                await setValue(name, c[name]);
            await page.locator('[name="Image2"]').click();
            const box = await messageBox();
            assert.deepEqual(box, {title: 'Aviso', text: c.text, icon: 'reqwiz-icon-error'}, c.why);
            if (c.why === 'letters only')
                await shot('04-key-page-message');
            await acceptMessageThenFocus(c.focus);
            // The page stays as the user left it.
            assert.equal(await page.locator('[name="KEY"]').inputValue(), c.KEY, c.why);
        }
    });

test('Enter in the password field does not click the first image button (Regresar)', async () => {
    // The last click was Continuar: Enter validates again and stays on the page.
    await setValue('PWD', 'short1');
    await page.locator('[name="PWD"]').press('Enter');
    assert.equal(
        (await messageBox()).text, 'La clave de acceso debe de tener por lo menos 8 caracteres');
    await acceptMessageThenFocus('PWD');
    assert.equal(await page.locator('form[name="Generacion_de_Llaves"]').count(), 1);
});

test('Regresar and back keeps every value, the passwords included', async () => {
    const values = {
        PWD: PASSWORD,
        PWD2: PASSWORD,
        KEY: path.join(files, 'llave.key'),
        REQ: path.join(files, 'solicitud.req')
    };
    for (const [name, value] of Object.entries(values))
        await setValue(name, value);
    await page.locator('[name="Image"]').click();
    await page.waitForSelector('form[name="DATOS"]');
    for (const [name, value] of Object.entries(validData))
        assert.equal(await page.locator(`[name="${name}"]`).inputValue(), value, name);
    await page.locator('[name="Image2"]').click();
    await page.waitForSelector('form[name="Generacion_de_Llaves"]');
    for (const [name, value] of Object.entries(values))
        assert.equal(await page.locator(`[name="${name}"]`).inputValue(), value, name);
});

test('Seleccionar fills the field from the save dialog, with the default extension', async () => {
    await page.locator('[name="BTN_KEY"]').click();
    const dialog = page.locator('.reqwiz-save');
    await dialog.waitFor();
    // It browses the home folder: folders first; files only of the filter's type.
    await dialog.locator('.reqwiz-folder', {hasText: 'llaves'}).dblclick();
    await dialog.locator('.reqwiz-path', {hasText: files}).waitFor();
    assert.deepEqual(
        await dialog.locator('.reqwiz-item').allTextContents(),
        ['respaldo', 'anterior.key']);  // existente.req is not a .key
    assert.equal(
        await dialog.locator('.reqwiz-type').locator('option').first().textContent(),
        'Llave Privada (*.key)');
    await dialog.locator('.reqwiz-name').fill('nueva');
    await shot('05-save-dialog');
    await dialog.locator('button', {hasText: 'Guardar'}).click();
    await dialog.waitFor({state: 'detached'});
    await page.waitForFunction(
        (v) => document.querySelector('[name="KEY"]').value === v, path.join(files, 'nueva.key'));
});

test('the save dialog asks before overwriting and Cancelar leaves the field alone', async () => {
    const before = await page.locator('[name="REQ"]').inputValue();
    await page.locator('[name="BTN_REQ"]').click();
    const dialog = page.locator('.reqwiz-save');
    await dialog.waitFor();
    await dialog.locator('.reqwiz-name').fill(path.join(files, 'existente'));
    await dialog.locator('button', {hasText: 'Guardar'}).click();
    const question = await messageBox();
    assert.equal(question.text, 'existente.req ya existe.\n\u00bfDesea reemplazarlo?');
    // No is the default: a plain Enter never replaces a file.
    await page.keyboard.press('Enter');
    await page.locator('.reqwiz-message').waitFor({state: 'detached'});
    assert.equal(await dialog.count(), 1);
    await dialog.locator('button', {hasText: 'Cancelar'}).click();
    await dialog.waitFor({state: 'detached'});
    assert.equal(await page.locator('[name="REQ"]').inputValue(), before);

    await page.locator('[name="BTN_REQ"]').click();
    await dialog.waitFor();
    await dialog.locator('.reqwiz-name').fill(path.join(files, 'existente.req'));
    await dialog.locator('.reqwiz-name').press('Enter');
    await messageBox();
    await page.locator('.reqwiz-message button', {hasText: 'S\u00ed'}).click();
    await dialog.waitFor({state: 'detached'});
    await page.waitForFunction(
        (v) => document.querySelector('[name="REQ"]').value === v,
        path.join(files, 'existente.req'));
});

test('the save dialog and its question by keyboard alone: roles, focus kept and returned, axe', async () => {
    // Enter on the Seleccionar button opens the dialog.
    await page.locator('[name="BTN_REQ"]').focus();
    await page.keyboard.press('Enter');
    const dialog = page.locator('.reqwiz-save');
    await dialog.waitFor();
    assert.equal(await page.getByRole('dialog', {name: 'Guardar como'}).count(), 1);
    assert.equal(await dialog.getAttribute('aria-modal'), 'true');
    await dialog.locator('.reqwiz-item').first().waitFor();
    assert.deepEqual(await harness.accessibilityViolations(page, '.reqwiz-layer'), []);
    // The places: the home and the desktop (the documents folder is missing).
    assert.deepEqual(await dialog.locator('.reqwiz-place').allTextContents(),
                     ['Carpeta personal', 'Escritorio']);
    await dialog.locator('.reqwiz-place', {hasText: 'Escritorio'}).click();
    await page.waitForFunction((d) => document.querySelector('.reqwiz-path').textContent === d,
                               path.join(home, 'Escritorio'));
    await dialog.locator('.reqwiz-place', {hasText: 'Carpeta personal'}).click();
    await page.waitForFunction((d) => document.querySelector('.reqwiz-path').textContent === d,
                               home);
    await dialog.locator('.reqwiz-place', {hasText: 'Carpeta personal'}).focus();
    // Tab goes round the dialog's controls and never leaves it; each shows
    // its focus ring.
    const seen = new Set();
    for (let i = 0; i < 12; i++) {
        await page.keyboard.press('Tab');
        const focus = await harness.focusState(page, '.reqwiz-save');
        assert.ok(focus.inside, `Tab ${i + 1} left the dialog`);
        assert.notEqual(focus.outline.split(' ')[0], 'none', `${focus.name}: ${focus.outline}`);
        seen.add(focus.name);
    }
    assert.ok(seen.size >= 5, [...seen].join(' | '));
    // The list by keys: Backspace goes up; back home, type-ahead and Enter
    // go into "llaves", the arrows pick a file and its name goes into the
    // name field.
    await dialog.locator('.reqwiz-list').focus();
    await page.keyboard.press('Backspace');  // from home up to its parent
    await page.waitForFunction(
        (h) => document.querySelector('.reqwiz-path').textContent === h, path.dirname(home));
    await dialog.locator('.reqwiz-place', {hasText: 'Carpeta personal'}).click();
    await page.waitForFunction(
        (h) => document.querySelector('.reqwiz-path').textContent === h, home);
    await dialog.locator('.reqwiz-list').focus();
    await page.keyboard.type('ll');
    assert.equal(await dialog.locator('.reqwiz-selected').textContent(), 'llaves');
    await shot('08-save-dialog-keyboard');
    await page.keyboard.press('Enter');
    await dialog.locator('.reqwiz-path', {hasText: files}).waitFor();
    assert.equal(await page.evaluate(() => document.activeElement.className), 'reqwiz-list');
    await page.keyboard.press('End');
    assert.equal(await dialog.locator('.reqwiz-selected').textContent(), 'existente.req');
    assert.equal(await dialog.locator('.reqwiz-name').inputValue(), 'existente.req');
    await page.keyboard.press('Home');
    assert.equal(await dialog.locator('.reqwiz-selected').textContent(), 'respaldo');
    await page.keyboard.press('ArrowDown');
    assert.equal(await dialog.locator('.reqwiz-selected').textContent(), 'existente.req');
    // Enter on a file that exists: the question, an alert dialog over it.
    await page.keyboard.press('Enter');
    const question = page.locator('.reqwiz-message');
    await question.waitFor();
    assert.equal(await page.getByRole('alertdialog', {name: 'Confirmar Guardar como'}).count(), 1);
    assert.deepEqual(await harness.accessibilityViolations(page, '.reqwiz-message'), []);
    await shot('09-save-question');
    for (let i = 0; i < 3; i++) {
        await page.keyboard.press('Tab');
        assert.ok((await harness.focusState(page, '.reqwiz-message')).inside);
    }
    // Escape answers No; the focus goes back into the dialog; Escape again
    // cancels it and the focus is back on the button that opened it.
    await page.keyboard.press('Escape');
    await question.waitFor({state: 'detached'});
    assert.ok((await harness.focusState(page, '.reqwiz-save')).inside);
    await page.keyboard.press('Escape');
    await dialog.waitFor({state: 'detached'});
    assert.equal(await focusedName(), 'BTN_REQ');
});

test('a valid key page reaches the hand-over to generation', async () => {
    await setValue('PWD', PASSWORD);
    await setValue('PWD2', PASSWORD);
    await page.locator('[name="Image2"]').click();
    // The hand-over shows the mouse message (warning icon). A window without
    // the hand-over shows nothing and stays on the key page.
    const shown = await page.locator('.reqwiz-message')
                      .waitFor({timeout: 5000})
                      .then(() => true, () => false);
    if (shown) {
        const box = await messageBox();
        assert.equal(box.title, 'Aviso');
        assert.equal(box.icon, 'reqwiz-icon-warning');
        assert.ok(box.text.startsWith(MSG_MOUSE), box.text);
        // The profile's message ends with a line break, and the box keeps it.
        const raw = await page.locator('.reqwiz-message .reqwiz-text').textContent();
        assert.match(raw, /\n$/);
        await shot('06-hand-over');
    } else {
        assert.equal(await page.locator('form[name="Generacion_de_Llaves"]').count(), 1);
        assert.equal(await page.locator('.reqwiz-layer').count(), 0);
    }
});

test('the password never appears in an address or in what the program prints', async () => {
    assert.ok(requested.length > 10);
    for (const url of requested)
        assert.ok(!url.includes(PASSWORD), url);
    assert.ok(!wizard.logs().includes(PASSWORD));
    // What the program printed is the one address line.
    assert.match(wizard.logs().trim(), ADDRESS);
});

test('closing the browser window ends the program with code 0', async () => {
    await page.close();
    assert.equal(await within(wizard.exited, 30000, 'the end of the program'), 0);
});

test('Salir on the data page closes the window and ends the program with code 0', async () => {
    const second = await startWizard();
    const other = await openWindow(second.url);
    const closed = once(other, 'close');
    await other.locator('[name="Image3"]').click();
    assert.equal(await within(second.exited, 30000, 'the end of the program'), 0);
    await within(closed, 10000, 'the window closing');
});

test('Cerrar on the final page, outside any form, ends the program with code 0', async () => {
    const third = await startWizard();
    const other = await openWindow(third.url);
    await other.evaluate(() => location.replace('/Page4.htm'));
    await other.locator('[name="Image2"]').waitFor();
    assert.equal(await other.locator('form').count(), 0);
    await other.screenshot({path: path.join(output, '07-final-page.png')});
    const closed = once(other, 'close');
    await other.locator('[name="Image2"]').click();
    assert.equal(await within(third.exited, 30000, 'the end of the program'), 0);
    await within(closed, 10000, 'the window closing');
});
