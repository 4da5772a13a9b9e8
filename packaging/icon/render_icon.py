#!/usr/bin/python3
"""Turns the icon's pixel maps into the PNG files that icotool packs into
Kestrum.ico, and optionally into enlarged previews for the documentation.

Usage: render_icon.py --palette palette.txt --out DIR [--preview DIR] MAP...

Each MAP is a square text map, one character per pixel, named after its size
(kestrum-16.txt); DIR receives kestrum-<size>.png. Lines starting with '#'
are comments. With --preview, DIR also receives kestrum-<size>-x4.png and
kestrum-sizes.png (every size side by side at its real size)."""

import argparse
import os
import struct
import sys
import zlib

TRANSPARENT = (0, 0, 0, 0)
PREVIEW_SCALE = 4
SHEET_GAP = 4
# A 4-bit bitmap holds 16 colours; icotool gives transparent pixels black.
MAX_COLOURS = 16


class MapError(Exception):
    pass


def content_lines(path):
    with open(path, encoding="ascii") as source:
        for number, line in enumerate(source, 1):
            line = line.rstrip("\n")
            if line.strip() and not line.startswith("#"):
                yield number, line


def parse_colour(text):
    if text == "transparent":
        return TRANSPARENT
    if len(text) != 6 or any(c not in "0123456789abcdefABCDEF" for c in text):
        raise ValueError(text)
    return tuple(bytes.fromhex(text)) + (255,)


def read_palette(path):
    palette = {}
    for number, line in content_lines(path):
        fields = line.split()
        if len(fields) < 2 or len(fields[0]) != 1 or fields[0] in palette:
            raise MapError(f"{path}:{number}: expected a new one-character symbol and a colour")
        try:
            palette[fields[0]] = parse_colour(fields[1])
        except ValueError:
            raise MapError(f"{path}:{number}: colour {fields[1]!r} is not RRGGBB") from None
    if not palette:
        raise MapError(f"{path}: no colours")
    return palette


def read_pixel_map(path, palette):
    rows = []
    for number, line in content_lines(path):
        unknown = sorted(set(line) - set(palette))
        if unknown:
            raise MapError(f"{path}:{number}: symbols not in the palette: {''.join(unknown)}")
        rows.append([palette[symbol] for symbol in line])
    size = len(rows)
    if size == 0 or any(len(row) != size for row in rows):
        raise MapError(f"{path}: the map must be square, one line per row")
    named = os.path.basename(path)
    if named != f"kestrum-{size}.txt":
        raise MapError(f"{path}: a {size} x {size} map must be named kestrum-{size}.txt")
    colours = {pixel[:3] if pixel[3] else TRANSPARENT[:3] for row in rows for pixel in row}
    if len(colours) > MAX_COLOURS:
        raise MapError(f"{path}: {len(colours)} colours (transparent as black); "
                       f"a 4-bit icon holds {MAX_COLOURS}")
    return rows


def png_chunk(kind, payload):
    checksum = zlib.crc32(kind + payload)
    return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", checksum)


def png_bytes(rows):
    """8-bit RGBA, no filtering, no metadata: the same map gives the same file."""
    height, width = len(rows), len(rows[0])
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    scanlines = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(scanlines, 9)) + png_chunk(b"IEND", b""))


def enlarged(rows, scale):
    return [[pixel for pixel in row for _ in range(scale)] for row in rows for _ in range(scale)]


def side_by_side(images):
    """Bottom-aligned, as the sizes would stand on one line of a menu."""
    height = max(len(image) for image in images)
    sheet = [[] for _ in range(height)]
    for index, image in enumerate(images):
        gap = [TRANSPARENT] * (SHEET_GAP if index else 0)
        blank = [TRANSPARENT] * len(image)
        top = height - len(image)
        for y in range(height):
            sheet[y] += gap + (image[y - top] if y >= top else blank)
    return sheet


def write_png(path, rows):
    with open(path, "wb") as out:
        out.write(png_bytes(rows))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--palette", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--preview")
    parser.add_argument("maps", nargs="+")
    args = parser.parse_args(argv)
    try:
        palette = read_palette(args.palette)
        images = sorted((read_pixel_map(path, palette) for path in args.maps), key=len)
        if len({len(rows) for rows in images}) != len(images):
            raise MapError("two maps of the same size")
    except (MapError, OSError, UnicodeDecodeError) as error:
        print(f"render_icon: {error}", file=sys.stderr)
        return 1
    for rows in images:
        write_png(os.path.join(args.out, f"kestrum-{len(rows)}.png"), rows)
        if args.preview:
            write_png(os.path.join(args.preview, f"kestrum-{len(rows)}-x{PREVIEW_SCALE}.png"),
                      enlarged(rows, PREVIEW_SCALE))
    if args.preview:
        write_png(os.path.join(args.preview, "kestrum-sizes.png"), side_by_side(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
