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


def main():
    # Killed from outside: unwind, so every session ends what it started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
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
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    skipped = len(result.skipped)
    passed = result.testsRun - failed - skipped
    print("e2e (%s): %d passed, %d failed, %d skipped" % (what, passed, failed, skipped))
    return 0 if failed == 0 and skipped == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
