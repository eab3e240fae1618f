#!/usr/bin/env python3
"""Runs every end-to-end test; fails when the tools they need are missing
rather than skipping them. Ends with a 'N passed, N failed' line."""
import os
import signal
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from harness import missing_tools  # noqa: E402


def main():
    # Killed from outside: unwind, so every session ends what it started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    missing = missing_tools()
    if missing:
        print("e2e: missing tools: %s" % ", ".join(missing))
        return 1
    pattern = sys.argv[1] if len(sys.argv) > 1 else "test_*.py"
    suite = unittest.defaultTestLoader.discover(HERE, pattern=pattern)
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    skipped = len(result.skipped)
    passed = result.testsRun - failed - skipped
    print("e2e: %d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 0 if failed == 0 and skipped == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
