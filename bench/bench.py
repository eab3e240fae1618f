#!/usr/bin/python3
"""Benchmark: yorisen.exe (precise tick that parks while no key is held)
side by side with yorisen-awake.exe (the same tick, never parked) and
yorisen-settimer.exe (plain SetTimer tick) under Wine on Xvfb, driven by real
X input.

Measures click rate and jitter per interval, the press a target sees (down
to up, by default and with PressTime set), key press -> first click latency,
idle CPU with the window shown and hidden, start -> tray icon time, working
set, and X1 as the left-click key beside the keyboard key; writes
docs/performance.md and docs/click-rate.png.  bench/run builds the
exes and calls this with Debian's /usr/bin/python3 (matplotlib comes from
python3-matplotlib).

    bench.py [--hold S] [--idle S] [--presses N] [--from-json PATH] [--only mouse|press]

--from-json redraws the doc and chart from a saved run without measuring;
--only mouse measures X1 as the key alone (a few minutes), doc untouched;
--only press measures the product exes' click rates with their press times
and their idle CPU (about 8 minutes) and merges them into the saved full
run's figures and doc, if there is one.

The jobs: plan.py (what is measured, the goals), measure.py and phases.py
(measuring, with the end-to-end tests' harness and Tool), stats.py
(statistics, the goals judged), report.py and findings.py (the page).
"""

import argparse
import json
import os
import subprocess
import sys

# plan first: it puts the end-to-end tests' harness on the path.
from plan import BUILDS, INTERVALS, PRODUCTS, ROOT, WINE32  # noqa: I100
from measure import log
from phases import Run
from programs import missing_tools
from report import chart, report
from stats import goals, mouse_goals, press_runs, press_stats


def log_press(results):
    """The figures of a --only press run, for the console."""
    base = results["wineserver_baseline"]
    for b in PRODUCTS:
        for i in INTERVALS:
            for what, entry, asked in press_runs(results, b, i):
                log("%-9s %3d ms %-12s press asked %2d: p50 / p95 %s / %s ms, ratio %.3f, "
                    "%d downs without an up" % ((b, i, what, asked) + press_stats(entry)[:2]
                                                + (entry["ratio"], entry["downs_without_up"])))
        for e in results["builds"][b]["idle"]:
            log("%-9s idle %3d ms %s: tool %.2f %%, wineserver %.2f %% above baseline"
                % (b, e["interval"], e["view"], e["tool_cpu"], e["wineserver_cpu"] - base))


def merge_press(full, press):
    """A --only press run's figures in place of the product exes' in a full
    run's."""
    for b in PRODUCTS:
        for key in ("rates", "press_set", "idle"):
            if key in press["builds"].get(b, {}):
                # The full run's idle at 999 ms and the like stay.
                full["builds"][b][key] = press["builds"][b][key]
    full["wineserver_baseline"] = press["wineserver_baseline"]
    full["press_run"] = {"date": press["date"], "load": press["load"], "run_s": press["run_s"]}


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--hold", type=float, default=3.0, help="seconds of clicks per interval")
    p.add_argument("--idle", type=float, default=30.0, help="seconds per idle CPU window")
    p.add_argument("--baseline", type=float, default=20.0, help="seconds of wineserver baseline")
    p.add_argument("--floor", type=float, default=20.0, help="seconds idle at 999 ms")
    p.add_argument("--placement", type=float, default=10.0,
                   help="seconds per pinned idle window")
    p.add_argument("--presses", type=int, default=100,
                   help="presses per build and interval for latency")
    p.add_argument("--probe", type=float, default=3.0, help="seconds per timerprobe run")
    p.add_argument("--mouse-idle", type=float, default=20.0,
                   help="seconds per idle window with X1 as the key, pointer still or moving")
    p.add_argument("--only", choices=["mouse", "press"],
                   help="mouse: measure only X1 as the key, into build/bench/mouse.json, no "
                   "doc; press: only the product exes' click rates with their press times "
                   "(default and PressTime set) and idle CPU, into build/bench/press.json, "
                   "merged into the saved full run's figures and doc when there is one")
    p.add_argument("--docs", default=os.path.join(ROOT, "docs"))
    p.add_argument("--json", default=os.path.join(ROOT, "build", "bench", "results.json"),
                   help="where the raw figures are saved")
    p.add_argument("--from-json", help="write the doc from saved figures, measure nothing")
    args = p.parse_args()

    if args.from_json:
        with open(args.from_json) as f:
            results = json.load(f)
    else:
        missing = missing_tools() + [p for p in [WINE32] + [b.exe for b in BUILDS]
                                     if not os.path.isfile(os.path.join(ROOT, p))]
        if missing:
            sys.exit("missing: %s" % ", ".join(missing))
        try:
            # X1 and the primary button are measured on the 64-bit exe only.
            if args.only != "mouse":
                subprocess.run([WINE32, "--version"], stdout=subprocess.DEVNULL, check=True)
        except (OSError, subprocess.CalledProcessError) as e:
            sys.exit("%s does not start (%s): the 32-bit exe cannot be measured here" % (WINE32, e))
        bench = Run(args)
        try:
            bench.run()
        except Exception:
            # A run that fails half an hour in keeps what it measured.
            partial = os.path.join(os.path.dirname(args.json), "partial.json")
            os.makedirs(os.path.dirname(partial), exist_ok=True)
            with open(partial, "w") as f:
                json.dump(bench.results, f, indent=1)
            log("figures so far saved to %s" % partial)
            raise
        results = bench.results
        if args.only:
            args.json = os.path.join(os.path.dirname(args.json), args.only + ".json")
        os.makedirs(os.path.dirname(args.json), exist_ok=True)
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1)
        log("figures saved to %s" % args.json)
        if args.only == "mouse":
            for what, cells in mouse_goals(results):
                for value, ok in cells.values():
                    log("%s: %s: %s" % ("pass" if ok else "FAIL", what, value))
            return
        if args.only == "press":
            full = os.path.join(os.path.dirname(args.json), "results.json")
            log_press(results)
            if not os.path.exists(full):
                log("no full run saved at %s: doc untouched" % full)
                return
            with open(full) as f:
                merged = json.load(f)
            merge_press(merged, results)
            with open(full, "w") as f:
                json.dump(merged, f, indent=1)
            log("merged into %s" % full)
            results = merged

    os.makedirs(args.docs, exist_ok=True)
    chart(results, os.path.join(args.docs, "click-rate.png"))
    with open(os.path.join(args.docs, "performance.md"), "w") as f:
        f.write(report(results, "click-rate.png"))
    columns = {b.name: b.column for b in BUILDS}
    for what, cells in goals(results):
        for b, (value, ok) in cells.items():
            log("%s: %s, %s: %s" % ("pass" if ok else "FAIL", what, columns[b], value))
    log("wrote %s" % os.path.join(args.docs, "performance.md"))


if __name__ == "__main__":
    main()
