"""Answers on the wire: exact bytes of the router's own answers, and heads
that must be dropped without any answer."""

import socket
import time
import unittest

import harness
from harness import Sandbox, connect, read_all, request


def simple(status, reason, body=b"", ctype=b"text/plain"):
    return (b"HTTP/1.1 " + status + b" " + reason + b"\r\nContent-Type: " + ctype +
            b"\r\nContent-Length: " + str(len(body)).encode() +
            b"\r\nCache-Control: no-cache\r\nConnection: close\r\n"
            b"Access-Control-Allow-Origin: *\r\n\r\n" + body)


class Wire(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.box = Sandbox()
        cls.box.start()
        cls.box.wait_ready()

    @classmethod
    def tearDownClass(cls):
        cls.box.cleanup()

    def test_router_answers(self):
        cases = [
            (b"OPTIONS /__save HTTP/1.1\r\n\r\n", simple(b"204", b"No Content")),
            (b"PUT / HTTP/1.1\r\n\r\n", simple(b"405", b"Method Not Allowed", b"no")),
            (b"POST /__save/ HTTP/1.1\r\n\r\n", simple(b"405", b"Method Not Allowed", b"no")),
            (b"DELETE /__media HTTP/1.1\r\n\r\n", simple(b"405", b"Method Not Allowed", b"no")),
            (b"POST /__quit/ HTTP/1.1\r\n\r\n", simple(b"405", b"Method Not Allowed", b"no")),
        ]
        for raw, expected in cases:
            with self.subTest(raw=raw):
                self.assertEqual(request(raw), expected)

    def test_head_arriving_byte_by_byte(self):
        raw = b"OPTIONS / HTTP/1.1\r\nHost: 127.0.0.1:17865\r\n\r\n"
        with connect() as s:
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            for i in range(len(raw)):
                s.send(raw[i:i + 1])
                time.sleep(0.002)
            self.assertEqual(read_all(s), simple(b"204", b"No Content"))

    def expect_dropped(self, raw, close_write=True):
        with connect(timeout=30) as s:
            s.sendall(raw)
            if close_write:
                s.shutdown(socket.SHUT_WR)
            self.assertEqual(read_all(s), b"")

    def test_malformed_heads_get_no_answer(self):
        cases = {
            "no target": b"GET\r\n\r\n",
            "blank request line": b"   \r\nHost: x\r\n\r\n",
            "bare line feeds": b"GET / HTTP/1.1\nHost: x\n\n",
            "nul before the blank line": b"GET / HTTP/1.1\r\nX: a\x00b\r\n\r\n",
            "peer closes mid-head": b"GET / HTTP/1.1\r\nHost:",
        }
        for name, raw in cases.items():
            with self.subTest(name):
                self.expect_dropped(raw)

    def test_head_without_blank_line_in_65535_bytes_is_dropped(self):
        # The server gives up once its buffer is full, without waiting for
        # the client to close.
        with connect(timeout=30) as s:
            try:
                s.sendall(b"GET / HTTP/1.1\r\nX: " + b"a" * 65600)
            except OSError:
                pass  # the server may already have closed: no answer either way
            self.assertEqual(read_all(s), b"")

    def test_blank_line_as_the_last_of_65535_bytes_is_served(self):
        head = b"OPTIONS / HTTP/1.1\r\nX: "
        filler = 65535 - len(head) - 4
        self.assertEqual(request(head + b"a" * filler + b"\r\n\r\n"), simple(b"204", b"No Content"))

    def test_second_request_on_one_connection_is_never_answered(self):
        raw = b"OPTIONS / HTTP/1.1\r\n\r\nPUT / HTTP/1.1\r\n\r\n"
        self.assertEqual(request(raw), simple(b"204", b"No Content"))


if __name__ == "__main__":
    unittest.main()
