#include "UzxCursor_new.h"

#include "zxClasses.h"

#include <algorithm>
#include <cstring>

namespace {

// The largest cursor image the reader accepts, in pixels per side.
constexpr int32_t MaxCursorSide = 1024;

// Reads a 13-byte image header; false when the file ends first.
bool ReadHeader(TzxFileStream &file, TzxImageHeader &h) {
  uint8_t raw[13] = {};
  bool ok = file.Read(raw, 13) == 13;
  h.Count = GetLE32(raw);
  h.Width = GetLE32(raw + 4);
  h.Height = GetLE32(raw + 8);
  h.BitsPerPixel = raw[12];
  return ok;
}

// Reads an image's bytes, or skips them when they cannot be right: counts
// beyond the rest of the file only consume that rest.
void ReadBits(TzxFileStream &file, int32_t count, std::vector<uint8_t> &bits) {
  bits.clear();
  if (count < 1) return;
  int64_t left = static_cast<int64_t>(file.Size()) - file.Position();
  if (left < count) {
    file.Seek(file.Size());
    return;
  }
  bits.resize(static_cast<size_t>(count));
  if (file.Read(bits.data(), count) != count) bits.clear();
}

bool SaneSize(const TzxImageHeader &h) {
  return h.Width >= 1 && h.Height >= 1 && h.Width <= MaxCursorSide && h.Height <= 2 * MaxCursorSide;
}

} // namespace

int64_t TzxCursor::MaskRowBytes(const TzxImageHeader &h) {
  return (static_cast<int64_t>(h.Width) * h.BitsPerPixel + 15) / 16 * 2;
}

int64_t TzxCursor::ColourRowBytes(const TzxImageHeader &h) {
  return (static_cast<int64_t>(h.Width) * h.BitsPerPixel + 31) / 32 * 4;
}

bool TzxCursor::CheckRecord() const {
  if (FMask.Count < 1 || !SaneSize(FMask) || FMask.BitsPerPixel != 1) return false;
  if (static_cast<int64_t>(FMaskBits.size()) < MaskRowBytes(FMask) * FMask.Height) return false;
  if (Monochrome()) return FMask.Height % 2 == 0;
  static const uint8_t depths[] = {1, 4, 8, 16, 24, 32};
  if (!SaneSize(FColour) || FColour.Height > MaxCursorSide ||
      std::find(std::begin(depths), std::end(depths), FColour.BitsPerPixel) == std::end(depths))
    return false;
  return static_cast<int64_t>(FColourBits.size()) >= ColourRowBytes(FColour) * FColour.Height;
}

int TzxCursor::LoadFromFile(TzxFileStream &file) {
  if (HasImages()) Release();
  FValid = false;

  uint8_t hot[8] = {};
  bool whole = file.Read(hot, 8) == 8;
  FHotSpotX = GetLE32(hot);
  FHotSpotY = GetLE32(hot + 4);
  whole = whole && ReadHeader(file, FMask);
  if (whole) ReadBits(file, FMask.Count, FMaskBits);
  whole = whole && ReadHeader(file, FColour);
  if (whole) ReadBits(file, FColour.Count, FColourBits);
  if (!whole) {
    FMaskBits.clear();
    FColourBits.clear();
    return zxCursorNoBitmap;
  }
  FValid = CheckRecord();
  return BuildImages();
}

void TzxCursor::Release() {
  if (!HasImages()) return;
  ReleaseImages();
  FMask = {};
  FColour = {};
  FMaskBits.clear();
  FColourBits.clear();
  FValid = false;
}
