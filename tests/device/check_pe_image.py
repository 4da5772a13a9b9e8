#!/usr/bin/python3
"""Reads Kestrum.exe with pefile, a PE reader independent of the build, and
checks what the phone's loader relies on.
Usage: check_pe_image.py IMAGE OS_MINOR IMPORTS EXPORTS PROJECT_VERSION [TWIN_IMAGE]
OS_MINOR is 2 for the OS 5.2 image, 1 for the OS 5.1 one; IMPORTS is the
list of what the program imports from COREDLL, EXPORTS the platform's table
of what COREDLL exports; TWIN_IMAGE is the other of the two images, which
must differ only in its version fields."""

import os
import struct
import sys
import unittest

import pefile

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
WINCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "platform", "wince")
sys.path.insert(0, WINCE)
from coredll_table import read_imports, read_platform_table  # noqa: E402

IMAGE = TWIN = None
OS_MINOR = None
IMPORTS = []  # the list's names, each an export of the platform's table

CODE_RX = 0x60000020
RDATA_R = 0x40000040
DATA_RW = 0xC0000040
EXPECTED_SECTIONS = [(".text", CODE_RX), (".rdata", RDATA_R), (".data", DATA_RW),
                     (".rsrc", RDATA_R)]

# A heuristic about LoadLibrary/GetProcAddress imports, not a format fault.
BENIGN_WARNINGS = ("typical of packed executables",)

USED_DIRECTORIES = {"IMAGE_DIRECTORY_ENTRY_IMPORT", "IMAGE_DIRECTORY_ENTRY_IAT",
                    "IMAGE_DIRECTORY_ENTRY_RESOURCE"}

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
ICON_SIZES = [16, 22, 32, 44, 64]
LANG_JAPANESE = 0x0411
EXPECTED_VERSION_STRINGS = {
    "ProductName": "Kestrum", "FileDescription": "マナーモード切り替え",
    "OriginalFilename": "Kestrum.exe",
}


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
        self.assertEqual(header.NumberOfSections, 4)
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
        self.assertEqual((opt.MajorSubsystemVersion, opt.MinorSubsystemVersion), (5, OS_MINOR))
        self.assertEqual((opt.MajorOperatingSystemVersion, opt.MinorOperatingSystemVersion),
                         (5, OS_MINOR))
        self.assertEqual(opt.CheckSum, 0)
        self.assertEqual(opt.DllCharacteristics, 0)
        self.assertEqual(opt.NumberOfRvaAndSizes, 16)
        # A relocation-stripped program must sit where every process slot has room.
        self.assertTrue(0x10000 <= opt.ImageBase < 0x400000)

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
        rsrc = section_named(self.pe, ".rsrc")
        self.assertEqual(opt.SizeOfCode, text.SizeOfRawData)
        self.assertEqual(opt.BaseOfCode, text.VirtualAddress)
        self.assertEqual(opt.BaseOfData, rdata.VirtualAddress)
        self.assertEqual(opt.SizeOfInitializedData,
                         rdata.SizeOfRawData + data.SizeOfRawData + rsrc.SizeOfRawData)


    def test_nothing_lies_past_the_writable_sections_virtual_size(self):
        # The loader writes its own section table right after VirtualSize.
        data = section_named(self.pe, ".data")
        tail = data.get_data()[data.Misc_VirtualSize:]
        self.assertEqual(tail, bytes(len(tail)))
        iat = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IAT"]]
        self.assertLessEqual(iat.VirtualAddress + iat.Size,
                             data.VirtualAddress + data.Misc_VirtualSize)


class Imports(unittest.TestCase):
    def setUp(self):
        self.pe = pefile.PE(IMAGE)
        self.libraries = self.pe.DIRECTORY_ENTRY_IMPORT

    def test_exactly_the_list_from_coredll_by_name(self):
        self.assertEqual([lib.dll for lib in self.libraries], [b"COREDLL.dll"])
        imports = self.libraries[0].imports
        self.assertTrue(all(not i.import_by_ordinal for i in imports))
        # The list's reader lets through only COREDLL's exports, each once.
        self.assertEqual([i.name.decode() for i in imports], IMPORTS)

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
        imports = len(self.libraries[0].imports)
        self.assertEqual(iat.Size, 4 * (imports + 1))
        data = section_named(self.pe, ".data")
        self.assertTrue(data.contains_rva(descriptor.FirstThunk))
        # Unbound slots mirror the lookup table, ending in a null slot.
        for i in range(imports + 1):
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


class Resources(unittest.TestCase):
    def setUp(self):
        self.pe = pefile.PE(IMAGE)
        self.types = {entry.id: entry for entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries}

    def data_of(self, type_id, name_id):
        name = next(e for e in self.types[type_id].directory.entries if e.id == name_id)
        language = name.directory.entries[0]
        self.assertEqual(language.id, LANG_JAPANESE)
        entry = language.data.struct
        return self.pe.get_data(entry.OffsetToData, entry.Size)

    def test_one_group_of_bitmap_icons_in_the_phones_sizes(self):
        self.assertEqual(sorted(self.types), [RT_ICON, RT_GROUP_ICON, RT_VERSION])
        self.assertEqual([e.id for e in self.types[RT_GROUP_ICON].directory.entries], [1])
        group = self.data_of(RT_GROUP_ICON, 1)
        reserved, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual((reserved, kind, count), (0, 1, len(ICON_SIZES)))
        for index, size in enumerate(ICON_SIZES):
            width, height, _, _, planes, bits, length, icon_id = struct.unpack_from(
                "<BBBBHHIH", group, 6 + 14 * index)
            self.assertEqual((width, height), (size, size))
            self.assertIn(bits, (4, 8))
            bitmap = self.data_of(RT_ICON, icon_id)
            self.assertEqual(len(bitmap), length)
            self.assertEqual(struct.unpack_from("<I", bitmap)[0], 40, "a BMP header, not PNG")

    def test_version_in_japanese(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        parts = VERSION
        packed = (parts[0] << 16 | parts[1], parts[2] << 16 | parts[3])
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), packed)
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), packed)
        tables = [table for info in self.pe.FileInfo[0] for table in getattr(info, "StringTable", [])]
        self.assertEqual([t.LangID.lower() for t in tables], [b"041104b0"])  # Japanese, UTF-16
        strings = {k.decode(): v.decode() for k, v in tables[0].entries.items()}
        self.assertEqual({k: strings.get(k) for k in EXPECTED_VERSION_STRINGS},
                         EXPECTED_VERSION_STRINGS)


class Twin(unittest.TestCase):
    def test_differs_only_in_the_version_fields(self):
        if TWIN is None:
            self.skipTest("no twin image given")
        with open(IMAGE, "rb") as one, open(TWIN, "rb") as other:
            a, b = one.read(), other.read()
        self.assertEqual(len(a), len(b))
        optional = pefile.PE(IMAGE).OPTIONAL_HEADER.get_file_offset()
        versions = {optional + 42, optional + 50}  # minor OS and subsystem versions
        differing = {i for i in range(len(a)) if a[i] != b[i]}
        self.assertEqual(differing, versions)


if __name__ == "__main__":
    if len(sys.argv) not in (6, 7):
        sys.exit(__doc__)
    IMAGE, OS_MINOR = sys.argv[1], int(sys.argv[2])
    IMPORTS = read_imports(sys.argv[3], read_platform_table(sys.argv[4]), sys.argv[4])
    VERSION = ([int(part) for part in sys.argv[5].split(".")] + [0, 0, 0])[:4]
    dotted = ".".join(map(str, VERSION))
    EXPECTED_VERSION_STRINGS.update(FileVersion=dotted, ProductVersion=dotted)
    TWIN = sys.argv[6] if len(sys.argv) == 7 else None
    unittest.main(argv=sys.argv[:1], verbosity=1)
