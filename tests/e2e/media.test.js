// A media item's whole road through the page: upload with progress,
// playback with seeking by byte ranges, copy to another project, export to
// Downloads, and removal of a project.
'use strict';

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const config = require('./lib/config');
const { Launcher } = require('./lib/launcher');
const { openBrowser } = require('./lib/browser');
const { makeColourClip, makeTone, shownColour } = require('./lib/media');
const editor = require('./lib/editor');

describe('a media item through the page', { timeout: 180000 }, () => {
  let launcher;
  let browser;
  let page;
  let work;
  let clip;
  let clipBytes;
  let tone;
  const mediaResponses = [];

  before(async () => {
    work = fs.mkdtempSync(path.join(os.tmpdir(), 'vesklar-e2e-media-'));
    clip = makeColourClip(work, 'clip.mp4');
    clipBytes = fs.readFileSync(clip);
    tone = makeTone(work, 'tono.wav');
    launcher = new Launcher();
    await launcher.start();
    browser = await openBrowser();
    page = browser.page;
    page.on('response', (response) => {
      const request = response.request();
      if (request.method() === 'GET' && new URL(response.url()).pathname.startsWith('/__media/')) {
        mediaResponses.push({
          path: new URL(response.url()).pathname,
          range: request.headers().range || null,
          status: response.status(),
          contentRange: response.headers()['content-range'] || null,
        });
      }
    });
    await editor.openEditor(page);
  });

  after(async () => {
    if (browser) await browser.close();
    if (launcher) await launcher.cleanup();
    if (work) fs.rmSync(work, { recursive: true, force: true });
  });

  it('uploads a video through the page, showing the progress of the upload', async () => {
    // A slower line than loopback, so that the upload takes long enough to
    // report progress along the way.
    const cdp = await browser.context.newCDPSession(page);
    await cdp.send('Network.enable');
    await cdp.send('Network.emulateNetworkConditions',
      { offline: false, latency: 0, downloadThroughput: -1, uploadThroughput: 1024 * 1024 });
    await page.evaluate(() => {
      window.progressSeen = [];
      const shown = document.getElementById('upload-percent');
      new MutationObserver(() => window.progressSeen.push(shown.textContent))
        .observe(shown, { childList: true, characterData: true, subtree: true });
    });
    const result = await editor.upload(page, clip);
    await cdp.send('Network.emulateNetworkConditions',
      { offline: false, latency: 0, downloadThroughput: -1, uploadThroughput: -1 });
    await cdp.detach();

    assert.deepEqual(result, { kind: 'ok', text: '«clip.mp4» se ha subido al proyecto «Mi proyecto».' });
    const seen = (await page.evaluate(() => window.progressSeen)).map((s) => parseInt(s, 10));
    assert.ok(seen.some((p) => p > 0 && p < 100), `progress between 0 and 100 %: ${seen}`);
    assert.equal(seen[seen.length - 1], 100);
    assert.deepEqual(seen, [...seen].sort((a, b) => a - b), 'progress never goes back');

    // The launcher stored exactly the bytes sent, with the type given.
    const { project, items } = await editor.recordedItems(page);
    assert.equal(project, 'mi-proyecto');
    assert.equal(items.length, 1);
    assert.deepEqual([items[0].name, items[0].type, items[0].size], ['clip.mp4', 'video/mp4', clipBytes.length]);
    const stored = path.join(launcher.mediaDir, 'mi-proyecto', items[0].id);
    assert.ok(fs.readFileSync(stored).equals(clipBytes));
    assert.equal(fs.readFileSync(`${stored}.mime`, 'utf8'), 'video/mp4');
  });

  it('plays the video, and a seek to its middle lands there through byte ranges', async () => {
    const video = editor.item(page, 'clip.mp4').locator('video');
    await editor.metadataLoaded(video);
    assert.ok(Math.abs((await video.evaluate((v) => v.duration)) - 6) < 0.1);

    // Each second has its own colour: 3.5 s shows the fourth (yellow).
    await editor.seek(video, 3.5);
    assert.equal(await video.evaluate((v) => v.currentTime), 3.5);
    assert.equal((await shownColour(video)).name, 'amarillo');

    // Playing on from there reaches the fifth second (magenta).
    await editor.playUntil(video, 4.3);
    const { name, rgb } = await shownColour(video);
    assert.equal(name, 'magenta', `colour ${rgb} at ${await video.evaluate((v) => v.currentTime)} s`);

    // Every load of the item was a Range request answered 206, and at least
    // one asked for a later part of the file than its start.
    assert.ok(mediaResponses.length > 0);
    for (const r of mediaResponses) {
      const wanted = /^bytes=(\d+)-(\d*)$/.exec(r.range || '');
      assert.ok(wanted, `a Range request: ${JSON.stringify(r)}`);
      assert.equal(r.status, 206, JSON.stringify(r));
      const last = wanted[2] ? Math.min(Number(wanted[2]), clipBytes.length - 1) : clipBytes.length - 1;
      assert.equal(r.contentRange, `bytes ${wanted[1]}-${last}/${clipBytes.length}`);
    }
    assert.ok(mediaResponses.some((r) => !r.range.startsWith('bytes=0-')),
      `a range past the start: ${JSON.stringify(mediaResponses)}`);
  });

  it('plays an audio file in an audio element', async () => {
    const result = await editor.upload(page, tone);
    assert.equal(result.kind, 'ok', result.text);
    const audio = editor.item(page, 'tono.wav').locator('audio');
    await editor.metadataLoaded(audio);
    assert.ok(Math.abs((await audio.evaluate((a) => a.duration)) - 1) < 0.05);
    await editor.playUntil(audio, 0.3);
    assert.equal(await page.locator('li.item video').count(), 1, 'the video stays a video');
  });

  it('copies an item to another project, which then plays it', async () => {
    await editor.createProject(page, 'Copias de prueba');
    await editor.selectProject(page, 'Mi proyecto');
    const clipItem = editor.item(page, 'clip.mp4');
    await clipItem.locator('.copy-target').selectOption({ label: 'Copias de prueba' });
    const result = await editor.outcome(page, () => clipItem.locator('.copy').click());
    assert.deepEqual(result, { kind: 'ok', text: '«clip.mp4» se ha copiado al proyecto «Copias de prueba».' });

    await editor.selectProject(page, 'Copias de prueba');
    assert.equal(new URL(page.url()).pathname, '/proyecto/copias-de-prueba');
    const { items } = await editor.recordedItems(page);
    assert.equal(items.length, 1);
    const copy = path.join(launcher.mediaDir, 'copias-de-prueba', items[0].id);
    assert.ok(fs.readFileSync(copy).equals(clipBytes));
    assert.equal(fs.readFileSync(`${copy}.mime`, 'utf8'), 'video/mp4');
    const video = editor.item(page, 'clip.mp4').locator('video');
    await editor.metadataLoaded(video);
    await editor.seek(video, 1.5);
    assert.equal((await shownColour(video)).name, 'verde');
  });

  it('exports to Downloads byte for byte, the second time under a numbered name', async () => {
    await editor.selectProject(page, 'Mi proyecto');
    const exportButton = editor.item(page, 'clip.mp4').locator('.export');
    for (const expected of [['clip.mp4'], ['clip-2.mp4', 'clip.mp4']]) {
      const result = await editor.outcome(page, () => exportButton.click());
      assert.equal(result.kind, 'ok', result.text);
      assert.match(result.text, /^«clip\.mp4» se ha guardado en la carpeta Descargas/);
      assert.deepEqual(fs.readdirSync(launcher.downloads).sort(), expected);
    }
    for (const name of ['clip.mp4', 'clip-2.mp4']) {
      assert.ok(fs.readFileSync(path.join(launcher.downloads, name)).equals(clipBytes), name);
    }
  });

  it('removes a project with its files, and keeps the others', async () => {
    await editor.selectProject(page, 'Copias de prueba');
    const { items } = await editor.recordedItems(page);
    page.once('dialog', (dialog) => dialog.accept());
    const result = await editor.outcome(page, () => page.click('#remove-project'));
    assert.deepEqual(result, { kind: 'ok', text: 'El proyecto «Copias de prueba» se ha eliminado.' });

    assert.ok(!fs.existsSync(path.join(launcher.mediaDir, 'copias-de-prueba')));
    assert.deepEqual(await page.locator('#project option').allTextContents(), ['Mi proyecto']);
    assert.equal(new URL(page.url()).pathname, '/proyecto/mi-proyecto');
    const gone = await fetch(`${config.origin}/__media/copias-de-prueba/${items[0].id}`);
    assert.equal(gone.status, 404);
    assert.equal(fs.readdirSync(path.join(launcher.mediaDir, 'mi-proyecto')).length, 4, 'two items and their types');
  });
});
