#!/usr/bin/env python3
"""Draws icon 101 of nexolt-demo, a time-recording terminal, as a 32x32 icon at 32 bits
per pixel, and writes it as an .ico file.

    make-icon.py OUTPUT.ico
"""
import struct
import sys

SIZE = 32


def pixel(x, y):
    """The colour (r, g, b, a) at column x, row y (row 0 at the top)."""
    body = 4 <= x <= 27 and 2 <= y <= 29
    corner = (x in (4, 27)) and (y in (2, 29))
    if not body or corner:
        return (0, 0, 0, 0)
    if x in (4, 27) or y in (2, 29):
        return (40, 44, 52, 255)                      # housing edge
    if 7 <= x <= 24 and 5 <= y <= 12:                 # display with a clock line
        if y == 8 and 9 <= x <= 22 and x % 3 != 2:
            return (20, 60, 30, 255)
        return (120, 220, 140, 255)
    if 9 <= x <= 22 and 15 <= y <= 16:                # badge slot
        return (15, 15, 18, 255)
    if 19 <= y <= 27 and 7 <= x <= 24:                # keypad: 3 x 3 keys
        if (x - 7) % 6 < 4 and (y - 19) % 3 < 2:
            return (200, 205, 215, 255)
    return (70, 76, 88, 255)                          # housing


def icon_bytes():
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(SIZE)):                   # bottom-up
        rows.append(b"".join(struct.pack("BBBB", b, g, r, a) for r, g, b, a in
                             (pixel(x, y) for x in range(SIZE))))
    mask = b""
    for y in reversed(range(SIZE)):                   # AND mask: 1 where transparent
        bits = 0
        for x in range(SIZE):
            if pixel(x, y)[3] == 0:
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    image = header + b"".join(rows) + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(icon_bytes())
