// The program's own window, as on a desktop: a virtual display (Xvfb) and a
// `chromium` first on PATH that stands in for the real one. It writes down
// how the program started it, turns the developer tools back on in the
// window's profile (the program turns them off; a debugging port needs
// them) and starts the real browser with a debugging port, so that a test
// or a benchmark can look into the window afterwards.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

// Who the program runs as: the user running this, or, when that is root,
// an ordinary user (a number no account is likely to have), so that the
// window is what a user gets: root's is opened another way, and its
// browser runs without its sandbox. {uid, gid} for spawn(), or {}.
export const WINDOW_USER = process.getuid() === 0 ? {uid: 4242, gid: 4242} : {};

// A scratch folder with the four folders a run needs, each private to
// WINDOW_USER: `home` (the program's), `runtime` (its XDG_RUNTIME_DIR),
// `bin` (the stand-in browser, and a copy of the program, which it can
// reach wherever this tree is) and `record` (what the stand-in writes
// down).
export function ownWindowFolders(prefix, program) {
    const scratch = fs.mkdtempSync(path.join(os.tmpdir(), prefix));
    fs.chmodSync(scratch, 0o711);
    const folders = {scratch};
    for (const name of ['home', 'runtime', 'bin', 'record']) {
        folders[name] = path.join(scratch, name);
        fs.mkdirSync(folders[name], {mode: 0o700});
        giveToWindowUser(folders[name]);
    }
    folders.program = copyProgramInto(folders.bin, program);
    return folders;
}

// A copy of `program` in `folder` (which WINDOW_USER can enter), for
// WINDOW_USER to run wherever this tree is; its path.
export function copyProgramInto(folder, program) {
    const copy = path.join(folder, 'reqwiz');
    fs.copyFileSync(program, copy);
    fs.chmodSync(copy, 0o755);
    return copy;
}

// Makes `file` WINDOW_USER's.
export function giveToWindowUser(file) {
    if (WINDOW_USER.uid !== undefined)
        fs.chownSync(file, WINDOW_USER.uid, WINDOW_USER.gid);
}

// Starts Xvfb on a free display of `width` x `height`; resolves to
// {child, display} once it is ready. With `noreset` the display does not
// start afresh whenever its last client leaves (as each run's browser
// does), which would refuse the next one for a moment.
export function startDisplay({width = 1366, height = 768, noreset = false} = {}) {
    const args = ['-displayfd', '1', '-screen', '0', `${width}x${height}x24`, '-nolisten', 'tcp'];
    if (noreset)
        args.push('-noreset');
    const child = spawn('Xvfb', args, {stdio: ['ignore', 'pipe', 'ignore']});
    return new Promise((resolve, reject) => {
        let out = '';
        child.stdout.on('data', (d) => {
            out += d;
            if (out.includes('\n'))
                resolve({child, display: `:${out.trim()}`});
        });
        child.on('exit', (code) => reject(new Error(`Xvfb ended with ${code}`)));
    });
}

// Writes the stand-in `chromium` into `bin`. In `record` it leaves `pid`
// (the browser's: the stand-in becomes it), `args` (one a line),
// `language` (its LANGUAGE), `preferences` (the window profile's, as the
// program wrote them) and `browser.log` (what the browser says). `drop`
// lists switches of the program's to leave out, `extra` switches to add.
export function writeBrowserStandIn(bin, record, {drop = '', extra = ''} = {}) {
    fs.writeFileSync(path.join(bin, 'chromium'), `#!/bin/sh
r='${record}'
drop='${drop}'
printf '%s' "$$" > "$r/pid"
printf '%s\\n' "$@" > "$r/args"
printf '%s' "$LANGUAGE" > "$r/language"
for a in "$@"; do
  case "$a" in
    --user-data-dir=*) d="\${a#--user-data-dir=}" ;;
  esac
done
cp "$d/Default/Preferences" "$r/preferences"
sed -i 's/"devtools":{"availability":2}/"devtools":{}/' "$d/Default/Preferences"
for a in "$@"; do
  shift
  case " $drop " in
    *" $a "*) continue ;;
  esac
  set -- "$@" "$a"
done
exec /usr/bin/chromium "$@" --remote-debugging-port=0 ${extra} 2>> "$r/browser.log"
`, {mode: 0o755});
}

// The file in which the window's browser names its debugging port.
export function debuggingPortFile(home) {
    return path.join(home, '.cache/reqwiz/browser/DevToolsActivePort');
}

// Waits until the process `pid` is gone, asking it to end after `patience`
// milliseconds; true when it is gone.
export async function processGone(pid, patience = 5000) {
    const alive = () => {
        try {
            process.kill(pid, 0);
            return true;
        } catch {
            return false;
        }
    };
    for (let waited = 0; waited < 2 * patience && alive(); waited += 50) {
        if (waited === patience) {
            try {
                process.kill(pid, 'SIGTERM');
            } catch { /* gone meanwhile */
            }
        }
        await new Promise((r) => setTimeout(r, 50));
    }
    return !alive();
}
