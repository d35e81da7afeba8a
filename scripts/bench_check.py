#!/usr/bin/env python3
"""bench_check.py REPORT: whether a document bench/run.sh wrote has every
figure. Exit 0 when it has, 1 with the missing ones listed.

It never judges a time or a count against a goal: the figures depend on
the machine and its load. What it refuses is a benchmark that did not run
or whose figures came out empty, as when a change to the Wine runner broke
the benchmark's hook and every figure was "–".
"""
import re
import sys

# The sections a run writes, --quick included.
REQUIRED_HEADINGS = (
    "## 1. Boot cost under Wine beside a bare service",
    "### Start and stop through the service control manager",
    "### Peak memory",
    "### First boot: where the time goes",
    "### What a steady boot writes",
    "## 2. Writes on a steady boot",
    "## 5. Footprint of VORN.EXE",
)

# Table rows that may stay empty: the peak of a service that ends at once can
# be read only when the poll catches the process alive.
MAY_BE_EMPTY = ("starts where it could be read",)

EMPTY_CELLS = {"", "–", "-"}


def table_rows(lines):
    """(line number, cells) of every table body row (header and rule left out)."""
    rows = []
    for i, line in enumerate(lines):
        if not line.startswith("|"):
            continue
        prev = lines[i - 1] if i > 0 else ""
        if re.fullmatch(r"\|(\s*:?-+:?\s*\|)+", line.strip()):
            continue  # the rule under a header
        nxt = lines[i + 1] if i + 1 < len(lines) else ""
        if re.fullmatch(r"\|(\s*:?-+:?\s*\|)+", nxt.strip()) and not prev.startswith("|"):
            continue  # the header
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        rows.append((i + 1, cells))
    return rows


def problems(text):
    """Every missing figure of the document, as messages."""
    found = []
    lines = text.splitlines()
    for heading in REQUIRED_HEADINGS:
        if not any(line.startswith(heading) for line in lines):
            found.append(f"section missing: {heading}")
    if re.search(r"\bnan\b", text, re.IGNORECASE):
        found.append("a ratio was computed from an empty figure (nan)")
    if "Not measured" in text:
        found.append("a section says it was not measured")
    for number, cells in table_rows(lines):
        if any(mark in cells[0] for mark in MAY_BE_EMPTY):
            continue
        if cells[0].startswith("total"):
            # The first-boot intervals' total: its sum only.
            empty = not any(re.fullmatch(r"[0-9]+", c) for c in cells)
        else:
            empty = any(c in EMPTY_CELLS for c in cells)
        if empty:
            found.append(f"line {number}: empty figure in row: {' | '.join(cells)}")
    traced = re.search(r"\((\d+) first boots? with a complete trace\.\)", text)
    if not traced or int(traced.group(1)) == 0:
        found.append("no first boot with a complete trace")
    if "# one steady boot of VORN" not in text:
        found.append("the writes of a steady boot under Wine are missing")
    if not re.search(r"\*\*[1-9][0-9]* bytes\*\*", text):
        found.append("the size of VORN.EXE is missing")
    return found


def main(argv):
    if len(argv) != 2:
        print("usage: bench_check.py REPORT", file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        found = problems(f.read())
    for message in found:
        print(f"bench: {message}")
    if found:
        print(f"bench: {len(found)} figure(s) missing in {argv[1]}")
        return 1
    print(f"bench: every figure present in {argv[1]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
