#!/usr/bin/python3
"""Links sections made by res_to_asm.py at a known RVA into a minimal PE and
reads them back with pefile, a reader independent of the converter.
Usage: res_to_asm_test.py CONVERTER CLANG LLD OBJCOPY SOURCE_DIR"""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

import pefile

CONVERTER = CLANG = LLD = OBJCOPY = SOURCE_DIR = None
RVA = 0x3000
NULL_RECORD = bytes.fromhex("00000000 20000000 ffff0000 ffff0000") + bytes(16)
HOSTILE_NAME = "X\n.word 0x12345678\\"  # must stay a name, never become code
# About the stand-in PE around the section, not about resources.
BENIGN = ("Byte 0x00 makes up", "AddressOfEntryPoint", "SizeOfHeaders is smaller")


def record(type_, name, data, language=0x0411):
    ids = b"".join(struct.pack("<HH", 0xFFFF, key) if isinstance(key, int)
                   else key.encode("utf-16-le") + b"\0\0" for key in (type_, name))
    ids += bytes(-len(ids) % 4)
    return (struct.pack("<II", len(data), 24 + len(ids)) + ids +
            struct.pack("<IHHII", 0, 0x1030, language, 0, 0) + data + bytes(-len(data) % 4))


def minimal_pe(section):
    raw = -(-len(section) // 0x200) * 0x200
    optional = struct.pack("<HBB9I6H4I2H6I", 0x10B, 0, 0, 0, raw, 0, 0, 0, 0, 0x10000, 0x1000,
                           0x200, 5, 2, 0, 0, 5, 2, 0, RVA + 0x1000, 0x200, 0, 9, 0, 0x10000,
                           0x1000, 0x100000, 0x1000, 0, 16)
    directories = bytes(16) + struct.pack("<II", RVA, len(section)) + bytes(13 * 8)
    section_header = b".rsrc\0\0\0" + struct.pack("<IIIIIIHHI", len(section), RVA, raw, 0x200,
                                                  0, 0, 0, 0, 0x40000040)
    headers = (b"MZ" + bytes(58) + struct.pack("<I", 0x40) + b"PE\0\0" +
               struct.pack("<HHIIIHH", 0x01C2, 1, 0, 0, 0, 0xE0, 0x0103) + optional +
               directories + section_header)
    return headers.ljust(0x200, b"\0") + section.ljust(raw, b"\0")


def key(entry):
    return str(entry.name) if entry.name is not None else entry.id


class Converter(unittest.TestCase):
    def setUp(self):
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        self.path = lambda name: os.path.join(directory.name, name)

    def convert(self, res):
        if os.path.exists(self.path("r.S")):
            os.remove(self.path("r.S"))
        with open(self.path("in.res"), "wb") as out:
            out.write(res)
        return subprocess.run([sys.executable, CONVERTER, self.path("in.res"), self.path("r.S")],
                              capture_output=True, text=True)

    def linked(self, res):
        self.assertEqual(self.convert(res).returncode, 0)
        for command in ([CLANG, "--target=armv5te-none-eabi", "-I", SOURCE_DIR, "-c",
                         self.path("r.S"), "-o", self.path("r.o")],
                        [LLD, f"--section-start=.kestrum.rsrc={0x10000 + RVA:#x}", "-e",
                         "__kestrum_rsrc_start", "-o", self.path("r.elf"), self.path("r.o")],
                        [OBJCOPY, "-O", "binary", self.path("r.elf"), self.path("r.bin")]):
            subprocess.run(command, check=True)
        with open(self.path("r.bin"), "rb") as section:
            pe = pefile.PE(data=minimal_pe(section.read()))
        self.assertEqual([w for w in pe.get_warnings() if not w.startswith(BENIGN)], [])
        return pe

    def test_order_offsets_alignment_and_data(self):
        payloads, res = {}, NULL_RECORD
        for number, (type_, name, language) in enumerate([
                (10, 1, 0x0411), ("beta", 7, 0x0411), (3, 2, 0x0411), (3, 2, 0x0409),
                ("Alpha", "_x", 0), ("Alpha", "yes", 0), (14, HOSTILE_NAME, 0x0411)]):
            payloads[type_, name, language] = bytes(range(number, 2 * number + 1))
            res += record(type_, name, payloads[type_, name, language], language)
        pe = self.linked(res)
        root = pe.DIRECTORY_ENTRY_RESOURCE
        # Named entries first, case-insensitively ("_" after the letters), then ids.
        self.assertEqual([key(entry) for entry in root.entries], ["Alpha", "beta", 3, 10, 14])
        self.assertEqual([key(entry) for entry in root.entries[0].directory.entries], ["yes", "_x"])
        # pefile follows .directory only under the high bit and .data only without it.
        leaves = {(key(type_), key(name), language.id): language.data.struct
                  for type_ in root.entries for name in type_.directory.entries
                  for language in name.directory.entries}
        self.assertEqual(list(leaves)[3:5], [(3, 2, 0x0409), (3, 2, 0x0411)])
        self.assertEqual([data.OffsetToData % 8 for data in leaves.values()], [0] * len(payloads))
        self.assertEqual({leaf: pe.get_data(data.OffsetToData, data.Size)
                          for leaf, data in leaves.items()}, payloads)

    def test_refuses_malformed_input(self):
        good = NULL_RECORD + record(3, 1, bytes(40))
        cases = {
            "no leading empty record": record(3, 2, b"") + good[32:],
            "cut inside the data": good[:-12],
            "cut inside a header": good[:40],
            "unterminated name": NULL_RECORD + struct.pack("<II", 0, 32) + bytes(range(1, 25)),
            "header size not its fields' size": good[:32] + struct.pack("<II", 36, 36) + good[40:],
            "ordinal 0": NULL_RECORD + record(3, 0, b"x"),
            "duplicate": good + record(3, 1, b"y"),
            "names differing in case": NULL_RECORD + record("abc", 1, b"") + record("ABC", 2, b""),
        }
        for name, res in cases.items():
            with self.subTest(name):
                result = self.convert(res)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn("res_to_asm: ", result.stderr)
                self.assertFalse(os.path.exists(self.path("r.S")))


if __name__ == "__main__":
    CONVERTER, CLANG, LLD, OBJCOPY, SOURCE_DIR = sys.argv[1:6]
    unittest.main(argv=sys.argv[:1])
