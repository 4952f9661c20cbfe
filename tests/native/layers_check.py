#!/usr/bin/env python3
"""The layers depend downward only.   layers_check.py SOURCE_DIR

Every #include "..." of a layer's sources (and resource scripts) that names a
header of another layer, and every library of another layer that its
CMakeLists.txt links, must belong to a layer it may use. Prints each breach
and fails when there is one."""
import pathlib
import re
import sys

# What each layer may use besides itself. The film loader (core) unpacks its
# payloads, and the unpackers use core's streams: the two form the bottom.
MAY_USE = {
    "core": {"unpack"},
    "unpack": {"core"},
    "sound": {"core", "unpack"},
    "engine": {"core", "unpack", "sound"},
    "controls": {"core", "unpack", "sound", "engine"},
    "app": {"core", "unpack", "sound", "engine", "controls"},
    "resources": {"core", "unpack", "sound", "engine"},
    "tools": {"core", "unpack", "sound", "engine"},
    "zxplay": {"core", "unpack", "sound", "engine", "tools"},
}
SOURCES = ("*.h", "*.cpp", "*.c", "*.rc", "*.rc.in")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
TARGET = re.compile(r"\badd_(?:library|executable)\(\s*([A-Za-z0-9_]+)")
LINKS = re.compile(r"\btarget_link_libraries\(\s*[A-Za-z0-9_]+([^)]*)\)", re.S)


def main(root):
    root = pathlib.Path(root)
    header_layer, target_layer = {}, {}
    for layer in MAY_USE:
        for f in (root / layer).glob("*.h"):
            header_layer[f.name] = layer
        cmake = root / layer / "CMakeLists.txt"
        if cmake.exists():
            for name in TARGET.findall(cmake.read_text()):
                target_layer[name] = layer

    breaches = []
    for layer, allowed in MAY_USE.items():
        for pattern in SOURCES:
            for f in sorted((root / layer).glob(pattern)):
                for header in INCLUDE.findall(f.read_text(errors="replace")):
                    used = header_layer.get(pathlib.PurePath(header).name)
                    if used not in (None, layer) and used not in allowed:
                        breaches.append(f"{f.relative_to(root)} includes {header} of {used}/")
        cmake = root / layer / "CMakeLists.txt"
        if not cmake.exists():
            continue
        for words in LINKS.findall(cmake.read_text()):
            for word in words.split():
                used = target_layer.get(word)
                if used not in (None, layer) and used not in allowed:
                    breaches.append(f"{layer}/CMakeLists.txt links {word} of {used}/")
    for b in breaches:
        print(b)
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
