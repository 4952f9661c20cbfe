#!/usr/bin/env python3
"""Writes the demo film's cursor images into a directory: arrow.png, a
32x32 colour arrow with transparency, and ibeam.cur, a 32x32 monochrome
I-beam whose hot spot is its middle."""
import struct
import sys
import zlib

out = sys.argv[1]
N = 32


def arrow_pixel(x, y):
    """RGBA of the arrow: a white shape with a black outline."""
    inside = x <= y and x + y // 2 <= 20 and y < 24
    edge = inside and (x == 0 or x == y or x + y // 2 >= 19 or y == 23)
    if not inside:
        return (0, 0, 0, 0)
    return (0, 0, 0, 255) if edge else (255, 255, 255, 255)


def png(path, pixel):
    rows = b"".join(b"\0" + bytes(c for x in range(N) for c in pixel(x, y)) for y in range(N))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", N, N, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(rows)))
        f.write(chunk(b"IEND", b""))


def ibeam_cur(path):
    """A 1-bit cursor: XOR image then AND mask, both bottom-up, rows of 4 bytes."""
    def on(x, y):
        return (x in (15, 16) and 4 <= y <= 27) or (y in (4, 27) and 11 <= x <= 20)

    def rows(bit):
        data = b""
        for y in reversed(range(N)):
            value = 0
            for x in range(N):
                if bit(x, y):
                    value |= 1 << (31 - x)
            data += struct.pack(">I", value)
        return data

    xor = rows(on)                    # set: invert the screen
    mask = rows(lambda x, y: not on(x, y))  # set: keep the screen
    header = struct.pack("<IiiHHIIiiII", 40, N, 2 * N, 1, 1, 0, len(xor) + len(mask), 0, 0, 2, 0)
    palette = b"\0\0\0\0\xff\xff\xff\0"
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", N, N, 2, 0, 16, 16, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


png(f"{out}/arrow.png", arrow_pixel)
ibeam_cur(f"{out}/ibeam.cur")
