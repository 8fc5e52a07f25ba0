// What a person does on the sample editor page, as steps for the tests.
'use strict';

const config = require('./config');

async function openEditor(page, route = '/') {
  const response = await page.goto(`${config.origin}${route}`);
  await page.waitForFunction(() => document.title.startsWith('Vesklar'));
  return response;
}

// Runs an action and returns the message that the page shows for its
// outcome: { kind: 'ok' | 'error', text }. Messages of kind "info" are
// progress notes and are waited past.
async function outcome(page, action, timeout = 30000) {
  await page.evaluate(() => {
    const box = document.getElementById('message');
    box.hidden = true;
    box.textContent = '';
    delete box.dataset.kind;
  });
  await action();
  const box = page.locator('#message[data-kind="ok"], #message[data-kind="error"]');
  await box.waitFor({ timeout });
  return { kind: await box.getAttribute('data-kind'), text: await box.textContent() };
}

async function createProject(page, name) {
  return outcome(page, async () => {
    await page.fill('#new-project-name', name);
    await page.click('#new-project button[type="submit"]');
  });
}

async function selectProject(page, name) {
  await page.selectOption('#project', { label: name });
  await page.waitForFunction((n) => {
    const s = document.getElementById('project');
    return s.options[s.selectedIndex] && s.options[s.selectedIndex].text === n;
  }, name);
}

async function upload(page, file) {
  await page.setInputFiles('#file', file);
  return outcome(page, () => page.click('#upload-button'));
}

function item(page, name) {
  return page.locator('li.item', { has: page.locator('.item-name', { hasText: name }) });
}

// The page's own record of the current project's items, newest last.
async function recordedItems(page) {
  return page.evaluate(() => {
    const record = JSON.parse(localStorage.getItem('vesklar.editor.v1'));
    const project = record.projects.find((p) => p.id === record.current);
    return { project: project.id, items: project.items };
  });
}

async function metadataLoaded(media) {
  await media.evaluate((m) => new Promise((resolve, reject) => {
    if (m.readyState >= 1) return resolve();
    m.addEventListener('loadedmetadata', resolve, { once: true });
    m.addEventListener('error', () => reject(new Error('media error')), { once: true });
  }));
}

async function seek(media, seconds) {
  await media.evaluate((m, t) => new Promise((resolve) => {
    m.addEventListener('seeked', resolve, { once: true });
    m.currentTime = t;
  }), seconds);
}

// Plays (muted, so no user gesture is needed) until the clock passes `until`.
async function playUntil(media, until) {
  await media.evaluate(async (m) => { m.muted = true; await m.play(); });
  await media.evaluate((m, t) => new Promise((resolve) => {
    const check = () => (m.currentTime >= t ? (m.pause(), resolve()) : requestAnimationFrame(check));
    check();
  }), until);
}

module.exports = {
  openEditor, outcome, createProject, selectProject, upload, item, recordedItems, metadataLoaded, seek, playUntil,
};
