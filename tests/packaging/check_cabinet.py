#!/usr/bin/env python3
"""Checks one built installer cabinet as a phone's installer would meet it.

Usage: check_cabinet.py CHECK CAB IMAGE PROVIDER CABEXTRACT GCAB
PROVIDER is the handle the build made the cabinet with.
CHECK: listing, image, setup_xml, setup_file, os_version or reproducible."""

import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

import pefile

PACKAGING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging")
sys.path.insert(0, PACKAGING)
from read_setup_file import read_setup_file  # noqa: E402

MEMBERS = ["KESTRUM.000", "KESTRUM.001", "_setup.xml"]


def require(condition, message):
    if not condition:
        raise AssertionError(message)


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def read(path):
    with open(path, "rb") as stream:
        return stream.read()


def install_parms(root):
    install = root.find("characteristic[@type='Install']")
    return {parm.get("name"): parm.get("value") for parm in install.iter("parm")}


def check_listing(cab, unpacked):
    tested = run(cab["cabextract"], "-t", cab["cab"])
    require(tested.returncode == 0 and "All done, no errors" in tested.stdout, tested.stdout)
    rows = [line for line in run(cab["cabextract"], "-l", cab["cab"]).stdout.splitlines()
            if line.count("|") == 2]
    names = [row.rsplit("|", 1)[1].strip() for row in rows[1:]]
    require(names == MEMBERS, f"members {names}, expected {MEMBERS}")
    header = read(cab["cab"])[:44]
    shape = struct.unpack_from("<H2xH", header, 26) + struct.unpack_from("<H", header, 42)
    require(shape == (1, 0, 0), f"folders, flags, compression {shape}: want one plain folder")


def check_image(cab, unpacked):
    require(unpacked("KESTRUM.001") == read(cab["image"]), "KESTRUM.001 differs from the image")


def check_setup_xml(cab, unpacked):
    raw = unpacked("_setup.xml")
    require(raw.startswith(b'<?xml version="1.0" encoding="utf-8"?>'), "no UTF-8 declaration")
    root = ET.fromstring(raw)
    operations = root.find("characteristic[@type='FileOperation']")
    require(operations is not None, "no FileOperation characteristic")
    sources = [parm.get("value") for parm in
               operations.findall(".//characteristic[@type='Extract']/parm[@name='Source']")]
    require(sources == ["KESTRUM.001"], f"Extract sources {sources}, want the program member")
    parms = install_parms(root)
    require(parms.get("NumFiles") == "1", "NumFiles differs from the extracts")
    shortcuts = len(operations.findall(".//characteristic[@type='Shortcut']"))
    require(parms.get("NumShortcuts") == str(shortcuts), "NumShortcuts differs")


def check_setup_file(cab, unpacked):
    checked = run(sys.executable, "-B", os.path.join(PACKAGING, "read_setup_file.py"),
                  cab["dir"] + "/KESTRUM.000", "--members", *MEMBERS)
    require(checked.returncode == 0, checked.stderr)
    header = read_setup_file(unpacked("KESTRUM.000")).header
    app_name = install_parms(ET.fromstring(unpacked("_setup.xml"))).get("AppName")
    require(app_name == f"{header['provider']} {header['app']}",
            f"_setup.xml AppName {app_name!r} disagrees with the setup file's provider and name")


def check_os_version(cab, unpacked):
    # The installer refuses a phone older than these, the loader one older than the image's.
    header = pefile.PE(data=read(cab["image"]), fast_load=True).OPTIONAL_HEADER
    image = f"{header.MajorSubsystemVersion}.{header.MinorSubsystemVersion}"
    setup = read_setup_file(unpacked("KESTRUM.000")).header
    versions = {"KESTRUM.000": f"{setup['os_min_major']}.{setup['os_min_minor']}",
                "_setup.xml": install_parms(ET.fromstring(unpacked("_setup.xml")))["OSVersionMin"]}
    require(set(versions.values()) == {image}, f"lowest OS versions {versions}, image's {image}")


def make(cab, output, zone):
    script = os.path.join(PACKAGING, "make_cabinet.py")
    return run(sys.executable, "-B", script, "--gcab", cab["gcab"], "--image", cab["image"],
               "--provider", cab["provider"], "--output", output, env=dict(os.environ, TZ=zone))


def check_reproducible(cab, unpacked):
    built = read(cab["cab"])
    # Another time zone and other paths must not change a byte.
    for zone in ("UTC", "Asia/Tokyo"):
        output = f"{cab['dir']}/{zone}/again.cab"
        made = make(cab, output, zone)
        require(made.returncode == 0 and read(output) == built, f"rebuild under TZ={zone} differs")


def main():
    check = globals().get(f"check_{sys.argv[1]}") if len(sys.argv) == 7 else None
    if check is None:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        with tempfile.TemporaryDirectory() as directory:
            fields = ("cab", "image", "provider", "cabextract", "gcab")
            cab = dict(zip(fields, sys.argv[2:]), dir=directory)
            subprocess.run([cab["cabextract"], "-q", "-d", directory, cab["cab"]], check=True)
            check(cab, lambda name: read(os.path.join(directory, name)))
    except (AssertionError, ET.ParseError, subprocess.CalledProcessError, OSError) as failure:
        print(f"{sys.argv[1]}: {failure}", file=sys.stderr)
        return 1
    print(f"{sys.argv[1]}: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
