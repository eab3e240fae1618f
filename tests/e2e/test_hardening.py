"""Whatever lands in config.ini, and a hostile environment: the tool starts,
shows no dialog, exits cleanly, and loses none of the user's settings."""

import os
import random
import re
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import (WineSession, helper_exe, missing_tools, to_windows_path,  # noqa: E402
                     wait_until)
from tool import (CLIENT_SIZE, INTERVAL_BOX, KEY_BOX, TITLE, Tool,  # noqa: E402
                  clear_user_settings,
                  figure, read_config, stop_all, traces, user_settings_folders)

S = None

WRITE_FAILED = "^WritePrivateProfileString .* failed"

DEFAULTS = {"LeftKey": "37", "RightKey": "39", "OnOffKey": "38", "Interval": "40"}


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


def stored(text, key):
    """The value written for key in [Config] (any case), or None."""
    section = re.search(r"(?ims)^\[config\][^\n]*\n(.*?)(?=^\[|\Z)", text)
    if not section:
        return None
    m = re.search(r"(?im)^%s=([^\r\n]*)" % key, section.group(1))
    return m.group(1) if m else None


class StoredInputTest(unittest.TestCase):
    """Each case: start on the given config.ini, close, read what was kept."""

    def tearDown(self):
        S.release_all()
        if getattr(self, "tool", None):
            self.tool.stop()
        wait_until(lambda: not S.tray_visible(), 10, message="tray icons gone")

    def run_tool(self, config):
        self.tool = Tool(S, config)
        # No dialog: the main window is the process's only visible window.
        self.assertEqual(S.find_windows(pid=self.tool.proc.pid), [self.tool.win])
        self.assertEqual(self.tool.close(), 0)
        return read_config(self.tool.folder)

    def assertLoaded(self, text, **expected):
        values = dict(DEFAULTS, **expected)
        for key, value in values.items():
            self.assertEqual(stored(text, key), value, key)

    def test_binary_garbage(self):
        rng = random.Random(1234)
        garbage = bytes(rng.randrange(256) for _ in range(64 * 1024))
        text = self.run_tool(garbage)
        self.assertLoaded(text)

    def test_megabyte_line_and_a_value_longer_than_the_read_buffer(self):
        config = ("[Config]\r\nLeftKey=65\r\nRightKey=" + "6" * 2000 + "\r\nInterval=100\r\n"
                  "[Big]\r\nLine=" + "x" * (1 << 20) + "\r\n")
        text = self.run_tool(config)
        # A value cut by the read buffer is no number: the default.
        self.assertLoaded(text, LeftKey="65", Interval="100")
        self.assertIn("Line=" + "x" * (1 << 20), text)

    def test_utf16_file_with_bom(self):
        config = "\ufeff[Mine]\r\nName=テスト ü\r\n[Config]\r\nLeftKey=65\r\n"
        text = self.run_tool(config.encode("utf-16-le"))
        self.assertLoaded(text, LeftKey="65")
        self.assertIn("Name=テスト ü", text)

    def test_duplicate_keys_the_first_wins(self):
        text = self.run_tool("[Config]\r\nLeftKey=65\r\nLeftKey=66\r\n")
        self.assertEqual(stored(text, "LeftKey"), "65")

    def test_missing_section_and_section_in_other_case(self):
        text = self.run_tool("[Other]\r\nLeftKey=65\r\n")
        self.assertLoaded(text)
        self.assertIn("[Other]\r\nLeftKey=65\r\n", text)
        text = self.run_tool("[CONFIG]\r\nleftkey=65\r\n")
        self.assertLoaded(text, LeftKey="65")
        self.assertEqual(text.lower().count("[config]"), 1)

    def test_lf_only_line_ends(self):
        text = self.run_tool("[Config]\nLeftKey=65\nInterval=100\n[Mine]\nKeep=1\n")
        self.assertLoaded(text, LeftKey="65", Interval="100")
        self.assertRegex(text, r"\[Mine\]\r?\nKeep=1")

    def test_values_with_blanks_signs_and_hex(self):
        text = self.run_tool("[Config]\r\nLeftKey=  65  \r\nRightKey=\t66\t\r\n"
                             "OnOffKey=0x41\r\nInterval=-5\r\n")
        # Blanks around a value are the file format's; "0x41" is no decimal
        # number; a negative period is refused by the interval rule.
        self.assertLoaded(text, LeftKey="65", RightKey="66", OnOffKey="38", Interval="40")
        text = self.run_tool("[Config]\r\nLeftKey=+65\r\nInterval=+7\r\n")
        self.assertLoaded(text, LeftKey="65", Interval="7")

    def test_empty_file(self):
        self.assertLoaded(self.run_tool(b""))

    def test_config_ini_is_a_directory(self):
        self.tool = Tool(S, start=False)
        os.mkdir(os.path.join(self.tool.folder, "config.ini"))
        self.tool.expect_traces.append(WRITE_FAILED)
        self.tool.start()
        self.assertEqual(S.find_windows(pid=self.tool.proc.pid), [self.tool.win])
        self.assertEqual(self.tool.close(), 0)
        self.assertTrue(os.path.isdir(os.path.join(self.tool.folder, "config.ini")))


class EnvironmentTest(unittest.TestCase):
    def setUp(self):
        self.tools = []
        self.mounts = []
        clear_user_settings(S)

    def tearDown(self):
        S.release_all()
        try:
            stop_all(self.tools)
        finally:
            for mount in reversed(self.mounts):
                subprocess.run(["umount", mount], check=False)
            wait_until(lambda: not S.tray_visible(), 10, message="tray icons gone")
            clear_user_settings(S)

    def read_only(self, path):
        """Makes path (a file or a folder) read-only even for root."""
        r = subprocess.run(["mount", "--bind", path, path], capture_output=True)
        if r.returncode != 0:
            self.skipTest("cannot bind-mount here: %s" % r.stderr.decode().strip())
        self.mounts.append(path)
        subprocess.run(["mount", "-o", "remount,bind,ro", path, path], check=True)

    def tool(self, config=None, folder=None, start=True):
        t = Tool(S, config, folder=folder, start=start)
        self.tools.append(t)
        return t

    def test_read_only_config_ini_is_left_alone_without_a_dialog(self):
        t = self.tool("[Config]\r\nLeftKey=65\r\n", start=False)
        path = os.path.join(t.folder, "config.ini")
        self.read_only(path)
        t.expect_traces.append(WRITE_FAILED)
        t.start()
        self.assertEqual(S.find_windows(pid=t.proc.pid), [t.win])
        self.assertEqual(t.close(), 0)
        self.assertEqual(read_config(t.folder), "[Config]\r\nLeftKey=65\r\n")

    def test_read_only_program_folder_keeps_the_settings_per_user(self):
        t = self.tool("[Mine]\r\nKeep=yes\r\n[Config]\r\nRightKey=66\r\n", start=False)
        self.read_only(t.folder)
        before = sorted(os.listdir(t.folder))
        t.expect_traces.append("^settings: the program folder refuses writes, using .*Roaming")
        t.start()
        self.assertEqual(S.find_windows(pid=t.proc.pid), [t.win])
        S.activate(t.win)
        t.click_client(*KEY_BOX[0])
        S.key_tap("a")
        t.click_client(*INTERVAL_BOX)
        # "40": erase it to get "1", then type "25".
        for key in ("End", "BackSpace", "BackSpace", "2", "5"):
            S.key_tap(key)
        self.assertEqual(t.close(), 0)
        # The restart reads what the first run kept, and writes it back.
        t.start()
        self.assertEqual(t.close(), 0)
        self.assertEqual(sorted(os.listdir(t.folder)), before)
        self.assertEqual(read_config(t.folder), "[Mine]\r\nKeep=yes\r\n[Config]\r\nRightKey=66\r\n")
        folders = user_settings_folders(S)
        self.assertEqual(len(folders), 1)
        self.assertEqual(read_config(folders[0]),
                         "[Mine]\r\nKeep=yes\r\n[Config]\r\nRightKey=66\r\nLeftKey=65\r\n"
                         "OnOffKey=38\r\nInterval=125\r\n")

    def test_settings_round_trip_in_a_non_ascii_folder(self):
        folder = os.path.join(S.tmp, "テスト ü")
        t = self.tool("[Config]\r\nLeftKey=65\r\nInterval=100\r\n", folder=folder)
        self.assertEqual(t.close(), 0)
        t.start()
        self.assertEqual(t.close(), 0)
        text = read_config(folder)
        self.assertEqual(stored(text, "LeftKey"), "65")
        self.assertEqual(stored(text, "Interval"), "100")

    def test_a_second_start_from_the_same_folder_brings_the_first_forward(self):
        config = "[Config]\r\nInterval=100\r\n"
        first = self.tool(config)
        first.caption_button("min")
        S.wait_gone(first.win)
        # The same file again, as a shortcut would start it.
        started = time.monotonic()
        second = S.start_exe(os.path.join(first.folder, "yorisen.exe"))
        self.assertEqual(second.wait_exit(10), 0)
        figure("second start from the same folder ended in %.2f s" % (time.monotonic() - started))
        self.assertEqual(traces(second.output()), [])
        first.wait_restored(5)
        self.assertEqual(read_config(first.folder), config)
        # A copy from another folder runs beside it: it shows its own window.
        other = self.tool()
        self.assertTrue(first.proc.alive() and other.proc.alive())
        # The newer window covers the first: close it first.
        self.assertEqual(other.close(), 0)
        self.assertEqual(first.close(), 0)
        self.assertEqual(read_config(first.folder),
                         "[Config]\r\nInterval=100\r\nLeftKey=37\r\nRightKey=39\r\n"
                         "OnOffKey=38\r\n")

    def test_restart_as_administrator_leaves_one_elevated_copy_with_the_settings(self):
        if S.elevation() != "limited":
            # Wine 8 starts every program elevated: there is no such item.
            figure("restart as administrator: not under this Wine (%s)" % S.elevation())
            return
        t = self.tool()
        S.activate(t.win)
        t.click_client(*INTERVAL_BOX)
        # "40": erased, it reads "1", then "125".
        for key in ("End", "BackSpace", "BackSpace", "2", "5"):
            S.key_tap(key)
        menu = t.open_menu()
        height = S.geometry(menu)[3]
        started = time.monotonic()
        t.choose(menu, "restart")
        self.assertEqual(t.proc.wait_exit(10), 0)
        self.assertIn("Interval=125\r\n", read_config(t.folder))
        # One copy: a new process, shown as the old one was, which waited
        # for the old one's end, not its full 5 s.
        win = wait_until(lambda: S.find_windows(name=TITLE), 20, message="the new copy")
        took = time.monotonic() - started
        pid = S.window_pid(win[0])
        try:
            figure("restart as administrator: the new copy's window after %.2f s" % took)
            self.assertLess(took, 5)
            self.assertEqual(len(win), 1)
            self.assertNotEqual(pid, t.proc.pid)
            # Elevated, it offers no restart: a shorter menu, whose last item
            # ends it.
            t.tray_icon(3)
            menu = S.wait_popup_menu(pid)
            self.assertLess(S.geometry(menu)[3], height)
            S.click(menu, *S.menu_item_point(menu, "i-i", 2))
            wait_until(lambda: not os.path.exists("/proc/%d" % pid), 10,
                       message="the new copy ended")
            self.assertIn("Interval=125\r\n", read_config(t.folder))
        finally:
            S.end_pids([pid])

    def test_a_minimised_start_goes_to_the_tray(self):
        # A window in front, which the start leaves there.
        front = S.start_exe(helper_exe("clicktarget"),
                            [to_windows_path(os.path.join(S.tmp, "front.log"))])
        self.addCleanup(front.kill)
        front_win = S.wait_window(name="^clicktarget$", pid=front.pid)
        S.activate(front_win)
        t = self.tool(start=False)
        # What a shortcut set to "Run: Minimized" asks for.
        start = S.start_program(["start", "/min", "/wait", "/unix",
                                 os.path.join(t.folder, "yorisen.exe")])
        self.addCleanup(start.kill)

        def hidden_in_the_tray():
            return (S.tray_visible() and not S.find_windows(name=TITLE)
                    and S.find_windows(name=TITLE, visible=False))
        win = wait_until(hidden_in_the_tray, 20, message="window hidden, icon in the tray")[0]
        self.assertEqual(S.focused_window(), front_win)
        # Back from the tray once: in front, at its size, not minimised.
        S.click_tray_icon(0)
        S.wait_restored(win, CLIENT_SIZE, 5)
        wait_until(lambda: S.focused_window() == win, 5, message="window active")
        S.click(win, *S.caption_button_point(win, "close"))
        self.assertEqual(start.wait_exit(10), 0)
        self.assertEqual(traces(start.output()), [])

    def test_icon_and_menu_come_back_after_a_taskbar_restart(self):
        # The icon outlived the broadcast here: found again, nothing traced.
        t = self.tool()
        broadcast = S.start_exe(helper_exe("taskbarcreated"))
        self.assertEqual(broadcast.wait_exit(10), 0)
        t.choose(t.open_menu(), "exit")  # 終了する
        self.assertEqual(t.proc.wait_exit(10), 0)


if __name__ == "__main__":
    unittest.main()
