#!/usr/bin/env python3
"""The setup-file reader must read setup files in cabwiz's shape and reject
the faults that would make an installer misread KESTRUM.000, each for its
own reason, and never fail on bad input; the writer must lay KESTRUM.000 out
as cabwiz does."""

import itertools
import os
import struct
import sys
import unittest
from unittest import mock

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging"))
import install_layout as layout  # noqa: E402
from read_setup_file import describe, read_setup_file  # noqa: E402
import setup_file as setup_file_module  # noqa: E402
from setup_file import setup_file  # noqa: E402

MEMBERS = ["KESTRUM.000", "KESTRUM.001", "_setup.xml"]
PROVIDER = "id:example"
LENGTH_AT, DIRS_AT, FILES_AT, LINKS_AT = 8, 64, 68, 80


def dword(data, at):
    return struct.unpack_from("<I", data, at)[0]


def padded(text):
    raw = text.encode() + b"\0"
    return raw + bytes(-len(raw) % 4)


def cabwiz_shaped(arch, app, provider, strings, dirs, files, hives, keys, links):
    """A setup file as cabwiz lays one out (docs/cabwiz-output.md): texts
    padded to 4 bytes, parts back to back, the link's name without a 0."""
    def table(head, entries):  # each entry's head, its payload's length, the payload
        return b"".join(struct.pack(head, *fields, len(data)) + data for *fields, data in entries)

    def ids(values):
        return struct.pack(f"<{len(values)}H", *values)
    parts = [padded(app), padded(provider),
             table("<2H", [(i, padded(t)) for i, t in strings.items()]),
             table("<2H", [(i, ids(v)) for i, v in dirs.items()]),
             table("<3HIH", [(i, d, i, 0, padded(n)) for i, (d, n) in files.items()]),
             table("<4H", [(i, root, 0, ids(v)) for i, (root, v) in hives.items()]),
             table("<3HIH", [(i, hive, 1, 0, v) for i, (hive, v) in keys.items()]),
             table("<6H", [(i, 0, base, file, 1, ids(v)) for i, (base, file, v) in links.items()])]
    at = list(itertools.accumulate(map(len, parts), initial=100))
    return struct.pack("<4s11I6H6I8H", b"MSCE", 0, at[-1], 0, 1, arch, 5, 2, 6, 99, 0, 0xE0000000,
                       *map(len, (strings, dirs, files, hives, keys, links)), *at[2:8],
                       at[0], len(parts[0]), at[1], len(parts[1]), at[2], 0, 0, 0) + b"".join(parts)


class ReaderReadsCabwizShape(unittest.TestCase):
    def test_padding_whole_paths_any_processor_and_a_registry_key(self):
        data = cabwiz_shaped(
            0, "Tide Clock", "Example",
            {1: "%CE1%\\Tide Clock", 2: "%CE2%", 3: "Start Menu", 4: "SOFTWARE", 5: "Tide",
             6: "%CE11%", 7: "Tide Clock.lnk"},
            {3: [2, 3, 0], 2: [1, 0], 4: [6, 0]},
            {1: (2, "tide.exe"), 2: (2, "tides.dat"), 3: (3, "tide help.htm")},
            {1: (3, [4, 5, 0])}, {1: (1, b"Dir\0%CE1%\0")}, {1: (11, 1, [7])})
        setup = read_setup_file(data, ["TIDECL~1.000", "0tide.001", "TIDES~1.002", "TIDEHE~1.003"])
        self.assertEqual(setup.faults, [])
        self.assertEqual(describe(setup), "\n".join([
            "app 'Tide Clock' provider 'Example' arch 0", "os 5.2..6.99 build 0..0xe0000000",
            r"dir 3: %CE2%\Start Menu", r"dir 2: %CE1%\Tide Clock", "dir 4: %CE11%",
            r"hive 1: SOFTWARE\Tide", r"file 1: %CE1%\Tide Clock\tide.exe",
            r"file 2: %CE1%\Tide Clock\tides.dat", r"file 3: %CE2%\Start Menu\tide help.htm",
            r"link 1: %CE11%\Tide Clock.lnk -> tide.exe"]))

    def test_the_writer_lays_out_as_cabwiz(self):
        writer = setup_file_module
        strings = writer.strings()
        expected = cabwiz_shaped(
            writer.PROCESSOR, layout.APP_NAME, layout.installer_provider(PROVIDER), strings,
            {writer.DIRECTORY_ID: [*range(1, len(writer.INSTALL_DIR_MEMBERS) + 1), 0]},
            {layout.PROGRAM_FILE_ID: (writer.DIRECTORY_ID, layout.PROGRAM)}, {}, {},
            {writer.LINK_ID: (layout.SHORTCUT_DIR_NUMBER, layout.PROGRAM_FILE_ID, [len(strings)])})
        self.assertEqual(setup_file((5, 2), PROVIDER), expected)


class ReaderCatchesFaults(unittest.TestCase):
    def setUp(self):
        self.data = bytearray(setup_file((5, 2), PROVIDER))
        self.links = dword(self.data, LINKS_AT)

    def faults(self, members=MEMBERS):
        return read_setup_file(bytes(self.data), members).faults

    def assertFault(self, words, members=MEMBERS):
        faults = self.faults(members)
        self.assertTrue(any(words in fault for fault in faults), faults)

    def patch(self, at, value):
        struct.pack_into("<H", self.data, at, value)

    def test_the_written_file_is_sound(self):
        self.assertEqual(self.faults(), [])

    def test_zero_after_the_link_name(self):
        # The link's name ends the file: one more id, its length and the
        # file's length grown to match, so that the 0 is the only fault.
        name_length = self.links + 10
        self.assertEqual(len(self.data), name_length + 2 + self.data[name_length])
        self.patch(name_length, self.data[name_length] + 2)
        self.data += b"\0\0"
        struct.pack_into("<I", self.data, LENGTH_AT, len(self.data))
        self.assertFault("has a 0 after its string ids")
        self.assertEqual(len(self.faults()), 1)

    def test_wrong_length_field(self):
        struct.pack_into("<I", self.data, LENGTH_AT, len(self.data) + 4)
        self.assertFault("length field")

    def test_undefined_string_id(self):
        self.patch(self.links + 12, 9)
        self.assertFault("undefined string id 9")

    def test_file_without_member(self):
        self.assertFault("has 0 members *.001", members=["KESTRUM.000", "_setup.xml"])

    def test_directory_without_its_zero(self):
        directory = dword(self.data, DIRS_AT)
        last_id = directory + 2 + struct.unpack_from("<H", self.data, directory + 2)[0]
        self.patch(last_id, 2)
        self.assertFault("does not end with 0")

    def test_a_macro_after_the_install_folders_start(self):
        for members in (("Kestrum", "%CE1%"), ("Kestrum\\%CE1%",)):
            with mock.patch.object(setup_file_module, "INSTALL_DIR_MEMBERS", members):
                self.data = bytearray(setup_file((5, 2), PROVIDER))
            self.assertFault("%CE1% after its first folder")

    def test_text_after_a_strings_zero(self):
        self.data[dword(self.data, 60) + 4 + len("%CE1%") + 1] = ord("x")
        self.assertFault("string 1 holds text after its 0")

    def test_table_past_the_end(self):
        struct.pack_into("<I", self.data, LINKS_AT, len(self.data) - 4)
        self.assertFault("runs past the end")

    def test_every_truncation_is_refused_and_no_change_crashes(self):
        good = bytes(self.data)
        for size in range(len(good)):
            self.assertTrue(read_setup_file(good[:size], MEMBERS).faults, size)
        for at in range(len(good)):
            changed = bytearray(good)
            changed[at] ^= 0xFF
            read_setup_file(bytes(changed), MEMBERS)


if __name__ == "__main__":
    unittest.main()
