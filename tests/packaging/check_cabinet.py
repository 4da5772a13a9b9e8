#!/usr/bin/env python3
"""Checks one built installer cabinet as a phone's installer would meet it.

Usage: check_cabinet.py CHECK CAB IMAGE PROVIDER CABEXTRACT GCAB
PROVIDER is the handle the build made the cabinet with.
CHECK: listing, image, setup_xml, setup_file, promises or reproducible."""

import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

PACKAGING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging")
sys.path.insert(0, PACKAGING)
from read_setup_file import ce_path, read_setup_file  # noqa: E402
from installer import expand  # noqa: E402  wince_facts/, on read_setup_file's path

MEMBERS = ["KESTRUM.000", "KESTRUM.001", "_setup.xml"]

# What the README and the owners' guide promise, per cabinet where it differs.
PROGRAM = r"\Program Files\Kestrum\Kestrum.exe"
PROMISED = {"installs": {"KESTRUM.001": PROGRAM},
            "shortcuts": {r"\Windows\Start Menu\Programs\Kestrum.lnk": PROGRAM},
            "remove_programs_name": "iddorvil Kestrum"}
ARM = 2577  # the processor type the README promises: ARM's
# The installer refuses a phone older than this, as the loader would refuse
# the image.
LOWEST_OS = {"Kestrum-WM6-OS5.2.cab": "5.2", "Kestrum-WM5-OS5.1.cab": "5.1"}


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
    # cabwiz's shape (docs/cabwiz-output.md): no declaration, one unindented
    # tag a line, CRLF, no line end after the last.
    lines = raw.split(b"\r\n")
    require(lines[0] == b"<wap-provisioningdoc>" and lines[-1] == b"</wap-provisioningdoc>"
            and all(line[:1] == b"<" and b"\n" not in line for line in lines),
            "not in cabwiz's shape")
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


def setup_file_promises(setup):
    h = setup.header
    files = {i: expand(f"{setup.dirs.get(d)}\\{name}") for i, (d, name) in setup.files.items()}
    shortcuts = {expand(f"{ce_path(base)}\\{name}"):
                 files.get(target) if kind == 1 else expand(setup.dirs.get(target, "?"))
                 for _, base, name, kind, target in setup.links}
    return {"installs": {f"KESTRUM.{i:03d}": path for i, path in files.items()},
            "shortcuts": shortcuts, "remove_programs_name": f"{h['provider']} {h['app']}",
            "lowest_os": f"{h['os_min_major']}.{h['os_min_minor']}"}


def translated(element, attribute, install_dir):
    """FileOperation's translation="install" expands the macros; nothing
    else does (learn.microsoft.com/en-us/previous-versions/bb737563)."""
    value = element.get(attribute, "")
    return expand(value, install_dir) if element.get("translation") == "install" else value


def setup_xml_promises(root):
    parm = root.find("characteristic[@type='Install']/parm[@name='InstallDir']")
    install_dir = translated(parm if parm is not None else ET.Element("parm"), "value", None)
    installs, shortcuts = {}, {}
    for folder in root.iterfind("characteristic[@type='FileOperation']/characteristic"):
        for entry in folder.iterfind("characteristic"):
            path = "\\".join(translated(e, "type", install_dir) for e in (folder, entry))
            for source in entry.iterfind("characteristic[@type='Extract']/parm[@name='Source']"):
                installs[source.get("value")] = path
            for source in entry.iterfind("characteristic[@type='Shortcut']/parm[@name='Source']"):
                shortcuts[path] = translated(source, "value", install_dir)
    parms = install_parms(root)
    return {"installs": installs, "shortcuts": shortcuts,
            "remove_programs_name": parms.get("AppName"), "lowest_os": parms.get("OSVersionMin")}


def check_promises(cab, unpacked):
    wanted = dict(PROMISED, lowest_os=LOWEST_OS.get(os.path.basename(cab["cab"])))
    found = {"KESTRUM.000": setup_file_promises(read_setup_file(unpacked("KESTRUM.000"))),
             "_setup.xml": setup_xml_promises(ET.fromstring(unpacked("_setup.xml")))}
    for member, promises in found.items():
        require(promises == wanted, f"{member} promises {promises}, the README {wanted}")
    processor = read_setup_file(unpacked("KESTRUM.000")).header["architecture"]
    require(processor == ARM, f"KESTRUM.000 is for processor {processor}, not ARM ({ARM})")


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
    except (AssertionError, KeyError, ET.ParseError, subprocess.CalledProcessError,
            OSError) as failure:
        print(f"{sys.argv[1]}: {failure}", file=sys.stderr)
        return 1
    print(f"{sys.argv[1]}: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
