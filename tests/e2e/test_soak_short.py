"""A short soak: the resource counts of the real tool stay flat."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import soak  # noqa: E402
from harness import WineSession, missing_tools  # noqa: E402
from tool import figure  # noqa: E402


class ShortSoakTest(unittest.TestCase):
    def test_counts_stay_flat(self):
        if missing_tools():
            self.skipTest("missing tools")
        with WineSession() as session:
            samples = soak.run(session, click_seconds=20, menus=20, minimise_cycles=20,
                               toggles=20, report=lambda text: figure("soak " + text))
        g = soak.growth(samples)
        figure("soak growth: %s" % g)
        self.assertEqual(samples[-1]["exit_code"], 0)
        self.assertGreater(samples[-1]["clicks"], 2000)  # 1 ms: about 1000 a second held
        self.assertLessEqual(abs(g["syshandles"]), 2)
        self.assertEqual(g["windows"], 0)
        self.assertLessEqual(abs(g["host_fds"]), 2)
        self.assertLess(g["host_rss_kb"], 4096)


if __name__ == "__main__":
    unittest.main()
