// How the program opens its window, seen from the browser's side: a fake
// `chromium` (or `xdg-open`) first on PATH records its command line and the
// page it was given. The window's own browser (a profile of its own) is
// opened on the address itself: every local user can read a command line,
// but the server takes the token from the user's own programs alone. Root's
// window, a window without a profile of its own and the desktop opener,
// which may hand the address to the user's everyday browser, get no
// argument with the token: a page private to the user forwards to the
// address; it goes away once the token is spent, and at exit on every
// path. The window's own browser profile has its password
// manager and autofill off before the browser starts.
//
// Needs no browser: REQWIZ_BIN is the only setting it reads (see harness.mjs).
import assert from 'node:assert/strict';
import {spawn, spawnSync} from 'node:child_process';
import {once} from 'node:events';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {after, test} from 'node:test';

import {ADDRESS, program, within} from './harness.mjs';
import {copyProgramInto, giveToWindowUser, WINDOW_USER} from './own_window.mjs';

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'reqwiz-launch-'));
fs.chmodSync(scratch, 0o711);
after(() => fs.rmSync(scratch, {recursive: true, force: true}));

// A fake browser (or opener) in a folder of its own. It writes what it saw
// into `record`: its arguments, then for the page it was given its text and
// the modes of the page and its folder, then the window profile's
// preferences, and last a marker; with `stay` it then sleeps like a window
// that is still open.
function fakeOpener(name, {stay = false} = {}) {
    const bin = fs.mkdtempSync(path.join(scratch, 'bin-'));
    const record = fs.mkdtempSync(path.join(scratch, 'record-'));
    fs.chmodSync(bin, 0o755);
    giveToWindowUser(record);
    fs.writeFileSync(path.join(bin, name), `#!/bin/sh
PATH=/usr/bin:/bin
r='${record}'
printf '%s\\n' "$@" > "$r/args"
for a in "$@"; do
  case "$a" in
    --app=file://*|file://*) f="\${a#--app=}"; f="\${f#file://}" ;;
    --user-data-dir=*) cp "\${a#--user-data-dir=}/Default/Preferences" "$r/preferences" ;;
  esac
done
if [ -n "$f" ]; then
  cp "$f" "$r/page"
  stat -c '%a' "$f" > "$r/page-mode"
  stat -c '%a' "$(dirname "$f")" > "$r/folder-mode"
  printf '%s' "$(dirname "$f")" > "$r/folder"
fi
touch "$r/done"
${stay ? 'exec sleep 60' : 'exit 0'}
`, {mode: 0o755});
    return {bin, read: (file) => fs.readFileSync(path.join(record, file), 'latin1'),
            done: () => fs.existsSync(path.join(record, 'done'))};
}

// Starts the program with `bin` alone (or first) on PATH and a home, runtime
// folder and cache of its own. With `asUser`, as an ordinary user even
// when the tests run as root (see WINDOW_USER), from a copy it can reach.
async function startProgram(bin, {pathTail = true, prepareHome = () => {}, asUser = false} = {}) {
    const home = fs.mkdtempSync(path.join(scratch, 'home-'));
    prepareHome(home);
    const runtime = fs.mkdtempSync(path.join(scratch, 'run-'));
    const env = {...process.env, HOME: home, XDG_RUNTIME_DIR: runtime, REQWIZ_NO_DIALOG: '1',
                 PATH: pathTail ? `${bin}:${process.env.PATH}` : bin};
    delete env.XDG_CACHE_HOME;
    let started = program;
    if (asUser) {
        giveToWindowUser(home);
        giveToWindowUser(runtime);
        const folder = fs.mkdtempSync(path.join(scratch, 'program-'));
        fs.chmodSync(folder, 0o755);
        started = copyProgramInto(folder, program);
    }
    const child = spawn(started, [], {cwd: home, env, stdio: ['ignore', 'pipe', 'pipe'],
                                      ...(asUser ? WINDOW_USER : {})});
    let out = '';
    let err = '';
    child.stderr.on('data', (d) => { err += d; });
    const exited = once(child, 'exit');
    const url = await within(new Promise((resolve, reject) => {
        child.stdout.on('data', (d) => {
            out += d;
            const line = out.split('\n').find((l) => ADDRESS.test(l));
            if (line)
                resolve(line.trim());
        });
        child.on('exit', (code) => reject(new Error(`reqwiz ended with ${code}: ${err}`)));
    }), 10000, 'the address');
    return {child, url, exited, home, runtime, logs: () => out + err};
}

async function until(check, what) {
    for (let i = 0; i < 200 && !check(); i++)
        await new Promise((r) => setTimeout(r, 50));
    assert.ok(check(), `${what} did not happen`);
}

// The status of a GET of `url` made by a program of WINDOW_USER's, "" when
// the server closed the connection without an answer.
function getAsWindowUser(url) {
    const address = new URL(url);
    const script = `require('http').get({host: '127.0.0.1', port: ${address.port},
        path: ${JSON.stringify(address.pathname + address.search)},
        headers: {Host: ${JSON.stringify(address.host)}}},
        (res) => { res.resume(); console.log(res.statusCode); }).on('error', () => console.log(''));`;
    return spawnSync(process.execPath, ['-e', script], {encoding: 'utf8', ...WINDOW_USER})
        .stdout.trim();
}

// A GET as the browser sends it (the name under .localhost is loopback).
function get(url) {
    const address = new URL(url);
    return new Promise((resolve, reject) => {
        http.get({host: '127.0.0.1', port: address.port, path: address.pathname + address.search,
                  headers: {Host: address.host}},
                 (res) => { res.resume(); resolve(res.statusCode); })
            .on('error', reject);
    });
}

function checkOpenedOnPrivatePage(fake, url, runtime) {
    const token = new URL(url).searchParams.get('token');
    const args = fake.read('args').trim().split('\n');
    for (const arg of args)
        assert.ok(!arg.includes(token), `an argument carries the token: ${arg}`);
    const folder = fake.read('folder');
    assert.equal(path.dirname(folder), runtime);
    assert.equal(fake.read('folder-mode').trim(), '700');
    assert.equal(fake.read('page-mode').trim(), '600');
    assert.ok(fake.read('page').includes(`location.replace("${url}")`), fake.read('page'));
    return {args, folder};
}

test('the window\'s own browser is opened on the address, with a profile prepared first', async () => {
    const fake = fakeOpener('chromium');
    const run = await startProgram(fake.bin, {asUser: true});
    await until(fake.done, 'the browser start');
    const args = fake.read('args').trim().split('\n');
    assert.equal(args[0], `--app=${run.url}`);
    assert.ok(args.includes(`--user-data-dir=${run.home}/.cache/reqwiz/browser`), args.join(' '));
    // The window's profile was prepared before the browser started.
    const preferences = JSON.parse(fake.read('preferences'));
    assert.equal(preferences.credentials_enable_service, false);
    assert.equal(preferences.profile.password_manager_enabled, false);
    assert.equal(preferences.autofill.profile_enabled, false);
    assert.equal(preferences.autofill.credit_card_enabled, false);
    // No forwarding page was made.
    assert.deepEqual(fs.readdirSync(run.runtime), []);
    // A program of the user's own: the token lets it in, once.
    assert.equal(getAsWindowUser(run.url), '200');
    assert.equal(getAsWindowUser(run.url), '403');
    run.child.kill('SIGTERM');
    assert.deepEqual(await within(run.exited, 10000, 'the exit'), [0, null]);
});

test('root\'s window gets the private page, never the address on its command line',
     {skip: process.getuid() !== 0 && 'needs root'}, async () => {
    // Root's own programs are the system's services too, which another
    // user may have connect somewhere.
    const fake = fakeOpener('chromium');
    const run = await startProgram(fake.bin);
    await until(fake.done, 'the browser start');
    const {args, folder} = checkOpenedOnPrivatePage(fake, run.url, run.runtime);
    assert.equal(args[0], `--app=file://${folder}/open.html`);
    assert.ok(args.includes(`--user-data-dir=${run.home}/.cache/reqwiz/browser`), args.join(' '));
    assert.equal(await get(run.url), 200);
    await until(() => !fs.existsSync(folder), 'removing the page once the token is spent');
    run.child.kill('SIGTERM');
    assert.deepEqual(await within(run.exited, 10000, 'the exit'), [0, null]);
});

test('a window profile folder that is not the user\'s own: the browser gets the private page', async () => {
    const fake = fakeOpener('chromium');
    // The program's cache folder is a link to a folder someone else could
    // have made: the window gets no profile of its own there, so the
    // address stays off the command line.
    const elsewhere = fs.mkdtempSync(path.join(scratch, 'elsewhere-'));
    const run = await startProgram(fake.bin, {
        prepareHome: (home) => {
            fs.mkdirSync(path.join(home, '.cache'));
            fs.symlinkSync(elsewhere, path.join(home, '.cache', 'reqwiz'));
        }
    });
    await until(fake.done, 'the browser start');
    const {args, folder} = checkOpenedOnPrivatePage(fake, run.url, run.runtime);
    assert.equal(args[0], `--app=file://${folder}/open.html`);
    for (const arg of args)
        assert.ok(!/^--(user-data-dir|in-process-gpu|renderer-process-limit)/.test(arg), arg);
    assert.deepEqual(fs.readdirSync(elsewhere), []);
    run.child.kill('SIGTERM');
    assert.deepEqual(await within(run.exited, 10000, 'the exit'), [0, null]);
});

test('the desktop opener gets a private page that forwards to the address; spent token, page gone', async () => {
    const fake = fakeOpener('xdg-open');
    const run = await startProgram(fake.bin, {pathTail: false});
    await until(fake.done, 'the opener start');
    const {args, folder} = checkOpenedOnPrivatePage(fake, run.url, run.runtime);
    assert.deepEqual(args, [`file://${folder}/open.html`]);
    assert.ok(fs.existsSync(folder));
    assert.equal(await get(run.url), 200);
    await until(() => !fs.existsSync(folder), 'removing the page once the token is spent');
    assert.equal(run.child.exitCode, null, 'the program is still running');
    run.child.kill('SIGTERM');
    assert.deepEqual(await within(run.exited, 10000, 'the exit'), [0, null]);
    assert.deepEqual(fs.readdirSync(run.runtime), []);
});

for (const signal of ['SIGINT', 'SIGTERM']) {
    test(`${signal} before the token is spent removes the page`, async () => {
        const fake = fakeOpener('xdg-open', {stay: true});
        const run = await startProgram(fake.bin, {pathTail: false});
        await until(fake.done, 'the opener start');
        const {folder} = checkOpenedOnPrivatePage(fake, run.url, run.runtime);
        assert.ok(fs.existsSync(folder));
        run.child.kill(signal);
        assert.deepEqual(await within(run.exited, 10000, 'the exit'), [0, null]);
        assert.ok(!fs.existsSync(folder), 'the page is still there after exit');
        assert.deepEqual(fs.readdirSync(run.runtime), []);
    });
}

test('the desktop entry names the window class the browser is given, and the icon', async () => {
    const data = fs.mkdtempSync(path.join(scratch, 'data-'));
    const here = path.dirname(new URL(import.meta.url).pathname);
    const installed = spawnSync(path.join(here, '../../scripts/install-desktop-entry.sh'),
                                [program, data], {encoding: 'utf8'});
    assert.equal(installed.status, 0, installed.stderr);
    const entry = fs.readFileSync(path.join(data, 'applications/reqwiz.desktop'), 'utf8');
    assert.match(entry, /^StartupWMClass=reqwiz$/m);
    assert.match(entry, /^Icon=reqwiz$/m);
    assert.ok(fs.readFileSync(path.join(data, 'icons/hicolor/scalable/apps/reqwiz.svg'), 'utf8')
                  .startsWith('<svg'));
    // The window the program opens carries that class.
    const fake = fakeOpener('chromium');
    const run = await startProgram(fake.bin);
    await until(fake.done, 'the browser start');
    assert.ok(fake.read('args').split('\n').includes('--class=reqwiz'));
    run.child.kill('SIGTERM');
    await within(run.exited, 10000, 'the exit');
});
