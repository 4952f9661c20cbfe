#include "UzxCursor_new.h"
#include "zxEngineTesting.h"
#include "zxFilmWriter.h"
#include "zxFrameEncoder.h"
#include "zxRender.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TzxRgbPicture Filled(int32_t w, int32_t h, uint8_t v) {
  TzxRgbPicture p;
  p.Width = w;
  p.Height = h;
  p.Pixels.assign(size_t(w) * h * 3, v);
  return p;
}

// A cursor read from its record, as the loader reads it.
std::unique_ptr<TzxCursor> LoadCursor(const TzxCursorRecord &record) {
  TzxTestDir dir;
  WriteWholeFile(dir.File("cursor.bin"), EncodeCursorRecord(record));
  TzxFileStream file(dir.File("cursor.bin"), fmOpenRead);
  auto c = std::make_unique<TzxCursor>();
  c->LoadFromFile(file);
  return c;
}

// The smallest rectangle holding every pixel that differs between a and b;
// x0 > x1 when none does.
struct TBox {
  int32_t X0 = INT32_MAX, Y0 = INT32_MAX, X1 = -1, Y1 = -1;
  int32_t Count = 0;
};
TBox Changed(const TzxRgbPicture &a, const TzxRgbPicture &b) {
  TBox box;
  for (int32_t y = 0; y < a.Height; ++y)
    for (int32_t x = 0; x < a.Width; ++x)
      if (!std::equal(a.At(x, y), a.At(x, y) + 3, b.At(x, y))) {
        box.X0 = std::min(box.X0, x), box.X1 = std::max(box.X1, x);
        box.Y0 = std::min(box.Y0, y), box.Y1 = std::max(box.Y1, y);
        ++box.Count;
      }
  return box;
}

TzxBytes Bgra(int32_t pixels, uint8_t b, uint8_t g, uint8_t r) {
  TzxBytes out;
  for (int32_t i = 0; i < pixels; ++i)
    out.insert(out.end(), {b, g, r, 0xFF});
  return out;
}

std::vector<uint8_t> RgbOf(const TzxRgbPicture &p, int32_t x, int32_t y) {
  return {p.At(x, y)[0], p.At(x, y)[1], p.At(x, y)[2]};
}

} // namespace

// ----------------------------------------------------------------- cursors

TEST(CursorDrawing, ColourCursorCoversItsRectangle) {
  // 32 x 32 with hot spot (10, 10) drawn at (100, 50): 90 ... 121 x 40 ... 71.
  auto c = LoadCursor(MakeColourCursor(32, 32, 10, 10, Bgra(32 * 32, 1, 2, 3)));
  ASSERT_TRUE(c->Valid());
  const TzxRgbPicture before = Filled(200, 100, 0x40);
  TzxRgbPicture p = before;
  EXPECT_TRUE(DrawCursor(*c, 100, 50, p));
  const TBox box = Changed(before, p);
  EXPECT_EQ(box.X0, 90);
  EXPECT_EQ(box.X1, 121);
  EXPECT_EQ(box.Y0, 40);
  EXPECT_EQ(box.Y1, 71);
  EXPECT_EQ(box.Count, 32 * 32);
  // Mask 0 clears the pixel, then the colour (blue 1, green 2, red 3) goes in.
  EXPECT_EQ(RgbOf(p, 90, 40), (std::vector<uint8_t>{3, 2, 1}));
}

TEST(CursorDrawing, MaskKeepsOrClearsAndColourIsXored) {
  // Left half of the mask set (keep), right half clear; every colour pixel
  // 0x0F in each channel.
  TzxCursorRecord r = MakeColourCursor(16, 2, 0, 0, Bgra(32, 0x0F, 0x0F, 0x0F));
  for (int row = 0; row < 2; ++row)
    r.MaskBits[row * 2] = 0xFF;
  auto c = LoadCursor(r);
  TzxRgbPicture p = Filled(20, 4, 0xF0);
  DrawCursor(*c, 2, 1, p);
  EXPECT_EQ(RgbOf(p, 2, 1), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF})); // kept, XORed
  EXPECT_EQ(RgbOf(p, 9, 2), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(RgbOf(p, 10, 1), (std::vector<uint8_t>{0x0F, 0x0F, 0x0F})); // cleared, XORed
  EXPECT_EQ(RgbOf(p, 17, 2), (std::vector<uint8_t>{0x0F, 0x0F, 0x0F}));
  EXPECT_EQ(RgbOf(p, 18, 2), (std::vector<uint8_t>{0xF0, 0xF0, 0xF0}));
  EXPECT_EQ(RgbOf(p, 2, 3), (std::vector<uint8_t>{0xF0, 0xF0, 0xF0}));
}

TEST(CursorDrawing, ClippedAtTheEdges) {
  auto c = LoadCursor(MakeColourCursor(32, 32, 10, 10, Bgra(32 * 32, 9, 9, 9)));
  const TzxRgbPicture before = Filled(50, 40, 0x40);

  TzxRgbPicture p = before;
  DrawCursor(*c, 0, 0, p);
  TBox box = Changed(before, p);
  EXPECT_EQ(box.X0, 0);
  EXPECT_EQ(box.Y0, 0);
  EXPECT_EQ(box.X1, 21);
  EXPECT_EQ(box.Y1, 21);
  EXPECT_EQ(box.Count, 22 * 22);

  p = before;
  DrawCursor(*c, 49, 39, p);
  box = Changed(before, p);
  EXPECT_EQ(box.X0, 39);
  EXPECT_EQ(box.Y0, 29);
  EXPECT_EQ(box.X1, 49);
  EXPECT_EQ(box.Y1, 39);

  // Wholly outside, in every direction, and with extreme hot spots.
  for (auto [x, y] : {std::pair{65535, 10}, {10, 65535}, {60, 50}}) {
    p = before;
    DrawCursor(*c, x, y, p);
    EXPECT_EQ(Changed(before, p).Count, 0) << x << ", " << y;
  }
  for (int32_t hot : {INT32_MIN, INT32_MAX, -40, 43}) {
    TzxCursorRecord r = MakeColourCursor(32, 32, hot, hot, Bgra(32 * 32, 9, 9, 9));
    auto far = LoadCursor(r);
    p = before;
    DrawCursor(*far, 0, 0, p);
    EXPECT_EQ(Changed(before, p).Count, 0) << hot;
  }
}

// A cursor beside the picture whose rows lie within it: found by the cursor
// fuzz target (a colour record with hot spot 0x60000002,1), where the row
// loops formed pointers far before the picture (undefined behaviour that
// the sanitizer lane reports).
TEST(CursorDrawing, BesideThePictureWithRowsInsideIt) {
  const TzxRgbPicture before = Filled(40, 30, 0x5A);
  const std::vector<bool> bits(16, true);
  for (auto [hotX, hotY] : {std::pair{0x60000002, 1}, {-1000, 2}, {2000000000, 0}}) {
    for (const TzxCursorRecord &r : {MakeColourCursor(4, 4, hotX, hotY, Bgra(16, 9, 9, 9)),
                                     MakeMonochromeCursor(4, 4, hotX, hotY, bits, bits)}) {
      auto c = LoadCursor(r);
      ASSERT_TRUE(c->Valid());
      TzxRgbPicture p = before;
      EXPECT_TRUE(DrawCursor(*c, 20, 15, p));
      EXPECT_EQ(Changed(before, p).Count, 0) << hotX << ", " << hotY;
    }
  }
}

TEST(CursorDrawing, MonochromeAndThenXor) {
  // Pixels: AND 1 XOR 0 unchanged, AND 1 XOR 1 inverted, AND 0 XOR 0 black,
  // AND 0 XOR 1 white.
  auto c = LoadCursor(
      MakeMonochromeCursor(2, 2, 0, 0, {true, true, false, false}, {false, true, false, true}));
  ASSERT_TRUE(c->Valid());
  ASSERT_TRUE(c->Monochrome());
  TzxRgbPicture p = Filled(4, 4, 0x35);
  EXPECT_TRUE(DrawCursor(*c, 1, 1, p));
  EXPECT_EQ(RgbOf(p, 1, 1), (std::vector<uint8_t>{0x35, 0x35, 0x35}));
  EXPECT_EQ(RgbOf(p, 2, 1), (std::vector<uint8_t>{0xCA, 0xCA, 0xCA}));
  EXPECT_EQ(RgbOf(p, 1, 2), (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(RgbOf(p, 2, 2), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Changed(Filled(4, 4, 0x35), p).Count, 3);

  // A 32 x 32 cursor inverting everything, clipped at the right edge.
  auto inv = LoadCursor(MakeMonochromeCursor(32, 32, 0, 0, std::vector<bool>(1024, true),
                                             std::vector<bool>(1024, true)));
  TzxRgbPicture q = Filled(40, 40, 0x11);
  DrawCursor(*inv, 20, 3, q);
  const TBox box = Changed(Filled(40, 40, 0x11), q);
  EXPECT_EQ(box.X0, 20);
  EXPECT_EQ(box.X1, 39);
  EXPECT_EQ(box.Y1, 34);
  EXPECT_EQ(RgbOf(q, 39, 34), (std::vector<uint8_t>{0xEE, 0xEE, 0xEE}));
}

TEST(CursorDrawing, TwentyFourBitColourRowsArePadded) {
  // 3 x 2 at 24 bits: rows of 9 bytes padded to 12.
  TzxCursorRecord r = MakeColourCursor(3, 2, 0, 0, {});
  r.Colour = {-1, 3, 2, 24};
  r.ColourBits.assign(24, 0);
  for (int i = 0; i < 3; ++i)
    r.ColourBits[12 + 3 * i + 2] = static_cast<uint8_t>(0x10 * (i + 1));
  auto c = LoadCursor(r);
  ASSERT_TRUE(c->Valid());
  TzxRgbPicture p = Filled(3, 2, 0);
  DrawCursor(*c, 0, 0, p);
  EXPECT_EQ(RgbOf(p, 0, 0), (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(RgbOf(p, 2, 1), (std::vector<uint8_t>{0x30, 0, 0}));
}

TEST(CursorDrawing, RecordsWithoutUsableMaskDrawNothing) {
  TzxCursorRecord none;
  none.Mask = {0, 0, 0, 0};
  none.Colour = {0, 0, 0, 0};
  TzxCursorRecord shortMask = MakeColourCursor(32, 32, 0, 0, Bgra(1024, 1, 1, 1));
  shortMask.MaskBits.resize(64);
  for (const auto *r : {&none, &shortMask}) {
    auto c = LoadCursor(*r);
    EXPECT_FALSE(c->Valid());
    TzxRgbPicture p = Filled(40, 40, 0x22);
    EXPECT_FALSE(DrawCursor(*c, 5, 5, p));
    EXPECT_EQ(Changed(Filled(40, 40, 0x22), p).Count, 0);
  }
}

// ------------------------------------------------------- segment rendering

namespace {

// A film of generated frames in a segment record: video encoded with the
// engine's encoder, at 8 bits a palette change before every frame.
struct TFilm {
  std::vector<TTestPicture> Frames;
  std::vector<TzxPalette> Palettes; // the palette after each frame's change
  TTestSegment Segment;

  TFilm(int32_t w, int32_t h, int32_t bits, int32_t frames, uint64_t seed, int32_t flags = 0)
      : Frames(MakeTestFrames(w, h, bits, frames, seed)), Segment(w, h, bits, flags) {
    TzxFrameEncoder enc(w, h, bits);
    std::vector<uint8_t> video, palettes;
    TTestRandom r(seed);
    TzxPalette palette, target = RandomPalette(seed);
    for (const auto &f : Frames) {
      enc.AppendFrame(video, ToSurface(f).data(), enc.Layout().Stride, ToSurface(f).size());
      if (bits == 8) {
        TzxPalette next = palette;
        if (r.Below(3) != 0) {
          const int32_t first = r.Below(256), n = 1 + r.Below(std::min(255, 256 - first));
          for (int32_t i = first; i < first + n; ++i)
            next[i] = target[i];
          target = RandomPalette(r.Next());
        }
        AppendPaletteChange(palettes, palette, next);
        palette = next;
      }
      Palettes.push_back(palette);
    }
    Segment.SetVideo(video, frames);
    Segment.SetPaletteTrack(palettes);
  }
};

// Renders a whole film with one renderer; the checksum of every frame.
std::vector<std::string> Checksums(TTestSegment &segment, TzxSegmentRenderer::TDecodePath path,
                                   bool withCursor) {
  TzxPalette palette;
  TzxSegmentRenderer r(segment.Info(), palette, path);
  std::vector<std::string> sums;
  TzxRgbPicture p;
  while (r.NextFrame()) {
    r.Render(p, withCursor);
    sums.push_back(PictureSha256(p));
  }
  return sums;
}

} // namespace

TEST(SegmentRendering, FramesShowTheirPictures) {
  for (int32_t bits : {8, 24, 32}) {
    for (int32_t w : {7, 16, 61}) {
      TFilm film(w, 13, bits, 10, 500 + w + bits);
      TzxPalette palette;
      TzxSegmentRenderer r(film.Segment.Info(), palette);
      EXPECT_EQ(r.FrameCount(), 10);
      EXPECT_EQ(r.FrameIndex(), -1);
      TzxRgbPicture p;
      std::vector<std::string> sums;
      for (size_t k = 0; k < film.Frames.size(); ++k) {
        SCOPED_TRACE(Format("%d x 13 at %d bits, frame %d", w, bits, static_cast<int>(k)));
        ASSERT_TRUE(r.NextFrame());
        EXPECT_EQ(r.FrameIndex(), static_cast<int32_t>(k));
        r.Render(p, true);
        const TzxRgbPicture expected = ToRgb(film.Frames[k], film.Palettes[k]);
        ASSERT_EQ(p.Pixels, expected.Pixels);
        sums.push_back(PictureSha256(p));
        EXPECT_EQ(sums.back(), PictureSha256(expected));
      }
      EXPECT_FALSE(r.NextFrame());
      EXPECT_FALSE(r.NextFrame());
      // The other decoding path gives the same pictures.
      EXPECT_EQ(Checksums(film.Segment, TzxSegmentRenderer::TDecodePath::XorFrame, true), sums);
    }
  }
}

TEST(SegmentRendering, RecordsSpanSeveralBlocks) {
  // Frames of noise, 1.3 MB a record: the video is read in more than one block.
  const int32_t w = 512, h = 512;
  std::vector<uint8_t> video;
  TzxFrameEncoder enc(w, h, 32);
  TTestRandom random(3);
  std::vector<std::string> expected;
  for (int k = 0; k < 5; ++k) {
    TTestPicture pic(w, h, 32);
    for (auto &v : pic.Pixels)
      v = random.Next() & 0xFFFFFF;
    const auto surface = ToSurface(pic);
    enc.AppendFrame(video, surface.data(), enc.Layout().Stride, surface.size());
    expected.push_back(PictureSha256(ToRgb(pic, {})));
  }
  TTestSegment s(w, h, 32);
  s.SetVideo(video, 5);
  EXPECT_EQ(Checksums(s, TzxSegmentRenderer::TDecodePath::Direct, false), expected);
  EXPECT_EQ(Checksums(s, TzxSegmentRenderer::TDecodePath::XorFrame, false), expected);
}

TEST(SegmentRendering, CursorSampleOfTheFramesFirstTick) {
  for (int32_t ticks : {1, 3}) {
    SCOPED_TRACE(ticks);
    TFilm film(64, 48, 32, 4, 11, ticks == 3 ? sfThreeCursorSamples : 0);
    film.Segment.AddCursor(MakeColourCursor(4, 4, 1, 1, Bgra(16, 0xFF, 0xFF, 0xFF)));
    // Sample i at x = 2 + 3i; the track ends after seven samples.
    std::vector<uint8_t> track;
    for (uint16_t i = 0; i < 7; ++i)
      AppendCursorSample(track, 0, static_cast<uint16_t>(2 + 3 * i), 20);
    film.Segment.SetCursorTrack(track);

    TzxPalette palette;
    TzxSegmentRenderer r(film.Segment.Info(), palette);
    EXPECT_EQ(r.TicksPerFrame(), ticks);
    EXPECT_FALSE(r.HasCursorSample());
    TzxRgbPicture plain, withCursor;
    for (int32_t k = 0; k < 4; ++k) {
      ASSERT_TRUE(r.NextFrame());
      ASSERT_TRUE(r.HasCursorSample());
      const int32_t sample = std::min(k * ticks, 6);
      EXPECT_EQ(r.CursorSample().X, 2 + 3 * sample) << k;
      // The frame's later ticks: the samples behind it, the last one past
      // the track's end.
      for (int32_t tick = 0; tick < ticks; ++tick) {
        TzxCursorSample later;
        ASSERT_TRUE(r.CursorSampleAt(tick, later));
        EXPECT_EQ(later.X, 2 + 3 * std::min(k * ticks + tick, 6)) << k << " " << tick;
      }
      r.Render(plain, false);
      r.Render(withCursor, true);
      EXPECT_EQ(plain.Pixels, ToRgb(film.Frames[size_t(k)], {}).Pixels);
      const TBox box = Changed(plain, withCursor);
      EXPECT_EQ(box.X0, 1 + 3 * sample) << k;
      EXPECT_EQ(box.Y0, 19) << k;
    }
  }
}

TEST(SegmentRendering, SamplesWithoutCursorDrawNothing) {
  TFilm film(20, 10, 24, 3, 12);
  film.Segment.AddCursor(MakeColourCursor(4, 4, 0, 0, Bgra(16, 0xFF, 0, 0)));
  TzxCursorRecord noMask;
  noMask.Mask = {0, 0, 0, 0};
  noMask.Colour = {0, 0, 0, 0};
  film.Segment.AddCursor(noMask);
  std::vector<uint8_t> track;
  AppendCursorSample(track, 1, 5, 5);   // a cursor without mask
  AppendCursorSample(track, 2, 5, 5);   // no such cursor
  track.insert(track.end(), {0, 0, 5}); // half a sample: the last one stays
  film.Segment.SetCursorTrack(track);

  TzxPalette palette;
  TzxSegmentRenderer r(film.Segment.Info(), palette);
  TzxRgbPicture plain, withCursor;
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(r.NextFrame());
    EXPECT_EQ(r.CursorSample().Cursor, k == 0 ? 1 : 2);
    r.Render(plain, false);
    r.Render(withCursor, true);
    EXPECT_EQ(plain.Pixels, withCursor.Pixels) << k;
  }

  // No track at all: no cursor.
  TFilm bare(20, 10, 24, 1, 13);
  bare.Segment.AddCursor(MakeColourCursor(4, 4, 0, 0, Bgra(16, 0xFF, 0, 0)));
  TzxSegmentRenderer rb(bare.Segment.Info(), palette);
  ASSERT_TRUE(rb.NextFrame());
  EXPECT_FALSE(rb.HasCursorSample());
  rb.Render(plain, false);
  rb.Render(withCursor, true);
  EXPECT_EQ(plain.Pixels, withCursor.Pixels);
}

TEST(SegmentRendering, ThePaletteLivesOnAcrossSegments) {
  // The first segment sets entry 5 to red; the second, with no palette
  // track, shows its index-5 pixels red.
  TzxPalette palette;
  std::vector<uint8_t> video;
  TTestPicture five(4, 2, 8);
  for (auto &v : five.Pixels)
    v = 5;
  TzxFrameEncoder enc(4, 2, 8);
  enc.AppendFrame(video, ToSurface(five).data(), 4, 8);

  TTestSegment a(4, 2, 8);
  a.SetVideo(video, 1);
  a.SetPaletteTrack({1, 5, 0, 0, 0xFF, 0});
  TzxSegmentRenderer ra(a.Info(), palette);
  ASSERT_TRUE(ra.NextFrame());

  TTestSegment b(4, 2, 8);
  b.SetVideo(video, 1);
  TzxSegmentRenderer rb(b.Info(), palette);
  ASSERT_TRUE(rb.NextFrame());
  TzxRgbPicture p;
  rb.Render(p, false);
  EXPECT_EQ(RgbOf(p, 3, 1), (std::vector<uint8_t>{0xFF, 0, 0}));
}

TEST(SegmentRendering, DamagedVideoIsReported) {
  const auto frames = MakeTestFrames(9, 5, 8, 3, 14);
  TzxFrameEncoder enc(9, 5, 8);
  std::vector<uint8_t> good;
  for (const auto &f : frames)
    enc.AppendFrame(good, ToSurface(f).data(), 12, 60);

  {
    // The video ends after three frames of five: the segment ends there, as
    // the player ends it and goes on with the next.
    TTestSegment s(9, 5, 8);
    s.SetVideo(good, 5);
    TzxPalette palette;
    TzxSegmentRenderer r(s.Info(), palette);
    for (int k = 0; k < 3; ++k)
      ASSERT_TRUE(r.NextFrame());
    EXPECT_TRUE(r.Ended());
    EXPECT_FALSE(r.NextFrame());
    EXPECT_EQ(r.EndReason(), "its video data holds 3 of its 5 frames");
    EXPECT_EQ(r.FrameIndex(), 2);
  }
  {
    // A record length pointing past the end of the video: the block that
    // holds it is never queued, so there is nothing to show.
    auto bad = good;
    bad[0] = 0xFF, bad[1] = 0x7F;
    TTestSegment s(9, 5, 8);
    s.SetVideo(bad, 3);
    TzxPalette palette;
    TzxSegmentRenderer r(s.Info(), palette);
    EXPECT_FALSE(r.NextFrame());
    EXPECT_EQ(r.FrameIndex(), -1);
    EXPECT_NE(r.EndReason().find("holds 0 of its 3 frames: the frame record of"), std::string::npos)
        << r.EndReason();
    EXPECT_NE(r.EndReason().find("runs past the end of the video data"), std::string::npos);
  }
  {
    // A length below 8 in the second record: the first frame shows, then
    // the records end where the player's fill stopped.
    auto bad = good;
    const size_t second = size_t(GetLE32(bad.data()));
    bad[second] = 3, bad[second + 1] = 0, bad[second + 2] = 0, bad[second + 3] = 0;
    TTestSegment s(9, 5, 8);
    s.SetVideo(bad, 3);
    TzxPalette palette;
    TzxSegmentRenderer r(s.Info(), palette);
    ASSERT_TRUE(r.NextFrame());
    EXPECT_FALSE(r.NextFrame());
    EXPECT_EQ(r.EndReason(), Format("its video data holds 1 of its 3 frames: the frame record at "
                                    "byte %d gives its length as 3, below 8",
                                    int(second)));
  }
  {
    // The second record's runs cover too much: the frame is reported, its
    // palette change and cursor sample are still read, and the next frame
    // decodes.
    std::vector<uint8_t> video = TestEncodeFrame(TTestPicture(9, 5, 8), frames[0]);
    const auto over = TestRecord(8, {{1, 45}, {2, 5}});
    video.insert(video.end(), over.begin(), over.end());
    TTestPicture second(9, 5, 8);
    for (size_t i = 0; i < 45; ++i)
      second.Pixels[i] = frames[0].Pixels[i] ^ 1u;
    const auto third = TestEncodeFrame(second, frames[2]);
    video.insert(video.end(), third.begin(), third.end());
    TTestSegment s(9, 5, 8);
    s.SetVideo(video, 3);
    s.SetPaletteTrack({0, 1, 7, 1, 2, 3, 0, 0});
    std::vector<uint8_t> track;
    for (uint16_t i = 0; i < 3; ++i)
      AppendCursorSample(track, 0, i, i);
    s.SetCursorTrack(track);
    for (auto path :
         {TzxSegmentRenderer::TDecodePath::Direct, TzxSegmentRenderer::TDecodePath::XorFrame}) {
      TzxPalette palette;
      TzxSegmentRenderer r(s.Info(), palette, path);
      ASSERT_TRUE(r.NextFrame());
      EXPECT_THROW(r.NextFrame(), EzxCorruptFrame);
      EXPECT_EQ(r.Picture(), ToSurface(second));
      EXPECT_EQ(palette[7].Green, 2);
      EXPECT_EQ(r.CursorSample().X, 1);
      ASSERT_TRUE(r.NextFrame());
      EXPECT_EQ(r.Picture(), ToSurface(frames[2]));
    }
  }
}

TEST(SegmentRendering, DepthsWithoutFramesAreRefused) {
  TTestSegment s(10, 10, 16);
  TzxPalette palette;
  EXPECT_THROW(TzxSegmentRenderer(s.Info(), palette), EzxError);
  TTestSegment empty(0, 10, 32);
  EXPECT_THROW(TzxSegmentRenderer(empty.Info(), palette), EzxError);
}

// ------------------------------------------------------------ seek index

namespace {

// A film whose cursor moves every tick, for checking that a seek brings the
// cursor sample along with the picture.
struct TSeekFilm : TFilm {
  TSeekFilm(int32_t bits, int32_t frames, uint64_t seed)
      : TFilm(23, 11, bits, frames, seed, sfThreeCursorSamples) {
    TzxBytes bgra(4 * 3 * 4, 0x5A);
    Segment.AddCursor(MakeColourCursor(4, 3, 1, 1, bgra));
    std::vector<uint8_t> track;
    for (int32_t i = 0; i < frames * 3; ++i)
      AppendCursorSample(track, 0, static_cast<uint16_t>(i % 25), static_cast<uint16_t>(i % 13));
    Segment.SetCursorTrack(track);
  }
};

std::string Shot(const TzxSegmentRenderer &r) {
  TzxRgbPicture p;
  r.Render(p, true);
  return PictureSha256(p);
}

} // namespace

TEST(SeekIndex, AnyFrameShowsWhatTheWalkFromTheStartShows) {
  for (int32_t bits : {8, 32}) {
    SCOPED_TRACE(Format("%d bits", bits));
    constexpr int32_t frames = 300;
    TSeekFilm film(bits, frames, 77 + bits);
    const std::vector<std::string> walked =
        Checksums(film.Segment, TzxSegmentRenderer::TDecodePath::Direct, true);
    ASSERT_EQ(walked.size(), size_t(frames));

    TzxPalette palette;
    TzxSegmentRenderer r(film.Segment.Info(), palette);
    // Room for four pictures: snapshots every 75 frames.
    const size_t each = r.Layout().PictureBytes() + sizeof(TzxRenderState);
    TzxSeekIndex index(r, 4 * each);
    index.Seek(100);
    EXPECT_EQ(Shot(r), walked[100]);
    EXPECT_FALSE(index.Complete()) << "walked as far as needed";
    EXPECT_EQ(index.Reachable(), 101);
    index.Build();
    EXPECT_TRUE(index.Complete());
    EXPECT_EQ(index.Reachable(), frames);
    EXPECT_EQ(index.Spacing(), 75);
    EXPECT_EQ(index.Snapshots(), 4u) << "the start and after frames 74, 149, 224";
    EXPECT_LE(index.Bytes(), 4 * each + sizeof(index));

    // Backwards, forwards, onto snapshots and beside them, twice the same.
    TTestRandom random(5);
    std::vector<int32_t> targets = {0, 299, 298, 74, 75, 73, 150, 150, 1, 0, 224, 225, 10};
    for (int i = 0; i < 40; ++i)
      targets.push_back(random.Below(frames));
    for (int32_t k : targets) {
      SCOPED_TRACE(Format("frame %d", k));
      ASSERT_TRUE(index.Seek(k));
      ASSERT_EQ(r.FrameIndex(), k);
      ASSERT_EQ(Shot(r), walked[size_t(k)]);
      if (bits == 8) {
        EXPECT_EQ(std::memcmp(palette.data(), film.Palettes[size_t(k)].data(), sizeof palette), 0);
      }
      EXPECT_EQ(r.CursorSample().X, (3 * k) % 25) << "sample k x 3";
    }
    // And on from a seek, frame by frame to the end.
    index.Seek(290);
    for (int32_t k = 291; k < frames; ++k) {
      ASSERT_TRUE(r.NextFrame());
      EXPECT_EQ(Shot(r), walked[size_t(k)]);
    }
    EXPECT_FALSE(r.NextFrame());
    EXPECT_FALSE(index.Seek(frames));
    EXPECT_FALSE(index.Seek(-1));
  }
}

TEST(SeekIndex, SpacingFollowsTheBudgetAndFramesBehindDamageCannotBeReached) {
  {
    // A generous budget still keeps snapshots MinSpacing apart.
    TSeekFilm film(32, 100, 3);
    TzxPalette palette;
    TzxSegmentRenderer r(film.Segment.Info(), palette);
    TzxSeekIndex index(r);
    index.Build();
    EXPECT_EQ(index.Spacing(), TzxSeekIndex::MinSpacing);
    EXPECT_EQ(index.Snapshots(), 4u);
  }
  {
    // Frame 40's runs cover more than the picture: the player stops there,
    // so frames 0 .. 39 are the ones that can be shown.
    const auto frames = MakeTestFrames(9, 5, 32, 60, 8);
    std::vector<uint8_t> video;
    TTestPicture before(9, 5, 32);
    for (int32_t k = 0; k < 60; ++k) {
      const auto record =
          k == 40 ? TestRecord(32, {{1, 45}, {2, 5}}) : TestEncodeFrame(before, frames[k]);
      video.insert(video.end(), record.begin(), record.end());
      before = frames[k];
    }
    TTestSegment s(9, 5, 32);
    s.SetVideo(video, 60);
    TzxPalette palette;
    TzxSegmentRenderer r(s.Info(), palette);
    TzxSeekIndex index(r, 0);
    ASSERT_TRUE(index.Seek(39));
    EXPECT_EQ(r.Picture(), ToSurface(frames[39]));
    EXPECT_THROW(index.Build(), EzxCorruptFrame);
    EXPECT_TRUE(index.Complete());
    EXPECT_EQ(index.Reachable(), 40);
    ASSERT_TRUE(index.Seek(39));
    EXPECT_EQ(r.Picture(), ToSurface(frames[39]));
    EXPECT_FALSE(index.Seek(40));
  }
}

TEST(SeekIndex, RenderersOfOneSegmentReadItsStreamsEachOnItsOwn) {
  // Both read the cursor and palette tracks in turn (and the video data,
  // in films longer than a block).
  TSeekFilm film(8, 40, 21);
  const std::vector<std::string> walked =
      Checksums(film.Segment, TzxSegmentRenderer::TDecodePath::Direct, true);
  TzxPalette pa, pb;
  TzxSegmentRenderer a(film.Segment.Info(), pa), b(film.Segment.Info(), pb);
  TzxSeekIndex index(b, 0);
  for (int32_t k = 0; k < 40; ++k) {
    ASSERT_TRUE(a.NextFrame());
    ASSERT_TRUE(index.Seek(39 - k));
    EXPECT_EQ(Shot(a), walked[size_t(k)]) << k;
    EXPECT_EQ(Shot(b), walked[size_t(39 - k)]) << k;
  }
}
