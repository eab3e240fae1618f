"""Long-run check of the real tool under Wine: rapid clicking at 1 ms with
the key held on and off, tray menus opened and closed, the window minimised
to the tray and restored, the stop box toggled. Resource counts are sampled
along the way; they must stay flat.

Wine answers 0 for GetGuiResources and the process's own handle and
private-byte counters, so what is sampled is what Wine does report: the
process's kernel handles (system handle table), its windows, its working
set, and the host process's resident memory and open files.
"""

import os
import re
import time

from harness import TARGET, TARGET_POINT, ClickLog, helper_exe, to_windows_path, wait_until
from tool import STOP_BOX, Tool

EMPTY_POINT = (900, 900)  # bare desktop: a click here closes a menu


def host_stats(pid):
    with open("/proc/%d/status" % pid) as f:
        rss = int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))
    return {"host_rss_kb": rss, "host_fds": len(os.listdir("/proc/%d/fd" % pid))}


def sample(session, tool, label):
    proc = session.start_exe(helper_exe("procstat"), ["yorisen.exe"])
    proc.wait_exit(20)
    line = proc.output().strip().splitlines()[-1]
    fields = dict(kv.split("=") for kv in line.split()[1:])
    row = {"label": label, "time": time.monotonic()}
    for key in ("syshandles", "windows", "ws", "gdi", "user"):
        row[key] = int(fields[key])
    row.update(host_stats(tool.proc.pid))
    return row


def run(session, click_seconds, menus, minimise_cycles, toggles, report=print):
    """Runs the soak and returns the samples (first after a warm-up round of
    each activity, last at the end)."""
    log = ClickLog(os.path.join(session.tmp, "soak-target.log"))
    target = session.start_exe(helper_exe("clicktarget"),
                               [to_windows_path(log.path)] + [str(v) for v in TARGET])
    target_win = session.wait_window(name="^clicktarget$", pid=target.pid)
    tool = Tool(session, "[Config]\r\nInterval=1\r\n")
    samples = []
    try:
        def open_and_close_menu():
            menu = tool.open_menu()
            session.click_screen(*EMPTY_POINT)
            session.wait_gone(menu)

        def minimise_and_restore():
            tool.caption_button("min")
            session.wait_gone(tool.win)
            tool.tray_icon(1)
            tool.wait_restored()

        def toggle_stop():
            tool.click_client(*STOP_BOX)

        def click_burst(seconds):
            session.activate(target_win)
            session.move(*TARGET_POINT)
            before = len(log.events("LD"))
            session.key_down("Left")
            start = time.monotonic()
            wait_until(lambda: time.monotonic() - start >= seconds, seconds + 5, interval=0.1)
            session.key_up("Left")
            return len(log.events("LD")) - before

        # Warm-up: every activity once, so lazily made things exist.
        open_and_close_menu()
        minimise_and_restore()
        toggle_stop()
        toggle_stop()
        click_burst(1)
        samples.append(sample(session, tool, "start"))
        report("start: %s" % samples[-1])

        for i in range(menus):
            open_and_close_menu()
        samples.append(sample(session, tool, "after %d menus" % menus))
        report(samples[-1]["label"] + ": %s" % samples[-1])

        for i in range(minimise_cycles):
            minimise_and_restore()
        samples.append(sample(session, tool, "after %d minimise/restore" % minimise_cycles))
        report(samples[-1]["label"] + ": %s" % samples[-1])

        session.activate(tool.win)
        for i in range(toggles):
            toggle_stop()
        samples.append(sample(session, tool, "after %d stop toggles" % toggles))
        report(samples[-1]["label"] + ": %s" % samples[-1])

        clicks = 0
        deadline = time.monotonic() + click_seconds
        while time.monotonic() < deadline:
            clicks += click_burst(min(5.0, max(0.1, deadline - time.monotonic())))
            # Key up for a moment: the on/off part of the pattern.
            pause = time.monotonic()
            wait_until(lambda: time.monotonic() - pause >= 1.0, 5, interval=0.1)
        samples.append(sample(session, tool, "after %d s of 1 ms clicking" % click_seconds))
        samples[-1]["clicks"] = clicks
        report(samples[-1]["label"] + ": %s (%d clicks)" % (samples[-1], clicks))
        exit_code = tool.close()
        samples[-1]["exit_code"] = exit_code
    finally:
        session.release_all()
        tool.stop()
        target.kill()
    return samples


def growth(samples):
    first, last = samples[0], samples[-1]
    return {k: last[k] - first[k] for k in ("syshandles", "windows", "ws", "host_rss_kb",
                                            "host_fds")}
