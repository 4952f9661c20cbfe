#!/usr/bin/env python3
"""Hostile films: a corpus of named inputs that lie about themselves, made
byte by byte at test time (nothing of it is kept in the tree).

    zxhostile.py list                      names and what each film is
    zxhostile.py write DIR [NAME...]       writes the films (NAME.zxf, or
                                           NAME.exe for executable trailers)
        --player EXE                       the program the executables carry
                                           (default: a minimal Windows program)

Every film is written here from the format as the loader reads it (see
core/zxLoader.h, engine/zxFrameDecoder.h and core/UzxCursor_new.h); the
frame records, cursor records, palette changes, LZMA-alone streams and
cabinets are all made by this file with the standard library, so that any
field can hold any value. Films named "valid-..." are of extreme but legal
shapes and must load, export and play; every other one must be refused or
played as far as it holds up, with a clear message, without a crash, a
hang, unbounded memory or files left behind.

Used by tests/hostile/zxtool_hostile.py (every film through zxtool) and
tests/e2e/test_hostile.py (every film through the player under Wine).
"""
import argparse
import lzma
import math
import os
import random
import struct
import sys
import zlib

# ------------------------------------------------------------------ format

SEGMENT_HEADER_SIZE = 54
DIRECTORY_ENTRY_SIZE = 6
COMPRESSION_CAB, COMPRESSION_LZMA = 0x0000, 0x2000
SOUND_MP3 = 0x0100
THREE_SAMPLES = 0x0001
INT32_MAX = 2 ** 31 - 1


def i32(v):
    return struct.pack("<i", v)


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def f32_bits(value):
    """The four bytes of a float32, NaN and infinities included."""
    return struct.pack("<f", value)


class Seg:
    """One segment: the header fields, the parts of its unpacked payload and
    how that is packed. Any `*_size`, `count`, offset or `packed` left None
    is what the parts really are; set, it is written as given."""

    def __init__(self, width=32, height=24, bpp=32, fps=10.0, frames=None, flags=None,
                 version=1, title=b"hostile", cursors=None, video=None, cursor_track=None,
                 palette_track=b"", sound=b"", packing="lzma", packed=None, pictures=None,
                 **overrides):
        self.pictures = pictures  # pixel values per frame, when the video codes them
        if pictures is not None and video is None:
            video, frames = encode_frames(pictures, bpp), len(pictures) if frames is None \
                else frames
        self.version, self.width, self.height, self.bpp, self.fps = version, width, height, bpp, fps
        self.fps_bits = overrides.pop("fps_bits", None)
        self.title = title
        self.cursors = [colour_cursor(8, 8)] if cursors is None else list(cursors)
        if video is None:
            if width > 0 and height > 0 and width * height <= 4096 and bpp in (24, 32):
                self.pictures = [pattern_pixels(width, height, k) for k in range(5)]
                video = encode_frames(self.pictures, bpp)
            else:
                video = one_run_video(bpp, 5)
            frames = 5 if frames is None else frames
        self.video = video
        self.frames = 0 if frames is None else frames
        if cursor_track is None:
            # One sample a frame, at most 64.
            cursor_track = b"".join(cursor_sample(0, 2 * k, k)
                                    for k in range(min(max(self.frames, 0), 64)))
        self.cursor_track, self.palette_track, self.sound = cursor_track, palette_track, sound
        self.packing, self.packed = packing, packed
        if flags is None:
            flags = COMPRESSION_CAB if packing.startswith("cab") else COMPRESSION_LZMA
            if sound:
                flags |= SOUND_MP3
        self.flags = flags
        known = {"title_size", "cursor_count", "video_size", "cursor_track_size",
                 "palette_track_size", "packed_size", "packed_offset", "sound_size",
                 "sound_offset"}
        unknown = set(overrides) - known
        if unknown:
            raise TypeError("unknown segment fields: %s" % sorted(unknown))
        self.o = overrides

    def expected_rgb(self):
        """The frames as RGB24 without the cursor, as the film must show
        them; None when the segment does not say."""
        if self.pictures is None:
            return None
        palette = [(0, 0, 0)] * 256
        track, at, out = self.palette_track, 0, []
        for pic in self.pictures:
            if self.bpp == 8 and at < len(track):
                n = track[at]
                start = track[at + 1] if n else 0
                for i in range(n):
                    b, g, r = track[at + 2 + 4 * i:at + 5 + 4 * i]
                    palette[start + i] = (r, g, b)
                at += 2 + 4 * n if n else 1
            if self.bpp == 8:
                out.append(b"".join(bytes(palette[v]) for v in pic))
            else:
                out.append(b"".join(bytes(((v >> 16) & 255, (v >> 8) & 255, v & 255))
                                    for v in pic))
        return out

    def payload(self):
        """The unpacked payload: int32 title size, length byte and text,
        cursor records, video, cursor track, palette track."""
        text = self.title[:255]
        title = bytes([len(text)]) + text
        out = [i32(self.o.get("title_size", len(title))), title]
        out += self.cursors
        out += [self.video, self.cursor_track, self.palette_track]
        return b"".join(out)

    def packed_bytes(self):
        if self.packed is not None:
            return self.packed
        payload = self.payload()
        if self.packing == "lzma":
            return lzma_alone(payload)
        if self.packing == "cab":
            return cabinet([("payload.bin", payload)], compress=True)
        if self.packing == "cab-stored":
            return cabinet([("payload.bin", payload)], compress=False)
        if self.packing == "raw":
            return payload
        raise ValueError("packing " + self.packing)

    def encode(self):
        """The segment's bytes: its 54-byte header, the packed payload and the sound."""
        packed = self.packed_bytes()
        o = self.o
        fps = self.fps_bits if self.fps_bits is not None else f32_bits(self.fps)
        header = b"".join([
            bytes([self.version]), i32(self.width), i32(self.height), bytes([self.bpp & 0xFF]),
            fps, i32(self.flags), i32(self.frames),
            i32(o.get("cursor_count", len(self.cursors))),
            i32(o.get("cursor_track_size", len(self.cursor_track))),
            i32(o.get("palette_track_size", len(self.palette_track))),
            i32(o.get("video_size", len(self.video))),
            i32(o.get("packed_size", len(packed))),
            i32(o.get("packed_offset", SEGMENT_HEADER_SIZE)),
            i32(o.get("sound_size", len(self.sound))),
            i32(o.get("sound_offset", SEGMENT_HEADER_SIZE + len(packed))),
        ])
        assert len(header) == SEGMENT_HEADER_SIZE
        return header + packed + self.sound


def film(items, count=None, offsets=None):
    """A film: int32 entry count, the directory (int32 offset, int16 kind),
    then the items in entry order. items are Seg (kind 1) or (kind, bytes)."""
    bodies, kinds = [], []
    for item in items:
        if isinstance(item, Seg):
            kinds.append(1)
            bodies.append(item.encode())
        else:
            kinds.append(item[0])
            bodies.append(item[1])
    out = [i32(len(items) if count is None else count)]
    offset = 4 + DIRECTORY_ENTRY_SIZE * len(items)
    for n, (kind, body) in enumerate(zip(kinds, bodies)):
        at = offsets[n] if offsets is not None and offsets[n] is not None else offset
        out.append(i32(at) + struct.pack("<h", kind))
        offset += len(body)
    return b"".join(out + bodies)


def executable(program, film_bytes, language=b"", film_size=None, language_size=None):
    """A self-playing executable: the program, the language block and its
    int32 size L, the film and its int32 size F (read from the end)."""
    return b"".join([program, language, i32(len(language) if language_size is None
                                            else language_size),
                     film_bytes, i32(len(film_bytes) if film_size is None else film_size)])


def minimal_program():
    """A Windows program image of 400 bytes: DOS header, PE header, one
    section of 100 bytes at 300 that ends the image."""
    p = bytearray(400)
    p[0:2] = b"MZ"
    p[60] = 64
    p[64:68] = b"PE\0\0"
    p[70] = 1  # one section
    s = 64 + 24
    p[s + 16] = 100  # raw size
    p[s + 20:s + 22] = (300).to_bytes(2, "little")  # raw offset
    return bytes(p)


# ---------------------------------------------------------- frame records

RUN_SIZE = {8: 2, 24: 5, 32: 5}


def frame_record(runs, bpp=32, length=None, run_count=None, padding=b""):
    """A frame record: int32 length (whole record), int32 run count, the runs
    (8 bits: index, count byte; 24/32 bits: blue, green, red, uint16 count),
    then padding that the length covers."""
    body = bytearray()
    for value, count in runs:
        if bpp == 8:
            body += bytes([value & 0xFF, count])
        else:
            body += bytes([value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF])
            body += struct.pack("<H", count)
    body += padding
    n = len(runs) if run_count is None else run_count
    return i32(8 + len(body) if length is None else length) + i32(n) + bytes(body)


def runs_of(values, limit):
    """Run-length coding of a sequence of pixel values, runs up to limit."""
    runs = []
    for v in values:
        if runs and runs[-1][0] == v and runs[-1][1] < limit:
            runs[-1][1] += 1
        else:
            runs.append([v, 1])
    return [tuple(r) for r in runs]


def pattern_pixels(width, height, k):
    """Frame k of a test picture: bands that move one pixel a frame."""
    return [((x + y + k) // 4 % 7) * 0x203040 & 0xFFFFFF for y in range(height)
            for x in range(width)]


def encode_frames(pictures, bpp=32):
    """Frame records coding each picture as XOR against the one before
    (the first against black)."""
    limit = 255 if bpp == 8 else 65535
    before = None
    out = []
    for pic in pictures:
        diff = pic if before is None else [a ^ b for a, b in zip(pic, before)]
        out.append(frame_record(runs_of(diff, limit), bpp))
        before = pic
    return b"".join(out)


def one_run_video(bpp, frames):
    """Frame records of one run each, for pictures too large (or depths too
    odd) to code a pattern for."""
    limit = 255 if bpp == 8 else 65535
    return b"".join(frame_record([(k * 0x102030 + 1, limit)], bpp if bpp in RUN_SIZE else 32)
                    for k in range(frames))


def palette_change(start, entries, count=None):
    """A palette change: uint8 N, uint8 S, N x (blue, green, red, 0); a
    change of no entries is the byte 0 alone."""
    n = len(entries) if count is None else count
    if n == 0:
        return b"\0"
    return bytes([n & 0xFF, start & 0xFF]) + b"".join(bytes([b, g, r, 0]) for r, g, b in entries)


# -------------------------------------------------------------- cursors

def cursor_record(hot=(0, 0), mask=(b"", 0, 0, 1), colour=(b"", 0, 0, 0), mask_count=None,
                  colour_count=None):
    """A cursor record: int32 hot spot x, y; mask (int32 byte count, int32
    width, int32 height, uint8 depth, the bytes); colour the same."""
    def image(bits, w, h, depth, count):
        return i32(len(bits) if count is None else count) + i32(w) + i32(h) + \
            bytes([depth & 0xFF]) + bits
    return i32(hot[0]) + i32(hot[1]) + image(*mask, mask_count) + image(*colour, colour_count)


def colour_cursor(w, h, hot=(1, 1), bgra=None):
    """A 32-bit colour cursor (mask all zeros, so the colour shows as it is)."""
    mask = bytes((w + 15) // 16 * 2 * h)
    colour = bgra if bgra is not None else bytes([40, 200, 250, 0]) * (w * h)
    return cursor_record(hot, (mask, w, h, 1), (colour, w, h, 32))


def cursor_sample(cursor, x, y):
    return struct.pack("<HHH", cursor & 0xFFFF, x & 0xFFFF, y & 0xFFFF)


# ----------------------------------------------------------------- LZMA

def lzma_alone(data, size=None, dictionary=None, preset=6):
    """An LZMA-alone stream: properties byte, uint32 dictionary size, uint64
    size of the decoded data (the real one unless size is given), the data."""
    stream = lzma.compress(data, format=lzma.FORMAT_ALONE,
                           filters=[{"id": lzma.FILTER_LZMA1, "preset": preset,
                                     "dict_size": 1 << 20}])
    head = bytearray(stream[:13])
    if dictionary is not None:
        head[1:5] = struct.pack("<I", dictionary)
    head[5:13] = struct.pack("<Q", len(data) if size is None else size)
    return bytes(head) + stream[13:]


# ------------------------------------------------------------- cabinets

def cabinet(members, compress=False, files=None, folders=None, sizes=None, cut=None):
    """A cabinet with one folder holding members [(name, bytes)] end to end,
    in data blocks of 32 KiB, stored or MSZIP ("CK" and a raw deflate
    stream each). files, folders: header counts to write instead of the
    real ones; sizes: member sizes to write instead; cut: keep only that
    many bytes of the whole."""
    data = b"".join(m[1] for m in members)
    blocks = []
    for at in range(0, max(len(data), 1), 32768):
        chunk = data[at:at + 32768]
        if compress:
            c = zlib.compressobj(9, zlib.DEFLATED, -15)
            packed = b"CK" + c.compress(chunk) + c.flush()
        else:
            packed = chunk
        blocks.append(struct.pack("<IHH", 0, len(packed), len(chunk)) + packed)
    names = [m[0].encode("latin-1") + b"\0" for m in members]
    header_size, folder_size = 36, 8
    files_at = header_size + folder_size
    data_at = files_at + sum(16 + len(n) for n in names)
    total = data_at + sum(len(b) for b in blocks)
    out = bytearray()
    out += b"MSCF" + struct.pack("<IIIIIBBHHHHH", 0, total, 0, files_at, 0, 3, 1,
                                 1 if folders is None else folders,
                                 len(members) if files is None else files, 0, 0x1234, 0)
    out += struct.pack("<IHH", data_at, len(blocks), 1 if compress else 0)
    offset = 0
    for n, ((name, body), raw) in enumerate(zip(members, names)):
        size = len(body) if sizes is None or sizes[n] is None else sizes[n]
        out += struct.pack("<IIHHHH", size, offset, 0, 0x5821, 0x6000, 0x20) + raw
        offset += len(body)
    for b in blocks:
        out += b
    assert len(out) == total
    return bytes(out if cut is None else out[:cut])


# ---------------------------------------------------------------- sound

def id3_tag(size=200):
    """An ID3v2.3 tag of size bytes of frames (all padding), nothing after it."""
    syncsafe = bytes([(size >> 21) & 0x7F, (size >> 14) & 0x7F, (size >> 7) & 0x7F, size & 0x7F])
    return b"ID3\x03\x00\x00" + syncsafe + bytes(size)


def noise(n, seed):
    r = random.Random(seed)
    return bytes(r.getrandbits(8) for _ in range(n))


# --------------------------------------------------------------- corpus

class Case:
    """A named hostile input. build(program) returns its bytes; program is
    the Windows program an executable carries (cases with exe=True are
    whole executables, the others films to pack or to open)."""

    def __init__(self, name, what, build, exe=False, valid=False, ci=False, slow=False):
        self.name, self.what, self.build, self.exe, self.valid = name, what, build, exe, valid
        self.slow = slow  # takes minutes: only in runs of the whole corpus
        self.ci = ci  # in the player run of CI
        self.expected = None  # frames as RGB24 without the cursor, when known

    @property
    def file_name(self):
        return self.name + (".exe" if self.exe else ".zxf")


def _valid_8bit():
    w, h, frames = 16, 8, 6
    pics = [[(x + k) % 4 for y in range(h) for x in range(w)] for k in range(frames)]
    palette = palette_change(0, [(200, 40, 40), (40, 200, 40), (40, 40, 200), (250, 250, 250)])
    palette += b"".join(palette_change(k % 4, [(k * 40 % 256, 255 - k * 30, 90)])
                        for k in range(1, frames - 1))
    palette += palette_change(0, [])
    return Seg(w, h, 8, pictures=pics, palette_track=palette, title=b"8-bit palette")


def _lzma_bomb_stream():
    # 8 MiB of zeros coded in a few kilobytes, under a header announcing 4 GiB.
    return lzma_alone(bytes(8 << 20), size=4 << 30)


def _directory_100000():
    base = Seg().encode()
    n = 100000
    # Every entry names the one segment behind the directory.
    return i32(n) + (i32(4 + DIRECTORY_ENTRY_SIZE * n) + struct.pack("<h", 1)) * n + base


def _big_record():
    # One record of 16 MiB and 16 bytes: all runs a picture needs, then
    # padding; larger than a block of the player's queue.
    length = (16 << 20) + 16
    runs = [(0x4080C0, 32 * 24)]
    rec = frame_record(runs, 32, length=length, padding=bytes(length - 8 - 5))
    return Seg(video=rec + frame_record([(0x010101, 32 * 24)]), frames=2)


def _segments():
    """(name, what, segment) of one-segment films."""
    s = []

    def add(name, what, seg, ci=False):
        s.append((name, what, seg, ci))

    # Shapes that are legal, however odd.
    add("valid-base", "32 x 24 at 32 bits, 5 frames, a colour cursor and its track: the "
        "reference every other case bends", Seg(), ci=True)
    add("valid-65536x1", "65,536 x 1 at 32 bits: a row longer than a run can cover",
        Seg(65536, 1, 32, pictures=[[0x102030 * (k + 1)] * 65535 + [0x302010 + k]
                                    for k in range(3)]))
    add("valid-1x1", "1 x 1 at 32 bits", Seg(1, 1, pictures=[[0x405060 + 3 * k] for k in range(4)],
                                             cursors=[colour_cursor(1, 1, (0, 0))]), ci=True)
    add("valid-8bit-palette", "16 x 8 at 8 bits: a palette change with every frame (one "
        "entry, then none)", _valid_8bit(), ci=True)
    add("valid-cabinet", "the reference packed as an MSZIP cabinet", Seg(packing="cab"))

    # Frame records.
    add("runs-beyond-picture", "a record whose runs cover 65,535 x 3 pixels of a 32 x 24 "
        "picture", Seg(video=frame_record([(0xFF0000, 65535)] * 3) +
                       frame_record([(0x00FF00, 768)]), frames=2), ci=True)
    add("record-length-0", "the first frame record says its length is 0",
        Seg(video=frame_record([(0x808080, 768)], length=0), frames=1), ci=True)
    add("record-length-negative", "the first frame record says its length is -8",
        Seg(video=frame_record([(0x808080, 768)], length=-8), frames=1))
    add("record-length-past-data", "a frame record 1,000,000 bytes long in 21 bytes of video",
        Seg(video=frame_record([(0x808080, 768)], length=1000000) + bytes(8), frames=1))
    add("record-longer-than-block", "a frame record of 16 MiB + 16 bytes (more than a block of "
        "the player's queue), then a small one", _big_record())
    add("record-run-count-huge", "a frame record of 13 bytes announcing 2^31-1 runs",
        Seg(video=frame_record([(0x808080, 768)], run_count=INT32_MAX), frames=1))
    add("frames-fewer-records", "a segment of 50 frames with 5 frame records",
        Seg(frames=50), ci=True)

    # Palette changes (8 bits).
    seg = _valid_8bit()
    seg.palette_track = palette_change(200, [(1, 2, 3)] * 100) + seg.palette_track[2 + 4 * 4:]
    add("palette-past-255", "an 8-bit segment whose first palette change writes 100 entries "
        "from entry 200", seg)
    seg = _valid_8bit()
    seg.palette_track = palette_change(0, [(9, 9, 9)] * 10, count=50)
    add("palette-cut-short", "an 8-bit segment whose palette track ends inside a change "
        "announcing 50 entries (10 there)", seg)

    # Titles.
    add("title-size-257", "the title size is 257 (the field holds 256)", Seg(title_size=257),
        ci=True)
    add("title-size-negative", "the title size is -5", Seg(title_size=-5))
    add("title-size-max", "the title size is 2^31-1", Seg(title_size=INT32_MAX))

    # Cursor records and the cursor track.
    add("cursor-mask-count-short", "a cursor whose mask byte count (4) is less than its 32 x 32 "
        "mask needs", Seg(cursors=[cursor_record((0, 0), (bytes(4), 32, 32, 1))]))
    add("cursor-colour-count-past-payload", "a cursor whose colour byte count (1,000,000) runs "
        "past the payload", Seg(cursors=[cursor_record(
            (0, 0), (bytes(16), 8, 8, 1), (bytes(256), 8, 8, 32), colour_count=1000000)]),
        ci=True)
    add("cursor-huge-size", "a cursor of 2^31-1 x 2^31-1 pixels with 16 mask bytes",
        Seg(cursors=[cursor_record((0, 0), (bytes(16), INT32_MAX, INT32_MAX, 1),
                                   (bytes(16), INT32_MAX, INT32_MAX, 32))]))
    add("cursor-negative-size", "a cursor of -32 x -32 pixels with byte counts -100",
        Seg(cursors=[cursor_record((-5, -5), (b"", -32, -32, 1), (b"", -32, -32, 32),
                                   mask_count=-100, colour_count=-100)]))
    add("cursor-hot-spot-extreme", "a cursor whose hot spot is (2^31-1, -2^31)",
        Seg(cursors=[colour_cursor(8, 8, (INT32_MAX, -2 ** 31))]))
    add("cursor-count-max", "the header announces 2^31-1 cursor records", Seg(
        cursor_count=INT32_MAX))
    add("cursor-track-names-65535", "the cursor track names cursor 65,535 (there is one)",
        Seg(cursor_track=b"".join(cursor_sample(65535, 3, 3) for _ in range(5))), ci=True)
    add("cursor-track-odd-size", "a cursor track of 31 bytes (5 samples and 1 byte)",
        Seg(cursor_track=b"".join(cursor_sample(0, k, k) for k in range(5)) + b"\x01"))
    add("cursor-track-size-past-payload", "the header's cursor track size is 10,000,000",
        Seg(cursor_track_size=10000000))

    # Sizes in the header against the payload.
    add("video-size-past-payload", "the header's video size is 100,000,000 bytes",
        Seg(video_size=100000000))
    add("video-size-negative", "the header's video size is -1", Seg(video_size=-1))
    add("palette-size-negative", "the header's palette track size is -100 in an 8-bit segment",
        _with(_valid_8bit(), palette_track_size=-100))

    # Offsets and sizes in the film.
    add("payload-offset-negative", "the packed payload lies at -100 from the segment",
        Seg(packed_offset=-100))
    add("payload-offset-past-film", "the packed payload lies at 100,000,000",
        Seg(packed_offset=100000000), ci=True)
    add("payload-size-past-film", "the packed payload is 100,000,000 bytes long",
        Seg(packed_size=100000000))
    add("payload-size-negative", "the packed payload is -1 bytes long", Seg(packed_size=-1))
    add("sound-offset-negative", "MP3 sound at -1,000 from the segment",
        Seg(sound=noise(100, 1), sound_offset=-1000))
    add("sound-offset-past-film", "MP3 sound at 100,000,000", Seg(sound=noise(100, 2),
                                                                   sound_offset=100000000))
    add("sound-size-past-film", "MP3 sound 100,000,000 bytes long",
        Seg(sound=noise(100, 3), sound_size=100000000))

    # Picture sizes.
    for name, w, h, what, ci in (
            ("width-0", 0, 24, "0 x 24", False), ("height-0", 32, 0, "32 x 0", False),
            ("width-negative", -64, 24, "-64 x 24", False),
            ("height-negative", 32, -64, "32 x -64", False),
            ("width-65536", 65536, 24, "65,536 x 24 at 32 bits (6 MiB a picture)", False),
            ("height-65536", 32, 65536, "32 x 65,536 at 32 bits", False),
            ("size-46341", 46341, 46341, "46,341 x 46,341: w x h x 4 overflows 32 bits",
             False),
            ("size-65536", 65536, 65536, "65,536 x 65,536", False),
            ("size-100000", 100000, 100000, "100,000 x 100,000", True),
            ("size-max", INT32_MAX, INT32_MAX, "2^31-1 x 2^31-1", False)):
        add(name, "a picture of %s with five frame records" % what,
            Seg(w, h, 32), ci=ci)

    # Frame counts and rates.
    add("frames-0", "a segment of 0 frames (5 records)", Seg(frames=0))
    add("frames-negative", "a segment of -5 frames", Seg(frames=-5))
    add("frames-max", "a segment of 2^31-1 frames (5 records)", Seg(frames=INT32_MAX), ci=True)
    for name, value, what in (("fps-0", 0.0, "0"), ("fps-nan", math.nan, "NaN"),
                              ("fps-infinity", math.inf, "infinity"),
                              ("fps-negative", -10.0, "-10"), ("fps-1e30", 1e30, "1e30")):
        add(name, "a frame rate of %s" % what, Seg(fps=value), ci=name == "fps-nan")

    # Depths.
    for bpp in (0, 16, 255):
        add("bpp-%d" % bpp, "%d bits per pixel (no run format)" % bpp, Seg(bpp=bpp),
            ci=bpp == 16)
    add("version-2", "a segment of version 2", Seg(version=2))

    # Cabinets.
    good = Seg().payload()
    add("cab-truncated", "a cabinet cut off in its data blocks",
        Seg(packing="cab", packed=cabinet([("payload.bin", good)], cut=120)), ci=True)
    add("cab-files-ffff", "a cabinet whose header announces 65,535 files (there is one)",
        Seg(packing="cab", packed=cabinet([("payload.bin", good)], files=0xFFFF)))
    add("cab-folders-ffff", "a cabinet whose header announces 65,535 folders (there is one)",
        Seg(packing="cab", packed=cabinet([("payload.bin", good)], folders=0xFFFF)))
    add("cab-member-dotdot", "a cabinet whose first member is ..\\..\\zxhostile-escaped, "
        "then the payload", Seg(packing="cab", packed=cabinet(
            [("..\\..\\zxhostile-escaped", b"escaped\n"), ("payload.bin", good)])), ci=True)
    add("cab-member-dotdot-last", "a cabinet whose only member is ..\\..\\zxhostile-escaped",
        Seg(packing="cab", packed=cabinet([("..\\..\\zxhostile-escaped", good)])))
    add("cab-member-absolute", "a cabinet whose first member is \\tmp\\zxhostile-escaped, then "
        "the payload", Seg(packing="cab", packed=cabinet(
            [("\\tmp\\zxhostile-escaped", b"escaped\n"), ("payload.bin", good)])))
    add("cab-member-drive", "a cabinet whose first member is C:\\zxhostile-escaped, then the "
        "payload", Seg(packing="cab", packed=cabinet(
            [("C:\\zxhostile-escaped", b"escaped\n"), ("payload.bin", good)])))
    add("cab-member-larger", "a cabinet member that says it is 1,000,000 bytes (its folder "
        "holds far fewer)", Seg(packing="cab", packed=cabinet([("payload.bin", good)],
                                                              sizes=[1000000])))
    add("cab-garbage", "cabinet compression over 300 random bytes",
        Seg(packing="cab", packed=noise(300, 4)))

    # LZMA streams.
    lz = lzma_alone(good)
    add("lzma-truncated", "an LZMA stream cut in half", Seg(packed=lz[:len(lz) // 2]))
    add("lzma-garbage", "LZMA compression over 300 random bytes", Seg(packed=noise(300, 5)),
        ci=True)
    add("lzma-size-larger", "an LZMA stream announcing 10,000,000 decoded bytes",
        Seg(packed=lzma_alone(good, size=10000000)))
    add("lzma-size-smaller", "an LZMA stream announcing half its decoded bytes",
        Seg(packed=lzma_alone(good, size=len(good) // 2)))
    add("lzma-huge-dictionary", "an LZMA stream asking for a dictionary of 4 GiB - 1",
        Seg(packed=lzma_alone(good, dictionary=0xFFFFFFFF)))
    add("lzma-bomb", "8 MiB of zeros in an LZMA stream of a few kilobytes, announcing 4 GiB",
        Seg(packed=_lzma_bomb_stream()), ci=True)

    # Sound.
    add("sound-garbage", "MP3 sound of 2,000 random bytes", Seg(sound=noise(2000, 6)))
    add("sound-tiny", "MP3 sound of 3 bytes", Seg(sound=b"\xff\xfb\x90"))
    add("sound-id3-only", "MP3 sound that is an ID3 tag and nothing else",
        Seg(sound=id3_tag()), ci=True)
    return s


def _with(seg, **overrides):
    seg.o.update(overrides)
    return seg


def corpus():
    """Every case, in a fixed order."""
    cases = []
    for name, what, seg, ci in _segments():
        case = Case(name, what, lambda program, seg=seg: film([seg]),
                    valid=name.startswith("valid-"), ci=ci)
        if case.valid:
            case.expected = seg.expected_rgb()
        cases.append(case)

    def add(name, what, build, exe=False, ci=False, slow=False):
        cases.append(Case(name, what, build, exe=exe, ci=ci, slow=slow))

    one = Seg()
    add("directory-count-0", "a directory of 0 entries before a segment",
        lambda p: film([one], count=0))
    add("directory-count-negative", "a directory of -1 entries",
        lambda p: film([one], count=-1))
    add("directory-count-100000", "a directory announcing 100,000 entries in a film of one",
        lambda p: film([one], count=100000), ci=True)
    add("directory-count-max", "a directory announcing 2^31-1 entries",
        lambda p: film([one], count=INT32_MAX))
    add("directory-100000-same-segment", "100,000 entries, all naming the one segment",
        lambda p: _directory_100000(), ci=True)
    add("entry-offset-negative", "a directory entry at -1,000",
        lambda p: film([one], offsets=[-1000]))
    add("entry-offset-past-film", "a directory entry at 100,000,000",
        lambda p: film([one], offsets=[100000000]), ci=True)
    add("entry-kind-other", "an entry of kind 7 (skipped) before a segment",
        lambda p: film([(7, noise(40, 7)), one]))
    add("second-segment-broken", "a good segment, then one whose payload is garbage",
        lambda p: film([one, Seg(packed=noise(200, 8))]))

    body = film([one])
    add("trailer-film-past-file", "an executable whose film size F is beyond the file",
        lambda p: executable(p, body, film_size=len(p) + len(body) + 1000), exe=True, ci=True)
    add("trailer-film-negative", "an executable whose film size F is -1",
        lambda p: executable(p, body, film_size=-1), exe=True)
    add("trailer-film-0-language", "an executable whose film size F is 0 behind a language "
        "block", lambda p: executable(p, b"", language=b"Play=Go\r\n"), exe=True)
    add("trailer-language-past-film", "an executable whose language size L reaches before the "
        "file's start", lambda p: executable(p, body, language=b"Play=Go\r\n",
                                             language_size=len(p) + 100000), exe=True)
    add("trailer-language-into-program", "an executable whose language block would begin "
        "inside the program", lambda p: executable(p, body, language=b"Play=Go\r\n",
                                                   language_size=len(p) // 2), exe=True)
    return cases


def by_name(names=None):
    cases = corpus()
    if not names:
        return cases
    table = {c.name: c for c in cases}
    missing = [n for n in names if n not in table]
    if missing:
        raise SystemExit("zxhostile: no case %s (see `zxhostile.py list`)" % ", ".join(missing))
    return [table[n] for n in names]


def write(directory, cases, program=None):
    """Writes each case into directory; returns [(case, path)]."""
    program = program if program is not None else minimal_program()
    os.makedirs(directory, exist_ok=True)
    out = []
    for case in cases:
        path = os.path.join(directory, case.file_name)
        with open(path, "wb") as f:
            f.write(case.build(program))
        out.append((case, path))
    return out


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    sub.add_parser("list")
    w = sub.add_parser("write")
    w.add_argument("directory")
    w.add_argument("names", nargs="*")
    w.add_argument("--player")
    a = parser.parse_args(argv)
    if a.command == "list":
        for c in corpus():
            print("%-34s %s%s%s" % (c.file_name, c.what, " [CI]" if c.ci else "",
                                    " [slow]" if c.slow else ""))
        return 0
    program = None
    if a.player:
        with open(a.player, "rb") as f:
            program = f.read()
    for case, path in write(a.directory, by_name(a.names), program):
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
