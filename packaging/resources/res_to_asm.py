#!/usr/bin/python3
"""Lays out the resources of a .res file, as llvm-rc writes it, as the
resource section of Kestrum.exe, written in GNU assembler for the device build.

Usage: res_to_asm.py INPUT.res OUTPUT.S

Written by hand because the image is linked as ELF: llvm-cvtres only makes
COFF objects, and nothing else in the toolchain builds a PE resource tree.
A malformed or truncated .res is refused with a message and no output."""

import os
import struct
import sys
from collections import namedtuple

# The empty record that opens every 32-bit .res file: no data, 32-byte
# header, type and name ordinal 0.
NULL_RECORD = struct.pack("<IIHHHH", 0, 32, 0xFFFF, 0, 0xFFFF, 0) + bytes(16)
RECORD_START = struct.Struct("<II")  # DataSize, HeaderSize
# DataVersion, MemoryFlags, LanguageId, Version, Characteristics
HEADER_END = struct.Struct("<IHHII")
MAX_INPUT = 16 << 20  # far beyond an icon and a version; bounds the output
SUBDIRECTORY = 0x80000000  # also marks a name given as a string
TYPE_NAMES = {1: "RT_CURSOR", 2: "RT_BITMAP", 3: "RT_ICON", 4: "RT_MENU", 5: "RT_DIALOG",
              6: "RT_STRING", 9: "RT_ACCELERATOR", 10: "RT_RCDATA", 12: "RT_GROUP_CURSOR",
              14: "RT_GROUP_ICON", 16: "RT_VERSION", 24: "RT_MANIFEST"}

Resource = namedtuple("Resource", "type name language data")


class ResError(Exception):
    pass


def align(value, boundary):
    return (value + boundary - 1) & -boundary


def read_name(header, offset, what):
    """An ordinal (0xFFFF, id) or a NUL-terminated UTF-16 string."""
    if offset + 4 > len(header):
        raise ResError(f"the {what} runs past its header")
    first, second = struct.unpack_from("<HH", header, offset)
    if first == 0xFFFF:
        if second == 0:
            raise ResError(f"{what} ordinal 0")
        return second, offset + 4
    end = offset
    while end + 2 <= len(header) and header[end:end + 2] != b"\0\0":
        end += 2
    if end + 2 > len(header):
        raise ResError(f"the {what} string has no end inside its header")
    if end - offset > 2 * 0xFFFF:
        raise ResError(f"the {what} string is longer than a resource name can be")
    if end == offset:
        raise ResError(f"empty {what} string")
    return header[offset:end].decode("utf-16-le", "surrogatepass"), end + 2


def read_record(data, offset):
    if len(data) - offset < RECORD_START.size:
        raise ResError(f"truncated record header at offset {offset}")
    data_size, header_size = RECORD_START.unpack_from(data, offset)
    header_end = offset + header_size
    data_end = header_end + data_size
    if header_size < RECORD_START.size + 8 + HEADER_END.size or data_end > len(data):
        raise ResError(f"record at offset {offset} runs past the end of the file or is too short")
    header = data[offset + RECORD_START.size:header_end]
    type_, position = read_name(header, 0, "type")
    name, position = read_name(header, position, "name")
    position = align(position, 4)
    if position + HEADER_END.size != len(header):
        raise ResError(f"record at offset {offset}: header size {header_size} "
                       "does not match its fields")
    language = HEADER_END.unpack_from(header, position)[2]
    return Resource(type_, name, language, data[header_end:data_end]), align(data_end, 4)


def parse_res(data):
    if len(data) > MAX_INPUT:
        raise ResError(f"{len(data)} bytes is far too large for this image's resources")
    if data[:len(NULL_RECORD)] != NULL_RECORD:
        raise ResError("not a 32-bit resource file (the leading empty record is missing)")
    resources, offset = [], len(NULL_RECORD)
    while offset < len(data):
        resource, offset = read_record(data, offset)
        resources.append(resource)
    if not resources:
        raise ResError("the file holds no resources")
    return resources


def sort_key(key):
    """Named entries first, case-insensitively, then ids ascending."""
    return (isinstance(key, int), same_key(key))


def same_key(key):
    return key.upper() if isinstance(key, str) else key


def build_tree(resources):
    """{type: {name: {language: Resource}}}, each level in the order it is laid out."""
    seen = set()
    tree = {}
    for resource in resources:
        identity = (same_key(resource.type), same_key(resource.name), resource.language)
        if identity in seen:
            raise ResError(f"resource {describe(resource)} appears twice")
        seen.add(identity)
        names = tree.setdefault(resource.type, {})
        names.setdefault(resource.name, {})[resource.language] = resource
    for by_type in [tree] + list(tree.values()):
        keys = list(by_type)
        folded = [same_key(key) for key in keys]
        if len(set(folded)) != len(folded):
            raise ResError(f"names that differ only in case: {sorted(map(str, keys))}")
    return order(tree)


def order(level):
    if not isinstance(level, dict):
        return level
    return {key: order(level[key]) for key in sorted(level, key=sort_key)}


def shown(key):
    """Quoted and ASCII-only: a name can never end the comment it is shown in."""
    return ascii(key) if isinstance(key, str) else str(key)


def shown_type(key):
    return TYPE_NAMES.get(key) or shown(key)


def describe(resource):
    return (f"{shown_type(resource.type)} {shown(resource.name)} "
            f"language 0x{resource.language:04X}")


def entry_comment(depth, key):
    if depth == 0:
        return shown_type(key)
    return f"name {shown(key)}" if depth == 1 else f"language 0x{key:04X}"


class Writer:
    """Emits the section: directory tables, strings, data entries, data."""

    def __init__(self):
        self.tables, self.strings, self.entries, self.blobs = [], [], [], []
        self.string_count = self.entry_count = 0

    def offset(self, label, high_bit=False):
        flag = f"0x{SUBDIRECTORY:08X} + " if high_bit else ""
        return f"{flag}({label} - __kestrum_rsrc_start)"

    def name_field(self, key):
        if isinstance(key, int):
            return str(key)
        label = f".Lrsrc_string{self.string_count}"
        self.string_count += 1
        units = key.encode("utf-16-le", "surrogatepass")
        codes = struct.unpack(f"<{len(units) // 2}H", units)
        self.strings += [f"{label}:  // {shown(key)}", f"  .short {len(codes)}"]
        self.strings += ["  .short " + ", ".join(f"0x{c:04X}" for c in codes[i:i + 8])
                         for i in range(0, len(codes), 8)]
        return self.offset(label, high_bit=True)

    def table(self, label, level, depth, path=""):
        named = sum(isinstance(key, str) for key in level)
        lines = [f"{label}:", "  .word 0, 0  // Characteristics, TimeDateStamp",
                 "  .short 0, 0  // MajorVersion, MinorVersion",
                 f"  .short {named}, {len(level) - named}  // named entries, id entries"]
        self.tables.append(lines)
        for index, (key, child) in enumerate(level.items()):
            comment = entry_comment(depth, key)
            if depth == 2:
                target = self.offset(self.data_entry(child))
            else:
                sublabel = f".Lrsrc_directory{path}_{index}"
                target = self.offset(sublabel, high_bit=True)
                self.table(sublabel, child, depth + 1, f"{path}_{index}")
            lines += [f"  .word {self.name_field(key)}  // {comment}", f"  .word {target}"]

    def data_entry(self, resource):
        number = self.entry_count
        self.entry_count += 1
        self.entries += [f".Lrsrc_entry{number}:  // {describe(resource)}",
                         f"  .word RVA(.Lrsrc_data{number})",
                         f"  .word {len(resource.data)}",
                         "  .word 0, 0  // CodePage, Reserved"]
        self.blobs += ["  .p2align 3", f".Lrsrc_data{number}:"]
        self.blobs += ["  .byte " + ", ".join(f"0x{b:02X}" for b in resource.data[i:i + 16])
                       for i in range(0, len(resource.data), 16)]
        return f".Lrsrc_entry{number}"

    def source(self, tree, origin):
        self.table("__kestrum_rsrc_start", tree, 0)
        lines = [f"// Generated by res_to_asm.py from {ascii(origin)}; edit the resource script "
                 "instead.",
                 '#include "platform/wince/image_layout.h"', "",
                 "#define RVA(symbol) ((symbol) - KESTRUM_IMAGE_BASE)", "",
                 '  .section .kestrum.rsrc, "a", %progbits',
                 "  .p2align 3",
                 "  .global __kestrum_rsrc_start, __kestrum_rsrc_end"]
        for table in self.tables:
            lines += table
        lines += ["  .p2align 1"] + self.strings + ["  .p2align 2"] + self.entries + self.blobs
        return "\n".join(lines + ["__kestrum_rsrc_end:", ""])


def write_atomically(path, text):
    partial = path + ".partial"
    with open(partial, "w", encoding="utf-8") as out:
        out.write(text)
    os.replace(partial, path)


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    source, target = argv
    try:
        with open(source, "rb") as res:
            data = res.read(MAX_INPUT + 1)
        tree = build_tree(parse_res(data))
    except (ResError, OSError) as error:
        print(f"res_to_asm: {source}: {error}", file=sys.stderr)
        return 1
    write_atomically(target, Writer().source(tree, os.path.basename(source)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
