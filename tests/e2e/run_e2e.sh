#!/bin/sh
# End-to-end tests: Debian's Chromium, driven by playwright-core, against
# the real launcher on 127.0.0.1:17865.
#
# Usage: tests/e2e/run_e2e.sh --exe PROGRAM [--site DIR] [--artifacts DIR]
#                             [--wine WINE --wineprefix DIR] [TEST_FILE...]
# Without test files every *.test.js here runs. --artifacts receives the
# app-window screenshot (default: e2e-artifacts beside the program).
set -eu
here=$(cd "$(dirname "$0")" && pwd)

while [ $# -gt 0 ]; do
  case "$1" in
    --exe) VESKLAR_E2E_EXE=$(realpath "$2"); shift 2 ;;
    --site) VESKLAR_E2E_SITE=$(realpath "$2"); shift 2 ;;
    --artifacts) VESKLAR_E2E_ARTIFACTS=$(realpath -m "$2"); shift 2 ;;
    --wine) VESKLAR_E2E_WINE=$2; shift 2 ;;
    --wineprefix) VESKLAR_E2E_WINEPREFIX=$(realpath -m "$2"); shift 2 ;;
    --) shift; break ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
: "${VESKLAR_E2E_EXE:?--exe PROGRAM is required}"
export VESKLAR_E2E_EXE
[ -n "${VESKLAR_E2E_SITE:-}" ] && export VESKLAR_E2E_SITE
[ -n "${VESKLAR_E2E_ARTIFACTS:-}" ] && export VESKLAR_E2E_ARTIFACTS
[ -n "${VESKLAR_E2E_WINE:-}" ] && export VESKLAR_E2E_WINE VESKLAR_E2E_WINEPREFIX

cd "$here"
# playwright-core from the lock file: scripts/setup.sh installs it; a run
# by hand on a tree set up otherwise installs it on first use.
if [ ! -f node_modules/playwright-core/package.json ]; then
  npm ci --no-audit --no-fund --loglevel=error
fi

if [ $# -eq 0 ]; then
  set -- *.test.js
fi
# The port is fixed, so the whole run holds the machine-wide lock that the
# system tests take too (tests/system/run_system_tests.py), and the test
# files run one after another.
lock="${TMPDIR:-/tmp}/vesklar-port-17865.lock"
exec flock "$lock" node --test --test-concurrency=1 --test-reporter=spec "$@"
