"""The page's findings: what this run's figures show, each lead judged from
the goals."""

import json
import os

from plan import (BEFORE, HOLD_DELAY, INTERVALS, LATENCY_INTERVALS, LATENCY_P99_GOAL, MOUSE_BUILD,
                  MOUSE_HOLD_ROUNDS, MOUSE_IDLE_INTERVALS, MOUSE_KEYS, MOUSE_LATENCY_INTERVAL,
                  MOVES_PER_S, PRESS_P50_GOAL, PRESS_P95_GOAL, PRESS_SET, PRODUCTS, RATIO_GOAL,
                  RATIO_GOAL_1MS, RECHECK_MS, ROOT, VIEWS)
from stats import (gap_stats, goals, headline, idle_of, key_presses, latency_stats,
                   missed_goals, mouse_holds, mouse_of, percentile, press_asked, press_set_of,
                   press_runs, press_stats, presses_of, rate_of)

# A figure within this factor of another counts as no more than it: the
# spread of one figure between runs on this machine.
NOISE = 1.25
# How late after the woken tick's second look a press may still count as
# one that waited for it.
RECHECK_SLACK_MS = 15


def findings(results):
    """What the figures show, written from this run's numbers: each lead
    says pass or FAIL from the goals, and a cause is named only where a
    figure of the run shows it."""
    R = results["builds"]
    probe = results["probe"]
    cores = results["machine"]["nproc"]
    base = results["wineserver_baseline"]
    missed = missed_goals(results)
    out = ["## Findings", ""]
    if missed:
        out.append("Goals missed in this run: %s." % "; ".join(missed))
    else:
        out.append("Every goal was met in this run.")
    out.append("")
    out.append("Unless a finding names the 32-bit exe, `yorisen.exe` there is the 64-bit one.")
    out.append("")

    def idle(b, i, v="shown"):
        return idle_of(results, b, i, v)

    def each_idle(b, field="tool_cpu", less=0.0):
        return " / ".join("%.2f %%" % (idle(b, i, v)[field] - less) for i in (1, 40) for v in VIEWS)

    # Idle, no key held.
    floor = R["awake"]["idle_floor"]
    parked = max(idle("yorisen", i, v)["tool_cpu"] for i in (1, 40) for v in VIEWS)
    text = ("- **%s.** With no key held, yorisen.exe uses %s of a core (1 ms and 40 ms, window "
            "shown, then hidden in the tray); the always-awake tick used %s, and wineserver %s "
            "above its baseline against %s. The always-awake build ticking once a second (%d ms) "
            "uses %.2f %%" % (headline(results, "yorisen", "Idle, no key held", ("idle",)),
                              each_idle("yorisen"), each_idle("awake"),
                              each_idle("yorisen", "wineserver_cpu", base),
                              each_idle("awake", "wineserver_cpu", base), floor["interval"],
                              floor["tool_cpu"]))
    if parked <= floor["tool_cpu"] * NOISE:
        text += (": parked, the tool costs no more than that, Wine's own idle cost of a process "
                 "with a window.")
    else:
        text += ": parked, the tool costs up to %.2f %% more than that." % (
            parked - floor["tool_cpu"])
    out.append(text)

    # Latency.
    parts, slow = [], []
    for i in LATENCY_INTERVALS:
        ps = presses_of(results, "yorisen", i)
        lat = sorted(p["latency_ms"] for p in ps)
        over = [v for v in lat if v > LATENCY_P99_GOAL]
        slow += over
        a, t = latency_stats(presses_of(results, "awake", i)), latency_stats(
            presses_of(results, "settimer", i))
        parts.append("at %d ms, p50 / p99 %d / %d ms (always awake: %d / %d ms, SetTimer: "
                     "%d / %d ms); %d of %d presses took over %d ms (%s ms)"
                     % (i, percentile(lat, 50), percentile(lat, 99), a[0], a[1], t[0], t[1],
                        len(over), len(ps), LATENCY_P99_GOAL,
                        ", ".join(str(v) for v in over[-8:]) or "none"))
    allp = [p for b in ("yorisen", "awake", "settimer") for i in LATENCY_INTERVALS
            for p in presses_of(results, b, i)]
    seen = [p["key_seen_ms"] for p in allp if p["key_seen_ms"] is not None]
    xd = [p["xdotool_ms"] for p in allp]
    ours = [p for i in LATENCY_INTERVALS for p in presses_of(results, "yorisen", i)]
    early = sum(1 for p in ours if p["latency_ms"] < 0)
    upper = [p["latency_ms"] + p["xdotool_ms"] for p in ours]
    text = ("- **%s.** %s. The press time is when `xdotool keydown` returned (%.1f ms median "
            "for the call); the key goes out before that, and for %d of yorisen.exe's %d presses "
            "the click came before xdotool returned (a latency below 0). Counted from when the "
            "call began instead, an upper bound, yorisen.exe's p50 / p99 over both intervals are "
            "%.0f / %.0f ms. The click target, which has the keyboard focus, saw the key %d ms "
            "after the return (median, from its 10 ms poll)."
            % (headline(results, "yorisen", "Key press → first click", ("key press",)),
               "; ".join(parts)[0].upper() + "; ".join(parts)[1:], percentile(xd, 50), early,
               len(ours), percentile(upper, 50), percentile(upper, 99), percentile(seen, 50)))
    # A woken tick that reads the key up looks again RECHECK_MS later: a
    # press that took that long shows it.
    rechecked = [v for v in slow if RECHECK_MS <= v <= RECHECK_MS + RECHECK_SLACK_MS]
    if rechecked:
        text += (" %d of the %d slow presses took %d–%d ms, the woken tick's second look %d ms "
                 "after the first: the first read the key as up. Wine's `GetAsyncKeyState`, in "
                 "a process without the focus, answers from a per-thread cache for 50 ms after "
                 "its last server query (win32u `NtUserGetAsyncKeyState`), and the parked tick's "
                 "heartbeat makes one such query a second; Windows has no such cache."
                 % (len(rechecked), len(slow), min(rechecked), max(rechecked), RECHECK_MS))
    out.append(text)

    # The click rates of the baseline and the precise tick.
    t_rates = [rate_of(results, "settimer", i)["rate"] for i in (1, 2, 5)]
    text = ("- **The SetTimer baseline at 1, 2 and 5 ms: %s clicks/s; the precise tick: %s.** "
            "Parking changes no rate: the always-awake build clicks %s."
            % (", ".join("%.0f" % r for r in t_rates),
               ", ".join("%.0f/s at %d ms" % (rate_of(results, "yorisen", i)["rate"], i)
                         for i in (1, 2, 5)),
               ", ".join("%.0f/s" % rate_of(results, "awake", i)["rate"] for i in (1, 2, 5))))
    if all(r <= 100 * NOISE for r in t_rates):
        text += (" The baseline clicks at most about 100 times a second at every period under "
                 "10 ms: its window timer is clamped to 10 ms.")
    out.append(text)

    # 1 ms: Wine's timer.
    y1 = rate_of(results, "yorisen", 1)
    g1 = y1["gaps"]
    late = sum(1 for g in g1 if g >= 2)
    p0, p1, p2, p5 = probe["1/0"], probe["1/1"], probe["2/0"], probe["5/0"]
    text = ("- **%s.** The precise tick delivered %.0f clicks/s; %d of %d gaps were 2 ms or "
            "more (longest %d ms). `bench/timerprobe.c` arms a waitable timer on absolute "
            "deadlines but skips every deadline a wake is a whole period late for: with nothing "
            "else running, at 1 ms its wait woke %.0f µs after the deadline at p50 and %.0f µs "
            "at p99, %.0f of %.0f deadlines (%.1f %%) were skipped and a window got %.0f ticks/s "
            "(ratio %.3f); with the watcher's calls and a `SendInput` per tick, %.0f ticks/s. At "
            "2 ms the skipping probe lost %.1f %% of deadlines, at 5 ms %.1f %%."
            % (headline(results, "yorisen", "Click rate at 1 ms", ("click rate ratio at 1 ms",)),
               y1["rate"], late, len(g1), max(g1), p0["late_p50_us"], p0["late_p99_us"],
               p0["skipped"], p0["deadlines"], 100.0 * p0["skipped"] / p0["deadlines"],
               p0["rate"], p0["rate"] / 1000.0, p1["rate"],
               100.0 * p2["skipped"] / p2["deadlines"], 100.0 * p5["skipped"] / p5["deadlines"]))
    if late and y1["ratio"] >= RATIO_GOAL_1MS and p0["rate"] / 1000.0 < RATIO_GOAL_1MS:
        text += (" The tool's tick, which counts deadlines missed by up to 20 ms as due, made "
                 "up the late wakes the skipping probe lost.")
    out.append(text)
    out.extend(press_findings(results))
    ya, aa = rate_of(results, "yorisen", 40), rate_of(results, "awake", 40)
    out.append("- While a key is held, yorisen.exe and yorisen-awake.exe run the same tick "
               "(parking acts only while no key is held): their gaps at 40 ms, p99 %d against "
               "%d ms; at 1 ms, longest %d against %d ms."
               % (gap_stats(ya["gaps"])[1], gap_stats(aa["gaps"])[1], max(y1["gaps"]),
                  max(rate_of(results, "awake", 1)["gaps"])))
    out.append("- While clicking at 1 ms the tool uses %.0f %% of a core and wineserver %.0f %% "
               "(of %s CPUs). One wineserver round trip (`SetEvent`) takes %.1f µs here."
               % (y1["tool_cpu"], y1["wineserver_cpu"], cores, probe["roundtrip_us"]))
    # 1 ms has its finding above.
    for r in R["yorisen"]["rates"][1:]:
        need = RATIO_GOAL
        if r["ratio"] < need:
            long_ = [g for g in r["gaps"] if g >= 2 * r["interval"]]
            text = ("- **Click rate at %d ms: FAIL, ratio %.3f (goal ≥ %.2f).** %d of %d gaps "
                    "were two intervals or longer (longest %d ms); the median gap was %d ms."
                    % (r["interval"], r["ratio"], need, len(long_), len(r["gaps"]),
                       max(r["gaps"]), percentile(r["gaps"], 50)))
            if long_ and percentile(r["gaps"], 50) <= r["interval"]:
                text += " The period held: the ticks were lost in those long gaps."
            out.append(text)

    # What an awake tick costs.
    ai = idle("awake", 40)
    ticks = 1000.0 / 40 - 1000.0 / floor["interval"]
    per_tick = (ai["tool_cpu"] - floor["tool_cpu"]) / 100.0 * 1e6 / ticks
    out.append("- **Awake, a tick costs about %.0f µs of CPU here** (always-awake build idling "
               "at 40 ms: %.2f %%, %.2f %% in its tick thread and %.2f %% in the main thread, "
               "against %.2f %% ticking once a second), plus %.2f %% in wineserver. At 1 ms the "
               "always-awake build uses %.1f %% of a core and wineserver %.1f %% more, with no "
               "key held."
               % (per_tick, ai["tool_cpu"], ai["other_threads_cpu"], ai["main_thread_cpu"],
                  floor["tool_cpu"], ai["wineserver_cpu"] - base, idle("awake", 1)["tool_cpu"],
                  idle("awake", 1)["wineserver_cpu"] - base))
    pl = results.get("placement")
    if pl:
        a_s, a_a = pl["awake"]["same"], pl["awake"]["apart"]
        out.append("- **Pinned for %.0f s each at 40 ms, the always-awake build uses %.2f %% "
                   "with the tool on the same CPU as wineserver and %.2f %% with them apart** "
                   "(wineserver %.2f %% against %.2f %%). Parked, yorisen.exe is at %.2f %% and "
                   "%.2f %%."
                   % (results["settings"].get("placement_s", 10.0), a_s["tool_cpu"],
                      a_a["tool_cpu"], a_s["wineserver_cpu"], a_a["wineserver_cpu"],
                      pl["yorisen"]["same"]["tool_cpu"], pl["yorisen"]["apart"]["tool_cpu"]))
    out.append("- The working set, %.1f MiB, counts all the host process maps: Wine's loader, "
               "ntdll, win32u, the X11 driver and the system DLLs the exe imports."
               % (idle("yorisen", 40)["rss_kb"] / 1024.0))
    if "yorisen32" in R:
        r32 = {i: rate_of(results, "yorisen32", i)["ratio"] for i in INTERVALS}
        r64 = {i: rate_of(results, "yorisen", i)["ratio"] for i in INTERVALS}
        l32 = latency_stats(presses_of(results, "yorisen32", 40))
        l64 = latency_stats(presses_of(results, "yorisen", 40))
        out.append("- **%s.** Under the 32-bit loader in the same prefix: click rate ratios %s at "
                   "%s ms (64-bit: %s); idle %s of a core (1 ms and 40 ms, window shown, then "
                   "hidden; 64-bit: %s); first click at 40 ms p50 / p99 %d / %d ms (64-bit: "
                   "%d / %d ms); working set %.1f MiB (64-bit: %.1f MiB)."
                   % (headline32(results), ", ".join("%.3f" % r32[i] for i in INTERVALS),
                      ", ".join(str(i) for i in INTERVALS),
                      ", ".join("%.3f" % r64[i] for i in INTERVALS),
                      each_idle("yorisen32"), each_idle("yorisen"),
                      l32[0], l32[1], l64[0], l64[1],
                      idle("yorisen32", 40)["rss_kb"] / 1024.0,
                      idle("yorisen", 40)["rss_kb"] / 1024.0))
    out.append("")
    return out


def headline32(results):
    """The 32-bit exe's lead: its goals, all met or which were missed."""
    missed = [what for what, cells in goals(results)
              if "yorisen32" in cells and not cells["yorisen32"][1]]
    judged = sum(1 for _, cells in goals(results) if "yorisen32" in cells)
    if missed:
        return "The 32-bit exe: FAIL, %d of its %d goals missed (see Goals)" % (
            len(missed), judged)
    return "The 32-bit exe: pass, all its %d goals met (see Goals)" % judged


def press_findings(results):
    """The press a target sees, and what holding it changed: the rate and
    the idle cost against the run before presses were held."""
    R = results["builds"]
    base = results["wineserver_baseline"]
    if "press_ms" not in rate_of(results, "yorisen", INTERVALS[0]):
        return []
    out = []
    for b in (b for b in PRODUCTS if b in R):
        name = "yorisen.exe" + (" 32-bit" if b == "yorisen32" else "")
        sets = []
        for what, set_ms in (("by default (half the period, at most 50 ms)", None),
                             ("with `PressTime=%d` (cut to the period − 1)" % PRESS_SET,
                              PRESS_SET)):
            cells = []
            for i in INTERVALS:
                e = (rate_of(results, b, i) if set_ms is None else press_set_of(results, b, i))
                p50, p95, _, _ = press_stats(e)
                cells.append("%d ms asked %d: %s / %s" % (i, press_asked(i, set_ms), p50, p95))
            sets.append("%s %s" % (what, ", ".join(cells)))
        lost = sum(e["downs_without_up"] for e in R[b]["rates"] + R[b].get("press_set", []))
        presses = sum(len(e["press_ms"]) for e in R[b]["rates"] + R[b].get("press_set", []))
        before = BEFORE[b]
        idle = [idle_of(results, b, i, v) for i in (1, 40) for v in VIEWS]
        text = (
            "- **%s.** Down → up at the target, "
            "p50 / p95 in ms: %s. %d of %d downs had no up before the next down. Click "
            "rate ratios %s at %s ms by default and %s with `PressTime=%d` (instant clicks, "
            "the run of %s: %s). Idle with no key held, %s of a core (1 ms and 40 ms, window "
            "shown, then hidden) and wineserver %s above its baseline; with instant clicks "
            "%s and %s."
            % (press_headline(results, b, name),
               "; ".join(sets), lost, presses + lost,
               ", ".join("%.3f" % rate_of(results, b, i)["ratio"] for i in INTERVALS),
               ", ".join(str(i) for i in INTERVALS),
               ", ".join("%.3f" % press_set_of(results, b, i)["ratio"] for i in INTERVALS),
               PRESS_SET, BEFORE["date"], ", ".join("%.3f" % r for r in before["ratios"]),
               " / ".join("%.2f %%" % e["tool_cpu"] for e in idle),
               " / ".join("%.2f %%" % (e["wineserver_cpu"] - base) for e in idle),
               " / ".join("%.2f %%" % v for v in before["idle"]),
               " / ".join("%.2f %%" % v for v in before["wineserver"])))
        if all(e["tool_cpu"] <= v * NOISE for e, v in zip(idle, before["idle"])):
            text += " Holding the press added no idle CPU: a parked tick owes no up."
        out.append(text)
    if "settimer" in R and "press_ms" in rate_of(results, "settimer", INTERVALS[0]):
        p50s = [press_stats(rate_of(results, "settimer", i))[0] for i in INTERVALS]
        text = ("- The SetTimer baseline times its up with a one-shot window timer: its p50 "
                "press is %s ms at %s ms." % (", ".join(str(p) for p in p50s),
                                               ", ".join(str(i) for i in INTERVALS)))
        short = [p for i, p in zip(INTERVALS, p50s) if i < 10]
        if short and all(p == 0 for p in short):
            text += (" Under 10 ms, where its window timer cannot time the up, the press stayed "
                     "instant.")
        out.append(text)
    return out


def press_headline(results, build, name):
    """The press finding's lead: when every press goal was met, how far
    off the press asked the worst interval came; else the goals missed."""
    topic = "%s, the press a target sees" % name
    judged = [cells[build] for what, cells in goals(results)
              if build in cells and what.startswith("press time")]
    if not judged or not all(ok for _, ok in judged):
        return headline(results, build, topic, ("press time",))
    off50 = off95 = 0
    for i in INTERVALS:
        for _, entry, asked in press_runs(results, build, i):
            p50, p95, _, _ = press_stats(entry)
            off50, off95 = max(off50, abs(p50 - asked)), max(off95, abs(p95 - asked))
    return ("%s: pass, at every interval p50 at most %d ms and p95 at most %d ms off the press "
            "asked (goals: %d and %d ms), every down with its up"
            % (topic, off50, off95, PRESS_P50_GOAL, PRESS_P95_GOAL))


def mouse_section(results):
    """X1 as the left-click key: why it is heard this way, and its figures
    beside the keyboard key's."""
    if "mouse" not in results["builds"].get(MOUSE_BUILD, {}):
        return []
    m = results["builds"][MOUSE_BUILD]["mouse"]
    out = ["## A mouse button as the key", ""]
    out.append("The middle, X1 and X2 buttons (codes 4, 5, 6) can be watched keys. Raw keyboard "
               "input, which wakes the parked tick, never reports them, so while the tick is "
               "parked and one of them is watched, the tool also registers raw mouse input "
               "(`RIDEV_INPUTSINK`): a middle, X1 or X2 down in `WM_INPUT` wakes the tick, which "
               "unregisters it at once and registers it again when it parks. A low-level mouse "
               "hook would sit in every mouse event of the whole system, awake or not; raw mouse "
               "input kept while awake would bring our own clicks, a down and an up each, about "
               "2000 `WM_INPUT` a second at 1 ms, and every move; a faster heartbeat instead "
               "would cost idle CPU at every beat and still leave up to a beat of latency. "
               "Parked, each mouse event of the system costs the tool one message. The primary "
               "and secondary buttons (codes 1 and 2) are different: our own clicks press them, "
               "so only a low-level mouse hook, which tells the user's input from injected "
               "input, can hear them; it runs on a thread of its own, set only while a click "
               "key is one of them, and every mouse event of the system passes through it.")
    out.append("")
    keys = [k for k, _, _ in MOUSE_KEYS]
    out.append("| `yorisen.exe` 64-bit, left-click key | %s |"
               % " | ".join("keyboard (`Left`)" if k == "keyboard" else k for k in keys))
    out.append("| --- |" + " --- |" * len(keys))

    def row(what, cell):
        out.append("| %s | %s |" % (what, " | ".join(cell(k) for k in keys)))
    for what, tool, ws in (("pointer still", "tool_cpu", "wineserver_cpu"),
                           ("pointer moving", "moving_tool_cpu", "moving_wineserver_cpu")):
        for i in MOUSE_IDLE_INTERVALS:
            row("idle at %d ms, %s: CPU of tool / wineserver%s" % (
                i, what, ", moves a second" if what != "pointer still" else ""),
                lambda k: "%.2f %% / %.2f %%%s" % (
                    mouse_of(results, k, i)[tool], mouse_of(results, k, i)[ws],
                    ", %.0f" % mouse_of(results, k, i)["moves_per_s"] if tool != "tool_cpu"
                    else ""))
    kp = key_presses(results)
    def first_click(k):
        if k == "primary":
            firsts = [h["first_up_ms"] for h in m.get("button_holds", [])]
            return ("%d / %d (%d–%d) ms after %d ms, %d" % (
                percentile(firsts, 50), percentile(firsts, 99), min(firsts), max(firsts),
                HOLD_DELAY, len(firsts)) if firsts else "–")
        presses = m["presses"] if k == "X1" else kp
        return "%d / %d (%d–%d) ms, %d" % (latency_stats(presses) + (len(presses),)) \
            if presses else "–"
    row("press → first click at %d ms: p50 / p99 (min–max), presses (primary: the up that "
        "ends the user's press, past the hold delay)" % MOUSE_LATENCY_INTERVAL, first_click)
    row("held at 1 ms, tool and wineserver on one CPU: CPU of tool / wineserver, clicks/s",
        lambda k: "%.1f %% / %.1f %%, %.0f" % mouse_holds(results, k))
    out.append("")
    per_move = [(mouse_of(results, "X1", i)["moving_tool_cpu"]
                 - mouse_of(results, "keyboard", i)["moving_tool_cpu"]) * 1e4
                / mouse_of(results, "X1", i)["moves_per_s"] for i in MOUSE_IDLE_INTERVALS]
    x_hold, k_hold = mouse_holds(results, "X1")[0], mouse_holds(results, "keyboard")[0]
    text = ("Parked with X1 watched, a pointer move costs the tool about %s µs (at %s ms; its "
            "CPU while the pointer moves less the keyboard key's, per move): each move's "
            "`WM_INPUT` wakes its main thread. Held, X1 costs %.1f %% of a core against the "
            "keyboard key's %.1f %%" % (" and ".join("%.0f" % v for v in per_move),
                                       " and ".join(str(i) for i in MOUSE_IDLE_INTERVALS),
                                       x_hold, k_hold))
    if x_hold <= k_hold * NOISE:
        text += ": awake, the tool hears no mouse input."
    else:
        text += "."
    out.append(text)
    out.append("")
    if m.get("button_holds"):
        holds = m["button_holds"]
        presses = [p for h in holds for p in h["press_ms"]]
        out.append("Held past the hold delay (%d ms), the primary button's first effect at the "
                   "target is the up of the tool's first click, whose down falls inside the "
                   "user's press: it comes a tick and a press time after the delay. The tool's "
                   "presses that follow last %d ms at the median (p90 %d ms; %d asked at %d ms), "
                   "and downs and ups alternated in %d of %d holds."
                   % (HOLD_DELAY, percentile(presses, 50), percentile(presses, 90),
                      min(MOUSE_LATENCY_INTERVAL // 2, 50), MOUSE_LATENCY_INTERVAL,
                      sum(h["alternate"] for h in holds), len(holds)))
        p_cpu, _, p_rate = mouse_holds(results, "primary")
        k_cpu, _, k_rate = mouse_holds(results, "keyboard")
        if p_rate < k_rate * 0.95:
            out[-1] += (" Held at 1 ms it clicked %.0f times a second against the keyboard "
                        "key's %.0f, at %.1f %% of a core against %.1f %%: under Wine, "
                        "`SendInput` returns only once the thread that set a low-level hook has "
                        "run it (about 0.8 ms a call, measured with a probe of two threads), "
                        "and every click of ours passes through our own hook."
                        % (p_rate, k_rate, p_cpu, k_cpu))
        out.append("")
    rates = [e["moves_per_s"] for e in m["idle"]]
    xd = [p["xdotool_ms"] for p in m["presses"]]
    out.append("Measured in the same session as the rest, before the idle CPU: for each key a "
               "fresh copy of the exe with `LeftKey=` in its `config.ini` (37, the `Left` "
               "key's code, 5, X1's, or 1, the primary button's; xdotool's button 8 is X1 under "
               "Wine), the click target active and the pointer over it. Idle: %.0f s with the pointer still, then one "
               "`xdotool` process moving it 1 px right and back (`mousemove_relative`, then "
               "`sleep`, %d times a second asked, %.1f–%.1f achieved: moves / the process's "
               "run time), so that the target's Wine process turns each move into input. "
               "Unlike the idle CPU above, the click target keeps running. Held: the keyboard "
               "key and X1 alternately, %d times each, each until the clicks span %.0f s, with "
               "the tool and wineserver pinned to one CPU: unpinned, a hold's figure jumps by "
               "half with where the scheduler puts them, for either key (see the placement "
               "above), and pinned together they cost less than in the figures above. "
               "Presses: as for the keyboard key, but with `xdotool mousedown 8` (%.1f ms "
               "median for the call), and the next press waits for no click for 100 ms after "
               "the release (the target does not poll a button); the keyboard key's figure is "
               "that of the latency above."
               % (results["settings"].get("mouse_idle_s", 20.0), MOVES_PER_S, min(rates),
                  max(rates), MOUSE_HOLD_ROUNDS, results["settings"]["hold_s"],
                  percentile(xd, 50)))
    out.append("")
    return out


def probe_figures(name):
    """What bench/<name>.py --save kept, by Wine version; {} before any."""
    path = os.path.join(ROOT, "bench", name + ".json")
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        return json.load(f)


def hook_cost():
    """A bare low-level mouse hook's cost beside the tool's, from
    bench/hookprobe.json (bench/hookprobe.py --save)."""
    saved = probe_figures("hookprobe")
    if not saved:
        return []
    out = ["## A low-level mouse hook under Wine", ""]
    out.append("With the primary button as the key, the tool sets a low-level mouse hook, and "
               "every pointer move passes through it. `bench/hookprobe.py` sets it beside a "
               "program whose hook only passes each event on (`bench/hookprobe.c`, its hook on "
               "a thread of its own, as the tool's), the same program without the hook, and "
               "the tool with the `Left` key, at 40 ms, the pointer moving 100 times a second "
               "over the click target. CPU of a core, mean over the rounds:")
    out.append("")
    out.append("| Wine, date | bare hook | no hook | `LeftKey=1` | `LeftKey=37` | wineserver: "
               "bare hook / no hook |")
    out.append("| --- | --- | --- | --- | --- | --- |")
    for version, v in sorted(saved.items()):
        def mean(name, key):
            return sum(r[key] for r in v["rows"][name]) / len(v["rows"][name])
        out.append("| %s, %s | %.2f %% | %.2f %% | %.2f %% | %.2f %% | %.2f %% / %.2f %% |" % (
            version, v["date"], mean("bare hook", "moving"), mean("no hook", "moving"),
            mean("LeftKey=1", "moving"), mean("LeftKey=37", "moving"),
            mean("bare hook", "wineserver_moving"), mean("no hook", "wineserver_moving")))
        bare, tool = mean("bare hook", "moving"), mean("LeftKey=1", "moving")
        verdict = ("the tool's hook costs what a bare one does: the cost is Wine's delivery of "
                   "each move to a low-level hook, not the tool's work"
                   if tool <= bare * 1.5 + 0.2 else
                   "the tool's hook costs more than a bare one: the difference is the tool's")
        out.append("")
        out.append("Under %s, %s." % (version, verdict))
    out.append("")
    return out


def skill_keys():
    """Skill keys' idle cost and the presses a target sees, from
    bench/skillprobe.json (bench/skillprobe.py --save)."""
    saved = probe_figures("skillprobe")
    if not saved:
        return []
    out = ["## Skill keys", ""]
    out.append("`bench/skillprobe.py` runs the 64-bit tool idle without skill keys and with F1-F8 "
               "(its keyboard hook is set only with some), the click target active, and holds F1 "
               "for a few seconds at each period. The target reads F1 by its window's messages, "
               "raw input, and DirectInput's state once an 8 ms frame in a process of its own.")
    out.append("")
    out.append("| Wine, date | period | idle, no skill keys | idle, F1-F8 | wineserver: none / "
               "F1-F8 |")
    out.append("| --- | --- | --- | --- | --- |")
    verdicts = []
    for version, v in sorted(saved.items()):
        for interval in sorted({e["interval"] for e in v["idle"]}, reverse=True):
            none, some = (next(e for e in v["idle"] if e["interval"] == interval
                               and e["skill_keys"] == k) for k in ("none", "F1-F8"))
            out.append("| %s, %s | %d ms | %.3f %% | %.3f %% | %.3f %% / %.3f %% |" % (
                version, v["date"], interval, none["tool"], some["tool"], none["wineserver"],
                some["wineserver"]))
            # A 20 s window's own noise is a few hundredths of a per cent.
            same = some["tool"] <= none["tool"] * 1.2 + 0.03
            verdicts.append("Under %s at %d ms, idle with skill keys %s (%.3f %% against %.3f %%)."
                            % (version, interval, "costs what idle without them does" if same
                               else "costs more than without them: FAIL", some["tool"],
                               none["tool"]))
    out.append("")
    out.append("Goal: idle with skill keys costs what idle without them does. " +
               " ".join(verdicts))
    out.append("")
    out.append("| Wine | period | presses a second (the period's own) | downs seen: messages / "
               "raw input / DirectInput |")
    out.append("| --- | --- | --- | --- |")
    for version, v in sorted(saved.items()):
        for row in v["presses"]:
            out.append("| %s | %d ms | %.1f (%.1f) | %d / %d / %d |" % (
                version, row["period"], row["rate"], 1000.0 / row["period"], row["messages"],
                row["raw"], row["dinput"]))
    out.append("")
    out.append("Held %.0f s: the first down is the user's, the repeats begin after the hold delay. "
               "A frame read every 8 ms misses a press shorter than its gap, as a game's would."
               % next(iter(saved.values()))["hold_s"])
    for version, v in sorted(saved.items()):
        for row in v["presses"]:
            # Each press lasts half the period, at most 50 ms: two frames or
            # more, and no frame should miss it.
            if min(50, row["period"] // 2) >= 16 and row["dinput"] < row["raw"]:
                out.append("Under %s at %d ms DirectInput's frames missed %d of %d presses of "
                           "two frames or longer that messages and raw input all saw (frames that "
                           "came late are not told apart here)." % (
                               version, row["period"], row["raw"] - row["dinput"], row["raw"]))
    out.append("")
    return out


def wine_versions():
    """The press's way to a woken tick under each Wine, from bench/keyprobe.json
    (bench/keyprobe.py --save, run under each Wine)."""
    saved = probe_figures("keyprobe")
    if not saved:
        return []
    versions = sorted(saved, key=lambda v: [int(n) for n in v.split()[0][5:].split(".")])

    def spread(values):
        return "%d (%d–%d) ms" % (percentile(values, 50), min(values), max(values))

    out = ["## Under each Wine", ""]
    out.append("The way of a press to a parked tick, measured apart from the tool by "
               "`bench/keyprobe.py` under %s: a hidden window hears raw key-downs "
               "(`RIDEV_INPUTSINK`) and asks `GetAsyncKeyState` once a second, as the parked "
               "tool does; the click target has the focus; presses come 1.2–2.2 s apart."
               % " and ".join("`%s`" % v for v in versions))
    out.append("")
    out.append("| p50 (min–max) | %s |" % " | ".join(versions))
    out.append("| --- |%s" % (" --- |" * len(versions)))
    rows = [("press → input stamped by Wine", "stamped_ms"),
            ("stamp → `WM_INPUT` in the window", "delivered_ms"),
            ("stamp → `GetAsyncKeyState` reads the key down", "down_ms")]
    for what, key in rows:
        out.append("| %s | %s |" % (what, " | ".join(spread(saved[v][key]) for v in versions)))
    out.append("| `GetAsyncKeyState` still \"up\" at the `WM_INPUT` | %s |" % " | ".join(
        "%d of %d" % (saved[v]["up_at_input"], len(saved[v]["down_ms"])) for v in versions))
    out.append("")
    up = [v for v in versions if saved[v]["up_at_input"]]
    if up:
        text = ("The key still read up when `WM_INPUT` came in %s: the woken tick then clicks "
                "only at its second look." % ", ".join(
                    "%d of %d presses under %s" % (saved[v]["up_at_input"],
                                                   len(saved[v]["down_ms"]), v) for v in up))
    else:
        text = ("In these presses the key read down when `WM_INPUT` came, under each Wine, so "
                "the woken tick clicks at once.")
    stamped = [percentile(saved[v]["stamped_ms"], 50) for v in versions]
    delivered = [percentile(saved[v]["delivered_ms"], 50) for v in versions]
    if all(s_ > d for s_, d in zip(stamped, delivered)):
        text += (" The press's first step, from `xdotool keydown` through the X server to the "
                 "focused Wine process that turns the X event into input, took longer than "
                 "the rest under each Wine (load average %s at the runs): the end-to-end "
                 "tests' first-click figure, counted from just before `xdotool keydown`, "
                 "carries it." % " and ".join("%.1f" % saved[v]["loadavg"] for v in versions))
    out.append(text)
    out.append("")
    return out
