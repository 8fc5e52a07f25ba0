#!/usr/bin/env python3
"""Profile of the small-asset case: the launcher answering GET /asset-4k.js
(or --path, e.g. /index.html), one new connection per request.

  callgrind: instruction counts in user space, repeatable from run to run:
             warm-up, counters zeroed, N sequential requests, dump. The
             summary lists the functions with the most instructions, self
             and inclusive, per request.
  perf:      where the time goes, kernel included (thread creation, TCP,
             files), sampled system-wide while wrk runs; the summary lists
             the top symbols of the launcher's threads.
  strace:    system calls per request: strace -c attached to every thread
             after the warm-up, N sequential requests, the counts divided
             by N.
  stat:      counts per request, kernel included, for the launcher's whole
             process (every thread, new ones too): CPU time, context
             switches, futex calls and system calls, counted by `perf stat`
             only while wrk runs (after a warm-up that fills the parked
             threads). Counts are steadier than times on a busy machine;
             several --exe give an interleaved comparison.

Usage: profile.py --exe build/bench-profile/vesklar --tool callgrind|perf|strace|stat [--requests N] [--path P]
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402


def sequential_requests(n, path="/asset-4k.js"):
    for _ in range(n):
        status, body = bench.http_get(bench.LAUNCHER_PORT, path)
        assert status == 200 and body, (path, status)
        assert path != "/asset-4k.js" or len(body) == bench.SMALL_BYTES


def strace_counts(pid, requests, path):
    """System calls of all the launcher's threads over `requests` requests."""
    fd, out = tempfile.mkstemp(prefix="vesklar-strace-")
    os.close(fd)
    tracer = subprocess.Popen(["strace", "-c", "-f", "-p", str(pid), "-o", out],
                              stderr=subprocess.DEVNULL)
    try:
        time.sleep(1)  # attached to every thread before the first request
        sequential_requests(requests, path)
        time.sleep(0.5)
    finally:
        tracer.send_signal(signal.SIGINT)
        tracer.wait()
    with open(out) as f:
        text = f.read()
    os.unlink(out)
    print(f"== strace -c -f, calls per request over {requests} requests of {path} ==")
    total = 0
    for line in text.splitlines():
        cols = line.split()
        # % time, seconds, usecs/call, calls, [errors], syscall
        if len(cols) >= 5 and cols[0][0].isdigit() and cols[-1] != "total":
            calls = int(cols[3])
            errors = int(cols[4]) if len(cols) == 6 else 0
            total += calls
            print(f"  {cols[-1]:<20} {calls / requests:6.2f}" + (f"  ({errors / requests:.2f} failed)" if errors else ""))
    print(f"  {'all':<20} {total / requests:6.2f}")


STAT_EVENTS = (("task-clock", "CPU µs", 1000.0), ("context-switches", "context switches", 1.0),
               ("syscalls:sys_enter_futex", "futex calls", 1.0), ("raw_syscalls:sys_enter", "system calls", 1.0))


def stat_round(label, exe, www, root, duration, connections):
    """One start of `exe` under `perf stat`, counting only while wrk runs."""
    ctl, ack = os.path.join(root, "perf-ctl"), os.path.join(root, "perf-ack")
    out = os.path.join(root, "perf-stat.csv")
    for path in (ctl, ack, out):
        if os.path.exists(path):
            os.unlink(path)
    os.mkfifo(ctl)
    os.mkfifo(ack)
    wrapper = ["perf", "stat", "-D", "-1", "--control", f"fifo:{ctl},{ack}", "-x,", "-o", out,
               "-e", ",".join(e for e, _, _ in STAT_EVENTS), "--"]
    version_txt = os.path.join(os.path.dirname(exe), "version.txt")
    launcher = bench.Launcher(label, exe, version_txt, www, root, wrapper)
    launcher.start()
    url = f"http://127.0.0.1:{bench.LAUNCHER_PORT}/asset-4k.js"
    try:
        with open(ctl, "w") as c, open(ack) as a:
            bench.run_wrk(url, 1, connections, close=True)  # warm-up: as many threads as the load needs
            c.write("enable\n")
            c.flush()
            a.readline()
            result = bench.run_wrk(url, duration, connections, close=True)
            c.write("disable\n")
            c.flush()
            a.readline()
    finally:
        launcher.stop()
    counts = {}
    with open(out) as f:
        for line in f:
            fields = line.strip().split(",")
            if len(fields) > 2 and fields[0] and fields[0][0].isdigit():
                counts[fields[2]] = float(fields[0])
    per = {e: counts.get(e, float("nan")) * scale / result["requests"] for e, _, scale in STAT_EVENTS}
    per["rps"] = result.get("rps", float("nan"))
    return per


def make_site(root):
    """The sample site with the 4 KB asset, in `root`/www."""
    www = os.path.join(root, "www")
    shutil.copytree(os.path.join(bench.HERE, "..", "site"), www)
    with open(os.path.join(www, "asset-4k.js"), "wb") as f:
        f.write(b"/* bench */" + b"x" * (bench.SMALL_BYTES - 11))
    return www


def stat_main(args):
    builds = []
    for entry in args.exe:
        name, sep, path = entry.partition("=")
        builds.append((name, os.path.abspath(path)) if sep else (os.path.basename(entry), os.path.abspath(entry)))
    root = tempfile.mkdtemp(prefix="vesklar-stat-")
    os.chmod(root, 0o755)
    try:
        www = make_site(root)
        runs = {name: [] for name, _ in builds}
        loads = []
        for rnd in range(args.rounds):
            order = builds if rnd % 2 == 0 else list(reversed(builds))
            for name, exe in order:
                loads.append(bench.load_average())
                runs[name].append(stat_round(f"stat-{name}-{rnd}", exe, www, root, args.duration, 16))
        print(f"| per request (GET /asset-4k.js, wrk -t1 -c16, Connection: close) | "
              + " | ".join(name for name, _ in builds) + " |")
        print("|---|" + "---|" * len(builds))
        for event, label, _ in STAT_EVENTS:
            print(f"| {label} | " + " | ".join(bench.fmt(bench.med([r[event] for r in runs[name]]), 2)
                                            for name, _ in builds) + " |")
        print("| requests/s (the whole run) | " + " | ".join(bench.fmt(bench.med([r["rps"] for r in runs[name]]))
                                                         for name, _ in builds) + " |")
        print(f"\nMedians of {args.rounds} interleaved rounds of {args.duration} s; load average (1 min) "
              f"min {bench.fmt(min(loads), 2)}, max {bench.fmt(max(loads), 2)}.")
    finally:
        shutil.rmtree(root, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True, action="append", help="stat: NAME=PATH, one or more")
    ap.add_argument("--tool", choices=("callgrind", "perf", "strace", "stat"), default="callgrind")
    ap.add_argument("--path", default="/asset-4k.js", help="the request target measured (not stat)")
    ap.add_argument("--rounds", type=int, default=3, help="stat: rounds, each build once per round")
    ap.add_argument("--duration", type=int, default=5, help="stat: seconds of wrk per round")
    ap.add_argument("--requests", type=int, default=2000)
    ap.add_argument("--out", default=None, help="raw profile output file")
    args = ap.parse_args()
    if args.tool == "stat":
        return stat_main(args)
    exe = os.path.abspath(args.exe[0])
    root = tempfile.mkdtemp(prefix="vesklar-profile-")
    os.chmod(root, 0o755)
    try:
        www = make_site(root)
        version_txt = os.path.join(os.path.dirname(exe), "version.txt")
        if args.tool == "callgrind":
            out = args.out or os.path.join(root, "callgrind.out")
            wrapper = ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", "--separate-threads=no"]
            launcher = bench.Launcher("profile", exe, version_txt, www, root, wrapper)
            launcher.start()
            try:
                sequential_requests(200, args.path)  # warm-up: code paths, page cache, parked threads
                pid = launcher.proc.pid
                subprocess.run(["callgrind_control", "-z", str(pid)], check=True, capture_output=True)
                sequential_requests(args.requests, args.path)
                subprocess.run(["callgrind_control", "-d", "measured", str(pid)], check=True, capture_output=True)
            finally:
                launcher.stop()
            dumps = sorted(p for p in os.listdir(os.path.dirname(out)) if p.startswith(os.path.basename(out) + "."))
            measured = os.path.join(os.path.dirname(out), dumps[0]) if dumps else out
            total = None
            for inclusive in ("no", "yes"):
                text = subprocess.run(["callgrind_annotate", f"--inclusive={inclusive}", "--threshold=99",
                                       measured], capture_output=True, text=True).stdout
                m = re.search(r"^([\d,]+) \(100.0%\)\s+PROGRAM TOTALS", text, re.M)
                if m:
                    total = int(m.group(1).replace(",", ""))
                print(f"== callgrind, {'inclusive' if inclusive == 'yes' else 'self'} "
                      f"(Ir over {args.requests} requests of {args.path}) ==")
                lines = [l for l in text.splitlines() if re.match(r"^\s*[\d,]+ \(", l)]
                for line in lines[:25 if inclusive == "no" else 30]:
                    print(line[:200])
                print()
            if total:
                print(f"instructions per request (user space, all threads): {total / args.requests:,.0f}")
        elif args.tool == "strace":
            launcher = bench.Launcher("profile", exe, version_txt, www, root)
            launcher.start()
            try:
                sequential_requests(200, args.path)
                strace_counts(launcher.proc.pid, args.requests, args.path)
            finally:
                launcher.stop()
        else:
            launcher = bench.Launcher("profile", exe, version_txt, www, root)
            launcher.start()
            data = args.out or os.path.join(root, "perf.data")
            try:
                sequential_requests(200, args.path)
                wrk = subprocess.Popen(["wrk", "-t1", "-c16", "-d8s", "-H", "Connection: close",
                                        "http://127.0.0.1:17865" + args.path], stdout=subprocess.PIPE, text=True)
                time.sleep(1)
                subprocess.run(["perf", "record", "-a", "-g", "-o", data, "--", "sleep", "5"], check=True,
                               capture_output=True)
                print(wrk.communicate()[0])
            finally:
                launcher.stop()
            for children in ("--no-children", "--children"):
                text = subprocess.run(["perf", "report", "-i", data, "--comm", os.path.basename(exe), children,
                                       "--stdio", "--sort", "sym", "-g", "none", "--percentage", "relative",
                                       "--percent-limit", "0.7"],
                                      capture_output=True, text=True).stdout
                print(f"== perf, {children[2:]} (share of all samples of the launcher's threads) ==")
                for line in text.splitlines():
                    if line.strip() and not line.startswith("#"):
                        print(line[:160])
                print()
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
