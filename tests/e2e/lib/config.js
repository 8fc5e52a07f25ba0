// What the runner (run_e2e.sh) hands to every test file, through the
// environment: which program to drive and where things go.
'use strict';

const path = require('node:path');

const exe = process.env.VESKLAR_E2E_EXE;
if (!exe) {
  throw new Error('VESKLAR_E2E_EXE is not set: start the tests with tests/e2e/run_e2e.sh --exe <program>');
}

module.exports = {
  exe: path.resolve(exe),
  site: path.resolve(process.env.VESKLAR_E2E_SITE || path.join(__dirname, '..', '..', '..', 'site')),
  artifacts: path.resolve(process.env.VESKLAR_E2E_ARTIFACTS || path.join(path.dirname(exe), 'e2e-artifacts')),
  // Set for the Windows build: the path of wine and the prefix to use.
  wine: process.env.VESKLAR_E2E_WINE || null,
  wineprefix: process.env.VESKLAR_E2E_WINEPREFIX || null,
  chromium: process.env.VESKLAR_E2E_CHROMIUM || '/usr/bin/chromium',
  port: 17865,
  origin: 'http://127.0.0.1:17865',
};
