// Writes frame records and palette changes exactly as the decoder reads
// them: each frame is XORed against the picture before it (all black before
// the first), runs go across row ends, and a run holds at most the count its
// format can carry (65535 at 24 and 32 bits, 255 at 8 bits).
#pragma once

#include "zxFrameDecoder.h"

#include <cstdint>
#include <vector>

class TzxFrameEncoder {
public:
  // Throws EzxError for layouts MakePictureLayout refuses.
  TzxFrameEncoder(int32_t width, int32_t height, int32_t bitsPerPixel);

  const TzxPictureLayout &Layout() const { return FLayout; }

  // Appends the record of the next frame to video. picture holds width x
  // height pixels of PixelBytes each (the fourth byte of a 32-bit pixel is
  // not coded), rows stride bytes apart, size bytes in all.
  void AppendFrame(std::vector<uint8_t> &video, const uint8_t *picture, size_t stride, size_t size);
  std::vector<uint8_t> EncodeFrame(const uint8_t *picture, size_t stride, size_t size);

  // Starts again from a black picture.
  void Reset();

private:
  TzxPictureLayout FLayout;
  std::vector<uint32_t> FPrevious; // one value a pixel: index, or blue | green << 8 | red << 16
};

// Appends the palette change that turns before into after: one byte (0)
// when nothing changed, else the smallest run of entries covering every
// change. Throws EzxError when that run is 256 entries long (255 fit).
void AppendPaletteChange(std::vector<uint8_t> &track, const TzxPalette &before,
                         const TzxPalette &after);
