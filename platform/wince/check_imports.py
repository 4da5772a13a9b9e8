#!/usr/bin/python3
"""Fails unless every import of a device image is a COREDLL.dll export listed
in the given table (lines "Name<TAB>ordinal", '#' comments). The phone's
loader binds all imports when it creates the process; one that COREDLL lacks
stops the program before it runs, so such an image must never be written.
Usage: check_imports.py coredll_exports.tsv Kestrum.exe"""

import sys

import pefile

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
import coredll_table  # noqa: E402


def refusals(image, names, ordinals):
    pe = pefile.PE(image, fast_load=True)
    index = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]
    pe.parse_data_directories(directories=[index])
    # pefile leaves out a directory it cannot read rather than failing.
    directories = pe.OPTIONAL_HEADER.DATA_DIRECTORY
    declared = len(directories) > index and directories[index].Size != 0
    if declared and not hasattr(pe, "DIRECTORY_ENTRY_IMPORT"):
        yield "its import directory cannot be read"
        return
    for library in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        dll = library.dll.decode("ascii", "replace")
        if dll.lower() not in ("coredll.dll", "coredll"):
            yield f"imports from {dll}: only COREDLL.dll is bound when the process starts"
            continue
        for imported in library.imports:
            if imported.import_by_ordinal:
                if imported.ordinal not in ordinals:
                    yield f"imports COREDLL.dll ordinal {imported.ordinal}, which is not in the table"
            elif (name := (imported.name or b"?").decode("ascii", "replace")) not in names:
                yield f"imports COREDLL.dll!{name}, which is not in the table"


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    try:
        rows = coredll_table.read_table(argv[1])
        names, ordinals = {name for name, _ in rows}, {ordinal for _, ordinal in rows}
        problems = list(refusals(argv[2], names, ordinals))
    except (OSError, ValueError, pefile.PEFormatError) as error:
        problems = [str(error)]
    for problem in problems:
        print(f"{argv[2]}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
