"""Logoff or shutdown ends the tool like a close: the settings are written.
Its own session, since ending the session ends every program in it."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import WineSession, missing_tools  # noqa: E402
from tool import Tool, read_config  # noqa: E402


class LogoffTest(unittest.TestCase):
    def test_session_end_writes_the_settings(self):
        if missing_tools():
            self.skipTest("missing tools")
        with WineSession() as session:
            tool = Tool(session, "[Config]\r\nInterval=5000\r\n")
            try:
                session_end = session.start_program(["wineboot", "--end-session"])
                self.assertEqual(session_end.wait_exit(20), 0)
                self.assertEqual(tool.proc.wait_exit(10), 0)
                self.assertEqual(
                    read_config(tool.folder),
                    "[Config]\r\nInterval=500\r\nLeftKey=37\r\nRightKey=39\r\nOnOffKey=38\r\n")
            finally:
                tool.stop()


if __name__ == "__main__":
    unittest.main()
