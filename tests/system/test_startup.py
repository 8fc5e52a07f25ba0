"""Start-up failures, the second instance and the quit beacon."""

import os
import shutil
import socket
import time
import unittest

import harness
from harness import Sandbox, is_wine, request, split_answer

M1 = "Falta la carpeta www junto a Vesklar.exe.\nDescomprime el zip entero."
M2 = "www\\index.html no está. Vuelve a descomprimir Vesklar."
M4 = "El puerto local 17865 está ocupado.\nCierra la otra Vesklar y ábrela otra vez."

# How late the process may end after its deadline is due: one 200 ms poll,
# plus the time the OS (or Wine) takes to report the end.
EXIT_SLACK = 0.6 if is_wine() else 0.15


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


if __name__ == "__main__":
    unittest.main()
