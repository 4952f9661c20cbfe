// PNG files through libpng: reading any PNG as 8-bit RGBA, writing RGB24.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A picture as 8-bit red, green, blue, alpha; rows top to bottom, no padding.
struct TzxRgbaImage {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Pixels;
};

// The largest picture accepted from a PNG, in pixels per side.
constexpr int32_t MaxPngSide = 16384;

// Reads a PNG of any colour type and depth, converted to 8-bit RGBA.
// Throws EzxError naming the file for anything that is not a readable PNG.
TzxRgbaImage ReadPng(const std::string &fileName);
// The same from bytes in memory (name is used in messages), for pictures of
// at most maxSide pixels a side. Both refuse a picture larger than its
// compressed data can hold before they allocate its pixels.
TzxRgbaImage ReadPngBytes(const uint8_t *data, size_t size, const std::string &name,
                          int32_t maxSide = MaxPngSide);

// True when the bytes start with the PNG signature.
bool IsPngSignature(const uint8_t *data, size_t size);

// Writes an RGB24 picture (rows top to bottom, red, green, blue) as a PNG.
// Fast compression: frame exports write many of them. Throws EzxError.
void WritePngRgb(const std::string &fileName, int32_t width, int32_t height, const uint8_t *rgb);
// Writes an RGBA picture as a PNG (used for cursor pictures and tests).
void WritePngRgba(const std::string &fileName, const TzxRgbaImage &image);
