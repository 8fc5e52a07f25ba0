// Starts the real launcher in a temporary exe folder of its own (program,
// www, version.txt), with its own data and home folders, natively or under
// Wine, and ends it again.
'use strict';

const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { spawn, spawnSync } = require('node:child_process');
const config = require('./config');

// A stand-in that records its arguments (one per line, a blank line after
// each start) and ends.
const RECORDER = '#!/bin/sh\nfor a in "$@"; do printf \'%s\\n\' "$a"; done >> "$0.log"\necho >> "$0.log"\n';

function writeScript(file, text) {
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, text, { mode: 0o755 });
}

function windowsPath(p) {
  // Z: maps the Unix root in every Wine prefix.
  return `Z:${path.resolve(p).replace(/\//g, '\\')}`;
}

function connectOnce(timeoutMs) {
  return new Promise((resolve) => {
    const socket = net.connect({ host: '127.0.0.1', port: config.port });
    const done = (ok) => { socket.destroy(); resolve(ok); };
    socket.setTimeout(timeoutMs, () => done(false));
    socket.once('connect', () => done(true));
    socket.once('error', () => done(false));
  });
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

class Launcher {
  // version: the text of version.txt beside the program.
  // browserBin: a folder that replaces the whole PATH of the launcher;
  //   without it the launcher gets a folder of recording stand-ins first on
  //   PATH, so it never opens a browser window of its own.
  // env: more variables for the launcher (DISPLAY, say).
  constructor({ version = '4242\r\n4.2.42\r\n', browserBin = null, env = {} } = {}) {
    this.root = fs.mkdtempSync(path.join(os.tmpdir(), 'vesklar-e2e-'));
    this.exeDir = path.join(this.root, 'app');
    this.data = path.join(this.root, 'data');
    this.home = path.join(this.root, 'home');
    this.runtime = path.join(this.root, 'run');
    for (const dir of [this.exeDir, this.data, this.home, this.runtime]) fs.mkdirSync(dir, { mode: 0o700 });
    this.exe = path.join(this.exeDir, path.basename(config.exe));
    fs.copyFileSync(config.exe, this.exe);
    fs.chmodSync(this.exe, 0o755);
    fs.cpSync(config.site, path.join(this.exeDir, 'www'), { recursive: true });
    fs.writeFileSync(path.join(this.exeDir, 'version.txt'), version);
    this.fakeBin = path.join(this.root, 'fake-bin');
    // The first browser name the launcher looks for on PATH, and the
    // default handler (natively, and Wine's browser hand-off).
    for (const name of ['microsoft-edge', 'xdg-open']) writeScript(path.join(this.fakeBin, name), RECORDER);
    this.browserBin = browserBin;
    this.extraEnv = env;
    this.proc = null;
    this.exit = null;
  }

  get mediaDir() { return path.join(this.data, 'Vesklar', 'media'); }

  get profileDir() { return path.join(this.data, 'Vesklar', 'profile'); }

  get downloads() { return path.join(this.home, 'Downloads'); }

  // The starts of the recording stand-ins, each a list of arguments.
  fakeCalls(name) {
    let text;
    try {
      text = fs.readFileSync(path.join(this.fakeBin, `${name}.log`), 'utf8');
    } catch (e) {
      return [];
    }
    return text.split('\n\n').filter((s) => s).map((s) => s.split('\n').filter((a) => a));
  }

  env() {
    const env = { ...process.env };
    delete env.DISPLAY;
    delete env.WAYLAND_DISPLAY;
    env.PATH = this.browserBin || `${this.fakeBin}:${process.env.PATH || '/usr/bin:/bin'}`;
    if (config.wine) {
      Object.assign(env, { WINEPREFIX: config.wineprefix, WINEDEBUG: '-all' });
    } else {
      Object.assign(env, { HOME: this.home, XDG_DATA_HOME: this.data, XDG_RUNTIME_DIR: this.runtime, TMPDIR: this.root });
    }
    return Object.assign(env, this.extraEnv);
  }

  command() {
    if (!config.wine) return [this.exe, []];
    // Wine sets LOCALAPPDATA and USERPROFILE itself; cmd places ours.
    const line = `set LOCALAPPDATA=${windowsPath(this.data)}&& set USERPROFILE=${windowsPath(this.home)}&& ` +
      windowsPath(this.exe);
    return [config.wine, ['cmd', '/c', line]];
  }

  // Starts the program and waits until it listens.
  async start(timeoutMs = 60000) {
    if (await connectOnce(1000)) {
      throw new Error(`port ${config.port} is already in use; the end-to-end tests need it`);
    }
    const [file, args] = this.command();
    this.stderr = '';
    this.proc = spawn(file, args, { cwd: this.root, env: this.env(), stdio: ['ignore', 'ignore', 'pipe'] });
    this.proc.stderr.on('data', (b) => { this.stderr += b.toString(); });
    this.exit = new Promise((resolve) => {
      this.proc.once('exit', (code, signal) => {
        // Under Wine, helper processes that outlive the program (the
        // prefix's services) inherit the pipe and keep it open.
        this.proc.stderr.destroy();
        resolve({ code, signal, at: performance.now() });
      });
    });
    const end = Date.now() + timeoutMs;
    while (Date.now() < end) {
      if (this.proc.exitCode !== null) throw new Error(`launcher exited early with ${this.proc.exitCode}: ${this.stderr}`);
      if (await connectOnce(1000)) return;
      await sleep(50);
    }
    throw new Error('launcher did not start listening');
  }

  get running() { return this.proc !== null && this.proc.exitCode === null && this.proc.signalCode === null; }

  // The exit of the program, or null if it has not ended within timeoutMs.
  waitExit(timeoutMs) {
    return Promise.race([this.exit, sleep(timeoutMs).then(() => null)]);
  }

  // Ends the program if it still runs: the quit beacon, then force.
  async stop() {
    if (!this.running) return;
    try {
      await fetch(`${config.origin}/__quit`, { method: 'POST' });
    } catch (e) { /* gone already */ }
    if (await this.waitExit(10000)) return;
    this.proc.kill('SIGKILL');
    if (config.wine) spawnSync('wineserver', ['-k'], { env: this.env() });
    await this.waitExit(10000);
  }

  async cleanup() {
    await this.stop();
    fs.rmSync(this.root, { recursive: true, force: true });
  }
}

module.exports = { Launcher, sleep, writeScript };
