// The launcher the way a person uses it: on an X display (Xvfb) it opens
// Chromium in app mode by itself; the window shows the editor; closing the
// window ends the launcher with code 0.
'use strict';

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn, execFileSync } = require('node:child_process');
const config = require('./lib/config');
const { Launcher, sleep, writeScript } = require('./lib/launcher');

// First on the launcher's PATH under the name it looks for: records how it
// was started (one argument a line) and its process id, then runs Debian's
// Chromium with what running as root in a container needs.
function chromiumWrapper(real) {
  return `#!/bin/sh
for a in "$@"; do printf '%s\\n' "$a"; done > "$0.args"
echo $$ > "$0.pid"
PATH=/usr/bin:/bin
exec ${real} "$@" --no-sandbox --disable-gpu --disable-dev-shm-usage --disable-quic \\
  --disable-background-networking --disable-component-update --password-store=basic
`;
}

// An X server on a free display; resolves to { proc, display }.
function startXvfb() {
  return new Promise((resolve, reject) => {
    const proc = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x800x24', '-nolisten', 'tcp'],
      { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
    let text = '';
    proc.once('error', reject);
    proc.once('exit', (code) => reject(new Error(`Xvfb ended with ${code}`)));
    proc.stdio[3].on('data', (b) => {
      text += b.toString();
      if (text.includes('\n')) resolve({ proc, display: `:${text.trim()}` });
    });
  });
}

function tool(display, file, args) {
  return execFileSync(file, args, { env: { ...process.env, DISPLAY: display }, encoding: 'utf8' }).trim();
}

async function findWindow(display, name, timeoutMs) {
  const end = Date.now() + timeoutMs;
  while (Date.now() < end) {
    try {
      const ids = tool(display, 'xdotool', ['search', '--onlyvisible', '--name', name]).split('\n').filter((s) => s);
      if (ids.length) return ids[ids.length - 1];
    } catch (e) { /* not there yet: xdotool exits 1 when nothing matches */ }
    await sleep(250);
  }
  return null;
}

// Running, not merely waiting to be reaped: the browser's parent, the
// launcher, has ended, and a container's first process may not reap.
function processAlive(pid) {
  try {
    const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
    return stat.slice(stat.lastIndexOf(')') + 2)[0] !== 'Z';
  } catch (e) {
    return false;
  }
}

describe('the app window on a display', { skip: config.wine ? 'the Windows build opens no Chromium app window under Wine' : false, timeout: 180000 }, () => {
  let xvfb;
  let launcher;
  let wrapperDir;
  let browserPid = null;

  before(async () => {
    xvfb = await startXvfb();
    wrapperDir = fs.mkdtempSync(path.join(os.tmpdir(), 'vesklar-e2e-bin-'));
    writeScript(path.join(wrapperDir, 'chromium'), chromiumWrapper(config.chromium));
    launcher = new Launcher({ version: '4242\r\n4.2.42\r\n', browserBin: wrapperDir, env: { DISPLAY: xvfb.display } });
  });

  after(async () => {
    // The browser writes into its profile below the launcher's data folder
    // until it ends: let it end (or end it) before that folder goes.
    if (browserPid) {
      for (let i = 0; i < 50 && processAlive(browserPid); i++) await sleep(100);
      if (processAlive(browserPid)) process.kill(browserPid, 'SIGKILL');
      for (let i = 0; i < 50 && processAlive(browserPid); i++) await sleep(100);
    }
    if (launcher) await launcher.cleanup();
    if (xvfb) xvfb.proc.kill();
    if (wrapperDir) fs.rmSync(wrapperDir, { recursive: true, force: true });
  });

  it('opens the editor in a Chromium app window, and closing the window ends the launcher', async (t) => {
    await launcher.start();

    // The window's title is the page's, which the page's script sets from
    // the bootstrap object: so the page has run inside the window.
    const window = await findWindow(xvfb.display, '^Vesklar 4\\.2\\.42$', 60000);
    assert.ok(window, 'an app window titled "Vesklar 4.2.42"');
    browserPid = Number(fs.readFileSync(path.join(wrapperDir, 'chromium.pid'), 'utf8'));

    const args = fs.readFileSync(path.join(wrapperDir, 'chromium.args'), 'utf8').split('\n').filter((a) => a);
    assert.deepEqual(args, [
      `--app=${config.origin}/`,
      `--user-data-dir=${launcher.profileDir}`,
      '--no-first-run',
      '--disable-sync',
      '--disable-features=Translate',
    ]);

    // Let the page finish drawing, then keep a picture of the window.
    await sleep(2000);
    fs.mkdirSync(config.artifacts, { recursive: true });
    const shot = path.join(config.artifacts, 'app-window.png');
    tool(xvfb.display, 'import', ['-window', window, shot]);
    t.diagnostic(`screenshot: ${shot}`);
    const [width, height, colours] = tool(xvfb.display, 'identify', ['-format', '%w %h %k', shot]).split(' ').map(Number);
    assert.ok(width >= 400 && height >= 300, `a window of ${width}x${height}`);
    assert.ok(colours > 50, `a drawn page, not a blank window: ${colours} colours`);
    // The page's header bar, a band of the page's accent colour as wide as
    // the window.
    const histogram = tool(xvfb.display, 'convert', [shot, '-format', '%c', 'histogram:info:-']);
    const accent = /^\s*(\d+):.*#1F6F78\b/im.exec(histogram);
    assert.ok(accent && Number(accent[1]) >= width * 20, `the editor's header bar: ${accent && accent[1]} pixels`);

    // Close the window as a person does, with the keyboard.
    tool(xvfb.display, 'xdotool', ['windowfocus', '--sync', window]);
    tool(xvfb.display, 'xdotool', ['key', '--clearmodifiers', 'ctrl+w']);
    const exit = await launcher.waitExit(15000);
    assert.ok(exit, 'the launcher ended after its window closed');
    assert.deepEqual([exit.code, exit.signal], [0, null]);
    assert.equal(await findWindow(xvfb.display, '^Vesklar 4\\.2\\.42$', 500), null, 'the window is gone');
  });
});
