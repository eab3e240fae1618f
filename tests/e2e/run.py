#!/usr/bin/env python3
"""Runs every end-to-end test on the exe in $YORISEN_E2E_BIN_DIR under the
loader in $YORISEN_E2E_WINE; fails when the tools they need are missing
rather than skipping them. Ends with an 'e2e (<exe>, <loader>): N passed,
N failed' line."""
import os
import signal
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from harness import WINE, exe_is_32bit, loader_is_32bit, missing_tools  # noqa: E402
from tool import tool_exe  # noqa: E402


def run_suite(suite):
    """Runs suite verbosely; returns the result. Killed from outside, it
    unwinds the test at hand and runs no other, so every session still ends
    what it started (unittest takes a SystemExit for one test's error and
    would go on with the next)."""
    runner = unittest.TextTestRunner(verbosity=2, stream=sys.stdout)
    results = []
    make_result = runner._makeResult

    def keep_result():
        results.append(make_result())
        return results[-1]

    def stop(*_):
        for result in results:
            result.stop()
        sys.exit(143)

    runner._makeResult = keep_result
    signal.signal(signal.SIGTERM, stop)
    return runner.run(suite)


def main():
    missing = missing_tools()
    if missing:
        print("e2e: missing tools: %s" % ", ".join(missing))
        return 1
    # Which exe and loader every line below is about.
    what = "%s, %s" % (os.path.relpath(tool_exe()), WINE)
    print("e2e (%s)" % what)
    if not os.path.isfile(tool_exe()):
        print("e2e (%s): no such exe" % what)
        return 1
    if exe_is_32bit(tool_exe()) != loader_is_32bit():
        # The other loader would start the exe in a process of its own,
        # whose windows the harness would never find.
        print("e2e (%s): the exe and the loader are not both 32-bit or both 64-bit" % what)
        return 1
    pattern = sys.argv[1] if len(sys.argv) > 1 else "test_*.py"
    suite = unittest.defaultTestLoader.discover(HERE, pattern=pattern)
    result = run_suite(suite)
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    skipped = len(result.skipped)
    passed = result.testsRun - failed - skipped
    print("e2e (%s): %d passed, %d failed, %d skipped" % (what, passed, failed, skipped))
    return 0 if failed == 0 and skipped == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
