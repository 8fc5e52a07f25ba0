#!/usr/bin/env bash
# Configures and builds one or more targets into build/<name>:
#   native   the Linux program build/native/vesklar
#   asan     native with AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan     native with ThreadSanitizer
#   windows  Vesklar.exe with mingw-w64 (build/windows/Vesklar.exe)
# Usage: scripts/build.sh native [asan tsan windows ...]
# The connection time-out is always given, so a build folder never keeps the
# value of whoever configured it last: VESKLAR_CONNECTION_TIMEOUT_MS from the
# environment (scripts/test.sh sets a few seconds), otherwise two minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${VESKLAR_JOBS:-$(nproc)}
timeout_ms=${VESKLAR_CONNECTION_TIMEOUT_MS:-120000}

for name in "$@"; do
  args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESKLAR_CONNECTION_TIMEOUT_MS="$timeout_ms")
  case "$name" in
    native) ;;
    asan) args+=(-DVESKLAR_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug) ;;
    tsan) args+=(-DVESKLAR_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug) ;;
    windows) args+=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake) ;;
    *) echo "unknown build: $name" >&2; exit 2 ;;
  esac
  cmake -S . -B "build/$name" "${args[@]}" ${VESKLAR_CMAKE_ARGS:-} >/dev/null
  cmake --build "build/$name" -j "$jobs"
done
