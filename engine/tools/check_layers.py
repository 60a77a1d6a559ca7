#!/usr/bin/env python3
"""Checks that the engine's stage folders include only the stages before
them, and that its public headers include no stage folder.

Usage: check_layers.py ENGINE_DIR [--list]

The stages, lowest first, are listed in STAGES. An include is resolved as
the compiler does for quoted includes (beside the including file, then from
the engine folder); one that names neither is outside the engine. Exits 1
and names each include that runs up a stage. With --list, prints what each
folder includes.
"""
import collections
import os
import re
import sys

STAGES = ["progress", "card", "read", "report", "write", "rules", "lines", "driver"]
PUBLIC = "(public)"
INCLUDE = re.compile(r'\s*#\s*include\s+"([^"]+)"')


def folder_of(relative):
    return relative.split("/")[0] if "/" in relative else PUBLIC


def main(argv):
    root = os.path.abspath(argv[1])
    listing = "--list" in argv[2:]
    includes = collections.defaultdict(set)
    wrong = []
    for directory, _, files in os.walk(root):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(directory, name)
            folder = folder_of(os.path.relpath(path, root))
            if folder not in STAGES and folder != PUBLIC:
                continue  # build tools
            with open(path, encoding="utf-8") as source:
                for line in source:
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    included = match.group(1)
                    beside = os.path.join(directory, included)
                    if os.path.exists(beside):
                        target = os.path.relpath(beside, root)
                    elif os.path.exists(os.path.join(root, included)):
                        target = included
                    else:
                        continue  # another library's header
                    includes[folder].add(target)
                    to = folder_of(target)
                    if to == folder:
                        continue
                    runs_up = (folder == PUBLIC) or (
                        to != PUBLIC and STAGES.index(to) > STAGES.index(folder))
                    if runs_up:
                        wrong.append(f"{os.path.relpath(path, root)} includes {included}")
    if listing:
        for folder in [PUBLIC] + STAGES:
            print(f"{folder}: {', '.join(sorted(includes[folder]))}")
    for line in wrong:
        print(f"runs up a stage: {line}")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
