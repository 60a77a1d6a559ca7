#!/usr/bin/env python3
"""Renders each manual page as man shows it in an 80-column terminal and
fails on what a reader would see as broken: a troff warning, a line wider
than 80 columns (a Japanese character takes two), or a run of six or more
blanks inside running text (justification spreading a line). The blanks
between a tag and its paragraph, and in the header and footer lines, are
man's layout, not a fault.

check-man-pages.py PAGE...   exits 77 (skipped) when man is not installed.
"""
import os
import re
import shutil
import subprocess
import sys
import unicodedata

WIDTH = 80
TAG_COLUMN = 14  # where the paragraph of a tagged paragraph begins


def columns(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def check(page):
    env = dict(os.environ, MANWIDTH=str(WIDTH), LANG="C.UTF-8", LC_ALL="C.UTF-8")
    env.pop("MANPAGER", None)
    env.pop("PAGER", None)
    run = subprocess.run(["man", "--warnings", "-l", page], capture_output=True, text=True,
                         env=env, check=False)
    faults = [f"troff: {line}" for line in run.stderr.splitlines() if line.strip()]
    if run.returncode != 0:
        faults.append(f"man exited with {run.returncode}")
    lines = [re.sub(r".\x08", "", line) for line in run.stdout.splitlines()]
    text_lines = [line for line in lines if line.strip()]
    for number, line in enumerate(lines, 1):
        if columns(line) > WIDTH:
            faults.append(f"line {number} is {columns(line)} columns wide: {line}")
        if text_lines and line in (text_lines[0], text_lines[-1]):
            continue
        for run_match in re.finditer(r"(?<=\S) {6,}(?=\S)", line):
            if columns(line[:run_match.end()]) != TAG_COLUMN:
                faults.append(f"line {number} has a run of blanks: {line}")
    return faults


def main(pages):
    if shutil.which("man") is None:
        print("man is not installed: skipped")
        return 77
    failed = False
    for page in pages:
        faults = check(page)
        print(f"{page}: {len(faults)} faults")
        for fault in faults:
            print("  " + fault)
        failed = failed or bool(faults)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
