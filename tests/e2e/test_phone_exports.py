"""The stand-in phone library exports the two decorated names and no other
function of its own; each test variant lacks exactly one of them."""
import subprocess
import unittest

from kestrum_run import PHONE_LIBRARY, WITHOUT_GETTER, WITHOUT_SETTER

GETTER = "?GetMannerMode@CshphoneClientlib@@SAHXZ"
SETTER = "?SetMannerMode@CshphoneClientlib@@SAXH@Z"
LINKER_SYMBOLS = {"_init", "_fini"}


def defined_exports(library):
    listing = subprocess.run(["nm", "-D", "--defined-only", "--format=posix", library],
                             capture_output=True, text=True, check=True).stdout
    return {line.split(" ")[0] for line in listing.splitlines()} - LINKER_SYMBOLS


class PhoneExports(unittest.TestCase):
    def test_exports_are_exactly_the_decorated_names(self):
        self.assertEqual(defined_exports(PHONE_LIBRARY), {GETTER, SETTER})
        self.assertEqual(defined_exports(WITHOUT_GETTER), {SETTER})
        self.assertEqual(defined_exports(WITHOUT_SETTER), {GETTER})

    def test_names_are_unversioned(self):
        listing = subprocess.run(["readelf", "--dyn-syms", "-W", PHONE_LIBRARY],
                                 capture_output=True, text=True, check=True).stdout
        exported = [line.split()[-1] for line in listing.splitlines() if "Manner" in line]
        self.assertEqual(sorted(exported), sorted([GETTER, SETTER]))


if __name__ == "__main__":
    unittest.main()
