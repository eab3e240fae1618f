#!/usr/bin/env python3
"""Fails unless each given exe imports only DLLs that Windows 7 to 11 load
from their KnownDLLs list, and only functions listed in allowed_imports.txt,
each there since Windows 7 or earlier. Any other DLL is looked for in the
exe's own folder first, so a file of that name beside it (in a Downloads
folder, say) would run inside the tool before any of its code.

Reads the PE import tables itself: objdump's layout differs between binutils
releases."""
import os
import re
import struct
import sys

# On the KnownDLLs list of every Windows from 7 to 11 (some, such as urlmon
# and wininet, left it in Windows 10).
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll",
    "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
}
# comctl32 is no KnownDLL: only an exe whose manifest asks for version 6,
# which comes from WinSxS, may import it.
COMMON_CONTROLS_6 = re.compile(
    rb'name="Microsoft\.Windows\.Common-Controls"[^>]*version="6\.0\.0\.0"[^>]*'
    rb'publicKeyToken="6595b64144ccf1df"', re.S)
ALLOWED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "allowed_imports.txt")
# Oldest first; the exes are made for the last one.
VERSIONS = ["2000", "XP", "XP x64", "Vista", "7"]


class PE:
    """Just enough of a PE file to read its import tables."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if self.data[:2] != b"MZ":
            raise ValueError("%s: not a PE file" % path)
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("%s: not a PE file" % path)
        sections, optional_size = self.u16(pe + 6), self.u16(pe + 20)
        optional = pe + 24
        self.wide = self.u16(optional) == 0x20B  # PE32+
        directories = optional + (112 if self.wide else 96)
        self.directories = [struct.unpack_from("<II", self.data, directories + 8 * i)
                            for i in range(self.u32(directories - 4))]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", self.data, table + 40 * i + 8)
                         for i in range(sections)]

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise ValueError("RVA %#x lies in no section" % rva)

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def names(self, rva):
        """Function names of a thunk table; '#<ordinal>' for one by ordinal."""
        step, flag = (8, 1 << 63) if self.wide else (4, 1 << 31)
        at, out = self.offset(rva), []
        while True:
            entry = struct.unpack_from("<Q" if self.wide else "<I", self.data, at)[0]
            if entry == 0:
                return out
            out.append("#%d" % (entry & 0xFFFF) if entry & flag else self.text(entry + 2))
            at += step

    def imports(self, directory, size, name_at, table_at, other_table_at):
        """(dll, functions) of an import directory of descriptors of size:
        names from the table at field table_at, or from the one at
        other_table_at where some linkers leave the first empty."""
        if directory >= len(self.directories) or self.directories[directory][0] == 0:
            return []
        at, out = self.offset(self.directories[directory][0]), []
        while True:
            fields = struct.unpack_from("<%dI" % (size // 4), self.data, at)
            if not any(fields):
                return out
            thunks = fields[table_at] or fields[other_table_at]
            out.append((self.text(fields[name_at]), self.names(thunks)))
            at += size


def manifest(exe):
    """The exe's own manifest (RT_MANIFEST 1, any language), or b""."""
    pe = PE(exe)
    if len(pe.directories) < 3 or pe.directories[2][0] == 0:
        return b""
    base = pe.offset(pe.directories[2][0])

    def entry(table, wanted):
        """Offset of the subdirectory or data entry named by wanted (an id;
        None for the first)."""
        named, ids = struct.unpack_from("<HH", pe.data, table + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", pe.data, table + 16 + 8 * i)
            if wanted is None or (not name & 1 << 31 and name == wanted):
                return base + (target & 0x7FFFFFFF)
        return None

    table = entry(base, 24)
    table = table and entry(table, 1)
    data = table and entry(table, None)
    if not data:
        return b""
    rva, size = struct.unpack_from("<II", pe.data, data)
    return pe.data[pe.offset(rva):pe.offset(rva) + size]


def imports(exe):
    """(dll, function) pairs of the exe's import table, in table order: a
    (dll, None) pair before each DLL's functions. Delay-loaded DLLs come as
    ('<dll> (delay-loaded)', None): those are searched for as well. (GNU ld
    leaves that directory empty: scripts/test looks for the delay-load helper
    in the link map.)"""
    pe, pairs = PE(exe), []
    for dll, functions in pe.imports(1, 20, 3, 0, 4):  # Name; OriginalFirstThunk, FirstThunk
        pairs.append((dll, None))
        pairs.extend((dll, fn) for fn in functions)
    for dll, _ in pe.imports(13, 32, 1, 4, 3):  # DllNameRVA; ImportNameTableRVA, IAT
        pairs.append(("%s (delay-loaded)" % dll, None))
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
        known = KNOWN_DLLS | ({"comctl32.dll"} if COMMON_CONTROLS_6.search(manifest(exe)) else set())
        foreign = [d for d in dlls if d.lower().split()[0] not in known]
        print(f"{exe}: {', '.join(d.lower() for d in dlls)}")
        if foreign:
            print(f"  not a KnownDLL of Windows 7 to 11: {', '.join(foreign)} (Windows looks "
                  "for such a DLL beside the exe first: load it at run time from the system folder)")
            failed = True
        if not dlls or not functions:
            print("  no imports read")
            failed = True
        new = [(d, fn) for d, fn in functions if (d.lower(), fn) not in table]
        for d, fn in new:
            print(f"  new import {d} {fn}: not in tests/release/{os.path.basename(ALLOWED)}")
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
