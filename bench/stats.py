"""Statistics of a run's figures, and the goals judged from them."""

import math

from clicklog import ms_diff
from plan import (BUILDS, IDLE_CPU_GOAL, IDLE_INTERVALS, INTERVALS, LATENCY_INTERVALS,
                  LATENCY_P50_GOAL, LATENCY_P99_GOAL, MOUSE_BUILD, MOUSE_IDLE_INTERVALS,
                  MOUSE_LATENCY_INTERVAL, MOVES_CPU_GOAL, MOVES_PER_S, HOLD_CPU_GOAL,
                  PRESS_P50_GOAL, PRESS_P95_GOAL, PRESS_SET, PRODUCTS, RATIO_GOAL,
                  RATIO_GOAL_1MS, VIEWS)


def press_asked(interval, set_ms=None):
    """The press time the tool holds a click for: PressTime cut to the
    period minus 1, or by default half the period, at most 50 ms."""
    if set_ms is None:
        return min(interval // 2, 50)
    return min(set_ms, interval - 1)


def press_times(events):
    """Each down paired with the up that follows it, from the target's LD/LU
    lines in log order: the press lengths in ms (GetMessageTime of up minus
    down) and the downs left without an up before the next down."""
    out, down, lost = [], None, 0
    for e in events:
        if e[0] == "LD":
            lost += down is not None
            down = int(e[1])
        elif down is not None:
            out.append(ms_diff(int(e[1]), down))
            down = None
    return {"press_ms": out, "downs_without_up": lost + (down is not None)}


def percentile(values, p):
    """Nearest-rank percentile."""
    s = sorted(values)
    if not s:
        return None
    k = max(1, int(math.ceil(p / 100.0 * len(s))))
    return s[k - 1]


def parse_figures(text):
    """key=value words of a probe line -> dict of floats."""
    out = {}
    for word in text.split():
        if "=" in word:
            k, v = word.split("=", 1)
            try:
                out[k] = float(v)
            except ValueError:
                pass
    if not out:
        raise RuntimeError("timerprobe printed no figures: %r" % text)
    return out


def measured(results):
    """The builds a run measured, in column order (a run saved before the
    32-bit exe was measured has no yorisen32)."""
    return [b for b in BUILDS if b.name in results["builds"]]


def rate_of(results, build, interval):
    return next(r for r in results["builds"][build]["rates"] if r["interval"] == interval)


def idle_of(results, build, interval, view="shown"):
    return next(r for r in results["builds"][build]["idle"]
                if r["interval"] == interval and r.get("view", "shown") == view)


def press_set_of(results, build, interval):
    return next(r for r in results["builds"][build]["press_set"] if r["interval"] == interval)


def presses_of(results, build, interval):
    return results["builds"][build]["presses"][str(interval)]


def gap_stats(gaps):
    return percentile(gaps, 50), percentile(gaps, 99), max(gaps)


def latency_stats(presses):
    lat = [p["latency_ms"] for p in presses]
    return percentile(lat, 50), percentile(lat, 99), min(lat), max(lat)


def press_runs(results, build, interval):
    """(what, hold, press asked) of a build's holds at an interval that timed
    their presses: the default, then PressTime set."""
    out = []
    r = rate_of(results, build, interval)
    if "press_ms" in r:
        out.append(("default", r, press_asked(interval)))
    try:
        out.append(("PressTime=%d" % PRESS_SET, press_set_of(results, build, interval),
                    press_asked(interval, PRESS_SET)))
    except (KeyError, StopIteration):
        pass
    return out


def press_stats(entry):
    v = entry["press_ms"]
    return (percentile(v, 50), percentile(v, 95), min(v) if v else None,
            max(v) if v else None)


def mouse_of(results, key, interval):
    return next(e for e in results["builds"][MOUSE_BUILD]["mouse"]["idle"]
                if e["key"] == key and e["interval"] == interval)


def mouse_holds(results, key):
    """Tool and wineserver CPU %, mean of the holds, and clicks a second."""
    hs = [h for h in results["builds"][MOUSE_BUILD]["mouse"]["holds"] if h["key"] == key]
    return (sum(h["tool_cpu"] for h in hs) / len(hs),
            sum(h["wineserver_cpu"] for h in hs) / len(hs),
            sum(h["clicks"] - 1 for h in hs) * 1000.0 / sum(h["span_ms"] for h in hs))


def key_presses(results):
    """The keyboard key's presses at X1's interval, when this run made them."""
    return results["builds"][MOUSE_BUILD].get("presses", {}).get(str(MOUSE_LATENCY_INTERVAL))


def goals(results):
    """(what, {product build: (measured, met)}) per goal; a build that did
    not measure a goal has no entry for it."""
    base = results["wineserver_baseline"]
    products = [b for b in PRODUCTS if b in results["builds"]]

    def each(measure):
        cells = {}
        for b in products:
            try:
                cells[b] = measure(b)
            except (KeyError, StopIteration):
                pass  # not measured for this build
        return cells

    def idle_goal(b, i, view):
        e = idle_of(results, b, i, view)
        ws = e["wineserver_cpu"] - base
        return ("%.2f %% / %.2f %%" % (e["tool_cpu"], ws),
                e["tool_cpu"] <= IDLE_CPU_GOAL and ws <= IDLE_CPU_GOAL)

    def latency_goal(b, i):
        p50, p99, _, _ = latency_stats(presses_of(results, b, i))
        return "%d / %d ms" % (p50, p99), p50 <= LATENCY_P50_GOAL and p99 <= LATENCY_P99_GOAL

    def ratio_goal(b, i, need):
        ratio = rate_of(results, b, i)["ratio"]
        try:
            held = press_set_of(results, b, i)["ratio"]
        except (KeyError, StopIteration):
            return "%.3f" % ratio, ratio >= need  # a run before press times were set
        return ("%.3f (PressTime=%d: %.3f)" % (ratio, PRESS_SET, held),
                ratio >= need and held >= need)

    def press_goal(b, i):
        cells, ok = [], True
        for what, entry, asked in press_runs(results, b, i):
            p50, p95, _, _ = press_stats(entry)
            ok = ok and p50 is not None and abs(p50 - asked) <= PRESS_P50_GOAL and abs(
                p95 - asked) <= PRESS_P95_GOAL and not entry["downs_without_up"]
            cells.append("%s %d: %s / %s ms%s" % (
                what, asked, p50, p95, ", %d downs without an up" % entry["downs_without_up"]
                if entry["downs_without_up"] else ""))
        if not cells:
            raise KeyError("press")
        return "; ".join(cells), ok

    out = []
    for i in IDLE_INTERVALS:
        for view in VIEWS:
            out.append(("idle at %d ms, window %s: tool ≤ %.1f %% of a core, wineserver ≤ "
                        "%.1f %% above its baseline" % (i, view, IDLE_CPU_GOAL, IDLE_CPU_GOAL),
                        each(lambda b: idle_goal(b, i, view))))
    for i in LATENCY_INTERVALS:
        out.append(("key press → first click at %d ms: p50 ≤ %d ms, p99 ≤ %d ms"
                    % (i, LATENCY_P50_GOAL, LATENCY_P99_GOAL),
                    each(lambda b: latency_goal(b, i))))
    for i in INTERVALS:
        need = RATIO_GOAL_1MS if i == 1 else RATIO_GOAL
        out.append(("click rate ratio at %d ms ≥ %.2f" % (i, need),
                    each(lambda b: ratio_goal(b, i, need))))
    for i in INTERVALS:
        out.append(("press time at %d ms, down → up at the target, asked: p50 within %d ms, "
                    "p95 within %d ms of it (default, then PressTime=%d; p50 / p95)"
                    % (i, PRESS_P50_GOAL, PRESS_P95_GOAL, PRESS_SET),
                    each(lambda b: press_goal(b, i))))
    return out + mouse_goals(results)


def mouse_goals(results):
    """The goals of X1 as the left-click key, the keyboard key's figure beside
    each; none for a run without them."""
    if "mouse" not in results["builds"].get(MOUSE_BUILD, {}):
        return []
    out = []
    m = results["builds"][MOUSE_BUILD]["mouse"]
    keys = sorted({e["key"] for e in m["idle"]} - {"keyboard"})
    for what, field, goal in (("pointer still", "tool_cpu", IDLE_CPU_GOAL),
                              ("pointer moving %d times a second" % MOVES_PER_S,
                               "moving_tool_cpu", MOVES_CPU_GOAL)):
        for key in keys:
            for i in MOUSE_IDLE_INTERVALS:
                x, k = mouse_of(results, key, i)[field], mouse_of(results, "keyboard", i)[field]
                out.append(("%s as the left-click key, idle at %d ms, %s: tool ≤ %.1f %% of a core"
                            % (key, i, what, goal),
                            {MOUSE_BUILD: ("%.2f %% (keyboard key: %.2f %%)" % (x, k),
                                           x <= goal)}))
    if "button_holds" in m:
        holds = m["button_holds"]
        out.append(("primary button held: downs and ups alternate at the target, every hold",
                    {MOUSE_BUILD: ("%d of %d holds" % (sum(h["alternate"] for h in holds),
                                                       len(holds)),
                                   all(h["alternate"] for h in holds))}))
    p50, p99, lo, hi = latency_stats(results["builds"][MOUSE_BUILD]["mouse"]["presses"])
    kp = key_presses(results)
    out.append(("X1 press → first click at %d ms: p50 ≤ %d ms"
                % (MOUSE_LATENCY_INTERVAL, LATENCY_P50_GOAL),
                {MOUSE_BUILD: ("p50 / p99 %d / %d (%d–%d) ms%s" % (
                    p50, p99, lo, hi, " (keyboard key: %d / %d ms)" % latency_stats(kp)[:2]
                    if kp else ""), p50 <= LATENCY_P50_GOAL)}))
    x, k = mouse_holds(results, "X1")[0], mouse_holds(results, "keyboard")[0]
    out.append(("while clicking at 1 ms: tool CPU with X1 held ≤ %.1f × with the keyboard key "
                "held" % HOLD_CPU_GOAL,
                {MOUSE_BUILD: ("%.1f %% against %.1f %% (× %.2f)" % (x, k, x / k),
                               x <= HOLD_CPU_GOAL * k)}))
    return out


def missed_goals(results):
    """'goal (column: measured)' for each goal a product build missed."""
    columns = {b.name: b.column for b in BUILDS}
    return ["%s (%s: %s)" % (what, columns[b], value)
            for what, cells in goals(results) for b, (value, ok) in cells.items() if not ok]


def headline(results, build, topic, kinds):
    """A finding's lead, from the goals of one build whose text starts with
    one of kinds: "topic: pass" with each figure when all were met, else
    "topic: FAIL" with each goal missed and what was measured."""
    judged = [(what, cells[build]) for what, cells in goals(results)
              if build in cells and what.startswith(kinds)]
    if not judged:
        return "%s: not measured" % topic
    missed = ["%s (measured: %s)" % (what, value) for what, (value, ok) in judged if not ok]
    if missed:
        return "%s: FAIL: %s" % (topic, "; ".join(missed))
    return "%s: pass, %s" % (topic, "; ".join(
        "%s: %s" % (what.split(":")[0], value) for what, (value, _) in judged))
