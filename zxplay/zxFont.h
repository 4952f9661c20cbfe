// A 5 x 7 bitmap font of the printable ASCII characters, for zxplay's text
// line: no font library needed.
#pragma once

#include "zxRender.h"

#include <cstdint>
#include <string>

// Each character takes GlyphAdvance pixels across, GlyphHeight down.
inline constexpr int32_t GlyphHeight = 7;
inline constexpr int32_t GlyphAdvance = 6;

// Draws text with its top left corner at (x, y) in the colour (r, g, b),
// clipped to the picture. Characters outside ASCII 32..126 show as '?'.
void DrawText(TzxRgbPicture &picture, int32_t x, int32_t y, const std::string &text, uint8_t r,
              uint8_t g, uint8_t b);
