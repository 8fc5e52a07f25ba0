#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12, only what is missing.
# Usage: scripts/setup.sh [run|test]   (run: the native build only)
set -euo pipefail
what=${1:-test}

packages=(build-essential cmake ninja-build googletest libcurl4-openssl-dev libssl-dev python3 ca-certificates)
if [ "$what" = test ]; then
  packages+=(g++-mingw-w64-x86-64-posix wine wine64 clang libclang-rt-14-dev zip unzip openssl)
  # End-to-end tests: Debian's Chromium, media made with ffmpeg, and an X
  # server with the tools that drive and photograph the app window and the
  # update download window (zenity draws it on Linux).
  packages+=(chromium ffmpeg xvfb xdotool imagemagick zenity)
  # Node and npm run them; a Node already on PATH (of any origin) is kept.
  command -v node >/dev/null || packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# playwright-core needs Node 20 or later, and Debian 12's own is 18: the
# npm registry's "node" package then brings a Node 20 into /usr/local/bin.
if [ "$what" = test ] && [ "$(node -p 'process.versions.node.split(".")[0]')" -lt 20 ]; then
  echo "Installing Node 20 from the npm registry"
  $sudo npm install -g --no-audit --no-fund node@20
  hash -r
fi

# The end-to-end tests' own packages (playwright-core, from the lock file),
# fetched here so that the tests themselves need no network.
e2e="$(cd "$(dirname "$0")/.." && pwd)/tests/e2e"
if [ "$what" = test ] && [ ! -f "$e2e/node_modules/playwright-core/package.json" ]; then
  (cd "$e2e" && npm ci --no-audit --no-fund --loglevel=error)
fi
