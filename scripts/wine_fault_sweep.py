#!/usr/bin/env python3
"""Fails each Win32 call of a device's run once on both backends and says
which agree (a report; it changes no comparison).

    scripts/wine_fault_sweep.py [--keep DIR] [--scm] DEVICE_DIR [ARGS...]

For every call the 64-bit test build can fail (tests/wine/wine_faults.cpp),
with the first error tests/reliability/fault_codes.h gives it, the device
gets {"call": C, "occurrence": 1, "error": E}. vorn-sim runs it first; a
run whose journal equals the run without faults did not reach the call
(or shows nothing of it) and is not taken to Wine. --scm: the run is a
start of the installed service by the service control manager. The others become
scenarios of one run (expecting nothing beyond the comparison) and go
through tests/wine/both.sh, whose verdict and differences are printed.
Environment as both.sh (VORN_SIM, VORN_BOTH_JOBS, ...).
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def failable_calls():
    with open(os.path.join(ROOT, "tests/wine/wine_faults.cpp"), encoding="utf-8") as f:
        calls = re.findall(r'\{"(\w+)", F::k\w+\}', f.read())
    with open(os.path.join(ROOT, "tests/reliability/fault_codes.h"), encoding="utf-8") as f:
        codes = {m.group(1): m.group(2) for m in re.finditer(r'\{"(\w+)", \{([^,}]+)', f.read())}
    out = []
    for call in calls:
        code = codes.get(call, "5").split("/*")[0].strip()
        code = {"kEFail": "0x80004005u", "kEOutOfMemory": "0x8007000Eu"}.get(code, code)
        out.append((call, int(code.rstrip("u"), 0)))
    return out


def sim_journal(sim, device, args, work, faults, scm):
    dev = os.path.join(work, "probe")
    shutil.rmtree(dev, ignore_errors=True)
    shutil.copytree(device, dev)
    with_faults(dev, faults)
    subprocess.run([sim] + (["--scm"] if scm else []) + [dev] + args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(os.path.join(dev, "journal.jsonl"), encoding="utf-8") as f:
        return f.read()


def with_faults(dev, faults):
    path = os.path.join(dev, "device.json")
    state = {}
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            state = json.load(f)
    state["faults"] = faults
    with open(path, "w", encoding="utf-8") as f:
        json.dump(state, f, indent=2)


def main(argv):
    keep = None
    if len(argv) > 2 and argv[0] == "--keep":
        keep, argv = argv[1], argv[2:]
    scm = bool(argv) and argv[0] == "--scm"
    argv = argv[1:] if scm else argv
    if not argv:
        sys.exit(__doc__)
    device, args = os.path.abspath(argv[0]), argv[1:]
    sim = os.environ.get("VORN_SIM", os.path.join(ROOT, "build/native/vorn-sim"))
    work = keep or tempfile.mkdtemp(prefix="vorn-fault-sweep.")
    reference = sim_journal(sim, device, args, work, [], scm)
    scenarios, unreached = [], []
    for call, error in failable_calls():
        fault = [{"call": call, "occurrence": 1, "error": error}]
        if sim_journal(sim, device, args, work, fault, scm) == reference:
            unreached.append(call)
            continue
        folder = os.path.join(work, f"{call}-{error}")
        shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(device, os.path.join(folder, "device"))
        with_faults(os.path.join(folder, "device"), fault)
        with open(os.path.join(folder, "both"), "w", encoding="utf-8") as f:
            step = "scm" if scm else "run " + " ".join(args)
            f.write(f"# {call} fails once with {error}\n{step}\n")
        scenarios.append(folder)
    print(f"not reached on vorn-sim (or no trace in its journal): {' '.join(unreached)}")
    print(f"through both backends: {len(scenarios)}", flush=True)
    rc = subprocess.run([os.path.join(ROOT, "tests/wine/both.sh")] + scenarios).returncode
    if not keep:
        shutil.rmtree(work, ignore_errors=True)
    return rc


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
