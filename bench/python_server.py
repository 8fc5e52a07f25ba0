"""Python's standard threaded file server for the comparison, as a developer
would start it (`python3 -m http.server`): ThreadingHTTPServer with
SimpleHTTPRequestHandler. The stock handler ignores Range headers, which
would turn every 1 MiB range request into a 1 GiB download; this subclass adds
the single "bytes=first-last" form so the range workload compares like with
like. Nothing else is changed.

Usage: python_server.py PORT ROOT
"""
import functools
import os
import re
import shutil
import sys
from http import HTTPStatus
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

RANGE = re.compile(r"bytes=(\d+)-(\d*)$")


class RangeHandler(SimpleHTTPRequestHandler):
    def log_message(self, *args):  # a log line per request would only measure the terminal
        pass

    def send_head(self):
        self._range = None
        match = RANGE.match(self.headers.get("Range", "").strip())
        path = self.translate_path(self.path)
        if not match or os.path.isdir(path):
            return super().send_head()
        try:
            f = open(path, "rb")
        except OSError:
            self.send_error(HTTPStatus.NOT_FOUND, "File not found")
            return None
        size = os.fstat(f.fileno()).st_size
        first = int(match.group(1))
        last = int(match.group(2)) if match.group(2) else size - 1
        last = min(last, size - 1)
        if first > last:
            f.close()
            return super().send_head()
        self.send_response(HTTPStatus.PARTIAL_CONTENT)
        self.send_header("Content-Type", self.guess_type(path))
        self.send_header("Content-Length", str(last - first + 1))
        self.send_header("Content-Range", f"bytes {first}-{last}/{size}")
        self.send_header("Accept-Ranges", "bytes")
        self.end_headers()
        f.seek(first)
        self._range = last - first + 1
        return f

    def copyfile(self, source, outputfile):
        if self._range is None:
            return shutil.copyfileobj(source, outputfile)
        left = self._range
        while left > 0:
            block = source.read(min(left, 65536))
            if not block:
                break
            outputfile.write(block)
            left -= len(block)


def main():
    port, root = int(sys.argv[1]), sys.argv[2]
    handler = functools.partial(RangeHandler, directory=root)
    ThreadingHTTPServer.daemon_threads = True
    ThreadingHTTPServer.request_queue_size = 128
    with ThreadingHTTPServer(("127.0.0.1", port), handler) as server:
        server.serve_forever()


if __name__ == "__main__":
    main()
