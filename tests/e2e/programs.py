"""The programs a session runs: Wine's loader and server, and the exes CMake
builds (the tool and the test helpers) in one build folder."""

import os
import shutil

from waits import HarnessError

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE = os.environ.get("YORISEN_E2E_WINE", "/usr/lib/wine/wine64")
WINESERVER = os.environ.get("YORISEN_E2E_WINESERVER", "/usr/lib/wine/wineserver64")


def bin_dir():
    """The build folder the exes come from: $YORISEN_E2E_BIN_DIR, else the
    win64 preset's."""
    return os.environ.get("YORISEN_E2E_BIN_DIR") or os.path.join(ROOT, "build", "win64")


def loader_is_32bit(loader=None):
    """True when the wine loader is a 32-bit ELF program (Debian's wine32)."""
    with open(shutil.which(loader or WINE) or (loader or WINE), "rb") as f:
        head = f.read(5)
    return head[:4] == b"\x7fELF" and head[4] == 1


def exe_is_32bit(exe):
    """True for an i386 PE exe, False for another machine (x64)."""
    with open(exe, "rb") as f:
        data = f.read(4096)
    pe = int.from_bytes(data[0x3c:0x40], "little")
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        raise HarnessError("not a PE exe: %s" % exe)
    return int.from_bytes(data[pe + 4:pe + 6], "little") == 0x14c


def helper_exe(name):
    """Path of a test helper exe (clicktarget, taskbarcreated, procstat,
    winlist...). Every Windows preset builds them beside the tool, for its
    width, so the helpers run under the same loader as the tool."""
    path = os.path.join(bin_dir(), name + ".exe")
    if not os.path.isfile(path):
        raise HarnessError(
            "no %s in %s: the test helpers are built by CMake with the tool (cmake --build "
            "--preset win64, or win32 for the 32-bit loader); YORISEN_E2E_BIN_DIR names the "
            "build folder" % (name + ".exe", bin_dir()))
    return path


def missing_tools():
    """Names of required host tools that are not installed (for skipping)."""
    need = [WINE, WINESERVER, "Xvfb", "xdotool", "xdpyinfo", "xwininfo", "xprop", "xwd"]
    return [t for t in need if not shutil.which(t)]
