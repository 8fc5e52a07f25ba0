#!/bin/sh
# Profile of the small-asset case (see profile.py): builds the launcher with
# symbols (RelWithDebInfo) in build/bench-profile and prints the summary.
#   bench/profile.sh [callgrind|perf|strace] [profile.py options, e.g. --path /index.html]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build="$repo/build/bench-profile"
tool=${1:-callgrind}
[ $# -gt 0 ] && shift
need=""
command -v valgrind >/dev/null 2>&1 || need="$need valgrind"
command -v strace >/dev/null 2>&1 || need="$need strace"
command -v perf >/dev/null 2>&1 || need="$need linux-perf"
command -v wrk >/dev/null 2>&1 || need="$need wrk"
if [ -n "$need" ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need >&2
fi
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESKLAR_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vesklar >&2
exec python3 "$here/profile.py" --exe "$build/vesklar" --tool "$tool" "$@"
