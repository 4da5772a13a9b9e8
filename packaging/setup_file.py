"""Writes KESTRUM.000, the binary setup file of a Windows CE installer
cabinet, in the layout that cabextract's wince_cab_format.html describes: a
100-byte header, the application name, provider and unsupported-platform
strings, then the string, directory, file, registry and link tables."""

import struct

import install_layout as layout

HEADER_SIZE = 100
# A directory is a list of strings, one a folder, of which only the first
# may be a %CEn% macro: an installer expands the macro only as a whole
# member, and would make a folder literally named "%CE1%\\Kestrum".
INSTALL_DIR_MEMBERS = tuple(layout.INSTALL_DIR.split("\\"))
DIRECTORY_ID = 1
LINK_ID = 1
LINK_TO_FILE = 1


def ascii_z(text):
    return text.encode("ascii") + b"\0"


def id_list(*ids):
    return struct.pack(f"<{len(ids)}H", *ids)


def with_length(head, payload):
    """Every entry ends in its payload, after the payload's length."""
    return head + struct.pack("<H", len(payload)) + payload


def strings():
    """The string table's texts by id: the install folder's members, then
    the shortcut's name."""
    return dict(enumerate(INSTALL_DIR_MEMBERS + (layout.SHORTCUT,), start=1))


def strings_table():
    return b"".join(with_length(id_list(i), ascii_z(text)) for i, text in strings().items())


def directories_table():
    member_ids = range(1, len(INSTALL_DIR_MEMBERS) + 1)
    return with_length(id_list(DIRECTORY_ID), id_list(*member_ids, 0))


def files_table():
    file_id = layout.PROGRAM_FILE_ID
    return with_length(struct.pack("<HHHI", file_id, DIRECTORY_ID, file_id, 0),
                       ascii_z(layout.PROGRAM))


def links_table():
    # No 0 after the name's string ids: the platform's own cabinet tool
    # writes none, although the published description shows one.
    return with_length(id_list(LINK_ID, 0, layout.SHORTCUT_DIR_NUMBER, layout.PROGRAM_FILE_ID,
                               LINK_TO_FILE), id_list(len(strings())))


def place(parts):
    """Lays the parts out after the header, each starting on a 4-byte
    boundary (the format allows any offset; this spares the installer
    unaligned reads), and returns the body and each part's offset."""
    body, offsets = b"", []
    for part in parts:
        body += b"\0" * (-(HEADER_SIZE + len(body)) % 4)
        offsets.append(HEADER_SIZE + len(body))
        body += part
    return body, offsets


def setup_file(os_version_min, provider):
    app, provider = ascii_z(layout.APP_NAME), ascii_z(layout.installer_provider(provider))
    tables = [strings_table(), directories_table(), files_table(), b"", b"", links_table()]
    body, offsets = place([app, provider] + tables)
    counts = (len(strings()), 1, 1, 0, 0, 1)
    header = struct.pack(
        "<4s11I6H6I8H", b"MSCE", 0, HEADER_SIZE + len(body), 0, 1, layout.ARCHITECTURE_ARM,
        *os_version_min, *layout.OS_VERSION_MAX, layout.BUILD_NUMBER_MIN,
        layout.BUILD_NUMBER_MAX, *counts, *offsets[2:],
        offsets[0], len(app), offsets[1], len(provider), 0, 0, 0, 0)
    return header + body
