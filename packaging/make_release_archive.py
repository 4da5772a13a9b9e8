#!/usr/bin/env python3
"""Packs the download for phone owners: the cabinets and images as built,
the leave-sound shortcut, the Japanese guide and the licence as text Notepad
shows, and checksums, all in one folder named after the archive.

Usage: make_release_archive.py --output Kestrum-X.zip --guide readme.txt
                               --license LICENSE NAME=FILE...

Two runs over the same inputs give the same bytes. The output appears only
when everything succeeded; a character the guide or licence cannot carry in
Shift_JIS stops the run, named."""

import argparse
import hashlib
import os
import re
import sys
import unicodedata
import zipfile

import install_layout as layout

GUIDE_MEMBER = "readme-ja.txt"
LICENSE_MEMBER = "LICENSE.txt"
CHECKSUMS_MEMBER = "SHA256SUMS"
SHORTCUT_MEMBER = "Kestrum-sound.lnk"
# The sound the shipped shortcut plays, the guide's example.
LEAVE_SOUND = "\\My Documents\\leave.wav"
# Notepad on a Japanese Windows reads text without a BOM that is not valid
# UTF-8 in the ANSI code page, 932, as every older Windows tool does; the
# cp932 codec is Windows' own table, not plain Shift_JIS.
TEXT_CODEC = "cp932"
# Zip dates are local times without a zone; the earliest one they can hold.
MEMBER_DATE = (1980, 1, 1, 0, 0, 0)
DEFLATE_LEVEL = 9
FILE_ATTRIBUTE_ARCHIVE = 0x20

class ArchiveError(Exception):
    pass


def notepad_bytes(text, origin):
    """CRLF lines in cp932; strict, so nothing turns into '?' unseen."""
    text = text.replace("\r\n", "\n").replace("\r", "\n")
    if not text.endswith("\n"):
        text += "\n"
    problems = []
    for number, line in enumerate(text.split("\n"), 1):
        for char in line:
            try:
                char.encode(TEXT_CODEC)
            except UnicodeEncodeError:
                problems.append(f"line {number}: {char!r} U+{ord(char):04X} "
                                f"{unicodedata.name(char, 'unnamed')}")
    if problems:
        raise ArchiveError(f"{origin}: no {TEXT_CODEC} form for " + "; ".join(problems))
    return text.replace("\n", "\r\n").encode(TEXT_CODEC)


def leave_shortcut():
    """A shortcut as the phone's shell reads one: the count of the characters
    after '#', '#', then the quoted program and its argument, the sound. The
    phone reads it in its own code page, so it must be ASCII."""
    target = f'"{layout.installed_program_path()}" "{LEAVE_SOUND}"'
    return f"{len(target)}#{target}".encode("ascii")


def checksums(members):
    # CRLF, for the Notepad of older Windows; sha256sum -c reads it too.
    lines = [f"{hashlib.sha256(data).hexdigest()}  {name}\r\n"
             for name, data in sorted(members.items())]
    return "".join(lines).encode("ascii")


# Japanese Windows reads zip names as cp932 whatever their UTF-8 flag, and
# refuses on extraction what a Windows file name cannot hold.
SAFE_NAME = re.compile(r"[A-Za-z0-9_-][A-Za-z0-9._-]*(/[A-Za-z0-9_-][A-Za-z0-9._-]*)*")


def read(path):
    with open(path, "rb") as stream:
        return stream.read()


def read_text(path):
    try:
        return read(path).decode("utf-8")
    except UnicodeDecodeError as error:
        raise ArchiveError(f"{path}: not UTF-8 ({error.reason} at byte {error.start})") from None


def collect(args):
    members = {}
    for pair in args.members:
        name, equals, path = pair.partition("=")
        if not equals or not SAFE_NAME.fullmatch(name):
            raise ArchiveError(f"{pair!r} is not NAME=FILE with a plain ASCII relative NAME")
        if name in members or name in (SHORTCUT_MEMBER, GUIDE_MEMBER, LICENSE_MEMBER,
                                       CHECKSUMS_MEMBER):
            raise ArchiveError(f"member {name} is given twice")
        members[name] = read(path)
    members[SHORTCUT_MEMBER] = leave_shortcut()
    members[GUIDE_MEMBER] = notepad_bytes(read_text(args.guide), args.guide)
    members[LICENSE_MEMBER] = notepad_bytes(read_text(args.license), args.license)
    members[CHECKSUMS_MEMBER] = checksums(members)
    return members


def archive_folder(output):
    """The one folder the archive unpacks into, named after it."""
    folder, dot_zip = os.path.splitext(os.path.basename(output))
    if dot_zip != ".zip" or not SAFE_NAME.fullmatch(folder):
        raise ArchiveError(f"{output} is not a plain ASCII NAME.zip")
    return folder


def write_archive(output, members):
    folder = archive_folder(output)
    partial = output + ".partial"
    try:
        with zipfile.ZipFile(partial, "w") as archive:
            for name in sorted(members):
                info = zipfile.ZipInfo(f"{folder}/{name}", MEMBER_DATE)
                # As a Windows tool writes it: no Unix permissions to vary,
                # only the archive attribute, set on every stored file.
                info.create_system = 0
                info.external_attr = FILE_ATTRIBUTE_ARCHIVE
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, members[name], compresslevel=DEFLATE_LEVEL)
        os.replace(partial, output)
    except BaseException:
        if os.path.exists(partial):
            os.remove(partial)
        raise


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", required=True)
    parser.add_argument("--guide", required=True, help="the guide, plain text in UTF-8")
    parser.add_argument("--license", required=True)
    parser.add_argument("members", nargs="+", metavar="NAME=FILE")
    args = parser.parse_args()
    try:
        write_archive(args.output, collect(args))
    except (ArchiveError, OSError) as error:
        print(f"make_release_archive: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
