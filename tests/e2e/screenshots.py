#!/usr/bin/env python3
"""Draws docs/screenshot.png (the main window), docs/tray-menu.png (the
tray menu open) and docs/tray-icons.png (the icon on, then off) from the
real exe under Wine on Xvfb, at 96 dpi, with IPA Gothic standing in for the
Japanese UI font. Run through scripts/screenshots."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from harness import WineSession, wait_until  # noqa: E402
from tool import Tool  # noqa: E402

DOCS = os.path.join(HERE, "..", "..", "docs")
# Wine's UI fonts have no Japanese glyphs.
REGISTRY = [
    ("HKCU\\Software\\Wine\\Fonts\\Replacements", "Tahoma", "REG_SZ", "IPAPGothic"),
    ("HKCU\\Software\\Wine\\Fonts\\Replacements", "MS Shell Dlg", "REG_SZ", "IPAPGothic"),
    ("HKCU\\Control Panel\\Desktop", "LogPixels", "REG_DWORD", "96"),
]
MARGIN = 12  # background around the tray and the menu


def settled_shot(session, path, wid="root"):
    """A screenshot once drawing has settled: a picture seen before (the
    caret blinks between two)."""
    seen = set()

    def repeated():
        session.screenshot(path, wid)
        with open(path, "rb") as f:
            # The PNG's own time stamps differ; compare the pixels.
            pixels = subprocess.run(["convert", path, "rgb:-"], check=True,
                                    capture_output=True).stdout
        digest = hashlib.sha256(pixels).hexdigest()
        if digest in seen:
            return True
        seen.add(digest)
        return False
    wait_until(repeated, timeout=10, interval=0.3, message="the screen to settle")


def tray_icon_shot(session, name):
    """Our icon's cell in Wine's tray (the first), as a file."""
    tray = session.tray_window()
    x, y = session.tray_icon_point(tray, 0)
    path = os.path.join(session.tmp, "tray-%s.png" % name)
    settled_shot(session, path, tray)
    subprocess.run(["convert", path, "-crop", "20x20+%d+%d" % (x - 10, y - 10), "+repage",
                    path], check=True)
    return path


def save(src, dest, *operations):
    subprocess.run(["convert", src, *operations, "-strip", dest], check=True)
    print("wrote %s" % os.path.relpath(dest))


def main():
    session = WineSession(prefix=os.path.join(tempfile.mkdtemp(prefix="yorisen-shots-"), "pfx"))
    session.start()
    try:
        for key, name, kind, value in REGISTRY:
            session.start_program(["reg", "add", key, "/v", name, "/t", kind, "/d", value,
                                   "/f"]).wait_exit(60)
        # Wine here does not load the fonts of its own data folder, and the
        # caption buttons are Marlett glyphs: give the prefix fonts-wine's copy.
        fonts = os.path.join(session.prefix, "drive_c", "windows", "Fonts")
        shutil.copy("/usr/share/wine/fonts/marlett.ttf", fonts)
        tool = Tool(session)
        shot = os.path.join(session.tmp, "shot.png")

        session.activate(tool.win)
        settled_shot(session, shot, tool.win)
        save(shot, os.path.join(DOCS, "screenshot.png"))

        # As it is used: minimised to the tray, menu opened on its icon.
        tool.caption_button("min")
        wait_until(lambda: not session.is_viewable(tool.win), message="the window to hide")
        icons = [tray_icon_shot(session, "on")]
        menu = tool.open_menu()
        session.move(0, 0)  # no item highlighted under the pointer
        tray = session.tray_window()
        boxes = [session.geometry(w) for w in (tray, menu)]
        left = min(x for x, _, _, _ in boxes) - MARGIN
        top = min(y for _, y, _, _ in boxes) - MARGIN
        right = max(x + w for x, _, w, _ in boxes) + MARGIN
        bottom = max(y + h for _, y, _, h in boxes) + MARGIN
        settled_shot(session, shot)
        # Tray and menu on a plain background, whatever lies around them.
        layers = []
        for x, y, w, h in boxes:
            layers += ["(", shot, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", ")",
                       "-geometry", "+%d+%d" % (x - left, y - top), "-composite"]
        subprocess.run(["convert", "-size", "%dx%d" % (right - left, bottom - top),
                        "xc:#3a6ea5", *layers, shot], check=True)
        save(shot, os.path.join(DOCS, "tray-menu.png"))
        tool.choose(menu, "stop")  # 機能を停止させる: the icon greys
        wait_until(lambda: session.tray_colour_pixels() == 0, 5, message="the icon to grey")
        icons.append(tray_icon_shot(session, "off"))
        # On and off side by side, four times their size, pixels kept sharp.
        subprocess.run(["convert", "-background", "#3a6ea5", *icons, "-filter", "point",
                        "-resize", "400%", "-bordercolor", "#3a6ea5", "-border", "8",
                        "+append", shot], check=True)
        save(shot, os.path.join(DOCS, "tray-icons.png"))
        tool.choose(tool.open_menu(), "exit")  # 終了する
        tool.proc.wait_exit(10)
    finally:
        session.close()
        shutil.rmtree(os.path.dirname(session.prefix), ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
