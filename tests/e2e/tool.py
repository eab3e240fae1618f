"""Drives one copy of yorisen.exe under a harness WineSession."""

import glob
import os
import re
import shutil
import sys

from harness import bin_dir, wait_until

TITLE = "^Yorisen（仮名）$"
CLIENT_SIZE = (176, 255)  # at 96 dpi
# Client-area centres of the controls, at 96 dpi.
KEY_BOX = [(140, 41), (140, 65), (140, 89)]
INTERVAL_BOX = (124, 129)
STOP_BOX = (30, 152)
SKILL_BOX = [(34 + 38 * (i % 4), 196 + 20 * (i // 4)) for i in range(8)]

TRACE = re.compile(r'OutputDebugStringA "yorisen: (.*?)(?:\\n)?"\s*$')


def traces(output):
    """The tool's quiet-trace lines in a process's output."""
    return [m.group(1) for m in map(TRACE.search, output.splitlines()) if m]


def tool_exe(name="yorisen.exe"):
    return os.path.join(bin_dir(), name)


def read_config(folder):
    with open(os.path.join(folder, "config.ini"), "rb") as f:
        data = f.read()
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le")
    return data.decode("utf-8", "replace")


def user_settings_folders(session):
    """The per-user settings folder, where it exists in the session's prefix
    (shared by every test, so tests that may write it clear it)."""
    return glob.glob(os.path.join(session.prefix, "drive_c", "users", "*", "AppData",
                                  "Roaming", "Yorisen"))


def clear_user_settings(session):
    for folder in user_settings_folders(session):
        shutil.rmtree(folder)


def figure(text):
    """Measured figures go to stderr, where the run's log keeps them."""
    sys.stderr.write("  [figure] %s\n" % text)


class Tool:
    """One running copy of the tool, by default in a folder of its own.

    config: text (written as UTF-8) or bytes for config.ini; folder: where
    the exe goes (made if missing); start=False leaves starting to start()
    (or launch(), then wait_window()); exe: another build of the tool, from
    the same folder as yorisen.exe, or an exe's absolute path; loader: a
    wine loader other than the session's (the 32-bit one for a 32-bit exe).
    A trace line that matches no pattern in expect_traces fails stop()."""

    count = 0

    def __init__(self, session, config=None, folder=None, start=True, exe="yorisen.exe",
                 loader=None):
        self.s = session
        Tool.count += 1
        self.folder = folder or os.path.join(session.tmp, "tool%d" % Tool.count)
        self.exe = os.path.basename(exe)
        self.path = os.path.join(self.folder, self.exe)
        self.loader = loader
        os.makedirs(self.folder, exist_ok=True)
        shutil.copy(exe if os.path.isabs(exe) else tool_exe(exe), self.folder)
        if config is not None:
            data = config.encode("utf-8") if isinstance(config, str) else config
            with open(os.path.join(self.folder, "config.ini"), "wb") as f:
                f.write(data)
        # The tray menu names the last program in front since the start, and
        # offers to clear a list: tests that bring one in front say so.
        self.program_seen = False
        self.listed = isinstance(config, str) and re.search(r"^Programs=.*\S", config, re.M)
        self.proc = None
        self.procs = []
        self.win = None
        self.expect_traces = []
        if start:
            self.start()

    def start(self):
        self.launch()
        self.wait_window()
        return self

    def launch(self):
        """Starts the copy; returns its process at once."""
        self.proc = self.s.start_exe(self.path, loader=self.loader)
        self.procs.append(self.proc)
        return self.proc

    def wait_window(self):
        self.win = self.s.wait_window(name=TITLE, pid=self.proc.pid)
        return self.win

    def close(self):
        """Closes the window like a user; returns the exit code."""
        self.caption_button("close")
        return self.proc.wait_exit(10)

    def client_point(self, x, y):
        """Window-relative point of a client-area point (the X window holds
        the frame Wine draws)."""
        _, _, w, h = self.s.geometry(self.win)
        border = (w - CLIENT_SIZE[0]) // 2
        caption = h - CLIENT_SIZE[1] - border
        return border + x, caption + y

    def click_client(self, x, y):
        self.s.xdotool("windowraise", self.win)  # another copy may cover it
        self.s.click(self.win, *self.client_point(x, y))

    def wait_restored(self, timeout=10.0):
        """Waits until the window is back at its full size (from the tray,
        say), where its caption buttons are."""
        self.s.wait_restored(self.win, CLIENT_SIZE, timeout)

    def caption_button(self, which):
        self.s.xdotool("windowraise", self.win)
        self.s.click(self.win, *self.s.caption_button_point(self.win, which))

    def tray_icon(self, button, index=0):
        """Clicks our icon (the index-th in Wine's tray window), raising the
        tray above our window, which covers it at start."""
        tray = self.s.tray_window()
        point = self.s.tray_icon_point(tray, index)

        def over_tray():
            # Clicked while our window is on top, the click would open nothing.
            self.s.xdotool("windowraise", tray)
            self.s.move(*point, wid=tray)
            return self.s.pointer_window() == tray
        wait_until(over_tray, 5, message="the pointer over the tray icon",
                   describe=self.s.describe_windows)
        self.s.click_at_once(button)  # the menu opens on the press

    def open_menu(self, index=0):
        self.tray_icon(3, index)
        return self.s.wait_popup_menu(self.proc.pid)

    def menu_items(self):
        """The tray menu's entries top to bottom ('-' a separator): the
        program last in front, clearing the list of programs, and in an
        administrator's unelevated copy the restart."""
        return (["stop"] + ["program"] * bool(self.program_seen) + ["all"] * bool(self.listed)
                + ["restart"] * (self.s.elevation() == "limited") + ["-", "exit"])

    def choose(self, menu, item):
        """Chooses 'stop', 'program' (which lists it: no test unlists one),
        'all', 'restart' or 'exit' in the open tray menu."""
        items = self.menu_items()
        layout = "".join("-" if i == "-" else "i" for i in items)
        self.s.click(menu, *self.s.menu_item_point(menu, layout, items.index(item)))
        self.listed = item == "program" or (self.listed and item != "all")

    def traces(self):
        return [line for p in self.procs for line in traces(p.output())]

    def stop(self):
        """Ends the tool, then fails on any trace line nobody expected."""
        if self.proc is not None and self.proc.alive():
            self.proc.kill()
        unexpected = [t for t in self.traces()
                      if not any(re.search(p, t) for p in self.expect_traces)]
        if unexpected:
            raise AssertionError("unexpected trace lines: %s" % unexpected)


def stop_all(tools):
    """Stops every tool, then raises the first trace complaint, if any."""
    errors = []
    for tool in tools:
        try:
            tool.stop()
        except AssertionError as e:
            errors.append(e)
    if errors:
        raise errors[0]
