#!/usr/bin/env python3
"""Checks that each DLL exports exactly what its .def file lists.

Manifest lines are "<dll>|<def>". Every .def name must be exported under its ordinal
(when the .def gives one), NONAME entries only by ordinal, and nothing else may be
exported but C++ members of exported classes (Itanium-mangled "_Z..." names).
A decorated i686 name ("Name@8") or a missing export fails the check.
"""
import argparse
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cmake"))
from pe_exports import exports  # noqa: E402


def read_def(path):
    wanted = []
    in_exports = False
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.split(";", 1)[0].strip()
            if not line:
                continue
            if re.match(r"(LIBRARY|NAME|DESCRIPTION|HEAPSIZE|STACKSIZE|SECTIONS|VERSION)\b", line):
                in_exports = False
                continue
            if line == "EXPORTS":
                in_exports = True
                continue
            if not in_exports:
                continue
            tokens = line.split()
            name = tokens[0].split("=", 1)[0]
            ordinal = None
            for t in tokens[1:]:
                if t.startswith("@"):
                    ordinal = int(t[1:]) if len(t) > 1 else None
            if "@" in tokens[1:]:
                ordinal = int(tokens[tokens.index("@") + 1])
            wanted.append((name, ordinal, "NONAME" in tokens[1:]))
    return wanted


def check(objdump, dll, def_path):
    problems = []
    actual = exports(objdump, dll)
    by_name = {n: o for o, n in actual if n}
    unnamed = {o for o, n in actual if not n}
    listed = set()
    for name, ordinal, noname in read_def(def_path):
        listed.add(name)
        if noname:
            if ordinal not in unnamed:
                problems.append("%s: ordinal %s (NONAME) is not exported by ordinal only" % (name, ordinal))
            continue
        if name not in by_name:
            problems.append("%s: not exported" % name)
        elif ordinal is not None and by_name[name] != ordinal:
            problems.append("%s: ordinal %d, expected %d" % (name, by_name[name], ordinal))
    for name in by_name:
        if name not in listed and not name.startswith("_Z"):
            problems.append("%s: exported but not in the .def" % name)
    return problems


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--objdump", required=True)
    ap.add_argument("manifest")
    a = ap.parse_args()
    failed = checked = 0
    with open(a.manifest, encoding="utf-8") as f:
        entries = [l.strip().split("|") for l in f if l.strip()]
    for dll, def_path in entries:
        checked += 1
        if not os.path.exists(dll):
            print("FAIL %s: not built" % dll)
            failed += 1
            continue
        problems = check(a.objdump, dll, def_path)
        if problems:
            failed += 1
            print("FAIL %s" % os.path.basename(dll))
            for p in problems:
                print("    " + p)
        else:
            print("ok   %s" % os.path.basename(dll))
    print("%d DLLs checked, %d failed" % (checked, failed))
    if checked == 0:
        print("no DLL listed in %s" % a.manifest)
        return 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
