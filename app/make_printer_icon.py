#!/usr/bin/env python3
"""Writes app/printer.ico: a printer pictogram at 32x32 and 16x16, 32-bit with alpha.

    python3 app/make_printer_icon.py [OUTPUT]

Each size is drawn from its own rectangles, so the small one stays crisp instead of being
scaled down from the large one.
"""
import struct
import sys

OUTLINE = (0x2B, 0x34, 0x40)
BODY = (0x4A, 0x5A, 0x6E)
HIGHLIGHT = (0x7A, 0x8C, 0xA3)
SLOT = (0x16, 0x1B, 0x22)
PAPER = (0xFF, 0xFF, 0xFF)
PAPER_EDGE = (0x8A, 0x93, 0x9E)
INK = (0x9D, 0xA8, 0xB5)
LED = (0x3C, 0xCF, 0x4E)

# (x0, y0, x1, y1, colour), inclusive, drawn in order; y grows downwards.
SHAPES = {
    32: [
        (8, 2, 23, 12, PAPER_EDGE), (9, 3, 22, 12, PAPER),
        (11, 5, 20, 5, INK), (11, 8, 18, 8, INK),
        (2, 11, 29, 24, OUTLINE), (3, 12, 28, 23, BODY), (3, 12, 28, 13, HIGHLIGHT),
        (24, 15, 25, 16, LED),
        (6, 19, 25, 20, SLOT),
        (8, 20, 23, 29, PAPER_EDGE), (9, 20, 22, 28, PAPER),
        (11, 23, 20, 23, INK), (11, 26, 17, 26, INK),
    ],
    16: [
        (4, 1, 11, 6, PAPER_EDGE), (5, 2, 10, 6, PAPER), (6, 3, 9, 3, INK),
        (1, 5, 14, 11, OUTLINE), (2, 6, 13, 10, BODY), (2, 6, 13, 6, HIGHLIGHT),
        (12, 8, 12, 8, LED),
        (3, 9, 12, 9, SLOT),
        (4, 10, 11, 14, PAPER_EDGE), (5, 10, 10, 13, PAPER), (6, 12, 9, 12, INK),
    ],
}


def pixels(size):
    """Rows top to bottom of (r, g, b, a)."""
    rows = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for x0, y0, x1, y1, (r, g, b) in SHAPES[size]:
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                rows[y][x] = (r, g, b, 255)
    return rows


def icon_image(size):
    """BITMAPINFOHEADER, bottom-up BGRA pixels and the AND mask (set where transparent)."""
    rows = pixels(size)
    mask_stride = (size + 31) // 32 * 4
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else 'app/printer.ico'
    sizes = (32, 16)
    images = [icon_image(size) for size in sizes]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        data += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(output, 'wb') as f:
        f.write(data + b''.join(images))


if __name__ == '__main__':
    main()
