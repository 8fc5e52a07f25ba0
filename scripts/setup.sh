#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12, only what is missing.
# Usage: scripts/setup.sh [run|test]   (run: the native build only)
set -euo pipefail
what=${1:-test}

packages=(build-essential cmake ninja-build googletest libcurl4-openssl-dev python3 ca-certificates)
if [ "$what" = test ]; then
  packages+=(g++-mingw-w64-x86-64-posix wine wine64 clang libclang-rt-14-dev zip unzip)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
