#!/usr/bin/env python3
"""Side-by-side benchmark of the launcher's server against the servers a
developer would pick instead, all serving the same files on loopback.

Servers: the launcher (one or more builds, each on the fixed port 17865 under
the machine-wide port lock), nginx with sendfile and its default keep-alive,
nginx with keep-alive off (every connection closed after one answer, as the
launcher does), Python's ThreadingHTTPServer and a Node.js static server.

Rounds are interleaved: every round starts each server afresh, runs its
workloads and stops it, so slow drifts of the machine's load hit all servers
alike; the table shows the median of the rounds. `uptime` is recorded with
every run.

Usage: bench.py --launcher NAME=PATH [--launcher NAME=PATH ...] [--rounds 3]
                [--duration 5] [--json out.json] [--workloads small,page]
Run through bench/run.sh, which installs the tools and builds the program.
"""
import argparse
import fcntl
import json
import os
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LAUNCHER_PORT = 17865
PORTS = {"nginx": 18181, "nginx-ka-off": 18182, "python": 18183, "node": 18184}
MiB = 1 << 20
SMALL_BYTES = 4096
MEDIUM_BYTES = 200 * 1024
RANGE_BYTES = MiB
MEDIA_PROJECT, MEDIA_ID = "bench", "clip.mp4"
BROWSER_NAMES = ("microsoft-edge", "microsoft-edge-stable", "google-chrome", "google-chrome-stable",
                 "chromium", "chromium-browser", "xdg-open")


def log(*args):
    print(*args, file=sys.stderr, flush=True)


def load_average():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


def uptime_line():
    return subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip()


# ---------------------------------------------------------------------------
# Process memory

def proc_status(pid, key):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1])  # kB
    except OSError:
        pass
    return 0


def process_tree(pid):
    """The process and its children (nginx's workers)."""
    pids = [pid]
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/children") as f:
                pids += [int(p) for p in f.read().split()]
    except OSError:
        pass
    return pids


def cpu_seconds(pid):
    """User + system CPU time of the server (all threads; nginx: master and
    workers), from /proc/<pid>/stat."""
    total = 0
    tick = os.sysconf("SC_CLK_TCK")
    for p in process_tree(pid):
        try:
            with open(f"/proc/{p}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])  # utime, stime
        except (OSError, IndexError, ValueError):
            pass
    return total / tick


def memory_kib(pid, key):
    return sum(proc_status(p, key) for p in process_tree(pid))


def thread_count(pid):
    return sum(proc_status(p, "Threads") for p in process_tree(pid))


# ---------------------------------------------------------------------------
# HTTP helpers on raw sockets (the launcher answers one request per connection)

def http_get(port, target, headers=None, timeout=30):
    """Status and body of one GET, read until the server closes or the
    Content-Length is complete."""
    lines = [f"GET {target} HTTP/1.1", f"Host: 127.0.0.1:{port}", "Connection: close"]
    lines += [f"{k}: {v}" for k, v in (headers or {}).items()]
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
        data = b""
        while True:
            chunk = s.recv(1 << 20)
            if not chunk:
                break
            data += chunk
            head, sep, body = data.partition(b"\r\n\r\n")
            if sep:
                m = re.search(rb"(?i)\r\ncontent-length:\s*(\d+)", head)
                if m and len(body) >= int(m.group(1)):
                    break
    head, _, body = data.partition(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1]) if head.startswith(b"HTTP/") else 0
    return status, body


def port_open(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
        return True
    except OSError:
        return False


def wait_port(port, proc, timeout=20):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if proc.poll() is not None:
            raise RuntimeError(f"server exited early with code {proc.returncode}")
        if port_open(port):
            return
        time.sleep(0.01)
    raise RuntimeError(f"nothing listens on {port}")


# ---------------------------------------------------------------------------
# The files

def make_site(root, repo_site):
    """The site every server serves: the bundled site plus a 4 KB and a
    200 KB asset and the 1 GiB media file."""
    www = os.path.join(root, "www")
    shutil.copytree(repo_site, www)
    pattern = b"/* Vesklar bench asset */ " + bytes(range(48, 123)) + b"\n"
    for name, size in (("asset-4k.js", SMALL_BYTES), ("asset-200k.js", MEDIUM_BYTES)):
        with open(os.path.join(www, name), "wb") as f:
            f.write((pattern * (size // len(pattern) + 1))[:size])
    media = os.path.join(www, "media.mp4")
    block = os.urandom(16 * MiB)
    with open(media, "wb") as f:
        for _ in range(64):
            f.write(block)
    return www, media


def link_tree(src, dst):
    os.makedirs(dst)
    for name in os.listdir(src):
        os.link(os.path.join(src, name), os.path.join(dst, name))


# ---------------------------------------------------------------------------
# Servers

class PortLock:
    """The machine-wide lock that every program on port 17865 takes. Nested
    holds count: the bench holds it once around all launcher runs of a
    round, so other users of the port wait once per round, not per run."""

    path = os.path.join(os.environ.get("TMPDIR", "/tmp"), "vesklar-port-17865.lock")
    f = None
    depth = 0

    @classmethod
    def acquire(cls):
        cls.depth += 1
        if cls.depth > 1:
            return
        start = time.monotonic()
        cls.f = open(cls.path, "w")
        fcntl.flock(cls.f, fcntl.LOCK_EX)
        waited = time.monotonic() - start
        if waited > 1:
            log(f"  (waited {waited:.0f} s for the port lock)")

    @classmethod
    def release(cls):
        cls.depth -= 1
        if cls.depth == 0 and cls.f:
            fcntl.flock(cls.f, fcntl.LOCK_UN)
            cls.f.close()
            cls.f = None


class Server:
    port = 0
    media_target = None  # launcher only
    proc = None

    def pid(self):
        return self.proc.pid

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None


class Launcher(Server):
    kind = "launcher"

    def __init__(self, name, exe, version_txt, www, root, wrapper=()):
        self.name = name
        self.wrapper = list(wrapper)  # e.g. valgrind, for profiling
        self.port = LAUNCHER_PORT
        self.media_target = f"/__media/{MEDIA_PROJECT}/{MEDIA_ID}"
        base = os.path.join(root, "launcher-" + name)
        self.app = os.path.join(base, "app")
        self.data = os.path.join(base, "data")
        self.home = os.path.join(base, "home")
        self.runtime = os.path.join(base, "run")
        self.stubs = os.path.join(base, "no-browsers")
        for d in (self.app, self.data, self.home, self.runtime, self.stubs):
            os.makedirs(d)
        os.chmod(self.runtime, 0o700)
        self.exe = os.path.join(self.app, os.path.basename(exe))
        shutil.copy2(exe, self.exe)
        shutil.copy2(version_txt, os.path.join(self.app, "version.txt"))
        link_tree(www, os.path.join(self.app, "www"))
        # A stand-in that does nothing for every browser name the program
        # looks for, first on PATH: no window ever opens.
        for b in BROWSER_NAMES:
            path = os.path.join(self.stubs, b)
            with open(path, "w") as f:
                f.write("#!/bin/sh\nexit 0\n")
            os.chmod(path, 0o755)
        self.lock = PortLock
        self.startup_ms = None

    def env(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(HOME=self.home, XDG_DATA_HOME=self.data, XDG_RUNTIME_DIR=self.runtime,
                   XDG_DESKTOP_DIR=os.path.join(self.home, "Desktop"),
                   PATH=self.stubs + os.pathsep + env.get("PATH", os.defpath))
        return env

    def start(self):
        for attempt in range(60):
            self.lock.acquire()
            if not port_open(LAUNCHER_PORT):
                break
            # Someone runs a copy without the lock: wait for it to go.
            self.lock.release()
            log("  port 17865 busy without the lock; waiting")
            time.sleep(5)
        else:
            raise RuntimeError("port 17865 stays busy")
        t0 = time.perf_counter()
        self.proc = subprocess.Popen(self.wrapper + [self.exe], cwd=self.app, env=self.env(), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Time to the first complete answer on "/".
        while True:
            if self.proc.poll() is not None:
                self.lock.release()
                raise RuntimeError(f"launcher exited with {self.proc.returncode}")
            try:
                status, _ = http_get(LAUNCHER_PORT, "/", timeout=5)
                if status == 200:
                    break
            except OSError:
                pass
            time.sleep(0.001)
        self.startup_ms = (time.perf_counter() - t0) * 1000

    def stop(self):
        if self.proc and self.proc.poll() is None:
            try:
                with socket.create_connection(("127.0.0.1", LAUNCHER_PORT), timeout=5) as s:
                    s.sendall(b"POST /__quit HTTP/1.1\r\nHost: 127.0.0.1:17865\r\nContent-Length: 0\r\n\r\n")
                    s.recv(1024)
                self.proc.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()
        self.proc = None
        self.lock.release()


class Nginx(Server):
    kind = "nginx"

    def __init__(self, name, keepalive, docroot, root):
        self.name = name
        self.port = PORTS[name]
        self.dir = os.path.join(root, name)
        os.makedirs(self.dir)
        with open(os.path.join(HERE, "nginx.conf.in")) as f:
            conf = f.read()
        conf = (conf.replace("@ROOT@", docroot).replace("@PORT@", str(self.port)).replace("@TMP@", self.dir)
                .replace("@KEEPALIVE@", "keepalive_timeout 65;" if keepalive else "keepalive_timeout 0;"))
        self.conf = os.path.join(self.dir, "nginx.conf")
        with open(self.conf, "w") as f:
            f.write(conf)

    def start(self):
        self.proc = subprocess.Popen(["nginx", "-c", self.conf, "-p", self.dir], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_port(self.port, self.proc)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGQUIT)  # graceful: workers finish first
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None


class Command(Server):
    kind = "command"

    def __init__(self, name, argv, docroot):
        self.name = name
        self.port = PORTS[name]
        self.argv = argv + [str(self.port), docroot]

    def start(self):
        self.proc = subprocess.Popen(self.argv, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_port(self.port, self.proc)


# ---------------------------------------------------------------------------
# Workloads

UNITS = {"us": 0.001, "ms": 1.0, "s": 1000.0, "m": 60000.0}


def to_ms(text):
    m = re.match(r"([\d.]+)(us|ms|s|m)$", text)
    return float(m.group(1)) * UNITS[m.group(2)] if m else float("nan")


def run_wrk(url, duration, connections, close, script_args=None):
    cmd = ["wrk", "-t1", f"-c{connections}", f"-d{duration}s", "--latency", "--timeout", "10s"]
    if close:
        cmd += ["-H", "Connection: close"]
    if script_args:
        cmd += ["-s", os.path.join(HERE, "range.lua")]
    cmd.append(url)
    if script_args:
        cmd += ["--"] + [str(a) for a in script_args]
    out = subprocess.run(cmd, capture_output=True, text=True, timeout=duration + 60).stdout
    result = {"rps": float("nan"), "p50": float("nan"), "p99": float("nan"), "errors": 0, "non2xx": 0}
    m = re.search(r"(\d+) requests in", out)
    result["requests"] = int(m.group(1)) if m else 0
    m = re.search(r"Requests/sec:\s+([\d.]+)", out)
    if m:
        result["rps"] = float(m.group(1))
    for pct in ("50", "99"):
        m = re.search(rf"^\s+{pct}%\s+(\S+)", out, re.M)
        if m:
            result["p" + pct] = to_ms(m.group(1))
    m = re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+)", out)
    if m:
        result["errors"] = sum(int(x) for x in m.groups())
    m = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
    if m:
        result["non2xx"] = int(m.group(1))
    m = re.search(r"Transfer/sec:\s+([\d.]+)(\w+)", out)
    if m:
        scale = {"B": 1, "KB": 1 << 10, "MB": 1 << 20, "GB": 1 << 30}.get(m.group(2), 1)
        result["mbps"] = float(m.group(1)) * scale / 1e6
    return result


def run_curl_download(url):
    out = subprocess.run(["curl", "-sS", "-o", "/dev/null", "-w", "%{speed_download} %{http_code} %{size_download}",
                          url], capture_output=True, text=True, timeout=600).stdout.split()
    speed, code, size = float(out[0]), int(out[1]), int(out[2])
    return {"mbps": speed / 1e6, "ok": code == 200, "bytes": size}


def run_curl_upload(port, media):
    url = f"http://127.0.0.1:{port}/__media?project={MEDIA_PROJECT}&id={MEDIA_ID}&mime=video%2Fmp4"
    # -T streams the file (--data-binary would read it all into memory
    # first); no "Expect: 100-continue", which the launcher does not answer.
    out = subprocess.run(["curl", "-sS", "-X", "POST", "-T", media, "-H", "Expect:", "-o", "/dev/null", "-w",
                          "%{speed_upload} %{http_code}", url], capture_output=True, text=True,
                         timeout=600).stdout.split()
    return {"mbps": float(out[0]) / 1e6, "ok": out[1] == "200"}


IDLE_OPEN_SPACING_S = 0.01
IDLE_SETTLE_S = 10.0


def idle_connections(server, count=200):
    """Resident memory with `count` connections open that send nothing."""
    before = memory_kib(server.pid(), "VmRSS")
    socks = []
    try:
        # Linux hands the launcher a connection that sends nothing only
        # once its deferred accept has run out (5 s, rounded up to the
        # SYN-ACK resend schedule); until then it costs the server nothing,
        # which is not what a connection that stays open costs. Connections
        # opened all at once would all come due at once and overflow the
        # listen queue, so they are spread out, as a browser's are.
        for _ in range(count):
            socks.append(socket.create_connection(("127.0.0.1", server.port), timeout=5))
            time.sleep(IDLE_OPEN_SPACING_S)
        time.sleep(IDLE_SETTLE_S)
        during = memory_kib(server.pid(), "VmRSS")
        threads = thread_count(server.pid())
    finally:
        for s in socks:
            s.close()
    time.sleep(0.3)
    return {"rss_before_kib": before, "rss_idle_kib": during, "threads_idle": threads,
            "per_conn_kib": (during - before) / count}


def verify(server, www, media):
    """Every server must give the same bytes before its speed counts."""
    with open(os.path.join(www, "asset-4k.js"), "rb") as f:
        small = f.read()
    status, body = http_get(server.port, "/asset-4k.js")
    assert status == 200 and body == small, f"{server.name}: 4 KB asset differs"
    first = 3 * MiB + 12345
    with open(media, "rb") as f:
        f.seek(first)
        want = f.read(RANGE_BYTES)
    targets = ["/media.mp4"] + ([server.media_target] if server.media_target else [])
    for target in targets:
        status, body = http_get(server.port, target, {"Range": f"bytes={first}-{first + RANGE_BYTES - 1}"})
        assert status == 206 and body == want, f"{server.name}: range of {target} differs"


def order_launchers(order):
    return [s for s in order if isinstance(s, Launcher)]


WORKLOADS = ("small", "medium", "page", "upload", "range_static", "range_media", "stream_static",
             "stream_media", "idle")


def run_server_round(server, args, www, media, size, rnd, results):
    base = f"http://127.0.0.1:{server.port}"
    rec = results.setdefault(server.name, {})

    def put(key, value):
        rec.setdefault(key, []).append(value)

    def note_load(what):
        put("load:" + what, load_average())

    # The server's own CPU time per request (or per GB): what a workload
    # costs the server, whatever the load generator beside it can take.
    def timed(key, run, per):
        before = cpu_seconds(server.pid())
        result = run()
        used = cpu_seconds(server.pid()) - before
        count = result.get("requests", 0) if per == "request" else result.get("bytes", 0) / 1e9
        result["cpu_per"] = used / count * (1e6 if per == "request" else 1) if count else float("nan")
        put(key, result)

    server.start()
    try:
        if isinstance(server, Launcher):
            put("startup_ms", server.startup_ms)
        if isinstance(server, Launcher) and not os.path.exists(args.page_for_others):
            status, page = http_get(LAUNCHER_PORT, "/")
            assert status == 200
            with open(args.page_for_others, "wb") as f:
                f.write(page)
        if rnd == 0:
            if server.media_target:
                up = run_curl_upload(server.port, media)
                assert up["ok"], f"{server.name}: upload failed"
            verify(server, www, media)
        log(f"  {server.name}: {uptime_line()}")
        want = args.workloads.split(",")
        for key, target in (("small", "/asset-4k.js"), ("medium", "/asset-200k.js"), ("page", "/")):
            if key not in want:
                continue
            note_load(key)
            timed(key, lambda: run_wrk(base + target, args.duration, args.connections, close=True), "request")
        if server.media_target and "upload" in want:
            note_load("upload")
            up = run_curl_upload(server.port, media)
            put("upload", up)
        seed = 1000 + rnd
        if "range_static" in want:
            note_load("range_static")
            timed("range_static", lambda: run_wrk(base + "/media.mp4", args.duration, args.range_connections,
                                                  close=False, script_args=(size, RANGE_BYTES, seed)), "request")
        if server.media_target and "range_media" in want:
            note_load("range_media")
            timed("range_media", lambda: run_wrk(base + server.media_target, args.duration,
                                                 args.range_connections, close=False,
                                                 script_args=(size, RANGE_BYTES, seed)), "request")
        if "stream_static" in want:
            note_load("stream_static")
            timed("stream_static", lambda: run_curl_download(base + "/media.mp4"), "GB")
        if server.media_target and "stream_media" in want:
            note_load("stream_media")
            timed("stream_media", lambda: run_curl_download(base + server.media_target), "GB")
        put("hwm_kib", memory_kib(server.pid(), "VmHWM"))
        if "idle" in want:
            put("idle", idle_connections(server))
    finally:
        server.stop()


# ---------------------------------------------------------------------------
# Report

def med(values):
    values = [v for v in values if v == v]
    return statistics.median(values) if values else float("nan")


def fmt(x, digits=0):
    if x != x:
        return "–"
    return f"{x:,.{digits}f}"


def metric(results, name, key, field=None):
    runs = results.get(name, {}).get(key)
    if not runs:
        return float("nan")
    return med([r[field] if field else r for r in runs])


def report(results, names, launchers, meta):
    out = []
    cols = " | ".join(names)
    out.append(f"| workload | {cols} |")
    out.append("|---|" + "---|" * len(names))

    def row(label, cells):
        out.append(f"| {label} | " + " | ".join(cells) + " |")

    for key, label in (("small", "4 KB asset, new connection per request"),
                       ("medium", "200 KB asset, new connection per request"),
                       ("page", "index.html (injected), new connection per request")):
        row(f"{label}: requests/s", [fmt(metric(results, n, key, "rps")) for n in names])
        row(f"{label}: p50 / p99 ms", [f"{fmt(metric(results, n, key, 'p50'), 2)} / "
                                       f"{fmt(metric(results, n, key, 'p99'), 2)}" for n in names])
    for key, label in (("range_static", "1 MiB random ranges of the 1 GiB file, static site"),
                       ("range_media", "1 MiB random ranges, /__media/…")):
        row(f"{label}: requests/s", [fmt(metric(results, n, key, "rps")) for n in names])
        row(f"{label}: p50 / p99 ms", [f"{fmt(metric(results, n, key, 'p50'), 2)} / "
                                       f"{fmt(metric(results, n, key, 'p99'), 2)}" for n in names])
    row("whole 1 GiB file, one stream, static site: MB/s", [fmt(metric(results, n, "stream_static", "mbps")) for n in names])
    row("whole 1 GiB file, one stream, /__media/…: MB/s", [fmt(metric(results, n, "stream_media", "mbps")) for n in names])
    for key, label in (("small", "4 KB asset"), ("medium", "200 KB asset"), ("page", "index.html"),
                       ("range_static", "1 MiB range, static site"), ("range_media", "1 MiB range, /__media/…")):
        row(f"server CPU per request, {label}: µs", [fmt(metric(results, n, key, "cpu_per")) for n in names])
    row("server CPU per GB streamed, static site: ms",
        [fmt(metric(results, n, "stream_static", "cpu_per") * 1000) for n in names])
    row("upload of 1 GiB to /__media: MB/s", [fmt(metric(results, n, "upload", "mbps")) for n in names])
    row("peak RSS under load (VmHWM): MiB", [fmt(metric(results, n, "hwm_kib") / 1024, 1) for n in names])
    row("RSS with 200 idle connections: MiB", [fmt(metric(results, n, "idle", "rss_idle_kib") / 1024, 1) for n in names])
    row("cost of one idle connection: KiB", [fmt(metric(results, n, "idle", "per_conn_kib"), 1) for n in names])
    row("start to first answer on /: ms", [fmt(metric(results, n, "startup_ms"), 1) for n in names])
    errs = []
    for n in names:
        for key, runs in results.get(n, {}).items():
            for r in runs:
                if isinstance(r, dict) and (r.get("errors") or r.get("non2xx")):
                    errs.append(f"{n}/{key}: {r.get('errors', 0)} socket errors, {r.get('non2xx', 0)} non-2xx")
    out.append("")
    out.append("Targets (ratio of the median figures; launcher = " + launchers[0] + "):")
    ours = launchers[0]

    def ratio(key, field, other):
        a, b = metric(results, ours, key, field), metric(results, other, key, field)
        return a / b if b == b and b else float("nan")

    for key, label in (("small", "4 KB"), ("medium", "200 KB"), ("page", "index.html")):
        r = ratio(key, "rps", "nginx-ka-off")
        out.append(f"- {label}: {fmt(r, 2)}× nginx keep-alive off (target ≥ 0.75) "
                   f"{'met' if r >= 0.75 else 'MISSED'}")
    for key, label in (("range_static", "ranges, static site"),):
        r = ratio(key, "rps", "nginx")
        out.append(f"- {label}: {fmt(r, 2)}× nginx sendfile (target ≥ 0.95) {'met' if r >= 0.95 else 'MISSED'}")
    a, b = metric(results, ours, "range_media", "rps"), metric(results, "nginx", "range_static", "rps")
    r = a / b if b else float("nan")
    out.append(f"- ranges, /__media/…: {fmt(r, 2)}× nginx sendfile (target ≥ 0.95) {'met' if r >= 0.95 else 'MISSED'}")
    for key, label in (("stream_static", "whole-file stream, static site"),):
        r = ratio(key, "mbps", "nginx")
        out.append(f"- {label}: {fmt(r, 2)}× nginx sendfile (target ≥ 0.95) {'met' if r >= 0.95 else 'MISSED'}")
    a, b = metric(results, ours, "stream_media", "mbps"), metric(results, "nginx", "stream_static", "mbps")
    r = a / b if b else float("nan")
    out.append(f"- whole-file stream, /__media/…: {fmt(r, 2)}× nginx sendfile (target ≥ 0.95) "
               f"{'met' if r >= 0.95 else 'MISSED'}")
    for other in ("python", "node"):
        ratios = []
        for key, field in (("small", "rps"), ("medium", "rps"), ("page", "rps"), ("range_static", "rps"),
                           ("stream_static", "mbps")):
            ratios.append((ratio(key, field, other), key))
        worst = min(ratios)
        out.append(f"- {other}: lowest ratio {fmt(worst[0], 1)}× ({worst[1]}) (target ≥ 5) "
                   f"{'met' if worst[0] >= 5 else 'MISSED'}")
        cpu = []
        for key in ("small", "medium", "page", "range_static", "stream_static"):
            mine = metric(results, ours, key, "cpu_per")
            cpu.append((metric(results, other, key, "cpu_per") / mine if mine else float("nan"), key))
        least = min(cpu)
        out.append(f"  {other}'s server CPU per unit of work over ours: lowest {fmt(least[0], 1)}× ({least[1]})")
    up = metric(results, ours, "upload", "mbps")
    out.append(f"- upload: {fmt(up)} MB/s (target ≥ 500) {'met' if up >= 500 else 'MISSED'}")
    a, b = metric(results, ours, "hwm_kib"), metric(results, "nginx", "hwm_kib")
    out.append(f"- peak RSS under load: {fmt(a / 1024, 1)} MiB vs nginx {fmt(b / 1024, 1)} MiB "
               f"{'met' if a <= b else 'MISSED'}")
    out.append(f"- idle connection: {fmt(metric(results, ours, 'idle', 'per_conn_kib'), 1)} KiB resident each "
               f"(bound: 64 KiB head buffer + stack)")
    out.append("")
    loads = [v for n in names for k, runs in results.get(n, {}).items() if k.startswith("load:") for v in runs]
    out.append(f"Load average (1 min) during the runs: min {fmt(min(loads), 2)}, median {fmt(med(loads), 2)}, "
               f"max {fmt(max(loads), 2)}. {meta}")
    if errs:
        out.append("")
        out.append("Socket errors / non-2xx answers seen (wrk): " + "; ".join(errs))
    return "\n".join(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--launcher", action="append", help="NAME=PATH of a built launcher")
    ap.add_argument("--version-txt")
    ap.add_argument("--from-json", help="print the table of an earlier (or interrupted) run's --json file")
    ap.add_argument("--site", default=os.path.join(HERE, "..", "site"))
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--duration", type=int, default=5, help="seconds per wrk run")
    ap.add_argument("--connections", type=int, default=16)
    ap.add_argument("--range-connections", type=int, default=8)
    ap.add_argument("--servers", default="launcher,nginx,nginx-ka-off,python,node")
    ap.add_argument("--workloads", default=",".join(WORKLOADS),
                    help="the workloads to run, a comma-separated subset of: " + ",".join(WORKLOADS)
                    + " (the others show as –)")
    ap.add_argument("--json", help="write the raw figures here")
    ap.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = ap.parse_args()
    if args.from_json:
        with open(args.from_json) as f:
            results = json.load(f)["results"]
        names = list(results)
        launchers = [n for n in names if "startup_ms" in results[n]]
        others = [n for n in ("nginx", "nginx-ka-off", "python", "node") if n in results]
        print(report(results, launchers + others, launchers, f"from {args.from_json}"))
        return
    if not args.launcher or not args.version_txt:
        ap.error("--launcher and --version-txt are needed")

    root = tempfile.mkdtemp(prefix="vesklar-bench-")
    os.chmod(root, 0o755)  # nginx's workers run as an unprivileged user
    servers = []
    try:
        log(f"generating the site and the 1 GiB media file in {root}")
        www, media = make_site(root, os.path.abspath(args.site))
        size = os.path.getsize(media)
        wanted = args.servers.split(",")
        launchers = []
        for entry in args.launcher:
            name, _, path = entry.partition("=")
            launchers.append(Launcher(name, os.path.abspath(path), args.version_txt, www, root))
        # The others serve the same files, with index.html as the launcher
        # sends it (bootstrap script injected), so every server sends the
        # same bytes.
        docroot = os.path.join(root, "docroot")
        link_tree(www, docroot)
        os.unlink(os.path.join(docroot, "index.html"))  # written by the first launcher run
        args.page_for_others = os.path.join(docroot, "index.html")
        if "launcher" in wanted:
            servers += launchers
        if "nginx" in wanted:
            servers.append(Nginx("nginx", True, docroot, root))
        if "nginx-ka-off" in wanted:
            servers.append(Nginx("nginx-ka-off", False, docroot, root))
        if "python" in wanted:
            servers.append(Command("python", [sys.executable, os.path.join(HERE, "python_server.py")], docroot))
        if "node" in wanted:
            servers.append(Command("node", ["node", os.path.join(HERE, "node_server.js")], docroot))

        results = {}
        t0 = time.monotonic()
        for rnd in range(args.rounds):
            log(f"round {rnd + 1}/{args.rounds}: {uptime_line()}")
            # Alternate the order, so no server always runs right after the
            # same neighbour; the launchers run back to back under one hold
            # of the port lock.
            order = servers if rnd % 2 == 0 else list(reversed(servers))
            for server in order:
                if isinstance(server, Launcher) and server is order_launchers(order)[0]:
                    PortLock.acquire()
                try:
                    run_server_round(server, args, www, media, size, rnd, results)
                finally:
                    if isinstance(server, Launcher) and server is order_launchers(order)[-1]:
                        PortLock.release()
            if args.json:  # what is done so far survives an interrupted run
                with open(args.json, "w") as f:
                    json.dump({"results": results, "rounds_done": rnd + 1, "uptime": uptime_line()}, f, indent=1)
        names = [s.name for s in servers]
        cpu = ""
        with open("/proc/cpuinfo") as f:
            m = re.search(r"model name\s*:\s*(.*)", f.read())
            cpu = m.group(1) if m else "?"
        meta = (f"{args.rounds} rounds, wrk -t1 -c{args.connections} (ranges -c{args.range_connections}) "
                f"-d{args.duration}s; {os.cpu_count()} CPUs ({cpu}); {time.monotonic() - t0:.0f} s.")
        table = report(results, names, [l.name for l in launchers], meta)
        print(table)
        if args.json:
            with open(args.json, "w") as f:
                json.dump({"results": results, "meta": meta, "uptime_end": uptime_line()}, f, indent=1)
    finally:
        for s in servers:
            try:
                s.stop()
            except Exception:
                pass
        if not args.keep:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
