// How long the launcher lives, in the browser as a person uses it: pages
// that load nothing else survive reloads, a second window keeps it after
// the first closes, back and forward keep it, the last page to close ends
// it, and a page on another origin can neither frame the launcher's page
// nor keep the launcher running.
'use strict';

const { describe, it, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const config = require('./lib/config');
const { Launcher, sleep } = require('./lib/launcher');
const { openBrowser } = require('./lib/browser');

// The launcher waits 1.6 s after the last beacon and looks every 0.2 s.
const EXIT_MIN_MS = 1600;
const EXIT_MAX_MS = 2200;
// Longer than the grace time: a launcher that was going to end has ended.
const PAST_GRACE_MS = 2500;

// Pages that ask for nothing else, not even an icon: nothing but their own
// announcement tells the launcher that they are there.
const solo = (name) => `<!doctype html><html><head><title>${name}</title><link rel="icon" href="data:,">` +
  `</head><body><h1>${name}</h1></body></html>`;
const SOLO_PAGES = { solo: solo('solo'), a: solo('a'), b: solo('b') };

describe('the launcher lives as long as one of its pages', { timeout: 240000 }, () => {
  let browser;
  let launcher;

  before(async () => {
    browser = await openBrowser();
  });

  afterEach(async () => {
    for (const page of browser.context.pages()) if (page !== browser.page) await page.close();
    if (launcher) await launcher.cleanup();
    launcher = null;
  });

  after(async () => {
    if (browser) await browser.close();
  });

  async function startLauncher() {
    launcher = new Launcher();
    for (const [name, text] of Object.entries(SOLO_PAGES)) {
      const folder = path.join(launcher.exeDir, 'www', name);
      fs.mkdirSync(folder);
      fs.writeFileSync(path.join(folder, 'index.html'), text);
    }
    await launcher.start();
  }

  // Resolves once the launcher has answered a page's announcement; start
  // it before the action that shows the page.
  const isAnnouncement = (r) => r.url().startsWith(`${config.origin}/__open?`) && r.status() === 204;
  const announced = (page) => page.waitForResponse(isAnnouncement);

  // A new window (without an opener) on `route`, once the launcher has
  // counted it.
  async function openWindow(route) {
    const page = await browser.context.newPage();
    const shown = announced(page);
    await page.goto(`${config.origin}${route}`);
    await shown;
    return page;
  }

  // Closes the page and checks that the launcher ends with code 0 within
  // the window, timed from the moment the close began: the beacon goes
  // out after it.
  async function closeEndsLauncher(t, page) {
    const start = performance.now();
    await page.close();
    const exit = await launcher.waitExit(10000);
    assert.ok(exit, 'the launcher has ended');
    assert.deepEqual([exit.code, exit.signal], [0, null]);
    const elapsed = exit.at - start;
    t.diagnostic(`launcher ended ${Math.round(elapsed)} ms after the close began`);
    assert.ok(elapsed >= EXIT_MIN_MS && elapsed <= EXIT_MAX_MS, `ended after ${Math.round(elapsed)} ms`);
  }

  async function stillServes(page) {
    assert.ok(launcher.running, 'the launcher still runs');
    assert.equal(await page.evaluate(async () => (await fetch('/solo/index.html')).status), 200);
  }

  it('a page with no sub-resources survives 5 reloads in a row, and closing it ends the launcher', async (t) => {
    await startLauncher();
    const page = await openWindow('/solo/index.html');
    for (let i = 0; i < 5; i++) {
      const shown = announced(page);
      await page.reload();
      await shown;
    }
    await sleep(PAST_GRACE_MS);
    await stillServes(page);
    await closeEndsLauncher(t, page);
  });

  it('with two windows, closing one keeps the other working, and closing the second ends it', async (t) => {
    await startLauncher();
    const first = await openWindow('/solo/index.html');
    const second = await openWindow('/solo/index.html');
    await first.close();
    await sleep(10000);
    await stillServes(second);
    await closeEndsLauncher(t, second);
  });

  it('back and forward between two pages of the site keep it running', async (t) => {
    await startLauncher();
    const page = await openWindow('/a/index.html');
    const steps = [
      () => page.goto(`${config.origin}/b/index.html`),
      () => page.goBack(),
      () => page.goForward(),
      () => page.goBack(),
    ];
    for (const step of steps) {
      const shown = announced(page);
      await step();
      await shown;
    }
    assert.equal(await page.title(), 'a');
    await sleep(PAST_GRACE_MS);
    await stillServes(page);
    await closeEndsLauncher(t, page);
  });

  describe('a page on another origin', () => {
    let server;

    before(async () => {
      server = http.createServer((req, res) => {
        res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
        res.end(`<!doctype html><title>other</title><iframe id="f" src="${config.origin}/"></iframe>`);
      });
      await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    });

    after(async () => {
      if (server) server.close();
    });

    it('gets a blocked frame, and neither keeps the launcher nor is counted', async (t) => {
      await startLauncher();
      const own = await openWindow('/solo/index.html');
      const other = await browser.context.newPage();
      const otherUrl = `http://127.0.0.1:${server.address().port}/`;
      const framed = other.waitForResponse((r) => r.url() === `${config.origin}/`);
      await other.goto(otherUrl);
      // The launcher sent the page, with the headers that forbid the frame.
      const response = await framed;
      assert.equal(response.headers()['content-security-policy'], "frame-ancestors 'self'");
      assert.equal(response.headers()['x-frame-options'], 'SAMEORIGIN');
      // The browser shows an error in its place: no editor, no bootstrap.
      const frame = other.frames().find((f) => f !== other.mainFrame());
      assert.ok(frame, 'the frame exists');
      assert.notEqual(frame.url(), `${config.origin}/`);
      const inside = await frame.evaluate(() => [location.origin, typeof window.VesklarWindows]).catch(() => null);
      assert.ok(inside === null || (inside[0] !== config.origin && inside[1] === 'undefined'), `frame shows ${inside}`);
      // The launcher's own page is the only one: closing it ends the
      // launcher, even when the other page loads the frame again meanwhile.
      const start = performance.now();
      await own.close();
      await sleep(300);
      await other.reload();
      const exit = await launcher.waitExit(10000);
      assert.ok(exit, 'the launcher has ended');
      assert.deepEqual([exit.code, exit.signal], [0, null]);
      const elapsed = exit.at - start;
      t.diagnostic(`launcher ended ${Math.round(elapsed)} ms after its own page closed`);
      assert.ok(elapsed >= EXIT_MIN_MS && elapsed <= EXIT_MAX_MS, `ended after ${Math.round(elapsed)} ms`);
    });
  });
});
