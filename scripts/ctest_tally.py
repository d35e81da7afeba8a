#!/usr/bin/env python3
"""Counts a ctest run from its JUnit file.

    scripts/ctest_tally.py RESULTS.xml

RESULTS.xml is what `ctest --output-junit` wrote. Prints each skipped test
with its reason (the line of its output that says why), then one line
"N passed, N failed, N skipped". Exit 0 when nothing failed, 1 otherwise,
also when the file is missing or unreadable or lists no test.

A test counts as skipped when it said it cannot run here (its
SKIP_RETURN_CODE, or a GoogleTest skip matched by SKIP_REGULAR_EXPRESSION)
or is disabled. A test that did not run for any other reason (a failed
fixture, such as the build it needs; a missing program) counts as failed,
as ctest's own summary counts it.
"""
import sys
import xml.etree.ElementTree as ET

SKIPPED_BY_TEST = ("SKIP_RETURN_CODE", "SKIP_REGULAR_EXPRESSION")


def verdict(case):
    """passed, failed or skipped, and for a skip its reason."""
    status = case.get("status")
    if status == "run":
        return "passed", None
    if status == "disabled":
        return "skipped", "disabled"
    skipped = case.find("skipped")
    if status == "notrun" and skipped is not None and \
            skipped.get("message", "").startswith(SKIPPED_BY_TEST):
        return "skipped", reason(case.findtext("system-out") or "")
    return "failed", None


def reason(output):
    """The line of a skipped test's output that says why."""
    lines = [line.strip() for line in output.splitlines() if line.strip()]
    for line in lines:
        if "skip" in line.lower():
            return line
    return lines[-1] if lines else "(no output)"


def main(argv):
    if len(argv) != 1:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 64
    try:
        cases = ET.parse(argv[0]).getroot().iter("testcase")
        counts = {"passed": 0, "failed": 0, "skipped": 0}
        for case in cases:
            kind, why = verdict(case)
            counts[kind] += 1
            if why:
                print(f"skipped: {case.get('name')}: {why}")
    except (OSError, ET.ParseError) as error:
        print(f"no ctest results: {error}")
        print("0 passed, 1 failed, 0 skipped")
        return 1
    if sum(counts.values()) == 0:
        print(f"no ctest results: {argv[0]} lists no test")
        counts["failed"] = 1
    print(f"{counts['passed']} passed, {counts['failed']} failed, {counts['skipped']} skipped")
    return 0 if counts["failed"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
