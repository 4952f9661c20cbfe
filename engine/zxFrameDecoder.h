// Frame records: run-length coded XOR differences against the picture shown
// before, and the palette changes of 8-bit segments.
//
// Frame record (little-endian), laid end to end in a segment's video data:
//
//   0   int32  record length L, counting the whole record (at least 8 here)
//   4   int32  run count R; R <= 0: no runs
//   8   R runs of RunSize bytes, then whatever else L covers (skipped)
//
// Runs by colour depth:
//
//   depth  value                          count                  RunSize
//   8      1 byte palette index           uint8 at +1 (0..255)   2
//   24     3 bytes blue, green, red       uint16 at +3 (0..65535) 5
//   32     3 bytes blue, green, red       uint16 at +3 (0..65535) 5
//
// Other depths have no run format. A run gives its value to `count` pixels
// in picture order (rows from the top, left to right, across row ends); a
// count of 0 writes nothing. The counts of one record cover width x height.
//
// Palette change record (8-bit segments, one per frame, in the palette track):
//
//   uint8 N (0: no change, the record ends here), uint8 S, N x {B, G, R, reserved}
//
// replacing entries S .. S + N - 1.
//
// Surfaces are laid out as top-down DIB sections: each row RowBytes =
// width x PixelBytes, padded to a multiple of 4 (Stride). The XOR frame has
// one spare row below the picture, because a 24-bit pixel is stored as four
// bytes (blue, green, red, 0) and the write of the last pixel reaches one
// byte past the picture. None of the functions here own the memory they
// decode into; the Win32 engine hands them its DIB sections.
#pragma once

#include "zxClasses.h"

#include <array>
#include <cstddef>
#include <cstdint>

class TzxStream;

// A frame record or palette change that cannot be decoded as it stands. What
// could be decoded safely has been written when it is raised.
class EzxCorruptFrame : public EzxError {
public:
  using EzxError::EzxError;
};

struct TzxRunFormat {
  int32_t BitsPerPixel = 0;
  int32_t PixelBytes = 0;
  int32_t CountOffset = 0;
  int32_t CountSize = 0;
  int32_t RunSize = 0;
  int32_t MaxCount = 0; // the largest count a run can hold
};

// False for depths without a run format (anything but 8, 24 and 32).
bool GetRunFormat(int32_t bitsPerPixel, TzxRunFormat &format);
inline bool HasRunFormat(int32_t bitsPerPixel) {
  TzxRunFormat f;
  return GetRunFormat(bitsPerPixel, f);
}

// The largest surface the decoder accepts, in bytes (spare row included).
constexpr int64_t MaxSurfaceBytes = int64_t(256) << 20;

// Size and memory layout of a segment's surfaces.
struct TzxPictureLayout {
  int32_t Width = 0;
  int32_t Height = 0;
  TzxRunFormat Format;
  int32_t RowBytes = 0; // Width x PixelBytes
  int32_t RowPad = 0;   // bytes padding a row to a multiple of 4
  int32_t Stride = 0;   // RowBytes + RowPad

  int64_t Pixels() const { return int64_t(Width) * Height; }
  // Pixel memory of a picture, and of an XOR frame (one spare row more).
  size_t PictureBytes() const { return size_t(Stride) * size_t(Height); }
  size_t XorFrameBytes() const { return size_t(Stride) * (size_t(Height) + 1); }
  // The largest record a picture of this size needs: every pixel a run.
  int64_t MaxFrameSize() const { return int64_t(Format.RunSize) * Pixels(); }
};

// Throws EzxError for a size below 1 x 1, a depth without run format, or
// surfaces beyond MaxSurfaceBytes.
TzxPictureLayout MakePictureLayout(int32_t width, int32_t height, int32_t bitsPerPixel);

// Reads little-endian values from a byte range; once the data runs short it
// returns 0 and stays at the end.
class TzxByteReader {
public:
  TzxByteReader(const uint8_t *data, size_t size) : FPos(data), FEnd(data + size) {}

  size_t Left() const { return size_t(FEnd - FPos); }
  const uint8_t *Pos() const { return FPos; }
  uint8_t GetByte();
  uint16_t GetLE16();
  int32_t GetLE32();
  void Skip(size_t n) { FPos += n < Left() ? n : Left(); }

private:
  const uint8_t *FPos;
  const uint8_t *FEnd;
};

// One frame record, checked against the bytes it came from: Length is at
// least 8 and fits them, and the runs fit inside Length.
struct TzxFrameRecord {
  int32_t Length = 0;
  int32_t RunCount = 0; // 0 when the record says R <= 0
  const uint8_t *Runs = nullptr;
};

// Throws EzxCorruptFrame when the record at data does not fit size bytes.
TzxFrameRecord ParseFrameRecord(const uint8_t *data, size_t size, const TzxRunFormat &format);

// Walks the frame records laid end to end in a block of memory.
class TzxFrameWalk {
public:
  TzxFrameWalk() = default;
  TzxFrameWalk(const uint8_t *data, size_t size, const TzxRunFormat &format) {
    Reset(data, size, format);
  }

  void Reset(const uint8_t *data, size_t size, const TzxRunFormat &format);
  bool AtEnd() const { return FOffset >= FSize; }
  size_t Offset() const { return FOffset; }
  // The record at the walk's position; throws EzxCorruptFrame when it does
  // not fit the block (or when the walk is at its end).
  TzxFrameRecord Current() const;
  // Moves behind the current record.
  void Next() { Take(); }
  // Current() and Next() in one: the record is read once. The walk stays
  // where it is when the record does not fit.
  TzxFrameRecord Take();

private:
  const uint8_t *FData = nullptr;
  size_t FSize = 0;
  size_t FOffset = 0;
  TzxRunFormat FFormat;
};

// Expands a record's runs into an XOR frame of layout's shape (xorFrameSize
// bytes, at least XorFrameBytes()). Pixels the runs leave uncovered are set
// to 0, so they leave the picture unchanged. Runs that reach beyond the
// picture are cut off at its end and EzxCorruptFrame is raised after the
// picture has been written. Returns the pixels the runs covered.
int64_t UnpackFrame(const TzxPictureLayout &layout, const TzxFrameRecord &record, uint8_t *xorFrame,
                    size_t xorFrameSize);

// XORs the XOR frame into a picture of the same layout (pictureSize at least
// PictureBytes(); neither the spare row nor the row padding is touched).
void ApplyXorFrame(const TzxPictureLayout &layout, const uint8_t *xorFrame, size_t xorFrameSize,
                   uint8_t *picture, size_t pictureSize);

// UnpackFrame and ApplyXorFrame in one pass without the XOR frame: each run
// is XORed straight into the picture, runs of value 0 are skipped. Gives the
// same picture, the same result and the same errors.
int64_t XorFrameIntoPicture(const TzxPictureLayout &layout, const TzxFrameRecord &record,
                            uint8_t *picture, size_t pictureSize);

// The 256-colour table of 8-bit segments: blue, green, red, reserved.
struct TzxPaletteEntry {
  uint8_t Blue = 0;
  uint8_t Green = 0;
  uint8_t Red = 0;
  uint8_t Reserved = 0;
};
using TzxPalette = std::array<TzxPaletteEntry, 256>;

// Applies the palette change record at the track's position. A track with
// nothing left changes nothing. A record reaching past entry 255 changes the
// entries up to 255, is consumed whole and raises EzxCorruptFrame; so does a
// record cut short by the end of the track, after changing the entries that
// arrived whole.
void ApplyPaletteChange(TzxStream &track, TzxPalette &palette);
