#!/usr/bin/env python3
"""Checks that the code the documents quote is still in the files they quote it from.

A quoted block is a code fence right after a line `<!-- quoted from PATH -->` (PATH relative to the
source tree). Every line of the block that is not empty and not `...` must appear in PATH, in the
same order, compared without leading and trailing blanks. Every C++ or C# block of the documents
must be such a quote, so no sample escapes the compiler again.

    check_quotes.py SOURCE_DIR DOC...
"""
import re
import sys
from pathlib import Path

MARKER = re.compile(r"^<!-- quoted from (\S+) -->\s*$")
FENCE = re.compile(r"^```(\w*)\s*$")
CODE_LANGUAGES = {"cpp", "c++", "csharp", "cs"}


def blocks(lines):
    """(line number, language, quoted path or None, code lines) for each fenced block."""
    i = 0
    source = None
    while i < len(lines):
        m = MARKER.match(lines[i])
        if m:
            source = m.group(1)
            i += 1
            continue
        f = FENCE.match(lines[i])
        if f:
            start, language, code = i + 1, f.group(1), []
            i += 1
            while i < len(lines) and not lines[i].startswith("```"):
                code.append(lines[i])
                i += 1
            yield start, language, source, code
            source = None
        elif lines[i].strip():
            source = None  # a marker applies to the block right after it only
        i += 1


def check(root, doc):
    problems = []
    lines = (root / doc).read_text(encoding="utf-8").splitlines()
    for start, language, source, code in blocks(lines):
        where = f"{doc}:{start}"
        if source is None:
            if language in CODE_LANGUAGES:
                problems.append(f"{where}: a {language} block that quotes no file (add <!-- quoted from PATH -->)")
            continue
        path = root / source
        if not path.is_file():
            problems.append(f"{where}: quotes {source}, which does not exist")
            continue
        have = [l.strip() for l in path.read_text(encoding="utf-8").splitlines()]
        at = 0
        for line in code:
            wanted = line.strip()
            if not wanted or wanted == "...":
                continue
            try:
                at = have.index(wanted, at) + 1
            except ValueError:
                problems.append(f"{where}: not in {source} (or out of order): {wanted}")
                break
    return problems


def main():
    root = Path(sys.argv[1])
    problems = [p for doc in sys.argv[2:] for p in check(root, doc)]
    for p in problems:
        print(p)
    if problems:
        return 1
    print(f"quoted samples match their files in {len(sys.argv) - 2} documents")
    return 0


if __name__ == "__main__":
    sys.exit(main())
