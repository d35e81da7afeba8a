#!/usr/bin/env python3
"""Fails when a function in the production sources of the given folders is
longer than the limit (60 lines), counted from the first line of its
signature to its closing brace.

    scripts/check_function_length.py [--max N] FOLDER_OR_FILE...

Production sources are the .cpp and .h files given and those in each
folder and below it, except tests (*_test.cpp) and test support (testing.h,
*_testing.h). Functions are found by matching braces after comments,
strings and preprocessor lines are blanked out: a brace block whose head
(the text since the previous ';', '{' or '}') has a parameter list and
that stands at namespace or class scope is a function. Lambdas and local
classes count towards the function they sit in.
"""
import argparse
import pathlib
import re
import sys

SCOPE_WORDS = re.compile(r"\b(namespace|class|struct|union|enum)\b")


def blank(text):
    """Comments, string and character literals and preprocessor lines turned
    to spaces, line breaks kept, so that braces in them do not count."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            # A directive, with its continuation lines.
            while i < n and not (text[i] == "\n" and text[i - 1] != "\\"):
                out.append("\n" if text[i] == "\n" else " ")
                i += 1
            continue
        if c == "\n":
            line_start = True
            out.append(c)
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == "R" and text.startswith('"', i + 1) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^()\\ ]{0,16})\(', text[i:])
            if not m:
                out.append(c)
                i += 1
                continue
            end = text.find(")" + m.group(1) + '"', i + m.end())
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(" " * (j - i))
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def functions(text):
    """(name, first line, last line) of every function defined in `text`."""
    code = blank(text)
    stack = []  # "scope" (namespace, class, top) or "other" brace blocks
    head_start = 0
    func = None  # (name, first line, depth at its opening brace)
    depth = 0
    found = []
    for i, c in enumerate(code):
        if c not in "{};":
            continue
        if func is not None:
            if c == "{":
                depth += 1
            elif c == "}":
                depth -= 1
                if depth == 0:
                    found.append((func[0], func[1], code.count("\n", 0, i) + 1))
                    func = None
                    head_start = i + 1
            continue
        if c == ";":
            head_start = i + 1
            continue
        if c == "}":
            if stack:
                stack.pop()
            head_start = i + 1
            continue
        head = code[head_start:i]
        stripped = head.strip()
        in_scope = all(kind == "scope" for kind in stack)
        paren = head.find("(")
        scope_word = SCOPE_WORDS.search(head)
        if in_scope and paren >= 0 and ")" in head and "=" not in head[:paren] and not (
                scope_word and scope_word.start() < paren):
            first = head_start + (len(head) - len(head.lstrip()))
            name = re.findall(r"([~\w:]+)\s*\(", head)
            func = (name[0] if name else "?", code.count("\n", 0, first) + 1)
            depth = 1
        elif in_scope and (scope_word or stripped.startswith("extern")):
            stack.append("scope")
        else:
            stack.append("other")
        head_start = i + 1
    return found


def production_files(folder):
    root = pathlib.Path(folder)
    for path in [root] if root.is_file() else sorted(root.rglob("*")):
        if path.suffix not in (".cpp", ".h") or not path.is_file():
            continue
        if path.name.endswith("_test.cpp") or path.name == "testing.h" or path.name.endswith("_testing.h"):
            continue
        yield path


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--max", type=int, default=60)
    parser.add_argument("folders", nargs="+")
    args = parser.parse_args()
    long_ones = []
    for folder in args.folders:
        if not pathlib.Path(folder).exists():
            print(f"check_function_length: no file or folder {folder}", file=sys.stderr)
            return 2
        for path in production_files(folder):
            text = path.read_text(encoding="utf-8", errors="replace")
            for name, first, last in functions(text):
                if last - first + 1 > args.max:
                    long_ones.append(f"{path}:{first}: {name}: {last - first + 1} lines")
    for line in long_ones:
        print(line)
    if long_ones:
        print(f"{len(long_ones)} functions over {args.max} lines")
        return 1
    print(f"no function over {args.max} lines in {' '.join(args.folders)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
