"""What Wine draws itself, found by its geometry: the frame and caption
buttons of an unmanaged window, the notification area's tray window and its
icons, and popup menus."""

import struct
import subprocess

from waits import HarnessError, wait_until

# Wine's own window geometry when no window manager runs and windows are
# unmanaged (Wine draws the frame itself, the X window is the whole Win32
# window).  Measured with Wine 8.0 default metrics.
FRAME_CLIENT_OFFSET = (4, 23)      # client origin inside a WS_OVERLAPPEDWINDOW
TRAY_FIRST_ICON = (13, 32)         # centre of icon 0 inside the tray window
TRAY_CLIENT_OFFSET = (3, 22)       # its frame when unmanaged
TRAY_ICON_STEP = 20                # icons are laid out left to right
CAPTION_BUTTONS = {"min": 48, "max": 32, "close": 14}  # centre = width - value
CAPTION_BUTTON_Y = 12
MENU_BORDER = 3
MENU_SEPARATOR = 8

# The window that shows the icons, known by its Win32 class (titles differ
# from one Wine to the next): the X11 driver's own tray under Wine 8,
# explorer's taskbar window, as on Windows, from Wine 9 on.
TRAY_CLASSES = ("__winex11_standalone_tray", "Shell_TrayWnd")
MENU_CLASS = "#32768"  # Win32 class of popup menus

# Win32 notification callback lParams as seen by the tray owner.
WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK = 512, 513, 514, 515
WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK = 516, 517, 518


class WineTray:
    """Mixed into WineSession beside XDesktop, whose queries and clicks it
    uses."""

    def click_client(self, wid, x, y, button=1):
        """Click at Win32 client coordinates of a framed top-level window."""
        self.click(wid, x + FRAME_CLIENT_OFFSET[0], y + FRAME_CLIENT_OFFSET[1], button)

    def caption_button_point(self, wid, which):
        """Window-relative centre of the Wine-drawn caption button
        ('min', 'max', 'close')."""
        _, _, w, _ = self.geometry(wid)
        return w - CAPTION_BUTTONS[which], CAPTION_BUTTON_Y

    def tray_windows(self):
        """X ids of the tray windows Windows counts as visible. Wine shows
        the tray only while an icon exists; X's own state cannot tell, as
        Wine 10 may leave a hidden tray mapped when no window manager runs."""
        return [wid for wid, (cls, _) in self.win32_windows().items() if cls in TRAY_CLASSES]

    def tray_window(self, timeout=10.0):
        """Wine's tray window (shown while at least one icon exists)."""
        def one():
            ids = self.tray_windows()
            return ids[0] if len(ids) == 1 else None
        return wait_until(one, timeout, interval=0.05, message="the tray window",
                          describe=self.describe_windows)

    def tray_visible(self):
        return bool(self.tray_windows())

    def tray_colour_pixels(self):
        """How many of the tray window's pixels are strongly coloured (one
        channel at least 96 above another): a greyed icon has next to none.
        Pixels, not equality: Wine's tray paints a changed icon over the old
        one, so the edges of a picture shown again are not what they were.
        Poll it: raising the tray exposes what another window covered, and
        Wine's explorer repaints that in its own time (none while it waits
        for a CPU), so a single reading may see no icon at all."""
        tray = self.tray_window()
        self.xdotool("windowraise", tray)
        dump = subprocess.run(["xwd", "-silent", "-id", str(tray)], env=self.env,
                              capture_output=True, check=True, timeout=15).stdout
        header = struct.unpack(">25I", dump[:100])
        size, width, height, depth, line, colours = (header[0], header[4], header[5],
                                                     header[11], header[12], header[19])
        if depth != 32:
            raise HarnessError("xwd dump of %d bits per pixel" % depth)
        start = size + 12 * colours
        count = 0
        for y in range(height):
            row = dump[start + y * line:start + y * line + 4 * width]
            for x in range(0, len(row), 4):
                rgb = row[x:x + 3]
                count += max(rgb) - min(rgb) >= 96
        return count

    def is_unmanaged(self, wid):
        """True if Wine drew the window unmanaged (override-redirect, frame
        included in the X window)."""
        return "Override Redirect State: yes" in self.x("xwininfo", "-id", wid, check=False)

    def tray_icon_point(self, tray, index=0):
        """Window-relative centre of the index-th icon in the tray window.
        Icons sit left to right in order of addition and shift left when
        one is removed."""
        x, y = TRAY_FIRST_ICON
        if not self.is_unmanaged(tray):
            x, y = x - TRAY_CLIENT_OFFSET[0], y - TRAY_CLIENT_OFFSET[1]
        return x + TRAY_ICON_STEP * index, y

    def click_tray_icon(self, index=0, button=1, timeout=10.0):
        tray = self.tray_window(timeout)
        x, y = self.tray_icon_point(tray, index)
        self.click(tray, x, y, button)
        return tray

    def wait_popup_menu(self, pid, timeout=10.0):
        """The visible popup menu of a process: its window of the menu class.
        (Untitled is not enough: the tool's tooltips are untitled too.)"""
        def menu():
            ids = self.find_windows(pid=pid)
            if not ids:
                return None
            classes = self.win32_windows()
            menus = [w for w in ids if classes.get(w, ("",))[0] == MENU_CLASS]
            return menus[0] if len(menus) == 1 else None
        return wait_until(menu, timeout, interval=0.05, message="popup menu of pid %s" % pid,
                          describe=lambda: self.describe_windows(pid))

    def menu_item_point(self, menu, layout, index):
        """Window-relative centre of the index-th entry of a popup menu.

        layout describes the menu top to bottom: 'i' item, '-' separator,
        e.g. "i-i".  Wine menus have a 3 px border and ~8 px separators;
        item height is derived from the window height so font changes
        (e.g. Japanese fallback fonts) do not matter."""
        _, _, w, h = self.geometry(menu)
        items = layout.count("i")
        item_h = (h - 2 * MENU_BORDER - MENU_SEPARATOR * layout.count("-")) / float(items)
        y = MENU_BORDER
        for i, kind in enumerate(layout):
            size = item_h if kind == "i" else MENU_SEPARATOR
            if i == index:
                if kind != "i":
                    raise HarnessError("entry %d of %r is a separator" % (index, layout))
                return w // 2, int(y + size / 2)
            y += size
        raise HarnessError("no entry %d in %r" % (index, layout))
