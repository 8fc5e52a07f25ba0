// Debian's Chromium, driven by playwright-core, with a new empty profile.
'use strict';

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');
const config = require('./config');

// Headless, and what running as root in a container needs; no traffic of
// the browser's own that could disturb the launcher or leave the machine.
const ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

async function openBrowser() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vesklar-e2e-profile-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: config.chromium,
    headless: true,
    args: ARGS,
  });
  const page = context.pages()[0] || await context.newPage();
  return {
    context,
    page,
    async close() {
      await context.close().catch(() => {});
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

module.exports = { openBrowser, ARGS };
