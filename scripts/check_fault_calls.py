#!/usr/bin/env python3
"""Fails unless every function the failure injection of the 64-bit test
build can fail (the table in tests/wine/wine_faults.cpp) is imported by
VORN.EXE, bound at load or delay-loaded: a fault naming a function the
executable no longer imports would never fire under Wine while the
simulated device still fails it.

    scripts/check_fault_calls.py OBJDUMP VORN.EXE TABLE_SOURCE
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_delay_imports  # noqa: E402


def main(objdump, exe, source):
    dump = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    imported = set(re.findall(r"^\t[0-9a-f]+\s+\d+\s+(\w+)$", dump, re.M))
    with open(exe, "rb") as f:
        imported |= {name for _, name in pe_delay_imports.delay_imports(pe_delay_imports.Image(f.read()))}
    with open(source, encoding="utf-8") as f:
        table = re.findall(r'\{"(\w+)", F::k\w+\}', f.read())
    if not table:
        print(f"FAIL: no failable calls found in {source}")
        return 1
    missing = sorted(set(table) - imported)
    for name in missing:
        print(f"FAIL: {name} is failable but {exe} does not import it")
    if missing:
        return 1
    print(f"{exe}: all {len(table)} failable calls are imported")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
