// The wizard in a real browser: Playwright drives Debian's Chromium through
// the shipped pages served by the real program (`reqwiz --no-open`).
//
//   REQWIZ_BIN          the packed program (default ../../build/reqwiz)
//   REQWIZ_E2E_OUTPUT   folder for the screenshots (default ../../build/e2e-output)
//   REQWIZ_CHROMIUM     the browser (default /usr/bin/chromium)
//
// Exits with 77 (CTest's "skipped") when the browser or playwright-core is
// missing; `make test` installs both.
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import {once} from 'node:events';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const program = process.env.REQWIZ_BIN || path.join(here, '../../build/reqwiz');
const output = process.env.REQWIZ_E2E_OUTPUT || path.join(here, '../../build/e2e-output');
const browserPath = process.env.REQWIZ_CHROMIUM || '/usr/bin/chromium';

let chromium;
try {
    ({chromium} = await import('playwright-core'));
} catch {
    console.log('# skipped: playwright-core is not installed (npm ci in tests/e2e)');
    process.exit(77);
}
if (!fs.existsSync(browserPath)) {
    console.log(`# skipped: no browser at ${browserPath}`);
    process.exit(77);
}
assert.ok(fs.existsSync(program), `no program at ${program}`);

// Texts of the shipped profile and of the key page's rules.
const DISPLAY_DN_O = 'Proporciona el campo Raz\u00f3n SOcial';
const DISPLAY_DN_CN_1 = 'Proporciona el campo Nombre';
const MSG_MOUSE = 'Para generar tus llaves mueve el rat\u00f3n de manera aleatoria y continua.';
const PASSWORD = 'clave2024x';

// ---------------------------------------------------------------------------
// The program and the browser

// Starts the program; resolves with the process and the address it prints.
async function startWizard(home) {
    const child = spawn(program, ['--no-open'], {
        cwd: home,
        env: {...process.env, HOME: home, REQWIZ_NO_DIALOG: '1'},
        stdio: ['ignore', 'pipe', 'pipe'],
    });
    let out = '';
    let err = '';
    child.stderr.on('data', (d) => {
        err += d;
    });
    const url = await new Promise((resolve, reject) => {
        child.stdout.on('data', (d) => {
            out += d;
            const line = out.split('\n').find((l) => l.startsWith('http://127.0.0.1:'));
            if (line)
                resolve(line.trim());
        });
        child.on('exit', (code) => reject(new Error(`reqwiz ended with ${code}: ${err}`)));
    });
    started.push(child);
    const exited = once(child, 'exit').then(([code]) => code);
    return {child, url, exited, logs: () => out + err};
}

function within(promise, ms, what) {
    let timer;
    return Promise
        .race([
            promise,
            new Promise((_, reject) => {
                timer = setTimeout(() => reject(new Error(`${what} did not happen`)), ms);
            }),
        ])
        .finally(() => clearTimeout(timer));
}

// A browser window opened on the wizard's address by the browser itself, as
// `chromium --app=URL` does: the address is its only history entry, which is
// what lets the page close its window.
async function openWindow(url) {
    const session = await context.newCDPSession(context.pages()[0]);
    const opening = context.waitForEvent('page');
    await session.send('Target.createTarget', {url});
    const opened = await opening;
    await session.detach();
    await opened.setViewportSize({width: 648, height: 515});
    await opened.waitForSelector('form[name="DATOS"]');
    return opened;
}

const home = fs.mkdtempSync(path.join(os.tmpdir(), 'reqwiz-e2e-home-'));
const profileDir = fs.mkdtempSync(path.join(os.tmpdir(), 'reqwiz-e2e-browser-'));
const files = path.join(home, 'llaves');
const started = [];
let context;
let page;
let wizard;
const requested = [];

before(async () => {
    fs.mkdirSync(output, {recursive: true});
    fs.mkdirSync(files);
    fs.writeFileSync(path.join(files, 'existente.req'), 'old');
    fs.writeFileSync(path.join(files, 'anterior.key'), 'old');
    fs.mkdirSync(path.join(files, 'respaldo'));
    context = await chromium.launchPersistentContext(profileDir, {
        executablePath: browserPath,
        headless: true,
        viewport: {width: 648, height: 515},
        args: [
            '--no-sandbox', '--disable-gpu', '--disable-background-networking',
            '--disable-component-update', '--disable-sync', '--no-first-run'
        ],
    });
    context.on('request', (r) => requested.push(r.url()));
    wizard = await startWizard(home);
    page = await openWindow(wizard.url);
});

after(async () => {
    if (context)
        await context.close();
    // A program that a failed step left running is ended here.
    for (const child of started)
        if (child.exitCode === null && child.signalCode === null)
            child.kill();
    fs.rmSync(home, {recursive: true, force: true});
    fs.rmSync(profileDir, {recursive: true, force: true});
});

// ---------------------------------------------------------------------------
// Helpers on the page

async function shot(name) {
    await page.screenshot({path: path.join(output, `${name}.png`), fullPage: true});
}

// The open message box: title, text (line breaks as LF, outer blank lines
// dropped) and icon.
async function messageBox() {
    const box = page.locator('.reqwiz-message');
    await box.waitFor();
    return {
        title: await box.locator('.reqwiz-title').textContent(),
        text: (await box.locator('.reqwiz-text').textContent()).replace(/\r\n/g, '\n').trim(),
        icon: (await box.locator('.reqwiz-icon').getAttribute('class')).replace('reqwiz-icon ', ''),
    };
}

async function acceptMessage() {
    await page.locator('.reqwiz-message button', {hasText: 'Aceptar'}).click();
    await page.locator('.reqwiz-layer').waitFor({state: 'detached'});
}

async function focusedName() {
    return page.evaluate(() => document.activeElement && document.activeElement.name);
}

// Accepts the open message box and waits for the program to focus `name`.
// Closing the box returns the focus to the control that had it, so this waits
// for a focus command newer than the box, not just for the focus.
async function acceptMessageThenFocus(name) {
    const focusSeq = () => Number(document.documentElement.getAttribute('data-reqwiz-focus') || 0);
    const since = await page.evaluate(focusSeq);
    await acceptMessage();
    await page.waitForFunction(
        ([n, s]) => document.activeElement && document.activeElement.name === n &&
            Number(document.documentElement.getAttribute('data-reqwiz-focus') || 0) > s,
        [name, since]);
}

// Sets a field's value without clicking it (a click is a control click for
// the wizard and would change the button code).
async function setValue(name, value) { await page.locator(`[name="${name}"]`).fill(value); }

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
    await page.locator('.reqwiz-message button', {hasText: 'No'}).click();
    await page.locator('.reqwiz-message').waitFor({state: 'detached'});
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
    assert.match(wizard.logs().trim(), /^http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{32}$/);
});

test('closing the browser window ends the program with code 0', async () => {
    await page.close();
    assert.equal(await within(wizard.exited, 30000, 'the end of the program'), 0);
});

test('Salir on the data page closes the window and ends the program with code 0', async () => {
    const second = await startWizard(home);
    const other = await openWindow(second.url);
    const closed = once(other, 'close');
    await other.locator('[name="Image3"]').click();
    assert.equal(await within(second.exited, 30000, 'the end of the program'), 0);
    await within(closed, 10000, 'the window closing');
});

test('Cerrar on the final page, outside any form, ends the program with code 0', async () => {
    const third = await startWizard(home);
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
