#!/usr/bin/python3
"""Reads the image's resources with icoutils' wrestool, a reader independent
of the build: it must list the five icons, their group and the version, and
the icon it extracts must be the one drawn in the repository.
Usage: check_image_icon.py WRESTOOL ICOTOOL CHECK_ICON PALETTE IMAGE MAP..."""

import re
import subprocess
import sys
import tempfile


def main(argv):
    if len(argv) < 7:
        sys.exit(__doc__)
    wrestool, icotool, check_icon, palette, image, *maps = argv[1:]
    listing = subprocess.run([wrestool, "-l", image], capture_output=True, text=True,
                             check=True).stdout
    kinds = re.findall(r"\[type=(\w+) ", listing)
    expected = ["icon"] * len(maps) + ["group_icon", "version"]
    if kinds != expected:
        print(f"wrestool lists {kinds}, expected {expected}:\n{listing}", file=sys.stderr)
        return 1
    with tempfile.NamedTemporaryFile(suffix=".ico") as extracted:
        subprocess.run([wrestool, "-x", "--type=14", "--name=1", f"--output={extracted.name}",
                        image], check=True)
        return subprocess.run([sys.executable, check_icon, icotool, palette, extracted.name,
                               *maps]).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv))
