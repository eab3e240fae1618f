"""Smoke test of the e2e harness itself: Xvfb + Wine + real X input.

Run: python3 -m unittest discover -s tests/e2e -p 'test_*.py'
Helper exes come from $YORISEN_E2E_BIN_DIR or are built on the fly.
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import (ClickLog, HarnessError, WineSession, helper_exe,  # noqa: E402
                     missing_tools, to_windows_path, wait_until,
                     WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP)

VK_LEFT = 37

S = None


def setUpModule():
    global S
    missing = missing_tools()
    if missing:
        raise unittest.SkipTest("missing tools: %s" % ", ".join(missing))
    S = WineSession()
    S.start()


def tearDownModule():
    if S is not None:
        S.close()


class HarnessSmokeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.clicks = ClickLog(os.path.join(S.tmp, "clicktarget.log"))
        cls.target = S.start_exe(helper_exe("clicktarget"), [to_windows_path(cls.clicks.path)])
        cls.target_win = S.wait_window(name="^clicktarget$", pid=cls.target.pid)
        cls.tray = ClickLog(os.path.join(S.tmp, "traytarget.log"))
        cls.probe = S.start_exe(helper_exe("traytarget"),
                                [to_windows_path(cls.tray.path), "inject", "menu", "delkey"])
        cls.probe_win = S.wait_window(name="^traytarget$", pid=cls.probe.pid)
        cls.tray.wait_count("START", 1)

    def setUp(self):
        self.clicks.mark()
        self.tray.mark()

    def tearDown(self):
        S.release_all()

    def test_real_click_lands_at_client_coordinates(self):
        S.click_client(self.target_win, 100, 120)
        S.click_client(self.target_win, 30, 40, button=3)
        self.clicks.wait_count("RU", 1)
        got = [e[:1] + e[2:] for e in self.clicks.events("LD", "LU", "RD", "RU")]
        self.assertEqual(got, [["LD", "100", "120"], ["LU", "100", "120"],
                               ["RD", "30", "40"], ["RU", "30", "40"]])

    def test_click_activates_window(self):
        S.activate(self.probe_win)
        S.activate(self.target_win)
        self.assertEqual(S.focused_window(), self.target_win)
        # The caption click used for activation must not reach the client.
        self.assertEqual(self.clicks.count("LD"), 0)

    def test_async_key_state_seen_while_other_window_active(self):
        S.activate(self.target_win)
        S.key_down("Left")
        wait_until(lambda: ["KEY", str(VK_LEFT), "D"] in [e[:1] + e[2:] for e in self.tray.events("KEY")],
                   5, message="Left seen down")
        S.key_up("Left")
        wait_until(lambda: ["KEY", str(VK_LEFT), "U"] in [e[:1] + e[2:] for e in self.tray.events("KEY")],
                   5, message="Left seen up")

    def test_sendinput_clicks_reach_window_under_pointer(self):
        S.activate(self.target_win)
        S.move(200, 150, self.target_win)
        S.key_down("a")
        self.clicks.wait_count("LU", 3)
        S.key_up("a")
        self.tray.wait_count("KEY", 2)  # 'a' down and up seen by the injector
        sent = lambda: len([e for e in self.tray.events("SENT") if e[3] == "2"])
        # Every injected down+up pair arrives, at the pointer position.
        wait_until(lambda: self.clicks.count("LU") == sent(), 5, message="all clicks delivered")
        self.assertGreaterEqual(sent(), 3)
        pos = {(e[2], e[3]) for e in self.clicks.events("LD", "LU")}
        self.assertEqual(pos, {("196", "127")})

    def test_tray_icon_left_click(self):
        S.click_tray_icon(0, button=1)
        wait_until(lambda: WM_LBUTTONUP in self.tray.tray_events(), 5, message="tray 514")
        ev = [e for e in self.tray.tray_events() if e != 512]
        self.assertEqual(ev, [WM_LBUTTONDOWN, WM_LBUTTONUP])

    def test_tray_icon_right_click_opens_menu(self):
        S.click_tray_icon(0, button=3)
        menu = S.wait_popup_menu(self.probe.pid)
        ev = [e for e in self.tray.tray_events() if e != 512]
        self.assertEqual(ev[:2], [WM_RBUTTONDOWN, WM_RBUTTONUP])
        S.click(menu, *S.menu_item_point(menu, "i-i", 0))
        self.tray.wait_count("MENU", 1)
        self.assertEqual(self.tray.events("MENU")[0][2], "101")
        S.wait_gone(menu)

    def test_tray_hides_when_last_icon_removed(self):
        tray_win = S.tray_window()
        self.addCleanup(self._restore_icon, tray_win)
        S.activate(self.target_win)
        # The probe polls keys every 40 ms: hold until it reacted.
        S.key_hold("d", lambda: self.tray.count("DEL"))
        S.wait_gone(tray_win)

    def _restore_icon(self, tray_win):
        S.key_hold("n", lambda: self.tray.count("ADD"))
        wait_until(lambda: S.is_viewable(tray_win), 10, message="tray back")

    def test_caption_minimize_button(self):
        log = ClickLog(os.path.join(S.tmp, "second.log"))
        second = S.start_exe(helper_exe("clicktarget"),
                             [to_windows_path(log.path), 600, 400, 300, 200, "second（二）"])
        self.addCleanup(second.kill)
        win = S.wait_window(name="^second（二）$", pid=second.pid)
        S.click(win, *S.caption_button_point(win, "min"))
        # An unmanaged minimised window shrinks to a 160x24 caption at the bottom left.
        wait_until(lambda: S.geometry(win)[2:] == (160, 24), 5, message="minimised")
        self.assertEqual(log.count("LD"), 0)


if __name__ == "__main__":
    unittest.main()
