// Recorded mouse-cursor images.
//
// Cursor record, as stored in a segment's unpacked payload (little-endian):
//
//   0   int32  hot spot x           4  int32  hot spot y
//   8   int32  mask byte count M    12 int32  mask width    16 int32 mask height
//   20  uint8  mask bits per pixel
//   21  M bytes mask bits (only when M >= 1): monochrome rows padded to 16 bits,
//       top row first; without colour data the mask is twice the cursor's
//       height, AND half above XOR half
//   21+M int32 colour byte count N, then int32 width, int32 height,
//       uint8 bits per pixel
//   34+M N bytes colour bits (only when N >= 1): DIB rows padded to 32 bits,
//       top row first, no colour table
//
// A record always occupies 34 + max(M, 0) + max(N, 0) bytes. The reader
// consumes exactly that many bytes (or up to the end of a truncated file)
// whatever it finds inside, so later records keep their places.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class TzxFileStream;

struct TzxImageHeader {
  int32_t Count = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t BitsPerPixel = 0;
};

// Result codes of LoadFromFile.
enum : int {
  zxCursorBuilt = 0,
  zxCursorNoMemory = 2,
  zxCursorNoBitmap = 4,
};

struct TzxCursorImages; // the platform's bitmaps and cursor handle

class TzxCursor {
public:
  TzxCursor();
  ~TzxCursor();
  TzxCursor(const TzxCursor &) = delete;
  TzxCursor &operator=(const TzxCursor &) = delete;

  // Reads one record at the file's position and builds its images.
  int LoadFromFile(TzxFileStream &file);

  // Draws the cursor with its hot spot at (x, y) into a device context
  // (Win32 only).
  void Draw(void *dc, int x, int y) const;

  // Gives up the platform images and zeroes both headers.
  void Release();

  int32_t HotSpotX() const { return FHotSpotX; }
  int32_t HotSpotY() const { return FHotSpotY; }
  const TzxImageHeader &Mask() const { return FMask; }
  const TzxImageHeader &Colour() const { return FColour; }
  const std::vector<uint8_t> &MaskBits() const { return FMaskBits; }
  const std::vector<uint8_t> &ColourBits() const { return FColourBits; }

  // True when the record is consistent: a mask whose byte count covers its
  // width, height and depth, and colour bits (if any) that cover theirs.
  bool Valid() const { return FValid; }
  bool Monochrome() const { return FColour.Count < 1; }
  // True when the platform images exist (natively: when the record is valid).
  bool HasImages() const;

  // Bytes of one row of a mask (16-bit padded) or colour (32-bit padded) image.
  static int64_t MaskRowBytes(const TzxImageHeader &h);
  static int64_t ColourRowBytes(const TzxImageHeader &h);

private:
  bool CheckRecord() const;
  int BuildImages();    // platform part
  void ReleaseImages(); // platform part

  int32_t FHotSpotX = 0;
  int32_t FHotSpotY = 0;
  TzxImageHeader FMask;
  TzxImageHeader FColour;
  std::vector<uint8_t> FMaskBits;
  std::vector<uint8_t> FColourBits;
  bool FValid = false;
  std::unique_ptr<TzxCursorImages> FImages;
};
