#!/usr/bin/env python3
"""Builds a 16-colour .ico file from a text pixel grid.

Usage: make_icon.py SOURCE.txt OUTPUT.ico

Source format (see icons/*.txt):

    # comment lines and blank lines are ignored
    legend
    . transparent
    K black
    W white
    image 32
    <32 rows of 32 characters>
    image 16
    <16 rows of 16 characters>

Each legend line maps one character to one of the 16 standard Windows VGA
colours by name, or to "transparent". Images are written in the order given.
Every image uses the full standard palette, so the output depends only on the
grid and is byte-for-byte reproducible.
"""

import struct
import sys

# The standard 16-colour palette, in the order the 4-bit indices use.
VGA_PALETTE = [
    ("black", (0x00, 0x00, 0x00)),
    ("maroon", (0x80, 0x00, 0x00)),
    ("green", (0x00, 0x80, 0x00)),
    ("olive", (0x80, 0x80, 0x00)),
    ("navy", (0x00, 0x00, 0x80)),
    ("purple", (0x80, 0x00, 0x80)),
    ("teal", (0x00, 0x80, 0x80)),
    ("silver", (0xC0, 0xC0, 0xC0)),
    ("gray", (0x80, 0x80, 0x80)),
    ("red", (0xFF, 0x00, 0x00)),
    ("lime", (0x00, 0xFF, 0x00)),
    ("yellow", (0xFF, 0xFF, 0x00)),
    ("blue", (0x00, 0x00, 0xFF)),
    ("fuchsia", (0xFF, 0x00, 0xFF)),
    ("aqua", (0x00, 0xFF, 0xFF)),
    ("white", (0xFF, 0xFF, 0xFF)),
]
COLOUR_INDEX = {name: i for i, (name, _) in enumerate(VGA_PALETTE)}
TRANSPARENT = None


class SourceError(Exception):
    pass


def parse(text, path):
    """Returns a list of images; each image is a list of rows of palette
    indices, None marking a transparent pixel."""
    legend = {}
    images = []
    section = None
    size = 0
    rows = []

    def finish_image():
        if section == "image":
            if len(rows) != size:
                raise SourceError(f"{path}: image {size} has {len(rows)} rows")
            images.append(rows)

    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.rstrip()
        where = f"{path}:{number}"
        if not line or line.startswith("#"):
            continue
        words = line.split()
        if words == ["legend"]:
            finish_image()
            section = "legend"
            continue
        if words[0] == "image":
            finish_image()
            if len(words) != 2 or words[1] not in ("16", "32", "48"):
                raise SourceError(f"{where}: expected 'image 16|32|48'")
            section, size, rows = "image", int(words[1]), []
            continue
        if section == "legend":
            if len(words) != 2 or len(words[0]) != 1:
                raise SourceError(f"{where}: expected '<char> <colour>'")
            char, name = words
            if char in legend:
                raise SourceError(f"{where}: '{char}' defined twice")
            if name == "transparent":
                legend[char] = TRANSPARENT
            elif name in COLOUR_INDEX:
                legend[char] = COLOUR_INDEX[name]
            else:
                raise SourceError(f"{where}: unknown colour '{name}'")
        elif section == "image":
            if len(line) != size:
                raise SourceError(f"{where}: row has {len(line)} pixels, not {size}")
            if len(rows) == size:
                raise SourceError(f"{where}: too many rows for image {size}")
            try:
                rows.append([legend[c] for c in line])
            except KeyError as e:
                raise SourceError(f"{where}: character {e} not in legend") from None
        else:
            raise SourceError(f"{where}: text outside a 'legend' or 'image' section")
    finish_image()
    if not images:
        raise SourceError(f"{path}: no image")
    return images


def padded(row_bytes):
    """Bitmap rows are padded to whole 32-bit words."""
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def encode_image(rows):
    """One icon image: BITMAPINFOHEADER (double height: colour bits plus mask),
    palette, 4-bit colour bits, 1-bit AND mask, both bottom-up."""
    size = len(rows)
    xor = b""
    mask = b""
    for row in reversed(rows):
        # A transparent pixel is colour 0 under a set mask bit, so that
        # drawing it leaves the screen unchanged.
        indices = [0 if p is TRANSPARENT else p for p in row]
        xor += padded(bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2)))
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is TRANSPARENT else 0)
        mask += padded(bits.to_bytes(size // 8, "big"))
    header = struct.pack(
        "<IiiHHIIiiII",
        40,  # biSize
        size,  # biWidth
        size * 2,  # biHeight: colour bits and mask together
        1,  # biPlanes
        4,  # biBitCount
        0,  # biCompression: BI_RGB
        len(xor) + len(mask),  # biSizeImage
        0,
        0,
        0,  # biClrUsed: 0 means all 16
        0,
    )
    palette = b"".join(bytes((b, g, r, 0)) for _, (r, g, b) in VGA_PALETTE)
    return header + palette + xor + mask


def encode_icon(images):
    blobs = [encode_image(rows) for rows in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))  # ICONDIR: reserved, type icon, count
    offset = 6 + 16 * len(blobs)
    for rows, blob in zip(images, blobs):
        size = len(rows)
        out += struct.pack(
            "<BBBBHHII",
            size % 256,  # bWidth (0 would mean 256)
            size % 256,  # bHeight
            16,  # bColorCount
            0,  # bReserved
            1,  # wPlanes
            4,  # wBitCount
            len(blob),  # dwBytesInRes
            offset,  # dwImageOffset
        )
        offset += len(blob)
    return out + b"".join(blobs)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: make_icon.py SOURCE.txt OUTPUT.ico\n")
        return 2
    source, output = argv[1], argv[2]
    try:
        with open(source, encoding="ascii") as f:
            images = parse(f.read(), source)
    except (OSError, UnicodeDecodeError, SourceError) as e:
        sys.stderr.write(f"make_icon.py: {e}\n")
        return 1
    data = encode_icon(images)
    with open(output, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
