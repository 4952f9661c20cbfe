// The Win32 engine's picture, tick by tick, against the software renderer.
#include "zxEngineTesting.h"
#include "zxFilmWriter.h"
#include "zxFrameEncoder.h"
#include "zxPlayer_win.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace {

// A segment of generated frames with a cursor that moves every tick.
struct TPlayerFilm {
  TTestSegment Segment;

  // edit changes the frame records before they are stored.
  TPlayerFilm(int32_t w, int32_t h, int32_t bits, int32_t frames, int32_t flags, uint64_t seed,
              const std::function<void(std::vector<uint8_t> &)> &edit = {})
      : Segment(w, h, bits, flags) {
    TzxFrameEncoder enc(w, h, bits);
    std::vector<uint8_t> video, palettes;
    TzxPalette palette;
    TTestRandom r(seed);
    for (const auto &f : MakeTestFrames(w, h, bits, frames, seed)) {
      const auto surface = ToSurface(f);
      enc.AppendFrame(video, surface.data(), enc.Layout().Stride, surface.size());
      if (bits == 8) {
        TzxPalette next = palette;
        const int32_t first = r.Below(200);
        for (int32_t i = first; i < first + 40; ++i)
          next[size_t(i)] = {uint8_t(r.Next()), uint8_t(r.Next()), uint8_t(r.Next()), 0};
        AppendPaletteChange(palettes, palette, next);
        palette = next;
      }
    }
    if (edit) edit(video);
    Segment.SetVideo(video, frames);
    Segment.SetPaletteTrack(palettes);
    TzxBytes bgra(6 * 5 * 4);
    for (size_t i = 0; i < bgra.size(); i += 4) {
      bgra[i] = 0x30;
      bgra[i + 1] = uint8_t(0x11 * (i / 4 % 7));
      bgra[i + 2] = 0xE0;
    }
    Segment.AddCursor(MakeColourCursor(6, 5, 2, 1, bgra));
    const int32_t ticks = (flags & sfThreeCursorSamples) ? 3 : 1;
    std::vector<uint8_t> track;
    for (int32_t i = 0; i < frames * ticks; ++i)
      AppendCursorSample(track, 0, static_cast<uint16_t>((7 * i) % (w + 4)),
                         static_cast<uint16_t>((3 * i) % (h + 2)));
    Segment.SetCursorTrack(track);
  }
};

// The engine's picture as RGB24.
TzxRgbPicture EnginePicture() {
  const std::vector<uint8_t> bgrx = ReadPicturePixels();
  TzxRgbPicture p;
  p.Width = PictureWidth;
  p.Height = PictureHeight;
  p.Pixels.resize(bgrx.size() / 4 * 3);
  for (size_t i = 0, o = 0; i + 3 < bgrx.size(); i += 4, o += 3) {
    p.Pixels[o] = bgrx[i + 2];
    p.Pixels[o + 1] = bgrx[i + 1];
    p.Pixels[o + 2] = bgrx[i];
  }
  return p;
}

// The first pixel where two pictures differ, as text; pixels inside skip
// are not compared.
std::string FirstDifference(const TzxRgbPicture &a, const TzxRgbPicture &b,
                            const TzxBounds &skip = {}) {
  for (int32_t y = 0; y < a.Height; ++y)
    for (int32_t x = 0; x < a.Width; ++x)
      for (int c = 0; c < 3; ++c)
        if (x >= skip.Left && x < skip.Left + skip.Width && y >= skip.Top &&
            y < skip.Top + skip.Height)
          continue;
        else if (a.At(x, y)[c] != b.At(x, y)[c])
          return Format("pixel (%d, %d) channel %d: %d, expected %d", x, y, c, a.At(x, y)[c],
                        b.At(x, y)[c]);
  return "";
}

class PlayerTicks : public ::testing::TestWithParam<std::tuple<int32_t, int32_t>> {};

} // namespace

TEST_P(PlayerTicks, PictureAfterEachFramesFirstTickIsTheRenderersPicture) {
  const auto [bits, ticks] = GetParam();
  constexpr int32_t frames = 7;
  // An odd width pads the rows of 8- and 24-bit surfaces.
  TPlayerFilm film(37, 21, bits, frames, ticks == 3 ? sfThreeCursorSamples : 0, 40 + bits);
  TPlayerFilm reference(37, 21, bits, frames, ticks == 3 ? sfThreeCursorSamples : 0, 40 + bits);

  Palette = {};
  SegmentList = &film.Segment.List();
  ASSERT_TRUE(PrepareSegment(0));
  EXPECT_EQ(TicksPerFrame, ticks);
  EXPECT_EQ(FrameIndex, 0);

  TzxPalette palette;
  TzxSegmentRenderer renderer(reference.Segment.Info(), palette);
  TzxRgbPicture expected;
  for (int32_t k = 0; k < frames; ++k) {
    SCOPED_TRACE(Format("frame %d", k));
    ClockTick();
    ASSERT_TRUE(renderer.NextFrame());
    // An 8-bit picture holds the cursor in palette colours: every pixel
    // around it must still match.
    renderer.Render(expected, bits != 8);
    const TzxBounds cell = bits == 8 ? TzxBounds{NewCursorX, NewCursorY, 6, 5} : TzxBounds{};
    const TzxRgbPicture got = EnginePicture();
    ASSERT_EQ(got.Pixels.size(), expected.Pixels.size());
    EXPECT_EQ(FirstDifference(got, expected, cell), "");
    EXPECT_EQ(FrameIndex, std::min(k + 1, frames - 1));
    for (int32_t t = 1; t < ticks; ++t)
      ClockTick();
  }
  SegmentList = nullptr;
}

INSTANTIATE_TEST_SUITE_P(DepthsAndTicks, PlayerTicks,
                         ::testing::Combine(::testing::Values(8, 24, 32), ::testing::Values(1, 3)));

TEST(PlayerDamagedFilm, ShowsTheRenderersFramesAndStopsWhereItStops) {
  constexpr int32_t frames = 7, damaged = 3;
  struct TCase {
    const char *What;
    std::vector<uint8_t> Record; // in place of frame 3's
    int32_t LastFrame;           // the renderer's last
    std::string Boxes;
  };
  const TCase cases[] = {
      // The records end behind frame 2, where the fill stopped.
      {"a length below 8", {5, 0, 0, 0, 0, 0, 0, 0}, 2, "ThreadP: Size = 0\n"},
      // The decoder refuses frame 3; the clock stops with its error.
      {"runs beyond the picture", {13, 0, 0, 0, 1, 0, 0, 0, 1, 2, 3, 0xFF, 0xFF}, 3, ""},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.What);
    const auto damage = [&c](std::vector<uint8_t> &video) {
      size_t at = 0;
      for (int32_t k = 0; k < damaged; ++k)
        at += size_t(GetLE32(video.data() + at));
      video.resize(at);
      video.insert(video.end(), c.Record.begin(), c.Record.end());
    };
    TPlayerFilm film(37, 21, 32, frames, 0, 61, damage);
    TPlayerFilm reference(37, 21, 32, frames, 0, 61, damage);

    TzxBoxRecorder boxes;
    SetPlayerShell({}); // the queue hands used-up blocks to the (absent) main window
    Palette = {};
    SegmentList = &film.Segment.List();
    ASSERT_TRUE(PrepareSegment(0));
    TzxPalette palette;
    TzxSegmentRenderer renderer(reference.Segment.Info(), palette);
    TzxRgbPicture expected;
    for (int32_t k = 0; k < frames; ++k) {
      SCOPED_TRACE(Format("frame %d", k));
      std::string rendererError, engineError;
      bool shown = false;
      try {
        shown = renderer.NextFrame();
      } catch (const EzxCorruptFrame &e) {
        rendererError = e.what();
      }
      // Behind the last record the clock has stopped: no tick comes.
      if (!shown && rendererError.empty()) break;
      try {
        ClockTick();
      } catch (const std::exception &e) {
        engineError = e.what();
      }
      EXPECT_EQ(engineError, rendererError);
      if (!rendererError.empty()) break;
      renderer.Render(expected, true);
      EXPECT_EQ(FirstDifference(EnginePicture(), expected), "");
    }
    EXPECT_EQ(renderer.FrameIndex(), c.LastFrame);
    std::string texts;
    for (const TzxMessageBox &box : boxes.Boxes)
      texts += box.Text + "\n";
    EXPECT_EQ(texts, c.Boxes);
    StopClockAndBlocks();
    SegmentList = nullptr;
  }
}

TEST(PlayerCursorRegion, OverlappingRectanglesMergeDistantOnesStaySeparate) {
  const TzxCursorRegion right = CursorRegion(50, 60, 60, 60, 32, 32);
  ASSERT_EQ(right.Count, 1);
  EXPECT_EQ(right.Rects[0].Left, 50);
  EXPECT_EQ(right.Rects[0].Width, 42);
  EXPECT_EQ(right.Rects[0].Height, 32);
  const TzxCursorRegion up = CursorRegion(50, 60, 45, 40, 32, 32);
  ASSERT_EQ(up.Count, 1);
  EXPECT_EQ(up.Rects[0].Left, 45);
  EXPECT_EQ(up.Rects[0].Top, 40);
  EXPECT_EQ(up.Rects[0].Width, 37);
  EXPECT_EQ(up.Rects[0].Height, 52);
  for (const auto &[dx, dy] : {std::pair{100, 0}, std::pair{0, -100}, std::pair{32, 0}}) {
    const TzxCursorRegion jump = CursorRegion(200, 200, 200 + dx, 200 + dy, 32, 32);
    ASSERT_EQ(jump.Count, 2) << dx << ", " << dy;
    EXPECT_EQ(jump.Rects[0].Left, 200);
    EXPECT_EQ(jump.Rects[1].Left, 200 + dx);
    EXPECT_EQ(jump.Rects[1].Top, 200 + dy);
    EXPECT_EQ(jump.Rects[1].Width, 32);
  }
}

TEST(PlayerTimerPeriod, FromFrameRateTicksAndSpeed) {
  TTestSegment segment(8, 8, 32, sfThreeCursorSamples);
  SegmentList = &segment.List();
  CurrentSegment = 0;
  struct TCase {
    int32_t Fps, Ticks, Speed, Period;
  };
  for (const TCase &c :
       {TCase{10, 3, 3, 33}, TCase{10, 3, 0, 330}, TCase{10, 3, 4, 16}, TCase{10, 3, 8, 10},
        TCase{25, 1, 3, 40}, TCase{25, 1, 5, 13}, TCase{0, 1, 0, 100}, TCase{0, 3, 8, 100}}) {
    segment.Info().FramesPerSecond = static_cast<uint8_t>(c.Fps);
    TicksPerFrame = c.Ticks;
    SpeedPosition = c.Speed;
    ComputeTimerPeriod();
    EXPECT_EQ(TimerPeriod, c.Period) << c.Fps << " fps, " << c.Ticks << " ticks, speed " << c.Speed;
  }
  SpeedPosition = NormalSpeedPosition;
  SegmentList = nullptr;
}

TEST(PlayerFullScreen, SegmentOfExactlyTheScreensSizeSwitchesOnceWhileWindowed) {
  const int32_t sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  int toggles = 0;
  TzxPlayerShell shell;
  shell.ToggleFullScreen = [&toggles] {
    ++toggles;
    FullScreen = !FullScreen;
  };
  SetPlayerShell(shell);
  FullScreen = false;
  for (const auto &[w, h, expected] :
       {std::tuple{sw, sh, 1}, std::tuple{sw - 1, sh, 0}, std::tuple{sw, sh + 1, 0}}) {
    TPlayerFilm film(w, h, 32, 1, 0, 7);
    SegmentList = &film.Segment.List();
    toggles = 0;
    FullScreen = false;
    ASSERT_TRUE(PrepareSegment(0));
    EXPECT_EQ(toggles, expected) << w << " x " << h;
    // Already in full screen: nothing more.
    toggles = 0;
    ASSERT_TRUE(PrepareSegment(0));
    EXPECT_EQ(toggles, 0) << w << " x " << h;
    StopClockAndBlocks();
    SegmentList = nullptr;
  }
  FullScreen = false;
  SetPlayerShell({});
}
