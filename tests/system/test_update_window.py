"""The window that shows the start-up download of an update. Under Xvfb it
appears (Wine draws the Windows build's window into the X display; natively
it is zenity), and a Cancel stops the download, deletes the partial archive
and lets start-up go on; a complete download reaches 100 %. Screenshots are
kept in <build folder>/test-output/."""

import os
import re
import shutil
import subprocess
import time
import unittest

import harness
import update_host
from harness import is_wine
from test_update import BASE, UpdateSandbox, manifest

ARCHIVE_PATH = "/descargas/vesklar-12.zip"
# Not a zip: the download completes and the check after it fails, which is
# all these tests need (the hand-off itself is tested in test_update).
ARCHIVE = b"ZK" + bytes(1999998)
CAPTION = "Actualización"
TEXT = "Descargando la actualización 1.2.0…"
FAILED_TEXT = "No se pudo descargar la actualización."
SCREEN = "1024x768x24"
WINDOW_WAIT = 60

_authority = None
_host = None


def setUpModule():
    global _authority, _host
    update_host.skip_unless_trust_store_can_change()
    _authority, _host = update_host.start_trusted_host()


def tearDownModule():
    update_host.stop_trusted_host(_authority, _host)


def output_folder():
    folder = os.path.join(os.path.dirname(harness.Config.exe), "test-output")
    os.makedirs(folder, exist_ok=True)
    return folder


def window_events(box):
    """The details of each update_download_window line of the program's log."""
    with open(box.log_path, "rb") as f:
        text = f.read().decode("utf-8")
    return re.findall(r" update_download_window (.*)", text)


class Xvfb:
    """An X server of its own on the first free display from :171."""

    def __init__(self):
        number = 171
        while os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
            number += 1
        self.display = f":{number}"
        self.proc = subprocess.Popen(["Xvfb", self.display, "-screen", "0", SCREEN, "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.monotonic() + 10
        while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
            if time.monotonic() > end or self.proc.poll() is not None:
                self.stop()
                raise AssertionError(f"Xvfb did not start on {self.display}")
            time.sleep(0.05)

    def run(self, *args):
        return subprocess.run(list(args), env=dict(os.environ, DISPLAY=self.display), capture_output=True,
                              text=True, timeout=30)

    def windows(self, name):
        found = self.run("xdotool", "search", "--onlyvisible", "--name", f"^{name}$")
        return [int(w) for w in found.stdout.split()]

    def wait_window(self, name, but=()):
        end = time.monotonic() + WINDOW_WAIT
        while time.monotonic() < end:
            fresh = [w for w in self.windows(name) if w not in but]
            if fresh:
                return fresh[0]
            time.sleep(0.2)
        raise AssertionError(f"no window named {name!r} appeared")

    def wait_gone(self, window):
        end = time.monotonic() + WINDOW_WAIT
        while window in self.windows(".*"):
            if time.monotonic() > end:
                raise AssertionError(f"window {window} stayed")
            time.sleep(0.2)

    def press(self, window, key):
        self.run("xdotool", "windowfocus", "--sync", str(window))
        self.run("xdotool", "key", key)

    def screenshot(self, name):
        path = os.path.join(output_folder(), name)
        self.run("import", "-display", self.display, "-window", "root", path)
        return path

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


def need_tools(*tools):
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        raise unittest.SkipTest("the download window test needs " + ", ".join(missing))


class StartupDownloadWindow(unittest.TestCase):
    def setUp(self):
        with _host.lock:
            _host.routes.clear()
            _host.hung_up.clear()
        _host.manifest(manifest())
        self.box = UpdateSandbox()
        self.display = None

    def tearDown(self):
        self.box.cleanup()
        if self.display:
            self.display.stop()

    def open_display(self):
        need_tools("Xvfb", "xdotool", "import", *(() if is_wine() else ("zenity",)))
        self.display = Xvfb()
        self.box.overrides["DISPLAY"] = self.display.display

    def answer_yes(self):
        question = self.display.wait_window(CAPTION)
        self.display.press(question, "Return")
        self.display.wait_gone(question)
        return question

    def no_archive_left(self):
        if is_wine():
            self.assertFalse(os.path.exists(self.box.temp_file("vesklar-update.zip")))
        else:
            self.assertEqual(self.box.update_folders(), [])

    def test_cancel_stops_the_download_and_start_up_goes_on(self):
        self.open_display()
        # 32 pieces of 64 KiB, 0.5 s apart: some 16 s unless cancelled.
        _host.serve(ARCHIVE_PATH, ARCHIVE, pace=0.5)
        self.box.start()
        question = self.answer_yes()
        window = self.display.wait_window(CAPTION, but=(question,))
        time.sleep(2)  # a few pieces in, and the window drawn
        shot = self.display.screenshot(f"update-download-window-{'wine' if is_wine() else 'native'}.png")
        print(f"\n  screenshot: {shot}", end=" ")
        began = time.monotonic()
        self.display.press(window, "Escape")
        self.box.wait_ready(timeout=30)
        print(f"serving {time.monotonic() - began:.1f} s after the cancel", end=" ")
        self.display.wait_gone(window)
        self.no_archive_left()
        end = time.monotonic() + 10
        while ARCHIVE_PATH not in _host.hung_up and time.monotonic() < end:
            time.sleep(0.1)
        self.assertIn(ARCHIVE_PATH, _host.hung_up, "the download went on after the cancel")
        [event] = window_events(self.box)
        self.assertTrue(event.startswith("result=cancelled shown="), event)
        self.assertNotIn(FAILED_TEXT, self.box.output_text())
        self.assertEqual(self.display.windows(CAPTION), [])

    def test_complete_download_reaches_100_percent(self):
        _host.serve(ARCHIVE_PATH, ARCHIVE, pace=0.05)
        if is_wine():
            self.open_display()
            self.box.start()
            question = self.answer_yes()
            # The check after the download fails, and says so.
            warning = self.display.wait_window("Vesklar", but=(question,))
            self.display.press(warning, "Return")
        else:
            # A zenity that answers Yes and records what it is fed, so no
            # display is needed to see every line the dialog got.
            zenity = os.path.join(self.box.fake_bin, "zenity")
            with open(zenity, "w") as f:
                f.write('#!/bin/sh\nprintf "%s\\n" "$*" >> "$0.args"\n'
                        'case "$1" in --progress) cat >> "$0.input";; esac\nexit 0\n')
            os.chmod(zenity, 0o755)
            self.box.overrides["DISPLAY"] = ":vesklar-test"
            self.box.start()
        self.box.wait_ready(timeout=60)
        [event] = window_events(self.box)
        self.assertEqual(event, f"result=ended shown={len(ARCHIVE)}/{len(ARCHIVE)}")
        self.no_archive_left()
        if not is_wine():
            with open(zenity + ".args", encoding="utf-8") as f:
                calls = f.read().splitlines()
            self.assertIn(f"--progress --no-markup --title={CAPTION} --text={TEXT} --percentage=0 "
                          "--cancel-label=Cancelar --width=420", calls)
            with open(zenity + ".input", encoding="utf-8") as f:
                lines = f.read().splitlines()
            self.assertEqual(lines[-1], "100")
            self.assertEqual(lines, sorted(lines, key=int), "the percentage went back")


if __name__ == "__main__":
    unittest.main()
