#!/usr/bin/env bash
# Sets up what is missing, builds the native launcher and starts it on the
# bundled sample site (build/native/www). Close the page to end it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
VESKLAR_CONNECTION_TIMEOUT_MS=120000 scripts/build.sh native
exec build/native/vesklar
