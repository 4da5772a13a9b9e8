#!/usr/bin/python3
"""The build's import check must refuse what the phone's loader would: a copy
of the real image patched to import exit is refused, naming the import.
Usage: check_imports_test.py check_imports.py coredll_exports.tsv Kestrum.exe"""

import os
import subprocess
import sys
import tempfile
import unittest

import pefile

CHECKER = TABLE = IMAGE = None


def patched(edit):
    """A copy of the image with edit(pe, data) applied to its bytes."""
    pe = pefile.PE(IMAGE)
    data = bytearray(pe.__data__)
    edit(pe, data)
    handle, path = tempfile.mkstemp(suffix=".exe")
    with os.fdopen(handle, "wb") as out:
        out.write(data)
    return path


def check(path):
    result = subprocess.run([sys.executable, CHECKER, TABLE, path], capture_output=True,
                            text=True, timeout=60)
    return result.returncode, result.stderr


class ImportCheck(unittest.TestCase):
    def refusal(self, edit):
        path = patched(edit)
        try:
            return check(path)
        finally:
            os.remove(path)

    def test_refuses_an_image_importing_exit(self):
        def import_exit(pe, data):
            sleep = next(i for i in pe.DIRECTORY_ENTRY_IMPORT[0].imports if i.name == b"Sleep")
            offset = pe.get_offset_from_rva(sleep.hint_name_table_rva + 2)
            data[offset:offset + 5] = b"exit\0"
        status, message = self.refusal(import_exit)
        self.assertEqual(status, 1)
        self.assertIn("imports COREDLL.dll!exit, which is not in the table", message)

    def test_refuses_an_import_directory_it_cannot_read(self):
        def point_nowhere(pe, data):
            directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[1]
            offset = directory.get_file_offset()
            data[offset:offset + 4] = (0x7FFF0000).to_bytes(4, "little")
        self.assertEqual(self.refusal(point_nowhere)[0], 1)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    CHECKER, TABLE, IMAGE = sys.argv[1:]
    unittest.main(argv=sys.argv[:1], verbosity=1)
