"""The bench's instruments: one Wine session with the click target, copies
of a build started and ended with the end-to-end tests' Tool, held keys and
timed presses, and CPU read from /proc."""

import json
import os
import platform
import random
import subprocess
import sys
import time

from plan import BUILDS, MOVES_PER_S, ROOT, SLICE_S, VK_LEFT
from clicklog import TARGET, TARGET_POINT, ClickLog, ms_diff, wine_ms
from programs import WINE, helper_exe
from session import WineSession, prefix_pids, to_windows_path
from tool import Tool
from waits import HarnessError, wait_until

CLK_TCK = os.sysconf("SC_CLK_TCK")


def log(text):
    sys.stderr.write("[bench] %s\n" % text)
    sys.stderr.flush()


def read_stat(pid):
    """(utime + stime in clock ticks) of a process, all its threads."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def thread_ns(pid):
    """CPU time of each thread of a process in ns, from schedstat."""
    out = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                out[int(tid)] = int(f.read().split()[0])
        except OSError:
            pass  # thread gone
    return out


def set_affinity(pid, cpus):
    """Pins every thread of a process (taskset -a)."""
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            os.sched_setaffinity(int(tid), cpus)
        except OSError:
            pass  # thread gone


def read_status(pid, key):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return line.split(":", 1)[1].strip()
    return None


def loadavg():
    with open("/proc/loadavg") as f:
        return f.read().split()[0]


def build_probe():
    out_dir = os.path.join(ROOT, "build", "bench")
    os.makedirs(out_dir, exist_ok=True)
    exe = os.path.join(out_dir, "timerprobe.exe")
    subprocess.run(["x86_64-w64-mingw32-gcc", "-O2", "-Wall", "-o", exe,
                    os.path.join(ROOT, "bench", "timerprobe.c"), "-lwinmm"],
                   check=True, timeout=120)
    return exe


def machine():
    def first(cmd):
        try:
            r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=30)
            return r.stdout.decode("utf-8", "replace").strip().splitlines()[0]
        except (OSError, IndexError, subprocess.TimeoutExpired):
            return "?"
    model = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    try:
        with open("/etc/debian_version") as f:
            debian = f.read().strip()
    except OSError:
        debian = "?"
    return {"nproc": first(["nproc"]), "cpu": model, "kernel": platform.release(),
            "wine": first([WINE, "--version"]), "debian": debian,
            "xdotool": first(["dpkg-query", "-W", "-f", "${Version}", "xdotool"]),
            "xvfb": first(["dpkg-query", "-W", "-f", "${Version}", "xvfb"])}


def save_probe(name, figures):
    """Keeps a probe's figures in bench/<name>.json under the Wine's version,
    beside other versions', with today's date."""
    version = subprocess.run([WINE, "--version"], capture_output=True, text=True).stdout.strip()
    path = os.path.join(ROOT, "bench", name + ".json")
    saved = {}
    if os.path.exists(path):
        with open(path) as f:
            saved = json.load(f)
    saved[version] = dict(figures, date=time.strftime("%Y-%m-%d"))
    with open(path, "w") as f:
        json.dump(saved, f, indent=1, sort_keys=True)
        f.write("\n")


class Bench:
    """The instruments; phases.Run measures with them into self.results."""

    def __init__(self, args):
        self.args = args
        self.S = None
        self.log = None
        self.target = None
        self.target_win = None
        self.count = 0
        self.probe_exe = None
        self.slices = {}
        self.tool = None
        self.held = []
        self.results = {"builds": {}, "clock_check": {}}

    # -- session -----------------------------------------------------------
    def start(self, target_options=()):
        """target_options: clicktarget's own after its title (e.g. keys)."""
        self.S = WineSession()
        self.S.start()
        self.log = ClickLog(os.path.join(self.S.tmp, "target.log"))
        self.target = self.S.start_exe(
            helper_exe("clicktarget"), [to_windows_path(self.log.path)] +
            [str(v) for v in TARGET] + (["clicktarget"] + list(target_options)
                                        if target_options else []))
        self.target_win = self.S.wait_window(name="^clicktarget$", pid=self.target.pid)
        wait_until(lambda: self.log.since(0, "START"), 10, message="target START line")
        seen = wine_ms()
        start = int(self.log.since(0, "START")[0][1])
        # The START stamp (GetTickCount in the target) must be a little in
        # the past on our clock if the two clocks are one.
        self.results["clock_check"]["start_line_age_ms"] = ms_diff(seen, start)

    def close(self):
        if self.S is not None:
            self.S.close()

    def tray_state(self):
        """True/False: Wine's tray, a window of explorer, is/is not mapped;
        None: unknown (the search hit an X error, e.g. a window destroyed
        while it ran).  One xdotool call, so the start -> tray time is
        fine-grained: a shown tray is mapped under every Wine here."""
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", "explorer.exe"],
                           env=self.S.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=15)
        if r.stdout.strip():
            return True
        return False if r.returncode == 1 and not r.stderr.strip() else None

    def tray_shown(self):
        return self.tray_state() is True

    def tray_gone(self):
        """Windows counts no tray window as visible: Wine 10 may leave a
        hidden tray's X window mapped."""
        return not self.S.tray_visible()

    def wineserver_pid(self):
        pids = [p for p in prefix_pids(self.S.prefix)
                if os.path.basename(os.readlink("/proc/%d/exe" % p)).startswith("wineserver")]
        if len(pids) != 1:
            raise RuntimeError("expected one wineserver in the prefix, found %r" % pids)
        return pids[0]

    # -- one copy of a tool ------------------------------------------------
    def start_tool(self, build, interval, keys=""):
        """Starts a copy of a build in a folder of its own with the interval
        (and keys, config.ini lines) in its config.ini; returns (process,
        start -> tray icon seconds).  Only starts without keys count for the
        tray figure, which keeps it the figure of the keyboard runs."""
        name, exe, _, _, loader = next(b for b in BUILDS if b.name == build)
        if not self.tray_gone():
            raise RuntimeError("a tray icon is already shown: the start time would be wrong")
        tool = Tool(self.S, "[Config]\r\nInterval=%d\r\n%s" % (interval, keys),
                    exe=os.path.join(ROOT, exe), loader=loader, start=False)
        # The bench measures; the end-to-end tests judge the trace.
        tool.expect_traces = [""]
        t0 = time.monotonic()
        proc = tool.launch()
        wait_until(self.tray_shown, 20, interval=0.005, message="tray icon of %s" % name)
        tray_s = time.monotonic() - t0
        win = tool.wait_window()
        self.check_pid(build, proc, tool.path, loader)
        # A new window is activated just after it maps: let that happen
        # before anything clicks the target, or it takes the focus back.
        wait_until(lambda: self.S.focused_window() == win, 10, message="tool window active")
        if not keys:
            self.results["builds"][build].setdefault("tray_s", []).append(tray_s)
        self.tool = tool
        return proc, tray_s

    def check_pid(self, build, proc, path, loader):
        """The Linux pid we measure must be the process running the exe, in
        the loader it was started with (wine64, or wine for a 32-bit exe)."""
        with open("/proc/%d/cmdline" % proc.pid, "rb") as f:
            argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace")
        exe = os.readlink("/proc/%d/exe" % proc.pid)
        if os.path.basename(argv0.replace("\\", "/")) != os.path.basename(path):
            raise RuntimeError("pid %d runs %r, not %s" % (proc.pid, argv0, path))
        if exe != os.path.realpath(loader):
            raise RuntimeError("pid %d is %s, not the loader %s" % (proc.pid, exe, loader))
        self.results.setdefault("pid_check", {})[build] = {
            "cmdline0": argv0, "exe": exe, "comm": read_status(proc.pid, "Name")}

    def stop_tool(self, proc):
        """Ends the copy start_tool() returned proc of."""
        if proc is not self.tool.proc:
            raise RuntimeError("pid %d is not the tool started last" % proc.pid)
        self.tool.stop()
        # Wine removes a dead owner's icon itself; the next start must find
        # no icon.
        wait_until(self.tray_gone, 15, interval=0.05, message="tray icon gone")

    # -- input ---------------------------------------------------------------
    def aim(self):
        """The target is the active window and the pointer is over it."""
        for attempt in range(3):
            try:
                self.S.activate(self.target_win, timeout=3)
                break
            except HarnessError:
                if attempt == 2:
                    raise
                log("target not active after a click on its caption: clicking again")
        self.S.move(*TARGET_POINT)

    def wait_settled(self, mark, quiet_ms=100, button=None):
        """After a release: the target last saw the key up (or, for a press
        shorter than its 10 ms poll, never down; the target does not poll a
        button) and no click came for quiet_ms (one more click can follow a
        release)."""
        state = {"n": -1, "since": 0.0}

        def settled():
            n = len(self.log.since(mark, "LD"))
            if n != state["n"]:
                state["n"], state["since"] = n, time.monotonic()
            keys = [] if button else self.log.since(mark, "KEY", VK_LEFT)
            return ((not keys or keys[-1][3] == "U")
                    and time.monotonic() - state["since"] >= quiet_ms / 1000.0)

        wait_until(settled, 10, interval=0.01, message="key up and no clicks")

    def press(self, button, down):
        """The left-click key (X keysym Left), or a mouse button, down or up."""
        if button:
            (self.S.button_down if down else self.S.button_up)(button)
        else:
            (self.S.key_down if down else self.S.key_up)("Left")

    def hold(self, hold_ms, pids, button=None):
        """Holds the left-click key (or a button) until the clicks span
        hold_ms; returns the click stamps and the CPU % of each pid over the
        hold."""
        self.aim()
        mark = self.log.mark()
        cpu0, t0 = {p: read_stat(p) for p in pids}, time.monotonic()

        def spanned():
            lds = self.log.since(mark, "LD")
            return len(lds) >= 2 and ms_diff(lds[-1][1], lds[0][1]) >= hold_ms

        self.press(button, True)
        try:
            wait_until(spanned, hold_ms / 1000.0 + 15, interval=0.05,
                       message="clicks over %d ms" % hold_ms)
        finally:
            self.press(button, False)
        cpu = {p: (read_stat(p) - cpu0[p]) / CLK_TCK / (time.monotonic() - t0) * 100 for p in pids}
        self.wait_settled(mark, button=button)
        self.held = [e for e in self.log.poll()[mark:] if e[0] in ("LD", "LU")]
        return [int(e[1]) for e in self.log.since(mark, "LD")], cpu

    def presses(self, n, interval, button=None):
        """n presses of the left-click key (or a button) at random phases; per
        press the host time of the press and the target's stamps of the first
        click and of its own 10 ms key poll, all in the wine_ms() clock."""
        self.aim()
        if self.S.focused_window() != self.target_win:
            raise RuntimeError("the target is not active: keys would be lost")
        rng = random.Random(interval)
        # A parking tick stays awake two periods (at least 100 ms) after a
        # press: wait past that, then a random phase over a second, against
        # the awake builds' tick and the parked build's heartbeat alike.
        pause = max(0.1, 2 * interval / 1000.0)
        out = []
        for _ in range(n):
            mark = self.log.mark()
            # A deadline on the clock, not a condition.
            phase_end = time.monotonic() + pause + rng.uniform(0.0, 1.0)
            wait_until(lambda: time.monotonic() >= phase_end, pause + 2, interval=0.002)
            before = wine_ms()
            # --delay 0: xdotool otherwise waits 12 ms after the key before
            # exiting, which would blur the press time.
            if button:
                self.S.xdotool("mousedown", button)  # no delay after a button
            else:
                self.S.xdotool("keydown", "--delay", "0", "Left")
            after = wine_ms()
            try:
                wait_until(lambda: self.log.since(mark, "LD"), 5, interval=0.005,
                           message="first click after a press")
            finally:
                self.press(button, False)
            self.wait_settled(mark, button=button)
            ld = int(self.log.since(mark, "LD")[0][1])
            keyd = [] if button else self.log.since(mark, "KEY", VK_LEFT, "D")
            out.append({
                "xdotool_ms": after - before,
                "latency_ms": ms_diff(ld, int(after) & 0xFFFFFFFF),
                "key_seen_ms": (ms_diff(int(keyd[0][1]), int(after) & 0xFFFFFFFF)
                                if keyd else None),
            })
        return out

    def button_holds(self, n, hold_delay):
        """n holds of the primary button as the left-click key, each until
        the tool has clicked three times. The target sees the user's down,
        then the up of the tool's first click (its down falls inside the
        user's press), then the tool's presses. Per hold: from the user's
        down to that up, less hold_delay, and the tool's press times, all
        in the target's stamps."""
        self.aim()
        rng = random.Random(n)
        out = []
        for _ in range(n):
            mark = self.log.mark()
            phase_end = time.monotonic() + 0.1 + rng.uniform(0.0, 0.5)
            wait_until(lambda: time.monotonic() >= phase_end, 2, interval=0.002)
            self.press(1, True)
            try:
                wait_until(lambda: len(self.log.since(mark, "LD")) >= 4, 5, interval=0.005,
                           message="clicks of the held button")
            finally:
                self.press(1, False)
            self.wait_settled(mark, button=1)
            events = [e for e in self.log.poll()[mark:] if e[0] in ("LD", "LU")]
            out.append({
                "first_up_ms": ms_diff(events[1][1], events[0][1]) - hold_delay,
                "press_ms": [ms_diff(u[1], d[1]) for d, u in zip(events[2::2], events[3::2])],
                "alternate": [e[0] for e in events] == ["LD", "LU"] * (len(events) // 2),
            })
        return out

    # -- readings ------------------------------------------------------------
    def moves(self, n, pause):
        """One xdotool's arguments: n moves of 1 px right and back."""
        return [w for i in range(n) for w in ("mousemove_relative", "--", str(1 - 2 * (i % 2)),
                                               "0", "sleep", "%.4f" % pause)]

    def moving(self, pids, seconds, pause):
        """CPU % of each pid while one xdotool moves the pointer over the
        target for about seconds; returns it and the moves a second achieved."""
        n = int(seconds * MOVES_PER_S)
        c0, t0 = {p: read_stat(p) for p in pids}, time.monotonic()
        proc = subprocess.Popen(["xdotool"] + self.moves(n, pause), env=self.S.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_until(lambda: proc.poll() is not None, 3 * seconds + 10, interval=0.05,
                       message="pointer moves done")
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        wall = time.monotonic() - t0
        return {p: (read_stat(p) - c0[p]) / CLK_TCK / wall * 100 for p in pids}, n / wall

    def took(self, what, t0):
        """Keeps how long a part of the run took, for the doc."""
        self.results.setdefault("durations_s", {})[what] = time.monotonic() - t0

    def cpu_window(self, pids, seconds, slice_s=SLICE_S):
        """CPU % of one core used by each pid over seconds of wall time.

        Also keeps the % of each slice_s slice of the window in self.slices
        (pid -> list), which shows how steady the figure is."""
        c0, t0 = {p: read_stat(p) for p in pids}, time.monotonic()
        self.slices = {p: [] for p in pids}
        last_c, last_t = dict(c0), t0
        while True:
            end = min(t0 + seconds, last_t + slice_s)
            wait_until(lambda: time.monotonic() >= end, slice_s + 5, interval=0.25)
            now, c = time.monotonic(), {p: read_stat(p) for p in pids}
            for p in pids:
                self.slices[p].append((c[p] - last_c[p]) / CLK_TCK / (now - last_t) * 100)
            last_c, last_t = c, now
            if now - t0 >= seconds:
                break
        wall = last_t - t0
        return {p: (last_c[p] - c0[p]) / CLK_TCK / wall * 100 for p in pids}
