#!/usr/bin/python3
"""What a low-level mouse hook costs under Wine while the pointer moves,
apart from the tool: the bench's mouse goal (idle with the primary button
as the key, pointer moving 100 times a second: 1.0 % of a core) set beside
a bare hook.

    hookprobe.py [seconds] [rounds] [--save]

Each round, with the click target active and the pointer over it: CPU with
the pointer still, then with one xdotool moving it 1 px right and back 100
times a second, of
  - hookprobe.exe: a thread whose WH_MOUSE_LL hook only passes each event on;
  - hookprobe.exe nohook: the same process without the hook;
  - yorisen.exe with LeftKey=1 (its hook), and with LeftKey=37 (none), at 40 ms.
--save keeps the figures in bench/hookprobe.json under the Wine's version,
for the performance page.
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from plan import MOVES_PER_S, ROOT  # noqa: E402  (puts the harness on the path)
from measure import Bench, log, save_probe  # noqa: E402
from programs import helper_exe  # noqa: E402
from waits import wait_until  # noqa: E402

CONDITIONS = [("bare hook", None, "hook"), ("no hook", None, "nohook"),
              ("LeftKey=1", "LeftKey=1\r\n", None), ("LeftKey=37", "LeftKey=37\r\n", None)]


def main():
    args = [a for a in sys.argv[1:] if a != "--save"]
    seconds = float(args[0]) if args else 10.0
    rounds = int(args[1]) if len(args) > 1 else 2
    b = Bench(None)
    b.results["builds"]["yorisen"] = {}
    rows = {name: [] for name, _, _ in CONDITIONS}
    b.start()
    try:
        ws = b.wineserver_pid()
        b.aim()
        # The moves' pause, so that one xdotool makes about 100 a second.
        t0 = time.monotonic()
        b.S.xdotool(*b.moves(100, 1.0 / MOVES_PER_S))
        pause = max(0.0, 2.0 / MOVES_PER_S - (time.monotonic() - t0) / 100)
        for _ in range(rounds):
            for name, keys, probe_arg in CONDITIONS:
                if keys is None:
                    proc = b.S.start_exe(helper_exe("hookprobe"), [probe_arg])
                    wait_until(lambda: "ready" in proc.output(), 20, message="hookprobe ready")
                else:
                    proc, _ = b.start_tool("yorisen", 40, keys)
                b.aim()
                still = b.cpu_window([proc.pid, ws], seconds)
                moving, rate = b.moving([proc.pid, ws], seconds, pause)
                row = {"still": still[proc.pid], "moving": moving[proc.pid], "moves_per_s": rate,
                       "wineserver_still": still[ws], "wineserver_moving": moving[ws]}
                rows[name].append(row)
                log("%-10s still %.2f %%, moving %.2f %% (%.0f moves/s); wineserver %.2f -> "
                    "%.2f %%" % (name, row["still"], row["moving"], rate,
                                 row["wineserver_still"], row["wineserver_moving"]))
                if keys is None:
                    proc.kill()
                    wait_until(lambda: not proc.alive(), 10, message="hookprobe gone")
                else:
                    b.stop_tool(proc)
    finally:
        b.close()
    if "--save" in sys.argv:
        save_probe("hookprobe", {"seconds": seconds, "rows": rows})


if __name__ == "__main__":
    main()
