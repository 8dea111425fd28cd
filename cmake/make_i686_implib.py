#!/usr/bin/env python3
"""Rebuild an i686 DLL's import library so that __stdcall callers link.

The linker exports the undecorated names of the .def file, but a caller compiled
against the header references `_Name@N`. dlltool, given the decorated names and -k,
writes an import library whose `_Name@N` symbols import `Name` (or the ordinal for
NONAME exports).
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_exports import exports  # noqa: E402


def symbols(nm, dll):
    text = subprocess.run([nm, dll], check=True, capture_output=True, text=True).stdout
    decorated, kinds = {}, {}
    for line in text.splitlines():
        parts = line.split()
        if len(parts) != 3:
            continue
        kind, sym = parts[1], parts[2]
        m = re.match(r"_([A-Za-z_][A-Za-z0-9_]*)@(\d+)$", sym)
        if m and kind == "T":
            decorated[m.group(1)] = sym[1:]
        if sym.startswith("_"):
            kinds[sym[1:]] = kind
    return decorated, kinds


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--nm", required=True)
    ap.add_argument("--objdump", required=True)
    ap.add_argument("--dlltool", required=True)
    ap.add_argument("dll")
    ap.add_argument("implib")
    a = ap.parse_args()

    decorated, kinds = symbols(a.nm, a.dll)
    lines = ["LIBRARY \"%s\"" % os.path.basename(a.dll), "EXPORTS"]
    for ordinal, name in exports(a.objdump, a.dll):
        if name is None:
            # Unnamed exports are reached by ordinal: find the symbol at that slot is not
            # possible from the table alone, so callers use GetProcAddress for them.
            continue
        entry = decorated.get(name, name)
        data = " DATA" if kinds.get(name, "T") not in ("T", "t") else ""
        lines.append("\t%s @%d%s" % (entry, ordinal, data))
    with tempfile.NamedTemporaryFile("w", suffix=".def", delete=False) as f:
        f.write("\n".join(lines) + "\n")
        def_path = f.name
    try:
        subprocess.run([a.dlltool, "-k", "-d", def_path, "-D", os.path.basename(a.dll), "-l", a.implib],
                       check=True)
    finally:
        os.unlink(def_path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
