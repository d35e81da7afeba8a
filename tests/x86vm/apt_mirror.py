#!/usr/bin/env python3
"""The Debian mirror apt uses on this machine for a suite: the first source
carrying it, from the one-line files (sources.list, sources.list.d/*.list),
then the deb822 ones (sources.list.d/*.sources). Exit 1 when none does.

    apt_mirror.py SUITE [APT_DIR]     (APT_DIR: /etc/apt)
"""
import glob
import os
import re
import sys


def one_line(text, suite):
    for line in text.splitlines():
        words = line.split()
        if not words or words[0] != "deb":
            continue
        for i, word in enumerate(words[1:-1], start=1):
            if re.match(r"[a-z]+://", word):
                if words[i + 1] == suite:
                    return word
                break
    return None


def deb822(text, suite):
    for stanza in re.split(r"\n\s*\n", text):
        fields = dict(re.findall(r"^(\w[\w-]*):[ \t]*(.*)$", stanza, re.M))
        uris, suites = fields.get("URIs", "").split(), fields.get("Suites", "").split()
        if uris and suite in suites:
            return uris[0]
    return None


def mirror(suite, apt):
    lists = [os.path.join(apt, "sources.list")] + sorted(glob.glob(os.path.join(apt, "sources.list.d", "*.list")))
    for path, parse in [(p, one_line) for p in lists] + \
            [(p, deb822) for p in sorted(glob.glob(os.path.join(apt, "sources.list.d", "*.sources")))]:
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                found = parse(f.read(), suite)
        except OSError:
            continue
        if found:
            return found
    return None


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    url = mirror(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else "/etc/apt")
    if url:
        print(url)
    sys.exit(0 if url else 1)
