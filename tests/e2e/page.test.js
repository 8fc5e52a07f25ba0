// A page load: the bootstrap object from version.txt, a client-side route
// that survives a reload, the update state, and the page without the
// launcher.
'use strict';

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const config = require('./lib/config');
const { Launcher, sleep } = require('./lib/launcher');
const { openBrowser } = require('./lib/browser');
const editor = require('./lib/editor');

describe('the page in the launcher', { timeout: 180000 }, () => {
  let launcher;
  let browser;
  let page;

  before(async () => {
    launcher = new Launcher({ version: '4242\r\n4.2.42\r\n' });
    await launcher.start();
    browser = await openBrowser();
    page = browser.page;
  });

  after(async () => {
    if (browser) await browser.close();
    if (launcher) await launcher.cleanup();
  });

  it('carries the bootstrap object with the number and name of version.txt', async () => {
    const response = await editor.openEditor(page);
    assert.equal(response.status(), 200);
    assert.deepEqual(await page.evaluate(() => window.VesklarWindows),
      { saveUrl: '/__save', version: 4242, versionName: '4.2.42' });
    assert.equal(await page.textContent('#version'), 'Versión 4.2.42 (número 4242)');
    assert.equal(await page.title(), 'Vesklar 4.2.42');
    assert.ok(await page.locator('#notice').isHidden());
  });

  it('the launcher asked for its own window through the stand-in, not a real browser', async () => {
    // Natively the first browser name it looks for on PATH; under Wine no
    // browser is installed, so the default handler gets the bare address.
    const [name, expected] = config.wine
      ? ['xdg-open', [`${config.origin}/`]]
      : ['microsoft-edge', [`--app=${config.origin}/`, `--user-data-dir=${launcher.profileDir}`,
        '--no-first-run', '--disable-sync', '--disable-features=Translate']];
    const end = Date.now() + 15000;
    while (launcher.fakeCalls(name).length === 0 && Date.now() < end) await sleep(200);
    assert.deepEqual(launcher.fakeCalls(name), [expected]);
  });

  it('a client-side route reloads to the same page and project', async () => {
    const historyLength = await page.evaluate(() => history.length);
    await editor.createProject(page, 'Vídeos de Ñandú');
    assert.equal(new URL(page.url()).pathname, '/proyecto/videos-de-nandu');
    const response = await page.reload();
    assert.equal(response.status(), 200);
    assert.equal(new URL(page.url()).pathname, '/proyecto/videos-de-nandu');
    await page.waitForFunction(() => document.title === 'Vesklar 4.2.42');
    assert.equal(await page.evaluate(() => window.VesklarWindows.versionName), '4.2.42');
    assert.equal(await page.$eval('#project', (s) => s.options[s.selectedIndex].text), 'Vídeos de Ñandú');
    // The project's address replaces the entry instead of adding one: in
    // an app window, which starts with a history of one entry, the page may
    // then still close itself.
    assert.equal(await page.evaluate(() => history.length), historyLength);
  });

  it('shows the update state that the launcher reports', async () => {
    // This build's update host cannot be reached, so the launcher reports
    // that it could not check.
    await page.waitForFunction(() => !document.getElementById('update-state').textContent.startsWith('Comprobando'),
      undefined, { timeout: 60000 });
    assert.equal(await page.textContent('#update-state'),
      'No se ha podido comprobar si hay una versión nueva (tienes la 4.2.42). Inténtalo más tarde.');
    assert.ok(await page.locator('#update-start').isHidden());
  });

  it('says it is up to date only when the launcher read the list of versions', async () => {
    const documents = [
      ['{"current":4242,"latest":4242,"name":"4.2.42","available":false,"checked":true}',
        'Tienes la versión más reciente (4.2.42).'],
      // A launcher from before the "checked" member.
      ['{"current":4242,"latest":4242,"name":"4.2.42","available":false}', 'Tienes la versión más reciente (4.2.42).'],
    ];
    for (const [body, text] of documents) {
      await page.route('**/__update', (route) =>
        route.fulfill({ status: 200, contentType: 'application/json; charset=utf-8', body }));
      try {
        await page.click('#update-check');
        await page.waitForFunction(() => !document.getElementById('update-state').textContent.startsWith('Comprobando'));
        assert.equal(await page.textContent('#update-state'), text, body);
      } finally {
        await page.unroute('**/__update');
      }
    }
  });

  // The answers a launcher with an update host gives; the launcher in this
  // test has none, so the browser answers for it.
  const updateCases = [
    {
      name: 'a started update',
      post: [200, 'application/json', '{"available":true,"started":true}'],
      message: { kind: 'ok', text: 'La actualización ha comenzado. Vesklar se cerrará y volverá a abrirse con la versión nueva.' },
    },
    {
      name: 'a failed download or hand-off',
      post: [500, 'application/json', '{"available":true,"started":false}'],
      message: {
        kind: 'error',
        text: 'No se pudo consultar o iniciar la actualización: la descarga o la instalación de la versión nueva ' +
          'ha fallado. Inténtalo más tarde.',
      },
    },
  ];
  for (const c of updateCases) {
    it(`offers a newer version and reports ${c.name}`, async () => {
      const posts = [];
      await page.route('**/__update', (route) => {
        if (route.request().method() === 'POST') {
          posts.push(route.request().postData() || '');
          const [status, contentType, body] = c.post;
          return route.fulfill({ status, contentType, body });
        }
        return route.fulfill({
          status: 200,
          contentType: 'application/json; charset=utf-8',
          body: '{"current":4242,"latest":4243,"name":"4.2.43","available":true}',
        });
      });
      try {
        await page.click('#update-check');
        await page.locator('#update-start').waitFor();
        assert.equal(await page.textContent('#update-state'),
          'Hay una versión nueva: 4.2.43 (número 4243; tienes el 4242).');
        assert.deepEqual(await editor.outcome(page, () => page.click('#update-start')), c.message);
        assert.equal(posts.length, 1);
      } finally {
        await page.unroute('**/__update');
      }
    });
  }
});

describe('the page without the launcher', { timeout: 60000 }, () => {
  let server;
  let browser;

  before(async () => {
    // Any plain file server will do: no bootstrap script, no media store.
    server = http.createServer((req, res) => {
      const name = new URL(req.url, 'http://x').pathname.slice(1) || 'index.html';
      const file = path.join(config.site, path.basename(name));
      if (!fs.existsSync(file)) {
        res.writeHead(404);
        res.end();
        return;
      }
      res.writeHead(200);
      res.end(fs.readFileSync(file));
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    browser = await openBrowser();
  });

  after(async () => {
    if (browser) await browser.close();
    if (server) server.close();
  });

  it('shows a notice instead of the editor', async () => {
    const { page } = browser;
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    await page.locator('#notice').waitFor();
    assert.match(await page.textContent('#notice'), /necesita el lanzador/);
    assert.ok(await page.locator('#editor').isHidden());
    assert.equal(await page.textContent('#version'), 'Sin el lanzador');
  });
});
