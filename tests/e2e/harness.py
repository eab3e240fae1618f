"""End-to-end harness: private Xvfb + private Wine prefix + real X input.

The names the tests and the bench import, from the modules that do each job:
session.py (the session's life cycle), xdesk.py (the X desktop and its
input), wine_tray.py (what Wine draws: frames, the tray, popup menus),
programs.py (Wine and the exes CMake builds), clicklog.py (the click target
and its log), waits.py (polling waits). Typical use (one session per test
module):

    from harness import WineSession, ClickLog, wait_until

    def setUpModule():
        global S
        S = WineSession()
        S.start()

    def tearDownModule():
        S.close()
"""

from clicklog import TARGET, TARGET_POINT, ClickLog, ms_diff, wine_ms  # noqa: F401
from programs import (WINE, WINESERVER, bin_dir, exe_is_32bit, helper_exe,  # noqa: F401
                      loader_is_32bit, missing_tools)
from session import WineProcess, WineSession, prefix_pids, to_windows_path  # noqa: F401
from waits import HarnessError, wait_until  # noqa: F401
