#!/usr/bin/env python3
"""Fails unless each given exe imports only DLLs that every Windows has."""
import re
import subprocess
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll",
    "winmm.dll", "msvcrt.dll", "advapi32.dll", "ole32.dll", "imm32.dll",
}


def imports(exe):
    out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], check=True,
                         capture_output=True, text=True).stdout
    return [m.lower() for m in re.findall(r"DLL Name: (\S+)", out)]


def main(paths):
    failed = False
    for exe in paths:
        dlls = imports(exe)
        foreign = [d for d in dlls if d not in SYSTEM_DLLS]
        print(f"{exe}: {', '.join(dlls)}")
        if foreign or not dlls:
            print(f"  not a system DLL: {', '.join(foreign) or '(no imports read)'}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
