#!/usr/bin/env python3
"""Fails each Win32 call of the sweep's runs once on both backends and
fails when the two differ.

    scripts/wine_fault_sweep.py [--keep DIR] [--full] [RUNS_FILE]

RUNS_FILE (default tests/wine/fault_sweep.runs) names the runs: a device
folder, --install (the service installed first by vorn-sim -Service on a
copy), and --scm (a start by the service control manager) or the command
line's arguments. For every call the 64-bit test build can fail
(tests/wine/wine_faults.cpp), with the first error
tests/reliability/fault_codes.h gives it, the device gets {"call": C,
"occurrence": 1, "error": E}. vorn-sim runs it first; a run whose journal
equals the run without faults did not reach the call (or shows nothing of
it) and is not taken to Wine. The others become scenarios of one run and go
through tests/wine/both.sh, which compares them. Without --full (or
VORN_SWEEP_FULL=1) each call is taken at the first run that reaches it
only: the subset ./test.sh runs. Prints the runs chosen and both.sh's
verdicts; exit 0 when every one agrees, 1 otherwise, 77 as both.sh.
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


def read_runs(path):
    runs = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            words = line.split()
            if not words or words[0].startswith("#"):
                continue
            install = "--install" in words
            scm = "--scm" in words
            args = [w for w in words[1:] if w not in ("--install", "--scm")]
            runs.append((os.path.join(ROOT, words[0]), install, scm, args))
    return runs


def base_device(sim, device, install, work, index):
    """The run's device: the folder itself, or a copy with the service
    installed by vorn-sim."""
    if not install:
        return device
    dev = os.path.join(work, f"installed-{index}")
    shutil.rmtree(dev, ignore_errors=True)
    shutil.copytree(device, dev)
    subprocess.run([sim, dev, "-Service"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=True)
    os.remove(os.path.join(dev, "journal.jsonl"))
    return dev


def scenarios_of(sim, run, index, work, taken, full):
    device, install, scm, args = run
    device = base_device(sim, device, install, work, index)
    reference = sim_journal(sim, device, args, work, [], scm)
    folders = []
    for call, error in failable_calls():
        if call in taken and not full:
            continue
        fault = [{"call": call, "occurrence": 1, "error": error}]
        if sim_journal(sim, device, args, work, fault, scm) == reference:
            continue
        taken.add(call)
        folder = os.path.join(work, f"{index:02d}-{call}-{error}")
        shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(device, os.path.join(folder, "device"))
        with_faults(os.path.join(folder, "device"), fault)
        with open(os.path.join(folder, "both"), "w", encoding="utf-8") as f:
            step = "scm" if scm else ("run " + " ".join(args)).strip()
            f.write(f"# {call} fails once with {error}\n{step}\n")
        folders.append(folder)
    return folders


def main(argv):
    keep = None
    if len(argv) > 1 and argv[0] == "--keep":
        keep, argv = argv[1], argv[2:]
    full = os.environ.get("VORN_SWEEP_FULL") == "1"
    if argv and argv[0] == "--full":
        full, argv = True, argv[1:]
    if len(argv) > 1:
        sys.exit(__doc__)
    runs = read_runs(argv[0] if argv else os.path.join(ROOT, "tests/wine/fault_sweep.runs"))
    sim = os.environ.get("VORN_SIM", os.path.join(ROOT, "build/native/vorn-sim"))
    work = keep or tempfile.mkdtemp(prefix="vorn-fault-sweep.")
    os.makedirs(work, exist_ok=True)
    scenarios, taken = [], set()
    for index, run in enumerate(runs):
        folders = scenarios_of(sim, run, index, work, taken, full)
        print(f"run {index}: {' '.join(w for w in [os.path.relpath(run[0], ROOT)] + run[3])}"
              f"{' (installed, by the service control manager)' if run[2] else ''}:"
              f" {' '.join(f.split('-', 1)[1] for f in map(os.path.basename, folders))}")
        scenarios += folders
    unreached = [c for c, _ in failable_calls() if c not in taken]
    print(f"reached by no run on vorn-sim (or no trace in its journal): {' '.join(unreached)}")
    print(f"through both backends: {len(scenarios)} ({'all' if full else 'each call once'})", flush=True)
    rc = subprocess.run([os.path.join(ROOT, "tests/wine/both.sh")] + scenarios).returncode
    if not keep:
        shutil.rmtree(work, ignore_errors=True)
    return rc


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
