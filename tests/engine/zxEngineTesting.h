// Helpers of the engine tests: pictures as plain pixel values, a small
// independent encoder of frame records, generated films and segment records
// built in memory.
#pragma once

#include "ZxcabClasses.h"
#include "zxFrameDecoder.h"
#include "zxRender.h"
#include "zxTesting.h"

#include <cstdint>
#include <memory>
#include <vector>

// A small deterministic random source (64-bit LCG).
class TTestRandom {
public:
  explicit TTestRandom(uint64_t seed) : FState(seed * 2862933555777941757ull + 3037000493ull) {}
  uint32_t Next() {
    FState = FState * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(FState >> 33);
  }
  // 0 .. n - 1
  int32_t Below(int32_t n) { return n > 0 ? static_cast<int32_t>(Next() % uint32_t(n)) : 0; }

private:
  uint64_t FState;
};

// A picture as one value a pixel, rows top to bottom: a palette index at 8
// bits, blue | green << 8 | red << 16 at 24 and 32 bits.
struct TTestPicture {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Bits = 32;
  std::vector<uint32_t> Pixels;

  TTestPicture() = default;
  TTestPicture(int32_t w, int32_t h, int32_t bits)
      : Width(w), Height(h), Bits(bits), Pixels(size_t(w) * h, 0) {}
  uint32_t &At(int32_t x, int32_t y) { return Pixels[size_t(y) * Width + x]; }
};

// How the test encoder cuts runs.
enum class TRunCuts {
  Longest, // every run as long as its value and the count limit allow
  Random,  // runs cut at random places, with runs of count 0 in between
};

// The frame record that turns prev into cur.
std::vector<uint8_t> TestEncodeFrame(const TTestPicture &prev, const TTestPicture &cur,
                                     TRunCuts cuts = TRunCuts::Longest, uint64_t seed = 1);
// A record from explicit runs: (value, count) pairs, value as above.
std::vector<uint8_t> TestRecord(int32_t bits,
                                const std::vector<std::pair<uint32_t, uint32_t>> &runs);

// The picture in surface memory (DIB rows padded to 4 bytes; 32-bit pixels
// with a zero fourth byte).
std::vector<uint8_t> ToSurface(const TTestPicture &p);
// The picture as RGB24, 8-bit pictures through palette.
TzxRgbPicture ToRgb(const TTestPicture &p, const TzxPalette &palette);

// A film of frames: a first picture of rectangles and noise, then frames
// changing some rectangles and pixels, some frames unchanged.
std::vector<TTestPicture> MakeTestFrames(int32_t w, int32_t h, int32_t bits, int32_t frames,
                                         uint64_t seed);

// A palette of random colours.
TzxPalette RandomPalette(uint64_t seed);

// A segment record made in memory (its video temporary file in a test
// directory), with cursors read from their records as the loader does.
class TTestSegment {
public:
  TTestSegment(int32_t w, int32_t h, int32_t bits, int32_t flags = 0);

  TSegmentInfo &Info() { return *FInfo; }
  // The one-segment list the record lives in.
  TSegmentList &List() { return FList; }
  void SetVideo(const std::vector<uint8_t> &video, int32_t frameCount);
  void SetCursorTrack(const std::vector<uint8_t> &track);
  void SetPaletteTrack(const std::vector<uint8_t> &track);
  void AddCursor(const TzxCursorRecord &record);

private:
  TzxTestDir FDir;
  TSegmentList FList;
  TSegmentInfo *FInfo = nullptr;
  int32_t FCursorFiles = 0;
};
