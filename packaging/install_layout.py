"""What the installer cabinets put where: Kestrum's choices, the one place
that the setup file and _setup.xml take their names and paths from, and the
build the path that the emulated phone starts the program at. What the
phone's installer does with them is wince_facts/installer.py."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wince_facts"))
import installer  # noqa: E402

APP_NAME = "Kestrum"

INSTALL_DIR = "%CE1%\\Kestrum"
PROGRAM = "Kestrum.exe"
SHORTCUT_DIR_NUMBER = 11  # %CE11%, the Start menu's Programs folder
SHORTCUT = "Kestrum.lnk"

# 8.3 member names: the setup file, then the image as file number 1.
PROGRAM_FILE_ID = 1
SETUP_MEMBER = "KESTRUM.000"
PROGRAM_MEMBER = f"KESTRUM.{PROGRAM_FILE_ID:03d}"
SETUP_XML_MEMBER = "_setup.xml"
MEMBERS = (SETUP_MEMBER, PROGRAM_MEMBER, SETUP_XML_MEMBER)

# Every member carries this date (2010-01-01 00:00 UTC), so that the same
# inputs always give the same cabinet.
MEMBER_TIME = 1262304000


def installer_provider(handle):
    """The provider's handle (KESTRUM_PROVIDER) as the installer names it:
    without ':', which cannot stand in the file names the installer derives
    from it. Refuses a handle that leaves no such name."""
    name = handle.replace(":", "")
    plain = name.isascii() and name.isprintable() and not installer.NOT_IN_FILE_NAMES & set(name)
    if not (name and plain):
        raise ValueError(f"provider {handle!r} gives the installer no file name")
    return name


def checked_os_version(version):
    """An image's subsystem version (major, minor) as the cabinet's lowest OS
    version: refuses one outside 1.0 .. the installer's highest, or with a
    minor of more than two digits."""
    if not ((1, 0) <= version <= installer.OS_VERSION_MAX and version[1] <= 99):
        raise ValueError("OS version %d.%d is outside 1.0 .. %d.%d"
                         % (*version, *installer.OS_VERSION_MAX))
    return version


def installed_program_path():
    """Where a phone's installer puts the program."""
    return installer.expand(INSTALL_DIR) + "\\" + PROGRAM


if __name__ == "__main__":
    print(installed_program_path(), end="")
