#!/usr/bin/env python3
"""Draws one 16-colour .ico file from a text grid.

    make_icon.py LEGEND GRID OUTPUT

LEGEND lists "<char> <palette index> <name>" lines ('.' alone means
transparent). GRID holds one "size N" line per image followed by N rows of
N characters; '#' starts a comment line. Images are written in the order
they appear. Standard library only, so every build machine can run it.
"""

import struct
import sys

# The standard 16-colour VGA palette, in palette order, as (red, green, blue).
VGA_PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
TRANSPARENT = None
ALLOWED_SIZES = (16, 32)
BITS_PER_PIXEL = 4


class GridError(Exception):
    pass


def meaningful_lines(path):
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, start=1):
            line = raw.strip()
            if line and not line.startswith("#"):
                yield number, line


def read_legend(path):
    legend = {}
    for number, line in meaningful_lines(path):
        fields = line.split()
        where = f"{path}:{number}"
        if len(fields[0]) != 1:
            raise GridError(f"{where}: the key must be one character, got {fields[0]!r}")
        if len(fields) >= 2 and fields[1] == "transparent":
            legend[fields[0]] = TRANSPARENT
            continue
        if len(fields) < 2 or not fields[1].isdigit() or int(fields[1]) >= len(VGA_PALETTE):
            raise GridError(f"{where}: expected '<char> <palette index 0-15> <name>'")
        legend[fields[0]] = int(fields[1])
    return legend


def read_images(path, legend):
    images = []
    rows = None
    size = 0
    for number, line in meaningful_lines(path):
        where = f"{path}:{number}"
        if line.startswith("size"):
            if rows is not None and len(rows) != size:
                raise GridError(f"{where}: previous image has {len(rows)} rows, expected {size}")
            fields = line.split()
            if len(fields) != 2 or not fields[1].isdigit() or int(fields[1]) not in ALLOWED_SIZES:
                raise GridError(f"{where}: expected 'size 16' or 'size 32'")
            size = int(fields[1])
            rows = []
            images.append((size, rows))
            continue
        if rows is None:
            raise GridError(f"{where}: pixel row before any 'size' line")
        if len(rows) == size:
            raise GridError(f"{where}: more than {size} rows")
        if len(line) != size:
            raise GridError(f"{where}: row is {len(line)} pixels wide, expected {size}")
        unknown = sorted(set(line) - legend.keys())
        if unknown:
            raise GridError(f"{where}: characters not in the legend: {''.join(unknown)}")
        rows.append([legend[c] for c in line])
    if not images:
        raise GridError(f"{path}: no images")
    if len(rows) != size:
        raise GridError(f"{path}: last image has {len(rows)} rows, expected {size}")
    sizes = [s for s, _ in images]
    if len(set(sizes)) != len(sizes):
        raise GridError(f"{path}: two images of the same size")
    return images


def padded(row_bytes):
    # Bitmap rows are padded to whole 32-bit words.
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def encode_image(size, rows):
    """BITMAPINFOHEADER, palette, colour bits, then the AND mask, bottom-up."""
    colour = b""
    mask = b""
    for row in reversed(rows):
        indices = [0 if p is TRANSPARENT else p for p in row]
        colour += padded(bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2)))
        bits = 0
        for p in row:
            bits = (bits << 1) | (p is TRANSPARENT)
        mask += padded(bits.to_bytes(size // 8, "big"))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, BITS_PER_PIXEL, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA_PALETTE)
    return header + palette + colour + mask


def encode_icon(images):
    encoded = [(size, encode_image(size, rows)) for size, rows in images]
    out = struct.pack("<HHH", 0, 1, len(encoded))
    offset = len(out) + 16 * len(encoded)
    for size, data in encoded:
        out += struct.pack("<BBBBHHII", size, size, len(VGA_PALETTE), 0, 1, BITS_PER_PIXEL,
                           len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in encoded)


def main(argv):
    if len(argv) != 4:
        print("usage: make_icon.py LEGEND GRID OUTPUT", file=sys.stderr)
        return 2
    try:
        icon = encode_icon(read_images(argv[2], read_legend(argv[1])))
        with open(argv[3], "wb") as f:
            f.write(icon)
    except (GridError, OSError) as error:
        print(f"make_icon.py: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
