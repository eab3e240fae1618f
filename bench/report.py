"""The page, docs/performance.md, and its chart: the goals judged, the
figures, the findings (findings.py) and how each figure is measured."""

from findings import findings, hook_cost, mouse_section, skill_keys, wine_versions
from plan import (IDLE_INTERVALS, INTERVALS, JITTER_INTERVALS, LATENCY_INTERVALS, LATENCY_OF,
                  PRESS_SET, PRODUCTS, RATIO_GOAL, RATIO_GOAL_1MS, SIZE_EXES, SLICE_S, VIEWS,
                  WINE32)
from stats import (gap_stats, goals, idle_of, latency_stats, measured, percentile, press_asked,
                   press_runs, press_set_of, press_stats, presses_of, rate_of)


def chart(results, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, (ax, bx) = plt.subplots(2, 1, figsize=(7.5, 7.0), dpi=110, sharex=True,
                                 height_ratios=[3, 2])
    ax.plot(INTERVALS, [1000.0 / i for i in INTERVALS], "k--", lw=1,
            label="ideal (1000 / interval)")
    # Baseline drawn first and dashed: where both builds agree, both stay visible.
    styles = {"yorisen": dict(marker="o", color="tab:blue", lw=2.5, zorder=2),
              "awake": dict(marker="^", color="tab:purple", lw=1.5, ls="--", mfc="none",
                            zorder=3),
              "settimer": dict(marker="s", color="tab:orange", lw=1.5, ls=":", mfc="none",
                               zorder=4),
              "yorisen32": dict(marker="D", color="tab:red", lw=1.5, ls="-.", mfc="none",
                                zorder=5)}
    for build in reversed(measured(results)):
        rates = results["builds"][build.name]["rates"]
        x = [r["interval"] for r in rates]
        ax.plot(x, [r["rate"] for r in rates], label=build.label, ms=6, **styles[build.name])
        bx.plot(x, [r["ratio"] for r in rates], ms=6, **styles[build.name])
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_ylabel("clicks per second delivered")
    ax.set_title("Click rate while the left-click key is held (Wine on Xvfb)")
    ax.grid(True, which="both", alpha=0.3)
    handles, labels = ax.get_legend_handles_labels()
    ax.legend(handles[:1] + handles[1:][::-1], labels[:1] + labels[1:][::-1])
    bx.plot([2, INTERVALS[-1]], [RATIO_GOAL] * 2, color="tab:green", lw=1, ls="--",
            label="goal: %.2f from 2 ms, %.2f at 1 ms" % (RATIO_GOAL, RATIO_GOAL_1MS))
    bx.plot([1], [RATIO_GOAL_1MS], color="tab:green", marker="_", ms=16, mew=1.5)
    bx.legend(loc="lower right", fontsize=8)
    bx.set_ylim(0, 1.08)
    bx.set_ylabel("achieved / ideal")
    bx.set_xlabel("interval (ms)")
    bx.set_xticks(INTERVALS)
    bx.set_xticklabels([str(i) for i in INTERVALS])
    bx.minorticks_off()
    bx.grid(True, alpha=0.3)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def fmt(v, digits=1):
    return "–" if v is None else ("%.*f" % (digits, v))


def slice_range(entry):
    sl = entry.get("tool_slices") or [entry["tool_cpu"]]
    return "%.2f–%.2f" % (min(sl), max(sl))


def press_cell(entry, asked):
    p50, p95, lo, hi = press_stats(entry)
    if p50 is None:
        return "no ups"
    lost = entry["downs_without_up"]
    return "%d: %d / %d (%d–%d) ms, %d%s" % (
        asked, p50, p95, lo, hi, len(entry["press_ms"]),
        ", %d downs without an up" % lost if lost else "")


def report(results, chart_name):
    m = results["machine"]
    base = results["wineserver_baseline"]
    builds = measured(results)
    names = [b.name for b in builds]
    L = []
    add = L.append

    def row(what, cell):
        def one(b):
            try:
                return cell(b)
            except (KeyError, StopIteration):
                return "–"  # not measured for this build
        add("| %s | %s |" % (what, " | ".join(one(b) for b in names)))

    add("# Performance")
    add("")
    widths = ("64-bit and 32-bit, the 32-bit one under Wine's 32-bit loader in the same "
              "prefix" if "yorisen32" in names else "64-bit")
    add("Measured by `bench/run` on %s: the product build `yorisen.exe` (waitable-timer "
        "tick thread that parks while no key is held and wakes on raw keyboard input), %s, "
        "side by side with `yorisen-awake.exe` (the same tick, waking every period for the whole "
        "run, as before parking) and `yorisen-settimer.exe` (the same program ticking on a "
        "plain `SetTimer`, never parked), both 64-bit, under Wine on Xvfb, driven by real X "
        "input from xdotool. Regenerate with `bench/run` (this run took about %d minutes)."
        % (results["date"], widths, max(1, round(results["run_s"] / 60.0))))
    add("")
    add("Machine: %s CPUs (`nproc`), %s; Linux %s; Debian %s; %s; Xvfb %s; xdotool %s."
        % (m["nproc"], m["cpu"], m["kernel"], m["debian"], m["wine"], m["xvfb"], m["xdotool"]))
    if results.get("load"):
        add("")
        add("Load: %s" % results["load"])
    pr = results.get("press_run")
    if pr:
        add("")
        add("The product exes' click rates, press times and idle CPU (and the wineserver "
            "baseline) are from `bench/run --only press` on %s (%.0f minutes); load: %s"
            % (pr["date"], pr["run_s"] / 60.0, pr["load"]))
    add("")
    add("## Goals")
    add("")
    products = [b for b in builds if b.name in PRODUCTS]
    add("| goal | %s |" % " | ".join(b.column for b in products))
    add("| --- |" + " --- |" * len(products))
    for what, cells in goals(results):
        add("| %s | %s |" % (what, " | ".join(
            "%s, %s" % (cells[b.name][0], "pass" if cells[b.name][1] else "**FAIL**")
            if b.name in cells else "–" for b in products)))
    add("")
    add("## Figures")
    add("")
    add("| figure | %s |" % " | ".join(b.column for b in builds))
    add("| --- |" + " --- |" * len(builds))
    for i in IDLE_INTERVALS:
        for view in VIEWS:
            row("idle at %d ms, window %s: tool CPU, %% of one core over %.0f s (range of its "
                "%d s slices)" % (i, view, results["settings"]["idle_s"], SLICE_S),
                lambda b: "%.2f %% (%s)" % (idle_of(results, b, i, view)["tool_cpu"],
                                             slice_range(idle_of(results, b, i, view))))
            row("idle at %d ms, window %s: wineserver CPU above its no-tool baseline (%.2f %%)"
                % (i, view, base),
                lambda b: "%.2f %%" % (idle_of(results, b, i, view)["wineserver_cpu"] - base))
    for i in LATENCY_INTERVALS:
        n = len(presses_of(results, "yorisen", i))
        row("key press → first click at %d ms: p50 / p99 (min–max), %d presses" % (i, n),
            lambda b: "%d / %d (%d–%d) ms" % latency_stats(presses_of(results, b, i)))
    for i in INTERVALS:
        row("click rate at %d ms (ideal %s/s): clicks/s, ratio (longest gap)"
            % (i, fmt(1000.0 / i, 0 if 1000 % i == 0 else 1)),
            lambda b: "%.1f, %.3f (%d ms)" % (rate_of(results, b, i)["rate"],
                                               rate_of(results, b, i)["ratio"],
                                               max(rate_of(results, b, i)["gaps"])))
    for i in INTERVALS:
        if "press_ms" in rate_of(results, "yorisen", i):
            row("press time at %d ms, default: asked: down → up p50 / p95 (min–max), presses"
                % i, lambda b: press_cell(rate_of(results, b, i), press_asked(i)))
    for i in INTERVALS:
        if press_runs(results, "yorisen", i)[1:]:
            row("press time at %d ms, PressTime=%d: asked: down → up p50 / p95 (min–max), "
                "presses; clicks/s, ratio" % (i, PRESS_SET),
                lambda b: "%s; %.1f, %.3f" % (
                    press_cell(press_set_of(results, b, i), press_asked(i, PRESS_SET)),
                    press_set_of(results, b, i)["rate"], press_set_of(results, b, i)["ratio"]))
    for i in JITTER_INTERVALS:
        row("gap between clicks at %d ms: p50 / p99 (max)" % i,
            lambda b: "%d / %d (%d) ms" % gap_stats(rate_of(results, b, i)["gaps"]))
    for i in JITTER_INTERVALS:
        row("while clicking at %d ms: CPU of tool / wineserver" % i,
            lambda b: "%.1f %% / %.1f %%" % (rate_of(results, b, i)["tool_cpu"],
                                             rate_of(results, b, i)["wineserver_cpu"]))
    pl = results.get("placement")
    if pl:
        for name, what in (("same", "tool and wineserver pinned to one CPU"),
                           ("apart", "tool and wineserver pinned to different CPUs")):
            row("idle at 40 ms, window shown, %s, %.0f s: tool / wineserver"
                % (what, results["settings"].get("placement_s", 10.0)),
                lambda b: "%.2f %% / %.2f %%" % (pl[b][name]["tool_cpu"],
                                                 pl[b][name]["wineserver_cpu"]))
    tray = {b: sorted(results["builds"][b]["tray_s"]) for b in names}
    row("process start → tray icon shown: median (min–max), starts",
        lambda b: "%.2f s (%.2f–%.2f), %d" % (percentile(tray[b], 50), tray[b][0], tray[b][-1],
                                              len(tray[b])))
    row("Wine host process RSS (VmRSS) after %.0f s idle at 40 ms" % results["settings"]["idle_s"],
        lambda b: "%.1f MiB" % (idle_of(results, b, 40)["rss_kb"] / 1024.0))
    row("threads of the Wine host process", lambda b: "%d" % idle_of(results, b, 40)["threads"])
    sizes = results["sizes"]
    for path in SIZE_EXES:
        # In the column of the build that is this exe, else the first.
        at = next((n for n, b in enumerate(builds) if b.exe == path), 0)
        add("| exe size, `%s` |%s" % (path, "".join(
            " %s bytes |" % "{:,}".format(sizes[path]) if n == at else " – |"
            for n in range(len(builds)))))
    add("")
    add("![Achieved against ideal click rate per interval](%s)" % chart_name)
    add("")
    L.extend(findings(results))
    L.extend(mouse_section(results))
    L.extend(hook_cost())
    L.extend(skill_keys())
    L.extend(wine_versions())
    L.extend(method(results))
    return "\n".join(L) + "\n"


def method(results):
    s = results["settings"]
    cc = results["clock_check"]
    presses = [p for b in results["builds"].values() for ps in b["presses"].values() for p in ps]
    xd = [p["xdotool_ms"] for p in presses]
    lat = [p["latency_ms"] for p in presses]
    pc = results.get("pid_check", {})
    if "cmdline0" in pc:
        pc = {"settimer": pc}  # a run saved before the check was kept per build
    loaders = {}
    for b, check in pc.items():
        loaders.setdefault(check["exe"], []).append(b)
    example = next(iter(pc.values()), {}).get("cmdline0", "?")
    out = ["## How it is measured", ""]
    out.append("One Xvfb, one fresh Wine prefix and one wineserver (`tests/e2e/session.py`), "
               "each copy of an exe started with the end-to-end tests' `Tool`. "
               "`clicktarget.exe` (from `tests/e2e/clicktarget.c`) is the active window with the "
               "pointer over it; it logs each `WM_LBUTTONDOWN` with `GetMessageTime()` — the "
               "time wineserver stamped on the injected input — and, from a 10 ms poll, the key "
               "state. Each measurement starts a fresh copy of the exe in a folder of its own "
               "with `Interval=` in its `config.ini`.")
    out.append("")
    out.append("- **Click rate**: the left-click key (X keysym `Left`) is held with `xdotool "
               "keydown` until the target's click stamps span at least %.0f s; rate = (n − 1) / "
               "(last − first stamp); ratio = rate / (1000 / interval)." % s["hold_s"])
    if "press_ms" in rate_of(results, "yorisen", INTERVALS[0]):
        out.append("- **Press time**: in each click-rate hold, each `LD` line is paired with the "
                   "next `LU` (the target logs both with `GetMessageTime()`, whole ms); press = "
                   "up − down. Asked: by default half the period rounded down, at most 50 ms; "
                   "with `PressTime=%d` in `config.ini`, a second hold at each interval for the "
                   "product exes, %d cut to the period − 1. Nearest-rank percentiles; a down "
                   "followed by another down counts as a down without an up."
                   % (PRESS_SET, PRESS_SET))
    out.append("- **Jitter**: the gaps between successive click stamps of those holds "
               "(1 ms resolution: `GetMessageTime` is in whole ms); nearest-rank percentiles.")
    out.append("- **Latency**: %d presses per build at each of %s ms. Each press waits until "
               "the previous one's key-up was seen and no click came for 100 ms, then two "
               "periods (at least 100 ms: a woken tick stays awake that long), then a random "
               "0–1 s, so presses find the product build parked and sample the phase of every "
               "build's tick and heartbeat. Press time = the host's CLOCK_MONOTONIC_RAW "
               "when `xdotool keydown --delay 0` returned (the call took %.1f ms median); first "
               "click = the stamp of the first new `LD` line. Both are in one clock: wineserver "
               "stamps input and the tick count from CLOCK_MONOTONIC_RAW in ms. Checks: the "
               "target's START stamp was %d ms old when read; the lowest latency, %d ms, is a "
               "click that came before xdotool returned. Using the time xdotool returned can "
               "only shorten the measured latency, by at most the call time."
               % (s["presses"], " and ".join(str(i) for i in LATENCY_INTERVALS),
                  percentile(xd, 50), cc["start_line_age_ms"], min(lat)))
    if "yorisen32" in results["builds"]:
        out.append("- **The 32-bit exe**: `build/win32/yorisen.exe`, started with Wine's 32-bit "
                   "loader (`%s`, Debian's `wine32`) in the same prefix and with the same "
                   "wineserver as the others (WoW64), measured for the click rate at every "
                   "interval, idle CPU at %s ms and the first click at %s ms; the other "
                   "latency interval, the pinned idle windows and the floor are measured on "
                   "the 64-bit builds only, to keep the run short."
                   % (WINE32, " and ".join(str(i) for i in sorted(IDLE_INTERVALS)),
                      " and ".join(str(i) for i in LATENCY_OF["yorisen32"])))
    out.append("- **Idle CPU**: no key held; utime + stime from `/proc/<pid>/stat` over %.0f s "
               "of wall time, as %% of one core, first with the tool's window shown (and "
               "active), then, in the same process, after a click on its minimise button has "
               "sent it to the tray. The pid is the process Wine runs the exe in (checked at "
               "every start: `/proc/<pid>/cmdline` starts with the exe's path, e.g. `…/%s`, "
               "and `/proc/<pid>/exe` is the loader it was started with: %s). The click target "
               "is ended first (its 10 ms timer keeps wineserver busy); wineserver's own rate "
               "without any tool, over %.0f s (%.2f %%), is subtracted from its rate with the "
               "tool running."
               % (s["idle_s"], example.replace("\\", "/").rsplit("/", 1)[-1],
                  "; ".join("`%s` for %s" % (exe, ", ".join(bs)) for exe, bs in loaders.items())
                  or "?", s["baseline_s"], results["wineserver_baseline"]))
    out.append("- **Per-tick cost**: the CPU split between the main thread and the others comes "
               "from `/proc/<pid>/task/*/schedstat`; the cost of the process without ticks from "
               "yorisen-awake.exe idling %.0f s at 999 ms; per tick = (idle CPU at 40 ms − that) "
               "/ 24 ticks a second." % s.get("floor_s", 20.0))
    out.append("- **Placement**: last, each build idles at 40 ms for %.0f s with every thread of "
               "the tool and of wineserver pinned (`sched_setaffinity`) to CPU 0, then %.0f s "
               "with the tool on CPU 0 and wineserver on CPU 1; wineserver's affinity is "
               "restored afterwards." % (s.get("placement_s", 10.0), s.get("placement_s", 10.0)))
    out.append("- **Start → tray icon**: from just before the wine process is spawned to the "
               "first poll (one `xdotool search` every 5 ms) that finds Wine's tray (a mapped "
               "window of `explorer.exe`), which Wine shows only while an icon exists; before "
               "each start the bench checks that Windows counts no tray window visible "
               "(`IsWindowVisible`). Every start of the run counts.")
    out.append("- **Working set**: VmRSS of that same Wine host process at the end of the %.0f s "
               "idle window at 40 ms with the window shown; it includes Wine's own loader, "
               "ntdll, win32u and the mapped system DLLs." % s["idle_s"])
    out.append("- **Timer probe**: `bench/timerprobe.c`, run in the same prefix after the click "
               "target is ended, %.0f s per period: a thread with the tick thread's timer, "
               "on absolute deadlines but skipping every late one, posts ticks to a "
               "message-only window; it counts deadlines, wakes, "
               "skipped deadlines, ticks dropped while one was pending, and the wake lateness "
               "on QueryPerformanceCounter. Mode 1 also makes the watcher's calls per tick and "
               "a `SendInput` of two zero mouse moves. It also times 20000 `SetEvent` calls "
               "(one wineserver round trip each)." % s.get("probe_s", 3.0))
    out.append("- **Exe sizes**: the MinGW-w64 release builds, statically linked C++ runtime.")
    durations = results.get("durations_s")
    if durations:
        out.append("- **Duration**: the run took %.0f minutes, of which %s."
                   % (results["run_s"] / 60.0,
                      ", ".join("%s %.1f min" % (what, v / 60.0) for what, v in durations.items())))
    out.append("")
    return out
