#!/usr/bin/env python3
"""Builds one installer cabinet for one Kestrum.exe image.

Usage: make_cabinet.py --gcab PATH --image Kestrum.exe --provider HANDLE
                       --output X.cab

The cabinet demands as lowest OS version the image's subsystem version, the
OS the phone's loader requires of the image. The members are
staged under their 8.3 names with one fixed date and packed, uncompressed, by
gcab; the output appears only when all of that succeeded."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

import pefile

import install_layout as layout
from setup_file import setup_file
from setup_xml import setup_xml


def subsystem_version(image):
    pe = pefile.PE(image, fast_load=True)
    try:
        header = pe.OPTIONAL_HEADER
        return header.MajorSubsystemVersion, header.MinorSubsystemVersion
    finally:
        pe.close()


def stage(directory, image, os_version_min, provider):
    with open(image, "rb") as program:
        contents = {
            layout.SETUP_MEMBER: setup_file(os_version_min, provider),
            layout.PROGRAM_MEMBER: program.read(),
            layout.SETUP_XML_MEMBER: setup_xml(os_version_min, provider),
        }
    paths = []
    for member in layout.MEMBERS:
        path = os.path.join(directory, member)
        with open(path, "wb") as stream:
            stream.write(contents[member])
        # gcab dates each member from its file's modification time (as UTC).
        os.utime(path, (layout.MEMBER_TIME, layout.MEMBER_TIME))
        paths.append(path)
    return paths


def make_cabinet(gcab, image, os_version_min, provider, output):
    output_dir = os.path.dirname(os.path.abspath(output))
    os.makedirs(output_dir, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=output_dir, prefix=".cabinet-") as directory:
        members = stage(directory, image, os_version_min, provider)
        packed = os.path.join(directory, "packed.cab")
        # -n stores bare member names; without -z nothing is compressed.
        subprocess.run([gcab, "-c", "-n", packed, *members], check=True)
        os.replace(packed, output)


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--gcab", required=True, help="absolute path of Debian's gcab")
    parser.add_argument("--image", required=True)
    parser.add_argument("--provider", required=True, help="the maker's handle, KESTRUM_PROVIDER")
    parser.add_argument("--output", required=True)
    return parser.parse_args()


def main():
    args = parse_arguments()
    gcab = shutil.which(args.gcab) if os.path.isabs(args.gcab) else None
    if gcab is None:
        print(f"gcab {args.gcab!r} is not an executable given by absolute path", file=sys.stderr)
        return 2
    try:
        layout.installer_provider(args.provider)  # refused before anything is written
        os_version_min = layout.checked_os_version(subsystem_version(args.image))
    except (ValueError, OSError, pefile.PEFormatError) as error:
        print(f"make_cabinet: {error}", file=sys.stderr)
        return 2
    try:
        make_cabinet(gcab, args.image, os_version_min, args.provider, args.output)
    except (OSError, subprocess.CalledProcessError) as error:
        print(f"make_cabinet: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
