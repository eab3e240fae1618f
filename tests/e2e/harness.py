"""End-to-end harness: private Xvfb + private Wine prefix + real X input.

Stdlib only.  Typical use (one session per test module):

    from harness import WineSession, ClickLog, wait_until

    def setUpModule():
        global S
        S = WineSession()
        S.start()

    def tearDownModule():
        S.close()

Everything a session starts (Xvfb, wineserver, the exes, and whatever wine
spawns in the private prefix: explorer, services, winedevice...) is ended by
pid in close().  Waits are polls with timeouts, never bare sleeps.

Environment knobs:
    YORISEN_E2E_WINE         wine loader (default /usr/lib/wine/wine64); the
                             32-bit exes need the 32-bit one, /usr/lib/wine/wine
    YORISEN_E2E_WINESERVER   wineserver (default /usr/lib/wine/wineserver64: it
                             also serves the 32-bit loader in the win64 prefix)
    YORISEN_E2E_WINEPREFIX   reuse this prefix (created if missing, never deleted)
    YORISEN_E2E_KEEP         if set, keep the temp dir (logs, screenshots) after close
"""

import atexit
import ctypes
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time

WINE = os.environ.get("YORISEN_E2E_WINE", "/usr/lib/wine/wine64")
WINESERVER = os.environ.get("YORISEN_E2E_WINESERVER", "/usr/lib/wine/wineserver64")

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


class HarnessError(RuntimeError):
    pass


def wait_until(predicate, timeout=10.0, interval=0.02, message=None, describe=None):
    """Poll predicate() until it returns a truthy value; return that value.

    Raises HarnessError (with message, and describe()'s text if given) on
    timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            text = "timed out after %.1fs waiting for %s" % (
                timeout, message or getattr(predicate, "__name__", "condition"))
            if describe is not None:
                try:
                    text += "\n" + describe()
                except Exception as e:  # the timeout matters more than its details
                    text += "\n(no details: %r)" % e
            raise HarnessError(text)
        time.sleep(interval)


def to_windows_path(path):
    """Unix absolute path -> Wine path on the Z: drive (maps to /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# ---------------------------------------------------------------------------
# Prefix shared by every session of this Python process: booting one costs
# ~10-15 s and ~700 MB, so sessions reuse it one after another.
_shared_prefix = {"path": None, "tmp": None}


def _cleanup_shared_prefix():
    tmp = _shared_prefix["tmp"]
    if tmp and not os.environ.get("YORISEN_E2E_KEEP"):
        shutil.rmtree(tmp, ignore_errors=True)


atexit.register(_cleanup_shared_prefix)


class WineProcess:
    """A Windows exe started under wine; wraps subprocess.Popen."""

    def __init__(self, popen, exe, output_path):
        self.popen = popen
        self.pid = popen.pid
        self.exe = exe
        self.output_path = output_path

    def alive(self):
        return self.popen.poll() is None

    def wait_exit(self, timeout=10.0):
        """Wait for the process to exit on its own; return its exit code."""
        wait_until(lambda: not self.alive(), timeout, message="%s to exit" % self.exe)
        return self.popen.returncode

    def kill(self):
        if self.alive():
            try:
                self.popen.send_signal(signal.SIGTERM)
                self.popen.wait(timeout=3)
            except subprocess.TimeoutExpired:
                self.popen.kill()
                self.popen.wait(timeout=5)
            except ProcessLookupError:
                pass

    def output(self):
        try:
            with open(self.output_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""


class WineSession:
    """One private Xvfb display plus one Wine prefix with its own wineserver."""

    def __init__(self, prefix=None, screen="1280x1024x24", managed=False,
                 tray_managed=True, double_click_ms=1, boot_timeout=180.0):
        self.tray_managed = tray_managed
        self.double_click_ms = double_click_ms
        self.screen = screen
        self.managed = managed
        self.boot_timeout = boot_timeout
        self.tmp = tempfile.mkdtemp(prefix="yorisen-e2e-")
        self.prefix = prefix or os.environ.get("YORISEN_E2E_WINEPREFIX") or None
        self.display = None
        self.env = None
        self.timings = {}
        self._xvfb = None
        self._wineserver = None
        self._procs = []
        self._held_keys = []
        self._held_buttons = []
        self._server_dirs = set()
        self._root = None
        self._closed = False
        self._elevation = None

    # -- lifecycle ---------------------------------------------------------
    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.close()

    def start(self):
        try:
            self._start_xvfb()
            self._prepare_prefix()
        except BaseException:
            self.close()
            raise
        return self

    def _start_xvfb(self):
        t0 = time.monotonic()
        rfd, wfd = os.pipe()
        log = open(os.path.join(self.tmp, "xvfb.log"), "wb")
        try:
            # -displayfd lets Xvfb pick a free display itself: no races with
            # other servers on the machine.
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(wfd), "-screen", "0", self.screen,
                 "-nolisten", "tcp", "-noreset"],
                stdout=log, stderr=subprocess.STDOUT, pass_fds=(wfd,),
                start_new_session=True)
        finally:
            os.close(wfd)
            log.close()
        try:
            buf = b""
            deadline = time.monotonic() + 20
            while not buf.endswith(b"\n"):
                remaining = deadline - time.monotonic()
                if remaining <= 0 or self._xvfb.poll() is not None:
                    raise HarnessError("Xvfb did not report a display")
                ready, _, _ = select.select([rfd], [], [], remaining)
                if ready:
                    chunk = os.read(rfd, 64)
                    if not chunk:
                        raise HarnessError("Xvfb closed -displayfd without a display")
                    buf += chunk
        finally:
            os.close(rfd)
        self.display = ":" + buf.decode().strip()

        env = {k: v for k, v in os.environ.items()
               if k not in ("WAYLAND_DISPLAY", "WINEPREFIX", "WINESERVER", "WINELOADER")}
        env.update({
            "DISPLAY": self.display,
            # Non-ASCII titles and arguments are mangled without a UTF-8 locale.
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            # warn+seh shows OutputDebugString lines: the tool's quiet trace.
            "WINEDEBUG": "-all,warn+seh",
            "WINEARCH": "win64",
            "WINELOADER": WINE,
            "WINESERVER": WINESERVER,
            # No mono/gecko install dialogs, no desktop menu entries.
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
        })
        self.env = env

        wait_until(lambda: subprocess.run(
            ["xdpyinfo"], env=env, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL).returncode == 0,
            timeout=20, interval=0.05, message="Xvfb %s to accept connections" % self.display)
        self.timings["xvfb"] = time.monotonic() - t0

    def _prepare_prefix(self):
        if self.prefix is None:
            if _shared_prefix["path"] is None:
                _shared_prefix["tmp"] = tempfile.mkdtemp(prefix="yorisen-e2e-prefix-")
                _shared_prefix["path"] = os.path.join(_shared_prefix["tmp"], "pfx")
            self.prefix = _shared_prefix["path"]
        self.env["WINEPREFIX"] = self.prefix
        fresh = not os.path.exists(os.path.join(self.prefix, "system.reg"))
        os.makedirs(self.prefix, exist_ok=True)

        t0 = time.monotonic()
        self._start_wineserver()
        restart = fresh
        if fresh:
            self._run_wine_tool(["wineboot", "--init"], self.boot_timeout, "wineboot")
            self.timings["wineboot"] = time.monotonic() - t0
        # Unmanaged windows: without a window manager, hiding a managed
        # window stalls ~2 s in Wine (it waits for a WM_STATE change that
        # never comes); unmanaged windows also get Wine-drawn captions and
        # Wine moves X focus along with Win32 activation.
        # The tray (explorer) stays managed: when it is unmanaged, a right
        # click on an icon moves X focus to it and about half of the popup
        # menus opened by the icon owner get cancelled at once.  Price: the
        # tray hides ~2 s late when its last icon goes, and the NIM_DELETE
        # caller is blocked that long.
        # A 1 ms double-click time: otherwise two test clicks on the same
        # spot within 500 ms arrive as WM_xBUTTONDBLCLK instead of DOWN.
        settings = [
            ("Software\\Wine\\X11 Driver", "Managed", "Y" if self.managed else "N"),
            ("Software\\Wine\\AppDefaults\\explorer.exe\\X11 Driver", "Managed",
             "Y" if self.tray_managed else "N"),
            ("Control Panel\\Mouse", "DoubleClickSpeed", str(self.double_click_ms)),
        ]
        for key, name, value in settings:
            if _registry_value(os.path.join(self.prefix, "user.reg"),
                               key.replace("\\", "\\\\"), name) != value:
                self._run_wine_tool(["reg", "add", "HKCU\\" + key, "/v", name,
                                     "/d", value, "/f"], 60, "reg add")
                restart = True
        if restart:
            # Wine processes left by wineboot/reg (explorer hosts the tray)
            # read the setting at start; restart them all so it applies.
            self._stop_wineserver()
            self._start_wineserver()
        self.timings["prefix"] = time.monotonic() - t0

    def _start_wineserver(self):
        # Own the wineserver so its pid is known; -p keeps it alive between
        # exes (saves a restart per program) until it is killed.
        out = open(os.path.join(self.tmp, "wineserver.log"), "ab")
        self._wineserver = subprocess.Popen(
            [WINESERVER, "-f", "-p"], env=self.env, stdout=out,
            stderr=subprocess.STDOUT, start_new_session=True)
        out.close()
        # A wine client that finds no socket starts a server of its own, so
        # wait for ours to listen first.
        server = self._wineserver

        def listening():
            if server.poll() is not None:
                raise HarnessError("wineserver exited (%s): another one running on %s?"
                                   % (server.returncode, self.prefix))
            d = self._server_dir()
            return d and os.path.exists(os.path.join(d, "socket"))
        wait_until(listening, 20, message="wineserver socket")
        self._server_dirs.add(self._server_dir())

    def _server_dir(self):
        """The socket directory of our wineserver (Debian puts it under a
        random /tmp/wine-XXXXXX), read from the server's open fds."""
        st = os.stat(self.prefix)
        suffix = "/server-%x-%x" % (st.st_dev, st.st_ino)
        fd_dir = "/proc/%d/fd" % self._wineserver.pid
        try:
            for fd in os.listdir(fd_dir):
                try:
                    target = os.readlink(os.path.join(fd_dir, fd))
                except OSError:
                    continue
                if target.endswith(suffix):
                    return target
        except OSError:
            pass
        return None

    def _stop_wineserver(self):
        """End every wine process of the prefix (explorer, services...),
        then the server itself, then any straggler, all by pid."""
        server, self._wineserver = self._wineserver, None
        try:
            for p in self._procs:
                p.kill()
            subprocess.run([WINESERVER, "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
            server.wait(timeout=10)
        finally:
            if server.poll() is None:
                server.kill()
                server.wait(timeout=5)
            self._kill_prefix_leftovers()

    def _run_wine_tool(self, args, timeout, what):
        p = self._spawn(args, cwd=self.tmp, name=what.replace(" ", "_"))
        try:
            wait_until(lambda: not p.alive(), timeout, interval=0.05, message=what)
        finally:
            p.kill()
        if p.popen.returncode != 0:
            raise HarnessError("%s failed (%s): %s" % (what, p.popen.returncode, p.output()))

    def _spawn(self, args, cwd, name, loader=None):
        out_path = os.path.join(self.tmp, "%s-%d.out" % (name, len(self._procs)))
        out = open(out_path, "wb")
        try:
            popen = subprocess.Popen([loader or WINE] + list(args), cwd=cwd, env=self.env,
                                     stdout=out, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL, start_new_session=True)
        finally:
            out.close()
        proc = WineProcess(popen, args[0], out_path)
        self._procs.append(proc)
        return proc

    def start_program(self, args, cwd=None):
        """Start a program Wine finds by name (e.g. ["wineboot", "--end-session"])."""
        return self._spawn([str(a) for a in args], cwd=cwd or self.tmp,
                           name=os.path.basename(str(args[0])))

    def start_exe(self, exe, args=(), cwd=None, loader=None):
        """Start a Windows exe (unix path) under wine; returns WineProcess.

        cwd defaults to the exe's directory.  Arguments are passed verbatim;
        use to_windows_path() for file arguments the exe opens.  loader: a
        wine loader other than WINE, e.g. the 32-bit one for a 32-bit exe in
        the same (WoW64) prefix."""
        exe = os.path.abspath(exe)
        if not os.path.isfile(exe):
            raise HarnessError("no such exe: %s" % exe)
        return self._spawn([exe] + [str(a) for a in args],
                           cwd=cwd or os.path.dirname(exe),
                           name=os.path.basename(exe), loader=loader)

    def close(self):
        """End everything this session started, by pid.  Safe to call twice;
        each step runs even if an earlier one failed."""
        if self._closed:
            return
        self._closed = True
        steps = [self._close_input, self._close_wine, self._close_xvfb, self._close_files]
        errors = []
        for step in steps:
            try:
                step()
            except Exception as e:  # keep tearing down, report at the end
                errors.append("%s: %r" % (step.__name__, e))
        if errors:
            raise HarnessError("teardown problems: " + "; ".join(errors))

    def _close_input(self):
        if self._xvfb is not None and self._xvfb.poll() is None and self.env:
            self.release_all()

    def _close_wine(self):
        try:
            if self._wineserver is not None:
                self._stop_wineserver()
        finally:
            for p in self._procs:
                p.kill()

    def _close_xvfb(self):
        if self._xvfb is not None and self._xvfb.poll() is None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
                self._xvfb.wait(timeout=5)

    def _close_files(self):
        for d in self._server_dirs:
            # Stale socket dirs would pile up in /tmp otherwise.
            shutil.rmtree(d, ignore_errors=True)
            parent = os.path.dirname(d)
            if os.path.basename(parent).startswith("wine-"):
                try:
                    os.rmdir(parent)
                except OSError:
                    pass
        if not os.environ.get("YORISEN_E2E_KEEP"):
            shutil.rmtree(self.tmp, ignore_errors=True)

    def _kill_prefix_leftovers(self):
        """Kill any wine process still running in our prefix (normally none)."""
        for pid in prefix_pids(self.prefix):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    # -- X helpers ---------------------------------------------------------
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

    def click_client(self, wid, x, y, button=1):
        """Click at Win32 client coordinates of a framed top-level window."""
        self.click(wid, x + FRAME_CLIENT_OFFSET[0], y + FRAME_CLIENT_OFFSET[1], button)

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

    def end_pids(self, pids):
        """Ends processes this session did not start itself, by pid (a
        program another one started), and waits until they are gone."""
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        wait_until(lambda: not any(os.path.exists("/proc/%d" % p) for p in pids), 10,
                   message="processes %s gone" % pids)

    def elevation(self):
        """How a program started here runs: 'full' (Wine 8 elevates every
        process), 'limited' (Wine 10: an administrator's unelevated half, as
        on Windows) or 'default'."""
        if self._elevation is None:
            proc = self.start_exe(helper_exe("procstat"), ["procstat.exe"])
            proc.wait_exit(20)
            found = re.search(r"elevation=(\w+)", proc.output())
            if not found:
                raise HarnessError("procstat told no elevation: %s" % proc.output())
            self._elevation = found.group(1)
        return self._elevation

    def caption_button_point(self, wid, which):
        """Window-relative centre of the Wine-drawn caption button
        ('min', 'max', 'close')."""
        _, _, w, _ = self.geometry(wid)
        return w - CAPTION_BUTTONS[which], CAPTION_BUTTON_Y

    # -- notification area -------------------------------------------------
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

    def screenshot(self, path, wid="root"):
        self.x("import", "-window", wid, path)
        return path


def _registry_value(reg_file, key, name):
    """A string value from a Wine .reg file (key as written there, with
    doubled backslashes), or None."""
    try:
        with open(reg_file, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return None
    header = "\n[%s]" % key
    i = text.find(header)
    if i < 0:
        return None
    section = text[i + len(header):].split("\n[", 1)[0]
    m = re.search(r'^"%s"="([^"]*)"' % re.escape(name), section, re.M)
    return m.group(1) if m else None


def prefix_pids(prefix):
    """Pids of wine processes (wine loader or wineserver binaries) whose
    environment has WINEPREFIX=prefix exactly."""
    entry_ = ("WINEPREFIX=%s" % prefix).encode()
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            exe = os.path.basename(os.readlink("/proc/%s/exe" % entry))
            if not exe.startswith("wine"):
                continue
            with open("/proc/%s/environ" % entry, "rb") as f:
                if entry_ in f.read().split(b"\0"):
                    pids.append(int(entry))
        except OSError:
            pass
    return pids


HERE = os.path.dirname(os.path.abspath(__file__))
_built = {}


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
    """Path of a test helper exe (clicktarget, taskbarcreated, procstat, winlist): taken from
    $YORISEN_E2E_BIN_DIR if it is there, else built from tests/e2e/<name>.c
    once per process into a temp dir, for the loader's architecture: a
    process the other loader would have to start carries another pid."""
    bin_dir = os.environ.get("YORISEN_E2E_BIN_DIR")
    if bin_dir and os.path.isfile(os.path.join(bin_dir, name + ".exe")):
        return os.path.join(bin_dir, name + ".exe")
    if name not in _built:
        out_dir = tempfile.mkdtemp(prefix="yorisen-e2e-bin-")
        atexit.register(shutil.rmtree, out_dir, True)
        out = os.path.join(out_dir, name + ".exe")
        gcc = "i686-w64-mingw32-gcc" if loader_is_32bit() else "x86_64-w64-mingw32-gcc"
        subprocess.run([gcc, "-municode", "-mwindows", "-O2",
                        "-Wall", "-o", out, os.path.join(HERE, name + ".c"),
                        "-ldinput8", "-ldxguid"],
                       check=True, timeout=120)
        _built[name] = out
    return _built[name]


def missing_tools():
    """Names of required host tools that are not installed (for skipping)."""
    need = [WINE, WINESERVER, "Xvfb", "xdotool", "xdpyinfo", "xwininfo", "xprop", "xwd"]
    return [t for t in need if not shutil.which(t)]


class ClickLog:
    """Reader for the clicktarget log (one event per line)."""

    def __init__(self, path):
        self.path = path
        self._skip = 0

    def lines(self):
        """Complete lines written since the last mark()."""
        try:
            with open(self.path, "rb") as f:
                data = f.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return []
        # Ignore a partially written last line.
        return [l for l in data.split("\n")[:-1] if l][self._skip:]

    def mark(self):
        """Forget events so far.  (Truncating instead would race with the
        writer, which keeps the file open.)"""
        self._skip += len(self.lines())

    def events(self, *kinds):
        """Lines split into fields, optionally only those whose first field
        is in kinds (e.g. 'LD', 'LU', 'RD', 'RU', 'ACT', 'TRAY')."""
        out = [l.split(" ") for l in self.lines()]
        return [e for e in out if not kinds or e[0] in kinds]

    def count(self, *kinds):
        return len(self.events(*kinds))

    def wait_count(self, kind, n, timeout=10.0):
        """Wait until at least n events of kind are logged; return them."""
        wait_until(lambda: self.count(kind) >= n, timeout,
                   message="%d %s events in %s" % (n, kind, self.path))
        return self.events(kind)
