// What the browser tests share: where the program and the browser are, the
// browser session, the program started on a home folder, the window opened
// on its address, and the steps every test takes on a page.
//
//   REQWIZ_BIN          the packed program (default ../../build/reqwiz)
//   REQWIZ_E2E_OUTPUT   folder for the screenshots (default ../../build/e2e-output)
//   REQWIZ_CHROMIUM     the browser (default /usr/bin/chromium)
import assert from 'node:assert/strict';
import {spawn, spawnSync} from 'node:child_process';
import {once} from 'node:events';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const program = process.env.REQWIZ_BIN || path.join(here, '../../build/reqwiz');
export const output = process.env.REQWIZ_E2E_OUTPUT || path.join(here, '../../build/e2e-output');
const browserPath = process.env.REQWIZ_CHROMIUM || '/usr/bin/chromium';

// The one line the program prints: its own name under .localhost, the port
// and the one-time token.
export const ADDRESS = /^http:\/\/reqwiz-[0-9a-f]{16}\.localhost:\d+\/\?token=[0-9a-f]{32}$/;

// Playwright's Chromium driver. Exits with 77 (CTest's "skipped") when it,
// the browser or (when asked) openssl is missing; `make test` installs them.
export async function requireTools({openssl = false} = {}) {
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
    if (openssl && spawnSync('openssl', ['version']).status !== 0) {
        console.log('# skipped: no openssl');
        process.exit(77);
    }
    assert.ok(fs.existsSync(program), `no program at ${program}`);
    return chromium;
}

// A valid data page: an applicant with accented names, for the tests and
// benchmarks that go past it.
export const APPLICANT = {
    DN_O: 'Comercial Pe\u00f1a SA',
    DN_CN_1: 'Mar\u00eda',
    DN_CN_2: 'Ib\u00e1\u00f1ez',
    DN_CN_3: 'Le\u00f3n',
    DN_UID_1: 'IALM',
    DN_UID_2: '800101',
    DN_UID_3: 'AB1',
    DN_STREET_1: 'Paseo de la Reforma',
    DN_STREET_2: '222',
    DN_STREET_3: '4',
    DN_STREET_4: 'Ju\u00e1rez',
    DN_L: 'Cuauht\u00e9moc',
    DN_S: 'Ciudad de M\u00e9xico',
    DN_POSTALCODE: '06600',
    DN_PHONE: '5555555555',
    DN_E: 'Maria.Ibanez@Example.COM',
};

// One test file's world: a home folder for the program, a browser profile,
// the browser, and every program it started. `end()` tears it all down.
export class Session {
    constructor(chromium, name) {
        this.chromium = chromium;
        this.home = fs.mkdtempSync(path.join(os.tmpdir(), `reqwiz-${name}-home-`));
        this.profileDir = fs.mkdtempSync(path.join(os.tmpdir(), `reqwiz-${name}-browser-`));
        this.started = [];
        this.context = null;
    }

    // With `prepareProfile` the browser profile is first prepared by the
    // program itself, as it prepares its window's own before opening it.
    async begin({prepareProfile = false} = {}) {
        fs.mkdirSync(output, {recursive: true});
        if (prepareProfile) {
            const prepared = spawnSync(program, ['--prepare-browser-profile', this.profileDir]);
            assert.equal(prepared.status, 0, String(prepared.stderr));
            // The window's profile has the developer tools off, and the
            // driver works through them: that one setting goes back on.
            const file = path.join(this.profileDir, 'Default', 'Preferences');
            const preferences = JSON.parse(fs.readFileSync(file, 'utf8'));
            assert.equal(preferences.devtools.availability, 2);
            delete preferences.devtools.availability;
            fs.writeFileSync(file, JSON.stringify(preferences));
        }
        this.context = await this.chromium.launchPersistentContext(this.profileDir, {
            executablePath: browserPath,
            headless: true,
            viewport: {width: 648, height: 515},
            args: [
                '--no-sandbox', '--disable-gpu', '--disable-background-networking',
                '--disable-component-update', '--disable-sync', '--no-first-run'
            ],
        });
    }

    // Ends the browser, which writes out everything it keeps.
    async closeBrowser() {
        if (this.context)
            await this.context.close();
        this.context = null;
    }

    async end() {
        await this.closeBrowser();
        // A program that a failed step left running is ended here.
        for (const child of this.started)
            if (child.exitCode === null && child.signalCode === null)
                child.kill();
        fs.rmSync(this.home, {recursive: true, force: true});
        fs.rmSync(this.profileDir, {recursive: true, force: true});
    }

    // Starts the program (`env` adds to its environment); resolves with the
    // process, the address it prints, a promise of its exit code and
    // everything it printed so far.
    async startWizard({env = {}} = {}) {
        const child = spawn(program, ['--no-open'], {
            cwd: this.home,
            // No session bus unless a test brings its own: the desktop's
            // save dialog of the machine running the tests never opens.
            env: {
                ...process.env,
                HOME: this.home,
                REQWIZ_NO_DIALOG: '1',
                DBUS_SESSION_BUS_ADDRESS: 'unix:path=/nonexistent/reqwiz-e2e-no-bus',
                ...env
            },
            stdio: ['ignore', 'pipe', 'pipe'],
        });
        this.started.push(child);
        let out = '';
        let err = '';
        child.stderr.on('data', (d) => {
            err += d;
        });
        const url = await new Promise((resolve, reject) => {
            child.stdout.on('data', (d) => {
                out += d;
                const line = out.split('\n').find((l) => ADDRESS.test(l));
                if (line)
                    resolve(line.trim());
            });
            child.on('exit', (code) => reject(new Error(`reqwiz ended with ${code}: ${err}`)));
        });
        const exited = once(child, 'exit').then(([code]) => code);
        return {child, url, exited, logs: () => out + err};
    }

    // A browser window opened on the wizard's address by the browser itself,
    // as `chromium --app=URL` does: the address is its only history entry,
    // which is what lets the page close its window.
    async openWindow(url) {
        const session = await this.context.newCDPSession(this.context.pages()[0]);
        const opening = this.context.waitForEvent('page');
        await session.send('Target.createTarget', {url});
        const opened = await opening;
        await session.detach();
        await opened.setViewportSize({width: 648, height: 515});
        await opened.waitForSelector('form[name="DATOS"]');
        return opened;
    }
}

// Rejects when `promise` has not settled within `ms`.
export function within(promise, ms, what) {
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

// The open message box: title, text (line breaks as LF, outer blank lines
// dropped) and icon.
export async function messageBox(page, {timeout} = {}) {
    const box = page.locator('.reqwiz-message');
    await box.waitFor({timeout});
    // A box takes the keyboard's Enter and Space a moment after it opened.
    await page.locator('.reqwiz-layer.reqwiz-armed .reqwiz-message').waitFor({timeout});
    return {
        title: await box.locator('.reqwiz-title').textContent(),
        text: (await box.locator('.reqwiz-text').textContent()).replace(/\r\n/g, '\n').trim(),
        icon: (await box.locator('.reqwiz-icon').getAttribute('class')).replace('reqwiz-icon ', ''),
    };
}

export async function acceptMessage(page) {
    await page.locator('.reqwiz-message button', {hasText: 'Aceptar'}).click();
    await page.locator('.reqwiz-layer').waitFor({state: 'detached'});
}

// Sets a field's value without clicking it (a click is a control click for
// the wizard and would change the button code).
export async function setValue(page, name, value) {
    await page.locator(`[name="${name}"]`).fill(value);
}

// The WCAG 2.1 A and AA violations axe-core finds inside `selector` on the
// page (the program's own dialogs and overlay: the profile's pages are not
// the program's to change). Each as "rule: target" for a readable failure.
const axeSource = fs.readFileSync(
    path.join(here, 'node_modules', 'axe-core', 'axe.min.js'), 'utf8');
export async function accessibilityViolations(page, selector) {
    if (!(await page.evaluate(() => typeof window.axe === 'object')))
        await page.addScriptTag({content: axeSource});
    const violations = await page.evaluate(
        (include) => window.axe
                         .run({include: [include]}, {
                             runOnly: {type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa']}
                         })
                         .then((r) => r.violations.map(
                                   (v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`)),
        selector);
    return violations;
}

// Where the focus is: inside the element `selector`, and its outline as
// drawn (style and width).
export async function focusState(page, selector) {
    return page.evaluate((s) => {
        const el = document.activeElement;
        const style = el ? getComputedStyle(el) : null;
        return {
            inside: !!(el && el.closest(s)),
            outline: style ? `${style.outlineStyle} ${style.outlineWidth}` : '',
            name: el ? (el.getAttribute('aria-label') || el.textContent || el.name || el.className) : ''
        };
    }, selector);
}
