// The wizard in a real browser: Playwright drives Debian's Chromium through
// the shipped pages served by the real program (`reqwiz --no-open`); the
// environment it reads is described in harness.mjs.
//
// Exits with 77 (CTest's "skipped") when the browser or playwright-core is
// missing; `make test` installs both.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
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
    // A large file (sparse: no disk used) and known times for the columns.
    fs.writeFileSync(path.join(files, 'grande.key'), '');
    fs.truncateSync(path.join(files, 'grande.key'), 2.5 * 1024 * 1024);
    const when = new Date(2024, 2, 5, 9, 7);  // local time, as the page shows it
    for (const name of ['anterior.key', 'grande.key', 'respaldo'])
        fs.utimesSync(path.join(files, name), when, when);
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

// Waits for the save dialog to show `folder`: named in its "Guardar en:"
// field, its listing in.
async function waitForFolder(folder) {
    await page.waitForFunction(
        (d) => document.querySelector('.reqwiz-path').value === d &&
            !document.querySelector('.reqwiz-list').hasAttribute('aria-busy'),
        folder);
}
const acceptMessage = () => harness.acceptMessage(page);
const setValue = (name, value) => harness.setValue(page, name, value);

async function selectedName() {
    return page.locator('.reqwiz-save .reqwiz-selected .reqwiz-item-name').textContent();
}

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
    await waitForFolder(files);
    assert.deepEqual(
        await dialog.locator('.reqwiz-item-name').allTextContents(),
        ['respaldo', 'anterior.key', 'grande.key']);  // existente.req is not a .key
    // The columns: a folder has no size; sizes in Spanish; local times.
    assert.deepEqual(await dialog.locator('.reqwiz-columns span').allTextContents(),
                     ['Nombre', 'Tama\u00f1o', 'Fecha de modificaci\u00f3n']);
    assert.deepEqual(await dialog.locator('.reqwiz-item-size').allTextContents(),
                     ['', '3 bytes', '2,5 MB']);
    assert.deepEqual(await dialog.locator('.reqwiz-item-date').allTextContents(),
                     ['05/03/2024 09:07', '05/03/2024 09:07', '05/03/2024 09:07']);
    // Assistive technology hears each row whole, with what the eye gets
    // from the icon and the headings.
    const options = page.getByRole('listbox', {name: 'Carpetas y archivos'}).getByRole('option');
    assert.equal(await options.count(), 3);
    for (const name of [/^respaldo\s*,\s*carpeta\s*,\s*modificado el 05\/03\/2024 09:07$/,
                        /^grande\.key\s*,\s*2,5 MB\s*,\s*modificado el 05\/03\/2024 09:07$/])
        assert.equal(await page.getByRole('option', {name}).count(), 1, String(name));
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
    await waitForFolder(path.join(home, 'Escritorio'));
    await dialog.locator('.reqwiz-place', {hasText: 'Carpeta personal'}).click();
    await waitForFolder(home);
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
    await waitForFolder(path.dirname(home));
    await dialog.locator('.reqwiz-place', {hasText: 'Carpeta personal'}).click();
    await waitForFolder(home);
    await dialog.locator('.reqwiz-list').focus();
    await page.keyboard.type('ll');
    assert.equal(await selectedName(), 'llaves');
    await shot('08-save-dialog-keyboard');
    await page.keyboard.press('Enter');
    await waitForFolder(files);
    assert.equal(await page.evaluate(() => document.activeElement.className), 'reqwiz-list');
    await page.keyboard.press('End');
    assert.equal(await selectedName(), 'existente.req');
    assert.equal(await dialog.locator('.reqwiz-name').inputValue(), 'existente.req');
    await page.keyboard.press('Home');
    assert.equal(await selectedName(), 'respaldo');
    await page.keyboard.press('ArrowDown');
    assert.equal(await selectedName(), 'existente.req');
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

test('a folder typed into "Guardar en:" and a new folder, by keyboard alone', async () => {
    const before = await page.locator('[name="KEY"]').inputValue();
    // The dialog's first listing is held back until the typed folder is
    // shown: arriving late, it must not take the dialog back.
    let release;
    const held = new Promise((resolve) => { release = resolve; });
    let first = true;
    const hold = async (route) => {
        if (first) {
            first = false;
            await held;
        }
        await route.continue();
    };
    await page.route('**/__reqwiz/dir?*', hold);
    await page.locator('[name="BTN_KEY"]').focus();
    await page.keyboard.press('Enter');
    const dialog = page.locator('.reqwiz-save');
    await dialog.waitFor();
    const where = dialog.locator('.reqwiz-path');
    const problem = dialog.locator('.reqwiz-save-body > .reqwiz-problem');
    // The field is labelled and takes a path: Enter goes there and on to the list.
    assert.equal(await page.getByRole('textbox', {name: 'Guardar en:'}).count(), 1);
    const respaldo = path.join(files, 'respaldo');
    await where.fill(respaldo);
    await where.press('Enter');
    // Shown once the list has the focus (the first listing still awaited).
    await page.waitForFunction(() => document.activeElement.className === 'reqwiz-list');
    assert.equal(await where.inputValue(), respaldo);
    // The list stays busy until the late listing has been handled; it
    // changes neither the folder shown nor what is being typed.
    await where.fill('otra');
    assert.equal(await dialog.locator('.reqwiz-list').getAttribute('aria-busy'), 'true');
    release();
    await page.waitForFunction(
        () => !document.querySelector('.reqwiz-list').hasAttribute('aria-busy'));
    await page.unroute('**/__reqwiz/dir?*', hold);
    assert.equal(await where.inputValue(), 'otra');
    await where.press('Escape');
    assert.equal(await where.inputValue(), respaldo);
    assert.deepEqual(await dialog.locator('.reqwiz-item-name').allTextContents(), []);
    await where.fill(files);
    await where.press('Enter');
    await waitForFolder(files);
    // A name from the folder shown, and back up with "..".
    await where.fill('respaldo');
    await where.press('Enter');
    await waitForFolder(path.join(files, 'respaldo'));
    await where.fill('..');
    await where.press('Enter');
    await waitForFolder(files);
    // What is not a folder stays typed, with the reason; Escape gives back
    // the folder shown, and the dialog stays open.
    const cases = [
        {typed: path.join(files, 'nada'), says: `La carpeta ${path.join(files, 'nada')} no existe.`},
        {typed: 'existente.req', says: `${path.join(files, 'existente.req')} no es una carpeta.`},
    ];
    for (const c of cases) {
        await where.fill(c.typed);
        await where.press('Enter');
        await page.waitForFunction(
            (t) => document.querySelector('.reqwiz-save-body > .reqwiz-problem').textContent === t,
            c.says);
        assert.equal(await where.inputValue(), c.typed);
        assert.ok((await harness.focusState(page, '.reqwiz-path')).inside);
    }
    await page.keyboard.press('Escape');
    assert.equal(await where.inputValue(), files);
    assert.equal(await problem.textContent(), '');
    assert.equal(await dialog.count(), 1);
    // Tab from the field: the up button, then "Nueva carpeta".
    await where.focus();
    await page.keyboard.press('Tab');
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Nueva carpeta');
    await page.keyboard.press('Enter');
    const prompt = page.locator('.reqwiz-prompt');
    await prompt.waitFor();
    assert.equal(await page.getByRole('dialog', {name: 'Nueva carpeta'}).count(), 1);
    assert.equal(await prompt.getAttribute('aria-modal'), 'true');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'reqwiz-folder-name');
    // Refused names keep the prompt open, with the reason under the field.
    const refused = [
        {name: 'respaldo', says: 'Ya existe una carpeta o un archivo con ese nombre.'},
        {name: 'existente.req', says: 'Ya existe una carpeta o un archivo con ese nombre.'},
        {name: 'a/b', says: /^Ese nombre no sirve para una carpeta/},
        {name: '..', says: /^Ese nombre no sirve para una carpeta/},
        {name: '   ', says: 'Escriba el nombre de la carpeta.'},
        {name: 'Precio \u20ac', says: /^El nombre tiene un car\u00e1cter que no est\u00e1 permitido/},
        {name: 'x'.repeat(256), says: 'El nombre es demasiado largo para una carpeta.'},
    ];
    for (const c of refused) {
        await page.keyboard.press('Control+A');
        await page.keyboard.type(c.name);
        await page.keyboard.press('Enter');
        const line = prompt.locator('.reqwiz-problem');
        await page.waitForFunction(
            (n) => document.querySelector('.reqwiz-prompt .reqwiz-problem').textContent !== '' &&
                document.activeElement.id === 'reqwiz-folder-name' &&
                document.activeElement.selectionStart === 0 &&
                document.activeElement.selectionEnd === document.activeElement.value.length &&
                document.activeElement.value === n,
            c.name);
        const text = await line.textContent();
        if (c.says instanceof RegExp)
            assert.match(text, c.says, c.name);
        else
            assert.equal(text, c.says, c.name);
        await prompt.locator('.reqwiz-problem').evaluate((el) => { el.textContent = ''; });
    }
    await page.keyboard.press('Control+A');
    await page.keyboard.type('respaldo');
    await page.keyboard.press('Enter');
    await prompt.locator('.reqwiz-problem', {hasText: 'Ya existe'}).waitFor();
    assert.deepEqual(await harness.accessibilityViolations(page, '.reqwiz-prompt'), []);
    await shot('10-new-folder-refused');
    // Tab stays inside the prompt, each control with its focus ring.
    for (let i = 0; i < 4; i++) {
        await page.keyboard.press('Tab');
        const focus = await harness.focusState(page, '.reqwiz-prompt');
        assert.ok(focus.inside, `Tab ${i + 1} left the prompt`);
        assert.notEqual(focus.outline.split(' ')[0], 'none', `${focus.name}: ${focus.outline}`);
    }
    // Escape closes the prompt alone; the focus is back on its button.
    await page.keyboard.press('Escape');
    await prompt.waitFor({state: 'detached'});
    assert.equal(await dialog.count(), 1);
    assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Nueva carpeta');
    // A good name: the folder is made (trimmed), entered, and the file's name is next.
    await page.keyboard.press('Enter');
    await prompt.waitFor();
    await page.keyboard.type('  A\u00f1o 2024 ');
    await page.keyboard.press('Enter');
    await prompt.waitFor({state: 'detached'});
    const made = path.join(files, 'A\u00f1o 2024');
    await waitForFolder(made);
    assert.ok(fs.statSync(made).isDirectory());
    assert.deepEqual(fs.readdirSync(made), []);
    assert.equal(await page.evaluate(() => document.activeElement.className), 'reqwiz-name');
    assert.equal(await dialog.locator('.reqwiz-item').count(), 0);
    assert.equal(await problem.textContent(), '');
    assert.deepEqual(await harness.accessibilityViolations(page, '.reqwiz-layer'), []);
    await shot('11-new-folder-entered');
    // Up again: the new folder is listed among the others.
    await dialog.locator('.reqwiz-list').focus();
    await page.keyboard.press('Backspace');
    await waitForFolder(files);
    assert.deepEqual(await dialog.locator('.reqwiz-folder .reqwiz-item-name').allTextContents(),
                     ['A\u00f1o 2024', 'respaldo']);
    await page.keyboard.press('Escape');
    await dialog.waitFor({state: 'detached'});
    assert.equal(await page.locator('[name="KEY"]').inputValue(), before);
});

test('a new folder on a read-only disk is refused with the reason', async (t) => {
    const disk = path.join(files, 'solo-lectura');
    fs.mkdirSync(disk);
    const mounted = spawnSync('mount', ['-t', 'tmpfs', '-o', 'ro,size=64k', 'tmpfs', disk]);
    if (mounted.status !== 0) {
        fs.rmdirSync(disk);
        t.skip(`cannot mount a read-only disk here: ${String(mounted.stderr).trim()}`);
        return;
    }
    try {
        // The first listing arrives once the user is in the field: it must
        // not change the field under the user's typing.
        let release;
        const held = new Promise((resolve) => { release = resolve; });
        const hold = async (route) => {
            await held;
            await route.continue();
        };
        await page.route('**/__reqwiz/dir?*', hold, {times: 1});
        await page.locator('[name="BTN_KEY"]').click();
        const dialog = page.locator('.reqwiz-save');
        await dialog.waitFor();
        const where = dialog.locator('.reqwiz-path');
        await where.focus();
        release();
        await page.waitForFunction(
            () => !document.querySelector('.reqwiz-list').hasAttribute('aria-busy'));
        await page.keyboard.type(disk);
        await page.keyboard.press('Enter');
        await waitForFolder(disk);
        await dialog.locator('.reqwiz-new-folder').click();
        const prompt = page.locator('.reqwiz-prompt');
        await prompt.waitFor();
        await prompt.locator('.reqwiz-folder-name').fill('Nueva');
        await prompt.locator('button', {hasText: 'Crear'}).click();
        await prompt.locator('.reqwiz-problem', {hasText: 'No se puede'}).waitFor();
        assert.equal(await prompt.locator('.reqwiz-problem').textContent(),
                     `No se puede crear la carpeta ${path.join(disk, 'Nueva')}: el disco es de solo lectura.`);
        await shot('12-new-folder-read-only');
        await prompt.locator('button', {hasText: 'Cancelar'}).click();
        await prompt.waitFor({state: 'detached'});
        await page.keyboard.press('Escape');
        await dialog.waitFor({state: 'detached'});
    } finally {
        spawnSync('umount', [disk]);
        fs.rmdirSync(disk);
    }
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
