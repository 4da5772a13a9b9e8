#!/usr/bin/python3
"""The one reader of the COREDLL table (coredll_exports.tsv): the build's
generated lists and the image tests take its rows from here, so that they
cannot disagree on what a valid table is.
Usage: coredll_table.py TABLE OUTPUT_DIR writes coredll_imports.inc and
coredll_exports.inc into OUTPUT_DIR, or names the table's fault and fails."""

import os
import re
import sys

# Names become assembler and C++ symbols, so only identifiers pass.
ROW = re.compile(rb"([A-Za-z_][A-Za-z0-9_]*)\t([0-9]+)")
ORDINAL_MAX = 0xFFFF
BANNER = "// Generated from platform/wince/coredll_exports.tsv; edit that table.\n"


class TableError(ValueError):
    pass


def read_table(path):
    """The rows as (name, ordinal), in the table's order."""
    with open(path, "rb") as table:
        lines = table.read().split(b"\n")
    rows, names = [], set()
    for number, line in enumerate(lines, 1):
        if not line or line.startswith(b"#"):
            continue
        match = ROW.fullmatch(line)
        if not match or int(match[2]) > ORDINAL_MAX:
            text = line.decode("utf-8", "backslashreplace")
            raise TableError(f"{path}:{number}: expected 'Name<TAB>ordinal', got {text!r}")
        name = match[1].decode("ascii")
        if name in names:
            raise TableError(f"{path}:{number}: {name} is listed twice")
        names.add(name)
        rows.append((name, int(match[2])))
    if not rows:
        raise TableError(f"{path}: no exports listed")
    return rows


def generated_lists(rows):
    """The import thunks' list and the runner's COREDLL list, by file name."""
    return {
        "coredll_imports.inc": BANNER + "".join(f"  coredll_import {name}\n" for name, _ in rows),
        "coredll_exports.inc": BANNER + "".join(
            f"KESTRUM_COREDLL_EXPORT({name}, {ordinal})\n" for name, ordinal in rows),
    }


def write_if_changed(path, text):
    # A list keeps its date when its text stays, so nothing including it rebuilds.
    data = text.encode("ascii")
    try:
        with open(path, "rb") as old:
            if old.read() == data:
                return
    except FileNotFoundError:
        pass
    with open(path + ".new", "wb") as new:
        new.write(data)
    os.replace(path + ".new", path)


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        lists = generated_lists(read_table(argv[1]))
        os.makedirs(argv[2], exist_ok=True)
        for name, text in lists.items():
            write_if_changed(os.path.join(argv[2], name), text)
    except (OSError, TableError) as error:
        print(error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
