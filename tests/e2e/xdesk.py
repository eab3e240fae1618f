"""The X desktop of a session: finding windows (by X and, through the
winlist helper, by their Win32 class), and real X input from xdotool and
XTest."""

import ctypes
import re
import subprocess
import time

from programs import WINE, helper_exe
from waits import HarnessError, wait_until


class XDesktop:
    """Mixed into WineSession, which sets env (DISPLAY and Wine's
    variables), _root (None), _held_keys and _held_buttons ([])."""

    # -- X queries ---------------------------------------------------------
    def x(self, *args, check=True, timeout=15):
        """Run an X client (xdotool, xwininfo, import...) on our display."""
        r = subprocess.run([str(a) for a in args], env=self.env, timeout=timeout,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if check and r.returncode != 0:
            raise HarnessError("%s failed (%d): %s" % (" ".join(map(str, args)), r.returncode,
                                                        r.stderr.decode("utf-8", "replace")))
        return r.stdout.decode("utf-8", "replace")

    def xdotool(self, *args, check=True):
        return self.x("xdotool", *args, check=check)

    def _search(self, args):
        """xdotool search that tells "nothing found" from an X error (a
        window vanishing mid-search), retrying the latter."""
        for _ in range(5):
            r = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, timeout=15,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if b"X Error" not in r.stderr and b"BadWindow" not in r.stderr:
                break
        return r.stdout.decode("utf-8", "replace")

    def find_windows(self, name=None, pid=None, classname=None, visible=True):
        """X window ids matching all given filters.

        name: regex on the title (re.search; None = any).  classname: regex on
        WM_CLASS, which Wine sets to the exe name ("yorisen.exe"), NOT the
        Win32 window class.  pid: the WineProcess pid (Wine sets _NET_WM_PID)."""
        # xdotool ORs its criteria unless --all, and --all with an empty
        # --name pattern would drop untitled windows (menus): so at most one
        # criterion goes to xdotool, the rest is filtered here.
        args = ["search", "--all"]
        if visible:
            args.append("--onlyvisible")
        if pid is not None:
            args += ["--pid", pid]
        elif classname is not None:
            args += ["--classname", classname]
            classname = None
        else:
            args += ["--name", ""]
        out = self._search(args)
        ids = [int(w) for w in out.split() if int(w) != self._root_id()]
        if classname is not None:
            rx = re.compile(classname)
            ids = [w for w in ids if rx.search(self.window_class(w))]
        if name is not None:
            rx = re.compile(name)
            ids = [w for w in ids if rx.search(self.window_name(w))]
        return ids

    def wait_window(self, name=None, pid=None, classname=None, timeout=20.0):
        """Poll until exactly one visible window matches; return its id."""
        def one():
            ids = self.find_windows(name=name, pid=pid, classname=classname)
            return ids[0] if len(ids) == 1 else None
        return wait_until(one, timeout, interval=0.05,
                          message="window name=%r pid=%r class=%r" % (name, pid, classname),
                          describe=lambda: self.describe_windows(pid))

    def _winlist(self, *args):
        """The lines the winlist helper prints inside Wine."""
        r = subprocess.run([WINE, helper_exe("winlist")] + [str(a) for a in args],
                           env=self.env, timeout=20, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL)
        return r.stdout.decode("utf-8", "replace").splitlines()

    def win32_windows(self):
        """{X id: (Win32 class, title)} of the visible top-level windows."""
        found = {}
        for line in self._winlist():
            fields = line.split(" ", 4)
            if len(fields) == 5 and fields[0] != "0":
                found[int(fields[0])] = (fields[1], fields[4])
        return found

    def control_texts(self, wid):
        """[(Win32 class, text)] of the visible controls of a top-level
        window, in z-order (for a form: the order of creation)."""
        return [tuple((line.split(" ", 1) + [""])[:2]) for line in self._winlist(wid)]

    def describe_windows(self, pid=None):
        """The visible windows (of pid, or all of them) and the pointer: what a
        timed-out wait for a window reports."""
        ids = self.find_windows(pid=pid)
        classes = self.win32_windows()
        lines = ["visible windows%s:" % ("" if pid is None else " of pid %s" % pid)]
        for wid in ids:
            cls, title = classes.get(wid, ("?", self.window_name(wid)))
            try:
                geometry = "%d,%d %dx%d" % self.geometry(wid)
            except HarnessError:
                geometry = "gone"
            lines.append("  0x%x %s %r %s" % (wid, cls, title, geometry))
        if not ids:
            lines.append("  none")
        lines.append("pointer: " + self.xdotool("getmouselocation", check=False).strip())
        return "\n".join(lines)

    def _root_id(self):
        if self._root is None:
            out = self.x("xwininfo", "-root")
            self._root = int(re.search(r"Window id: (0x[0-9a-f]+)", out).group(1), 16)
        return self._root

    def window_class(self, wid):
        """WM_CLASS instance name (Wine: the exe file name)."""
        out = self.x("xprop", "-id", wid, "WM_CLASS", check=False)
        m = re.search(r'= "([^"]*)"', out)
        return m.group(1) if m else ""

    def window_name(self, wid):
        return self.xdotool("getwindowname", wid, check=False).rstrip("\n")

    def geometry(self, wid):
        """(x, y, width, height) of an X window, absolute screen coordinates."""
        out = self.xdotool("getwindowgeometry", "--shell", wid)
        d = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(d["X"]), int(d["Y"]), int(d["WIDTH"]), int(d["HEIGHT"])

    def is_viewable(self, wid):
        out = self.x("xwininfo", "-id", wid, check=False)
        return "IsViewable" in out

    def wait_restored(self, wid, client, timeout=10.0):
        """Wait until the window shows with room for its client area (w, h):
        until Wine has restored it, a window brought back from the tray may
        still be the 160x24 caption of a minimised one, whose caption
        buttons lie elsewhere, so a click aimed from that geometry misses
        them. (The frame around the client differs between Wines.)"""
        def restored():
            if not self.is_viewable(wid):
                return False
            _, _, w, h = self.geometry(wid)
            return w >= client[0] and h >= client[1]
        wait_until(restored, timeout, message="window %s restored" % wid,
                   describe=self.describe_windows)

    def wait_gone(self, wid, timeout=10.0):
        """Wait until the window is unmapped or destroyed."""
        wait_until(lambda: not self.is_viewable(wid), timeout, interval=0.05,
                   message="window %s to disappear" % wid, describe=self.describe_windows)

    def focused_window(self):
        """X input focus.  With unmanaged windows Wine moves it to the active
        (foreground) Win32 window, so this doubles as 'which window is active'.
        Returns None for PointerRoot/none."""
        out = self.xdotool("getwindowfocus", check=False).strip()
        try:
            wid = int(out)
        except ValueError:
            return None
        return wid if wid > 1 and wid != self._root_id() else None

    def pointer_window(self):
        """Top-level window under the pointer, None over the bare root."""
        out = self.xdotool("getmouselocation", "--shell")
        d = dict(line.split("=", 1) for line in out.split() if "=" in line)
        wid = int(d.get("WINDOW", "0"))
        return wid if wid > 1 and wid != self._root_id() else None

    def _check_key_target(self):
        # Keys reach Wine only through a Wine X window: the focused one, or
        # the one under the pointer when focus is the root/PointerRoot.
        if self.focused_window() is None and self.pointer_window() is None:
            raise HarnessError("no Wine window has X focus or the pointer: key "
                               "events would be lost; activate() a window first")

    # -- input -------------------------------------------------------------
    def move(self, x, y, wid=None):
        """Move the pointer to screen (x, y), or window-relative if wid."""
        if wid is not None:
            self.xdotool("mousemove", "--window", wid, x, y)
        else:
            self.xdotool("mousemove", x, y)

    def click(self, wid, x, y, button=1):
        """Real X click at window-relative (x, y) (X window = whole Win32
        window incl. frame; add FRAME_CLIENT_OFFSET for client coords)."""
        self.xdotool("mousemove", "--window", wid, x, y, "click", button)

    def click_screen(self, x, y, button=1):
        self.xdotool("mousemove", x, y, "click", button)

    def click_at_once(self, button):
        """Press and release where the pointer is, in one batch of X
        requests: xdotool's click pauses between them, and on a busy machine
        for long enough that a program acting on the press finds the button
        still down. (Wine's menu opened then cannot grab the pointer, and no
        click elsewhere closes it.) libXtst comes with xdotool."""
        x11, xtst = ctypes.CDLL("libX11.so.6"), ctypes.CDLL("libXtst.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                              ctypes.c_ulong]
        display = x11.XOpenDisplay(self.env["DISPLAY"].encode())
        if not display:
            raise HarnessError("cannot open display %s" % self.env["DISPLAY"])
        try:
            for pressed in (1, 0):
                xtst.XTestFakeButtonEvent(display, button, pressed, 0)
            x11.XSync(display, 0)
        finally:
            x11.XCloseDisplay(display)

    def button_down(self, button=1):
        self.xdotool("mousedown", button)
        self._held_buttons.append(button)

    def button_up(self, button=1):
        self.xdotool("mouseup", button)
        if button in self._held_buttons:
            self._held_buttons.remove(button)

    def key_down(self, keysym):
        """Press and hold an X keysym (Left, Right, Up, a, ...).  Wine sees it
        in GetAsyncKeyState as long as X focus (or, with PointerRoot focus,
        the pointer) is on some Wine window."""
        self._check_key_target()
        self.xdotool("keydown", keysym)
        self._held_keys.append(keysym)

    def key_up(self, keysym):
        self.xdotool("keyup", keysym)
        if keysym in self._held_keys:
            self._held_keys.remove(keysym)

    def key_tap(self, keysym):
        """Instant press+release.  Programs that poll GetAsyncKeyState on a
        timer usually miss it: prefer key_hold()."""
        self._check_key_target()
        self.xdotool("key", keysym)

    def key_hold(self, keysym, until, timeout=5.0, message=None):
        """Hold a key until until() is true (e.g. the program logged or did
        its reaction), then release it.  Returns until()'s value."""
        self.key_down(keysym)
        try:
            return wait_until(until, timeout, message=message or "reaction to %s" % keysym)
        finally:
            self.key_up(keysym)

    def release_all(self):
        """Release every key/button still held (a failed test must not leave
        a key stuck for the next one)."""
        for k in list(self._held_keys):
            self.key_up(k)
        for b in list(self._held_buttons):
            self.button_up(b)

    def activate(self, wid, x=None, y=None, timeout=10.0):
        """Make a Wine window the active (foreground) window.

        Without a window manager only a real click activates: xdotool
        windowactivate fails (no _NET_ACTIVE_WINDOW) and windowfocus leaves
        GetForegroundWindow() NULL.  Clicks the caption by default so the
        client area gets no click; pass x, y for captionless windows.
        Waits for X focus, so only for unmanaged windows (not the tray)."""
        if x is None:
            _, _, w, _ = self.geometry(wid)
            x, y = w // 2, 8
        # Under load Wine now and then lets a caption click go without
        # activating; click again rather than fail.
        deadline = time.monotonic() + timeout
        while True:
            self.click(wid, x, y)
            try:
                wait_until(lambda: self.focused_window() == wid,
                           min(2.0, max(0.1, deadline - time.monotonic())),
                           message="window %s to become active" % wid)
                return
            except HarnessError as e:
                if time.monotonic() >= deadline:
                    raise HarnessError("%s\nfocus: %s\n%s" % (
                        e, self.focused_window(), self.describe_windows())) from None

    def window_pid(self, wid):
        """The pid of the process that owns an X window (Wine sets it)."""
        return int(self.xdotool("getwindowpid", wid).strip())

    def screenshot(self, path, wid="root"):
        self.x("import", "-window", wid, path)
        return path
