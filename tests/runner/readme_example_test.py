#!/usr/bin/python3
"""Runs the README's runner example and compares what it prints with what
the README shows, so that the example cannot go stale. "…" in the README
stands for the lines between.
Usage: readme_example_test.py README BUILD_DIR"""

import shlex
import subprocess
import sys

HEADING = "## Running the device image without a phone"
ELISION = "…"


def example(readme_text):
    """The example's command and its shown output: the second and third
    indented blocks after the heading (the first builds what it runs)."""
    section = readme_text.split(HEADING, 1)[1]
    blocks, current = [], []
    for line in section.splitlines():
        if line.startswith("    "):
            current.append(line[4:])
        elif current:
            blocks.append(current)
            current = []
        if len(blocks) == 3:
            break
    _, command, shown = blocks
    return shlex.split(" ".join(line.rstrip("\\") for line in command)), shown


def matches(shown, printed):
    """shown, with its elision, covers printed from start to end."""
    if ELISION not in shown:
        return shown == printed
    cut = shown.index(ELISION)
    head, tail = shown[:cut], shown[cut + 1:]
    return (len(head) + len(tail) <= len(printed) and printed[:len(head)] == head and
            printed[len(printed) - len(tail):] == tail)


def main(readme, build):
    with open(readme, encoding="utf-8") as text:
        command, shown = example(text.read())
    command = [word.replace("build/host/", build.rstrip("/") + "/", 1) for word in command]
    run = subprocess.run(command, capture_output=True, text=True)
    printed = run.stderr.splitlines() + run.stdout.splitlines()
    if run.returncode != 0 or not matches(shown, printed):
        print("the README shows:", *shown, "the example printed:", *printed, sep="\n",
              file=sys.stderr)
        return 1
    print("the README's runner example prints what the README shows")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
