// What zxtool make reads from files, against hostile files: PNG pictures,
// .cur cursors and cursor-track CSV. Each case is an input a fuzz target
// found or one of its kind.
#include "zxCursorFile.h"
#include "zxCursorTrack.h"
#include "zxPng.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <zlib.h>

namespace {

std::string ErrorOf(const std::function<void()> &f) {
  try {
    f();
  } catch (const EzxError &e) {
    return e.Message();
  }
  return "(no error)";
}

// A one-pixel PNG from the writer whose header then claims w x h pixels
// (its checksum made right again): libpng accepts the header and only the
// image data runs short.
TzxBytes LyingPng(uint32_t w, uint32_t h) {
  TzxTestDir dir;
  WritePngRgba(dir.File("one.png"), TzxRgbaImage{1, 1, TzxBytes(4, 200)});
  TzxBytes png = ReadWholeFile(dir.File("one.png"));
  for (int i = 0; i < 4; ++i) {
    png[16 + i] = static_cast<uint8_t>(w >> (24 - 8 * i));
    png[20 + i] = static_cast<uint8_t>(h >> (24 - 8 * i));
  }
  const uLong crc = crc32(0, png.data() + 12, 17);
  for (int i = 0; i < 4; ++i)
    png[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  return png;
}

// A .cur file whose one image is the given bytes (a PNG here).
TzxBytes CurWithImage(const TzxBytes &image) {
  TzxBytes cur = {0, 0, 2, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 4; ++i)
    cur.push_back(static_cast<uint8_t>(image.size() >> (8 * i)));
  for (uint8_t b : {22, 0, 0, 0})
    cur.push_back(b);
  cur.insert(cur.end(), image.begin(), image.end());
  return cur;
}

} // namespace

// A PNG of a few dozen bytes that claims 16,384 x 16,384 pixels made the
// reader allocate the 1 GiB of its RGBA pixels before libpng found the data
// missing; such a picture is refused from its header.
TEST(PngInput, APictureLargerThanItsDataCanHoldIsRefusedFirst) {
  const TzxBytes huge = LyingPng(16384, 16384);
  EXPECT_EQ(ErrorOf([&] { ReadPngBytes(huge.data(), huge.size(), "huge.png"); }),
            Format("huge.png: a picture of 16384 x 16384 pixels cannot come from %zu bytes of PNG",
                   huge.size()));
  TzxTestDir dir;
  WriteWholeFile(dir.File("huge.png"), huge);
  EXPECT_NE(ErrorOf([&] { ReadPng(dir.File("huge.png")); }).find("cannot come from"),
            std::string::npos);

  // A header the data can hold still reaches libpng, which finds what is wrong.
  const TzxBytes small = LyingPng(20, 20);
  EXPECT_NE(ErrorOf([&] {
              ReadPngBytes(small.data(), small.size(), "small.png");
            }).find("small.png is not a readable PNG"),
            std::string::npos);
  const TzxBytes one = LyingPng(1, 1);
  EXPECT_EQ(ReadPngBytes(one.data(), one.size(), "one.png").Pixels, TzxBytes({200, 200, 200, 200}));
}

// A cursor is at most 256 pixels a side: a PNG inside a .cur file that is
// larger is refused from its header, not after all its pixels are read.
TEST(CurInput, APngCursorLargerThanACursorIsRefusedFromItsHeader) {
  EXPECT_EQ(ErrorOf([] { ParseCurFile(CurWithImage(LyingPng(300, 2)), "big.cur"); }),
            "big.cur: a picture of 300 x 2 pixels is outside 1 .. 256 a side");
  EXPECT_NE(ErrorOf([] {
              ParseCurFile(CurWithImage(LyingPng(16384, 16384)), "huge.cur");
            }).find("cannot come from"),
            std::string::npos);
}

// Numbers beyond 64 bits were read with sscanf, whose result is undefined
// then; they are out of range like any other number too large.
TEST(CursorTrackInput, NumbersBeyondSixtyFourBitsAreOutOfRange) {
  EXPECT_EQ(ErrorOf([] { ParseCursorTrack("99999999999999999999,0,0,0\n", 1, "t.csv"); }),
            "t.csv, line 1: tick 9223372036854775807 is out of range");
  EXPECT_EQ(ErrorOf([] { ParseCursorTrack("1,0,0,-99999999999999999999\n", 1, "t.csv"); }),
            "t.csv, line 1: the position 0,-9223372036854775808 is outside 0 .. 65535");
  const auto lines =
      ParseCursorTrack("tick,cursor,x,y\n 1 , 0 , +2 ,3\r\n# note\n4,1,5,6 \n", 2, "t.csv");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].Tick, 1);
  EXPECT_EQ(lines[0].X, 2);
  EXPECT_EQ(lines[1].Cursor, 1);
  EXPECT_EQ(ErrorOf([] { ParseCursorTrack("1,0,0,0 x\n", 1, "t.csv"); }),
            "t.csv, line 1: expected tick,cursor,x,y, got \"1,0,0,0 x\"");
}
