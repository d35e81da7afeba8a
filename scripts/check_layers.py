#!/usr/bin/env python3
"""Fails on an include cycle between folders and on relative includes.

    scripts/check_layers.py [ROOT]

Reads every quoted #include of the .cpp and .h files in the system's
folders (host, common, tasks, os, device, tools and below) and draws an edge from the
including file's folder to the included file's folder. Tests and test
support (*_test.cpp, testing.h, *_testing.h) are left out: a test may run
the whole system from beside any layer. The build already refuses an
include that goes up or sideways (cmake/layers.cmake); what it cannot see
is a cycle among folders of one library, or a relative include ("../x.h"),
which the compiler resolves from the including file's own folder, past the
library's view: both fail here.
"""
import pathlib
import re
import sys

FOLDERS = ("host", "common", "tasks", "os", "device", "tools")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def is_test(path):
    name = path.name
    return name.endswith("_test.cpp") or name == "testing.h" or name.endswith("_testing.h")


def edges(root):
    graph = {}
    relative = []
    for top in FOLDERS:
        for path in sorted((root / top).rglob("*")):
            if path.suffix not in (".cpp", ".h") or not path.is_file():
                continue
            rel = path.relative_to(root)
            text = path.read_text(encoding="utf-8", errors="replace")
            for included in INCLUDE.findall(text):
                if ".." in pathlib.PurePosixPath(included).parts or included.startswith("./"):
                    relative.append(f"{rel}: #include \"{included}\"")
                    continue
                if is_test(path):
                    continue
                target = root / included
                if not target.is_file():
                    continue  # generated or the folder's own, by bare name
                source_folder = str(rel.parent)
                target_folder = str(pathlib.PurePosixPath(included).parent)
                if source_folder != target_folder:
                    graph.setdefault(source_folder, {}).setdefault(target_folder, f"{rel} -> {included}")
    return graph, relative


def find_cycle(graph):
    """One cycle as a list of folders, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(graph.get(node, {})):
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = 2
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    graph, relative = edges(root)
    ok = True
    for line in relative:
        print(f"relative include (reaches past the layer's view): {line}")
        ok = False
    cycle = find_cycle(graph)
    if cycle:
        print("include cycle between folders: " + " -> ".join(cycle))
        for a, b in zip(cycle, cycle[1:]):
            print(f"  {graph[a][b]}")
        ok = False
    if ok:
        print(f"no include cycle between {len(graph)} folders, no relative include")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
