#!/usr/bin/env bash
# Sets up what is missing, builds every target and runs every test:
# native, native under ASan+UBSan, native under TSan, and the Windows build
# under Wine. Usage: scripts/test.sh [native asan tsan windows]
set -euo pipefail
cd "$(dirname "$0")/.."
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(native asan tsan windows)

scripts/setup.sh test
# Connections time out after 4 s instead of two minutes, so that the tests
# can watch a stalled client being dropped and a slow one being served.
VESKLAR_CONNECTION_TIMEOUT_MS=4000 scripts/build.sh "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Parked worker threads are alive at exit; TSan would sleep a second there.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:atexit_sleep_ms=0}

status=0
for name in "${targets[@]}"; do
  echo "=== tests: $name"
  if [ "$name" = windows ]; then
    # One Wine prefix in the build tree and one wineserver kept alive for the
    # whole run: every cold start costs seconds.
    export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
    # A server left from an earlier run (or wineboot's short-lived one) would
    # make `wineserver -p` refuse; start afresh with a persistent one.
    mkdir -p "$WINEPREFIX"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p
    # Start Wine's own services now, away from ctest's output pipes: started
    # by the first test, they would hold those pipes open and ctest would
    # wait for them forever.
    DISPLAY= wineboot -i >/dev/null 2>&1 </dev/null || true
  fi
  if ! ctest --test-dir "build/$name" --output-on-failure; then status=1; fi
  if [ "$name" = windows ]; then wineserver -k || true; fi
done
exit $status
