#!/usr/bin/env python3
"""Prints one resource's block of a windres "-O rc" dump read from standard
input: the language in effect (the dump states it only where it changes),
then the block from the line after its "Name:" comment to its END.

    rc_block.py TYPE NAME <DUMP
"""
import sys


def block(lines, rtype, name):
    language, wanted, out = "", False, []
    for line in lines:
        if not out:
            if line.startswith("LANGUAGE "):
                language = line
            elif line.startswith("/* Type: " + rtype):
                wanted = True
            elif wanted and "Name: " in line:
                wanted = False
                if "Name: " + name + "." in line:
                    out = [language] if language else []
                    out.append(None)  # the block starts with the next line
            continue
        if out[-1] is None:
            out.pop()
        out.append(line)
        if line == "END":
            break
    return [line for line in out if line is not None]


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    for line in block(sys.stdin.read().splitlines(), sys.argv[1], sys.argv[2]):
        print(line)
