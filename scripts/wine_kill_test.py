#!/usr/bin/env python3
"""The example device's first boot as a service under Wine, killed at 30
moments and booted again.

The device (examples/first-boot) is installed with -Service, then one
uninterrupted first boot runs with Wine's file and registry traces
(+file,+reg); its seeded prefix is kept and every other run starts from a
copy of it. The moments are lines of that run's own trace: the file and
registry calls of VORN's job thread (the thread that first opens
SOFTWARE\\Talvenor), with every call on the configuration folder C:\\Quorvex
(the display save: its CreateFile, WriteFile, SetFileAttributes, MoveFile
...) taken and the rest spread evenly over the other calls. For moment N a
killable run (vorn-wine with VORN_WINE_KILLABLE=1, a PID namespace of its
own) is followed line by line, and at the Nth matching line the namespace's
first process gets SIGKILL, which ends the whole Wine session at once.

Checks per moment: right after the kill, C:\\Quorvex\\DefaultConfig.xml is
there, parses, and is byte for byte the old file or the new one; then the
same prefix boots again (the service started by Wine's service control
manager, to its end, read back into the device folder): the configuration
again whole, no leftover beside it, and the registry, the files of c/ and
device.json the same as after the uninterrupted boot.

Exit 0 when every moment passed, 1 otherwise, 77 when Wine or the private
namespaces are missing (vorn-wine's 77), 2 for the test's own trouble.
"""
import argparse
import concurrent.futures
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VORN_WINE = os.path.join(ROOT, "tests", "wine", "vorn-wine")
EXAMPLE = os.path.join(ROOT, "examples", "first-boot")
CONFIG = os.path.join("Quorvex", "DefaultConfig.xml")
TRACE = "+file,+reg"

LINE = re.compile(r"^[0-9.]+:([0-9a-f]+):(.*)$")
CALL = re.compile(
    r"trace:(?:reg:(?:NtCreateKey \(|NtSetValueKey|NtDeleteValueKey|NtDeleteKey|SetComputerNameExW)"
    r"|file:(?:CreateFileW L|WriteFile |MoveFileWithProgressW|DeleteFileW|SetFileAttributesW"
    r"|CreateDirectoryW|RemoveDirectoryW))")
PATH = re.compile(r'L"([^"]*)"')
HANDLE = re.compile(r"trace:file:(?:CreateFileW returning|WriteFile) ([0-9A-F]+)")


class Calls:
    """The file and registry calls of VORN's job thread, in the order the
    trace shows them, fed one line at a time."""

    def __init__(self):
        self.thread = None
        self.handles = {}
        self.opened = None
        self.calls = []  # (key, concerns the configuration folder)

    def feed(self, line):
        """True when the line is one more call."""
        m = LINE.match(line)
        if not m:
            return False
        tid, text = m.groups()
        if self.thread is None:
            if "Talvenor" not in text:
                return False
            self.thread = tid
        if tid != self.thread:
            return False
        if text.startswith("trace:file:CreateFileW returning"):
            self.handles[HANDLE.search(text).group(1)] = self.opened
            return False
        if not CALL.search(text):
            return False
        path = self._path(text)
        if path.lower().startswith("c:\\\\vorntest"):
            return False  # the stand-ins' own call log
        self.calls.append((self._key(text, path), "\\\\quorvex\\\\" in path.lower()))
        return True

    def _path(self, text):
        if text.startswith("trace:file:WriteFile"):
            return self.handles.get(HANDLE.search(text).group(1)) or ""
        m = PATH.search(text)
        path = m.group(1) if m else ""
        if text.startswith("trace:file:CreateFileW"):
            self.opened = path
        return path

    @staticmethod
    def _key(text, path):
        """The call without handles and addresses, which differ run to run."""
        name = re.match(r"trace:\w+:(\w+)", text).group(1)
        return name + " " + path


def pick(calls, count):
    """COUNT call numbers (1-based): every call on the configuration folder
    (at most two thirds of them, evenly when more), the rest spread evenly
    over the other calls."""
    config = [i + 1 for i, (_, quorvex) in enumerate(calls) if quorvex]
    other = [i + 1 for i, (_, quorvex) in enumerate(calls) if not quorvex]
    take = min(len(config), count * 2 // 3)
    chosen = set(spread(config, take)) | set(spread(other, count - take))
    return sorted(chosen)


def spread(items, count):
    if count <= 0 or not items:
        return []
    if count >= len(items):
        return list(items)
    return [items[(2 * k + 1) * len(items) // (2 * count)] for k in range(count)]


def vorn_wine(device, args, log, env=None, wait=True):
    """tests/wine/vorn-wine on DEVICE (--scm: the service started), its
    output into LOG. The exit code, or the process when not WAIT."""
    full = dict(os.environ)
    full.update(env or {})
    argv = [VORN_WINE, "--scm", device] if args == ["--scm"] else [VORN_WINE, device] + args
    with open(log, "w") as out:
        proc = subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT, env=full)
    return proc.wait() if wait else proc


def read(path, mode="rb"):
    with open(path, mode) as f:
        return f.read()


def load_json(path):
    with open(path) as f:
        return json.load(f)


def copy_device(src, dst):
    shutil.copytree(src, dst, symlinks=True)
    return dst


def config_state(path, old, new):
    """None when the configuration is whole (the old file or the new one),
    else what is wrong with it."""
    if not os.path.isfile(path):
        return "DefaultConfig.xml missing"
    data = read(path)
    try:
        ElementTree.fromstring(data)
    except ElementTree.ParseError as e:
        return "DefaultConfig.xml does not parse (%s, %d bytes)" % (e, len(data))
    if data not in (old, new):
        return "DefaultConfig.xml is neither the old nor the new file (%d bytes)" % len(data)
    return None


def follow(work_glob, proc, calls, moment, timeout=180):
    """Follows the run's trace; at the MOMENT-th call kills the session.
    Returns (killed, the call's key, the calls that followed before the
    session died)."""
    deadline = time.monotonic() + timeout
    log = None
    while log is None:
        found = glob.glob(work_glob + "/wine.log")
        if found:
            log = found[0]
        elif proc.poll() is not None or time.monotonic() > deadline:
            return False, None, 0
        else:
            time.sleep(0.01)
    work = os.path.dirname(log)
    pending = b""
    with open(log, "rb") as f:
        while True:
            chunk = f.read(1 << 16)
            if not chunk:
                if proc.poll() is not None or time.monotonic() > deadline:
                    return False, None, 0
                time.sleep(0.0005)
                continue
            pending += chunk
            *lines, pending = pending.split(b"\n")
            for line in lines:
                if calls.feed(line.decode("utf-8", "replace")) and len(calls.calls) == moment:
                    kill_session(work)
                    proc.wait()
                    key = calls.calls[-1][0]
                    return True, key, count_rest(f, pending, calls) - moment


def count_rest(f, pending, calls):
    """Every call the trace shows once the session is dead."""
    rest = pending + f.read()
    for line in rest.split(b"\n"):
        calls.feed(line.decode("utf-8", "replace"))
    return len(calls.calls)


def kill_session(work):
    """SIGKILL to the first process of the run's PID namespace: the child
    of the unshare process named in session.pid."""
    pid = read(os.path.join(work, "session.pid"), "r").strip()
    children = read("/proc/%s/task/%s/children" % (pid, pid), "r").split()
    os.kill(int(children[0]), signal.SIGKILL)


def killed_boot(scratch, installed, prepared, moment, expected, old, new):
    """One moment: the killed boot, the check, the next boot, the checks.
    Returns (moment, list of faults, note)."""
    here = os.path.join(scratch, "m%03d" % moment)
    os.makedirs(here)
    device = copy_device(installed, os.path.join(here, "device"))
    env = {"VORN_WINE_KILLABLE": "1", "VORN_WINE_KEEP": "1", "VORN_WINE_PREFIX_FROM": prepared,
           "VORN_WINE_DEBUG": TRACE, "TMPDIR": here}
    proc = vorn_wine(device, ["--scm"], os.path.join(here, "killed.txt"), env, wait=False)
    calls = Calls()
    killed, key, later = follow(os.path.join(here, "vorn-wine.*"), proc, calls, moment)
    if not killed:
        proc.kill()
        proc.wait()
        return moment, ["the run ended before call %d (it made %d)" % (moment, len(calls.calls))], ""
    faults = []
    if key != expected:
        faults.append("call %d is %r, in the uninterrupted run %r" % (moment, key, expected))
    work = glob.glob(os.path.join(here, "vorn-wine.*"))[0]
    drive = os.path.join(work, "prefix", "drive_c")
    wrong = config_state(os.path.join(drive, CONFIG), old, new)
    if wrong:
        faults.append("after the kill: " + wrong)
    beside = sorted(os.listdir(os.path.join(drive, "Quorvex")))
    state = "new" if read(os.path.join(drive, CONFIG)) == new else "old"
    note = "%s (+%d calls before the end) -> %s %s" % (key, later, state, beside)
    env = {"VORN_WINE_PREFIX_FROM": os.path.join(work, "prefix"), "TMPDIR": here}
    rc = vorn_wine(device, ["--scm"], os.path.join(here, "next.txt"), env)
    shutil.rmtree(work, ignore_errors=True)
    if rc != 0:
        return moment, faults + ["the next boot ended with %d (%s)" % (rc, here)], note
    faults += final_state(device, os.path.join(scratch, "uninterrupted"), old, new)
    if not faults:
        shutil.rmtree(here, ignore_errors=True)
    return moment, faults, note


def files_of(device):
    out = {}
    for base, _, names in os.walk(os.path.join(device, "c")):
        for name in names:
            path = os.path.join(base, name)
            out[os.path.relpath(path, device)] = read(path)
    return out


def final_state(device, reference, old, new):
    """What differs from the uninterrupted boot's device."""
    faults = []
    wrong = config_state(os.path.join(device, "c", CONFIG), old, new)
    if wrong:
        faults.append("after the next boot: " + wrong)
    mine, theirs = files_of(device), files_of(reference)
    for name in sorted(set(mine) | set(theirs)):
        if mine.get(name) != theirs.get(name):
            faults.append("c/ differs: %s (%s)" % (name, "leftover" if name not in theirs else
                                                    "missing" if name not in mine else "content"))
    if read(os.path.join(device, "registry.reg")) != \
            read(os.path.join(reference, "registry.reg")):
        faults.append("registry.reg differs from the uninterrupted boot's")
    a = load_json(os.path.join(device, "device.json"))
    b = load_json(os.path.join(reference, "device.json"))
    for field in sorted(set(a) | set(b)):
        if a.get(field) != b.get(field):
            faults.append("device.json %s: %r, uninterrupted %r" % (field, a.get(field), b.get(field)))
    return faults


def prepare(scratch):
    """The installed device, the uninterrupted boot with its trace and the
    seeded prefix it started from. Returns (installed, prepared prefix,
    calls) or an exit code."""
    installed = copy_device(EXAMPLE, os.path.join(scratch, "installed"))
    rc = vorn_wine(installed, ["-Service"], os.path.join(scratch, "install.txt"))
    if rc != 0:
        print(read(os.path.join(scratch, "install.txt"), "r"), end="")
        return 77 if rc == 77 else 2
    reference = copy_device(installed, os.path.join(scratch, "uninterrupted"))
    prepared = os.path.join(scratch, "prepared")
    evidence = os.path.join(scratch, "evidence")
    env = {"VORN_WINE_PREFIX_SAVE": prepared, "VORN_WINE_DEBUG": TRACE, "VORN_WINE_EVIDENCE": evidence}
    rc = vorn_wine(reference, ["--scm"], os.path.join(scratch, "uninterrupted.txt"), env)
    if rc != 0:
        print("the uninterrupted boot ended with %d" % rc)
        return 2
    calls = Calls()
    with open(os.path.join(evidence, "wine.log"), "rb") as f:
        for line in f:
            calls.feed(line.decode("utf-8", "replace").rstrip("\n"))
    return installed, prepared, calls


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--moments", type=int, default=30)
    parser.add_argument("--jobs", type=int, default=int(os.environ.get("VORN_KILL_JOBS", "3")))
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder")
    args = parser.parse_args()
    scratch = tempfile.mkdtemp(prefix="vorn-kill.")
    started = time.monotonic()
    try:
        return run_all(scratch, args, started)
    finally:
        if args.keep:
            print("scratch folder:", scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)


def run_all(scratch, args, started):
    prepared = prepare(scratch)
    if isinstance(prepared, int):
        return prepared
    installed, prefix, calls = prepared
    old = read(os.path.join(installed, "c", CONFIG))
    new = read(os.path.join(scratch, "uninterrupted", "c", CONFIG))
    if old == new:
        print("the uninterrupted boot did not change the display configuration")
        return 2
    moments = pick(calls.calls, args.moments)
    config = sum(1 for _, q in calls.calls if q)
    print("uninterrupted boot: %d calls of the job thread, %d on C:\\Quorvex; moments %s"
          % (len(calls.calls), config, moments))
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        jobs = [pool.submit(killed_boot, scratch, installed, prefix, m, calls.calls[m - 1][0],
                            old, new) for m in moments]
        for moment, job in zip(moments, jobs):
            try:
                moment, faults, note = job.result()
            except OSError as e:  # the test's own trouble, counted as a failed moment
                faults, note = ["the test could not go on: %s" % e], ""
            print("%s moment %d: %s" % ("FAIL" if faults else "ok  ", moment, note))
            for fault in faults:
                print("     " + fault)
            failed += bool(faults)
    print("%d of %d moments passed (%.0f s)" % (len(moments) - failed, len(moments),
                                                 time.monotonic() - started))
    if failed:
        args.keep = True
    return 1 if failed or len(moments) < args.moments else 0


if __name__ == "__main__":
    sys.exit(main())
