#!/usr/bin/env python3
"""System tests: the real program, started in a temporary exe folder, over
raw HTTP on 127.0.0.1:17865. Native by default; with --wine the Windows
build runs under Wine."""

import argparse
import fcntl
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--site", required=True)
    ap.add_argument("--wine")
    ap.add_argument("--wineprefix")
    ap.add_argument("--fake-browser", help="Windows build: the recording stand-in program "
                    "(default: tests/fake_browser.exe beside the program)")
    ap.add_argument("--connection-timeout-ms", type=int,
                    help="the build's connection time-out (default: read from the CMakeCache.txt "
                    "beside the program, else 120000)")
    ap.add_argument("-k", dest="pattern", help="run only tests whose name contains this")
    args = ap.parse_args()
    harness.Config.exe = os.path.abspath(args.exe)
    harness.Config.site = os.path.abspath(args.site)
    harness.Config.wine = args.wine
    harness.Config.wineprefix = os.path.abspath(args.wineprefix) if args.wineprefix else None
    fake = args.fake_browser or os.path.join(os.path.dirname(harness.Config.exe), "tests", "fake_browser.exe")
    harness.Config.fake_browser = os.path.abspath(fake)
    harness.Config.connection_timeout_ms = args.connection_timeout_ms or harness.built_connection_timeout_ms()
    # The port is fixed: one run at a time on this machine, whoever starts it.
    lock = open(os.path.join(os.environ.get("TMPDIR", "/tmp"), "vesklar-port-17865.lock"), "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    if not harness.port_is_free():
        print("port 17865 is in use by another program; system tests need it", file=sys.stderr)
        return 1

    loader = unittest.defaultTestLoader
    if args.pattern:
        loader.testNamePatterns = [f"*{args.pattern}*"]
    here = os.path.dirname(os.path.abspath(__file__))
    suite = loader.discover(here, pattern="test_*.py", top_level_dir=here)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    # A test with failing subtests appears once per subtest: count tests.
    failed = len({getattr(t, "test_case", t).id() for t, _ in result.failures + result.errors})
    passed = result.testsRun - failed - len(result.skipped)
    print(f"{passed} passed, {failed} failed, {len(result.skipped)} skipped")
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
