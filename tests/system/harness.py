"""Starts the real program in a temporary exe folder with its own data and
home folders, natively or under Wine, and talks raw HTTP to it."""

import os
import shutil
import socket
import subprocess
import tempfile
import time

PORT = 17865
ADDRESS = ("127.0.0.1", PORT)

# Under Wine the program is started by cmd, which answers "Can't recognize
# '<program>' as an internal or external command" and sets errorlevel 9009
# both when it finds no such file and when CreateProcess fails for the file
# it found (a new Wine process that cannot start on a loaded machine).
# Either way nothing of the program ran, so it is started again, a few times
# at most. Wine's exit status keeps the low 8 bits of the errorlevel: 49.
CMD_CANNOT_START_TEXT = "Can't recognize"
CMD_CANNOT_START_STATUS = 9009 % 256
START_ATTEMPTS = 3
START_RETRY_PAUSE = 1.0
# How long a start waits for the program's copy to be a whole file.
PROGRAM_COPY_WAIT = 10


class Config:
    exe = None          # the built program
    site = None         # the sample site folder
    wine = None         # path of wine when testing the Windows build
    wineprefix = None
    fake_browser = None  # Windows build: a program that records its command line
    connection_timeout_ms = 120000  # the build's receive and send time-out


# Natively the stand-in is a script: it appends its own path and arguments,
# separated by \x1f and ended by \x1e, to "<its path>.log".
FAKE_SCRIPT = """#!/bin/sh
{ printf '%s' "$0"; for a in "$@"; do printf '\\037%s' "$a"; done; printf '\\036'; } >> "$0.log"
"""


def write_fake_script(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(FAKE_SCRIPT)
    os.chmod(path, 0o755)


def install_fake_program(path):
    """Places a stand-in at `path` that records how it was started and ends:
    the Windows program under Wine, a shell script natively."""
    if is_wine():
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copy2(Config.fake_browser, path)
    else:
        write_fake_script(path)


def replace_system_program(relative):
    """Under Wine: puts the stand-in at `relative` below the prefix's system
    folder, Wine's own file set aside. Returns the stand-in's path and a
    function that puts Wine's file back."""
    path = os.path.join(Config.wineprefix, "drive_c", "windows", "system32", relative)
    saved = path + ".wine"
    if os.path.exists(path) and not os.path.exists(saved):  # else a stand-in left over
        os.rename(path, saved)
    for leftover in (path, path + ".log"):
        if os.path.exists(leftover):
            os.remove(leftover)
    install_fake_program(path)

    def restore():
        for made in (path, path + ".log"):
            if os.path.exists(made):
                os.remove(made)
        if os.path.exists(saved):
            os.rename(saved, path)
    return path, restore


def fake_program_calls(path, script=None):
    """One entry per start of the stand-in at `path`: under Wine its command
    line, natively (or for a script) its path and arguments as a list."""
    try:
        with open(path + ".log", "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return []
    if script is None:
        script = not is_wine()
    if not script:
        return data.decode("utf-16-le").split("\n")[:-1]
    return [r.split("\x1f") for r in data.decode("utf-8", "surrogateescape").split("\x1e")[:-1]]


def built_connection_timeout_ms():
    """The connection time-out the program was built with, as its build
    folder's CMakeCache.txt records it; the default when there is none."""
    cache = os.path.join(os.path.dirname(Config.exe), "CMakeCache.txt")
    try:
        with open(cache) as f:
            for line in f:
                if line.startswith("VESKLAR_CONNECTION_TIMEOUT_MS:"):
                    return int(line.split("=", 1)[1])
    except (OSError, ValueError):
        pass
    return 120000


def is_wine():
    return Config.wine is not None


def windows_path(path):
    """Z: maps the Unix root in every Wine prefix."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def port_is_free():
    s = socket.socket()
    try:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(ADDRESS)
        return True
    except OSError:
        return False
    finally:
        s.close()


_runtime_dir = None


def runtime_dir():
    """One session runtime folder for the whole run: the instance lock lives
    there, so every program started by the tests sees the same one."""
    global _runtime_dir
    if _runtime_dir is None:
        _runtime_dir = tempfile.mkdtemp(prefix="vesklar-run-")
    return _runtime_dir


class Sandbox:
    """A temporary exe folder (program + www), data folder and home folder."""

    def __init__(self, with_site=True):
        self.root = tempfile.mkdtemp(prefix="vesklar-sys-")
        self.exe_dir = os.path.join(self.root, "app")
        self.data = os.path.join(self.root, "data")
        self.home = os.path.join(self.root, "home")
        for d in (self.exe_dir, self.data, self.home):
            os.makedirs(d)
        self.exe = os.path.join(self.exe_dir, os.path.basename(Config.exe))
        shutil.copy2(Config.exe, self.exe)
        if with_site:
            shutil.copytree(Config.site, os.path.join(self.exe_dir, "www"))
        self.proc = None
        self.launch = None  # starts the program as the last start() did
        self.attempts = 0
        self.overrides = {}
        # First on PATH, so that a start never opens a real browser: natively
        # the first browser name the program looks for, and (for Wine's
        # browser hand-off too) the default handler, both recording stand-ins.
        self.fake_bin = os.path.join(self.root, "fake-bin")
        for name in ("microsoft-edge", "xdg-open"):
            write_fake_script(os.path.join(self.fake_bin, name))

    @property
    def www(self):
        return os.path.join(self.exe_dir, "www")

    @property
    def log_path(self):
        """The program's own log, in its data folder."""
        return os.path.join(self.data, "Vesklar", "vesklar.log")

    def env(self, extra_env=None):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["PATH"] = self.fake_bin + os.pathsep + env.get("PATH", os.defpath)
        if is_wine():
            env.update(WINEPREFIX=Config.wineprefix, WINEDEBUG="-all")
        else:
            env.update(HOME=self.home, XDG_DATA_HOME=self.data, XDG_RUNTIME_DIR=runtime_dir(),
                       TMPDIR=self.root)
            for k, v in (extra_env or {}).items():  # under Wine: on the command line
                if v is None:
                    env.pop(k, None)
                else:
                    env[k] = v
        for k, v in self.overrides.items():
            if v is None:
                env.pop(k, None)
            else:
                env[k] = v
        return env

    def command(self, local_app_data=None, user_profile=None, extra_env=None):
        """Natively the program; under Wine a cmd line that sets LOCALAPPDATA,
        USERPROFILE and `extra_env` (a value of None unsets the variable)."""
        if not is_wine():
            return [self.exe]
        lad = windows_path(self.data) if local_app_data is None else local_app_data
        up = windows_path(self.home) if user_profile is None else user_profile
        # Wine sets LOCALAPPDATA and USERPROFILE itself; cmd places ours.
        line = f"set LOCALAPPDATA={lad}&& set USERPROFILE={up}&& "
        for k, v in (extra_env or {}).items():
            line += f"set {k}={'' if v is None else v}&& "
        return [Config.wine, "cmd", "/c", line + windows_path(self.exe)]

    def start(self, extra_env=None, **kw):
        command, env = self.command(extra_env=extra_env, **kw), self.env(extra_env)
        return self.start_with(lambda: subprocess.Popen(command, env=env, cwd=self.root,
                                                        stdin=subprocess.DEVNULL,
                                                        stdout=subprocess.PIPE,
                                                        stderr=subprocess.PIPE))

    def start_with(self, launch):
        """Starts the program with `launch` once its copy is whole; keeps
        `launch` for a start again after cmd could not start it."""
        self.launch, self.attempts = launch, 0
        return self.launch_program()

    def launch_program(self):
        self.wait_for_program_copy()
        self.attempts += 1
        self.proc = self.launch()
        return self.proc

    def wait_for_program_copy(self):
        """Waits until the program's copy is there as a file with content,
        at most PROGRAM_COPY_WAIT seconds."""
        end = time.monotonic() + PROGRAM_COPY_WAIT
        while not (os.path.isfile(self.exe) and os.path.getsize(self.exe) > 0):
            if time.monotonic() > end:
                raise AssertionError(f"the program's copy {self.exe} is not there "
                                     f"{PROGRAM_COPY_WAIT} s after it was made")
            time.sleep(0.05)

    def started_again(self, output):
        """Call when the program ended: under Wine, when cmd could not start
        it, closes that attempt and starts it again; True when it did.
        `output` is what the failed attempt wrote, for the failure message."""
        if (not is_wine() or self.launch is None or self.proc.returncode != CMD_CANNOT_START_STATUS
                or CMD_CANNOT_START_TEXT not in output):
            return False
        if self.attempts >= START_ATTEMPTS:
            raise AssertionError(f"Wine's cmd could not start {windows_path(self.exe)} in "
                                 f"{self.attempts} attempts: {output}")
        for stream in (self.proc.stdout, self.proc.stderr):
            if stream:
                stream.close()
        time.sleep(START_RETRY_PAUSE)
        self.launch_program()
        return True

    def run_to_end(self, timeout=60, **kw):
        """Runs the program until it exits; returns (code, stderr text)."""
        p = self.start(**kw)
        while True:
            _, err = p.communicate(timeout=timeout)
            text = err.decode("utf-8", "replace")
            if not self.started_again(text):
                return p.returncode, text
            p = self.proc

    def wait_ready(self, timeout=60):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if self.proc.poll() is not None:
                text = self.proc.stderr.read().decode("utf-8", "replace")
                if self.started_again(text):
                    continue
                raise AssertionError(f"program exited early with {self.proc.returncode}: {text}")
            try:
                socket.create_connection(ADDRESS, timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise AssertionError("program did not start listening")

    def stop(self):
        """Ends the program if it still runs: the quit beacon, then force."""
        if self.proc and self.proc.poll() is None:
            try:
                request(b"POST /__quit HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
                self.proc.wait(timeout=10)
            except Exception:
                self.proc.kill()
                if is_wine():
                    subprocess.run(["wineserver", "-k"], env=self.env(), check=False)
                self.proc.wait(timeout=10)
        if self.proc:
            for stream in (self.proc.stdout, self.proc.stderr):
                if stream:
                    stream.close()
        self.proc = None

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.root, ignore_errors=True)


def connect(timeout=10):
    return socket.create_connection(ADDRESS, timeout=timeout)


def read_all(sock):
    chunks = []
    while True:
        try:
            b = sock.recv(65536)
        except ConnectionResetError:
            break
        if not b:
            break
        chunks.append(b)
    return b"".join(chunks)


def request(raw, timeout=10):
    """Sends raw bytes and returns every byte of the answer."""
    with connect(timeout) as s:
        s.sendall(raw)
        return read_all(s)


def split_answer(answer):
    head, _, body = answer.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    return lines[0], lines[1:], body
