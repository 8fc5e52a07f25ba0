"""Start-up failures, the second instance and the quit beacon."""

import os
import resource
import shutil
import socket
import stat
import subprocess
import time
import unittest

import harness
from harness import Sandbox, connect, is_wine, request, split_answer
from test_media import STORED, upload_request, whole

M1 = "Falta la carpeta www junto a Vesklar.exe.\nDescomprime el zip entero."
M2 = "www\\index.html no está. Vuelve a descomprimir Vesklar."
M4 = "El puerto local 17865 está ocupado.\nCierra la otra Vesklar y ábrela otra vez."

# How late the process may end after its deadline is due: one 200 ms poll,
# plus the time the OS (or Wine) takes to report the end.
EXIT_SLACK = 0.6 if is_wine() else 0.15
# Workers kept waiting for the end of a head while the launcher quits.
PENDING_HEADS = 150


def sanitized_build():
    """A sanitizer's run-time reserves terabytes of address space at start,
    so an address-space limit stops such a build before it runs."""
    with open(harness.Config.exe, "rb") as f:
        data = f.read()
    return b"__asan_init" in data or b"__tsan_init" in data


class StartupFailures(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox()

    def tearDown(self):
        self.box.cleanup()

    def expect_failure(self, message, **kw):
        code, err = self.box.run_to_end(**kw)
        self.assertEqual(code, 1)
        if not is_wine():  # the box text reaches standard error on Linux
            self.assertIn("Vesklar: " + message, err)

    def test_failures_leave_the_port_unused(self):
        shutil.rmtree(self.box.www)
        self.expect_failure(M1)
        self.assertTrue(harness.port_is_free())

    def test_missing_site_folder(self):
        shutil.rmtree(self.box.www)
        self.expect_failure(M1)

    def test_plain_file_named_www_passes_folder_test_then_fails_page_check(self):
        shutil.rmtree(self.box.www)
        open(self.box.www, "w").close()
        self.expect_failure(M2)

    def test_missing_index_page(self):
        os.remove(os.path.join(self.box.www, "index.html"))
        self.expect_failure(M2)

    def test_index_page_that_is_a_folder(self):
        os.remove(os.path.join(self.box.www, "index.html"))
        os.mkdir(os.path.join(self.box.www, "index.html"))
        self.expect_failure(M2)

    def test_no_user_profile(self):
        if is_wine():
            self.expect_failure(M1, user_profile="")
        else:
            self.box.overrides["HOME"] = None
            self.expect_failure(M1)

    def test_no_local_app_data(self):
        if is_wine():
            self.expect_failure(M1, local_app_data="")
        else:
            self.box.overrides["HOME"] = None
            self.box.overrides["XDG_DATA_HOME"] = None
            self.expect_failure(M1)

    def test_accept_thread_that_cannot_start_ends_the_launcher(self):
        if is_wine():
            self.skipTest("no way to make one thread start fail from outside a Wine process")
        if sanitized_build():
            self.skipTest("a sanitizer build does not start under an address-space limit")
        # A thread started without a stack size gets the stack limit as its
        # stack (glibc); with that limit above the address-space limit the
        # accept thread cannot start, while the rest of start-up needs little.
        stack, address_space = 4 << 30, 2 << 30

        def limit():
            resource.setrlimit(resource.RLIMIT_STACK, (stack, stack))
            resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))

        proc = subprocess.Popen(self.box.command(), env=self.box.env(), cwd=self.box.root,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, preexec_fn=limit)
        try:
            self.assertEqual(proc.wait(timeout=20), 1)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.assertTrue(harness.port_is_free())
        # Nothing is left behind that keeps the next start from serving.
        self.box.start()
        self.box.wait_ready()
        status, _, _ = split_answer(request(b"OPTIONS / HTTP/1.1\r\n\r\n"))
        self.assertEqual(status, "HTTP/1.1 204 No Content")

    def test_port_held_by_another_program(self):
        holder = socket.socket()
        # Earlier tests leave TIME_WAIT entries on the port; they do not stop
        # a listener, and neither does this option let two listeners share it.
        holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        holder.bind(harness.ADDRESS)
        holder.listen(1)
        try:
            self.expect_failure(M4)
        finally:
            holder.close()


class Lifecycle(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox()
        self.box.start()
        self.box.wait_ready()

    def tearDown(self):
        self.box.cleanup()

    def beacon(self):
        answer = request(b"POST /__quit HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
        sent = time.monotonic()
        self.assertTrue(answer.startswith(b"HTTP/1.1 204 No Content\r\n"), answer)
        return sent

    def test_lays_out_its_folders(self):
        data, home = self.box.data, self.box.home
        for folder in ("Vesklar", "Vesklar/media", "Vesklar/profile"):
            self.assertTrue(os.path.isdir(os.path.join(data, folder)), folder)
        self.assertTrue(os.path.isdir(os.path.join(home, "Downloads")))

    def test_quit_beacon_ends_the_process_after_the_grace_period(self):
        sent = self.beacon()
        code = self.box.proc.wait(timeout=10)
        elapsed = time.monotonic() - sent
        self.assertEqual(code, 0)
        print(f"\n  process ended {elapsed:.3f} s after the beacon", end=" ")
        self.assertGreaterEqual(elapsed, 1.6)
        self.assertLessEqual(elapsed, 1.8 + EXIT_SLACK)

    def test_a_reload_within_the_grace_period_keeps_it_running(self):
        self.beacon()
        time.sleep(1.0)
        status, _, _ = split_answer(request(b"GET / HTTP/1.1\r\n\r\n"))
        self.assertNotEqual(status, "")
        time.sleep(1.5)
        self.assertIsNone(self.box.proc.poll())
        # A later beacon still ends it.
        self.beacon()
        self.assertEqual(self.box.proc.wait(timeout=10), 0)

    def test_quit_while_a_slow_ranged_download_is_under_way(self):
        body = os.urandom(1 << 20) * 16
        query = b"project=quit&id=v&mime=video%2Fmp4"
        self.assertEqual(request(upload_request(query, body), timeout=60), STORED)
        download = socket.socket()
        download.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
        download.settimeout(30)
        download.connect(harness.ADDRESS)
        download.sendall(b"GET /__media/quit/v HTTP/1.1\r\nRange: bytes=1000-\r\n\r\n")
        first = download.recv(4096)
        self.assertTrue(first.startswith(b"HTTP/1.1 206 Partial Content\r\n"), first[:200])
        # Connections whose heads are still coming: each holds a worker that
        # reads the launcher's folders once its head is complete. Any request
        # but the beacon holds the quit back, so they are completed only once
        # the listener is closed, one by one, while the launcher returns and
        # the process ends.
        waiting = []
        for _ in range(PENDING_HEADS):
            s = connect(timeout=30)
            s.sendall(b"GET /style.css HTTP/1.1\r\nHost: 127.0.0.1:17865\r\n")
            waiting.append(s)
        try:
            self.beacon()
            while self.box.proc.poll() is None:
                try:
                    connect(timeout=1).close()  # a connection with no request
                except OSError:
                    break
                time.sleep(0.001)
            # Not under Wine: there, a blocking receive that completes while
            # the process is being ended can leave the ending thread hanging
            # for good (a +winsock trace showed the receive's completion run
            # on that thread, never to return). Windows ends threads in the
            # kernel; there the heads simply stay incomplete.
            while not harness.is_wine() and waiting and self.box.proc.poll() is None:
                try:
                    waiting.pop().sendall(b"\r\n")
                except OSError:
                    pass
                time.sleep(0.0005)
            code = self.box.proc.wait(timeout=10)
            err = self.box.proc.stderr.read().decode("utf-8", "replace")
            self.assertNotIn("Sanitizer", err)
            self.assertEqual(code, 0, err)
            # The download ends with the process, cut short.
            self.assertLess(len(first) + len(harness.read_all(download)), len(body))
        finally:
            download.close()
            for s in waiting:
                s.close()

    def test_second_instance_ends_at_once_and_leaves_the_first_serving(self):
        other = Sandbox(with_site=False)  # even without a site folder
        try:
            code, _ = other.run_to_end(timeout=60)
            self.assertEqual(code, 0)
        finally:
            other.cleanup()
        self.assertIsNone(self.box.proc.poll())
        status, _, _ = split_answer(request(b"OPTIONS / HTTP/1.1\r\n\r\n"))
        self.assertEqual(status, "HTTP/1.1 204 No Content")


class FreshAccount(unittest.TestCase):
    """A new Linux account: an empty home and no data home yet."""

    def test_media_is_stored_and_played_without_a_data_home_made_beforehand(self):
        if is_wine():
            self.skipTest("Windows makes the local application data folder with the profile")
        item = b"first item of a new account"
        # label, XDG_DATA_HOME (None: unset), the folders it makes below the
        # sandbox root, the data home last
        cases = [("unset", None, ["home/.local", "home/.local/share"]),
                 ("empty", "", ["home/.local", "home/.local/share"]),
                 ("missing folder", "new/data", ["new", "new/data"])]
        for label, xdg, made in cases:
            with self.subTest(label):
                box = Sandbox()
                try:
                    box.overrides["XDG_DATA_HOME"] = os.path.join(box.root, xdg) if xdg else xdg
                    box.start()
                    box.wait_ready()
                    self.assertEqual(request(upload_request(b"project=p&id=v&mime=video%2Fmp4", item)), STORED)
                    self.assertEqual(request(b"GET /__media/p/v HTTP/1.1\r\n\r\n"), whole(item, b"video/mp4"))
                    data_home = os.path.join(box.root, made[-1])
                    self.assertTrue(os.path.isfile(os.path.join(data_home, "Vesklar", "media", "p", "v")))
                    # The folders made for it are the user's own.
                    for folder in made:
                        mode = stat.S_IMODE(os.stat(os.path.join(box.root, folder)).st_mode)
                        self.assertEqual(mode, 0o700, folder)
                finally:
                    box.cleanup()


if __name__ == "__main__":
    unittest.main()
