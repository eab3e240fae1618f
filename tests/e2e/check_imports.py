#!/usr/bin/env python3
"""Fails unless each given exe imports only DLLs that every Windows has, and
only functions listed in allowed_imports.txt, each there since Windows 7 or
earlier."""
import os
import re
import subprocess
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll",
    "winmm.dll", "msvcrt.dll", "advapi32.dll", "ole32.dll", "imm32.dll",
}
ALLOWED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "allowed_imports.txt")
# Oldest first; the exes are made for the last one.
VERSIONS = ["2000", "XP", "XP x64", "Vista", "7"]


def imports(exe):
    """(dll, function) pairs of the exe's import table, in table order; a
    function imported by ordinal only is named '#<ordinal>'."""
    out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], check=True,
                         capture_output=True, text=True).stdout
    pairs, dll = [], None
    for line in out.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1)
            pairs.append((dll, None))
            continue
        if dll is None:
            continue
        if not line.strip():
            dll = None
            continue
        m = re.match(r"\s+[0-9a-f]+\s+(\d+)\s+(\S+)", line)
        if m and m.group(2) != "<none>":
            pairs.append((dll, m.group(2)))
        elif re.match(r"\s+[0-9a-f]+\s+(\d+)\s*(<none>)?\s*$", line):
            pairs.append((dll, "#%d" % int(line.split()[1])))
    return pairs


def allowed():
    """{(dll lowercased, function): version}, and the list's own faults."""
    table, faults = {}, []
    with open(ALLOWED, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            entry, _, note = line.partition("#")
            if not entry.strip():
                continue
            words, version = entry.split(), note.strip()
            if len(words) != 2:
                faults.append("line %d: not 'DLL function  # version'" % n)
            elif not version:
                faults.append("line %d: %s %s: no Windows version noted" % (n, *words))
            else:
                table[(words[0].lower(), words[1])] = version
    return table, faults


def main(paths):
    table, faults = allowed()
    for fault in faults:
        print("%s: %s" % (os.path.basename(ALLOWED), fault))
    failed = bool(faults)
    for exe in paths:
        pairs = imports(exe)
        dlls = [d for d, fn in pairs if fn is None]
        functions = [(d, fn) for d, fn in pairs if fn is not None]
        foreign = [d for d in dlls if d.lower() not in SYSTEM_DLLS]
        print(f"{exe}: {', '.join(d.lower() for d in dlls)}")
        if foreign or not dlls or not functions:
            print(f"  not a system DLL: {', '.join(foreign) or '(no imports read)'}")
            failed = True
        new = [(d, fn) for d, fn in functions if (d.lower(), fn) not in table]
        for d, fn in new:
            print(f"  new import {d} {fn}: not in tests/e2e/{os.path.basename(ALLOWED)}")
        if new:
            print("  Add each there on purpose, with the first Windows version that has it "
                  f"('{new[0][0]} {new[0][1]}  # <version>'), and only if Windows "
                  f"{VERSIONS[-1]} has it; otherwise look it up at run time.")
            failed = True
        listed = [(d, fn, table[(d.lower(), fn)]) for d, fn in functions
                  if (d.lower(), fn) in table]
        for d, fn, version in listed:
            if version not in VERSIONS:
                print(f"  {d} {fn} is listed for Windows {version}: the exes are made for "
                      f"Windows {VERSIONS[-1]} or later (versions: {', '.join(VERSIONS)})")
                failed = True
        known = [v for _, _, v in listed if v in VERSIONS]
        if known:
            print(f"  {len(functions)} functions, {len(listed)} listed; the newest is from "
                  f"Windows {max(known, key=VERSIONS.index)}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
