#!/usr/bin/env python3
"""Checks the built release archive as a phone owner's PC would meet it.

Usage: check_release_archive.py CHECK SCRIPT ARCHIVE GUIDE LICENSE NAME=FILE...
CHECK: members, text, checksums, reproducible or refusals."""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

# A line of the guide that has bold markup in the Markdown.
KNOWN_LINE = "OS のバージョンは スタート > 設定 >「システム」タブ >「バージョン情報」 で確かめられます。"


def require(condition, message):
    if not condition:
        raise AssertionError(message)


def read(path):
    with open(path, "rb") as stream:
        return stream.read()


def check_members(args, archive):
    generated = [release.GUIDE_MEMBER, release.LICENSE_MEMBER, release.CHECKSUMS_MEMBER]
    expected = sorted(list(args["built"]) + generated)
    require(archive.namelist() == expected, f"members {archive.namelist()}, expected {expected}")
    for name, path in args["built"].items():
        require(archive.read(name) == read(path), f"{name} differs from {path}")


def check_text(args, archive):
    for member in (release.GUIDE_MEMBER, release.LICENSE_MEMBER):
        raw = archive.read(member)
        require(b"\r" not in raw.replace(b"\r\n", b"") and b"\n" not in raw.replace(b"\r\n", b""),
                f"{member}: a line end other than CRLF")
    lines = archive.read(release.GUIDE_MEMBER).decode("cp932").split("\r\n")
    require(KNOWN_LINE in lines, f"{release.GUIDE_MEMBER} lacks {KNOWN_LINE!r}")
    license_text = archive.read(release.LICENSE_MEMBER).decode("cp932").replace("\r\n", "\n")
    require(license_text == read(args["license"]).decode("utf-8"), "LICENSE.txt is not LICENSE")


def check_checksums(args, archive):
    rows = [line.split("  ", 1)
            for line in archive.read(release.CHECKSUMS_MEMBER).decode("ascii").splitlines()]
    others = sorted(set(archive.namelist()) - {release.CHECKSUMS_MEMBER})
    require([name for _, name in rows] == others, f"{rows} do not list {others} in order")
    for digest, name in rows:
        require(hashlib.sha256(archive.read(name)).hexdigest() == digest, f"{name}: wrong sum")


def pack(args, output, members, guide=None):
    return subprocess.run([sys.executable, "-B", args["script"], "--output", output,
                           "--guide", guide or args["guide"], "--license", args["license"],
                           *(f"{name}={path}" for name, path in members.items())],
                          capture_output=True, text=True)


def check_reproducible(args, archive):
    """Copies of the inputs elsewhere, then with other times and modes, give the same bytes."""
    with tempfile.TemporaryDirectory() as directory:
        copies = {name: os.path.join(directory, "in", name) for name in args["built"]}
        for name, copy in copies.items():
            os.makedirs(os.path.dirname(copy), exist_ok=True)
            shutil.copyfile(args["built"][name], copy)
        for run in range(2):
            output = os.path.join(directory, f"{run}.zip")
            result = pack(args, output, copies)
            require(result.returncode == 0, result.stderr)
            require(read(output) == read(args["archive"]), f"run {run} differs from the build")
            for copy in copies.values():
                os.chmod(copy, 0o755)
                os.utime(copy, (86400, 86400))


def check_refusals(args, archive):
    with tempfile.TemporaryDirectory() as directory:
        guide = os.path.join(directory, "guide.md")
        with open(guide, "w", encoding="utf-8") as stream:
            stream.write("# 見出し\n\nダッシュ—です\n")  # U+2014 has no cp932 form
        image = next(iter(args["built"].values()))
        cases = {"U+2014": (args["built"], guide),
                 "plain ASCII": ({"os5.2/ケストラム.exe": image}, None),
                 "No such file": ({"missing.exe": os.path.join(directory, "none")}, None),
                 "given twice": ({"SHA256SUMS": image}, None)}
        for message, (members, guide) in cases.items():
            output = os.path.join(directory, "out.zip")
            result = pack(args, output, members, guide)
            require(result.returncode == 1 and message in result.stderr, f"{message}: {result}")
            require(not os.path.exists(output), f"{message}: an archive was written")


if __name__ == "__main__":
    check, script, archive_path, guide, license_path, *pairs = sys.argv[1:]
    sys.path.insert(0, os.path.dirname(script))
    import make_release_archive as release  # noqa: E402
    arguments = {"script": script, "archive": archive_path, "guide": guide,
                 "license": license_path, "built": dict(p.split("=", 1) for p in pairs)}
    with zipfile.ZipFile(archive_path) as built_archive:
        globals()[f"check_{check}"](arguments, built_archive)
