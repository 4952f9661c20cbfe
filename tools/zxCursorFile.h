// Cursor pictures for films: Windows .cur files and PNG pictures.
#pragma once

#include "zxFilmWriter.h"
#include "zxPng.h"

#include <string>

// A colour cursor from an RGBA picture with its hot spot: pixels with alpha
// below 128 are transparent (AND bit set, colour 0), the others opaque (AND
// bit clear, their colour). Throws EzxError when the hot spot lies outside.
TzxCursorRecord CursorFromRgba(const TzxRgbaImage &image, int32_t hotX, int32_t hotY,
                               const std::string &name);

// The first image of a .cur file, with the hot spot of its directory entry.
// A 1-bit image becomes a monochrome record (AND and XOR halves); images of
// 4, 8, 24 or 32 bits become 32-bit colour records with the file's AND mask
// (or, for 32-bit images that carry alpha, a mask made from it); PNG images
// inside the file are read like CursorFromRgba. Throws EzxError for files
// that are not cursors or do not hold what their headers announce.
TzxCursorRecord ReadCurFile(const std::string &fileName);
TzxCursorRecord ParseCurFile(const TzxBytes &bytes, const std::string &name);
