"""Programs=: the keys act only while a listed program is in front, the
icon follows the foreground, and the tray menu edits the list.

Two click targets, the same exe under two file names, one of them outside
any ANSI code page, so that config.ini must keep it as Unicode.
"""

import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import (ClickLog, WineSession, helper_exe, missing_tools,  # noqa: E402
                     to_windows_path, wait_until)
from tool import Tool, figure, read_config  # noqa: E402

OTHER = "標的.exe"
# x, y, w, h of each target, and a screen point inside its client area.
PLACES = [((300, 300, 400, 250), (500, 440)), ((300, 620, 400, 250), (500, 760))]


class ProgramsTest(unittest.TestCase):
    def setUp(self):
        missing = missing_tools()
        if missing:
            self.skipTest("missing tools: %s" % ", ".join(missing))
        self.s = WineSession()
        self.s.start()
        self.addCleanup(self.s.close)
        folder = os.path.join(self.s.tmp, "targets")
        os.makedirs(folder)
        exes = [shutil.copy(helper_exe("clicktarget"), folder),
                shutil.copy(helper_exe("clicktarget"), os.path.join(folder, OTHER))]
        self.targets = []
        for i, (exe, (place, point)) in enumerate(zip(exes, PLACES)):
            log = ClickLog(os.path.join(self.s.tmp, "target%d.log" % i))
            proc = self.s.start_exe(exe, [to_windows_path(log.path)] + [str(v) for v in place]
                                    + ["target%d" % i])
            win = self.s.wait_window(name="^target%d$" % i, pid=proc.pid)
            log.wait_count("START", 1)
            self.targets.append((win, point, log))

    def front(self, i):
        """Target i in front, the pointer over it; returns when Wine gave it
        the focus."""
        win, point, _ = self.targets[i]
        self.tool.program_seen = True
        self.s.activate(win)
        self.s.move(*point)
        return time.monotonic()

    def hold(self, i, at_once):
        """Holds Left over target i for half a second of its seeing the key
        down (at_once: pressed right after the switch); returns its clicks."""
        self.front(i)
        log = self.targets[i][2]
        log.mark()
        self.s.key_down("Left")
        seen = {}

        def long_enough():
            if log.count("KEY") and "t" not in seen:
                seen["t"] = time.monotonic()
            return "t" in seen and time.monotonic() - seen["t"] >= 0.5
        try:
            wait_until(long_enough, 5, message="Left held over target %d" % i)
        finally:
            self.s.key_up("Left")
        return log.count("LD")

    def test_only_listed_programs_get_clicks_and_the_menu_lists_the_one_in_front(self):
        self.tool = Tool(self.s)
        self.addCleanup(self.tool.stop)
        self.assertGreater(self.hold(1, True), 3, "no list: clicks everywhere")
        # The menu lists the program in front before it (the tray's click
        # brings the tray window in front first).
        self.front(0)
        self.tool.choose(self.tool.open_menu(), "program")
        wait_until(lambda: self.s.tray_colour_pixels() > 20, 5, message="the icon in colour")
        # Another program in front: the icon greys at once, not at the
        # parked tick's heartbeat (a second).
        started = self.front(1)
        wait_until(lambda: self.s.tray_colour_pixels() == 0, 5, message="the icon greyed",
                   describe=lambda: "%d coloured pixels" % self.s.tray_colour_pixels())
        figure("program not listed in front: icon greyed after %.2f s"
               % (time.monotonic() - started))
        for at_once in (False, True):
            self.assertEqual(self.hold(1, at_once), 0, "not listed, at once: %s" % at_once)
            self.assertGreater(self.hold(0, at_once), 3, "listed, at once: %s" % at_once)
        self.front(1)
        self.tool.choose(self.tool.open_menu(), "program")
        self.assertGreater(self.hold(1, True), 3, "listed from the menu")
        self.tool.choose(self.tool.open_menu(), "exit")
        self.assertEqual(self.tool.proc.wait_exit(10), 0)
        self.assertIn("Programs=clicktarget.exe|%s\r\n" % OTHER, read_config(self.tool.folder))


if __name__ == "__main__":
    unittest.main()
