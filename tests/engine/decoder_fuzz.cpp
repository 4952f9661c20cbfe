// Fuzz target of the frame decoder: the first bytes choose depth and size,
// the rest is a palette track followed by a block of frame records. Every
// record is decoded both ways, into an XOR frame that is then applied and
// straight into the picture; the two pictures, the pixels covered and the
// errors must agree.
#include "zxFrameDecoder.h"
#include "zxFrameEncoder.h"
#include "zxFuzzing.h"

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
      const TzxFrameRecord r = walk.Take();
      bool a = false, b = false;
      int64_t coveredA = -1, coveredB = -1;
      try {
        coveredA = UnpackFrame(l, r, xorFrame.data(), xorFrame.size());
      } catch (const EzxCorruptFrame &) {
        a = true;
      }
      ApplyXorFrame(l, xorFrame.data(), xorFrame.size(), viaXor.data(), viaXor.size());
      try {
        coveredB = XorFrameIntoPicture(l, r, direct.data(), direct.size());
      } catch (const EzxCorruptFrame &) {
        b = true;
      }
      if (a != b || coveredA != coveredB || viaXor != direct) std::abort();
      if (!a && coveredA > l.Pixels()) std::abort();
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

namespace {

// Frames from the encoder: a gradient, a square moving over it, a frame
// without change; at 8 bits with palette changes before them.
TzxFuzzSeed MakeSeed(int32_t bits, int32_t w, int32_t h, int32_t frames) {
  TzxFrameEncoder encoder(w, h, bits);
  const TzxPictureLayout &l = encoder.Layout();
  std::vector<uint8_t> video, track;
  TzxPalette before{}, after{};
  std::vector<uint8_t> picture(size_t(l.RowBytes) * size_t(h));
  for (int32_t f = 0; f < frames; ++f) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < l.RowBytes; ++x) {
        const int32_t px = x / l.Format.PixelBytes;
        const bool square = f < frames - 1 && px >= f && px < f + 4 && y >= f && y < f + 4;
        picture[size_t(y) * l.RowBytes + x] = static_cast<uint8_t>(square ? 255 - f : x * 3 + y);
      }
    encoder.AppendFrame(video, picture.data(), size_t(l.RowBytes), picture.size());
    if (bits == 8 && f < 3) {
      after[static_cast<size_t>(10 + f)] = {static_cast<uint8_t>(f), 1, 2, 0};
      AppendPaletteChange(track, before, after);
      before = after;
    }
  }
  // The fourth byte is the palette track's length (under 256 here).
  std::vector<uint8_t> seed = {static_cast<uint8_t>(bits == 8    ? 0
                                                    : bits == 24 ? 1
                                                                 : 2),
                               static_cast<uint8_t>(w - 1), static_cast<uint8_t>(h - 1),
                               static_cast<uint8_t>(track.size())};
  seed.insert(seed.end(), track.begin(), track.end());
  seed.insert(seed.end(), video.begin(), video.end());
  return {Format("%d-%dx%d", bits, w, h), seed};
}

} // namespace

std::vector<TzxFuzzSeed> FuzzSeeds() {
  return {MakeSeed(8, 9, 7, 4), MakeSeed(24, 5, 5, 3), MakeSeed(24, 8, 3, 3), MakeSeed(32, 7, 6, 4),
          MakeSeed(32, 64, 2, 2)};
}
