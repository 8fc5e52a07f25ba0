"""The site folder over the wire: pages with the bootstrap script, files
with ranges (also past 4 GiB), HEAD forms and refused paths."""

import os
import unittest

from harness import Sandbox, is_wine, request, split_answer

PAGE = b"<!doctype html><html><head><title>t</title></head><body>p</body></html>"
CORS = b"Access-Control-Allow-Origin: *\r\n"


def script(number, name):
    return (b"<script>window.VesklarWindows={saveUrl:'/__save',version:" + number +
            b",versionName:'" + name + b"'};(function(){var p=Math.random().toString(36).slice(2)"
            b"+Date.now().toString(36),n=0;function t(u){try{navigator.sendBeacon(u+'?page='+p+"
            b"'&seq='+(++n));}catch(e){}}window.addEventListener('pageshow',function(){t('/__open');});"
            b"window.addEventListener('pagehide',function(){t('/__quit');});})();</script>")


def page_answer(body):
    return (b"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
            str(len(body)).encode() + b"\r\nCache-Control: no-cache\r\nConnection: close\r\n"
            b"Content-Security-Policy: frame-ancestors 'self'\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n" + body)


def simple(status, ctype, body):
    return (b"HTTP/1.1 " + status + b"\r\nContent-Type: " + ctype + b"\r\nContent-Length: " +
            str(len(body)).encode() + b"\r\nCache-Control: no-cache\r\nConnection: close\r\n" + CORS +
            b"\r\n" + body)


NOT_FOUND = simple(b"404 Not Found", b"text/plain; charset=utf-8", b"Not Found")
BAD_PATH = simple(b"400 Bad Request", b"text/plain", b"bad path")


def get(path, extra=b"", method=b"GET"):
    return request(method + b" " + path + b" HTTP/1.1\r\nHost: 127.0.0.1:17865\r\n" + extra + b"\r\n")


class Site(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.box = Sandbox()
        with open(os.path.join(cls.box.exe_dir, "version.txt"), "wb") as f:
            f.write(b"7\r\n1.2.3\r\n")
        www = cls.box.www
        with open(os.path.join(www, "index.html"), "wb") as f:
            f.write(PAGE)
        os.makedirs(os.path.join(www, "docs"))
        with open(os.path.join(www, "docs", "index.html"), "wb") as f:
            f.write(b"<HEAD></HEAD>docs")
        cls.data = bytes((i * 7) % 256 for i in range(1000))
        with open(os.path.join(www, "clip.mp4"), "wb") as f:
            f.write(cls.data)
        with open(os.path.join(www, "exact.html"), "wb") as f:
            f.write(b"x")
        # Sparse: 5 GiB of holes, then 17 known bytes.
        cls.big_tail = b"the end of it all"
        cls.big_size = (5 << 30) + len(cls.big_tail)
        with open(os.path.join(www, "big.webm"), "wb") as f:
            f.seek(5 << 30)
            f.write(cls.big_tail)
        if not is_wine():
            os.mkfifo(os.path.join(www, "pipe.js"))
        cls.box.start()
        cls.box.wait_ready()
        cls.script = script(b"7", b"1.2.3")

    @classmethod
    def tearDownClass(cls):
        cls.box.cleanup()

    def test_pages_carry_the_bootstrap_script_of_version_txt(self):
        injected = PAGE.replace(b"</head>", self.script + b"</head>")
        for path in (b"/", b"/editor/settings", b"/notes.txt", b"/docs", b"/INDEX.HTML"):
            with self.subTest(path=path):
                self.assertEqual(get(path), page_answer(injected))
        self.assertEqual(get(b"/docs/index.html"), page_answer(b"<HEAD>" + self.script + b"</HEAD>docs"))
        self.assertEqual(get(b"/", b"Range: bytes=0-3\r\n"), page_answer(injected))

    def test_files_whole_ranged_and_head(self):
        tail = b"Cache-Control: no-cache\r\nConnection: close\r\n"
        self.assertEqual(get(b"/clip.mp4"),
                         b"HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: 1000\r\n"
                         b"Accept-Ranges: bytes\r\n" + tail + CORS + b"\r\n" + self.data)
        self.assertEqual(get(b"/clip.mp4", b"Range: bytes=990-\r\n"),
                         b"HTTP/1.1 206 Partial Content\r\nContent-Type: video/mp4\r\nContent-Length: 10\r\n"
                         b"Accept-Ranges: bytes\r\nContent-Range: bytes 990-999/1000\r\n" + tail + CORS +
                         b"Access-Control-Expose-Headers: Content-Range, Accept-Ranges\r\n\r\n" + self.data[990:])
        # A suffix range asks for the last bytes.
        self.assertEqual(get(b"/clip.mp4", b"Range: bytes=-10\r\n"), get(b"/clip.mp4", b"Range: bytes=990-\r\n"))
        status, headers, body = split_answer(get(b"/clip.mp4", b"Range: bytes=-5000\r\n"))
        self.assertEqual((status, body), ("HTTP/1.1 206 Partial Content", self.data))  # all of it
        self.assertIn("Content-Range: bytes 0-999/1000", headers)
        self.assertEqual(get(b"/clip.mp4", b"Range: bytes=100-\r\n", method=b"HEAD"),
                         b"HTTP/1.1 206 Partial Content\r\nContent-Type: video/mp4\r\nContent-Length: 900\r\n"
                         b"Accept-Ranges: bytes\r\n" + tail + b"\r\n")
        self.assertEqual(get(b"/exact.html", method=b"HEAD"),
                         b"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 1\r\n"
                         b"Accept-Ranges: bytes\r\n" + tail + b"\r\n")

    def test_a_file_beyond_4_gib_is_ranged_near_its_end(self):
        first = 5 << 30
        answer = get(b"/big.webm", b"Range: bytes=%d-\r\n" % first)
        status, headers, body = split_answer(answer)
        self.assertEqual(status, "HTTP/1.1 206 Partial Content")
        self.assertIn("Content-Length: 17", headers)
        self.assertIn(f"Content-Range: bytes {first}-{self.big_size - 1}/{self.big_size}", headers)
        self.assertEqual(body, self.big_tail)
        status, headers, body = split_answer(get(b"/big.webm", method=b"HEAD"))
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertIn(f"Content-Length: {self.big_size}", headers)

    def test_refusals_and_missing_assets(self):
        for path in (b"/a/../b", b"/x..y.js", b"/..%2f..%2fetc%2fpasswd", b"/%2e%2e/x", b"/CON",
                     b"/con.txt", b"/index.html::$DATA", b"/C:/Windows/win.ini", b"/" + b"a" * 300):
            with self.subTest(path=path):
                self.assertEqual(get(path), BAD_PATH)
        for path in (b"/logo.png", b"/favicon.ico", b"/app.js.map"):
            with self.subTest(path=path):
                self.assertEqual(get(path), NOT_FOUND)
                self.assertEqual(get(path, method=b"HEAD"), NOT_FOUND)
        if not is_wine():
            # Only disk files are served; a pipe is answered like a file that
            # cannot be opened, and the server does not wait for a writer.
            self.assertEqual(get(b"/pipe.js"), NOT_FOUND)
        self.assertEqual(get(b"/any/route", method=b"HEAD"),
                         simple(b"200 OK", b"text/html; charset=utf-8", b""))


class PageLimits(unittest.TestCase):
    """A page of exactly 8 MiB is served whole; one byte more is refused."""

    def setUp(self):
        self.box = Sandbox()

    def tearDown(self):
        self.box.cleanup()

    def test_page_size_limit(self):
        index = os.path.join(self.box.www, "index.html")
        with open(index, "wb") as f:
            f.write(b"a" * 8388608)
        self.box.start()
        self.box.wait_ready()
        empty = script(b"0", b"")  # no version.txt: version 0, empty name
        self.assertEqual(get(b"/"), page_answer(empty + b"a" * 8388608))
        with open(index, "ab") as f:
            f.write(b"a")
        self.assertEqual(get(b"/"), simple(b"500 Error", b"text/plain", b"html"))


if __name__ == "__main__":
    unittest.main()
