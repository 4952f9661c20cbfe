#!/usr/bin/env python3
"""The built player as zxtool pack takes it:

    player_file_test.py PLAYER.exe OBJDUMP

- it carries no debug sections and no symbols, and links to PLAYER.exe.debug
  by name and checksum (.gnu_debuglink), which carries the debug sections
  and the symbols;
- behind the program image (as the loader measures it) lie exactly eight
  zero bytes: the empty trailer.
"""
import os
import struct
import subprocess
import sys
import zlib


def sections(objdump, path):
    out = subprocess.run([objdump, "-h", path], check=True, capture_output=True, text=True).stdout
    names = []
    for line in out.splitlines():
        fields = line.split()
        if len(fields) >= 7 and fields[0].isdigit():
            names.append(fields[1])
    return names


def symbol_count(objdump, path):
    out = subprocess.run([objdump, "-t", path], check=True, capture_output=True, text=True).stdout
    return sum(1 for line in out.splitlines() if line.startswith("["))


def section_data(data, wanted):
    """The raw bytes of the section named wanted (a long name stands in the
    string table behind the symbols, as "/offset")."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, = struct.unpack_from("<H", data, pe + 6)
    symbols, symbol_count = struct.unpack_from("<II", data, pe + 12)
    optional, = struct.unpack_from("<H", data, pe + 20)
    table = pe + 24 + optional
    for i in range(count):
        at = table + 40 * i
        name = data[at:at + 8].rstrip(b"\0").decode()
        if name.startswith("/"):
            start = symbols + 18 * symbol_count + int(name[1:])
            name = data[start:data.index(b"\0", start)].decode()
        virtual_size, = struct.unpack_from("<I", data, at + 8)
        size, pointer = struct.unpack_from("<II", data, at + 16)
        if name == wanted:
            return data[pointer:pointer + min(size, virtual_size or size)]
    return b""


def image_end(data):
    """Where the program image of a PE file ends: its last section's raw
    data, or the string table behind its symbols (as the loader measures)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, = struct.unpack_from("<H", data, pe + 6)
    symbols, symbol_count = struct.unpack_from("<II", data, pe + 12)
    optional, = struct.unpack_from("<H", data, pe + 20)
    table = pe + 24 + optional
    end = table + 40 * count
    for i in range(count):
        size, pointer = struct.unpack_from("<II", data, table + 40 * i + 16)
        if size:
            end = max(end, pointer + size)
    if symbols:
        strings = symbols + 18 * symbol_count
        if strings + 4 <= len(data):
            strings_size, = struct.unpack_from("<i", data, strings)
            if strings_size >= 4:
                end = max(end, strings + strings_size)
    return end


def main():
    player, objdump = sys.argv[1], sys.argv[2]
    debug = player + ".debug"
    problems = []
    names = sections(objdump, player)
    if any(n.startswith(".debug") for n in names):
        problems.append("the player carries debug sections: %s" % names)
    if symbol_count(objdump, player):
        problems.append("the player carries symbols")
    if ".gnu_debuglink" not in names:
        problems.append("the player has no .gnu_debuglink")
    else:
        raw = section_data(open(player, "rb").read(), ".gnu_debuglink")
        name = raw.split(b"\0", 1)[0].decode()
        crc = struct.unpack_from("<I", raw, len(raw) - 4)[0]
        if name != os.path.basename(debug):
            problems.append("the player links to %s, not %s" % (name, os.path.basename(debug)))
        elif not os.path.exists(debug):
            problems.append("%s is missing" % debug)
        elif zlib.crc32(open(debug, "rb").read()) != crc:
            problems.append("%s is not the one the player was linked with" % debug)
    if os.path.exists(debug):
        kept = sections(objdump, debug)
        for wanted in (".debug_info", ".debug_line"):
            if wanted not in kept:
                problems.append("%s lacks %s" % (debug, wanted))
        if symbol_count(objdump, debug) == 0:
            problems.append("%s carries no symbols" % debug)
    data = open(player, "rb").read()
    end = image_end(data)
    if data[end:] != bytes(8):
        problems.append("behind the program image (%d bytes) lie %d bytes, not an empty trailer"
                        % (end, len(data) - end))
    for p in problems:
        print("player_file_test: " + p)
    print("%s: %d bytes, %s: %d bytes" % (player, len(data), debug,
                                        os.path.getsize(debug) if os.path.exists(debug) else 0))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
