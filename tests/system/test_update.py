"""The updater against a local HTTPS update host: the status document for
every kind of manifest and answer, the POST answers, the start-up offer, and
the hand-off to the installer (checked byte for byte under Wine, run end to
end on Linux). Uses the test copy of the program, whose update host is
localhost on update_host.PORT."""

import base64
import hashlib
import io
import json
import os
import shutil
import socket
import subprocess
import sys
import threading
import time
import unittest
import zipfile

import harness
import update_host
from harness import Sandbox, is_wine, request, split_answer, windows_path

BASE = update_host.BASE_URL
GOOD_URL = BASE + "/descargas/vesklar-12.zip"
MANIFEST_PATH = "/descargas/version.json"

# The installer script as the Windows build must write it: 28 lines, CR LF.
EXPECTED_PS1 = (
    'param([int]$ProcId,[string]$Zip,[string]$Dest,[string]$Exe)\r\n'
    "$ErrorActionPreference='Stop'\r\n"
    'try {\r\n'
    '  while (Get-Process -Id $ProcId -ErrorAction SilentlyContinue) { Start-Sleep -Milliseconds 300 }\r\n'
    '  Start-Sleep -Seconds 1\r\n'
    "  $stage = Join-Path $env:TEMP 'vesklar-upd-stage'\r\n"
    '  if (Test-Path -LiteralPath $stage) { Remove-Item -LiteralPath $stage -Recurse -Force }\r\n'
    '  New-Item -ItemType Directory -Path $stage | Out-Null\r\n'
    '  Expand-Archive -LiteralPath $Zip -DestinationPath $stage -Force\r\n'
    '  $copied = $false\r\n'
    '  for ($i = 0; $i -lt 20; $i++) {\r\n'
    '    try {\r\n'
    "      Copy-Item -Path (Join-Path $stage '*') -Destination $Dest -Recurse -Force -ErrorAction Stop\r\n"
    '      $copied = $true\r\n'
    '      break\r\n'
    '    } catch {\r\n'
    '      if ($i -eq 19) { throw }\r\n'
    '      Start-Sleep -Milliseconds 500\r\n'
    '    }\r\n'
    '  }\r\n'
    "  if (-not $copied) { throw 'No se pudo copiar la actualizacion' }\r\n"
    '  Start-Process -FilePath $Exe -WorkingDirectory $Dest\r\n'
    '  Remove-Item -LiteralPath $Zip -Force -ErrorAction SilentlyContinue\r\n'
    '  Remove-Item -LiteralPath $stage -Recurse -Force -ErrorAction SilentlyContinue\r\n'
    '} catch {\r\n'
    '  Add-Type -AssemblyName System.Windows.Forms\r\n'
    "  [System.Windows.Forms.MessageBox]::Show([string]$_.Exception.Message, 'Vesklar')\r\n"
    '}\r\n'
).encode("ascii")
EXPECTED_PS1_SHA256 = "c71e3f24ca651b0ed63c41d0359a81df542a8e2f2d977a69bb00b4689351f69f"

STARTED = b'{"available":true,"started":true}'
FAILED = b'{"available":true,"started":false}'
NOT_AVAILABLE = b'{"available":false}'

_authority = None
_host = None


def setUpModule():
    global _authority, _host
    update_host.skip_unless_trust_store_can_change()
    if not os.path.exists(test_program()):
        raise AssertionError(f"the test copy of the program is missing: {test_program()}")
    _authority, _host = update_host.start_trusted_host()


def tearDownModule():
    update_host.stop_trusted_host(_authority, _host)


def test_program():
    name = "Vesklar-test-update.exe" if is_wine() else "vesklar_test_update"
    return os.path.join(os.path.dirname(harness.Config.exe), name)


def signed_program():
    """The test copy built with the test-only update key of tests/keys."""
    name = "Vesklar-test-signed.exe" if is_wine() else "vesklar_test_signed"
    return os.path.join(os.path.dirname(harness.Config.exe), name)


TEST_SIGNING_KEY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "keys",
                                "test-only-update-key.pem")


def signature_of(data):
    """What a release manifest carries: base64 of the DER ECDSA signature."""
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", TEST_SIGNING_KEY], input=data,
                         capture_output=True, check=True).stdout
    return base64.b64encode(der).decode("ascii")


def program_name():
    """The name the installer starts again, whatever the copy is called."""
    return "Vesklar.exe" if is_wine() else "vesklar"


def manifest(version="12", name="1.2.0", url=GOOD_URL):
    members = [f'"version":{version}']
    if name is not None:
        members.append(f'"versionName":"{name}"')
    if url is not None:
        members.append(f'"url":"{url}"')
    return '{"windows":{' + ",".join(members) + "}}"


def zip_of_size(size, members):
    """A real zip archive of exactly `size` bytes holding `members`
    ({name: bytes}) and a stored padding member that makes up the rest."""
    def build(pad):
        out = io.BytesIO()
        with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as z:
            for name, data in members.items():
                z.writestr(name, data)
            z.writestr("pad.bin", b"\0" * pad)
        return out.getvalue()
    first = build(0)
    data = build(size - len(first))
    assert len(data) == size, len(data)
    return data


def status_document(current, latest, name, available, checked=True):
    """`checked`: whether the host gave a manifest to scan."""
    def word(flag):
        return "true" if flag else "false"
    return (f'{{"current":{current},"latest":{latest},"name":"{name}",'
            f'"available":{word(available)},"checked":{word(checked)}}}').encode("latin-1")


def header(headers, name):
    for line in headers:
        key, _, value = line.partition(":")
        if key.lower() == name.lower():
            return value.strip()
    return None


class UpdateSandbox(Sandbox):
    """A sandbox running the test copy under the product's name, version 7
    ("1.0.7"), with its own temporary folder and its output in a file (the
    installer and the restarted program inherit it)."""

    def __init__(self, version_text=b"7\r\n1.0.7\r\n", program=None):
        super().__init__()
        os.remove(self.exe)
        self.exe = os.path.join(self.exe_dir, program_name())
        shutil.copy2(program or test_program(), self.exe)
        with open(os.path.join(self.exe_dir, "version.txt"), "wb") as f:
            f.write(version_text)
        self.temp = os.path.join(self.root, "temp")
        os.makedirs(self.temp)
        self.overrides["TMPDIR"] = self.temp
        self.output_path = os.path.join(self.root, "output.txt")
        self.output = None

    def command(self, **kw):
        cmd = super().command(**kw)
        if is_wine():
            temp = windows_path(self.temp)
            cmd[-1] = f"set TMP={temp}&& set TEMP={temp}&& " + cmd[-1]
        return cmd

    def start(self, **kw):
        self.output = open(self.output_path, "ab")
        command, env = self.command(**kw), self.env()
        return self.start_with(lambda: subprocess.Popen(command, env=env, cwd=self.root,
                                                        stdin=subprocess.DEVNULL,
                                                        stdout=self.output, stderr=self.output))

    def output_text(self):
        with open(self.output_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait_ready(self, timeout=60):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if self.proc.poll() is not None:
                if self.started_again(self.output_text()):
                    continue
                raise AssertionError(f"program exited early with {self.proc.returncode}: "
                                     f"{self.output_text()}")
            try:
                socket.create_connection(harness.ADDRESS, timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise AssertionError("program did not start listening")

    def temp_file(self, name):
        return os.path.join(self.temp, name)

    def update_folders(self):
        """Linux: the private folders made for updates in the temporary one."""
        return [os.path.join(self.temp, n) for n in os.listdir(self.temp) if n.startswith("vesklar-update-")]

    def update_file(self, name):
        """Where the installer's `name` is: under Wine at its fixed name in the
        temporary folder, on Linux in the one private folder of the update."""
        if is_wine():
            return self.temp_file(name)
        [folder] = self.update_folders()
        return os.path.join(folder, name)

    def move_exe_dir(self, name):
        """Puts the program folder under `name` inside the sandbox."""
        new = os.path.join(self.root, name)
        os.rename(self.exe_dir, new)
        self.exe_dir = new
        self.exe = os.path.join(new, os.path.basename(self.exe))

    def cleanup(self):
        super().cleanup()
        if self.output:
            self.output.close()


def get_status():
    status, headers, body = split_answer(request(b"GET /__update HTTP/1.1\r\n\r\n", timeout=30))
    return status, header(headers, "Content-Type"), body


class StatusDocument(unittest.TestCase):
    """One program; each request checks afresh against whatever the update
    host serves at that moment."""

    @classmethod
    def setUpClass(cls):
        with _host.lock:
            _host.routes.clear()
        cls.box = UpdateSandbox()
        cls.box.start()
        cls.box.wait_ready()

    @classmethod
    def tearDownClass(cls):
        cls.box.cleanup()

    def test_every_kind_of_manifest_and_answer(self):
        pad = "x" * 8200
        # In order: the name a failed check reports is whatever the last
        # check stored.
        cases = [
            # Stores the current name, whatever an earlier test left.
            ("same version", (200, manifest("7", "1.0.7")), status_document(7, 7, "1.0.7", False)),
            ("404", (404, "Not Found"), status_document(7, 7, "1.0.7", False, checked=False)),
            ("500", (500, "oops"), status_document(7, 7, "1.0.7", False, checked=False)),
            ("empty body", (200, ""), status_document(7, 7, "1.0.7", False)),
            ("newer", (200, manifest()), status_document(7, 12, "1.2.0", True)),
            ("404 after a stored name", (404, ""), status_document(7, 7, "1.2.0", False, checked=False)),
            ("same version again", (200, manifest("7", "1.0.7")), status_document(7, 7, "1.0.7", False)),
            ("older", (200, manifest("5", "0.5")), status_document(7, 5, "0.5", False)),
            ("newer without a name", (200, manifest(name=None)), status_document(7, 12, "1.0.7", True)),
            ("version as a string", (200, manifest('"12"')), status_document(7, 12, "1.2.0", True)),
            ("http URL", (200, manifest("13", "1.3.0", GOOD_URL.replace("https:", "http:"))),
             status_document(7, 7, "1.3.0", False)),
            ("another host", (200, manifest("13", "1.3.1", "https://example.org/descargas/a.zip")),
             status_document(7, 7, "1.3.1", False)),
            ("upper-case .ZIP", (200, manifest("14", "1.4.0", BASE + "/descargas/a.ZIP")),
             status_document(7, 7, "1.4.0", False)),
            ("URL only before windows",
             (200, '{"url":"' + GOOD_URL + '",' + manifest("15", "1.5.0", None)[1:]),
             status_document(7, 7, "1.5.0", False)),
            ("URL past byte 8191",
             (200, '{"windows":{"version":16,"versionName":"1.6.0","pad":"' + pad + '","url":"' +
              GOOD_URL + '"}}'), status_document(7, 7, "1.6.0", False)),
            ("body past the buffer", (200, manifest("17", "1.7.0") + " " * 20000),
             status_document(7, 17, "1.7.0", True)),
            (".zip with a query", (200, manifest("18", "1.8.0", GOOD_URL + "?v=18")),
             status_document(7, 18, "1.8.0", True)),
            ("name with a backslash and a control byte", (200, manifest("19", "x\\y\x01z")),
             b'{"current":7,"latest":19,"name":"x\\\\y\\u0001z","available":true,"checked":true}'),
        ]
        for what, (code, text), expected in cases:
            with self.subTest(what):
                _host.manifest(text, code)
                _host.taken()
                status, ctype, body = get_status()
                self.assertEqual(status, "HTTP/1.1 200 OK")
                self.assertEqual(ctype, "application/json; charset=utf-8")
                self.assertEqual(body, expected)
                json.loads(body)  # always a valid document for the page
                self.assertEqual(_host.taken(), [(MANIFEST_PATH, "Vesklar")])

    def test_every_method_but_post_gets_the_document(self):
        _host.manifest(manifest())
        expected = status_document(7, 12, "1.2.0", True)
        for method in (b"GET", b"HEAD", b"DELETE", b"PUT", b"patch"):
            with self.subTest(method=method):
                status, headers, body = split_answer(
                    request(method + b" /__update?x=1 HTTP/1.1\r\n\r\n", timeout=30))
                self.assertEqual(status, "HTTP/1.1 200 OK")
                self.assertEqual(body, expected)

    def test_concurrent_checks_each_get_a_whole_answer(self):
        _host.manifest(manifest())
        answers = []

        def one():
            answers.append(get_status())

        threads = [threading.Thread(target=one) for _ in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(60)
        self.assertEqual(answers, [("HTTP/1.1 200 OK", "application/json; charset=utf-8",
                                    status_document(7, 12, "1.2.0", True))] * 8)

    def test_post_without_update(self):
        for what, text in (("same", manifest("7", "1.0.7")), ("older", manifest("3")),
                           ("no manifest", None)):
            with self.subTest(what):
                if text is None:
                    _host.manifest("", 404)
                else:
                    _host.manifest(text)
                # Part of the body comes with the head, the rest later: it is
                # read and dropped before the answer.
                with harness.connect(30) as s:
                    s.sendall(b"post /__update HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc")
                    time.sleep(0.2)
                    s.sendall(b"defghij")
                    answer = harness.read_all(s)
                status, headers, body = split_answer(answer)
                self.assertEqual(status, "HTTP/1.1 200 OK")
                self.assertEqual(header(headers, "Content-Type"), "application/json")
                self.assertEqual(body, NOT_AVAILABLE)

    def test_post_with_failing_download_answers_500_and_keeps_serving(self):
        html = b"<!DOCTYPE html><html><body>" + b"x" * 2000000 + b"</body></html>"
        cases = [
            ("archive missing", "/descargas/missing.zip", None),
            ("archive answers 500", "/descargas/broken.zip", (500, b"PK" + b"\0" * 1000000)),
            ("999,999 bytes", "/descargas/small.zip?v=1", (200, zip_of_size(999999, {}))),
            ("an HTML page", "/descargas/page.zip", (200, html)),
            ("1,000,000 bytes without the signature", "/descargas/nosig.zip",
             (200, b"ZK" + b"\0" * 999998)),
            ("empty archive", "/descargas/empty.zip", (200, b"")),
        ]
        for what, path, answer in cases:
            with self.subTest(what):
                if answer:
                    _host.serve(path, answer[1], status=answer[0])
                _host.manifest(manifest(url=BASE + path))
                _host.taken()
                status, headers, body = split_answer(
                    request(b"POST /__update HTTP/1.1\r\nContent-Length: 0\r\n\r\n", timeout=60))
                self.assertEqual(status, "HTTP/1.1 500 Error")
                self.assertEqual(header(headers, "Content-Type"), "application/json")
                self.assertEqual(body, FAILED)
                self.assertEqual([p for p, _ in _host.taken()], [MANIFEST_PATH, path])
                self.assertFalse(os.path.exists(self.box.temp_file("vesklar-update.zip")))
                self.assertEqual([n for n in os.listdir(self.box.temp) if n.startswith("vesklar-update")],
                                 [])
                # Still serving.
                status, _, _ = split_answer(request(b"OPTIONS / HTTP/1.1\r\n\r\n"))
                self.assertEqual(status, "HTTP/1.1 204 No Content")
        self.assertIsNone(self.box.proc.poll())


class StartupOffer(unittest.TestCase):
    def setUp(self):
        self.box = UpdateSandbox()

    def tearDown(self):
        self.box.cleanup()

    def start(self):
        _host.taken()
        self.box.start()
        self.box.wait_ready()

    def test_newer_version_is_offered_and_declined(self):
        # Nobody can answer the box in a test: the question is declined and
        # start-up goes on to serve.
        for name, shown in (("1.2.0", "1.2.0"), (None, "?")):
            with self.subTest(name=name):
                _host.manifest(manifest(name=name))
                self.start()
                # The manifest came over TLS with the test authority trusted.
                self.assertEqual(_host.taken(), [(MANIFEST_PATH, "Vesklar")])
                if not is_wine():  # the box text reaches standard error
                    self.assertIn("Actualización: Hay una versión nueva de Vesklar (" + shown +
                                  ").\nSe descarga, se instala y se vuelve a abrir.",
                                  self.box.output_text())
                self.box.stop()

    def test_no_offer_unless_newer(self):
        for text in (manifest("7", "1.0.7"), manifest("6"), manifest("99", url=BASE + "/a.zip")):
            with self.subTest(text=text):
                _host.manifest(text)
                self.start()
                self.assertEqual(len(_host.taken()), 1)
                self.assertNotIn("Actualización", self.box.output_text())
                self.box.stop()

    def test_unreachable_host_delays_nothing_and_reports_current(self):
        _host.stop()
        try:
            began = time.monotonic()
            self.box.start()
            self.box.wait_ready()
            print(f"\n  ready {time.monotonic() - began:.2f} s after start without an update host",
                  end=" ")
            self.assertEqual(get_status(), ("HTTP/1.1 200 OK", "application/json; charset=utf-8",
                                            status_document(7, 7, "1.0.7", False, checked=False)))
            self.assertNotIn("Actualización", self.box.output_text())
        finally:
            _host.start()


    def test_silent_update_host_holds_start_up_for_the_receive_time_out_only(self):
        # A host that accepts and then says nothing, before TLS (only the
        # kernel's accept: nobody reads) or after the request. The start-up
        # check gives up after its 8-second time-out, not the 90 s (longer
        # under Wine) that WinHTTP waits for an answer head by default.
        def silent_listener():
            _host.stop()
            s = socket.socket()
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            s.bind(("127.0.0.1", update_host.PORT))
            s.listen(8)

            def restore():
                s.close()
                _host.start()
            return restore

        def silent_answer():
            _host.serve(MANIFEST_PATH, manifest().encode("latin-1"), content_type="application/json",
                        delay=60)

            def restore():
                with _host.lock:
                    _host.routes.clear()
            return restore

        for what, arrange in (("before TLS", silent_listener), ("after the request", silent_answer)):
            with self.subTest(what):
                restore = arrange()
                try:
                    began = time.monotonic()
                    self.box.start()
                    self.box.wait_ready(timeout=120)
                    elapsed = time.monotonic() - began
                    print(f"\n  {what}: ready {elapsed:.1f} s after start", end=" ")
                    self.assertGreaterEqual(elapsed, 7.5)
                    self.assertLess(elapsed, 25)
                    self.assertNotIn("Actualización", self.box.output_text())
                finally:
                    self.box.stop()
                    restore()


def post_update():
    return request(b"POST /__update HTTP/1.1\r\nContent-Length: 0\r\n\r\n", timeout=60)


def started_answer():
    return (b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
            str(len(STARTED)).encode() + b"\r\nCache-Control: no-cache\r\nConnection: close\r\n"
            b"Access-Control-Allow-Origin: *\r\n\r\n" + STARTED)


def processes_running(exe):
    """Ids of the processes whose program is `exe` (Linux)."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                if os.readlink(f"/proc/{entry}/exe") == exe:
                    found.append(int(entry))
            except OSError:
                pass
    return found


class SimultaneousHandoffs(unittest.TestCase):
    def setUp(self):
        self.box = UpdateSandbox()

    def tearDown(self):
        self.box.cleanup()

    def test_second_post_waits_for_the_first_hand_off(self):
        # The archive comes slowly, so the second POST arrives while the
        # first one is downloading. It must wait rather than fail on the
        # files the first one holds; the first one's hand-off then ends the
        # process before the second gets anywhere. (The archive is not a
        # real zip: no installer gets far with it.)
        archive = b"PK" + b"\0" * 999998
        _host.serve("/descargas/vesklar-12.zip", archive, delay=1.5)
        _host.manifest(manifest())
        self.box.start()
        self.box.wait_ready()
        answers = {}

        def post(key):
            try:
                answers[key] = post_update()
            except OSError as e:
                answers[key] = e

        first = threading.Thread(target=post, args=("first",))
        second = threading.Thread(target=post, args=("second",))
        first.start()
        time.sleep(0.5)
        second.start()
        first.join(60)
        second.join(60)
        self.assertEqual(answers["first"], started_answer())
        self.assertIn(answers["second"], (b"",), "the second hand-off must not answer")
        self.assertEqual(self.box.proc.wait(timeout=30), 0)
        with open(self.box.update_file("vesklar-update.zip"), "rb") as f:
            self.assertEqual(f.read(), archive)


@unittest.skipUnless(is_wine(), "the Windows installer runs under Windows PowerShell")
class HandoffOnWindows(unittest.TestCase):
    """Windows PowerShell is a stand-in that records its command line; a
    decoy powershell.exe beside the program, which the search order would
    find first, must never run."""

    def setUp(self):
        self.box = UpdateSandbox()
        self.powershell, restore = harness.replace_system_program(
            os.path.join("WindowsPowerShell", "v1.0", "powershell.exe"))
        self.addCleanup(restore)
        self.decoy = os.path.join(self.box.exe_dir, "powershell.exe")
        harness.install_fake_program(self.decoy)

    def tearDown(self):
        decoy_calls = harness.fake_program_calls(self.decoy)
        self.box.cleanup()
        self.assertEqual(decoy_calls, [], "the powershell.exe beside the program ran")

    def test_successful_post_writes_archive_and_script_and_ends(self):
        # The smallest archive accepted: 1,000,000 bytes that begin with PK.
        # The stand-in starts and does nothing, so what is checked is what
        # the program left for the installer and that it started it.
        archive = zip_of_size(1000000, {"version.txt": b"12\r\n1.2.0\r\n"})
        _host.serve("/descargas/vesklar-12.zip", archive)
        _host.manifest(manifest())
        self.box.start()
        self.box.wait_ready()
        self.assertEqual(post_update(), started_answer())
        self.assertEqual(self.box.proc.wait(timeout=30), 0)
        with open(self.box.temp_file("vesklar-update.zip"), "rb") as f:
            self.assertEqual(f.read(), archive)
        with open(self.box.temp_file("vesklar-update.ps1"), "rb") as f:
            script = f.read()
        self.assertEqual(len(script), 1206)
        self.assertEqual(hashlib.sha256(script).hexdigest(), EXPECTED_PS1_SHA256)
        self.assertEqual(script, EXPECTED_PS1)
        self.assertTrue(harness.port_is_free())
        # The first start made the desktop shortcut with PowerShell too; the
        # installer's call may be logged after the program ended.
        def installer_calls():
            return [c for c in harness.fake_program_calls(self.powershell) if " -File " in c]
        end = time.monotonic() + 20
        while not installer_calls() and time.monotonic() < end:
            time.sleep(0.1)
        [call] = installer_calls()
        self.assertTrue(call.startswith("powershell.exe -NoProfile -ExecutionPolicy Bypass -File "),
                        call)
        self.assertIn(windows_path(self.box.temp_file("vesklar-update.ps1")), call)


@unittest.skipIf(is_wine(), "the shell installer is the Linux build's")
class UpdateOnLinux(unittest.TestCase):
    def setUp(self):
        self.box = UpdateSandbox()

    def tearDown(self):
        # The restarted program is not our child: end it by the beacon, or
        # by its id.
        for pid in processes_running(self.box.exe):
            try:
                request(b"POST /__quit HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
            except OSError:
                pass
            end = time.monotonic() + 10
            while os.path.exists(f"/proc/{pid}") and time.monotonic() < end:
                time.sleep(0.05)
            if os.path.exists(f"/proc/{pid}"):
                os.kill(pid, 9)
        self.box.cleanup()

    def hand_off(self, archive):
        _host.serve("/descargas/vesklar-12.zip", archive)
        self.box.start()
        self.box.wait_ready()
        self.assertEqual(post_update(), started_answer())
        self.assertEqual(self.box.proc.wait(timeout=30), 0)
        self.assertIn("Vesklar: Actualización descargada.\nVesklar se cierra, se instala y se "
                      "vuelve a abrir sola.", self.box.output_text())

    def wait_for_version(self, number, timeout=30):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            try:
                status, _, body = get_status()
                if json.loads(body)["current"] == number:
                    return json.loads(body)
            except (OSError, ValueError, KeyError):
                pass
            time.sleep(0.1)
        self.fail(f"version {number} did not come up: {self.box.output_text()}")

    def test_whole_update_round_trip(self):
        with open(test_program(), "rb") as f:
            new_program = f.read() + b"\0vesklar-new-build"  # still runs, but differs
        page = b"<!DOCTYPE html><html><head></head><body>version 12</body></html>"
        out = io.BytesIO()
        with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
            info = zipfile.ZipInfo(program_name())
            info.external_attr = 0o755 << 16
            z.writestr(info, new_program)
            z.writestr("version.txt", b"12\n1.2.0\n")
            z.writestr("www/index.html", page)
        archive = out.getvalue()
        self.assertGreater(len(archive), 1000000)
        _host.manifest(manifest())
        self.hand_off(archive)

        # The new version answers, from the program folder, and finds
        # nothing newer.
        self.assertEqual(self.wait_for_version(12),
                         {"current": 12, "latest": 12, "name": "1.2.0", "available": False,
                          "checked": True})
        with open(self.box.exe, "rb") as f:
            self.assertEqual(f.read(), new_program)
        with open(os.path.join(self.box.exe_dir, "version.txt"), "rb") as f:
            self.assertEqual(f.read(), b"12\n1.2.0\n")
        _, _, body = split_answer(request(b"GET / HTTP/1.1\r\n\r\n"))
        self.assertIn(b"version 12", body)
        self.assertIn(b"version:12,versionName:'1.2.0'", body)
        [pid] = processes_running(self.box.exe)
        self.assertEqual(os.readlink(f"/proc/{pid}/cwd"), self.box.exe_dir)
        # The installer cleaned up after itself, its private folder too.
        self.assertEqual(self.box.update_folders(), [])

    def test_round_trip_from_a_folder_with_odd_characters_past_planted_files(self):
        # Every character a Linux folder name may hold that a shell or a
        # command line could take for something else.
        self.box.move_exe_dir("Tom's \"exe\" $HOME `id` \u00e9 \u4e2d")
        # Another account's traps at the names the update once used in the
        # shared temporary folder: none of them may be used or followed.
        victim = os.path.join(self.box.root, "victim")
        with open(victim, "wb") as f:
            f.write(b"victim")
        ran = os.path.join(self.box.root, "planted-script-ran")
        os.symlink(victim, self.box.temp_file("vesklar-update.zip"))
        with open(self.box.temp_file("vesklar-update.sh"), "w") as f:
            f.write(f"#!/bin/sh\ntouch '{ran}'\n")
        planted_stage = os.path.join(self.box.root, "planted-stage")
        os.makedirs(planted_stage)
        os.symlink(planted_stage, self.box.temp_file("vesklar-upd-stage"))
        _host.manifest(manifest("13", "1.3.0"))
        self.hand_off(zip_of_size(1000000, {"version.txt": b"13\r\n1.3.0\r\n"}))
        self.assertEqual(self.wait_for_version(13)["current"], 13)
        [pid] = processes_running(self.box.exe)
        self.assertEqual(os.readlink(f"/proc/{pid}/cwd"), self.box.exe_dir)
        self.assertTrue(os.path.exists(os.path.join(self.box.exe_dir, "pad.bin")))
        with open(victim, "rb") as f:
            self.assertEqual(f.read(), b"victim")
        self.assertFalse(os.path.exists(ran))
        self.assertEqual(os.listdir(planted_stage), [])
        self.assertEqual(sorted(os.listdir(self.box.temp)),
                         ["vesklar-upd-stage", "vesklar-update.sh", "vesklar-update.zip"])

    def test_smallest_archive_without_unzip(self):
        # Exactly 1,000,000 bytes, unpacked by python3 -m zipfile because
        # unzip is not on the PATH; the old program restarts and reads the
        # new version.txt.
        tools = os.path.join(self.box.root, "bin")
        os.makedirs(tools)
        for tool in ("sleep", "rm", "mkdir", "cp", "chmod"):
            os.symlink(shutil.which(tool), os.path.join(tools, tool))
        os.symlink(sys.executable, os.path.join(tools, "python3"))
        self.box.overrides["PATH"] = tools
        _host.manifest(manifest("13", "1.3.0"))
        self.hand_off(zip_of_size(1000000, {"version.txt": b"13\r\n1.3.0\r\n"}))
        self.assertEqual(self.wait_for_version(13)["current"], 13)
        self.assertTrue(os.path.exists(os.path.join(self.box.exe_dir, "pad.bin")))

    def test_copy_that_keeps_failing_gives_up_after_20_attempts(self):
        # A folder in the archive where the program folder has a file: every
        # copy fails, the installer reports it and does not restart anything.
        _host.manifest(manifest())
        self.hand_off(zip_of_size(1000000, {"version.txt/blocked": b"x"}))
        ended = time.monotonic()
        end = ended + 40
        while "Vesklar: cp:" not in self.box.output_text() and time.monotonic() < end:
            time.sleep(0.1)
        took = time.monotonic() - ended
        self.assertIn("Vesklar: cp:", self.box.output_text())
        # One second of grace, then 20 attempts with 19 pauses of 0.5 s.
        self.assertGreater(took, 1 + 19 * 0.5 - 0.5)
        time.sleep(1)
        self.assertTrue(harness.port_is_free())
        self.assertEqual(processes_running(self.box.exe), [])
        self.assertTrue(os.path.exists(self.box.update_file("vesklar-update.zip")))
        self.assertTrue(os.path.isdir(self.box.update_file("stage")))
        with open(os.path.join(self.box.exe_dir, "version.txt"), "rb") as f:
            self.assertEqual(f.read(), b"7\r\n1.0.7\r\n")


class SignedUpdates(unittest.TestCase):
    """The copy built with the test key installs only archives whose
    manifest signature verifies; anything else leaves nothing behind."""

    def setUp(self):
        if not os.path.exists(signed_program()):
            raise AssertionError(f"the signed test copy is missing: {signed_program()}")
        self.box = UpdateSandbox(program=signed_program())
        if is_wine():
            self.powershell, restore = harness.replace_system_program(
                os.path.join("WindowsPowerShell", "v1.0", "powershell.exe"))
            self.addCleanup(restore)
        self.archive = zip_of_size(1000000, {"version.txt": b"13\r\n1.3.0\r\n"})
        _host.serve("/descargas/vesklar-12.zip", self.archive)

    tearDown = UpdateOnLinux.tearDown

    def manifest(self, signature):
        entry = manifest("13", "1.3.0")
        if signature is None:
            return entry
        return entry[:-2] + f',"signature":"{signature}"}}}}'

    def test_signed_archive_is_installed(self):
        _host.manifest(self.manifest(signature_of(self.archive)))
        if not is_wine():
            UpdateOnLinux.hand_off(self, self.archive)
            self.assertEqual(UpdateOnLinux.wait_for_version(self, 13)["current"], 13)
            return
        self.box.start()
        self.box.wait_ready()
        self.assertEqual(post_update(), started_answer())
        self.assertEqual(self.box.proc.wait(timeout=30), 0)
        with open(self.box.temp_file("vesklar-update.zip"), "rb") as f:
            self.assertEqual(f.read(), self.archive)
        with open(self.box.temp_file("vesklar-update.ps1"), "rb") as f:
            self.assertEqual(f.read(), EXPECTED_PS1)

    def test_refused_updates_leave_nothing(self):
        other = zip_of_size(1000000, {"version.txt": b"14\r\n1.4.0\r\n"})
        good = signature_of(self.archive)
        cases = [
            # (what, signature in the manifest, POST answer, paths asked for)
            ("no signature: no update", None, None, [MANIFEST_PATH]),
            ("another archive's signature", signature_of(other), FAILED,
             [MANIFEST_PATH, "/descargas/vesklar-12.zip"]),
            ("signature with a flipped bit", good[:10] + ("A" if good[10] != "A" else "B") + good[11:],
             FAILED, [MANIFEST_PATH, "/descargas/vesklar-12.zip"]),
        ]
        self.box.start()
        self.box.wait_ready()
        for what, signature, answer, paths in cases:
            with self.subTest(what):
                _host.manifest(self.manifest(signature))
                before = sorted(os.listdir(self.box.temp))
                _host.taken()
                status, headers, body = split_answer(post_update())
                if answer is None:
                    self.assertEqual((status, body), ("HTTP/1.1 200 OK", NOT_AVAILABLE))
                    self.assertEqual(get_status()[2], status_document(7, 7, "1.3.0", False))
                    paths = paths * 2
                else:
                    self.assertEqual((status, body), ("HTTP/1.1 500 Error", answer))
                self.assertEqual([p for p, _ in _host.taken()], paths)
                self.assertEqual(sorted(os.listdir(self.box.temp)), before)
        self.assertIsNone(self.box.proc.poll())
