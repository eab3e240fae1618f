#!/usr/bin/python3
"""What skill keys cost and give under Wine: the tool idle with F1-F8 as
skill keys beside the tool without any (its keyboard hook is set only with
some), and the presses a target sees per second with F1 held, against the
period, through its window's messages, raw input, and DirectInput's state
read once an 8 ms frame in a process of its own.

    skillprobe.py [idle seconds] [--save]

--save keeps the figures in bench/skillprobe.json under the Wine's version,
for the performance page.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import plan  # noqa: E402,F401  (puts the harness on the path)
from clicklog import ClickLog  # noqa: E402
from measure import Bench, log, save_probe, thread_ns  # noqa: E402
from programs import helper_exe  # noqa: E402
from session import to_windows_path  # noqa: E402
from waits import wait_until  # noqa: E402

SKILL_KEYS = "SkillKeys=112,113,114,115,116,117,118,119\r\n"
IDLE_INTERVALS = [40, 1]
PERIODS = [10, 16, 40, 100]
HOLD_S = 3.0


def close_tool(b):
    """Closed, not killed: a killed copy whose keyboard hook is set leaves
    Wine 8's DirectInput keyboard in other programs without input."""
    b.tool.close()
    wait_until(b.tray_gone, 15, interval=0.05, message="tray icon gone")


def held_f1(b, dinput):
    """F1 held HOLD_S seconds at the target; the downs each reader saw, and
    the messages' repeats per second after the first."""
    b.aim()
    b.log.mark()
    dinput.mark()
    b.S.xdotool("keydown", "F1", "sleep", str(HOLD_S), "keyup", "F1")

    def downs(log, kind, code):
        return [e for e in log.events(kind) if e[2] == code and e[3] == "D"]

    readers = ((b.log, "KM", "112"), (b.log, "KR", "112"), (dinput, "KF", "59"))

    def last(log, kind, code):
        return ([e[3] for e in log.events(kind) if e[2] == code] or ["U"])[-1]

    wait_until(lambda: all(last(*r) == "U" for r in readers), 10, message="F1 up at every reader",
               describe=lambda: "messages, raw input, DirectInput last read %s; the target's "
               "last lines %s" % ([last(*r) for r in readers], b.log.poll()[-6:]))
    messages = downs(b.log, "KM", "112")
    stamps = [int(e[1]) for e in messages[1:]]
    rate = (len(stamps) - 1) * 1000.0 / max(1, stamps[-1] - stamps[0]) if len(stamps) > 1 else 0
    return {"messages": len(messages), "raw": len(downs(b.log, "KR", "112")),
            "dinput": len(downs(dinput, "KF", "59")), "rate": rate}


def main():
    args = [a for a in sys.argv[1:] if a != "--save"]
    seconds = float(args[0]) if args else 20.0
    b = Bench(None)
    b.results["builds"]["yorisen"] = {}
    idle, presses = [], []
    b.start(["keys"])
    try:
        dinput = ClickLog(os.path.join(b.S.tmp, "dinput.log"))
        b.S.start_exe(helper_exe("clicktarget"),
                      [to_windows_path(dinput.path), 0, 0, 1, 1, "dinput", "dinput"])
        dinput.wait_count("START", 1)
        ws = b.wineserver_pid()
        for interval in IDLE_INTERVALS:
            for name, keys in (("none", ""), ("F1-F8", SKILL_KEYS)):
                proc, _ = b.start_tool("yorisen", interval, keys)
                b.aim()
                # The threads' own nanoseconds: /proc's ticks of 10 ms are
                # a twentieth of a per cent over 20 s, the size of the figure.
                ns0 = thread_ns(proc.pid)
                cpu = b.cpu_window([ws], seconds)
                ns1 = thread_ns(proc.pid)
                tool = sum(v - ns0.get(t, 0) for t, v in ns1.items()) / (seconds * 1e7)
                idle.append({"interval": interval, "skill_keys": name, "tool": tool,
                             "wineserver": cpu[ws]})
                log("idle at %d ms, skill keys %s: tool %.3f %%, wineserver %.3f %%"
                    % (interval, name, tool, cpu[ws]))
                close_tool(b)
        for period in PERIODS:
            b.start_tool("yorisen", period, SKILL_KEYS)
            row = dict(held_f1(b, dinput), period=period)
            presses.append(row)
            log("F1 held %.0f s at %d ms: %.1f presses/s; downs by messages %d, raw input %d, "
                "DirectInput %d" % (HOLD_S, period, row["rate"], row["messages"], row["raw"],
                                    row["dinput"]))
            close_tool(b)
    finally:
        b.close()
    if "--save" in sys.argv:
        save_probe("skillprobe", {"seconds": seconds, "hold_s": HOLD_S, "idle": idle,
                                  "presses": presses})


if __name__ == "__main__":
    main()
