#!/usr/bin/python3
"""What a parked tick woken by a raw key-down finds, under the Wine at hand:
how long the press takes to reach Wine (from just before `xdotool keydown`
to the input's stamp, both in CLOCK_MONOTONIC_RAW ms), how long WM_INPUT
then takes to arrive, and how long GetAsyncKeyState goes on answering "up"
(bench/keyprobe.c). The click target has the focus, as in the
tests; presses come 1.2-2.2 s apart, as after a parked second.

    keyprobe.py [presses] [--save]    (default 20 presses, about 2 s each)

--save keeps the figures in bench/keyprobe.json under the Wine's version,
beside the other versions' figures; bench.py's doc shows them.
"""

import json
import os
import random
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import (TARGET, TARGET_POINT, WINE, ClickLog, WineSession,  # noqa: E402
                     helper_exe, ms_diff, to_windows_path, wait_until, wine_ms)


def main():
    args = [a for a in sys.argv[1:] if a != "--save"]
    presses = int(args[0]) if args else 20
    out_dir = os.path.join(ROOT, "build", "bench")
    os.makedirs(out_dir, exist_ok=True)
    exe = os.path.join(out_dir, "keyprobe.exe")
    subprocess.run(["x86_64-w64-mingw32-gcc", "-O2", "-Wall", "-municode", "-mwindows", "-o", exe,
                    os.path.join(ROOT, "bench", "keyprobe.c")], check=True, timeout=120)
    version = subprocess.run([WINE, "--version"], capture_output=True,
                             text=True).stdout.strip()
    with WineSession() as s:
        target_log = ClickLog(os.path.join(s.tmp, "target.log"))
        target = s.start_exe(helper_exe("clicktarget"),
                             [to_windows_path(target_log.path)] + list(TARGET))
        target_win = s.wait_window(name="^clicktarget$", pid=target.pid)
        target_log.wait_count("START", 1)
        probe = ClickLog(os.path.join(s.tmp, "keyprobe.log"))
        s.start_exe(exe, [to_windows_path(probe.path), 37])
        probe.wait_count("START", 1)
        probe.mark()
        s.activate(target_win)
        s.move(*TARGET_POINT)
        rows = []
        for _ in range(presses):
            # The gap is the measurement's input: a deadline on the clock.
            gap_end = time.monotonic() + random.uniform(1.2, 2.2)
            wait_until(lambda: time.monotonic() >= gap_end, 5, interval=0.002)
            before = wine_ms()
            s.key_down("Left")
            wait_until(lambda: probe.lines(), 5, message="the probe's line")
            s.key_up("Left")
            row = [int(v) for v in probe.lines()[0].split()]
            rows.append(row + [ms_diff(row[0], before)])
            probe.mark()
    reached = sorted(r[4] for r in rows)
    delivered = sorted(r[1] for r in rows)
    seen = sorted(r[3] for r in rows)
    up = sum(1 for r in rows if not r[2])
    mid = len(rows) // 2
    print("%s, %d presses: input stamped %d-%d ms (median %d) after the press; WM_INPUT "
          "%d-%d ms (median %d) after the stamp; GetAsyncKeyState said up then for %d; "
          "down %d-%d ms (median %d) after the stamp"
          % (version, len(rows), reached[0], reached[-1], reached[mid], delivered[0],
             delivered[-1], delivered[mid], up, seen[0], seen[-1], seen[mid]))
    if "--save" in sys.argv:
        path = os.path.join(ROOT, "bench", "keyprobe.json")
        saved = {}
        if os.path.exists(path):
            with open(path) as f:
                saved = json.load(f)
        saved[version] = {"stamped_ms": [r[4] for r in rows], "delivered_ms": [r[1] for r in rows],
                          "up_at_input": up, "down_ms": [r[3] for r in rows],
                          "loadavg": os.getloadavg()[0]}
        with open(path, "w") as f:
            json.dump(saved, f, indent=1, sort_keys=True)
            f.write("\n")
    for r in rows:
        print("  stamped %3d ms, delivered %3d ms, down then %d, down at %3d ms"
              % (r[4], r[1], r[2], r[3]))


if __name__ == "__main__":
    main()
