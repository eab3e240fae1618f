#!/usr/bin/env python3
"""Runs one end-to-end test many times in a row in one session, to show that
it holds (or to catch it failing): repeat.py test_yorisen.YorisenTest.test_x 30"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from run import run_suite  # noqa: E402


def main():
    name, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 10
    module_name, class_name, test_name = name.split(".")
    case = getattr(__import__(module_name), class_name)
    suite = unittest.TestSuite(case(test_name) for _ in range(count))
    result = run_suite(suite)
    failed = len(result.failures) + len(result.errors)
    print("repeat: %s %d runs, %d passed, %d failed"
          % (test_name, count, result.testsRun - failed, failed))
    return 1 if failed or result.testsRun != count else 0


if __name__ == "__main__":
    sys.exit(main())
