#!/usr/bin/env python3
"""The full soak: 10 minutes of 1 ms clicking with the key held on and off,
500 tray-menu opens and closes, 200 minimise/restore cycles, 200 stop-box
toggles. Prints the samples and the growth between the first and the last."""

import json
import os
import signal
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import soak  # noqa: E402
from harness import WineSession  # noqa: E402


def main():
    # Killed from outside: unwind, so every session ends what it started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    minutes = float(os.environ.get("SOAK_MINUTES", "10"))
    with WineSession() as session:
        samples = soak.run(session, click_seconds=int(minutes * 60), menus=500,
                           minimise_cycles=200, toggles=200,
                           report=lambda text: print(text, flush=True))
    growth = soak.growth(samples)
    print("growth first -> last:", json.dumps(growth))
    out = os.path.join(HERE, "..", "build", "soak.json")
    with open(out, "w") as f:
        json.dump({"samples": samples, "growth": growth}, f, indent=1)
    print("samples written to", os.path.relpath(out))
    flat = (abs(growth["syshandles"]) <= 2 and growth["windows"] == 0 and
            abs(growth["host_fds"]) <= 2 and growth["host_rss_kb"] < 4096)
    print("flat" if flat else "NOT FLAT")
    return 0 if flat and samples[-1].get("exit_code") == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
