#!/usr/bin/env python3
"""Checks the built release archive as a phone owner's PC meets it.
Usage: check_release_archive.py CHECK SCRIPT ARCHIVE GUIDE LICENSE NAME=FILE...
CHECK: members, text, reproducible or refusal."""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

# What would show as markup in Notepad: a table's rule or cells, emphasis,
# code quotes, a Markdown heading.
MARKUP = re.compile(r"^\s*\|.*\||\*\*|`|^#+ ", re.M)


def pack(output, members, guide=None):
    return subprocess.run([sys.executable, "-B", SCRIPT, "--output", output, "--guide",
                           guide or GUIDE, "--license", LICENSE,
                           *(f"{name}={path}" for name, path in members.items())],
                          capture_output=True, text=True)


def check_members(archive):
    sums = release.CHECKSUMS_MEMBER
    # All in one folder named after the archive, as it unpacks.
    assert archive.namelist() == [FOLDER + name for name in sorted(
        [*BUILT, release.SHORTCUT_MEMBER, release.GUIDE_MEMBER, release.LICENSE_MEMBER, sums])]
    for name, path in BUILT.items():
        assert archive.read(FOLDER + name) == Path(path).read_bytes(), f"{name} differs from {path}"
    listed = [f"{hashlib.sha256(archive.read(name)).hexdigest()}  {name.removeprefix(FOLDER)}"
              for name in archive.namelist() if name != FOLDER + sums]
    assert archive.read(FOLDER + sums).decode("ascii").splitlines() == listed, sums


def check_text(archive):
    guide, license_text = (archive.read(FOLDER + name).decode("cp932")
                           for name in (release.GUIDE_MEMBER, release.LICENSE_MEMBER))
    # As written, with CRLF line ends alone.
    for text, source in ((guide, GUIDE), (license_text, LICENSE)):
        assert text == Path(source).read_text("utf-8").replace("\n", "\r\n"), source
    assert not MARKUP.search(guide), MARKUP.search(guide)
    # Notepad without wrapping: 76 columns, a double-byte character taking two.
    wide = [line for line in guide.splitlines() if len(line.encode("cp932")) > 76]
    assert not wide, wide


def check_reproducible(archive):
    """Inputs elsewhere, with other dates, give the built bytes."""
    with tempfile.TemporaryDirectory() as directory:
        copies = {name: Path(directory, name) for name in BUILT}
        for name, copy in copies.items():
            copy.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(BUILT[name], copy)
            os.utime(copy, (946684800, 946684800))  # 2000-01-01
        again = Path(directory, Path(ARCHIVE).name)
        result = pack(again, copies)
        assert result.returncode == 0, result.stderr
        assert again.read_bytes() == Path(ARCHIVE).read_bytes(), "differs"


def check_refusal(archive):
    with tempfile.TemporaryDirectory() as directory:
        guide, output = Path(directory, "guide.txt"), Path(directory, "a.zip")
        guide.write_text("見出し\n\nダッシュ—です\n", "utf-8")  # U+2014 has no cp932 form
        result = pack(output, BUILT, guide)
        assert result.returncode == 1 and "line 3: '—' U+2014" in result.stderr, result
        assert not output.exists(), "an archive was written"


if __name__ == "__main__":
    check, SCRIPT, ARCHIVE, GUIDE, LICENSE, *pairs = sys.argv[1:]
    BUILT = dict(pair.split("=", 1) for pair in pairs)
    FOLDER = Path(ARCHIVE).stem + "/"
    sys.path.insert(0, str(Path(SCRIPT).parent))
    import make_release_archive as release  # noqa: E402
    with zipfile.ZipFile(ARCHIVE) as built_archive:
        globals()[f"check_{check}"](built_archive)
