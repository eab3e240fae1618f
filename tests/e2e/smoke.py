#!/usr/bin/env python3
"""Runs smoke.exe on the yorisen.exe in $YORISEN_E2E_BIN_DIR under the loader
in $YORISEN_E2E_WINE, in a private Xvfb and Wine prefix. The input is the
smoke test's own SendInput; this only gives it a desktop. Prints its lines
and ends with its exit code."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import (HarnessError, WineSession, exe_is_32bit, helper_exe,  # noqa: E402
                     loader_is_32bit, to_windows_path)
from tool import tool_exe  # noqa: E402


def main():
    exe = tool_exe()
    if exe_is_32bit(exe) != loader_is_32bit():
        print("smoke: %s and the loader are not both 32-bit or both 64-bit" % exe)
        return 1
    with WineSession() as session:
        smoke = session.start_exe(helper_exe("smoke"), [to_windows_path(exe)], cwd=session.tmp)
        try:
            # Its own waits add up to about a minute at most.
            code = smoke.wait_exit(120)
        except HarnessError as e:
            code = "none (%s)" % e
        lines = [l for l in smoke.output().splitlines()
                 if l.startswith(("PASS:", "FAIL:", "note:", "smoke:", "usage:"))]
        print("\n".join(lines) or smoke.output())
        print("smoke.exe (%s): exit code %s" % (os.path.relpath(exe), code))
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
