"""Reads a PE export table as objdump -p prints it."""
import re
import subprocess


def exports(objdump, dll):
    """[(ordinal, name or None)] of every export with an address."""
    text = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    base, ordinals, names, section = 1, [], {}, None
    for line in text.splitlines():
        m = re.match(r"Export Address Table -- Ordinal Base (\d+)", line)
        if m:
            base, section = int(m.group(1)), "eat"
            continue
        if line.startswith("[Ordinal/Name Pointer] Table"):
            section = "names"
            continue
        if not line.strip():
            section = None if section == "names" else section
            continue
        m = re.match(r"\s*\[\s*(\d+)\]\s+\+base\[\s*(\d+)\]\s+([0-9a-fA-F]+)", line)
        if section == "eat" and m:
            if int(m.group(3), 16):
                ordinals.append(int(m.group(2)))
            continue
        m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)", line)
        if section == "names" and m:
            names[int(m.group(1)) + base] = m.group(2)
    return [(o, names.get(o)) for o in ordinals]
