#!/usr/bin/env python3
"""The COREDLL tables' reader refuses each malformed table, naming its line,
and takes the edges of a valid one. Usage: coredll_table_test.py READER"""

import importlib.util
import os
import re
import sys
import tempfile
import unittest

reader = None


class TableRefusals(unittest.TestCase):
    def table(self, text):
        with tempfile.NamedTemporaryFile("wb", suffix=".tsv", delete=False) as file:
            file.write(text)
        self.addCleanup(os.remove, file.name)
        return file.name

    def test_each_fault_is_named(self):
        self.assertEqual(reader.read_platform_table(self.table(b"A\t1\nB\t-\nC\t-\nD\t65535\n")),
                         {"A": 1, "B": None, "C": None, "D": 65535})
        exports = reader.read_platform_table
        imports = lambda path: reader.read_imports(path, {"Sleep": 1}, "exports.tsv")  # noqa: E731
        for read, text, fault in (
                (exports, b"A\t1\nA\t2\n", ":2: A or its ordinal is listed twice"),
                (exports, b"A\t1\nB\t1\n", ":2: B or its ordinal is listed twice"),
                (exports, b"A 1\n", ":1: expected"), (exports, b"A\t0\n", ":1: expected"),
                (exports, b"A\t65536\n", ":1: expected"), (exports, b"# note\n\n", ": no rows"),
                (imports, b"Sleep\nSleep\n", ":2: Sleep is listed twice"),
                (imports, b"Sleep-2\n", ":1: expected a C identifier"),
                (imports, b"", ": no rows")):
            with self.subTest(text=text):
                self.assertRaisesRegex(reader.TableError, re.escape(fault), read, self.table(text))


if __name__ == "__main__":
    source = importlib.util.spec_from_file_location("coredll_table", sys.argv.pop(1))
    reader = importlib.util.module_from_spec(source)
    source.loader.exec_module(reader)
    unittest.main()
