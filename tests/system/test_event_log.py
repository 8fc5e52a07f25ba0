"""The program's log beside its data: written from the start, and a failed
start-up step recorded with the system's own cause."""

import re
import socket
import unittest

import harness
from harness import Sandbox, is_wine, request

LINE = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (\S+)(?: (.*))?$")
# The address in use: errno natively, the Winsock code under Wine and Windows.
ADDRESS_IN_USE = 10048 if is_wine() else 98


class EventLog(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox()

    def tearDown(self):
        self.box.cleanup()

    def events(self):
        """(event, details) per line of the log, every line in the line format."""
        with open(self.box.log_path, "rb") as f:
            lines = f.read().decode("utf-8").split("\n")
        self.assertEqual(lines[-1], "", "the log ends with a whole line")
        out = []
        for line in lines[:-1]:
            m = LINE.match(line)
            self.assertIsNotNone(m, line)
            out.append((m.group(1), m.group(2) or ""))
        return out

    def test_a_start_and_its_end_are_logged(self):
        self.box.start()
        self.box.wait_ready()
        answer = request(b"POST /__quit HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 204"), answer)
        self.assertEqual(self.box.proc.wait(timeout=20), 0)
        events = self.events()
        self.assertEqual(events[0][0], "start")
        self.assertRegex(events[0][1], r"^version=\S* pid=\d+ exe=")
        self.assertEqual(events[-1][0], "end")
        self.assertTrue(events[-1][1].startswith("reason=pages_closed"), events[-1])

    def test_port_held_by_another_program_is_logged_with_its_cause(self):
        holder = socket.socket()
        holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        holder.bind(harness.ADDRESS)
        holder.listen(1)
        try:
            code, _ = self.box.run_to_end()
        finally:
            holder.close()
        self.assertEqual(code, 1)
        events = self.events()
        self.assertEqual(events[0][0], "start")
        busy = [d for e, d in events if e == "port_busy"]
        self.assertEqual(len(busy), 1, events)
        m = re.fullmatch(r"address=127\.0\.0\.1:17865 cause=(\w+) \((\d+)(?:: (.+))?\)", busy[0])
        self.assertIsNotNone(m, busy[0])
        self.assertEqual(int(m.group(2)), ADDRESS_IN_USE, busy[0])
        if not is_wine():
            self.assertEqual(m.group(3), "Address already in use")
        self.assertEqual(events[-1][0], "port_busy", "start-up ends at the failed step")


if __name__ == "__main__":
    unittest.main()
