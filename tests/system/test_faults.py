"""Faults from outside the program, against the real thing: a disk that fills
up while an upload or a save writes, and the program killed outright while
uploads are in flight. Whatever happens, a stored item, its ".mime" side file
and an earlier export stay exactly as they were, no partial or staging file
is left behind by a failed write, and the store works again afterwards.

A full disk comes from one of two places, and each test says which it used:
- a tmpfs of a few MiB holding the data and home folders, where this process
  may mount one (root in a container that allows it); filled up from here;
- RLIMIT_FSIZE set on the running program alone, everywhere: a write past the
  limit fails with EFBIG (SIGXFSZ is ignored from the start, so the write
  returns instead of ending the process). Only the program gets the limit:
  under Wine the shared wineserver, which saves the prefix's registry, must
  never see it."""

import errno
import os
import resource
import shutil
import signal
import socket
import subprocess
import sys
import threading
import unittest

from harness import Sandbox, connect, is_wine, read_all, request
from test_media import DISK, LENGTH, NOT_FOUND, OK, STORED, read_bytes, simple, upload_request, wait_until, whole

TMPFS_BYTES = 4 << 20
TMPFS_INODES = 512
ROOM_LEFT = 256 << 10        # free bytes left on the tmpfs when it is "full"
FILE_SIZE_LIMIT = 256 << 10  # RLIMIT_FSIZE while the fault is on
FAULT_BODY = 1 << 20         # more than either of the two allows
WHOLE_UPLOAD = 50 << 20      # sent in full before the answer is read
RECOVERY_BODY = 600 << 10    # four of these fit on the emptied tmpfs

EARLIER_ITEM = os.urandom(100 << 10)
EARLIER_EXPORT = os.urandom(90 << 10)

# The requests that meet the fault. After it they are sent again and must
# succeed; `stored_as` is where that body lands (under the media folder, or
# under Downloads for a save).
FAULT_REQUESTS = [
    # label, request line without " HTTP/1.1", stored_as, recorded type
    ("upload replacing an earlier item", b"POST /__media?project=flt&id=v&mime=x%2Fnew",
     ("media", "flt", "v"), b"x/new"),
    ("upload of a new item", b"POST /__media?project=flt&id=fresh&mime=x%2Fnew",
     ("media", "flt", "fresh"), b"x/new"),
    ("save beside an earlier export", b"POST /__save?name=clip.mp4", ("downloads", "clip-2.mp4"), None),
    ("save under a new name", b"POST /__save?name=fresh.bin", ("downloads", "fresh.bin"), None),
]


def say(text):
    print(f"\n  {text}", file=sys.stderr, end="")


def ignore_sigxfsz():
    # Inherited through exec by the program (and by Wine's processes).
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)


def parent_pid(pid):
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            # The field after the parenthesised name, past the state.
            return int(f.read().rsplit(b")", 1)[1].split()[1])
    except (OSError, IndexError, ValueError):
        return None


def program_pid(box):
    """The process that runs the program: natively the one started; under
    Wine the Unix process whose command line starts with the program's
    Windows path (cmd.exe, its parent, names it further on)."""
    if not is_wine():
        return box.proc.pid
    exe = box.exe.replace("/", "\\").lower()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace").lower()
        except OSError:
            continue
        if argv0.endswith(exe):
            found.append(int(entry))
    # A child the program is starting at this moment (the app window, the
    # shortcut's helper) carries the program's command line from its fork
    # until its exec: leave out a process whose parent is in the list.
    found = [pid for pid in found if parent_pid(pid) not in found]
    if len(found) != 1:
        raise AssertionError(f"expected one process running {box.exe}, found {found}")
    return found[0]


def snapshot(*roots):
    """Every file below the roots with its bytes, keyed by its path."""
    files = {}
    for root in roots:
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                files[path] = read_bytes(path)
    return files


def send_while_reading(head, body_bytes, timeout=60):
    """Sends `head` and then `body_bytes` bytes of body while reading the
    answer; returns every byte of the answer. A server that gives up stops
    reading, so the sending side may see the connection reset."""
    with connect(timeout) as s:
        def pump():
            try:
                s.sendall(head)
                piece = b"w" * 65536
                left = body_bytes
                while left > 0:
                    s.sendall(piece[:left])
                    left -= min(left, len(piece))
            except OSError:
                pass

        sender = threading.Thread(target=pump)
        sender.start()
        try:
            return read_all(s)
        finally:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sender.join()


def send_then_read(head, body_bytes, timeout=120):
    """As a browser uploads: every byte of the body first, and only then the
    answer. A send that meets a reset raises."""
    with connect(timeout) as s:
        s.sendall(head)
        piece = b"u" * (1 << 20)
        for start in range(0, body_bytes, len(piece)):
            s.sendall(piece[:body_bytes - start])
        return read_all(s)


def send_body(request_line, length, sent, timeout=60):
    """A request declaring a body of `length` bytes, of which `sent` go out."""
    return send_while_reading(request_line + b" HTTP/1.1\r\nHost: 127.0.0.1:17865\r\nContent-Length: " +
                              str(length).encode() + b"\r\n\r\n", sent, timeout)


class FaultBox(Sandbox):
    """A sandbox whose program starts with SIGXFSZ ignored, and whose data and
    home folders may lie on a small file system of their own."""

    def start(self, extra_env=None, **kw):
        self.proc = subprocess.Popen(self.command(extra_env=extra_env, **kw),
                                     env=self.env(extra_env), cwd=self.root,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, preexec_fn=ignore_sigxfsz)
        return self.proc

    def quit(self, test):
        """Ends the program with the quit beacon and checks that it ended
        well: code 0, so a sanitizer found nothing, leaks at exit included."""
        request(b"POST /__quit HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
        _, err = self.proc.communicate(timeout=60)
        code = self.proc.returncode
        self.stop()
        test.assertEqual(code, 0, err.decode("utf-8", "replace"))

    def move_folders_to(self, folder):
        self.data = os.path.join(folder, "data")
        self.home = os.path.join(folder, "home")
        os.makedirs(self.data)
        os.makedirs(self.home)

    @property
    def media(self):
        return os.path.join(self.data, "Vesklar", "media")

    @property
    def downloads(self):
        return os.path.join(self.home, "Downloads")

    def stored_path(self, stored_as):
        base = self.media if stored_as[0] == "media" else self.downloads
        return os.path.join(base, *stored_as[1:])


def mount_tmpfs(where):
    """Mounts a small tmpfs at `where`; None when it worked, else the reason."""
    try:
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={TMPFS_BYTES},nr_inodes={TMPFS_INODES},mode=0755",
                               "tmpfs", where], capture_output=True, text=True, timeout=30)
    except (OSError, subprocess.SubprocessError) as e:
        return str(e)
    if done.returncode != 0:
        return (done.stderr or done.stdout).strip() or f"mount ended with {done.returncode}"
    with open("/proc/self/mounts") as f:
        real = os.path.realpath(where)
        if not any(line.split()[1] == real and line.split()[0] == "tmpfs" for line in f):
            subprocess.run(["umount", where], capture_output=True)
            return "mount reported success but no tmpfs is mounted there"
    return None


def unmount(where):
    if subprocess.run(["umount", where], capture_output=True).returncode != 0:
        # Something still holds it: detach it anyway, so no mount outlives the test.
        subprocess.run(["umount", "-l", where], capture_output=True)


class Tmpfs:
    """The data and home folders on a tmpfs of TMPFS_BYTES that this test
    fills up: the program's writes then fail with ENOSPC."""

    def __init__(self, test, box, instead):
        self.where = os.path.join(box.root, "small")
        os.makedirs(self.where)
        reason = mount_tmpfs(self.where)
        if reason is not None:
            test.skipTest(f"no tmpfs can be mounted here ({reason}); {instead}")
        test.addCleanup(unmount, self.where)
        box.move_folders_to(self.where)
        self.fillers = os.path.join(self.where, "fillers")
        os.makedirs(self.fillers)
        say(f"disk full by: tmpfs of {TMPFS_BYTES >> 20} MiB mounted at {self.where}")

    def free_bytes(self):
        st = os.statvfs(self.where)
        return st.f_bavail * st.f_frsize

    def fill_space(self, box):
        with open(os.path.join(self.fillers, "space"), "wb") as f:
            f.write(b"\0" * (self.free_bytes() - ROOM_LEFT))
        if not ROOM_LEFT // 2 < self.free_bytes() <= ROOM_LEFT:
            raise AssertionError(f"the tmpfs was to keep {ROOM_LEFT} bytes free, has {self.free_bytes()}")

    def fill_inodes(self):
        n = 0
        while True:
            try:
                open(os.path.join(self.fillers, f"inode{n}"), "wb").close()
            except OSError as e:
                if e.errno != errno.ENOSPC:
                    raise
                return
            n += 1

    def clear(self, box):
        shutil.rmtree(self.fillers)
        os.makedirs(self.fillers)


class FileSizeLimit:
    """RLIMIT_FSIZE on the running program: a write past FILE_SIZE_LIMIT
    bytes of a file fails with EFBIG."""

    def __init__(self, test, box, instead):
        self.pid = None

    def fill_space(self, box):
        self.pid = program_pid(box)
        _, hard = resource.prlimit(self.pid, resource.RLIMIT_FSIZE)
        self.before = resource.prlimit(self.pid, resource.RLIMIT_FSIZE, (FILE_SIZE_LIMIT, hard))
        say(f"disk full by: RLIMIT_FSIZE of {FILE_SIZE_LIMIT >> 10} KiB on pid {self.pid}")

    def clear(self, box):
        resource.prlimit(self.pid, resource.RLIMIT_FSIZE, self.before)


class DiskFull(unittest.TestCase):
    def run_program(self, mechanism_type, instead=""):
        box = FaultBox()
        self.addCleanup(box.cleanup)                     # runs last: the folders go
        mechanism = mechanism_type(self, box, instead)   # may mount (unmounted before that)
        self.addCleanup(box.stop)                        # runs first: nothing holds the mount
        box.start()
        box.wait_ready()
        return box, mechanism

    def store_earlier_files(self, box):
        self.assertEqual(request(upload_request(b"project=flt&id=v&mime=video%2Fmp4", EARLIER_ITEM)), STORED)
        self.assertEqual(request(b"POST /__save?name=clip.mp4 HTTP/1.1\r\nContent-Length: " +
                                 str(len(EARLIER_EXPORT)).encode() + b"\r\n\r\n" + EARLIER_EXPORT), STORED)
        before = snapshot(box.media, box.downloads)
        self.assertEqual(before[os.path.join(box.media, "flt", "v")], EARLIER_ITEM)
        self.assertEqual(before[os.path.join(box.media, "flt", "v.mime")], b"video/mp4")
        self.assertEqual(before[os.path.join(box.downloads, "clip.mp4")], EARLIER_EXPORT)
        return before

    def assert_requests_meet_the_fault(self, box, before, answer, sent):
        for label, line, _, _ in FAULT_REQUESTS:
            with self.subTest(label):
                self.assertEqual(send_body(line, FAULT_BODY, sent), answer)
                # Nothing new, nothing changed: no partial file, no staging
                # file, the earlier item, its type and the earlier export whole.
                self.assertTrue(wait_until(lambda: snapshot(box.media, box.downloads) == before, timeout=10),
                                sorted(set(snapshot(box.media, box.downloads)) ^ set(before)))

    def assert_store_works_again(self, box):
        body = os.urandom(RECOVERY_BODY)
        for label, line, stored_as, mime in FAULT_REQUESTS:
            with self.subTest(label, after_the_fault=True):
                self.assertEqual(request(line + b" HTTP/1.1\r\nContent-Length: " + str(len(body)).encode() +
                                         b"\r\n\r\n" + body, timeout=60), STORED)
                path = box.stored_path(stored_as)
                self.assertEqual(read_bytes(path), body)
                if mime is not None:
                    self.assertEqual(read_bytes(path + ".mime"), mime)
                    self.assertFalse(os.path.exists(path + ".tmp"))
        self.assertEqual(read_bytes(os.path.join(box.downloads, "clip.mp4")), EARLIER_EXPORT)
        self.assertEqual(sorted(os.listdir(os.path.join(box.media, "flt"))), ["fresh", "fresh.mime", "v", "v.mime"])

    def run_writes_that_find_the_disk_full(self, mechanism_type, instead=""):
        box, mechanism = self.run_program(mechanism_type, instead)
        before = self.store_earlier_files(box)
        mechanism.fill_space(box)
        try:
            # A write that fails breaks the body off: no answer at all.
            self.assert_requests_meet_the_fault(box, before, b"", sent=FAULT_BODY)
        finally:
            mechanism.clear(box)
        self.assert_store_works_again(box)
        box.quit(self)

    def test_full_tmpfs(self):
        self.run_writes_that_find_the_disk_full(Tmpfs, "test_file_size_limit covers a full disk alone")

    def test_file_size_limit(self):
        self.run_writes_that_find_the_disk_full(FileSizeLimit)

    def test_no_room_for_a_new_file(self):
        # Only a file system can run out of files; the staging file or the
        # export cannot be created, which is answered "disk" at once, without
        # waiting for the body: none of it is sent here (a body still coming
        # is the next test's case).
        box, disk = self.run_program(Tmpfs, "a file that cannot be created is not covered")
        before = self.store_earlier_files(box)
        disk.fill_inodes()
        try:
            self.assert_requests_meet_the_fault(box, before, DISK, sent=0)
        finally:
            disk.clear(box)
        self.assert_store_works_again(box)
        box.quit(self)

    def test_a_whole_upload_to_a_full_disk_reads_the_answer(self):
        # The answer "disk" goes out before the body is read. The client
        # sends all 50 MB and reads only then: the program must take them in
        # rather than reset the connection, which would lose the answer.
        box, disk = self.run_program(Tmpfs, "a file that cannot be created is not covered")
        disk.fill_inodes()
        try:
            self.assertEqual(send_then_read(b"POST /__media?project=flt&id=big HTTP/1.1\r\n"
                                            b"Host: 127.0.0.1:17865\r\nContent-Length: " +
                                            str(WHOLE_UPLOAD).encode() + b"\r\n\r\n", WHOLE_UPLOAD), DISK)
        finally:
            disk.clear(box)
        box.quit(self)

    def test_a_type_that_cannot_be_written_keeps_the_earlier_item(self):
        # The item fits under the limit, its long type does not: the type is
        # staged before the body is read, so the upload is refused with
        # "disk" and the earlier item keeps its bytes and its type, rather
        # than new bytes under the earlier type or a type cut where the disk
        # ran out.
        box, _ = self.run_program(FileSizeLimit)
        self.assertEqual(request(upload_request(b"project=flt&id=t&mime=video%2Fmp4", b"earlier")), STORED)
        pid = program_pid(box)
        _, hard = resource.prlimit(pid, resource.RLIMIT_FSIZE)
        before = resource.prlimit(pid, resource.RLIMIT_FSIZE, (16, hard))
        try:
            answer = request(upload_request(b"project=flt&id=t&mime=application%2Fvnd.example-long-type%2Bjson",
                                            b"new bytes"))
        finally:
            resource.prlimit(pid, resource.RLIMIT_FSIZE, before)
        self.assertEqual(answer, DISK)
        item = os.path.join(box.media, "flt", "t")
        self.assertEqual(read_bytes(item), b"earlier")
        self.assertEqual(read_bytes(item + ".mime"), b"video/mp4")
        self.assertEqual(sorted(os.listdir(os.path.join(box.media, "flt"))), ["t", "t.mime"])
        box.quit(self)


class AnswersBeforeTheBody(unittest.TestCase):
    """Answers given without reading the body, to a client that reads while
    it sends: every byte of the answer arrives, whatever the program does
    with the rest of the body."""

    @classmethod
    def setUpClass(cls):
        cls.box = Sandbox()
        cls.box.start()
        cls.box.wait_ready()

    @classmethod
    def tearDownClass(cls):
        cls.box.cleanup()

    def test_whole_answer_arrives_while_the_body_is_still_coming(self):
        cases = [
            ("no length", b"POST /__media?project=a&id=b HTTP/1.1\r\n\r\n", LENGTH),
            ("foreign origin", b"POST /__save?name=x.bin HTTP/1.1\r\nOrigin: http://evil.example\r\n"
                               b"Content-Length: 1048576\r\n\r\n", simple(b"403 Forbidden", b"origin")),
        ]
        for label, head, answer in cases:
            for attempt in range(10):
                with self.subTest(label, attempt=attempt):
                    self.assertEqual(send_while_reading(head, 16 * 65536), answer)
        self.assertFalse(os.path.exists(os.path.join(self.box.home, "Downloads", "x.bin")))


class KilledDuringUploads(unittest.TestCase):
    """SIGKILL while uploads are in flight leaves their staging files behind;
    the next start and the next uploads must cope with them."""

    # label, project, id, earlier body or None, what follows the restart
    IN_FLIGHT = [
        ("replacing an earlier item", b"kill", b"v", b"earlier bytes", "upload"),
        ("a new item", b"kill", b"fresh", None, "upload"),
        ("an item whose project is then removed", b"gone", b"x", b"gone bytes", "delete"),
    ]

    def test_kill_during_uploads(self):
        box = FaultBox()
        self.addCleanup(box.cleanup)
        box.start()
        box.wait_ready()
        media = box.media

        def item(project, media_id):
            return os.path.join(media, project.decode(), media_id.decode())

        for _, project, media_id, earlier, _ in self.IN_FLIGHT:
            if earlier is not None:
                self.assertEqual(request(upload_request(b"project=" + project + b"&id=" + media_id +
                                                        b"&mime=video%2Fmp4", earlier)), STORED)
        # Each upload announces far more than it sends; the program is killed
        # while every staging file holds part of a body.
        sockets = []
        try:
            for _, project, media_id, _, _ in self.IN_FLIGHT:
                s = connect(timeout=60)
                sockets.append(s)
                s.sendall(b"POST /__media?project=" + project + b"&id=" + media_id + b"&mime=x%2Fhalf HTTP/1.1\r\n"
                          b"Content-Length: " + str(64 << 20).encode() + b"\r\n\r\n" + b"h" * (2 << 20))
            for _, project, media_id, _, _ in self.IN_FLIGHT:
                staging = item(project, media_id) + ".tmp"
                self.assertTrue(wait_until(lambda: os.path.exists(staging) and
                                           os.path.getsize(staging) >= 1 << 20, timeout=60), staging)
            pid = program_pid(box)
            os.kill(pid, signal.SIGKILL)
            say(f"killed pid {pid} with SIGKILL")
            try:
                # Under Wine, cmd.exe ends once the wineserver has seen the
                # program die; that also frees the instance mutex. The shared
                # wineserver and Wine's services stay for the tests after this.
                box.proc.wait(timeout=60)
            except subprocess.TimeoutExpired:
                box.proc.kill()
                subprocess.run(["wineserver", "-k"], env=box.env(), check=False)
                box.proc.wait(timeout=60)
                say("the wine process did not end by itself: killed it, then wineserver -k")
        finally:
            for s in sockets:
                s.close()
        box.stop()
        for _, project, media_id, _, _ in self.IN_FLIGHT:
            # The kill came in the middle of the writes: each left its
            # staging file with part of a body in it.
            self.assertGreater(os.path.getsize(item(project, media_id) + ".tmp"), 0)

        box.start()
        box.wait_ready()
        left = [label for label, project, media_id, _, _ in self.IN_FLIGHT
                if os.path.exists(item(project, media_id) + ".tmp")]
        say(f"staging files still there after the restart: {len(left)} of {len(self.IN_FLIGHT)}")
        for label, project, media_id, earlier, then in self.IN_FLIGHT:
            with self.subTest(label):
                path = item(project, media_id)
                play = b"GET /__media/" + project + b"/" + media_id + b" HTTP/1.1\r\n\r\n"
                if earlier is None:
                    self.assertFalse(os.path.exists(path))
                    self.assertEqual(request(play), NOT_FOUND)
                else:
                    self.assertEqual(read_bytes(path), earlier)
                    self.assertEqual(read_bytes(path + ".mime"), b"video/mp4")
                    self.assertEqual(request(play), whole(earlier, b"video/mp4"))
                # A staging file is never served as an item: its name maps
                # to another safe name.
                self.assertEqual(request(b"GET /__media/" + project + b"/" + media_id + b".tmp HTTP/1.1\r\n\r\n"),
                                 NOT_FOUND)
                if then == "upload":
                    body = os.urandom(300000)
                    self.assertEqual(request(upload_request(b"project=" + project + b"&id=" + media_id +
                                                            b"&mime=x%2Fnext", body), timeout=60), STORED)
                    self.assertEqual(read_bytes(path), body)
                    self.assertEqual(read_bytes(path + ".mime"), b"x/next")
                    self.assertEqual(request(play), whole(body, b"x/next"))
                else:
                    self.assertEqual(request(b"DELETE /__media/" + project + b" HTTP/1.1\r\n\r\n"), OK)
                    self.assertFalse(os.path.exists(os.path.join(media, project.decode())))
        self.assertEqual(sorted(os.listdir(os.path.join(media, "kill"))), ["fresh", "fresh.mime", "v", "v.mime"])
        box.quit(self)


class KilledDuringSave(unittest.TestCase):
    """SIGKILL in the middle of a 50 MB save: nothing under an export name
    holds part of the body, and the part file is gone after the restart."""

    DECLARED = 50 << 20
    SENT = 20 << 20

    def test_kill_during_save(self):
        box = FaultBox()
        self.addCleanup(box.cleanup)
        box.start()
        box.wait_ready()
        downloads = box.downloads
        self.assertEqual(request(b"POST /__save?name=clip.mp4 HTTP/1.1\r\nContent-Length: " +
                                 str(len(EARLIER_EXPORT)).encode() + b"\r\n\r\n" + EARLIER_EXPORT), STORED)
        part = os.path.join(downloads, "clip-2.mp4.vesklar-part")
        with connect(timeout=60) as s:
            s.sendall(b"POST /__save?name=clip.mp4 HTTP/1.1\r\nContent-Length: " + str(self.DECLARED).encode() +
                      b"\r\n\r\n" + b"p" * self.SENT)
            self.assertTrue(wait_until(lambda: os.path.exists(part) and os.path.getsize(part) >= 8 << 20,
                                       timeout=60))
            pid = program_pid(box)
            os.kill(pid, signal.SIGKILL)
            say(f"killed pid {pid} with SIGKILL")
            box.proc.wait(timeout=60)
        box.stop()
        # Only the earlier export and the part file; the export's own name
        # was never taken by the partial body.
        self.assertEqual(sorted(os.listdir(downloads)), ["clip-2.mp4.vesklar-part", "clip.mp4"])
        self.assertLess(os.path.getsize(part), self.DECLARED)

        box.start()
        box.wait_ready()
        self.assertEqual(os.listdir(downloads), ["clip.mp4"])
        self.assertEqual(read_bytes(os.path.join(downloads, "clip.mp4")), EARLIER_EXPORT)
        body = os.urandom(RECOVERY_BODY)
        self.assertEqual(request(b"POST /__save?name=clip.mp4 HTTP/1.1\r\nContent-Length: " +
                                 str(len(body)).encode() + b"\r\n\r\n" + body, timeout=60), STORED)
        self.assertEqual(sorted(os.listdir(downloads)), ["clip-2.mp4", "clip.mp4"])
        self.assertEqual(read_bytes(os.path.join(downloads, "clip-2.mp4")), body)
        box.quit(self)


if __name__ == "__main__":
    unittest.main()
