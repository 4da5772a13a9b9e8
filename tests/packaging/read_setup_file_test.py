#!/usr/bin/env python3
"""The setup-file reader must reject the faults that would make an installer
misread KESTRUM.000, each for its own reason, and never fail on bad input."""

import os
import struct
import sys
import unittest
from unittest import mock

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging"))
from read_setup_file import read_setup_file  # noqa: E402
import setup_file as setup_file_module  # noqa: E402
from setup_file import setup_file  # noqa: E402

MEMBERS = ["KESTRUM.000", "KESTRUM.001", "_setup.xml"]
PROVIDER = "id:example"
LENGTH_AT, DIRS_AT, FILES_AT, LINKS_AT = 8, 64, 68, 80


def dword(data, at):
    return struct.unpack_from("<I", data, at)[0]


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

    def test_install_folder_as_one_string_or_a_macro_after_its_start(self):
        for members, words in ((("%CE1%\\Kestrum",), "holds a backslash"),
                               (("Kestrum", "%CE1%"), "%CE1% after its first member")):
            with mock.patch.object(setup_file_module, "INSTALL_DIR_MEMBERS", members):
                self.data = bytearray(setup_file((5, 2), PROVIDER))
            self.assertFault(words)

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
