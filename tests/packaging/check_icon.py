#!/usr/bin/python3
"""Checks an .ico against the icon's maps: icotool lists one entry per map, in
order, 4- or 8-bit; each entry is a bitmap with its AND mask (no PNG) that
decodes to its map, black under every masked pixel (anything else shows on the
phone's AND/XOR drawing). Usage: check_icon.py ICOTOOL PALETTE ICO MAP..."""

import os
import re
import struct
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging",
                                "icon"))
import render_icon as icon  # noqa: E402

BITMAP_HEADER = struct.Struct("<IiiHHIIiiII")


def decode(image, size):
    """The entry's RGBA rows, or why it is not a masked 4/8-bit bitmap."""
    if len(image) < BITMAP_HEADER.size or image.startswith(b"\x89PNG"):
        return "not a bitmap"
    header_size, width, height, _, bits, compression, *_, used, _ = BITMAP_HEADER.unpack_from(image)
    if (header_size, width, height, compression, bits in (4, 8)) != (40, size, 2 * size, 0, True):
        return f"header {header_size}, {width} x {height}, {bits}-bit, compression {compression}"
    stride, mask_stride = (size * bits + 31) // 32 * 4, (size + 31) // 32 * 4
    pixels = BITMAP_HEADER.size + 4 * (used or 1 << bits)
    mask = pixels + stride * size
    if len(image) != mask + mask_stride * size:
        return "bitmap and mask do not fill the entry"
    rows = []
    for y in reversed(range(size)):
        rows.append([])
        for x in range(size):
            index = image[pixels + y * stride + x * bits // 8] >> (8 - bits - x * bits % 8)
            blue, green, red = image[BITMAP_HEADER.size + 4 * (index & (1 << bits) - 1):][:3]
            if not image[mask + y * mask_stride + x // 8] >> (7 - x % 8) & 1:
                rows[-1].append((red, green, blue, 255))
            elif red or green or blue:
                return f"colour under the mask at {x}, {size - 1 - y}"
            else:
                rows[-1].append(icon.TRANSPARENT)
    return rows


def faults(icotool, ico_path, maps):
    listing = subprocess.run([icotool, "--list", ico_path], capture_output=True, text=True,
                             check=True).stdout
    entries = re.findall(r"--width=(\d+) --height=(\d+) --bit-depth=(\d+)", listing)
    wanted = [(str(len(rows)),) * 2 for rows in maps]
    if [entry[:2] for entry in entries] != wanted or any(e[2] not in ("4", "8") for e in entries):
        return [f"icotool lists {entries}, expected sizes {[w[0] for w in wanted]}, 4 or 8 bits"]
    with open(ico_path, "rb") as ico_file:
        ico = ico_file.read()
    found = []
    for index, rows in enumerate(maps):
        length, offset = struct.unpack_from("<II", ico, 6 + 16 * index + 8)
        decoded = decode(ico[offset:offset + length], len(rows))
        if decoded != rows:
            found.append(f"entry {len(rows)}: {decoded if isinstance(decoded, str) else 'pixels'}")
    return found


if __name__ == "__main__":
    icotool, palette_path, ico_path, *map_paths = sys.argv[1:]
    palette = icon.read_palette(palette_path)
    found = faults(icotool, ico_path, [icon.read_pixel_map(path, palette) for path in map_paths])
    for fault in found:
        print(f"check_icon: {fault}", file=sys.stderr)
    sys.exit(1 if found else 0)
