// Takes the screenshots that the AppStream metadata shows (not a test):
//
//   node tests/e2e/screenshots.mjs [FOLDER]
//
// Drives the packed program with the headless Chromium of the browser tests
// through the data page, the key page and the mouse collection, with made-up
// data, and writes datos.png, llave.png and raton.png into FOLDER (default
// packaging/screenshots). The program's environment is harness.mjs's.
import path from 'node:path';
import {fileURLToPath} from 'node:url';

import {acceptMessage, APPLICANT, messageBox, requireTools, Session, setValue} from './harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const folder = process.argv[2] || path.join(here, '../../packaging/screenshots');

// The metadata's pictures show the address in lower case.
const data = {...APPLICANT, DN_E: 'maria.ibanez@example.com'};

const session = new Session(await requireTools(), 'shots');
try {
    await session.begin({prepareProfile: true});
    const wizard = await session.startWizard();
    const page = await session.openWindow(wizard.url);
    for (const [name, value] of Object.entries(data))
        await setValue(page, name, value);
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.screenshot({path: path.join(folder, 'datos.png')});

    await page.locator('[name="Image2"]').click();
    await page.waitForSelector('form[name="Generacion_de_Llaves"]');
    await setValue(page, 'PWD', 'Clave2026');
    await setValue(page, 'PWD2', 'Clave2026');
    // The pictures show a user's folder; the run writes into its own.
    const shown = {KEY: '/home/maria/Documentos/llave.key', REQ: '/home/maria/Documentos/solicitud.req'};
    const show = () => page.evaluate((values) => {
        for (const [name, value] of Object.entries(values))
            document.querySelector(`[name="${name}"]`).value = value;
    }, shown);
    await show();
    await page.screenshot({path: path.join(folder, 'llave.png')});
    await setValue(page, 'KEY', path.join(session.home, 'llave.key'));
    await setValue(page, 'REQ', path.join(session.home, 'solicitud.req'));

    await page.locator('[name="Image2"]').click();
    await messageBox(page);
    await acceptMessage(page);
    await page.locator('.reqwiz-collect').waitFor();
    for (let i = 0; i < 200; i++)
        await page.mouse.move(20 + ((i * 37) % 600), 20 + ((i * 53) % 470));
    await page.waitForTimeout(300);
    await show();
    await page.screenshot({path: path.join(folder, 'raton.png')});
} finally {
    await session.end();
}
