#!/usr/bin/env python3
"""Reads a Windows CE installer's binary setup file (the cabinet member
*.000) as cabextract's wince_cab_format.html describes it and cabwiz writes
it (docs/cabwiz-output.md), and lists every fault that would make an
installer misread it. Shares nothing with the project's writer but the
platform's facts, so that a fault in the writer cannot hide here; what a
cabinet promises (its processor, names and folders) is for its own checks.

Usage: read_setup_file.py FILE [--members NAME ...]
Prints what the file installs; exit 0 when sound, 1 with the faults on
stderr, 2 when FILE cannot be read. With --members (the cabinet's member
names), each file entry must have its member and each member an entry."""

import argparse
import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wince_facts"))
import installer  # noqa: E402

HEADER = struct.Struct("<4s11I6H6I8H")
HEADER_FIELDS = """signature unknown1 length unknown2 unknown3 architecture
os_min_major os_min_minor os_max_major os_max_minor build_min build_max
strings_count dirs_count files_count hives_count keys_count links_count
strings_at dirs_at files_at hives_at keys_at links_at
app_at app_length provider_at provider_length unsupported_at unsupported_length
unknown4 unknown5""".split()
KNOWN_FILE_FLAGS = 0x80000000 | 0x40000000 | 0x20000000 | 0x10000000 | 0x400 | 0x10 | 0x2 | 0x1


class Truncated(Exception):
    pass


class Reader:
    """Bounded little-endian reads; any read past the end raises Truncated."""

    def __init__(self, data, offset):
        self.data, self.offset = data, offset

    def take(self, size):
        if self.offset + size > len(self.data):
            raise Truncated(f"runs past the end of the file at byte {self.offset}")
        chunk = self.data[self.offset:self.offset + size]
        self.offset += size
        return chunk

    def words(self, count):
        return list(struct.unpack(f"<{count}H", self.take(2 * count)))

    def dword(self):
        return struct.unpack("<I", self.take(4))[0]


class SetupFile:
    def __init__(self, data, members):
        self.data, self.members, self.faults = data, members, []
        self.header, self.strings, self.dirs, self.files = {}, {}, {}, {}
        self.hives, self.links, self.regions = {}, [], []

    def fault(self, text):
        self.faults.append(text)

    def claim(self, what, start, end):
        """Records the bytes a part occupies; parts must lie inside the file
        and after the header, and no two may overlap. An empty part (a table
        with no entries) occupies nothing, wherever its offset points."""
        if start == end:
            return
        if start < HEADER.size or end > len(self.data):
            self.fault(f"{what} at {start}..{end} lies outside {HEADER.size}..{len(self.data)}")
        for other, (s, e) in self.regions:
            if start < e and s < end:
                self.fault(f"{what} overlaps {other}")
        self.regions.append((what, (start, end)))


def text(setup, what, raw):
    """A null-terminated ASCII string in its declared length, which may
    hold more 0s after it (cabwiz pads to a multiple of 4 bytes)."""
    body, zero, padding = raw.partition(b"\0")
    if not zero:
        setup.fault(f"{what} does not end with its 0")
    elif padding.strip(b"\0"):
        setup.fault(f"{what} holds text after its 0")
    if any(c < 0x20 or c > 0x7E for c in body):
        setup.fault(f"{what} is not printable ASCII")
    return body.decode("latin-1")


def read_header(setup):
    if len(setup.data) < HEADER.size:
        setup.fault(f"file of {len(setup.data)} bytes is shorter than the header")
        return False
    h = setup.header = dict(zip(HEADER_FIELDS, HEADER.unpack_from(setup.data)))
    if h["signature"] != b"MSCE":
        setup.fault("signature is not MSCE")
        return False
    if h["length"] != len(setup.data):
        setup.fault(f"length field {h['length']} differs from the file's {len(setup.data)} bytes")
    # The words of unknown purpose are not judged, nor the processor type:
    # any value is one an installer compares with its own (wince_facts/installer.py).
    low, high = (h["os_min_major"], h["os_min_minor"]), (h["os_max_major"], h["os_max_minor"])
    if high != (0, 0) and low > high:
        setup.fault(f"lowest OS version {low} is above the highest {high}")
    if h["build_max"] and h["build_min"] > h["build_max"]:
        setup.fault("lowest build number is above the highest")
    return True


def read_header_strings(setup):
    h = setup.header
    for name in ("app", "provider", "unsupported"):
        at, length = h[f"{name}_at"], h[f"{name}_length"]
        if name == "unsupported" and length == 0:
            continue
        if length == 0:
            setup.fault(f"{name} string is empty")
            continue
        setup.claim(f"{name} string", at, at + length)
        raw = setup.data[at:at + length]
        if name == "unsupported":
            if len(raw) < length or not (raw == b"\0" or raw.endswith(b"\0\0")):
                setup.fault("unsupported-platforms list does not end with an empty string")
        elif len(raw) == length:
            h[name] = text(setup, f"{name} string", raw)
            if not h[name]:
                setup.fault(f"{name} string holds no name")


def read_table(setup, name, read_entry):
    """Reads the table's entries in turn; the table claims the bytes read."""
    h = setup.header
    start, count = h[f"{name}_at"], h[f"{name}_count"]
    reader = Reader(setup.data, start)
    try:
        for index in range(count):
            read_entry(setup, reader, f"{name} entry {index}")
    except Truncated as error:
        setup.fault(f"{name} table {error}")
    setup.claim(f"{name} table", start, reader.offset)


def new_id(setup, what, seen, entry_id):
    if entry_id == 0:
        setup.fault(f"{what} has id 0")
    elif entry_id in seen:
        setup.fault(f"{what} repeats id {entry_id}")


def string_ids(setup, what, ids, terminated):
    """A path of string ids: ending with one 0 where the format wants it,
    never holding a 0 anywhere else, every id defined."""
    if terminated:
        if not ids or ids[-1] != 0:
            setup.fault(f"{what} does not end with 0")
        else:
            ids = ids[:-1]
    elif ids and ids[-1] == 0:
        setup.fault(f"{what} has a 0 after its string ids")
        ids = ids[:-1]
    if not ids:
        setup.fault(f"{what} names nothing")
    for string_id in ids:
        if string_id == 0:
            setup.fault(f"{what} holds string id 0")
        elif string_id not in setup.strings:
            setup.fault(f"{what} uses undefined string id {string_id}")
    return "\\".join(setup.strings.get(i, "?") for i in ids if i)


def id_path(setup, reader, what, length, terminated):
    if length % 2:
        setup.fault(f"{what} has an odd length {length}")
    return string_ids(setup, what, reader.words(length // 2), terminated)


def read_string(setup, reader, what):
    string_id, length = reader.words(2)
    new_id(setup, what, setup.strings, string_id)
    setup.strings[string_id] = text(setup, f"string {string_id}", reader.take(length))


def check_dir_members(setup, what, ids):
    """Each member one folder or several (cabwiz writes a whole path as one
    string); a %CEn% macro only as the path's first folder, the one place an
    installer expands it."""
    path = "\\".join(setup.strings.get(i, "") for i in ids if i)
    for folder in path.split("\\")[1:]:
        if re.fullmatch(r"%CE\d+%", folder):
            setup.fault(f"{what} has {folder} after its first folder")


def read_dir(setup, reader, what):
    dir_id, length = reader.words(2)
    new_id(setup, what, setup.dirs, dir_id)
    if length % 2:
        setup.fault(f"directory {dir_id} has an odd length {length}")
    ids = reader.words(length // 2)
    check_dir_members(setup, f"directory {dir_id}", ids)
    setup.dirs[dir_id] = string_ids(setup, f"directory {dir_id}", ids, True)


def read_file(setup, reader, what):
    file_id, dir_id, _ = reader.words(3)  # the third word's purpose is unknown
    flags = reader.dword()
    (length,) = reader.words(1)
    name = text(setup, f"file {file_id} name", reader.take(length))
    new_id(setup, what, setup.files, file_id)
    if not 0 < file_id < 999:
        setup.fault(f"file id {file_id} is not a member number 1..998")
    if dir_id not in setup.dirs:
        setup.fault(f"file {file_id} goes to undefined directory {dir_id}")
    if flags & ~KNOWN_FILE_FLAGS or (flags & 0x60000000) == 0x60000000 or (flags & 0x410) == 0x410:
        setup.fault(f"file {file_id} has unknown or contradicting flags {flags:#010x}")
    if installer.NOT_IN_FILE_NAMES & set(name) or not name:
        setup.fault(f"file {file_id} name {name!r} is not a plain file name")
    setup.files[file_id] = (dir_id, name)


def read_hive(setup, reader, what):
    hive_id, root, _, length = reader.words(4)
    new_id(setup, what, setup.hives, hive_id)
    if not 1 <= root <= 4:
        setup.fault(f"hive {hive_id} has root {root}, not 1..4")
    setup.hives[hive_id] = id_path(setup, reader, f"hive {hive_id}", length, True)


def read_key(setup, reader, what):
    _, hive_id, _ = reader.words(3)
    reader.dword()
    (length,) = reader.words(1)
    data = reader.take(length)
    if hive_id not in setup.hives:
        setup.fault(f"{what} is in undefined hive {hive_id}")
    if 0 not in data:
        setup.fault(f"{what} has no value name")


def read_link(setup, reader, what):
    link_id, _, base, target, kind, length = reader.words(6)
    if any(link_id == seen[0] for seen in setup.links):
        setup.fault(f"{what} repeats id {link_id}")
    name = id_path(setup, reader, f"link {link_id} name", length, False)
    if base > installer.CE_FOLDER_MAX:
        setup.fault(f"link {link_id} base {base} is above %CE{installer.CE_FOLDER_MAX}%")
    if kind == 1 and target not in setup.files:
        setup.fault(f"link {link_id} points to undefined file {target}")
    elif kind == 0 and target != 0 and target not in setup.dirs:
        setup.fault(f"link {link_id} points to undefined directory {target}")
    elif kind > 1:
        setup.fault(f"link {link_id} has type {kind}, neither 0 (directory) nor 1 (file)")
    setup.links.append((link_id, base, name, kind, target))


def check_members(setup):
    numbered = {}
    for member in setup.members:
        stem, dot, number = member.rpartition(".")
        if dot and stem and len(number) == 3 and number.isdigit():
            numbered.setdefault(int(number), []).append(member)
    if 0 not in numbered:
        setup.fault("no member holds the setup file (*.000)")
    for file_id in setup.files:
        count = len(numbered.get(file_id, []))
        if count != 1:
            setup.fault(f"file {file_id} has {count} members *.{file_id:03d}")
    for number, names in numbered.items():
        if number not in setup.files and number not in (0, 999):
            setup.fault(f"member {names[0]} is installed by no file entry")


def read_setup_file(data, members=None):
    """Returns the decoded SetupFile; its faults list is empty when sound."""
    setup = SetupFile(data, members)
    if read_header(setup):
        read_header_strings(setup)
        for name, entry in (("strings", read_string), ("dirs", read_dir), ("files", read_file),
                            ("hives", read_hive), ("keys", read_key), ("links", read_link)):
            read_table(setup, name, entry)
        if members is not None:
            check_members(setup)
    return setup


def ce_path(number):
    return "%InstallDir%" if number == 0 else f"%CE{number}%"


def describe(setup):
    h = setup.header
    lines = [f"app {h.get('app')!r} provider {h.get('provider')!r} arch {h['architecture']}",
             f"os {h['os_min_major']}.{h['os_min_minor']}..{h['os_max_major']}.{h['os_max_minor']}"
             f" build {h['build_min']}..{h['build_max']:#x}"]
    lines += [f"dir {i}: {path}" for i, path in setup.dirs.items()]
    lines += [f"hive {i}: {path}" for i, path in setup.hives.items()]
    lines += [f"file {i}: {setup.dirs.get(d, '?')}\\{name}" for i, (d, name) in setup.files.items()]
    for link_id, base, name, kind, target in setup.links:
        goal = setup.files.get(target, (0, "?"))[1] if kind == 1 else setup.dirs.get(target, "?")
        lines.append(f"link {link_id}: {ce_path(base)}\\{name} -> {goal}")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file")
    parser.add_argument("--members", nargs="*")
    args = parser.parse_args()
    try:
        with open(args.file, "rb") as stream:
            data = stream.read()
    except OSError as error:
        print(f"{args.file}: {error.strerror}", file=sys.stderr)
        return 2
    setup = read_setup_file(data, args.members)
    for fault in setup.faults:
        print(f"{args.file}: {fault}", file=sys.stderr)
    if setup.header.get("signature") == b"MSCE":
        print(describe(setup))
    return 1 if setup.faults else 0


if __name__ == "__main__":
    sys.exit(main())
