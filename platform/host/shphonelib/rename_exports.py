#!/usr/bin/python3
"""Renames exported symbols of an x86-64 ELF shared library in place.

The phone library's decorated export names hold '@', which every ELF linker
reads as a symbol version separator, so the library is linked with
same-length placeholder names (each '?' and '@' written as 'Q') and a SysV
symbol hash table only. This step overwrites the placeholder bytes in the
string tables and rebuilds the hash table for the new names.

Usage: rename_exports.py LIBRARY DECORATED_NAME...
"""
import os
import struct
import sys

SHT_SYMTAB, SHT_DYNAMIC, SHT_HASH, SHT_DYNSYM = 2, 6, 5, 11
SHT_GNU_HASH, SHT_GNU_VERDEF, SHT_GNU_VERNEED = 0x6FFFFFF6, 0x6FFFFFFD, 0x6FFFFFFE
DT_STRING_TAGS = {1, 14, 15, 29}  # NEEDED, SONAME, RPATH, RUNPATH


class RenameError(Exception):
    pass


def placeholder_of(name):
    return name.replace("?", "Q").replace("@", "Q")


def elf_hash(name):
    h = 0
    for byte in name:
        h = ((h << 4) + byte) & 0xFFFFFFFF
        g = h & 0xF0000000
        if g:
            h ^= g >> 24
        h &= ~g & 0xFFFFFFFF
    return h


class Section:
    def __init__(self, data, offset):
        (self.name, self.type, _, _, self.offset, self.size, self.link, _, _,
         self.entsize) = struct.unpack_from("<IIQQQQIIQQ", data, offset)


def read_sections(data):
    if data[:4] != b"\x7fELF" or data[4] != 2 or data[5] != 1:
        raise RenameError("not a little-endian 64-bit ELF file")
    shoff, = struct.unpack_from("<Q", data, 0x28)
    shentsize, shnum = struct.unpack_from("<HH", data, 0x3A)
    return [Section(data, shoff + i * shentsize) for i in range(shnum)]


def c_string(data, offset):
    return bytes(data[offset:data.index(b"\0", offset)])


def symbols(data, table):
    """(index, name offset, defined) for each entry of a symbol table."""
    for index in range(table.size // 24):
        name, _, _, shndx = struct.unpack_from("<IBBH", data, table.offset + index * 24)
        yield index, name, shndx != 0


def version_name_offsets(data, section):
    """Name offsets used by a version definition or requirement section."""
    at = section.offset
    while True:
        if section.type == SHT_GNU_VERNEED:
            _, count, file_name, aux, following = struct.unpack_from("<HHIII", data, at)
            yield file_name
            item = at + aux
            for _ in range(count):
                _, _, _, name, item_next = struct.unpack_from("<IHHII", data, item)
                yield name
                item += item_next
        else:
            _, _, _, count, _, aux, following = struct.unpack_from("<HHHHIII", data, at)
            item = at + aux
            for _ in range(count):
                name, item_next = struct.unpack_from("<II", data, item)
                yield name
                item += item_next
        if following == 0:
            return
        at += following


def dynstr_references(data, sections, dynsym):
    refs = [name for _, name, _ in symbols(data, dynsym)]
    for section in sections:
        if section.type == SHT_DYNAMIC:
            for at in range(section.offset, section.offset + section.size, 16):
                tag, value = struct.unpack_from("<qQ", data, at)
                if tag in DT_STRING_TAGS:
                    refs.append(value)
        elif section.type in (SHT_GNU_VERDEF, SHT_GNU_VERNEED) and section.size:
            refs.extend(version_name_offsets(data, section))
    return refs


def rename_in_dynstr(data, sections, dynsym, old, new):
    dynstr = sections[dynsym.link]
    matches = [(i, name) for i, name, defined in symbols(data, dynsym)
               if defined and c_string(data, dynstr.offset + name) == old]
    if len(matches) != 1:
        raise RenameError(f"expected one defined export {old.decode()}, found {len(matches)}")
    _, start = matches[0]
    # A string table may share one string's tail with another name.
    for ref in dynstr_references(data, sections, dynsym):
        if start < ref < start + len(old):
            raise RenameError(f"{old.decode()} shares bytes with another name")
    data[dynstr.offset + start:dynstr.offset + start + len(new)] = new


def rename_in_symtab(data, sections, old, new):
    for table in (s for s in sections if s.type == SHT_SYMTAB):
        strtab = sections[table.link]
        for _, name, _ in symbols(data, table):
            at = strtab.offset + name
            if c_string(data, at) == old:
                data[at:at + len(new)] = new


def rebuild_hash(data, sections, dynsym):
    hashes = [s for s in sections if s.type == SHT_HASH]
    if len(hashes) != 1 or any(s.type == SHT_GNU_HASH for s in sections):
        raise RenameError("link with -Wl,--hash-style=sysv: one SysV hash table and no GNU one")
    table = hashes[0]
    nbucket, nchain = struct.unpack_from("<II", data, table.offset)
    if nchain != dynsym.size // 24:
        raise RenameError("hash table and dynamic symbol table disagree")
    dynstr = sections[dynsym.link]
    buckets, chains = [0] * nbucket, [0] * nchain
    for index, name, _ in symbols(data, dynsym):
        if index == 0:
            continue
        slot = elf_hash(c_string(data, dynstr.offset + name)) % nbucket
        chains[index], buckets[slot] = buckets[slot], index
    struct.pack_into(f"<{nbucket + nchain}I", data, table.offset + 8, *buckets, *chains)


def rename_exports(data, names):
    sections = read_sections(data)
    dynsyms = [s for s in sections if s.type == SHT_DYNSYM]
    if len(dynsyms) != 1:
        raise RenameError("no dynamic symbol table")
    for name in names:
        new = name.encode()
        old = placeholder_of(name).encode()
        rename_in_dynstr(data, sections, dynsyms[0], old, new)
        rename_in_symtab(data, sections, old, new)
    rebuild_hash(data, sections, dynsyms[0])


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    path = argv[1]
    with open(path, "rb") as library:
        data = bytearray(library.read())
    try:
        rename_exports(data, argv[2:])
    except (RenameError, struct.error, ValueError, IndexError) as error:
        print(f"{path}: {error}", file=sys.stderr)
        return 1
    temporary = path + ".renaming"
    with open(temporary, "wb") as library:
        library.write(data)
    os.chmod(temporary, os.stat(path).st_mode)
    os.replace(temporary, path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
