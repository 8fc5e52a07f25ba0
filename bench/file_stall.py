#!/usr/bin/env python3
"""Does one slow file operation stall the playback of another item?

Plays one small item over and over (a new connection and a whole answer per
request, as the page does) while two slow operations on other files run:

  - an upload over an item whose staging file is left over at 2 GiB, so the
    upload starts by cutting that file to nothing, and
  - the removal of a project that holds several large files.

Both files are sparse but fragmented (4 KiB written every MiB and flushed),
so they cost a few MiB of disk each yet take seconds to free on ext4, as a
long-grown real file does. Prints, per launcher build and round, the worst
and the median playback latency while the slow operations run, the worst
when nothing else runs, and how long the two operations took.

Usage: file_stall.py --launcher NAME=PATH [--launcher NAME=PATH ...]
                     --version-txt PATH [--rounds 3] [--json out.json]
e.g. a before/after comparison of two builds of the launcher:
  bench/file_stall.py --launcher before=/tmp/old/vesklar \\
      --launcher after=build/native/vesklar --version-txt build/native/version.txt
"""
import argparse
import json
import os
import shutil
import socket
import statistics
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from bench import LAUNCHER_PORT, Launcher, http_get, log, uptime_line  # noqa: E402

MiB = 1 << 20
GiB = 1 << 30
STAGING_BYTES = 2 * GiB
PROJECT_FILES = 3
PROJECT_FILE_BYTES = GiB
FRAGMENT_STEP = MiB  # one written 4 KiB block per step
CLIP_BYTES = 64 * 1024
QUIET_SECONDS = 1.0  # playback alone, before the slow operations
AFTER_SECONDS = 0.3  # playback alone, after them
TARGET_MS = 100


def fragmented_file(path, size):
    """A file of `size` bytes with a 4 KiB block every FRAGMENT_STEP, on disk."""
    fd = os.open(path, os.O_CREAT | os.O_WRONLY | os.O_TRUNC, 0o644)
    try:
        block = b"\x5a" * 4096
        for offset in range(0, size, FRAGMENT_STEP):
            os.pwrite(fd, block, offset)
        os.ftruncate(fd, size)
        os.fsync(fd)
    finally:
        os.close(fd)


def prepare_media(media):
    """keep/clip (played), stage/item.tmp (left-over staging), big/* (removed)."""
    for d in ("keep", "stage", "big"):
        os.makedirs(os.path.join(media, d), exist_ok=True)
    with open(os.path.join(media, "keep", "clip"), "wb") as f:
        f.write(os.urandom(CLIP_BYTES))
    fragmented_file(os.path.join(media, "stage", "item.tmp"), STAGING_BYTES)
    for i in range(PROJECT_FILES):
        fragmented_file(os.path.join(media, "big", f"part{i}"), PROJECT_FILE_BYTES)


def request(method, target, body=b""):
    """Status of one request with a body; the launcher closes after answering."""
    head = (f"{method} {target} HTTP/1.1\r\nHost: 127.0.0.1:{LAUNCHER_PORT}\r\n"
            f"Content-Length: {len(body)}\r\nConnection: close\r\n\r\n").encode()
    with socket.create_connection(("127.0.0.1", LAUNCHER_PORT), timeout=120) as s:
        s.sendall(head + body)
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    return int(data.split(b" ", 2)[1]) if data.startswith(b"HTTP/") else 0


class Player(threading.Thread):
    """Plays keep/clip until stopped; records (start, latency ms, ok)."""

    def __init__(self):
        super().__init__(daemon=True)
        self.samples = []
        self.stop = threading.Event()

    def run(self):
        while not self.stop.is_set():
            t0 = time.perf_counter()
            try:
                status, body = http_get(LAUNCHER_PORT, "/__media/keep/clip", timeout=60)
                ok = status == 200 and len(body) == CLIP_BYTES
            except OSError:
                ok = False
            self.samples.append((t0, (time.perf_counter() - t0) * 1000, ok))


def timed(results, key, run):
    t0 = time.perf_counter()
    results[key] = run()
    results[key + "_ms"] = (time.perf_counter() - t0) * 1000


def one_round(launcher):
    media = os.path.join(launcher.data, "Vesklar", "media")
    shutil.rmtree(os.path.join(launcher.data, "Vesklar"), ignore_errors=True)
    prepare_media(media)
    launcher.start()
    try:
        player = Player()
        player.start()
        time.sleep(QUIET_SECONDS)
        slow = {}
        workers = [
            threading.Thread(target=timed, args=(slow, "upload", lambda: request(
                "POST", "/__media?project=stage&id=item&mime=video/mp4", b"new body"))),
            threading.Thread(target=timed, args=(slow, "remove", lambda: request("DELETE", "/__media/big"))),
        ]
        busy_from = time.perf_counter()
        for w in workers:
            w.start()
        for w in workers:
            w.join()
        busy_to = time.perf_counter()
        time.sleep(AFTER_SECONDS)
        player.stop.set()
        player.join()
    finally:
        launcher.stop()
    # The slow operations really happened: the staging file became the item,
    # and the project is gone.
    with open(os.path.join(media, "stage", "item"), "rb") as f:
        stored = f.read() == b"new body"
    done = stored and not os.path.exists(os.path.join(media, "big")) and slow["upload"] == 200
    quiet = [ms for t, ms, _ in player.samples if t < busy_from]
    busy = [ms for t, ms, _ in player.samples if busy_from <= t < busy_to]
    return {
        "busy_max_ms": max(busy) if busy else None,
        "busy_median_ms": statistics.median(busy) if busy else None,
        "busy_plays": len(busy),
        "quiet_max_ms": max(quiet) if quiet else None,
        "failed_plays": sum(1 for _, _, ok in player.samples if not ok),
        "upload_ms": slow["upload_ms"],
        "remove_ms": slow["remove_ms"],
        "operations_done": done,
    }


def fmt(x):
    return "-" if x is None else f"{x:.1f}"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--launcher", action="append", required=True, help="NAME=PATH of a built launcher")
    ap.add_argument("--version-txt", required=True)
    ap.add_argument("--site", default=os.path.join(HERE, "..", "site"))
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--json", help="write the raw figures here")
    args = ap.parse_args()

    root = tempfile.mkdtemp(prefix="vesklar-stall-")
    try:
        www = os.path.join(root, "www")
        shutil.copytree(os.path.abspath(args.site), www)
        launchers = []
        for entry in args.launcher:
            name, _, path = entry.partition("=")
            launchers.append(Launcher(name, os.path.abspath(path), args.version_txt, www, root))
        results = {l.name: [] for l in launchers}
        for rnd in range(args.rounds):
            log(f"round {rnd + 1}/{args.rounds}: {uptime_line()}")
            # Alternate the order, so slow drifts of the machine hit both.
            order = launchers if rnd % 2 == 0 else list(reversed(launchers))
            for launcher in order:
                r = one_round(launcher)
                log(f"  {launcher.name}: {r}")
                results[launcher.name].append(r)
    finally:
        shutil.rmtree(root, ignore_errors=True)

    print(f"Playback of a {CLIP_BYTES // 1024} KiB item while a {STAGING_BYTES // GiB} GiB staging file is cut "
          f"and a project of {PROJECT_FILES} x {PROJECT_FILE_BYTES // GiB} GiB is removed; target: worst "
          f"under {TARGET_MS} ms.\n")
    print("| build | round | worst ms (busy) | median ms (busy) | plays (busy) | worst ms (quiet) | failed plays "
          "| upload ms | removal ms | done |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for name, rounds in results.items():
        for i, r in enumerate(rounds):
            print(f"| {name} | {i + 1} | {fmt(r['busy_max_ms'])} | {fmt(r['busy_median_ms'])} | {r['busy_plays']} "
                  f"| {fmt(r['quiet_max_ms'])} | {r['failed_plays']} | {r['upload_ms']:.0f} | {r['remove_ms']:.0f} "
                  f"| {'yes' if r['operations_done'] else 'NO'} |")
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"uptime": uptime_line(), "results": results}, f, indent=1)
    bad = [n for n, rounds in results.items() for r in rounds if not r["operations_done"] or r["failed_plays"]]
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
