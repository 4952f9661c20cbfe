#include "zxEngineTesting.h"
#include "zxFrameDecoder.h"
#include "zxFrameEncoder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Both ways of decoding, each on its own picture: the XOR frame (kept from
// frame to frame, as the player keeps its surface) and the direct path.
struct TTwoPaths {
  TzxPictureLayout Layout;
  std::vector<uint8_t> XorFrame;
  std::vector<uint8_t> ViaXorFrame;
  std::vector<uint8_t> Direct;

  TTwoPaths(int32_t w, int32_t h, int32_t bits)
      : Layout(MakePictureLayout(w, h, bits)), XorFrame(Layout.XorFrameBytes()),
        ViaXorFrame(Layout.PictureBytes()), Direct(Layout.PictureBytes()) {}

  // Decodes one record both ways; returns the covered pixels of each.
  std::pair<int64_t, int64_t> Decode(const std::vector<uint8_t> &bytes) {
    const TzxFrameRecord r = ParseFrameRecord(bytes.data(), bytes.size(), Layout.Format);
    const int64_t a = UnpackFrame(Layout, r, XorFrame.data(), XorFrame.size());
    ApplyXorFrame(Layout, XorFrame.data(), XorFrame.size(), ViaXorFrame.data(), ViaXorFrame.size());
    const int64_t b = XorFrameIntoPicture(Layout, r, Direct.data(), Direct.size());
    return {a, b};
  }
};

std::string What(int32_t w, int32_t h, int32_t bits, size_t frame) {
  return Format("%d x %d at %d bits, frame %d", w, h, bits, static_cast<int>(frame));
}

// Decodes a generated film both ways and compares every frame with the
// picture it was made from.
void CheckFilm(int32_t w, int32_t h, int32_t bits, TRunCuts cuts, uint64_t seed) {
  const auto frames = MakeTestFrames(w, h, bits, 12, seed);
  TTwoPaths d(w, h, bits);
  TTestPicture prev(w, h, bits);
  for (size_t k = 0; k < frames.size(); ++k) {
    const auto record = TestEncodeFrame(prev, frames[k], cuts, seed + k);
    const auto covered = d.Decode(record);
    const auto expected = ToSurface(frames[k]);
    ASSERT_EQ(covered.first, int64_t(w) * h) << What(w, h, bits, k);
    ASSERT_EQ(covered.second, int64_t(w) * h) << What(w, h, bits, k);
    ASSERT_EQ(d.ViaXorFrame, expected) << What(w, h, bits, k);
    ASSERT_EQ(d.Direct, expected) << What(w, h, bits, k);
    prev = frames[k];
  }
}

} // namespace

// ------------------------------------------------------------ run formats

TEST(RunFormat, DepthsAndLayouts) {
  TzxRunFormat f;
  ASSERT_TRUE(GetRunFormat(8, f));
  EXPECT_EQ(f.PixelBytes, 1);
  EXPECT_EQ(f.RunSize, 2);
  EXPECT_EQ(f.MaxCount, 255);
  ASSERT_TRUE(GetRunFormat(24, f));
  EXPECT_EQ(f.PixelBytes, 3);
  EXPECT_EQ(f.CountOffset, 3);
  EXPECT_EQ(f.RunSize, 5);
  EXPECT_EQ(f.MaxCount, 65535);
  ASSERT_TRUE(GetRunFormat(32, f));
  EXPECT_EQ(f.PixelBytes, 4);
  EXPECT_EQ(f.RunSize, 5);
  for (int32_t bits : {0, 1, 4, 15, 16, 48})
    EXPECT_FALSE(HasRunFormat(bits)) << bits;

  const TzxPictureLayout l24 = MakePictureLayout(742, 419, 24);
  EXPECT_EQ(l24.RowBytes, 2226);
  EXPECT_EQ(l24.RowPad, 2);
  EXPECT_EQ(l24.Stride, 2228);
  const TzxPictureLayout l32 = MakePictureLayout(742, 419, 32);
  EXPECT_EQ(l32.RowPad, 0);
  EXPECT_EQ(l32.MaxFrameSize(), 1554490);
  EXPECT_EQ(l32.XorFrameBytes(), 742u * 4 * 420);
  EXPECT_EQ(MakePictureLayout(5, 3, 8).Stride, 8);

  EXPECT_THROW(MakePictureLayout(742, 419, 16), EzxError);
  EXPECT_THROW(MakePictureLayout(0, 10, 32), EzxError);
  EXPECT_THROW(MakePictureLayout(10, -1, 32), EzxError);
  EXPECT_THROW(MakePictureLayout(100000, 100000, 32), EzxError);
  // Sizes whose product overflows even 64 bits, and the 32-bit overflow of
  // w x h x 4, are refused, never wrapped into something that fits.
  EXPECT_THROW(MakePictureLayout(2147483647, 2147483647, 32), EzxError);
  EXPECT_THROW(MakePictureLayout(46341, 46341, 32), EzxError);
  EXPECT_EQ(MakePictureLayout(65536, 1, 32).XorFrameBytes(), 65536u * 4 * 2);
  // The limit itself: 8192 x 8191 at 32 bits (and its spare row) fills it exactly.
  EXPECT_EQ(MakePictureLayout(8192, 8191, 32).XorFrameBytes(), size_t(MaxSurfaceBytes));
  EXPECT_THROW(MakePictureLayout(8192, 8192, 32), EzxError);
}

TEST(ByteReader, ReturnsZeroAndStaysAtTheEnd) {
  const uint8_t bytes[] = {1, 2, 3, 4, 5, 6};
  TzxByteReader rd(bytes, sizeof bytes);
  EXPECT_EQ(rd.GetLE32(), 0x04030201);
  EXPECT_EQ(rd.GetLE32(), 0); // only two bytes left
  EXPECT_EQ(rd.Left(), 0u);
  EXPECT_EQ(rd.GetByte(), 0);
  EXPECT_EQ(rd.GetLE16(), 0);
  TzxByteReader rd2(bytes, sizeof bytes);
  rd2.Skip(100);
  EXPECT_EQ(rd2.Left(), 0u);
}

// ----------------------------------------------------------- frame records

TEST(FrameRecord, LengthsAndRunCountsAreChecked) {
  TzxRunFormat f;
  GetRunFormat(32, f);
  auto record = TestRecord(32, {{1, 2}, {0, 3}});
  ASSERT_EQ(record.size(), 18u);
  TzxFrameRecord r = ParseFrameRecord(record.data(), record.size(), f);
  EXPECT_EQ(r.Length, 18);
  EXPECT_EQ(r.RunCount, 2);
  EXPECT_EQ(r.Runs, record.data() + 8);

  // A length beyond the bytes there.
  EXPECT_THROW(ParseFrameRecord(record.data(), 17, f), EzxCorruptFrame);
  try {
    ParseFrameRecord(record.data(), 12, f);
    FAIL() << "no error";
  } catch (const EzxCorruptFrame &e) {
    EXPECT_STREQ(e.what(), "Frame record length 18 exceeds the 12 bytes left");
  }
  // Fewer than 8 bytes, and lengths below 8 (0 and negative included).
  EXPECT_THROW(ParseFrameRecord(record.data(), 7, f), EzxCorruptFrame);
  for (int32_t length : {0, 4, 7, -1, INT32_MIN}) {
    auto bad = record;
    for (int i = 0; i < 4; ++i)
      bad[i] = static_cast<uint8_t>(uint32_t(length) >> (8 * i));
    EXPECT_THROW(ParseFrameRecord(bad.data(), bad.size(), f), EzxCorruptFrame) << length;
  }
  // More runs than the length holds.
  auto many = record;
  many[4] = 3;
  try {
    ParseFrameRecord(many.data(), many.size(), f);
    FAIL() << "no error";
  } catch (const EzxCorruptFrame &e) {
    EXPECT_STREQ(e.what(), "A frame record of 18 bytes cannot hold 3 runs of 5 bytes");
  }
  many[4] = 0xFF, many[5] = 0xFF, many[6] = 0xFF, many[7] = 0x7F;
  EXPECT_THROW(ParseFrameRecord(many.data(), many.size(), f), EzxCorruptFrame);
  // No runs at all when R <= 0; bytes behind the runs are skipped by length.
  auto none = record;
  none[4] = none[5] = none[6] = none[7] = 0xFF;
  EXPECT_EQ(ParseFrameRecord(none.data(), none.size(), f).RunCount, 0);
}

TEST(FrameRecord, WalkGoesByTheRecordLengths) {
  TzxRunFormat f;
  GetRunFormat(8, f);
  std::vector<uint8_t> block;
  auto a = TestRecord(8, {{1, 1}});
  a.insert(a.end(), {9, 9, 9}); // bytes behind the runs that the length covers
  a[0] = static_cast<uint8_t>(a.size());
  const auto b = TestRecord(8, {});
  const auto c = TestRecord(8, {{2, 3}, {4, 5}});
  for (const auto &r : {a, b, c})
    block.insert(block.end(), r.begin(), r.end());

  TzxFrameWalk walk(block.data(), block.size(), f);
  std::vector<int32_t> runs;
  while (!walk.AtEnd()) {
    runs.push_back(walk.Current().RunCount);
    walk.Next();
  }
  EXPECT_EQ(runs, (std::vector<int32_t>{1, 0, 2}));
  EXPECT_EQ(walk.Offset(), block.size());
  EXPECT_THROW(walk.Current(), EzxCorruptFrame);
  // Take reads each record once and moves on by its length.
  walk.Reset(block.data(), block.size(), f);
  for (const auto &r : {a, b, c}) {
    const size_t at = walk.Offset();
    const TzxFrameRecord got = walk.Take();
    EXPECT_EQ(got.Length, static_cast<int32_t>(r.size()));
    EXPECT_EQ(got.Runs, block.data() + at + 8);
  }
  EXPECT_TRUE(walk.AtEnd());
  EXPECT_THROW(walk.Take(), EzxCorruptFrame);

  // A record whose length points past the block stops the walk there.
  block[a.size()] = 200;
  walk.Reset(block.data(), block.size(), f);
  walk.Next();
  EXPECT_EQ(walk.Offset(), a.size());
  EXPECT_THROW(walk.Next(), EzxCorruptFrame);
  EXPECT_THROW(walk.Take(), EzxCorruptFrame);
  EXPECT_EQ(walk.Offset(), a.size());

  TzxFrameWalk empty(nullptr, 100, f);
  EXPECT_TRUE(empty.AtEnd());
}

// ---------------------------------------------------------------- decoding

TEST(FrameDecoding, RunsContinueOnTheNextRowBehindThePadding) {
  // 742 x 419 at 24 bits: rows of 2226 bytes padded by 2. A run of 1000
  // pixels from column 700 writes 42 pixels, skips the padding and goes on
  // with the next row: 742 pixels there, 216 on the row after.
  TTwoPaths d(742, 419, 24);
  const uint32_t value = 0x123456; // blue 0x56, green 0x34, red 0x12
  const int64_t rest = 742 * 419 - 1700;
  std::vector<std::pair<uint32_t, uint32_t>> runs = {{0, 700}, {value, 1000}};
  for (int64_t left = rest; left > 0; left -= 65535)
    runs.push_back({0, static_cast<uint32_t>(std::min<int64_t>(left, 65535))});
  d.Decode(TestRecord(24, runs));

  const int32_t stride = d.Layout.Stride;
  auto pixel = [&](const std::vector<uint8_t> &pic, int32_t x, int32_t y) {
    const uint8_t *p = pic.data() + y * stride + x * 3;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  };
  for (const auto *pic : {&d.ViaXorFrame, &d.Direct}) {
    EXPECT_EQ(pixel(*pic, 699, 0), 0u);
    for (int32_t x = 700; x < 742; ++x)
      ASSERT_EQ(pixel(*pic, x, 0), value) << x;
    EXPECT_EQ((*pic)[2226], 0); // padding
    EXPECT_EQ((*pic)[2227], 0);
    for (int32_t x = 0; x < 742; ++x)
      ASSERT_EQ(pixel(*pic, x, 1), value) << x;
    for (int32_t x = 0; x < 216; ++x)
      ASSERT_EQ(pixel(*pic, x, 2), value) << x;
    EXPECT_EQ(pixel(*pic, 216, 2), 0u);
  }
  EXPECT_EQ(d.ViaXorFrame, d.Direct);
}

TEST(FrameDecoding, FourByteWritesStayInsideTheXorFrame) {
  // At 24 bits with rows that need no padding the write of the last pixel
  // reaches one byte into the spare row, and no further.
  for (int32_t w : {4, 5}) {
    TzxPictureLayout l = MakePictureLayout(w, 3, 24);
    std::vector<uint8_t> x(l.XorFrameBytes(), 0xAA);
    auto record = TestRecord(24, {{0xFFFFFF, static_cast<uint32_t>(w * 3)}});
    TzxFrameRecord r = ParseFrameRecord(record.data(), record.size(), l.Format);
    UnpackFrame(l, r, x.data(), x.size());
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t i = 0; i < l.RowBytes; ++i)
        ASSERT_EQ(x[y * l.Stride + i], 0xFF) << w;
      for (int32_t i = l.RowBytes; i < l.Stride; ++i)
        ASSERT_EQ(x[y * l.Stride + i], 0) << w;
    }
    const size_t spare = l.PictureBytes();
    EXPECT_EQ(x[spare], w % 4 == 0 ? 0 : 0xAA) << w;
    for (size_t i = spare + 1; i < x.size(); ++i)
      ASSERT_EQ(x[i], 0xAA) << w;
  }
}

TEST(FrameDecoding, GeneratedFilmsDecodeToTheirPictures) {
  // Per depth, with widths that need 0 to 3 bytes of row padding.
  for (int32_t bits : {8, 24, 32})
    for (int32_t w : {1, 3, 5, 7, 8, 13, 64})
      CheckFilm(w, 9, bits, TRunCuts::Longest, 100 + w);
}

TEST(FrameDecoding, RunsCutAnywhereDecodeTheSame) {
  // Runs cut at random places and runs of count 0 in between.
  for (int32_t bits : {8, 24, 32})
    for (int32_t w : {1, 7, 30, 33})
      CheckFilm(w, 11, bits, TRunCuts::Random, 200 + w);
}

TEST(FrameDecoding, LongRunsUpToTheCountLimit) {
  // 301 x 237 and 300 x 240: unchanged areas far longer than one run holds.
  CheckFilm(301, 237, 24, TRunCuts::Longest, 7);
  CheckFilm(300, 240, 24, TRunCuts::Longest, 8);
  CheckFilm(300, 240, 32, TRunCuts::Longest, 9);
  CheckFilm(301, 237, 8, TRunCuts::Longest, 10);
}

TEST(FrameDecoding, CountZeroRunsWriteNothing) {
  TTwoPaths d(3, 2, 32);
  d.Decode(TestRecord(32, {{0x0000FF, 0}, {0x000001, 2}, {0xFFFFFF, 0}, {0x000002, 4}}));
  const uint8_t expected[] = {1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0,
                              2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0};
  ASSERT_EQ(d.Direct.size(), sizeof expected);
  EXPECT_EQ(0, std::memcmp(d.Direct.data(), expected, sizeof expected));
  EXPECT_EQ(d.ViaXorFrame, d.Direct);
}

TEST(FrameDecoding, RecordsWithoutRunsChangeNothing) {
  TTwoPaths d(6, 5, 8);
  d.Decode(TestRecord(8, {{7, 30}}));
  const auto before = d.Direct;
  auto none = TestRecord(8, {});
  none[4] = none[5] = none[6] = none[7] = 0xFF; // R = -1
  EXPECT_EQ(d.Decode(none), std::make_pair(int64_t(0), int64_t(0)));
  EXPECT_EQ(d.Direct, before);
  EXPECT_EQ(d.ViaXorFrame, before);
}

TEST(FrameDecoding, ShortRecordsLeaveTheRestUnchanged) {
  // A record covering less than the picture: the pixels it does not reach
  // keep their colour on both paths, although the XOR frame still holds the
  // previous frame's values there.
  TTwoPaths d(5, 4, 24);
  d.Decode(TestRecord(24, {{0x010203, 20}}));
  const auto covered = d.Decode(TestRecord(24, {{0x101010, 3}, {0, 2}, {0x202020, 2}}));
  EXPECT_EQ(covered, std::make_pair(int64_t(7), int64_t(7)));
  TTestPicture expected(5, 4, 24);
  for (auto &v : expected.Pixels)
    v = 0x010203;
  for (int x = 0; x < 3; ++x)
    expected.Pixels[x] ^= 0x101010;
  for (int x = 5; x < 7; ++x)
    expected.Pixels[x] ^= 0x202020;
  EXPECT_EQ(d.Direct, ToSurface(expected));
  EXPECT_EQ(d.ViaXorFrame, ToSurface(expected));
}

TEST(CorruptFrame, RunsPastThePictureStopAtItsEnd) {
  for (int32_t bits : {8, 24, 32}) {
    for (int32_t w : {4, 5}) {
      SCOPED_TRACE(Format("%d bits, width %d", bits, w));
      const TzxPictureLayout l = MakePictureLayout(w, 3, bits);
      const uint32_t v = bits == 8 ? 0x5A : 0x5A5A5A;
      const auto record = TestRecord(bits, {{v, static_cast<uint32_t>(w * 3 - 1)}, {v, 7}, {v, 9}});
      const TzxFrameRecord r = ParseFrameRecord(record.data(), record.size(), l.Format);

      // Exactly sized buffers, followed by guard bytes that must survive.
      std::vector<uint8_t> x(l.XorFrameBytes() + 16, 0xEE);
      try {
        UnpackFrame(l, r, x.data(), l.XorFrameBytes());
        FAIL() << "no error";
      } catch (const EzxCorruptFrame &e) {
        EXPECT_EQ(std::string(e.what()),
                  Format("Frame runs cover %d pixels, the picture has %d (%d x 3)", w * 3 - 1 + 16,
                         w * 3, w));
      }
      for (size_t i = l.XorFrameBytes(); i < x.size(); ++i)
        ASSERT_EQ(x[i], 0xEE);

      std::vector<uint8_t> p(l.PictureBytes() + 16, 0xEE);
      std::fill(p.begin(), p.begin() + static_cast<ptrdiff_t>(l.PictureBytes()), 0);
      EXPECT_THROW(XorFrameIntoPicture(l, r, p.data(), l.PictureBytes()), EzxCorruptFrame);
      for (size_t i = l.PictureBytes(); i < p.size(); ++i)
        ASSERT_EQ(p[i], 0xEE);

      // Both paths filled the whole picture before they stopped.
      std::vector<uint8_t> viaXor(l.PictureBytes(), 0);
      ApplyXorFrame(l, x.data(), l.XorFrameBytes(), viaXor.data(), viaXor.size());
      p.resize(l.PictureBytes());
      EXPECT_EQ(viaXor, p);
      TTestPicture full(w, 3, bits);
      for (auto &px : full.Pixels)
        px = v;
      EXPECT_EQ(p, ToSurface(full));
    }
  }
}

TEST(CorruptFrame, SurfacesTooSmallAreRefused) {
  const TzxPictureLayout l = MakePictureLayout(5, 3, 24);
  const auto record = TestRecord(24, {{1, 15}});
  const TzxFrameRecord r = ParseFrameRecord(record.data(), record.size(), l.Format);
  std::vector<uint8_t> x(l.XorFrameBytes());
  // The XOR frame needs its spare row.
  EXPECT_THROW(UnpackFrame(l, r, x.data(), l.PictureBytes()), EzxError);
  EXPECT_THROW(XorFrameIntoPicture(l, r, x.data(), l.PictureBytes() - 1), EzxError);
  EXPECT_THROW(XorFrameIntoPicture(l, r, nullptr, 1000), EzxError);
  EXPECT_THROW(ApplyXorFrame(l, x.data(), x.size(), x.data(), 10), EzxError);
}

// ---------------------------------------------------------- palette changes

TEST(PaletteChange, RecordsReplaceEntries) {
  TzxMemoryStream track;
  const uint8_t bytes[] = {0, 2, 10, 1, 2, 3, 4, 5, 6, 7, 8, 0};
  track.Write(bytes, sizeof bytes);
  track.Seek(0);
  TzxPalette p;
  ApplyPaletteChange(track, p); // N = 0: one byte, no change
  EXPECT_EQ(track.Position(), 1);
  EXPECT_EQ(p[10].Blue, 0);
  ApplyPaletteChange(track, p);
  EXPECT_EQ(track.Position(), 11);
  EXPECT_EQ(p[10].Blue, 1);
  EXPECT_EQ(p[10].Green, 2);
  EXPECT_EQ(p[10].Red, 3);
  EXPECT_EQ(p[10].Reserved, 4);
  EXPECT_EQ(p[11].Blue, 5);
  EXPECT_EQ(p[12].Blue, 0);
  ApplyPaletteChange(track, p);
  ApplyPaletteChange(track, p); // nothing left: unchanged
  EXPECT_EQ(p[11].Reserved, 8);
}

TEST(PaletteChange, EntriesPastTheEndAreNotWritten) {
  // S = 254 with N = 4: entries 254 and 255 change, the record is consumed
  // whole (the next one is read correctly) and the change is reported.
  std::vector<uint8_t> bytes = {4, 254};
  for (int i = 0; i < 16; ++i)
    bytes.push_back(static_cast<uint8_t>(0x10 + i));
  bytes.insert(bytes.end(), {1, 0, 0xA, 0xB, 0xC, 0xD});
  TzxMemoryStream track;
  track.Write(bytes.data(), static_cast<int32_t>(bytes.size()));
  track.Seek(0);
  struct {
    TzxPalette P;
    uint8_t Guard[64];
  } g;
  std::memset(g.Guard, 0x77, sizeof g.Guard);
  try {
    ApplyPaletteChange(track, g.P);
    FAIL() << "no error";
  } catch (const EzxCorruptFrame &e) {
    EXPECT_STREQ(e.what(), "A palette change of 4 entries from entry 254 runs past entry 255");
  }
  EXPECT_EQ(g.P[254].Blue, 0x10);
  EXPECT_EQ(g.P[255].Reserved, 0x17);
  for (uint8_t b : g.Guard)
    ASSERT_EQ(b, 0x77);
  EXPECT_EQ(track.Position(), 18);
  ApplyPaletteChange(track, g.P);
  EXPECT_EQ(g.P[0].Red, 0xC);

  // 255 entries from 255: one entry written.
  std::vector<uint8_t> big = {255, 255};
  big.resize(2 + 255 * 4, 0x33);
  TzxMemoryStream t2;
  t2.Write(big.data(), static_cast<int32_t>(big.size()));
  t2.Seek(0);
  TzxPalette p2;
  EXPECT_THROW(ApplyPaletteChange(t2, p2), EzxCorruptFrame);
  EXPECT_EQ(p2[255].Green, 0x33);
  EXPECT_EQ(p2[254].Green, 0);
}

TEST(PaletteChange, RecordsCutShortAreReported) {
  const uint8_t bytes[] = {3, 5, 1, 2, 3, 4, 5, 6};
  TzxMemoryStream track;
  track.Write(bytes, sizeof bytes);
  track.Seek(0);
  TzxPalette p;
  try {
    ApplyPaletteChange(track, p);
    FAIL() << "no error";
  } catch (const EzxCorruptFrame &e) {
    EXPECT_STREQ(e.what(), "A palette change of 3 entries from entry 5 is cut short after 6 bytes");
  }
  EXPECT_EQ(p[5].Red, 3);
  EXPECT_EQ(p[6].Blue, 0); // only half of it arrived

  TzxMemoryStream noFirst;
  const uint8_t one = 2;
  noFirst.Write(&one, 1);
  noFirst.Seek(0);
  EXPECT_THROW(ApplyPaletteChange(noFirst, p), EzxCorruptFrame);
}

// ----------------------------------------------------------------- encoder

TEST(FrameEncoder, WritesWhatTheTestEncoderWrites) {
  for (int32_t bits : {8, 24, 32})
    for (int32_t w : {1, 6, 301}) {
      const int32_t h = w == 301 ? 237 : 7;
      const auto frames = MakeTestFrames(w, h, bits, 6, 300 + w + bits);
      TzxFrameEncoder enc(w, h, bits);
      TTestPicture prev(w, h, bits);
      for (size_t k = 0; k < frames.size(); ++k) {
        const auto surface = ToSurface(frames[k]);
        const auto got = enc.EncodeFrame(surface.data(), enc.Layout().Stride, surface.size());
        ASSERT_EQ(got, TestEncodeFrame(prev, frames[k])) << What(w, h, bits, k);
        prev = frames[k];
      }
    }
}

TEST(FrameEncoder, RunsStopAtTheCountLimit) {
  // An unchanged 742 x 419 screen at 32 bits: four runs of 65535 pixels
  // and one of the remaining 48758, 33 bytes.
  TzxFrameEncoder enc(742, 419, 32);
  std::vector<uint8_t> black(enc.Layout().PictureBytes(), 0);
  const auto r = enc.EncodeFrame(black.data(), enc.Layout().Stride, black.size());
  ASSERT_EQ(r.size(), 33u);
  EXPECT_EQ(r[0], 33);
  EXPECT_EQ(r[4], 5);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(r[8 + 5 * i + 3] | r[8 + 5 * i + 4] << 8, 65535);
  EXPECT_EQ(r[31] | r[32] << 8, 310898 - 4 * 65535);

  // At 8 bits a run holds 255 pixels.
  TzxFrameEncoder enc8(30, 20, 8);
  std::vector<uint8_t> grey(enc8.Layout().PictureBytes(), 9);
  const auto r8 = enc8.EncodeFrame(grey.data(), enc8.Layout().Stride, grey.size());
  EXPECT_EQ(r8[4], 3); // 255 + 255 + 90
  EXPECT_EQ(r8.size(), 8u + 3 * 2);
  EXPECT_EQ(r8[9], 255);
  EXPECT_EQ(r8[13], 90);
  EXPECT_THROW(enc8.EncodeFrame(grey.data(), 29, grey.size()), EzxError);
  EXPECT_THROW(enc8.EncodeFrame(grey.data(), 32, 32 * 19 + 29), EzxError);
}

TEST(FrameEncoder, PaletteChangesCoverEveryChangedEntry) {
  TzxPalette a, b;
  std::vector<uint8_t> track;
  AppendPaletteChange(track, a, b);
  EXPECT_EQ(track, std::vector<uint8_t>{0});
  b[3].Red = 1;
  b[5].Blue = 2;
  track.clear();
  AppendPaletteChange(track, a, b);
  EXPECT_EQ(track, (std::vector<uint8_t>{3, 3, 0, 0, 1, 0, 0, 0, 0, 0, 2, 0, 0, 0}));
  TzxMemoryStream s;
  s.Write(track.data(), static_cast<int32_t>(track.size()));
  s.Seek(0);
  ApplyPaletteChange(s, a);
  EXPECT_EQ(a[3].Red, 1);
  EXPECT_EQ(a[5].Blue, 2);

  // 256 changed entries do not fit one record.
  b = RandomPalette(1);
  b[0].Red = static_cast<uint8_t>(a[0].Red + 1);
  b[255].Red = static_cast<uint8_t>(a[255].Red + 1);
  EXPECT_THROW(AppendPaletteChange(track, a, b), EzxError);
}
