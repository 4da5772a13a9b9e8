"""The folders a phone's installer puts in place of a cabinet's %CEn%
macros: the platform's, not the program's choice."""

# "Windows CE Strings (PPC Only)", learn.microsoft.com/en-us/previous-versions/
# aa459003: each macro's folder on a Pocket PC, as the series' phones are.
# Only the macros the program's install folder names.
CE_STRINGS = {"%CE1%": "\\Program Files"}


def expand(path):
    """path with a leading macro member as the phone's folder; a macro
    stands only as a path's whole first folder (read_setup_file.py)."""
    first, separator, rest = path.partition("\\")
    return CE_STRINGS.get(first, first) + separator + rest
