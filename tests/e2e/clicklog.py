"""The click target (clicktarget.c): where the tests and the bench put it,
the reader of its log, and the clock its stamps are in."""

import time

from waits import wait_until

TARGET = (300, 300, 400, 300)  # click target window: x, y, w, h
TARGET_POINT = (500, 460)      # screen point inside the target's client area


def wine_ms():
    """Now in the clock of Wine's tick count and message times, in ms.

    wineserver stamps input (GetMessageTime of injected clicks) and the tick
    count from CLOCK_MONOTONIC_RAW in ms; reading the same clock here puts
    host-side key presses and target-side stamps in one time domain. Mask
    with 0xFFFFFFFF to compare it with a 32-bit stamp (ms_diff)."""
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000.0


def ms_diff(later, earlier):
    """later - earlier for 32-bit millisecond counters, signed."""
    d = (int(later) - int(earlier)) & 0xFFFFFFFF
    return d - (1 << 32) if d >= 1 << 31 else d


class ClickLog:
    """Reader of a clicktarget log (one event per line, fields split by
    spaces). It reads only what was written since its last read: at 1 ms
    the log grows by thousands of lines a hold, and every poll reads it."""

    def __init__(self, path):
        self.path = path
        self._lines = []
        self._fields = []
        self._offset = 0
        self._partial = b""
        self._skip = 0

    def poll(self):
        """Every complete line's fields so far, from the start of the log."""
        try:
            with open(self.path, "rb") as f:
                f.seek(self._offset)
                data = f.read()
        except FileNotFoundError:
            return self._fields
        self._offset += len(data)
        # A partly written last line waits for the rest.
        lines = (self._partial + data).split(b"\n")
        self._partial = lines.pop()
        for line in lines:
            if line:
                text = line.decode("utf-8", "replace")
                self._lines.append(text)
                self._fields.append(text.split(" "))
        return self._fields

    def lines(self):
        """Complete lines written since the last mark()."""
        self.poll()
        return self._lines[self._skip:]

    def mark(self):
        """Forgets the events so far, for lines(), events() and count();
        returns the index of the next one, for since(). (Truncating instead
        would race with the writer, which keeps the file open.)"""
        self._skip = len(self.poll())
        return self._skip

    def events(self, *kinds):
        """Lines split into fields, optionally only those whose first field
        is in kinds (e.g. 'LD', 'LU', 'RD', 'RU', 'ACT', 'TRAY')."""
        return [e for e in self.poll()[self._skip:] if not kinds or e[0] in kinds]

    def since(self, index, kind, *fields):
        """Events of one kind from the index-th on (see mark()) whose fields
        after the stamp start with fields."""
        return [e for e in self.poll()[index:]
                if e[0] == kind and e[2:2 + len(fields)] == list(fields)]

    def count(self, *kinds):
        return len(self.events(*kinds))

    def wait_count(self, kind, n, timeout=10.0):
        """Wait until at least n events of kind are logged; return them."""
        wait_until(lambda: self.count(kind) >= n, timeout,
                   message="%d %s events in %s" % (n, kind, self.path))
        return self.events(kind)
