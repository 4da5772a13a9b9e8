"""Writes KESTRUM.000, the binary setup file of a Windows CE installer
cabinet, in the layout that cabextract's wince_cab_format.html describes and
in the shape cabwiz gives it (docs/cabwiz-output.md): a 100-byte header, the
application name and provider, then the string, directory, file, registry
and link tables, back to back."""

import struct

import install_layout as layout
import installer  # wince_facts/, on the path install_layout sets

HEADER_SIZE = 100
# cabwiz ends every string, file name and header text with NULs up to a
# multiple of 4 bytes and counts them in its length.
TEXT_ALIGNMENT = 4
# One string per folder, as the published description lays a directory out;
# cabwiz writes the whole path as one string, which the installers read alike.
INSTALL_DIR_MEMBERS = tuple(layout.INSTALL_DIR.split("\\"))
# ARM's processor type where cabwiz writes 0 for any: the image runs on ARM
# alone, so another phone's installer refuses it instead of installing it.
PROCESSOR = installer.PROCESSOR_STRONGARM
DIRECTORY_ID = 1
LINK_ID = 1
LINK_TO_FILE = 1


def padded_text(text):
    raw = text.encode("ascii") + b"\0"
    return raw + b"\0" * (-len(raw) % TEXT_ALIGNMENT)


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
    return b"".join(with_length(id_list(i), padded_text(text)) for i, text in strings().items())


def directories_table():
    member_ids = range(1, len(INSTALL_DIR_MEMBERS) + 1)
    return with_length(id_list(DIRECTORY_ID), id_list(*member_ids, 0))


def files_table():
    file_id = layout.PROGRAM_FILE_ID
    return with_length(struct.pack("<HHHI", file_id, DIRECTORY_ID, file_id, 0),
                       padded_text(layout.PROGRAM))


def links_table():
    # No 0 after the name's string ids: cabwiz writes none, although the
    # published description shows one.
    return with_length(id_list(LINK_ID, 0, layout.SHORTCUT_DIR_NUMBER, layout.PROGRAM_FILE_ID,
                               LINK_TO_FILE), id_list(len(strings())))


def place(parts):
    """Lays the parts out after the header, back to back as cabwiz does (an
    empty part's offset is where the next begins), and returns the body and
    each part's offset."""
    body, offsets = b"", []
    for part in parts:
        offsets.append(HEADER_SIZE + len(body))
        body += part
    return body, offsets


def setup_file(os_version_min, provider):
    app = padded_text(layout.APP_NAME)
    provider = padded_text(layout.installer_provider(provider))
    tables = [strings_table(), directories_table(), files_table(), b"", b"", links_table()]
    body, offsets = place([app, provider] + tables)
    counts = (len(strings()), 1, 1, 0, 0, 1)
    # No unsupported platforms: cabwiz then gives length 0 at the strings' offset.
    header = struct.pack(
        "<4s11I6H6I8H", b"MSCE", 0, HEADER_SIZE + len(body), 0, 1, PROCESSOR,
        *os_version_min, *installer.OS_VERSION_MAX, installer.BUILD_NUMBER_MIN,
        installer.BUILD_NUMBER_MAX, *counts, *offsets[2:],
        offsets[0], len(app), offsets[1], len(provider), offsets[2], 0, 0, 0)
    return header + body
