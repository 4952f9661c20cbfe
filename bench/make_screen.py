#!/usr/bin/env python3
"""Writes a synthetic screen recording for the benchmarks.

Raw BGRA frames go to the file named by --frames (or standard output): a
desktop with a window in which text is typed line by line, the text area
scrolling when it is full, a clock that ticks, and now and then a menu that
opens and closes. Beside them, --cursor writes a PNG arrow and --track a
cursor track (tick,cursor,x,y) for `zxtool make`. The same arguments give
the same bytes.
"""
import argparse
import random
import struct
import sys
import zlib

TEXT_BG = (255, 255, 255)
INK = (30, 30, 30)
HALF = (150, 150, 150)


def png(width, height, rgba):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + rgba[y * width * 4:(y + 1) * width * 4] for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def arrow():
    w, h = 12, 19
    px = bytearray(w * h * 4)
    for y in range(h):
        for x in range(w):
            inside = x <= y * 0.62 and y < 17 - max(0, x - 4) // 2
            edge = inside and (x == 0 or x >= int(y * 0.62) or y >= 16 - max(0, x - 4) // 2)
            if inside:
                c = (0, 0, 0) if edge else (255, 255, 255)
                px[(y * w + x) * 4:(y * w + x) * 4 + 4] = bytes(c) + b"\xff"
    return png(w, h, bytes(px))


class Screen:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = bytearray(w * h * 4)
        for y in range(h):  # a desktop gradient
            row = bytes((90 + y * 60 // h, 60 + y * 40 // h, 20, 255)) * w
            self.px[y * w * 4:(y + 1) * w * 4] = row

    def fill(self, x0, y0, x1, y1, rgb):
        x0, y0, x1, y1 = max(0, x0), max(0, y0), min(self.w, x1), min(self.h, y1)
        if x0 >= x1:
            return
        row = bytes((rgb[2], rgb[1], rgb[0], 255)) * (x1 - x0)
        for y in range(y0, y1):
            at = (y * self.w + x0) * 4
            self.px[at:at + len(row)] = row

    def copy_rows(self, x0, x1, src, dst, n):
        """Moves n rows of columns x0..x1 from row src to row dst."""
        rows = [bytes(self.px[((src + i) * self.w + x0) * 4:((src + i) * self.w + x1) * 4]) for i in range(n)]
        for i, r in enumerate(rows):
            at = ((dst + i) * self.w + x0) * 4
            self.px[at:at + len(r)] = r

    def glyph(self, x, y, code):
        """A 6 x 9 character cell: seven rows of five pixels from code's bits, some grey."""
        rnd = random.Random(code)
        for gy in range(7):
            bits = rnd.getrandbits(5)
            for gx in range(5):
                if bits >> gx & 1:
                    self.fill(x + gx, y + gy + 1, x + gx + 1, y + gy + 2, INK if (gx + gy) % 3 else HALF)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--size", default="742x419")
    ap.add_argument("--frames-count", type=int, default=600)
    ap.add_argument("--frames", default="-")
    ap.add_argument("--cursor")
    ap.add_argument("--track")
    ap.add_argument("--samples", type=int, default=1)
    ap.add_argument("--icon-colours", type=int, default=0,
                    help="icons drawn from this many colours (default: any), so that a recording "
                    "of at most 256 colours can be made into an 8-bit film")
    a = ap.parse_args()
    w, h = (int(v) for v in a.size.split("x"))
    rnd = random.Random(7)
    s = Screen(w, h)
    # Desktop icons: small pictures of many colours.
    few = random.Random(11)
    icon_colours = [(few.randrange(256), few.randrange(256), few.randrange(256))
                    for _ in range(a.icon_colours)]
    for i in range(6):
        for y in range(32):
            for x in range(32):
                if icon_colours:
                    colour = icon_colours[rnd.randrange(len(icon_colours))]
                else:
                    colour = (rnd.randrange(256), rnd.randrange(256), rnd.randrange(256))
                s.fill(w - 26 + x - 32, 20 + i * 60 + y, w - 26 + x - 31, 21 + i * 60 + y, colour)
    # The window: title bar, menu bar, text area, status bar.
    wx0, wy0, wx1, wy1 = 20, 14, w - 30, h - 24
    s.fill(wx0, wy0, wx1, wy1, (212, 208, 200))
    s.fill(wx0 + 3, wy0 + 3, wx1 - 3, wy0 + 21, (10, 36, 106))
    for i, c in enumerate(b"Untitled - Notes"):
        s.glyph(wx0 + 8 + i * 7, wy0 + 7, c)
    tx0, ty0, tx1, ty1 = wx0 + 6, wy0 + 46, wx1 - 6, wy1 - 24
    s.fill(tx0, ty0, tx1, ty1, TEXT_BG)
    line_h, cell_w = 12, 7
    cols = (tx1 - tx0 - 8) // cell_w
    rows = (ty1 - ty0 - 4) // line_h
    row, col = 0, 0
    menu_open = -1
    out = sys.stdout.buffer if a.frames == "-" else open(a.frames, "wb")
    caret_at = None
    for k in range(a.frames_count):
        if caret_at:  # the caret goes before the text moves on
            s.fill(caret_at[0], caret_at[1], caret_at[0] + 1, caret_at[1] + line_h - 1, TEXT_BG)
        # Typing: one to three characters a frame, a new line now and then.
        for _ in range(rnd.choice((0, 1, 1, 2, 3, 4))):
            if col >= cols or (col > 10 and rnd.random() < 0.03):
                row, col = row + 1, 0
                if row >= rows:  # scroll the text area by one line
                    s.copy_rows(tx0, tx1, ty0 + 2 + line_h, ty0 + 2, (rows - 1) * line_h)
                    s.fill(tx0, ty0 + 2 + (rows - 1) * line_h, tx1, ty1, TEXT_BG)
                    row = rows - 1
            s.glyph(tx0 + 4 + col * cell_w, ty0 + 2 + row * line_h, rnd.randrange(33, 127))
            col += 1
        # A caret that blinks, and a clock in the status bar each second.
        caret = INK if k % 10 < 5 else TEXT_BG
        cx, cy = tx0 + 4 + col * cell_w, ty0 + 2 + row * line_h
        s.fill(cx, cy, cx + 1, cy + line_h - 1, caret)
        caret_at = (cx, cy)
        if k % 10 == 0:
            s.fill(wx1 - 60, wy1 - 20, wx1 - 6, wy1 - 6, (212, 208, 200))
            for i, c in enumerate(b"%02d:%02d" % (k // 600, k // 10 % 60)):
                s.glyph(wx1 - 56 + i * 7, wy1 - 18, c)
        # A menu that opens for a second now and then.
        if menu_open < 0 and rnd.random() < 0.01:
            menu_open = k
            saved = [bytes(s.px[((wy0 + 44 + y) * w + wx0 + 40) * 4:((wy0 + 44 + y) * w + wx0 + 160) * 4])
                     for y in range(120)]
            s.fill(wx0 + 40, wy0 + 44, wx0 + 160, wy0 + 164, (240, 240, 240))
            for i in range(8):
                for j in range(10):
                    s.glyph(wx0 + 48 + j * 7, wy0 + 50 + i * 14, rnd.randrange(65, 91))
        elif menu_open >= 0 and k - menu_open >= 10:
            for y, r in enumerate(saved):
                at = ((wy0 + 44 + y) * w + wx0 + 40) * 4
                s.px[at:at + len(r)] = r
            menu_open = -1
        out.write(s.px)
    out.flush()
    if a.cursor:
        with open(a.cursor, "wb") as f:
            f.write(arrow())
    if a.track:
        with open(a.track, "w") as f:
            f.write("tick,cursor,x,y\n")
            x, y = w // 2, h // 2
            for t in range(0, a.frames_count * a.samples, 2):
                x = min(w - 1, max(0, x + rnd.randrange(-6, 7)))
                y = min(h - 1, max(0, y + rnd.randrange(-4, 5)))
                f.write("%d,0,%d,%d\n" % (t, x, y))


if __name__ == "__main__":
    main()
