"""The run: which measurements, in which order, and what each keeps in the
results."""

import datetime
import os
import time

from plan import (BUILDS, BUTTON_HOLDS, FLOOR_INTERVAL, HOLD_DELAY, IDLE_INTERVALS, INTERVALS, LATENCY_INTERVALS,
                  LATENCY_OF, MOUSE_BUILD, MOUSE_HOLD_ROUNDS, MOUSE_IDLE_INTERVALS, MOUSE_KEYS,
                  MOUSE_LATENCY_INTERVAL, MOVES_PER_S, PLACEMENT_BUILDS, PRESS_SET, PROBE_RUNS,
                  PRODUCTS, ROOT, SIZE_EXES, VIEWS)
from clicklog import ms_diff
from measure import (Bench, build_probe, loadavg, log, machine, read_status, set_affinity,
                     thread_ns)
from stats import latency_stats, parse_figures, percentile, press_asked, press_times
from waits import HarnessError


class Run(Bench):
    """A whole run, or the part args.only asks for."""

    # -- phases --------------------------------------------------------------
    def clicking(self):
        a = self.args
        only_press = a.only == "press"
        for build in (b.name for b in BUILDS if not only_press or b.name in PRODUCTS):
            r = self.results["builds"][build]
            t0 = time.monotonic()
            for interval in INTERVALS:
                # The default press in every build; the product exes also
                # with a press time set, which is cut at short periods.
                for key, keys in [("rates", "")] + (
                        [("press_set", "PressTime=%d\r\n" % PRESS_SET)]
                        if build in PRODUCTS else []):
                    proc, tray_s, stamps, cpu, ws = self.fresh_hold(build, interval, keys)
                    gaps = [ms_diff(b, c) for b, c in zip(stamps[1:], stamps[:-1])]
                    span = ms_diff(stamps[-1], stamps[0])
                    rate = (len(stamps) - 1) * 1000.0 / span
                    entry = {"interval": interval, "clicks": len(stamps), "span_ms": span,
                             "rate": rate, "ideal": 1000.0 / interval,
                             "ratio": rate * interval / 1000.0,
                             "tool_cpu": cpu[proc.pid], "wineserver_cpu": cpu[ws]}
                    entry["gaps"] = gaps
                    entry.update(press_times(self.held))
                    r.setdefault(key, []).append(entry)
                    log("%-8s %3d ms%s: %7.1f clicks/s (ratio %.3f), press p50 %s p95 %s ms "
                        "(asked %d), %d downs without an up, tray %.2f s"
                        % (build, interval, " PressTime=%d" % PRESS_SET if keys else "", rate,
                           entry["ratio"], percentile(entry["press_ms"], 50),
                           percentile(entry["press_ms"], 95),
                           press_asked(interval, PRESS_SET if keys else None),
                           entry["downs_without_up"], tray_s))
                    self.stop_tool(proc)
            self.took(build + " click rates", t0)
            if only_press:
                continue
            t0 = time.monotonic()
            for interval in LATENCY_OF.get(build, LATENCY_INTERVALS):
                proc, _ = self.start_tool(build, interval)
                presses = self.presses(a.presses, interval)
                r.setdefault("presses", {})[str(interval)] = presses
                lat = [p["latency_ms"] for p in presses]
                log("%-8s %3d ms: latency p50 %s p99 %s ms" % (
                    build, interval, percentile(lat, 50), percentile(lat, 99)))
                self.stop_tool(proc)
            self.took(build + " first clicks", t0)

    def fresh_hold(self, build, interval, keys):
        """A hold by a fresh copy of the tool.  Under load a copy now and
        then keeps the focus against every caption click on the target for
        seconds on end (seen with and without a press time); that copy is
        ended and one more started, and the target's last lines logged."""
        for attempt in range(3):
            proc, tray_s = self.start_tool(build, interval, keys)
            ws = self.wineserver_pid()
            try:
                stamps, cpu = self.hold(self.args.hold * 1000, [proc.pid, ws])
                return proc, tray_s, stamps, cpu, ws
            except HarnessError as e:
                if attempt == 2:
                    raise
                self.results.setdefault("refocus_restarts", []).append(
                    {"build": build, "interval": interval, "keys": keys.strip(),
                     "target_tail": [" ".join(x) for x in self.log.poll()[-8:]]})
                log("%s at %d ms %s: target not activated (%s); last target lines %s; "
                    "a fresh copy" % (build, interval, keys.strip(), str(e).splitlines()[0],
                                      self.results["refocus_restarts"][-1]["target_tail"]))
                self.stop_tool(proc)

    def in_fresh_copy(self, start, work, what):
        """work(proc) on a copy start() returns; (proc, its result). As for
        the click rates, a copy that keeps the focus gives way to a fresh
        one, twice at most."""
        for attempt in range(3):
            proc = start()
            try:
                return proc, work(proc)
            except HarnessError as e:
                self.stop_tool(proc)
                if attempt == 2:
                    raise
                log("%s: %s; a fresh copy" % (what, str(e).splitlines()[0]))

    def mouse_key(self):
        """X1 as the left-click key beside the keyboard key, a copy of the
        exe for each: idle with the pointer still, then moving over the
        target; CPU while held at 1 ms, alternately; X1's first clicks."""
        a, t0 = self.args, time.monotonic()
        out = self.results["builds"][MOUSE_BUILD]["mouse"] = {}
        ws = self.wineserver_pid()
        self.aim()
        # Each move and sleep takes a little longer than asked: 100 moves
        # tell how much, and the sleep is shortened by that.
        t1 = time.monotonic()
        self.S.xdotool(*self.moves(100, 1.0 / MOVES_PER_S))
        pause = max(0.0, 2.0 / MOVES_PER_S - (time.monotonic() - t1) / 100)
        for key, _, keys in MOUSE_KEYS:
            for interval in MOUSE_IDLE_INTERVALS:
                proc, _ = self.start_tool(MOUSE_BUILD, interval, keys)
                self.aim()
                cpu = self.cpu_window([proc.pid, ws], a.mouse_idle)
                moving, rate = self.moving([proc.pid, ws], a.mouse_idle, pause)
                out.setdefault("idle", []).append({
                    "key": key, "interval": interval, "seconds": a.mouse_idle,
                    "tool_cpu": cpu[proc.pid], "wineserver_cpu": cpu[ws],
                    "moving_tool_cpu": moving[proc.pid], "moving_wineserver_cpu": moving[ws],
                    "moves_per_s": rate})
                log("%-8s %s at %d ms: idle %.3f %%, %.0f moves/s %.3f %%"
                    % (MOUSE_BUILD, key, interval, cpu[proc.pid], rate, moving[proc.pid]))
                self.stop_tool(proc)
        # Unpinned, a hold's cost jumps by half with where the scheduler puts
        # the tool and wineserver (see placement): one CPU for both keys.
        cpus = sorted(os.sched_getaffinity(ws))
        try:
            for _ in range(MOUSE_HOLD_ROUNDS):
                for key, button, keys in MOUSE_KEYS:
                    def pinned():
                        proc, _ = self.start_tool(MOUSE_BUILD, 1, keys)
                        set_affinity(proc.pid, {cpus[0]})
                        set_affinity(ws, {cpus[0]})
                        return proc

                    proc, (stamps, cpu) = self.in_fresh_copy(
                        pinned, lambda proc: self.hold(a.hold * 1000, [proc.pid, ws], button),
                        "%s held at 1 ms" % key)
                    out.setdefault("holds", []).append({
                        "key": key, "clicks": len(stamps),
                        "span_ms": ms_diff(stamps[-1], stamps[0]),
                        "tool_cpu": cpu[proc.pid], "wineserver_cpu": cpu[ws]})
                    log("%-8s %s held at 1 ms: tool %.1f %%, wineserver %.1f %%"
                        % (MOUSE_BUILD, key, cpu[proc.pid], cpu[ws]))
                    self.stop_tool(proc)
        finally:
            set_affinity(ws, set(cpus))
        key, button, keys = MOUSE_KEYS[1]
        proc, _ = self.start_tool(MOUSE_BUILD, MOUSE_LATENCY_INTERVAL, keys)
        out["presses"] = self.presses(a.presses, MOUSE_LATENCY_INTERVAL, button)
        log("%-8s %s at %d ms: latency p50 %d p99 %d ms" % (
            (MOUSE_BUILD, key, MOUSE_LATENCY_INTERVAL) + latency_stats(out["presses"])[:2]))
        self.stop_tool(proc)
        key, button, keys = MOUSE_KEYS[2]
        proc, out["button_holds"] = self.in_fresh_copy(
            lambda: self.start_tool(MOUSE_BUILD, MOUSE_LATENCY_INTERVAL, keys)[0],
            lambda proc: self.button_holds(BUTTON_HOLDS, HOLD_DELAY), "%s holds" % key)
        firsts = sorted(h["first_up_ms"] for h in out["button_holds"])
        log("%-8s %s at %d ms: first up after the hold delay p50 %d max %d ms" % (
            MOUSE_BUILD, key, MOUSE_LATENCY_INTERVAL, firsts[len(firsts) // 2], firsts[-1]))
        self.stop_tool(proc)
        self.took("X1 as the key", t0)

    def idling(self):
        a = self.args
        only_press = a.only == "press"
        # The target's 10 ms timer keeps wineserver busy: end it, then take
        # wineserver's own idle rate as the baseline to subtract.
        self.target.kill()
        t0 = time.monotonic()
        if not only_press:
            self.probe()
        ws = self.wineserver_pid()
        self.results["wineserver_baseline"] = self.cpu_window([ws], a.baseline)[ws]
        log("wineserver without a tool: %.3f %%" % self.results["wineserver_baseline"])
        self.took("timer probe and wineserver baseline", t0)
        for build in (b.name for b in BUILDS if not only_press or b.name in PRODUCTS):
            r = self.results["builds"][build]
            t0 = time.monotonic()
            for interval in IDLE_INTERVALS:
                proc, _ = self.start_tool(build, interval)
                for view in VIEWS:
                    if view == "hidden":
                        # Minimised, the next tick hides the window: the tray only.
                        self.tool.caption_button("min")
                        self.S.wait_gone(self.tool.win)
                    threads0 = thread_ns(proc.pid)
                    cpu = self.cpu_window([proc.pid, ws], a.idle)
                    threads1 = thread_ns(proc.pid)
                    # Main thread (runs the window and the watcher) against the
                    # rest (the precise builds' tick thread, Wine's own threads).
                    used = {t: threads1[t] - threads0.get(t, 0) for t in threads1}
                    wall_ns = a.idle * 1e9
                    entry = {"interval": interval, "view": view, "seconds": a.idle,
                             "tool_cpu": cpu[proc.pid], "tool_slices": self.slices[proc.pid],
                             "main_thread_cpu": used.get(proc.pid, 0) / wall_ns * 100,
                             "other_threads_cpu": sum(v for t, v in used.items()
                                                      if t != proc.pid) / wall_ns * 100,
                             "wineserver_cpu": cpu[ws],
                             "rss_kb": int(read_status(proc.pid, "VmRSS").split()[0]),
                             "threads": int(read_status(proc.pid, "Threads"))}
                    r.setdefault("idle", []).append(entry)
                    log("%-8s idle %3d ms %s: tool %.3f %%, wineserver %.3f %%, RSS %d kB"
                        % (build, interval, view, entry["tool_cpu"], entry["wineserver_cpu"],
                           entry["rss_kb"]))
                self.stop_tool(proc)
            self.took(build + " idle CPU", t0)
        if only_press:
            return
        # The always-awake tool ticking once a second: what an idle Wine
        # process with this window costs without the ticks.
        t0 = time.monotonic()
        proc, _ = self.start_tool("awake", FLOOR_INTERVAL)
        cpu = self.cpu_window([proc.pid, ws], a.floor)
        self.results["builds"]["awake"]["idle_floor"] = {
            "interval": FLOOR_INTERVAL, "seconds": a.floor, "tool_cpu": cpu[proc.pid],
            "wineserver_cpu": cpu[ws]}
        log("awake    idle %d ms: tool %.3f %%" % (FLOOR_INTERVAL, cpu[proc.pid]))
        self.stop_tool(proc)
        self.placement(ws)
        self.took("idle floor and placement", t0)

    def placement(self, ws):
        """Idle cost at 40 ms with the tool and wineserver pinned to one CPU,
        then to two different ones: every tick wakes threads through
        wineserver, and what a wake-up costs depends on where they run."""
        cpus = sorted(os.sched_getaffinity(ws))
        if len(cpus) < 2:
            return
        out = {}
        try:
            for build in PLACEMENT_BUILDS:
                proc, _ = self.start_tool(build, 40)
                out[build] = {}
                for name, tool_cpu, ws_cpu in (("same", cpus[0], cpus[0]),
                                               ("apart", cpus[0], cpus[1])):
                    set_affinity(proc.pid, {tool_cpu})
                    set_affinity(ws, {ws_cpu})
                    cpu = self.cpu_window([proc.pid, ws], self.args.placement)
                    out[build][name] = {"tool_cpu": cpu[proc.pid], "wineserver_cpu": cpu[ws]}
                    log("%-8s idle 40 ms, %s CPU: tool %.3f %%, wineserver %.3f %%"
                        % (build, "one" if name == "same" else "different", cpu[proc.pid],
                           cpu[ws]))
                self.stop_tool(proc)
        finally:
            set_affinity(ws, set(cpus))
        self.results["placement"] = out

    def probe(self):
        """How many ticks Wine's waitable timer gives at short periods, with
        nothing else running (bench/timerprobe.c)."""
        exe = self.probe_exe
        out = {}
        for period, mode in PROBE_RUNS:
            p = self.S.start_exe(exe, [period, self.args.probe, mode])
            p.wait_exit(self.args.probe + 30)
            out["%d/%d" % (period, mode)] = parse_figures(p.output())
            log("timerprobe %d ms mode %d: %s" % (period, mode, p.output().strip()))
        p = self.S.start_exe(exe, [1, 0, 2])
        p.wait_exit(60)
        out["roundtrip_us"] = parse_figures(p.output())["roundtrip_us"]
        log("timerprobe: %s" % p.output().strip())
        self.results["probe"] = out

    def run(self):
        t0 = time.monotonic()
        self.results["date"] = datetime.datetime.now(datetime.timezone.utc).strftime(
            "%Y-%m-%d %H:%M UTC")
        self.results["machine"] = machine()
        self.results["settings"] = {"hold_s": self.args.hold, "idle_s": self.args.idle,
                                    "presses": self.args.presses,
                                    "baseline_s": self.args.baseline, "floor_s": self.args.floor,
                                    "placement_s": self.args.placement,
                                    "probe_s": self.args.probe,
                                    "mouse_idle_s": self.args.mouse_idle}
        self.results["sizes"] = {p: os.path.getsize(os.path.join(ROOT, p)) for p in SIZE_EXES}
        for build in BUILDS:
            self.results["builds"][build.name] = {}
        self.probe_exe = build_probe()
        load0 = loadavg()
        self.start()
        try:
            if self.args.only != "mouse":
                self.clicking()
            if self.args.only in (None, "mouse"):
                self.mouse_key()
            if self.args.only != "mouse":
                self.idling()
        finally:
            self.close()
        self.results["run_s"] = time.monotonic() - t0
        self.results["load"] = ("1-minute load average %s at the start of the run, %s at its "
                                "end, on %s CPUs shared with other work."
                                % (load0, loadavg(), self.results["machine"]["nproc"]))
