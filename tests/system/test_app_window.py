"""The app window (which browser opens the page, and how) and the desktop
shortcut with its marker. Stand-ins record how they were started: natively
scripts on a PATH the test sets, under Wine a small Windows program placed
where the launcher looks for browsers, and as Windows PowerShell below the
prefix's system folder (with a decoy beside the program, which the search
order would find first and which must never run)."""

import os
import shutil
import stat
import subprocess
import tempfile
import time
import unittest

from harness import (Sandbox, fake_program_calls, install_fake_program, is_wine,
                     replace_system_program, windows_path, write_fake_script)

ADDRESS = "http://127.0.0.1:17865/"
APP_ARGS = ["--no-first-run", "--disable-sync", "--disable-features=Translate"]

EDGE = os.path.join("Microsoft", "Edge", "Application", "msedge.exe")
CHROME = os.path.join("Google", "Chrome", "Application", "chrome.exe")


def wait_for(probe, timeout=20):
    """Polls until `probe()` is true; returns its last value."""
    end = time.monotonic() + timeout
    while True:
        value = probe()
        if value or time.monotonic() > end:
            return value
        time.sleep(0.1)


def seen_folder(folder):
    """A folder as the program names it (backslash form on both systems)."""
    if is_wine():
        return windows_path(folder)
    return os.path.realpath(folder).replace("/", "\\")


def move_program(box, folder):
    """Moves the program folder (program, site, stand-ins) to `folder`."""
    shutil.move(box.exe_dir, folder)
    box.exe_dir = folder
    box.exe = os.path.join(folder, os.path.basename(box.exe))


class AppWindow(unittest.TestCase):
    """Natively the browser names are looked up on a PATH of the test's own
    folders; under Wine the program-files variables point into the sandbox,
    and the local app-data folder is the sandbox's data folder."""

    def setUp(self):
        self.box = Sandbox()
        self.pf = os.path.join(self.box.root, "pf")  # Wine: ProgramFiles
        os.makedirs(self.pf)
        self.path_dirs = []
        # Natively the launcher hands the address to xdg-open itself; under
        # Wine winebrowser does, and finds the harness's stand-in on PATH.
        if is_wine():
            self.xdg_open = os.path.join(self.box.fake_bin, "xdg-open")
        else:
            self.xdg_open = os.path.join(self.box.root, "handler", "xdg-open")
            write_fake_script(self.xdg_open)

    def tearDown(self):
        self.box.cleanup()

    def bin_dir(self, name):
        d = os.path.join(self.box.root, name)
        os.makedirs(d, exist_ok=True)
        return d

    def extra_env(self, x86_unset=False):
        if not is_wine():
            # The default handler comes last, after the test's folders.
            return {"PATH": os.pathsep.join(self.path_dirs + [os.path.dirname(self.xdg_open)])}
        pf = windows_path(self.pf)
        # Wine sets ProgramFiles from ProgramW6432 in every new process.
        env = {"ProgramFiles": pf, "ProgramW6432": pf}
        env["ProgramFiles(x86)"] = None if x86_unset else windows_path(self.bin_dir("pf86"))
        return env

    def default_handler_calls(self):
        return fake_program_calls(self.xdg_open, script=True)

    def expected_call(self, browser):
        profile = os.path.join(self.box.data, "Vesklar", "profile")
        if is_wine():
            return (f'"{windows_path(browser)}" --app={ADDRESS} '
                    f'--user-data-dir="{windows_path(profile)}" ' + " ".join(APP_ARGS))
        return [browser, "--app=" + ADDRESS, "--user-data-dir=" + profile] + APP_ARGS

    def start_and_settle(self, **kw):
        self.box.start(extra_env=self.extra_env(**kw))
        self.box.wait_ready()

    def assert_opened_by(self, browser, others=()):
        calls = wait_for(lambda: fake_program_calls(browser))
        self.assertEqual(calls, [self.expected_call(browser)])
        for other in others:
            self.assertEqual(fake_program_calls(other), [], other)
        self.assertEqual(self.default_handler_calls(), [])

    def test_exact_command_line_of_the_first_candidate(self):
        if is_wine():
            edge = os.path.join(self.pf, EDGE)
        else:
            self.path_dirs = [self.bin_dir("bin-a")]
            edge = os.path.join(self.path_dirs[0], "microsoft-edge")
        install_fake_program(edge)
        self.start_and_settle()
        self.assert_opened_by(edge)

    def test_edge_beats_chrome_found_earlier(self):
        # Windows: Edge under the local app-data folder (third) beats Chrome
        # under the program files folder (fourth). Linux: a later Edge name
        # in a later folder beats Chrome in the first folder.
        if is_wine():
            edge = os.path.join(self.box.data, EDGE)
            chrome = os.path.join(self.pf, CHROME)
        else:
            self.path_dirs = [self.bin_dir("bin-a"), self.bin_dir("bin-b")]
            chrome = os.path.join(self.path_dirs[0], "google-chrome")
            edge = os.path.join(self.path_dirs[1], "microsoft-edge-stable")
        install_fake_program(edge)
        install_fake_program(chrome)
        self.start_and_settle()
        self.assert_opened_by(edge, others=[chrome])

    def test_folder_named_like_the_browser_is_passed_over(self):
        if is_wine():
            os.makedirs(os.path.join(self.pf, EDGE))
            edge = os.path.join(self.box.data, EDGE)
        else:
            self.path_dirs = [self.bin_dir("bin-a"), self.bin_dir("bin-b")]
            os.makedirs(os.path.join(self.path_dirs[0], "microsoft-edge"))
            edge = os.path.join(self.path_dirs[1], "microsoft-edge")
        install_fake_program(edge)
        self.start_and_settle()
        self.assert_opened_by(edge)

    def test_unset_or_missing_places_keep_the_search_going(self):
        # Windows: without ProgramFiles(x86) the second and fifth candidates
        # keep their unexpanded text and fail; Chrome under the local
        # app-data folder (the last one) is still found. Linux: a PATH folder
        # that does not exist is passed over, down to the last name.
        if is_wine():
            chrome = os.path.join(self.box.data, CHROME)
        else:
            self.path_dirs = [os.path.join(self.box.root, "missing"), self.bin_dir("bin-b")]
            chrome = os.path.join(self.path_dirs[1], "chromium-browser")
        install_fake_program(chrome)
        self.start_and_settle(x86_unset=True)
        self.assert_opened_by(chrome)

    def test_no_browser_opens_the_bare_address_with_the_default_handler(self):
        if not is_wine():
            self.path_dirs = [self.bin_dir("bin-empty")]
        self.start_and_settle(x86_unset=True)
        calls = wait_for(self.default_handler_calls)
        self.assertEqual([args[1:] for args in calls], [[ADDRESS]])

    def test_browser_that_cannot_start_hands_over_to_the_default_handler(self):
        # The found file is no program; no later candidate is tried.
        if is_wine():
            edge = os.path.join(self.pf, EDGE)
            chrome = os.path.join(self.box.data, CHROME)
        else:
            self.path_dirs = [self.bin_dir("bin-a")]
            edge = os.path.join(self.path_dirs[0], "microsoft-edge")
            chrome = os.path.join(self.path_dirs[0], "google-chrome")
        os.makedirs(os.path.dirname(edge), exist_ok=True)
        with open(edge, "w") as f:
            f.write("not a program\n")
        install_fake_program(chrome)
        self.start_and_settle()
        calls = wait_for(self.default_handler_calls)
        self.assertEqual([args[1:] for args in calls], [[ADDRESS]])
        self.assertEqual(fake_program_calls(chrome), [])

    def test_second_instance_opens_one_more_window_with_the_same_profile(self):
        if is_wine():
            edge = os.path.join(self.pf, EDGE)
        else:
            self.path_dirs = [self.bin_dir("bin-a")]
            edge = os.path.join(self.path_dirs[0], "microsoft-edge")
        install_fake_program(edge)
        self.start_and_settle()
        wait_for(lambda: fake_program_calls(edge))
        other = Sandbox(with_site=False)  # even without a site folder
        try:
            if is_wine():
                code, _ = other.run_to_end(local_app_data=windows_path(self.box.data),
                                           extra_env=self.extra_env())
            else:
                other.overrides["XDG_DATA_HOME"] = self.box.data
                code, _ = other.run_to_end(extra_env=self.extra_env())
            self.assertEqual(code, 0)
        finally:
            other.cleanup()
        calls = wait_for(lambda: len(fake_program_calls(edge)) >= 2 and fake_program_calls(edge))
        self.assertEqual(calls, [self.expected_call(edge)] * 2)
        self.assertIsNone(self.box.proc.poll())


class DesktopShortcut(unittest.TestCase):
    """Natively the launcher writes Vesklar.desktop into $HOME/Desktop (or
    $XDG_DESKTOP_DIR); under Wine a stand-in for Windows PowerShell records
    the command that would make Vesklar.lnk."""

    def setUp(self):
        self.box = Sandbox()
        self.desktop = os.path.join(self.box.home, "Desktop")
        os.makedirs(self.desktop)
        if is_wine():
            self.powershell, restore = replace_system_program(
                os.path.join("WindowsPowerShell", "v1.0", "powershell.exe"))
            self.addCleanup(restore)
            install_fake_program(self.decoy())
        self.made = []  # natively: the launcher files seen so far
        self.marker = os.path.join(self.box.data, "Vesklar", "desktop.txt")

    def decoy(self):
        return os.path.join(self.box.exe_dir, "powershell.exe")

    def tearDown(self):
        decoy_calls = fake_program_calls(self.decoy()) if is_wine() else []
        self.box.cleanup()
        self.assertEqual(decoy_calls, [], "the powershell.exe beside the program ran")

    def shortcuts_made(self):
        """Every shortcut made so far: the PowerShell command lines under
        Wine; natively the launcher file contents (each file is taken away
        once seen, so that a later one shows)."""
        if is_wine():
            return fake_program_calls(self.powershell)
        path = os.path.join(self.desktop, "Vesklar.desktop")
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                self.made.append(f.read())
            os.remove(path)
        return self.made

    def expected_shortcut(self, icon=None):
        if is_wine():
            folder = windows_path(self.box.exe_dir)
            target = folder + "\\Vesklar.exe"
            q = lambda p: p.replace("'", "''")  # noqa: E731
            return ("powershell.exe -NoProfile -ExecutionPolicy Bypass -Command \"$w=New-Object "
                    "-ComObject WScript.Shell; $p=Join-Path $w.SpecialFolders('Desktop') "
                    "'Vesklar.lnk'; $s=$w.CreateShortcut($p); "
                    f"$s.TargetPath='{q(target)}'; $s.WorkingDirectory='{q(folder)}'; "
                    f"$s.IconLocation='{q(icon or target)},0'; $s.Description='Vesklar'; "
                    "$s.Save()\"")
        folder = os.path.realpath(self.box.exe_dir)
        target = folder + "/vesklar"
        return ("[Desktop Entry]\nType=Application\nName=Vesklar\nComment=Vesklar\n"
                f'Exec="{target}"\nPath={folder}\nIcon={icon or target}\nTerminal=false\n')

    def shortcuts_after_a_start(self, count):
        """The shortcuts made, once there are `count` of them or 20 s have
        passed: the program waits for the maker only so long, and under a
        loaded Wine the stand-in may record after the program has ended."""
        wait_for(lambda: len(self.shortcuts_made()) >= count)
        return self.shortcuts_made()

    def program_log(self):
        """The program's own log, for a failure message."""
        try:
            with open(self.box.log_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError as e:
            return f"(no log: {e})"

    def marker_bytes(self):
        with open(self.marker, "rb") as f:
            return f.read()

    def expected_marker(self):
        return seen_folder(self.box.exe_dir).encode("utf-16-le")

    def quick_start(self, **kw):
        """A start that ends right after the shortcut step: without
        www/index.html the page check fails with exit code 1."""
        index = os.path.join(self.box.www, "index.html")
        if os.path.exists(index):
            os.remove(index)
        code, _ = self.box.run_to_end(**kw)
        self.assertEqual(code, 1)

    def test_first_start_makes_the_shortcut_and_writes_the_marker(self):
        # A program folder of exactly 20 characters gives a 40-byte marker.
        top = tempfile.mkdtemp(prefix="vk", dir="/tmp")
        self.addCleanup(shutil.rmtree, top, True)
        name_length = 20 - len(seen_folder(top)) - 1
        self.assertGreater(name_length, 0)
        move_program(self.box, os.path.join(top, "v" * name_length))
        self.assertEqual(len(seen_folder(self.box.exe_dir)), 20)
        self.box.start()
        self.box.wait_ready()
        if not is_wine():  # desktops launch only executable entries
            mode = os.stat(os.path.join(self.desktop, "Vesklar.desktop")).st_mode
            self.assertTrue(mode & stat.S_IXUSR)
        self.assertEqual(self.shortcuts_made(), [self.expected_shortcut()])
        data = self.marker_bytes()
        self.assertEqual(len(data), 40)
        self.assertEqual(data, self.expected_marker())

    def test_same_folder_starts_nothing_and_a_moved_folder_makes_it_again(self):
        self.quick_start()
        self.assertEqual(len(self.shortcuts_after_a_start(1)), 1, self.program_log())
        before = self.marker_bytes()
        self.assertEqual(before, self.expected_marker())
        self.quick_start()
        self.assertEqual(len(self.shortcuts_made()), 1)
        self.assertEqual(self.marker_bytes(), before)
        move_program(self.box, os.path.join(self.box.root, "moved"))
        self.quick_start()
        made = self.shortcuts_after_a_start(2)
        self.assertEqual(made, made[:1] + [self.expected_shortcut()], self.program_log())
        self.assertEqual(self.marker_bytes(), self.expected_marker())

    def test_marker_that_differs_in_any_unit_counts_as_another_folder(self):
        folder = seen_folder(self.box.exe_dir)
        variants = {
            "letter case": folder.swapcase().encode("utf-16-le"),
            "byte-order mark": b"\xff\xfe" + folder.encode("utf-16-le"),
            "CR LF": (folder + "\r\n").encode("utf-16-le"),
            "LF": (folder + "\n").encode("utf-16-le"),
        }
        os.makedirs(os.path.dirname(self.marker))
        for n, (what, content) in enumerate(variants.items(), start=1):
            with self.subTest(what):
                with open(self.marker, "wb") as f:
                    f.write(content)
                self.quick_start()
                self.assertEqual(len(self.shortcuts_after_a_start(n)), n, self.program_log())
                self.assertEqual(self.marker_bytes(), self.expected_marker())

    def test_icon_beside_the_program_is_used(self):
        icon = os.path.join(self.box.exe_dir, "Vesklar.ico")
        shutil.copy2(self.box.exe, icon)  # any file will do
        self.quick_start()
        shown = windows_path(icon) if is_wine() else os.path.realpath(icon)
        self.assertEqual(self.shortcuts_made(), [self.expected_shortcut(icon=shown)])

    def test_single_quote_in_the_folder_reaches_the_maker_intact(self):
        # No space under Wine: wine passes the cmd line on with the quotes
        # around such a path escaped, which cmd does not understand.
        name = "it's" if is_wine() else "it's here"
        move_program(self.box, os.path.join(self.box.root, name))
        self.quick_start()
        made = self.shortcuts_made()
        self.assertEqual(made, [self.expected_shortcut()])
        if is_wine():
            self.assertIn("\\it''s\\Vesklar.exe'", made[0])
        else:
            self.assertIn("/it's here/vesklar\"\n", made[0])
        self.assertEqual(self.marker_bytes(), self.expected_marker())

    @unittest.skipIf(is_wine(), "Linux: the launcher file and its desktop folder")
    def test_desktop_folder_from_xdg_and_no_marker_without_one(self):
        # Without a desktop folder nothing can be made: no marker, and every
        # start tries again.
        shutil.rmtree(self.desktop)
        for _ in range(2):
            self.quick_start()
            self.assertFalse(os.path.exists(self.marker))
        elsewhere = os.path.join(self.box.root, "Escritorio")
        os.makedirs(elsewhere)
        self.box.overrides["XDG_DESKTOP_DIR"] = elsewhere
        self.quick_start()
        path = os.path.join(elsewhere, "Vesklar.desktop")
        with open(path, encoding="utf-8") as f:
            self.assertEqual(f.read(), self.expected_shortcut())
        self.assertTrue(os.stat(path).st_mode & stat.S_IXUSR)
        self.assertEqual(self.marker_bytes(), self.expected_marker())

    @unittest.skipUnless(is_wine(), "Windows: the hidden shortcut process")
    def test_hung_shortcut_process_holds_start_up_for_8_seconds_only(self):
        os.remove(os.path.join(self.box.www, "index.html"))
        began = time.monotonic()
        # Not through pipes: the hung process would hold them open.
        p = subprocess.Popen(self.box.command(extra_env={"VESKLAR_FAKE_SLEEP_MS": "20000"}),
                             env=self.box.env(), cwd=self.box.root, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(p.wait(timeout=60), 1)
        elapsed = time.monotonic() - began
        print(f"\n  start-up ended {elapsed:.1f} s after it began", end=" ")
        self.assertGreaterEqual(elapsed, 8.0)
        self.assertLess(elapsed, 16.0)  # the stand-in stays for 20 s
        self.assertEqual(len(self.shortcuts_made()), 1)
        self.assertEqual(self.marker_bytes(), self.expected_marker())


if __name__ == "__main__":
    unittest.main()
