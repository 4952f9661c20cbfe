// Fuzz target of the frame decoder: the first bytes choose depth and size,
// the rest is a block of frame records followed by a palette track. Every
// record is decoded both ways; the two pictures must agree.
#include "zxFrameDecoder.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4) return 0;
  static const int32_t depths[] = {8, 24, 32};
  const int32_t bits = depths[data[0] % 3];
  const int32_t w = 1 + data[1] % 64, h = 1 + data[2] % 64;
  const size_t split = size > 4 ? data[3] % (size - 4 + 1) : 0;
  const uint8_t *block = data + 4 + split;
  const size_t blockSize = size - 4 - split;

  const TzxPictureLayout l = MakePictureLayout(w, h, bits);
  std::vector<uint8_t> xorFrame(l.XorFrameBytes()), viaXor(l.PictureBytes()),
      direct(l.PictureBytes());
  TzxFrameWalk walk(block, blockSize, l.Format);
  try {
    while (!walk.AtEnd()) {
      const TzxFrameRecord r = walk.Current();
      walk.Next();
      bool a = false, b = false;
      try {
        UnpackFrame(l, r, xorFrame.data(), xorFrame.size());
      } catch (const EzxCorruptFrame &) {
        a = true;
      }
      ApplyXorFrame(l, xorFrame.data(), xorFrame.size(), viaXor.data(), viaXor.size());
      try {
        XorFrameIntoPicture(l, r, direct.data(), direct.size());
      } catch (const EzxCorruptFrame &) {
        b = true;
      }
      if (a != b || viaXor != direct) std::abort();
    }
  } catch (const EzxCorruptFrame &) {
  }

  TzxMemoryStream track;
  track.Write(data + 4, static_cast<int32_t>(split));
  track.Seek(0);
  TzxPalette palette;
  for (int i = 0; i < 64 && track.Position() < track.Size(); ++i) {
    try {
      ApplyPaletteChange(track, palette);
    } catch (const EzxCorruptFrame &) {
    }
  }
  return 0;
}
