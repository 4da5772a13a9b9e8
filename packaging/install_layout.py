"""What the installer cabinets put where: the one place that the setup file
and _setup.xml take their names, paths and limits from, and the build the
path that the emulated phone starts the program at."""

import phone_folders

APP_NAME = "Kestrum"
# What no Windows file name may hold.
NOT_IN_FILE_NAMES = frozenset('\\/:*?"<>|')

INSTALL_DIR = "%CE1%\\Kestrum"
PROGRAM = "Kestrum.exe"
SHORTCUT_DIR_NUMBER = 11  # %CE11%, the Start menu's Programs folder
SHORTCUT = "Kestrum.lnk"

ARCHITECTURE_ARM = 2577  # "StrongARM", the code the installers accept for ARM
OS_VERSION_MAX = (6, 99)
BUILD_NUMBER_MIN = 0
BUILD_NUMBER_MAX = 0xE0000000

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
    if not name or not (name.isascii() and name.isprintable()) or NOT_IN_FILE_NAMES & set(name):
        raise ValueError(f"provider {handle!r} gives the installer no file name")
    return name


def checked_os_version(version):
    """An image's subsystem version (major, minor) as the cabinet's lowest OS
    version: refuses one outside 1.0 .. OS_VERSION_MAX, or with a minor of
    more than two digits."""
    if not ((1, 0) <= version <= OS_VERSION_MAX and version[1] <= 99):
        highest = ".".join(map(str, OS_VERSION_MAX))
        raise ValueError(f"OS version {version[0]}.{version[1]} is outside 1.0 .. {highest}")
    return version


def installed_program_path():
    """Where a phone's installer puts the program."""
    return phone_folders.expand(INSTALL_DIR) + "\\" + PROGRAM


if __name__ == "__main__":
    print(installed_program_path(), end="")
