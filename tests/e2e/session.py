"""A session's life cycle: a private Xvfb, a private Wine prefix and its
own wineserver, the programs started in them, and their end.

Stdlib only; harness.py shows the typical use.

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
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time

from programs import WINE, WINESERVER, helper_exe
from waits import HarnessError, wait_until
from wine_tray import WineTray
from xdesk import XDesktop


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


class WineSession(XDesktop, WineTray):
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

