#!/bin/sh
# One command: installs what is missing, builds the launcher in Release in
# build/bench, and prints the comparison table (markdown) on standard output.
#
#   bench/run.sh [bench.py options]     e.g. --rounds 5 --duration 10
#
# Extra launcher builds can join the same interleaved run, e.g. an older
# build for a before/after table: --launcher before=/path/to/vesklar
set -eu
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build="$repo/build/bench"

need=""
command -v nginx >/dev/null 2>&1 || [ -x /usr/sbin/nginx ] || need="$need nginx-light"
command -v wrk >/dev/null 2>&1 || need="$need wrk"
command -v curl >/dev/null 2>&1 || need="$need curl"
command -v node >/dev/null 2>&1 || need="$need nodejs"
command -v uptime >/dev/null 2>&1 || need="$need procps"
command -v cmake >/dev/null 2>&1 || need="$need cmake"
command -v ninja >/dev/null 2>&1 || need="$need ninja-build"
command -v g++ >/dev/null 2>&1 || need="$need g++"
[ -f /usr/include/curl/curl.h ] || [ -n "$(ls /usr/include/*/curl/curl.h 2>/dev/null)" ] || need="$need libcurl4-openssl-dev"
if [ -n "$need" ]; then
  echo "installing:$need" >&2
  sudo_cmd=""
  [ "$(id -u)" = 0 ] || sudo_cmd=sudo
  $sudo_cmd apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq $need >&2
fi
PATH="$PATH:/usr/sbin"

echo "building the launcher (Release) in $build" >&2
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVESKLAR_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vesklar >&2

exec python3 "$here/bench.py" --launcher "vesklar=$build/vesklar" --version-txt "$build/version.txt" \
  --site "$repo/site" "$@"
