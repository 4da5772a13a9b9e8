"""What a Windows CE phone's installer takes from a cabinet, as the platform
publishes it; Kestrum's choices are packaging/install_layout.py."""

# The folder a Pocket PC, as the series' phones are, gives each macro, of
# %CE1%..%CE17%: "Windows CE Strings (PPC Only)", learn.microsoft.com/en-us/
# previous-versions/aa459003 (a Japanese phone names its Start menu's in
# Japanese); only those Kestrum's cabinets use. A macro stands only as a
# path's whole first folder (cabextract's wince_cab_format.html), in capitals
# (learn.microsoft.com/en-us/previous-versions/ee504636).
CE_FOLDERS = {"%CE1%": r"\Program Files", "%CE11%": r"\Windows\Start Menu\Programs"}
CE_FOLDER_MAX = 17

# What no file name holds ("Naming Files, Paths, and Namespaces",
# learn.microsoft.com/en-us/windows/win32/fileio/naming-a-file).
NOT_IN_FILE_NAMES = frozenset('\\/:*?"<>|')

# An ARM phone's SYSTEM_INFO.dwProcessorType, which the installer compares
# with a cabinet's, 0 standing for any ("Processor Type Reference",
# learn.microsoft.com/en-us/previous-versions/windows/embedded/aa924401).
PROCESSOR_STRONGARM = 2577

# The highest OS and the build numbers cabwiz wrote in cabinet B of
# docs/cabwiz-output.md; the installer refuses a phone outside them
# (CEDevice, learn.microsoft.com/en-us/previous-versions/windows/embedded/aa924393).
OS_VERSION_MAX = (6, 99)
BUILD_NUMBER_MIN, BUILD_NUMBER_MAX = 0, 0xE0000000


def expand(path, install_dir=None):
    """path with its first folder, a macro, as the phone's; else as it is."""
    first, separator, rest = path.partition("\\")
    folder = {**CE_FOLDERS, "%InstallDir%": install_dir}.get(first)
    return folder + separator + rest if folder else path
