"""Whatever lands in config.ini, and a hostile environment: the tool starts,
shows no dialog, exits cleanly, and loses none of the user's settings."""

import os
import random
import re
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import WineSession, helper_exe, missing_tools, wait_until  # noqa: E402
from tool import Tool, read_config, stop_all  # noqa: E402

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

    def tearDown(self):
        S.release_all()
        try:
            stop_all(self.tools)
        finally:
            for mount in reversed(self.mounts):
                subprocess.run(["umount", mount], check=False)
            wait_until(lambda: not S.tray_visible(), 10, message="tray icons gone")

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

    def test_read_only_program_folder(self):
        t = self.tool(start=False)
        self.read_only(t.folder)
        t.expect_traces.append(WRITE_FAILED)
        t.start()
        self.assertEqual(S.find_windows(pid=t.proc.pid), [t.win])
        self.assertEqual(t.close(), 0)
        self.assertFalse(os.path.exists(os.path.join(t.folder, "config.ini")))

    def test_settings_round_trip_in_a_non_ascii_folder(self):
        folder = os.path.join(S.tmp, "テスト ü")
        t = self.tool("[Config]\r\nLeftKey=65\r\nInterval=100\r\n", folder=folder)
        self.assertEqual(t.close(), 0)
        t.start()
        self.assertEqual(t.close(), 0)
        text = read_config(folder)
        self.assertEqual(stored(text, "LeftKey"), "65")
        self.assertEqual(stored(text, "Interval"), "100")

    def test_two_copies_at_once_both_work_and_both_exit(self):
        first = self.tool("[Config]\r\nInterval=100\r\n")
        folder = first.folder
        second = self.tool(folder=folder)
        # Each answers on its own icon (in the order they were added).
        for index, copy in enumerate((first, second)):
            menu = copy.open_menu(index)
            S.click_screen(640, 900)
            S.wait_gone(menu)
        self.assertEqual(first.close(), 0)
        self.assertEqual(second.close(), 0)
        self.assertEqual(stored(read_config(folder), "Interval"), "100")

    def test_icon_and_menu_come_back_after_a_taskbar_restart(self):
        t = self.tool()
        t.expect_traces.append("^Shell_NotifyIcon add failed")
        broadcast = S.start_exe(helper_exe("taskbarcreated"))
        self.assertEqual(broadcast.wait_exit(10), 0)
        t.choose(t.open_menu(), 2)  # 終了する
        self.assertEqual(t.proc.wait_exit(10), 0)


if __name__ == "__main__":
    unittest.main()
