// The launcher's failure answers, brought about for real, and the Spanish
// message the page shows for each.
'use strict';

const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { Launcher } = require('./lib/launcher');
const { openBrowser } = require('./lib/browser');
const { makeTone } = require('./lib/media');
const editor = require('./lib/editor');

describe('failure answers shown in the page', { timeout: 180000 }, () => {
  let launcher;
  let browser;
  let page;
  let work;
  let tone;

  before(async () => {
    work = fs.mkdtempSync(path.join(os.tmpdir(), 'vesklar-e2e-fail-'));
    tone = makeTone(work, 'tono.wav');
    launcher = new Launcher();
    await launcher.start();
    browser = await openBrowser();
    page = browser.page;
    await editor.openEditor(page);
  });

  after(async () => {
    if (browser) await browser.close();
    if (launcher) await launcher.cleanup();
    if (work) fs.rmSync(work, { recursive: true, force: true });
  });

  // Uploads the tone into a new project and returns the path of its file.
  async function storedTone(projectName) {
    await editor.createProject(page, projectName);
    const result = await editor.upload(page, tone);
    assert.equal(result.kind, 'ok', result.text);
    const { project, items } = await editor.recordedItems(page);
    return path.join(launcher.mediaDir, project, items[items.length - 1].id);
  }

  const cases = [
    {
      name: 'an upload whose file cannot be created (500 "disk")',
      async act() {
        await editor.createProject(page, 'Sin sitio');
        // A plain file where the project's folder belongs: nothing can be
        // written below it, as on a full or read-only disk.
        fs.writeFileSync(path.join(launcher.mediaDir, 'sin-sitio'), 'no es una carpeta');
        await page.setInputFiles('#file', tone);
        return () => page.click('#upload-button');
      },
      message: 'No se pudo subir el archivo: no se puede guardar en la carpeta de datos de Vesklar ' +
        '(¿disco lleno o sin permiso de escritura?).',
    },
    {
      name: 'an export whose file cannot be created in Downloads (500 "disk")',
      async act() {
        await storedTone('Exportar sin sitio');
        fs.rmSync(launcher.downloads, { recursive: true, force: true });
        fs.writeFileSync(launcher.downloads, 'no es una carpeta');
        return () => editor.item(page, 'tono.wav').locator('.export').click();
      },
      cleanup() {
        fs.rmSync(launcher.downloads, { force: true });
        fs.mkdirSync(launcher.downloads);
      },
      message: 'No se pudo exportar: no se puede crear el archivo en la carpeta Descargas ' +
        '(¿disco lleno o sin permiso de escritura?).',
    },
    {
      name: 'a copy of an item that is no longer stored (404 "missing")',
      async act() {
        const file = await storedTone('Copia perdida');
        await editor.createProject(page, 'Destino');
        await editor.selectProject(page, 'Copia perdida');
        fs.rmSync(file);
        const row = editor.item(page, 'tono.wav');
        await row.locator('.copy-target').selectOption({ label: 'Destino' });
        return () => row.locator('.copy').click();
      },
      message: 'No se pudo copiar: el elemento ya no está en el almacén de Vesklar, o la copia de destino está en uso.',
    },
    {
      name: 'an export of an item that is no longer stored (404 "Not Found")',
      async act() {
        const file = await storedTone('Exportar perdido');
        fs.rmSync(file);
        return () => editor.item(page, 'tono.wav').locator('.export').click();
      },
      message: 'No se pudo exportar: el elemento ya no está en el almacén de Vesklar.',
    },
  ];

  for (const c of cases) {
    it(c.name, async () => {
      try {
        const action = await c.act();
        assert.deepEqual(await editor.outcome(page, action), { kind: 'error', text: c.message });
      } finally {
        if (c.cleanup) c.cleanup();
      }
    });
  }

  it('a failed upload leaves nothing in the project', async () => {
    await editor.selectProject(page, 'Sin sitio');
    assert.deepEqual((await editor.recordedItems(page)).items, []);
    assert.equal(await page.locator('li.item').count(), 0);
  });

  it('an item that is no longer stored says so where it would play (404 "Not Found")', async () => {
    const file = await storedTone('Reproducir perdido');
    fs.rmSync(file);
    await page.reload();
    const error = editor.item(page, 'tono.wav').locator('.item-error');
    await error.waitFor();
    assert.equal(await error.textContent(), 'No se puede reproducir: el elemento ya no está en el almacén de Vesklar.');
  });

  it('an address of a project that the editor does not know', async () => {
    await editor.openEditor(page, '/proyecto/no-existe');
    assert.equal(await page.textContent('#message'), 'No hay ningún proyecto «no-existe» en este editor; se muestra otro.');
    assert.notEqual(new URL(page.url()).pathname, '/proyecto/no-existe');
  });
});
