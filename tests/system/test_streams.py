"""Long answers against the connection time-out. A reader that keeps taking
bytes at a modest pace, as a video played from the start does, gets every
byte however long that takes; a reader that stops altogether is dropped
after about one time-out. Natively sendfile() sends the file, under Wine
TransmitFile: both must bound a stretch without progress, never the whole
answer.

The time-out is a build setting (VESKLAR_CONNECTION_TIMEOUT_MS); these tests
need a test build, whose few seconds (scripts/test.sh) let several time-outs
pass in a short run."""

import os
import socket
import time
import unittest

import harness
from harness import ADDRESS, PORT, Sandbox, read_all, split_answer

READ_RATE = 1 << 20            # bytes per second: about 1 MB/s
TIME_OUTS_READ = 3             # the paced read lasts at least this many time-outs
# The program's side may buffer this much ahead of the reader (Linux sizes
# a loopback send buffer up to 4 MiB); the file is larger by that much.
SENDER_BUFFERS = 4 << 20
READER_BUFFER = 64 << 10       # the client's receive buffer: the program meets its pace early
LONGEST_TEST_TIME_OUT_MS = 10000
PROC_NET_TCP = "/proc/net/tcp"
ESTABLISHED = "01"


def time_out_s():
    return harness.Config.connection_timeout_ms / 1000


def small_buffer_connection():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, READER_BUFFER)
    s.settimeout(60)
    s.connect(ADDRESS)
    return s


def read_paced(s, rate):
    """Reads until the end at `rate` bytes per second."""
    chunks, got, start = [], 0, time.monotonic()
    while True:
        due = int((time.monotonic() - start) * rate) - got
        if due <= 0:
            time.sleep(0.01)
            continue
        try:
            b = s.recv(min(due, 65536))
        except ConnectionResetError:
            break
        if not b:
            break
        chunks.append(b)
        got += len(b)
    return b"".join(chunks)


def server_side_state(client_port):
    """The TCP state of the program's end of the connection from
    `client_port` (hex, as the kernel lists it), or None once it is gone."""
    local = "0100007F:%04X" % PORT
    remote = "0100007F:%04X" % client_port
    with open(PROC_NET_TCP) as f:
        for line in f.readlines()[1:]:
            fields = line.split()
            if fields[1] == local and fields[2] == remote:
                return fields[3]
    return None


class LongStreams(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if harness.Config.connection_timeout_ms > LONGEST_TEST_TIME_OUT_MS:
            raise unittest.SkipTest(f"the program's connection time-out is {harness.Config.connection_timeout_ms} ms; "
                                    "these tests need a test build (scripts/test.sh builds with 4000)")
        cls.length = int(READ_RATE * TIME_OUTS_READ * time_out_s()) + SENDER_BUFFERS
        cls.content = os.urandom(cls.length)
        cls.box = Sandbox()
        with open(os.path.join(cls.box.www, "long.bin"), "wb") as f:
            f.write(cls.content)
        cls.box.start()
        cls.box.wait_ready()

    @classmethod
    def tearDownClass(cls):
        cls.box.cleanup()

    def request_whole_range(self, s):
        s.sendall(b"GET /long.bin HTTP/1.1\r\nHost: 127.0.0.1:17865\r\nRange: bytes=0-\r\n\r\n")

    def test_a_steady_slow_reader_gets_every_byte(self):
        with small_buffer_connection() as s:
            start = time.monotonic()
            self.request_whole_range(s)
            answer = read_paced(s, READ_RATE)
            took = time.monotonic() - start
        status, _, body = split_answer(answer)
        self.assertEqual(status, "HTTP/1.1 206 Partial Content")
        self.assertEqual(len(body), self.length)
        self.assertTrue(body == self.content, "the bytes differ from the file's")
        self.assertGreater(took, TIME_OUTS_READ * time_out_s())

    def test_a_reader_that_stops_is_dropped_after_one_time_out(self):
        with small_buffer_connection() as s:
            client_port = s.getsockname()[1]
            start = time.monotonic()
            self.request_whole_range(s)
            # Nothing is read: the program's end leaves ESTABLISHED when the
            # program closes it.
            deadline = start + 4 * time_out_s()
            state = ESTABLISHED
            while state == ESTABLISHED and time.monotonic() < deadline:
                time.sleep(0.05)
                state = server_side_state(client_port)
            dropped_after = time.monotonic() - start
            answer = read_all(s)
        self.assertNotEqual(state, ESTABLISHED, "the program still holds the connection")
        self.assertGreater(dropped_after, 0.5 * time_out_s())
        self.assertLess(dropped_after, 1.75 * time_out_s())
        # What was under way arrives; the rest of the file never does.
        _, _, body = split_answer(answer)
        self.assertLess(len(body), self.length)
        self.assertTrue(self.content.startswith(body), "the bytes differ from the file's")
