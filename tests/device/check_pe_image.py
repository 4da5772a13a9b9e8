#!/usr/bin/python3
"""Reads Kestrum.exe with pefile, a PE reader independent of the build, and
checks what the phone's loader relies on. Usage: check_pe_image.py Kestrum.exe"""

import struct
import sys
import unittest

import pefile

IMAGE = None

EXPECTED_IMPORTS = {
    "LoadLibraryW", "GetProcAddressW", "FreeLibrary", "MessageBoxW",  # phone library binding
    "NLedSetDevice", "PlaySoundW", "MessageBeep", "Sleep",  # signals
    "exit", "GetModuleFileNameW", "LocalAlloc", "LocalFree",  # start-up
}

CODE_RX = 0x60000020
RDATA_R = 0x40000040
DATA_RW = 0xC0000040
EXPECTED_SECTIONS = [(".text", CODE_RX), (".rdata", RDATA_R), (".data", DATA_RW)]

# A heuristic about LoadLibrary/GetProcAddress imports, not a format fault.
BENIGN_WARNINGS = ("typical of packed executables",)

USED_DIRECTORIES = {"IMAGE_DIRECTORY_ENTRY_IMPORT", "IMAGE_DIRECTORY_ENTRY_IAT"}


def section_named(pe, name):
    for section in pe.sections:
        if section.Name.rstrip(b"\0").decode() == name:
            return section
    raise AssertionError(f"no section {name}")


class Headers(unittest.TestCase):
    def setUp(self):
        self.pe = pefile.PE(IMAGE)

    def test_no_structural_warnings(self):
        warnings = [w for w in self.pe.get_warnings() if not any(b in w for b in BENIGN_WARNINGS)]
        self.assertEqual(warnings, [])

    def test_file_header(self):
        header = self.pe.FILE_HEADER
        self.assertEqual(header.Machine, 0x01C2)
        self.assertEqual(header.NumberOfSections, 3)
        self.assertTrue(header.IMAGE_FILE_RELOCS_STRIPPED)
        self.assertTrue(header.IMAGE_FILE_EXECUTABLE_IMAGE)
        self.assertTrue(header.IMAGE_FILE_32BIT_MACHINE)
        self.assertFalse(header.IMAGE_FILE_DLL)

    def test_optional_header(self):
        opt = self.pe.OPTIONAL_HEADER
        self.assertEqual(opt.Magic, 0x10B)
        self.assertEqual(opt.ImageBase, 0x00010000)
        self.assertEqual(opt.SectionAlignment, 0x1000)
        self.assertEqual(opt.FileAlignment, 0x200)
        self.assertEqual(opt.Subsystem, 9)
        self.assertEqual((opt.MajorSubsystemVersion, opt.MinorSubsystemVersion), (5, 2))
        self.assertEqual((opt.MajorOperatingSystemVersion, opt.MinorOperatingSystemVersion), (5, 2))
        self.assertEqual(opt.CheckSum, 0)
        self.assertEqual(opt.DllCharacteristics, 0)
        self.assertEqual(opt.SizeOfHeaders, 0x200)
        self.assertEqual(opt.NumberOfRvaAndSizes, 16)

    def test_only_import_directories_are_present(self):
        for entry in self.pe.OPTIONAL_HEADER.DATA_DIRECTORY:
            if entry.name not in USED_DIRECTORIES:
                self.assertEqual((entry.VirtualAddress, entry.Size), (0, 0), entry.name)

    def test_entry_point_is_arm_code_in_text(self):
        entry = self.pe.OPTIONAL_HEADER.AddressOfEntryPoint
        text = section_named(self.pe, ".text")
        self.assertTrue(text.contains_rva(entry))
        self.assertLess(entry, text.VirtualAddress + text.Misc_VirtualSize)
        self.assertEqual(entry % 4, 0, "ARM code is word aligned; bit 0 would mean Thumb")


class Sections(unittest.TestCase):
    def setUp(self):
        self.pe = pefile.PE(IMAGE)
        with open(IMAGE, "rb") as image:
            self.file_size = len(image.read())

    def test_names_and_characteristics(self):
        found = [(s.Name.rstrip(b"\0").decode(), s.Characteristics) for s in self.pe.sections]
        self.assertEqual(found, EXPECTED_SECTIONS)

    def test_layout_in_memory_and_file(self):
        opt = self.pe.OPTIONAL_HEADER
        next_rva, next_offset = opt.SectionAlignment, opt.SizeOfHeaders
        for section in self.pe.sections:
            name = section.Name.rstrip(b"\0").decode()
            self.assertEqual(section.VirtualAddress, next_rva, name)
            self.assertEqual(section.PointerToRawData, next_offset, name)
            self.assertEqual(section.SizeOfRawData % opt.FileAlignment, 0, name)
            self.assertGreater(section.Misc_VirtualSize, 0, name)
            self.assertLessEqual(section.Misc_VirtualSize, section.SizeOfRawData, name)
            next_rva += -(-section.SizeOfRawData // opt.SectionAlignment) * opt.SectionAlignment
            next_offset += section.SizeOfRawData
        self.assertEqual(opt.SizeOfImage, next_rva)
        self.assertEqual(self.file_size, next_offset, "raw data must end the file")

    def test_size_fields_match_sections(self):
        opt = self.pe.OPTIONAL_HEADER
        text = section_named(self.pe, ".text")
        rdata = section_named(self.pe, ".rdata")
        data = section_named(self.pe, ".data")
        self.assertEqual(opt.SizeOfCode, text.SizeOfRawData)
        self.assertEqual(opt.BaseOfCode, text.VirtualAddress)
        self.assertEqual(opt.BaseOfData, rdata.VirtualAddress)
        self.assertEqual(opt.SizeOfInitializedData, rdata.SizeOfRawData + data.SizeOfRawData)


class Imports(unittest.TestCase):
    def setUp(self):
        self.pe = pefile.PE(IMAGE)
        self.libraries = self.pe.DIRECTORY_ENTRY_IMPORT

    def test_only_coredll_by_name(self):
        self.assertEqual([lib.dll for lib in self.libraries], [b"COREDLL.dll"])
        imports = self.libraries[0].imports
        self.assertTrue(all(not i.import_by_ordinal for i in imports))
        names = [i.name.decode() for i in imports]
        self.assertEqual(len(names), len(set(names)), "an import is listed twice")
        self.assertEqual(set(names), EXPECTED_IMPORTS)

    def test_no_bound_or_delayed_imports(self):
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_BOUND_IMPORT"))
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT"))
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_TLS"))
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_BASERELOC"))
        descriptor = self.libraries[0].struct
        self.assertEqual(descriptor.TimeDateStamp, 0)
        self.assertNotEqual(descriptor.OriginalFirstThunk, 0)

    def test_address_table_is_writable_and_matches_its_directory(self):
        descriptor = self.libraries[0].struct
        iat = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IAT"]]
        self.assertEqual(iat.VirtualAddress, descriptor.FirstThunk)
        self.assertEqual(iat.Size, 4 * (len(EXPECTED_IMPORTS) + 1))
        data = section_named(self.pe, ".data")
        self.assertTrue(data.contains_rva(descriptor.FirstThunk))
        # Unbound slots mirror the lookup table, ending in a null slot.
        for i in range(len(EXPECTED_IMPORTS) + 1):
            slot = self.pe.get_dword_at_rva(descriptor.FirstThunk + 4 * i)
            lookup = self.pe.get_dword_at_rva(descriptor.OriginalFirstThunk + 4 * i)
            self.assertEqual(slot, lookup)
        self.assertEqual(slot, 0)

    def test_every_slot_is_reached_from_code(self):
        # Calls jump through their slot, whose address the code holds as a literal.
        text = section_named(self.pe, ".text").get_data()
        literals = set(struct.unpack_from(f"<{len(text) // 4}I", text))
        base = self.pe.OPTIONAL_HEADER.ImageBase
        for imported in self.libraries[0].imports:
            self.assertIn(imported.address, literals, imported.name)
            self.assertGreater(imported.address, base)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    IMAGE = sys.argv.pop()
    unittest.main(verbosity=1)
