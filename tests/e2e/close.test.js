// The end: closing the page sends the quit beacon and the launcher ends
// with code 0 within two seconds; a reload in the meantime keeps it.
'use strict';

const { describe, it, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const config = require('./lib/config');
const { Launcher, sleep } = require('./lib/launcher');
const { openBrowser } = require('./lib/browser');
const editor = require('./lib/editor');

// The launcher waits 1.6 s after the beacon and looks every 0.2 s.
const EXIT_LIMIT_MS = 2000;

describe('the end of a session', { timeout: 180000 }, () => {
  let browser;
  let launcher;

  before(async () => {
    browser = await openBrowser();
  });

  afterEach(async () => {
    if (launcher) await launcher.cleanup();
    launcher = null;
  });

  after(async () => {
    if (browser) await browser.close();
  });

  // A new launcher and a window that opens straight at its page, as the
  // app window does: no opener, a session history of one entry, so the page
  // may close itself.
  async function freshPage() {
    launcher = new Launcher();
    await launcher.start();
    const cdp = await browser.context.newCDPSession(browser.page);
    const [page] = await Promise.all([
      browser.context.waitForEvent('page'),
      cdp.send('Target.createTarget', { url: `${config.origin}/` }),
    ]);
    await cdp.detach();
    await page.waitForFunction(() => document.title === 'Vesklar 4.2.42');
    return page;
  }

  it('a reload within 1.6 s keeps the launcher running', async () => {
    const page = await freshPage();
    for (let i = 0; i < 2; i++) {
      await page.reload();
      await page.waitForFunction(() => document.title === 'Vesklar 4.2.42');
    }
    await sleep(2500);
    assert.ok(launcher.running, 'still running 2.5 s after the last reload');
    assert.equal(await page.evaluate(async () => (await fetch('/')).status), 200);
    await page.close();
  });

  it('a reload whose page asks for nothing within 1.6 s does not keep it', async () => {
    const page = await freshPage();
    // The old page's beacon goes out once the new page has arrived, and the
    // new page's own requests (script, style, update state) cancel it.
    // Hold those back in the browser for 2.5 s: nothing cancels it in time.
    // Once the launcher has ended, whatever the page still sends is dropped
    // in the browser. Let through, it would reach the next test's launcher
    // on the same port: the new page's late "/__open" there counts a page
    // that never says goodbye, and that launcher would never end.
    let ended = false;
    await page.route('**/*', async (route) => {
      if (!ended && route.request().resourceType() !== 'document') await sleep(2500);
      await (ended ? route.abort() : route.continue()).catch(() => {});
    });
    const reloaded = page.reload().catch(() => {});
    const exit = await launcher.waitExit(5000);
    ended = true;
    assert.ok(exit, 'the launcher has ended');
    assert.equal(exit.code, 0);
    await reloaded;
    await page.close();
    // The beacon of the closing page may still be on its way; it must meet
    // the closed port, not the next launcher.
    await sleep(500);
  });

  it('the "Cerrar" button in a window that may not close itself leaves the launcher running', async () => {
    launcher = new Launcher();
    await launcher.start();
    // Opened blank, then sent to the page: two history entries, so the
    // browser refuses the page's window.close().
    const page = await browser.context.newPage();
    await page.goto(`${config.origin}/`);
    await page.waitForFunction(() => document.title === 'Vesklar 4.2.42');
    await page.click('#close');
    await page.waitForFunction(() => document.getElementById('message').textContent.startsWith('El navegador no deja'));
    await sleep(2500);
    assert.ok(launcher.running, 'still running 2.5 s after the refused close');
    const exit = launcher.waitExit(10000);
    await page.close();
    const ended = await exit;
    assert.ok(ended, 'the launcher has ended within 10 s of the close');
    assert.equal(ended.code, 0);
  });

  const closers = [
    ['closing the page', (page) => page.close()],
    ['the page\'s "Cerrar" button', (page) => page.click('#close')],
  ];
  for (const [name, close] of closers) {
    it(`${name} sends the beacon and the launcher exits with code 0 within two seconds`, async (t) => {
      const page = await freshPage();
      const closed = new Promise((resolve) => page.once('close', () => resolve(performance.now())));
      await close(page);
      // Timed from the moment the page is gone; its beacon went out just
      // before, from "pagehide" or from the button.
      const closedAt = await Promise.race([closed, sleep(10000).then(() => null)]);
      assert.ok(closedAt, 'the page has closed');
      const exit = await launcher.waitExit(10000);
      assert.ok(exit, 'the launcher has ended');
      assert.deepEqual([exit.code, exit.signal], [0, null]);
      const elapsed = exit.at - closedAt;
      t.diagnostic(`launcher ended ${Math.round(elapsed)} ms after the page closed`);
      // Not before the grace period for a reload, and not much after it.
      assert.ok(elapsed >= 1400, `ended after ${Math.round(elapsed)} ms`);
      assert.ok(elapsed < EXIT_LIMIT_MS, `ended after ${Math.round(elapsed)} ms`);
    });
  }
});
