"""The media store and the save to Downloads, over raw HTTP against the real
program, checked on disk byte for byte: the item, its ".mime" side file, and
no staging file left behind."""

import hashlib
import os
import socket
import struct
import sys
import threading
import time
import unittest
import urllib.parse

from harness import Sandbox, connect, is_wine, read_all, request, split_answer


def simple(status, body=b"", ctype=b"text/plain"):
    return (b"HTTP/1.1 " + status + b"\r\nContent-Type: " + ctype +
            b"\r\nContent-Length: " + str(len(body)).encode() +
            b"\r\nCache-Control: no-cache\r\nConnection: close\r\n"
            b"Access-Control-Allow-Origin: *\r\n\r\n" + body)


STORED = simple(b"200 OK", b"ok", b"text/plain; charset=utf-8")
OK = simple(b"200 OK", b"ok")
BAD_ID = simple(b"400 Bad Request", b"bad-id")
BAD = simple(b"400 Bad Request", b"bad")
NOT_FOUND = simple(b"404 Not Found", b"Not Found")
MISSING = simple(b"404 Not Found", b"missing")
LENGTH = simple(b"411 Length Required", b"length")
DISK = simple(b"500 Error", b"disk")
MOVE = simple(b"500 Error", b"move")


def whole(body, ctype=b"application/octet-stream"):
    return (b"HTTP/1.1 200 OK\r\nContent-Type: " + ctype + b"\r\nContent-Length: " +
            str(len(body)).encode() + b"\r\nAccept-Ranges: bytes\r\nCache-Control: no-cache\r\n"
            b"Connection: close\r\nAccess-Control-Allow-Origin: *\r\n\r\n" + body)


def upload_request(query, body, extra_headers=b""):
    return (b"POST /__media?" + query + b" HTTP/1.1\r\nHost: 127.0.0.1:17865\r\n" + extra_headers +
            b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)


def wait_until(condition, timeout=20):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.02)
    return condition()


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def files_below(root):
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


class SlowReader:
    """A GET whose body the client does not read: the server blocks in its
    send with the item held open, until `finish` reads the rest."""

    def __init__(self, path):
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
        self.sock.settimeout(60)
        self.sock.connect(("127.0.0.1", 17865))
        self.sock.sendall(b"GET " + path + b" HTTP/1.1\r\n\r\n")
        self.first = self.sock.recv(4096)  # the header has gone out: the item is open

    def finish(self):
        rest = read_all(self.sock)
        self.sock.close()
        return split_answer(self.first + rest)


class MediaStore(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.box = Sandbox()
        cls.box.start()
        cls.box.wait_ready()
        cls.media = os.path.join(cls.box.data, "Vesklar", "media")
        cls.downloads = os.path.join(cls.box.home, "Downloads")

    @classmethod
    def tearDownClass(cls):
        cls.box.cleanup()

    def item(self, project, media_id):
        return os.path.join(self.media, project, media_id)

    def assert_item(self, project, media_id, body, mime):
        path = self.item(project, media_id)
        self.assertEqual(read_bytes(path), body, path)
        self.assertEqual(read_bytes(path + ".mime"), mime, path)
        self.assertFalse(os.path.exists(path + ".tmp"), path)

    def upload(self, query, body, extra_headers=b""):
        return request(upload_request(query, body, extra_headers), timeout=60)

    # -- names ---------------------------------------------------------------

    def test_identifiers_become_safe_names_inside_the_media_folder(self):
        before = files_below(self.box.root)
        long81 = b"L" * 80 + b"M"
        long128 = b"N" * 80 + b"O" * 48
        cases = [
            # raw query value of "id" (project "names"), stored name or None for bad-id
            (b"..", "__"),
            (b"%2E%2E", "__"),
            (b"../../../x", "_________x"),
            (b"/", "_"),
            (b"\\", "_"),
            (b"%5C..%5C..", "______"),
            (b"%2F", "_"),
            (b"%00", None),
            (b"%00abc", None),
            (b"", None),
            (b"\xc3\xa9t\xc3\xa9", "__t__"),
            (b"%C3%A9", "__"),
            (b"\xff\x80", "__"),
            (b"C:", "C_"),
            (long81, "L" * 80),
            (long128, "N" * 80),
        ]
        expected_files = set()
        for raw, safe in cases:
            with self.subTest(raw=raw):
                body = b"body of " + raw
                answer = self.upload(b"project=names&id=" + raw + b"&mime=m", body)
                if safe is None:
                    self.assertEqual(answer, BAD_ID)
                    continue
                self.assertEqual(answer, STORED)
                self.assert_item("names", safe, body, b"m")
                expected_files |= {os.path.join("data", "Vesklar", "media", "names", safe + suffix)
                                   for suffix in ("", ".mime")}
        # Projects the same way, and nothing ever lands outside the store.
        for raw, safe in [(b"..", "__"), (b"%2F..%2F..", "______"), (b"\\..", "___")]:
            with self.subTest(project=raw):
                self.assertEqual(self.upload(b"project=" + raw + b"&id=x", b"p"), STORED)
                self.assert_item(safe, "x", b"p", b"application/octet-stream")
                expected_files |= {os.path.join("data", "Vesklar", "media", safe, "x" + suffix)
                                   for suffix in ("", ".mime")}
        self.assertEqual(self.upload(b"project=%00&id=x", b"p"), BAD_ID)
        new = {f for f in files_below(self.box.root) - before if not f.startswith(os.path.join("data", "Vesklar", "profile"))}
        self.assertEqual(new - expected_files, set())

    def test_device_named_ids_are_ordinary_items(self):
        # Windows would open NUL, COM1 and CON as devices: the store names
        # them "_NUL", "_COM1" and "_CON", on every system alike.
        body = b"not for a device" * 1000
        self.assertEqual(self.upload(b"project=CON&id=NUL&mime=video/mp4", body), STORED)
        self.assert_item("_CON", "_NUL", body, b"video/mp4")
        self.assertEqual(request(b"GET /__media/CON/NUL HTTP/1.1\r\n\r\n"), whole(body, b"video/mp4"))
        self.assertEqual(request(b"POST /__media-copy?fromProject=CON&fromId=NUL&toProject=CON&toId=COM1 HTTP/1.1"
                                 b"\r\nContent-Length: 0\r\n\r\n"), OK)
        self.assert_item("_CON", "_COM1", body, b"video/mp4")
        self.assertEqual(request(b"DELETE /__media/CON HTTP/1.1\r\n\r\n"), OK)
        self.assertFalse(os.path.exists(os.path.join(self.media, "_CON")))

    def test_playback_paths(self):
        self.assertEqual(self.upload(b"project=play&id=a_b&mime=video/mp4", b"0123456789"), STORED)
        self.assertEqual(self.upload(b"project=" + b"P" * 80 + b"&id=" + b"I" * 80, b"long"), STORED)
        ten = whole(b"0123456789", b"video/mp4")
        cases = [
            (b"/__media/play/a_b", ten),
            (b"/__media/play/a/b", ten),
            (b"/__media/play/a%2Fb", ten),
            (b"/__media/play/a%252Fb", ten),      # decoded twice
            (b"/__media/play/a.b", ten),
            (b"/__media/play/a\\b", ten),
            (b"/__media/play/a_b%3Fx", ten),      # an encoded '?' ends the id
            (b"/__media/play", NOT_FOUND),
            (b"/__media/play/", NOT_FOUND),
            (b"/__media/play/%00", NOT_FOUND),
            (b"/__media/%00/a_b", NOT_FOUND),
            (b"/__media//a_b", BAD),
            (b"/__media/" + b"P" * 128 + b"/x", BAD),
            (b"/__media/" + b"P" * 127 + b"/" + b"I" * 128, whole(b"long")),
            (b"/__media/" + b"P" * 81 + b"/" + b"I" * 81, whole(b"long")),
            (b"/__media/../play/a_b", NOT_FOUND),   # project "__", not a way up
            (b"/__media/%2E%2E/%2E%2E", NOT_FOUND),
            (b"/__media/play/missing", NOT_FOUND),
        ]
        for path, expected in cases:
            with self.subTest(path=path):
                self.assertEqual(request(b"GET " + path + b" HTTP/1.1\r\n\r\n"), expected)
        self.assertEqual(request(b"HEAD /__media/play/a_b HTTP/1.1\r\nRange: bytes=2-5\r\n\r\n"),
                         b"HTTP/1.1 206 Partial Content\r\nContent-Type: video/mp4\r\nContent-Length: 4\r\n"
                         b"Accept-Ranges: bytes\r\nCache-Control: no-cache\r\nConnection: close\r\n"
                         b"Access-Control-Allow-Origin: *\r\n\r\n")
        self.assertEqual(request(b"GET /__media/play/a_b HTTP/1.1\r\nRange: bytes=2-5\r\n\r\n"),
                         b"HTTP/1.1 206 Partial Content\r\nContent-Type: video/mp4\r\nContent-Length: 4\r\n"
                         b"Accept-Ranges: bytes\r\nContent-Range: bytes 2-5/10\r\nCache-Control: no-cache\r\n"
                         b"Connection: close\r\nAccess-Control-Allow-Origin: *\r\n"
                         b"Access-Control-Expose-Headers: Content-Range, Accept-Ranges\r\n\r\n2345")
        self.assertEqual(request(b"HEAD /__media/play/none HTTP/1.1\r\n\r\n"), NOT_FOUND)
        # A suffix range: the last bytes.
        self.assertEqual(request(b"GET /__media/play/a_b HTTP/1.1\r\nRange: bytes=-3\r\n\r\n"),
                         b"HTTP/1.1 206 Partial Content\r\nContent-Type: video/mp4\r\nContent-Length: 3\r\n"
                         b"Accept-Ranges: bytes\r\nContent-Range: bytes 7-9/10\r\nCache-Control: no-cache\r\n"
                         b"Connection: close\r\nAccess-Control-Allow-Origin: *\r\n"
                         b"Access-Control-Expose-Headers: Content-Range, Accept-Ranges\r\n\r\n789")

    def test_a_recorded_type_cannot_add_header_lines(self):
        self.assertEqual(self.upload(b"project=hdr&id=x&mime=text/plain%0D%0ASet-Cookie:%20a=b", b"x"), STORED)
        self.assert_item("hdr", "x", b"x", b"text/plain\r\nSet-Cookie: a=b")
        self.assertEqual(request(b"GET /__media/hdr/x HTTP/1.1\r\n\r\n"), whole(b"x", b"text/plain"))

    # -- upload --------------------------------------------------------------

    def test_upload_answers_and_content_types(self):
        self.assertEqual(self.upload(b"project=up&id=v&mime=video%2Fmp4", b"abc",
                                     b"Content-Type: audio/mpeg\r\n"), STORED)
        self.assert_item("up", "v", b"abc", b"video/mp4")
        self.assertEqual(self.upload(b"project=up&id=v", b"defg", b"Content-Type: audio/mpeg\r\n"), STORED)
        self.assert_item("up", "v", b"defg", b"audio/mpeg")
        self.assertEqual(self.upload(b"project=up&id=empty", b""), STORED)
        self.assert_item("up", "empty", b"", b"application/octet-stream")
        self.assertEqual(self.upload(b"project=My+Project&id=clip.mp4", b"c"), STORED)
        self.assert_item("My_Project", "clip_mp4", b"c", b"application/octet-stream")
        # Bytes after Content-Length on the same connection are not stored.
        self.assertEqual(request(b"POST /__media?project=up&id=cut HTTP/1.1\r\nContent-Length: 3\r\n\r\n"
                                 b"abcdef"), STORED)
        self.assert_item("up", "cut", b"abc", b"application/octet-stream")
        # No length: refused, and no staging file stays.
        self.assertEqual(request(b"POST /__media?project=up&id=nolen HTTP/1.1\r\n\r\nabc"), LENGTH)
        self.assertFalse(os.path.exists(self.item("up", "nolen")))
        self.assertFalse(os.path.exists(self.item("up", "nolen.tmp")))
        # A bad id drains the body first, then answers.
        self.assertEqual(request(upload_request(b"project=up&id=", b"z" * 300000)), BAD_ID)
        # The most negative length is refused like any other negative one.
        lowest = b"Content-Length: -9223372036854775808\r\n\r\nx"
        self.assertEqual(request(b"POST /__media?project=up&id= HTTP/1.1\r\n" + lowest), BAD_ID)
        self.assertEqual(request(b"POST /__media?project=up&id=low HTTP/1.1\r\n" + lowest), LENGTH)
        self.assertFalse(os.path.exists(self.item("up", "low.tmp")))

    def test_body_that_breaks_off_leaves_the_earlier_item(self):
        self.assertEqual(self.upload(b"project=brk&id=v&mime=video/mp4", b"earlier"), STORED)
        with connect(timeout=30) as s:
            s.sendall(b"POST /__media?project=brk&id=v&mime=x/y HTTP/1.1\r\nContent-Length: 4000000\r\n\r\n")
            s.sendall(b"n" * 1500000)
            # The staging file is there while the body comes in.
            self.assertTrue(wait_until(lambda: os.path.exists(self.item("brk", "v.tmp"))))
            s.shutdown(socket.SHUT_WR)
            self.assertEqual(read_all(s), b"")  # no answer at all
        self.assertTrue(wait_until(lambda: not os.path.exists(self.item("brk", "v.tmp"))))
        self.assert_item("brk", "v", b"earlier", b"video/mp4")
        # A new item that breaks off leaves nothing at all.
        with connect(timeout=30) as s:
            s.sendall(b"POST /__media?project=brk&id=new HTTP/1.1\r\nContent-Length: 100\r\n\r\nhalf")
            s.shutdown(socket.SHUT_WR)
            self.assertEqual(read_all(s), b"")
        self.assertTrue(wait_until(lambda: sorted(os.listdir(os.path.join(self.media, "brk"))) == ["v", "v.mime"]))

    def test_concurrent_uploads_of_one_item(self):
        self.assertEqual(self.upload(b"project=conc&id=v", b"earlier"), STORED)
        first = b"F" * 2000000
        with connect(timeout=60) as s:
            s.sendall(b"POST /__media?project=conc&id=v&mime=first/one HTTP/1.1\r\nContent-Length: " +
                      str(len(first)).encode() + b"\r\n\r\n" + first[:500000])
            self.assertTrue(wait_until(lambda: os.path.exists(self.item("conc", "v.tmp"))))
            # The first holds the staging file: the second is turned away.
            self.assertEqual(self.upload(b"project=conc&id=v&mime=second/one", b"second"), DISK)
            self.assertEqual(read_bytes(self.item("conc", "v")), b"earlier")
            s.sendall(first[500000:])
            self.assertEqual(read_all(s), STORED)
        self.assert_item("conc", "v", first, b"first/one")

        # Many at once: each answers "ok", "disk" or "move", and the item is
        # one whole body with the type sent with it, by a request answered
        # "ok", never a mixture, with nothing left over.
        bodies = {i: bytes([65 + i]) * (200000 + i) for i in range(8)}
        answers = {}

        def send(i):
            answers[i] = self.upload(b"project=conc&id=many&mime=t/" + str(i).encode(), bodies[i])

        threads = [threading.Thread(target=send, args=(i,)) for i in bodies]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertTrue(set(answers.values()) <= {STORED, DISK, MOVE}, answers)
        self.assertIn(STORED, answers.values())
        stored = [i for i in bodies if answers[i] == STORED]
        self.assertIn((read_bytes(self.item("conc", "many")), read_bytes(self.item("conc", "many.mime"))),
                      [(bodies[i], b"t/%d" % i) for i in stored])
        self.assertFalse(os.path.exists(self.item("conc", "many.tmp")))
        self.assertFalse(os.path.exists(self.item("conc", "many.mime.tmp")))

    def test_upload_during_playback(self):
        big = os.urandom(1 << 20) * 24
        self.assertEqual(self.upload(b"project=pb&id=v&mime=video/mp4", big), STORED)
        playing = SlowReader(b"/__media/pb/v")
        try:
            # The item is open for reading: it cannot be replaced, and stays.
            self.assertEqual(self.upload(b"project=pb&id=v&mime=audio/ogg", b"replacement"), MOVE)
            self.assert_item("pb", "v", big, b"video/mp4")
        finally:
            status, headers, body = playing.finish()
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertIn("Content-Type: video/mp4", headers)
        self.assertEqual(body, big)
        # Once the playback is over the replacement goes through.
        self.assertEqual(self.upload(b"project=pb&id=v&mime=audio/ogg", b"replacement"), STORED)
        self.assert_item("pb", "v", b"replacement", b"audio/ogg")

    def test_playback_never_sees_the_item_missing_while_it_is_replaced(self):
        bodies = [b"A" * 3000, b"B" * 5000]
        self.assertEqual(self.upload(b"project=swap&id=v", bodies[0]), STORED)
        stop = time.monotonic() + 2.0
        answers = {"stored": 0, "move": 0, "other": []}

        def replace():
            i = 0
            while time.monotonic() < stop:
                i += 1
                answer = self.upload(b"project=swap&id=v", bodies[i % 2])
                if answer == STORED:
                    answers["stored"] += 1
                elif answer == MOVE:  # a playback held the item just then
                    answers["move"] += 1
                else:
                    answers["other"].append(answer)

        # A replacing move holds its target for an instant (Windows with
        # delete access, Wine without any sharing), and a playback opening
        # it just then is refused with a sharing violation; the open waits
        # that instant out, so the item is never answered as missing.
        allowed = [whole(b) for b in bodies]
        writer = threading.Thread(target=replace)
        writer.start()
        plays = 0
        try:
            while time.monotonic() < stop:
                plays += 1
                answer = request(b"GET /__media/swap/v HTTP/1.1\r\n\r\n")
                self.assertTrue(answer in allowed, split_answer(answer)[0])
        finally:
            writer.join()
        self.assertEqual(answers["other"], [])
        self.assertGreater(answers["stored"], 10)
        self.assertGreater(plays, 10)
        self.assertFalse(os.path.exists(self.item("swap", "v.tmp")))

    # -- copy and removal ----------------------------------------------------

    def test_copy(self):
        self.assertEqual(self.upload(b"project=cp&id=typed&mime=video/webm", b"typed bytes"), STORED)
        self.assertEqual(self.upload(b"project=cp&id=plain", b"plain bytes"), STORED)
        os.remove(self.item("cp", "plain.mime"))

        def copy(query):
            return request(b"POST /__media-copy?" + query + b" HTTP/1.1\r\nContent-Length: 0\r\n\r\n")

        for query in [b"fromId=typed&toProject=cpdst&toId=t", b"fromProject=cp&fromId=typed&toProject=cpdst",
                      b"fromProject=cp&fromId=%00&toProject=cpdst&toId=t"]:
            with self.subTest(query=query):
                self.assertEqual(copy(query), MISSING)
        self.assertFalse(os.path.exists(os.path.join(self.media, "cpdst")))

        self.assertEqual(copy(b"fromProject=cp&fromId=nope&toProject=cpdst&toId=t"), MISSING)
        self.assertEqual(os.listdir(os.path.join(self.media, "cpdst")), [])
        self.assertEqual(copy(b"fromProject=cp&fromId=typed&toProject=cpdst&toId=..%2Ft"), OK)
        self.assert_item("cpdst", "___t", b"typed bytes", b"video/webm")
        # The target's old type goes with it when the source has none.
        self.assertEqual(copy(b"fromProject=cp&fromId=plain&toProject=cpdst&toId=..%2Ft"), OK)
        self.assertEqual(read_bytes(self.item("cpdst", "___t")), b"plain bytes")
        self.assertFalse(os.path.exists(self.item("cpdst", "___t.mime")))
        self.assertEqual(request(b"GET /__media/cpdst/___t HTTP/1.1\r\n\r\n"), whole(b"plain bytes"))

    def test_removal(self):
        for media_id in (b"a", b"b"):
            self.assertEqual(self.upload(b"project=rm&id=" + media_id, media_id), STORED)
        os.makedirs(os.path.join(self.media, "rm", "sub", "deeper"))
        with open(os.path.join(self.media, "rm", "sub", "deeper", "f"), "wb") as f:
            f.write(b"f")
        self.assertEqual(self.upload(b"project=__&id=x", b"x"), STORED)
        self.assertEqual(self.upload(b"project=keep&id=x", b"x"), STORED)
        cases = [
            (b"/__media/", None),
            (b"/__media//rm", None),
            (b"/__media/absent", None),
            (b"/__media/..", "__"),
            (b"/__media/rm%2Fclip", "rm"),
        ]
        for path, gone in cases:
            with self.subTest(path=path):
                self.assertEqual(request(b"DELETE " + path + b" HTTP/1.1\r\n\r\n"), OK)
                if gone:
                    self.assertFalse(os.path.exists(os.path.join(self.media, gone)))
        self.assert_item("keep", "x", b"x", b"application/octet-stream")
        self.assertTrue(os.path.isdir(self.media))

    def test_removal_during_playback(self):
        big = os.urandom(1 << 20) * 24
        self.assertEqual(self.upload(b"project=rmpb&id=v&mime=video/mp4", big), STORED)
        self.assertEqual(self.upload(b"project=rmpb&id=other", b"other"), STORED)
        playing = SlowReader(b"/__media/rmpb/v")
        try:
            self.assertEqual(request(b"DELETE /__media/rmpb HTTP/1.1\r\n\r\n"), OK)
            self.assertEqual(read_bytes(self.item("rmpb", "v")), big)
            self.assertFalse(os.path.exists(self.item("rmpb", "other")))
        finally:
            status, _, body = playing.finish()
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertEqual(body, big)
        self.assertEqual(request(b"DELETE /__media/rmpb HTTP/1.1\r\n\r\n"), OK)
        self.assertFalse(os.path.exists(os.path.join(self.media, "rmpb")))

    def test_removal_never_follows_links(self):
        if is_wine():
            self.skipTest("Wine 8 shows a Unix symbolic link as the folder it points to, not as a reparse point")
        outside = os.path.join(self.box.root, "outside")
        os.makedirs(outside)
        with open(os.path.join(outside, "victim"), "wb") as f:
            f.write(b"keep me")
        self.assertEqual(self.upload(b"project=lnk&id=x", b"x"), STORED)
        os.symlink(outside, self.item("lnk", "to_folder"))
        os.symlink(os.path.join(outside, "victim"), self.item("lnk", "to_file"))
        os.symlink(outside, os.path.join(self.media, "lnkproj"))
        for project in (b"lnk", b"lnkproj"):
            self.assertEqual(request(b"DELETE /__media/" + project + b" HTTP/1.1\r\n\r\n"), OK)
        self.assertFalse(os.path.lexists(os.path.join(self.media, "lnk")))
        self.assertFalse(os.path.lexists(os.path.join(self.media, "lnkproj")))
        self.assertEqual(read_bytes(os.path.join(outside, "victim")), b"keep me")

    # -- a body of several hundred MiB ---------------------------------------

    def test_huge_upload_streams_without_growing_memory(self):
        block = os.urandom(1 << 20)
        blocks = 512
        total = blocks * len(block)
        self.assertEqual(self.upload(b"project=huge&id=warm", b"w" * 1000000), STORED)  # worker paths warm
        before = self.memory()
        digest = hashlib.sha256()
        with connect(timeout=300) as s:
            s.sendall(b"POST /__media?project=huge&id=v&mime=video/mp4 HTTP/1.1\r\nContent-Length: " +
                      str(total).encode() + b"\r\n\r\n")
            for i in range(blocks):
                chunk = struct.pack(">Q", i) + block[8:]  # every MiB differs
                digest.update(chunk)
                s.sendall(chunk)
            self.assertEqual(read_all(s), STORED)
        after = self.memory()
        path = self.item("huge", "v")
        self.assertEqual(os.path.getsize(path), total)
        on_disk = hashlib.sha256()
        with open(path, "rb") as f:
            for piece in iter(lambda: f.read(1 << 22), b""):
                on_disk.update(piece)
        self.assertEqual(on_disk.hexdigest(), digest.hexdigest())
        self.assertEqual(read_bytes(path + ".mime"), b"video/mp4")
        self.assertFalse(os.path.exists(path + ".tmp"))
        # A range from the far end comes back exact.
        answer = request(b"GET /__media/huge/v HTTP/1.1\r\nRange: bytes=" + str(total - 16).encode() + b"-\r\n\r\n")
        self.assertEqual(split_answer(answer)[2], block[-16:])
        if before is not None:
            grew = after["VmHWM"] - before["VmHWM"]
            print(f"\n  memory during a {total >> 20} MiB upload: VmHWM {before['VmHWM']} -> {after['VmHWM']} kB, "
                  f"VmRSS {before['VmRSS']} -> {after['VmRSS']} kB", file=sys.stderr)
            self.assertLess(grew, 16 * 1024, "peak resident memory grew with the body")
        os.remove(path)

    def memory(self):
        """VmHWM and VmRSS of the program in kB, or None under Wine, where the
        process that runs the program is not the one that was started."""
        if is_wine():
            return None
        values = {}
        with open(f"/proc/{self.box.proc.pid}/status") as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in ("VmHWM", "VmRSS"):
                    values[key] = int(rest.split()[0])
        return values

    # -- save to Downloads ---------------------------------------------------

    def save(self, name, body):
        query = b"" if name is None else b"?name=" + name
        return request(b"POST /__save" + query + b" HTTP/1.1\r\nContent-Length: " + str(len(body)).encode() +
                       b"\r\n\r\n" + body, timeout=60)

    def downloaded(self, name):
        return read_bytes(os.path.join(self.downloads, name))

    def test_save_numbering_never_overwrites(self):
        os.makedirs(self.downloads, exist_ok=True)
        with open(os.path.join(self.downloads, "clip.mp4"), "wb") as f:
            f.write(b"the user's own file")
        os.mkdir(os.path.join(self.downloads, "clip-3.mp4"))
        for body in (b"one", b"two", b"three"):
            self.assertEqual(self.save(b"clip.mp4", body), STORED)
        self.assertEqual(self.downloaded("clip.mp4"), b"the user's own file")
        self.assertEqual(self.downloaded("clip-2.mp4"), b"one")
        self.assertTrue(os.path.isdir(os.path.join(self.downloads, "clip-3.mp4")))
        self.assertEqual(self.downloaded("clip-4.mp4"), b"two")
        self.assertEqual(self.downloaded("clip-5.mp4"), b"three")
        self.assertEqual(self.save(None, b"default"), STORED)
        self.assertEqual(self.downloaded("vesklar.mp4"), b"default")
        self.assertEqual(self.save(b"", b"default 2"), STORED)
        self.assertEqual(self.downloaded("vesklar-2.mp4"), b"default 2")
        # A name ending in a separator falls back to the default name too.
        self.assertEqual(self.save(b"folder%2F", b"default 3"), STORED)
        self.assertEqual(self.downloaded("vesklar-3.mp4"), b"default 3")
        self.assertEqual(self.downloaded("vesklar.mp4"), b"default")

        # Every name up to 199 taken: "disk", and nothing is touched.
        for n in range(1, 200):
            name = "full.bin" if n == 1 else f"full-{n}.bin"
            with open(os.path.join(self.downloads, name), "wb") as f:
                f.write(str(n).encode())
        before = {n: self.downloaded(n) for n in os.listdir(self.downloads) if n.startswith("full")}
        self.assertEqual(self.save(b"full.bin", b"new"), DISK)
        self.assertEqual({n: self.downloaded(n) for n in os.listdir(self.downloads) if n.startswith("full")}, before)

    def test_save_names(self):
        cases = [
            (b"C:%5Ctemp%5Cnames1.mp4", "names1.mp4"),
            (b"a/b/names2.mp4", "names2.mp4"),
            (b"..%2F..%2Fnames3.mp4", "names3.mp4"),
            (b"my:names?4.mp4", "my_names_4.mp4"),
            (b"my%3Anames%3F5.mp4", "my_names_5.mp4"),
            (b"CON.mp4", "_CON.mp4"),
            (b"nul", "_nul"),
            (b"Lpt1.tar.gz", "_Lpt1.tar.gz"),
            (b"trailing.%20.", "trailing___"),
            (b"..", "__"),
            (b"caf%C3%A9.mp4", "caf\u00e9.mp4"),
            (b"x" * 300, "x" * 120),
            # 766 bytes in the query; shortened by the stem to 119 units, since
            # the pair U+1F600 would have been split at 116.
            ("\u00f1" * 115 + "\U0001F600" + "\u00f1" * 10 + ".mp4", "\u00f1" * 115 + ".mp4"),
            # Only a save in progress has a name of this form.
            (b"clip.vesklar-part", "clip_vesklar-part"),
        ]
        for raw, name in cases:
            if isinstance(raw, str):
                raw = urllib.parse.quote(raw).encode()
            with self.subTest(raw=raw):
                body = b"saved " + raw
                self.assertEqual(self.save(raw, body), STORED)
                self.assertEqual(self.downloaded(name), body)

    def test_expect_100_continue(self):
        os.makedirs(self.downloads, exist_ok=True)
        body = b"b" * 3000000
        # The body is held back until the server asks for it, as curl does.
        with connect(timeout=30) as s:
            s.sendall(b"POST /__save?name=continue.bin HTTP/1.1\r\nHost: 127.0.0.1:17865\r\n"
                      b"Expect: 100-continue\r\nContent-Length: 3000000\r\n\r\n")
            self.assertEqual(s.recv(64), b"HTTP/1.1 100 Continue\r\n\r\n")
            s.sendall(body)
            self.assertEqual(read_all(s), STORED)
        self.assertEqual(self.downloaded("continue.bin"), body)
        # Refused before the body is read: the answer comes at once, without
        # "100 Continue", and the body is never sent.
        expect = b"Expect: 100-continue\r\nContent-Length: 3000000\r\n\r\n"
        refused = [
            (b"POST /__media?project=up&id= HTTP/1.1\r\n" + expect, BAD_ID),
            (b"POST /__save?name=foreign.bin HTTP/1.1\r\nHost: example.com\r\n" + expect,
             simple(b"403 Forbidden", b"host")),
        ]
        for raw, expected in refused:
            with self.subTest(raw=raw), connect(timeout=30) as s:
                s.sendall(raw)
                self.assertEqual(read_all(s), expected)
        self.assertFalse(os.path.exists(os.path.join(self.downloads, "foreign.bin")))

    def test_save_failures_leave_no_file(self):
        os.makedirs(self.downloads, exist_ok=True)
        self.assertEqual(request(b"POST /__save?name=fail1.bin HTTP/1.1\r\n\r\nabc"), LENGTH)
        self.assertEqual(request(b"POST /__save?name=fail1.bin HTTP/1.1\r\n"
                                 b"Content-Length: -9223372036854775808\r\n\r\nabc"), LENGTH)
        self.assertFalse(os.path.exists(os.path.join(self.downloads, "fail1.bin")))
        with connect(timeout=30) as s:
            s.sendall(b"POST /__save?name=fail2.bin HTTP/1.1\r\nContent-Length: 3000000\r\n\r\n" + b"h" * 1000000)
            # The body goes into a part file; the export's own name stays free.
            part = os.path.join(self.downloads, "fail2.bin.vesklar-part")
            self.assertTrue(wait_until(lambda: os.path.exists(part)))
            self.assertFalse(os.path.exists(os.path.join(self.downloads, "fail2.bin")))
            s.shutdown(socket.SHUT_WR)
            self.assertEqual(read_all(s), b"")
        self.assertTrue(wait_until(lambda: not os.path.exists(part)))
        self.assertFalse(os.path.exists(os.path.join(self.downloads, "fail2.bin")))


if __name__ == "__main__":
    unittest.main()
