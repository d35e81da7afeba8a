#!/usr/bin/env python3
"""Writes the tests of the presets' build trees as one CTest file.

    scripts/ctest_import.py OUT BUILD_DIR PRESET...

For each PRESET, asks ctest for the tests of BUILD_DIR/PRESET
(--show-only=json-v1, which also runs the include files that list the
GoogleTest cases) and writes them to OUT as add_test and
set_tests_properties commands for build/all (tests/stages/CMakeLists.txt),
each named PRESET.NAME, labelled PRESET and needing the fixture
build.PRESET, so that it does not run when that build failed.

Why not include the trees with subdirs(): the presets register the same
names (native and sanitize, win32 and win64), and CTest applies a
set_tests_properties to every test of that name, so their labels and
properties would mix.

A tree that lists no test (never configured, or its build failed before
anything was made) gets one failing test PRESET.tests saying so: a missing
tree must not look like a passing one.
"""
import json
import pathlib
import subprocess
import sys

# Properties that name tests or fixtures: renamed with the test.
RENAMED = ("DEPENDS", "FIXTURES_SETUP", "FIXTURES_CLEANUP", "FIXTURES_REQUIRED")


def quoted(value):
    """A CMake bracket argument: nothing in it is expanded."""
    text = str(value)
    level = 0
    # The closing bracket must not occur inside, nor start at a final "]".
    while "]" + "=" * level + "]" in text + "]":
        level += 1
    return "[" + "=" * level + "[" + text + "]" + "=" * level + "]"


def flat(name, value):
    """A json-v1 property value as the text set_tests_properties takes."""
    if isinstance(value, bool):
        return "ON" if value else "OFF"
    if isinstance(value, list):
        if any(isinstance(v, (dict, list)) for v in value):
            raise ValueError(f"property {name}: nested values are not supported")
        return ";".join(str(v) for v in value)
    if isinstance(value, dict):
        raise ValueError(f"property {name}: nested values are not supported")
    return str(value)


def properties(test, preset):
    """The test's properties, renamed and completed for build/all."""
    props = {p["name"]: p["value"] for p in test.get("properties", [])}
    for name in RENAMED:
        if name in props:
            props[name] = [f"{preset}.{v}" for v in props[name]]
    labels = list(props.get("LABELS", [])) + [preset]
    props["LABELS"] = labels
    props["FIXTURES_REQUIRED"] = list(props.get("FIXTURES_REQUIRED", [])) + [f"build.{preset}"]
    # A test under Wine mostly waits; any other keeps a CPU busy.
    props.setdefault("PROCESSORS", 1 if "wine" in labels else 2)
    return props


def test_commands(test, preset):
    name = f"{preset}.{test['name']}"
    if not test.get("command"):
        return missing_commands(name, f"{test['name']}: ctest finds no program to run (not built)")
    lines = ["add_test(" + " ".join(quoted(a) for a in [name] + test["command"]) + ")"]
    props = properties(test, preset)
    pairs = " ".join(f"{k} {quoted(flat(k, v))}" for k, v in sorted(props.items()))
    lines.append(f"set_tests_properties({quoted(name)} PROPERTIES {pairs})")
    return lines


def missing_commands(name, why):
    message = f"echo {quoted_sh(why)}; exit 1"
    return [f"add_test({quoted(name)} sh -c {quoted(message)})"]


def quoted_sh(text):
    return "'" + text.replace("'", "'\\''") + "'"


def listed_tests(tree):
    """The tests ctest lists for TREE, or None with the reason."""
    if not (tree / "CTestTestfile.cmake").exists():
        return None, f"{tree} has no tests: it was never configured"
    result = subprocess.run(["ctest", "--show-only=json-v1", "--test-dir", str(tree)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        return None, f"ctest could not list the tests of {tree}: {result.stderr.strip()}"
    tests = json.loads(result.stdout).get("tests", [])
    if not tests:
        return None, f"{tree} lists no test"
    return tests, None


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 64
    out, build, presets = pathlib.Path(argv[0]), pathlib.Path(argv[1]), argv[2:]
    lines = []
    for preset in presets:
        tests, why = listed_tests(build / preset)
        if tests is None:
            lines += missing_commands(f"{preset}.tests", why)
            lines.append(f"set_tests_properties({preset}.tests PROPERTIES LABELS {preset})")
            continue
        for test in tests:
            lines += test_commands(test, preset)
    out.write_text("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
