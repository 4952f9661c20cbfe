// .cur file (little-endian):
//
//   0   uint16 reserved (0)   2  uint16 type (2 = cursor)   4  uint16 image count
//   6   count x 16-byte entries:
//         uint8 width (0 = 256), uint8 height, uint8 colours, uint8 reserved,
//         uint16 hot spot x, uint16 hot spot y, uint32 image bytes, uint32 image offset
//
// An image is either a PNG file or a DIB without its file header: a
// BITMAPINFOHEADER whose height is twice the cursor's, a colour table for
// 1, 4 and 8 bits, the XOR (colour) rows and then the 1-bit AND rows, both
// bottom row first with rows padded to 32 bits.
#include "zxCursorFile.h"

#include "zxClasses.h"

namespace {

constexpr int32_t MaxCursorSide = 256;

uint16_t Get16(const TzxBytes &b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
uint32_t Get32(const TzxBytes &b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}

size_t MaskRow(int32_t w) {
  return size_t((w + 15) / 16 * 2);
}

void SetBit(TzxBytes &bits, size_t rowBytes, int32_t row, int32_t x) {
  bits[size_t(row) * rowBytes + size_t(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
}

bool Bit(const uint8_t *row, int32_t x) {
  return (row[x / 8] >> (7 - x % 8)) & 1;
}

// The index of pixel x in a row of 1, 4 or 8 bits.
uint32_t Index(const uint8_t *row, int32_t x, int32_t bpp) {
  const int32_t bit = x * bpp;
  return (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
}

} // namespace

TzxCursorRecord CursorFromRgba(const TzxRgbaImage &image, int32_t hotX, int32_t hotY,
                               const std::string &name) {
  const int32_t w = image.Width, h = image.Height;
  if (w < 1 || h < 1 || w > MaxCursorSide || h > MaxCursorSide)
    throw EzxError(Format("%s: a cursor of %d x %d pixels is outside 1 .. %d a side", name.c_str(),
                          w, h, MaxCursorSide));
  if (hotX < 0 || hotY < 0 || hotX >= w || hotY >= h)
    throw EzxError(Format("%s: the hot spot %d,%d lies outside the %d x %d picture", name.c_str(),
                          hotX, hotY, w, h));
  TzxCursorRecord c;
  c.HotSpotX = hotX;
  c.HotSpotY = hotY;
  c.Mask = {-1, w, h, 1};
  c.MaskBits.assign(MaskRow(w) * size_t(h), 0);
  c.Colour = {-1, w, h, 32};
  c.ColourBits.assign(size_t(w) * size_t(h) * 4, 0);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t *p = &image.Pixels[(size_t(y) * size_t(w) + size_t(x)) * 4];
      uint8_t *out = &c.ColourBits[(size_t(y) * size_t(w) + size_t(x)) * 4];
      if (p[3] < 128) {
        SetBit(c.MaskBits, MaskRow(w), y, x);
      } else {
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
      }
    }
  return c;
}

TzxCursorRecord ParseCurFile(const TzxBytes &b, const std::string &name) {
  const char *what = name.c_str();
  if (b.size() < 6 + 16 || Get16(b, 0) != 0 || Get16(b, 2) != 2 || Get16(b, 4) < 1)
    throw EzxError(Format("%s is not a .cur cursor file", what));
  const int32_t hotX = Get16(b, 6 + 4), hotY = Get16(b, 6 + 6);
  const uint32_t bytes = Get32(b, 6 + 8), offset = Get32(b, 6 + 12);
  if (offset > b.size() || bytes > b.size() - offset)
    throw EzxError(Format("%s: its image of %u bytes at %u lies outside the file of %zu bytes",
                          what, bytes, offset, b.size()));
  const uint8_t *image = b.data() + offset;
  if (IsPngSignature(image, bytes))
    return CursorFromRgba(ReadPngBytes(image, bytes, name, MaxCursorSide), hotX, hotY, name);

  TzxBytes dib(image, image + bytes);
  if (dib.size() < 40 || Get32(dib, 0) < 40 || Get32(dib, 0) > dib.size())
    throw EzxError(Format("%s: its image has no bitmap header", what));
  const uint32_t headerSize = Get32(dib, 0);
  const int32_t w = static_cast<int32_t>(Get32(dib, 4));
  const int32_t fullHeight = static_cast<int32_t>(Get32(dib, 8));
  const int32_t bpp = Get16(dib, 14);
  const uint32_t compression = Get32(dib, 16);
  const uint32_t used = Get32(dib, 32);
  if (w < 1 || w > MaxCursorSide || fullHeight < 2 || fullHeight % 2 != 0 ||
      fullHeight / 2 > MaxCursorSide)
    throw EzxError(
        Format("%s: a bitmap of %d x %d pixels is not a cursor image", what, w, fullHeight));
  if (compression != 0) throw EzxError(Format("%s: compressed bitmaps are not supported", what));
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
    throw EzxError(Format("%s: images of %d bits per pixel are not supported", what, bpp));
  const int32_t h = fullHeight / 2;
  const size_t colours = bpp <= 8 ? (used != 0 ? used : size_t(1) << bpp) : 0;
  if (colours > 256) throw EzxError(Format("%s: a colour table of %zu entries", what, colours));
  const size_t xorRow = (size_t(w) * size_t(bpp) + 31) / 32 * 4;
  const size_t andRow = (size_t(w) + 31) / 32 * 4;
  const size_t tableAt = headerSize;
  const size_t xorAt = tableAt + colours * 4;
  const size_t andAt = xorAt + xorRow * size_t(h);
  if (andAt + andRow * size_t(h) > dib.size())
    throw EzxError(Format("%s: the image needs %zu bytes, its entry has %zu", what,
                          andAt + andRow * size_t(h), dib.size()));
  // Rows are stored bottom first.
  auto xorLine = [&](int32_t y) { return &dib[xorAt + xorRow * size_t(h - 1 - y)]; };
  auto andLine = [&](int32_t y) { return &dib[andAt + andRow * size_t(h - 1 - y)]; };

  if (hotX >= w || hotY >= h)
    throw EzxError(
        Format("%s: the hot spot %d,%d lies outside the %d x %d image", what, hotX, hotY, w, h));
  TzxCursorRecord c;
  c.HotSpotX = hotX;
  c.HotSpotY = hotY;
  const size_t maskRow = MaskRow(w);
  if (bpp == 1) {
    // Monochrome: the AND rows above the XOR rows; a XOR bit is set where
    // the pixel's colour is light.
    bool light[2];
    for (int i = 0; i < 2; ++i) {
      const size_t at = tableAt + size_t(i) * 4;
      light[i] = size_t(i) < colours &&
                 (int(dib[at]) * 114 + int(dib[at + 1]) * 587 + int(dib[at + 2]) * 299) >= 128000;
    }
    c.Mask = {-1, w, 2 * h, 1};
    c.MaskBits.assign(maskRow * size_t(2 * h), 0);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        if (Bit(andLine(y), x)) SetBit(c.MaskBits, maskRow, y, x);
        if (light[Index(xorLine(y), x, 1)]) SetBit(c.MaskBits, maskRow, h + y, x);
      }
    c.Colour = {0, 0, 0, 0};
    return c;
  }

  c.Mask = {-1, w, h, 1};
  c.MaskBits.assign(maskRow * size_t(h), 0);
  c.Colour = {-1, w, h, 32};
  c.ColourBits.assign(size_t(w) * size_t(h) * 4, 0);
  bool alpha = false;
  if (bpp == 32)
    for (int32_t y = 0; y < h && !alpha; ++y)
      for (int32_t x = 0; x < w && !alpha; ++x)
        alpha = xorLine(y)[size_t(x) * 4 + 3] != 0;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t *out = &c.ColourBits[(size_t(y) * size_t(w) + size_t(x)) * 4];
      const uint8_t *src = nullptr;
      if (bpp <= 8) {
        const uint32_t i = Index(xorLine(y), x, bpp);
        if (i < colours) src = &dib[tableAt + size_t(i) * 4];
      } else {
        src = xorLine(y) + size_t(x) * size_t(bpp / 8);
      }
      bool transparent = alpha ? src[3] < 128 : Bit(andLine(y), x);
      if (transparent) SetBit(c.MaskBits, maskRow, y, x);
      if (src && !(alpha && transparent)) {
        out[0] = src[0];
        out[1] = src[1];
        out[2] = src[2];
      }
    }
  return c;
}

TzxCursorRecord ReadCurFile(const std::string &fileName) {
  if (!FileExists(fileName)) throw EzxError(Format("Cannot open %s", fileName.c_str()));
  return ParseCurFile(ReadWholeFile(fileName), fileName);
}
