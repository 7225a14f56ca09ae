// The desktop's own save dialog in a real browser: the program runs on a
// private session bus on which a stand-in file-chooser portal
// (tests/support/fake_portal.cpp, REQWIZ_FAKE_PORTAL) answers each file
// button of the key page in turn. The page's own dialog appears only once
// the portal has failed.
//
// The environment it reads is described in harness.mjs.
//
// Exits with 77 (CTest's "skipped") when the browser, playwright-core,
// dbus-daemon or the stand-in portal is missing.
import assert from 'node:assert/strict';
import {spawn, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';

import {APPLICANT, messageBox, output, requireTools, Session, setValue} from './harness.mjs';

const portalProgram = process.env.REQWIZ_FAKE_PORTAL || '';
if (!fs.existsSync(portalProgram) || spawnSync('dbus-daemon', ['--version']).status !== 0) {
    console.log('# skipped: no dbus-daemon or no stand-in portal (REQWIZ_FAKE_PORTAL)');
    process.exit(77);
}

const session = new Session(await requireTools(), 'portal');
const home = session.home;
const files = path.join(home, 'llaves');
const busDir = fs.mkdtempSync(path.join(home, 'bus-'));
const children = [];

// Starts `argv` and resolves with the first line it prints.
function firstLine(argv, env) {
    const child = spawn(argv[0], argv.slice(1), {env: {...process.env, ...env}, stdio: ['ignore', 'pipe', 'ignore']});
    children.push(child);
    return new Promise((resolve, reject) => {
        let text = '';
        child.stdout.on('data', (d) => {
            text += d;
            if (text.includes('\n'))
                resolve(text.split('\n')[0]);
        });
        child.on('exit', (code) => reject(new Error(`${argv[0]} ended with ${code}`)));
    });
}

function portalCalls() {
    const file = path.join(busDir, 'calls');
    if (!fs.existsSync(file))
        return [];
    return fs.readFileSync(file, 'utf8').trim().split('\n').filter(Boolean).map((l) => JSON.parse(l));
}

let page;
let wizard;

before(async () => {
    fs.mkdirSync(files);
    fs.writeFileSync(path.join(files, 'existente.req'), 'antigua');
    // A bus with nothing on it but the stand-in portal.
    const config = path.join(busDir, 'bus.conf');
    fs.writeFileSync(config,
                     '<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"\n' +
                         ' "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">\n' +
                         `<busconfig><type>session</type><listen>unix:path=${busDir}/bus</listen>` +
                         '<auth>EXTERNAL</auth><policy context="default"><allow send_destination="*"/>' +
                         '<allow receive_sender="*"/><allow own="*"/></policy></busconfig>\n');
    const address = await firstLine(
        ['dbus-daemon', `--config-file=${config}`, '--nofork', '--nopidfile', '--print-address=1'], {});
    const ready = await firstLine(
        [
            portalProgram, path.join(busDir, 'calls'),
            // BTN_KEY: taken as chosen.
            'uri:file://' + encodeURI(path.join(files, 'mi llave.key')),
            // BTN_REQ: ".req" is added, which names an existing file.
            'uri:file://' + encodeURI(path.join(files, 'existente')),
            // BTN_KEY again: the portal fails; the page's dialog takes over.
            'fail'
        ],
        {DBUS_SESSION_BUS_ADDRESS: address});
    assert.equal(ready, 'ready');

    await session.begin();
    wizard = await session.startWizard({env: {DBUS_SESSION_BUS_ADDRESS: address}});
    page = await session.openWindow(wizard.url);
    for (const [name, value] of Object.entries(APPLICANT))
        await setValue(page, name, value);
    await page.locator('[name="Image2"]').click();
    await page.waitForSelector('form[name="Generacion_de_Llaves"]');
});

after(async () => {
    await session.end();
    for (const child of children.reverse())
        child.kill();
});

test('the file button opens the desktop dialog with the filter, the name and the folder', async () => {
    await page.locator('[name="BTN_KEY"]').click();
    await page.waitForFunction(
        (v) => document.querySelector('[name="KEY"]').value === v, path.join(files, 'mi llave.key'));
    assert.equal(await page.locator('.reqwiz-save').count(), 0);
    const [call] = portalCalls();
    assert.equal(call.call, 'SaveFile');
    assert.equal(call.title, 'Guardar como');
    assert.equal(call.options.modal, true);
    assert.match(call.options.filters[0][0], /\(\*\.key\)$/);
    assert.deepEqual(call.options.filters[0][1], [[0, '*.key']]);
    assert.equal(call.options.current_folder, home + '\u0000');
});

test('a name the default extension turns into an existing file is asked about in the window', async () => {
    await page.locator('[name="BTN_REQ"]').click();
    const question = await messageBox(page);
    assert.equal(question.text, 'existente.req ya existe.\n\u00bfDesea reemplazarlo?');
    await page.screenshot({path: path.join(output, 'portal-01-replace-question.png')});
    await page.locator('.reqwiz-message button', {hasText: 'S\u00ed'}).click();
    await page.waitForFunction(
        (v) => document.querySelector('[name="REQ"]').value === v, path.join(files, 'existente.req'));
    // The dialog opened where the last file went.
    assert.equal(portalCalls()[1].options.current_folder, files + '\u0000');
    assert.equal(fs.readFileSync(path.join(files, 'existente.req'), 'utf8'), 'antigua');
});

test('once the portal fails, the page\'s own dialog is the save dialog', async () => {
    await page.locator('[name="BTN_KEY"]').click();
    const dialog = page.locator('.reqwiz-save');
    await dialog.waitFor();
    await dialog.locator('button', {hasText: 'Cancelar'}).click();
    await dialog.waitFor({state: 'detached'});
    assert.equal(await page.locator('[name="KEY"]').inputValue(), path.join(files, 'mi llave.key'));
    // Not asked again in this run.
    await page.locator('[name="BTN_KEY"]').click();
    await dialog.waitFor();
    await dialog.locator('button', {hasText: 'Cancelar'}).click();
    assert.equal(portalCalls().length, 3);
});
