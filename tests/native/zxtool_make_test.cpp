// zxtool make: films built from pictures come back exactly through the
// player's loader and renderer (checked with export --hash against
// checksums of the input pixels), cursors are imported, and bad inputs
// leave nothing behind.
#include "zxToolTesting.h"

#include "ZxcabClasses.h"
#include "zxFfmpegPipe.h"
#include "zxLoader.h"
#include "zxPng.h"
#include "zxSha256.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Test pictures as RGB24, generated from a seed.
struct TFrame {
  int32_t W = 0, H = 0;
  std::vector<uint8_t> Rgb;
  uint8_t *At(int32_t x, int32_t y) { return &Rgb[(size_t(y) * W + x) * 3]; }
};

// Frames that change in places from one to the next, like a screen
// recording. With fewColours, all of them together use at most 64 colours,
// and later frames bring colours the first did not have.
std::vector<TFrame> MakeFrames(int32_t w, int32_t h, int32_t n, bool fewColours) {
  std::vector<TFrame> frames;
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  TFrame f{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t *p = f.At(x, y);
      if (fewColours) {
        p[0] = static_cast<uint8_t>((x / 4) % 4 * 60), p[1] = static_cast<uint8_t>(y % 2 * 200),
        p[2] = 7;
      } else {
        p[0] = static_cast<uint8_t>(x * 7), p[1] = static_cast<uint8_t>(y * 11),
        p[2] = static_cast<uint8_t>(x ^ y);
      }
    }
  for (int32_t k = 0; k < n; ++k) {
    // A rectangle of a new colour somewhere.
    const int32_t x0 = int32_t(next() % uint32_t(w)), y0 = int32_t(next() % uint32_t(h));
    const uint32_t c = fewColours ? (k % 16) * 0x0F0F0F + 0x010203 : next();
    for (int32_t y = y0; y < std::min(h, y0 + 5); ++y)
      for (int32_t x = x0; x < std::min(w, x0 + 9); ++x) {
        uint8_t *p = f.At(x, y);
        p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
      }
    frames.push_back(f);
  }
  return frames;
}

void WriteText(const std::string &name, const std::string &text) {
  WriteWholeFile(name, TzxBytes(text.begin(), text.end()));
}

void WriteRaw(const std::string &name, const std::vector<TFrame> &frames) {
  TzxBytes raw;
  for (const auto &f : frames)
    for (size_t i = 0; i < f.Rgb.size(); i += 3)
      raw.insert(raw.end(), {f.Rgb[i + 2], f.Rgb[i + 1], f.Rgb[i], 0xFF});
  WriteWholeFile(name, raw);
}

void WritePngs(const std::string &dir, const std::vector<TFrame> &frames) {
  fs::create_directories(dir);
  for (size_t k = 0; k < frames.size(); ++k)
    WritePngRgb(dir + "/" + Format("f%03zu.png", k), frames[k].W, frames[k].H,
                frames[k].Rgb.data());
}

std::string HashLines(const std::vector<TFrame> &frames, int32_t segment = 1) {
  std::string out;
  for (size_t k = 0; k < frames.size(); ++k)
    out += Format("%d %zu %s\n", segment, k,
                  Sha256Hex(frames[k].Rgb.data(), frames[k].Rgb.size()).c_str());
  return out;
}

// One line on standard error, a non-zero exit, and only the given files
// left in the directory.
void ExpectRefused(const TzxRun &r, const TzxTestDir &dir, const std::vector<std::string> &left,
                   const std::string &about) {
  const std::string err = ErrorText(dir);
  EXPECT_NE(r.Code, 0) << about;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << about << ": " << err;
  EXPECT_NE(err.find(about), std::string::npos) << "expected \"" << about << "\" in: " << err;
  std::vector<std::string> files;
  for (const auto &e : fs::directory_iterator(dir.Path()))
    if (e.path().filename() != "err.txt") files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, left) << about;
}

// ------------------------------------------------------------- round trips

struct TRoundTrip {
  int32_t Depth;
  const char *Compression;
  int32_t Samples;
};

class ZxtoolMakeRoundTrip : public ::testing::TestWithParam<TRoundTrip> {};

} // namespace

TEST_P(ZxtoolMakeRoundTrip, FramesComeBackBitExact) {
  const TRoundTrip p = GetParam();
  TzxTestDir dir;
  // An odd width, so that 24-bit rows need padding in the player's surfaces.
  const auto frames = MakeFrames(37, 23, 6, p.Depth == 8);
  WriteRaw(dir.File("in.bgra"), frames);
  const std::string film = dir.File("out.zxf");
  TzxRun r = RunZxtool(Format("make --depth %d --compression %s --samples %d --raw 37x23 --input ",
                              p.Depth, p.Compression, p.Samples) +
                           dir.File("in.bgra") + " -o " + film,
                       dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  r = RunZxtool("export " + film + " --hash --no-cursor", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(r.Out, HashLines(frames));

  auto loaded = LoadTestFilm(film);
  ASSERT_EQ(loaded->List.Count(), 1);
  const TSegmentInfo &s = *loaded->List.Get(0);
  EXPECT_EQ(s.BitsPerPixel, p.Depth);
  EXPECT_EQ(s.FrameCount, 6);
  EXPECT_EQ(s.FramesPerSecond, 10);
  EXPECT_EQ(s.Flags & sfThreeCursorSamples, p.Samples == 3 ? 1 : 0);
  EXPECT_EQ(s.Flags & sfCompressionMask,
            std::string(p.Compression) == "cab" ? sfCompressionCab : sfCompressionLzma);
}

INSTANTIATE_TEST_SUITE_P(DepthsAndPackings, ZxtoolMakeRoundTrip,
                         ::testing::Values(TRoundTrip{32, "lzma", 1}, TRoundTrip{32, "cab", 3},
                                           TRoundTrip{24, "lzma", 3}, TRoundTrip{24, "cab", 1},
                                           TRoundTrip{8, "lzma", 1}, TRoundTrip{8, "cab", 3}),
                         [](const ::testing::TestParamInfo<TRoundTrip> &i) {
                           return Format("Depth%d_%s_%dSamples", i.param.Depth, i.param.Compression,
                                         i.param.Samples);
                         });

TEST(ZxtoolMake, PngDirectoriesPatternsAndSegmentOptions) {
  TzxTestDir dir;
  const auto a = MakeFrames(16, 9, 3, false);
  const auto b = MakeFrames(11, 7, 4, true);
  WritePngs(dir.File("a"), a);
  fs::create_directories(dir.File("b"));
  for (size_t k = 0; k < b.size(); ++k) // numbered out of name order: 2 sorts after 10
    WritePngRgb(dir.File(Format("b/p%d.png", int(k) * 8 + 2)), b[k].W, b[k].H, b[k].Rgb.data());
  const std::string film = dir.File("two.zxf");
  // Defaults first; the second segment overrides depth, rate and title.
  TzxRun r = RunZxtool("make --fps 25 --title 'Caf\xC3\xA9 \xE2\x82\xAC' --input " + dir.File("a") +
                           " --input '" + dir.File("b/p%d.png") +
                           "' --depth 8 --fps 5 --title Second --compression cab -o " + film,
                       dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  r = RunZxtool("export " + film + " --hash --no-cursor", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(r.Out, HashLines(a, 1) + HashLines(b, 2));

  auto loaded = LoadTestFilm(film);
  ASSERT_EQ(loaded->List.Count(), 2);
  const TSegmentInfo &s0 = *loaded->List.Get(0), &s1 = *loaded->List.Get(1);
  EXPECT_EQ(s0.TitleText(), "Caf\xE9 \x80"); // Windows-1252
  EXPECT_EQ(s0.FramesPerSecond, 25);
  EXPECT_EQ(s0.BitsPerPixel, 32);
  EXPECT_EQ(s0.Flags & sfCompressionMask, sfCompressionLzma);
  EXPECT_EQ(s1.TitleText(), "Second");
  EXPECT_EQ(s1.FramesPerSecond, 5);
  EXPECT_EQ(s1.BitsPerPixel, 8);
  EXPECT_EQ(s1.Flags & sfCompressionMask, sfCompressionCab);
}

TEST(ZxtoolMake, VideoInputTakesItsFrameRate) {
  TzxTestDir dir;
  // A lossless video, so that the pictures can be compared.
  const auto frames = MakeFrames(24, 16, 5, false);
  WriteRaw(dir.File("in.bgra"), frames);
  const std::string video = dir.File("in.mkv");
  const std::string cmd = "ffmpeg -v error -f rawvideo -pix_fmt bgra -s 24x16 -framerate 15 -i " +
                          dir.File("in.bgra") + " -c:v ffv1 -pix_fmt bgr0 -y " + video;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string film = dir.File("v.zxf");
  TzxRun r = RunZxtool("make --input " + video + " -o " + film, dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  r = RunZxtool("export " + film + " --hash --no-cursor", dir);
  EXPECT_EQ(r.Out, HashLines(frames));
  EXPECT_EQ(LoadTestFilm(film)->List.Get(0)->FramesPerSecond, 15);
}

TEST(ZxtoolMake, SoundIsStoredFromItsFirstFrameHeader) {
  TzxTestDir dir;
  WriteRaw(dir.File("in.bgra"), MakeFrames(8, 8, 3, false));
  // FFmpeg's defaults: an ID3 tag, then an Info frame, then the sound.
  const std::string mp3 = dir.File("tagged.mp3");
  const std::string cmd = "ffmpeg -v error -f lavfi -i sine=frequency=440:duration=1 -ac 1 -ar "
                          "22050 -b:a 32k -y " +
                          mp3;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const TzxBytes original = ReadWholeFile(mp3);
  ASSERT_EQ(std::string(original.begin(), original.begin() + 3), "ID3");
  const std::string film = dir.File("s.zxf");
  TzxRun r = RunZxtool(
      "make --raw 8x8 --input " + dir.File("in.bgra") + " --sound " + mp3 + " -o " + film, dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_NE(ErrorText(dir).find("without the ID3 tag at its start"), std::string::npos)
      << ErrorText(dir);
  EXPECT_NE(ErrorText(dir).find("Xing/Info frame"), std::string::npos) << ErrorText(dir);
  const auto loaded = LoadTestFilm(film);
  const TzxBytes stored = ReadWholeFile(loaded->List.Get(0)->SoundFileName);
  ASSERT_GE(stored.size(), 4u);
  EXPECT_EQ(stored[0], 0xFF);
  EXPECT_EQ(stored[1] & 0xE0, 0xE0);
  // The frames themselves are the file's own, to its end.
  ASSERT_LT(stored.size(), original.size());
  EXPECT_TRUE(std::equal(stored.rbegin(), stored.rend(), original.rbegin()));
  EXPECT_NEAR(ProbedDuration(loaded->List.Get(0)->SoundFileName), 1.0, 0.1);
}

// --------------------------------------------------------------- cursors

namespace {

// A picture with the cursor drawn as the player draws a colour cursor
// whose transparent pixels have the AND bit set and colour 0.
TFrame WithCursor(TFrame f, const TzxRgbaImage &cursor, int32_t x, int32_t y) {
  for (int32_t cy = 0; cy < cursor.Height; ++cy)
    for (int32_t cx = 0; cx < cursor.Width; ++cx) {
      const uint8_t *c = &cursor.Pixels[(size_t(cy) * cursor.Width + cx) * 4];
      if (c[3] < 128 || x + cx < 0 || y + cy < 0 || x + cx >= f.W || y + cy >= f.H) continue;
      uint8_t *p = f.At(x + cx, y + cy);
      p[0] = c[0], p[1] = c[1], p[2] = c[2];
    }
  return f;
}

void Put16(TzxBytes &b, uint16_t v) {
  b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8));
}
void Put32(TzxBytes &b, uint32_t v) {
  Put16(b, uint16_t(v)), Put16(b, uint16_t(v >> 16));
}

// A 16 x 16 monochrome .cur: a black-bordered box whose inside inverts
// the screen, the rest transparent; hot spot (3, 2).
TzxBytes MonochromeCur(std::vector<bool> &andBits, std::vector<bool> &xorBits) {
  andBits.assign(256, true);
  xorBits.assign(256, false);
  for (int y = 2; y < 10; ++y)
    for (int x = 2; x < 10; ++x) {
      const bool inside = x > 2 && x < 9 && y > 2 && y < 9;
      andBits[size_t(y * 16 + x)] = inside; // border: black; inside: invert
      xorBits[size_t(y * 16 + x)] = inside;
    }
  TzxBytes b;
  Put16(b, 0), Put16(b, 2), Put16(b, 1);
  b.insert(b.end(), {16, 16, 2, 0});
  Put16(b, 3), Put16(b, 2);
  const uint32_t size = 40 + 8 + 16 * 4 * 2;
  Put32(b, size), Put32(b, 22);
  Put32(b, 40), Put32(b, 16), Put32(b, 32), Put16(b, 1), Put16(b, 1);
  for (int i = 0; i < 6; ++i)
    Put32(b, 0);
  Put32(b, 0), Put32(b, 0xFFFFFF); // black, white
  for (const auto *bits : {&xorBits, &andBits})
    for (int y = 15; y >= 0; --y) { // bottom row first, rows of 32 bits
      uint32_t row = 0;
      for (int x = 0; x < 16; ++x)
        if ((*bits)[size_t(y * 16 + x)]) row |= 0x8000u >> x;
      b.insert(b.end(), {uint8_t(row >> 8), uint8_t(row), 0, 0});
    }
  return b;
}

} // namespace

TEST(ZxtoolMakeCursor, PngCursorFollowsTheTrackAtTheFramesTicks) {
  TzxTestDir dir;
  const auto frames = MakeFrames(40, 30, 4, false);
  WriteRaw(dir.File("in.bgra"), frames);
  TzxRgbaImage cursor{5, 4, std::vector<uint8_t>(5 * 4 * 4, 0)};
  for (int32_t i = 0; i < 5 * 4; ++i)
    if (i % 3 != 0) {
      uint8_t *c = &cursor.Pixels[size_t(i) * 4];
      c[0] = 250, c[1] = uint8_t(i * 10), c[2] = 3, c[3] = 255;
    }
  WritePngRgba(dir.File("arrow.png"), cursor);
  // Three samples a frame: frame k shows tick 3k. Tick 3 is not listed,
  // so frame 1 repeats tick 2; the last line holds to the end.
  WriteText(dir.File("track.csv"), "tick,cursor,x,y\n0,0,10,10\n2,0,20,5\r\n\n6,0,38,28\n");
  const std::string film = dir.File("c.zxf");
  TzxRun r = RunZxtool("make --raw 40x30 --samples 3 --input " + dir.File("in.bgra") +
                           " --cursor " + dir.File("arrow.png") + " --hotspot 2,1 --cursor-track " +
                           dir.File("track.csv") + " -o " + film,
                       dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  const std::vector<TFrame> expected = {
      WithCursor(frames[0], cursor, 8, 9), WithCursor(frames[1], cursor, 18, 4),
      WithCursor(frames[2], cursor, 36, 27), WithCursor(frames[3], cursor, 36, 27)};
  r = RunZxtool("export " + film + " --hash", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(r.Out, HashLines(expected));
  EXPECT_EQ(LoadTestFilm(film)->List.Get(0)->CursorTrack->Size(), 4 * 3 * 6);
}

TEST(ZxtoolMakeCursor, MonochromeCurFileBecomesAMonochromeRecord) {
  TzxTestDir dir;
  const auto frames = MakeFrames(32, 24, 2, false);
  WriteRaw(dir.File("in.bgra"), frames);
  std::vector<bool> andBits, xorBits;
  WriteWholeFile(dir.File("box.cur"), MonochromeCur(andBits, xorBits));
  WriteText(dir.File("t.csv"), "0,0,9,7\n");
  const std::string film = dir.File("m.zxf");
  TzxRun r =
      RunZxtool("make --raw 32x24 --cursor " + dir.File("box.cur") + " --input " +
                    dir.File("in.bgra") + " --cursor-track " + dir.File("t.csv") + " -o " + film,
                dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);

  auto loaded = LoadTestFilm(film);
  const TzxCursor &c = *loaded->List.Get(0)->Cursors->Get(0);
  EXPECT_TRUE(c.Valid());
  EXPECT_TRUE(c.Monochrome());
  EXPECT_EQ(c.HotSpotX(), 3);
  EXPECT_EQ(c.HotSpotY(), 2);
  EXPECT_EQ(c.Mask().Height, 32);

  std::vector<TFrame> expected = frames;
  for (auto &f : expected)
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const int px = 9 - 3 + x, py = 7 - 2 + y;
        if (px >= f.W || py >= f.H) continue;
        uint8_t *p = f.At(px, py);
        for (int i = 0; i < 3; ++i)
          p[i] = uint8_t((andBits[size_t(y * 16 + x)] ? p[i] : 0) ^
                         (xorBits[size_t(y * 16 + x)] ? 0xFF : 0));
      }
  r = RunZxtool("export " + film + " --hash", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(r.Out, HashLines(expected));
}

TEST(ZxtoolMakeCursor, AlphaInA32BitCurFileMakesTheMask) {
  TzxTestDir dir;
  const auto frames = MakeFrames(12, 10, 1, false);
  // From standard input this time.
  WriteRaw(dir.File("in.bgra"), frames);
  // A 4 x 4 image at 32 bits whose AND mask is all clear, as cursors with
  // alpha are saved: the alpha decides what shows.
  TzxRgbaImage cursor{4, 4, std::vector<uint8_t>(64, 0)};
  TzxBytes b;
  Put16(b, 0), Put16(b, 2), Put16(b, 1);
  b.insert(b.end(), {4, 4, 0, 0});
  Put16(b, 1), Put16(b, 3);
  Put32(b, 40 + 64 + 16), Put32(b, 22);
  Put32(b, 40), Put32(b, 4), Put32(b, 8), Put16(b, 1), Put16(b, 32);
  for (int i = 0; i < 6; ++i)
    Put32(b, 0);
  for (int y = 3; y >= 0; --y)
    for (int x = 0; x < 4; ++x) {
      const bool opaque = x != y;
      uint8_t *c = &cursor.Pixels[size_t(y * 4 + x) * 4];
      c[0] = uint8_t(60 * x), c[1] = uint8_t(60 * y), c[2] = 99, c[3] = opaque ? 255 : 0;
      b.insert(b.end(), {c[2], c[1], c[0], c[3]});
    }
  b.insert(b.end(), 16, 0);
  WriteWholeFile(dir.File("a.cur"), b);
  WriteText(dir.File("t.csv"), "# one place\n0,0,5,5\n");
  const std::string film = dir.File("a.zxf");
  TzxRun r =
      RunZxtool("make --raw 12x10 --cursor " + dir.File("a.cur") + " --cursor-track " +
                    dir.File("t.csv") + " --input - -o " + film + " < " + dir.File("in.bgra"),
                dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  r = RunZxtool("export " + film + " --hash", dir);
  EXPECT_EQ(r.Out, HashLines({WithCursor(frames[0], cursor, 4, 2)}));
}

// ------------------------------------------------------------ bad inputs

TEST(ZxtoolMakeRefuses, BadInputsWithOneLineAndNoOutput) {
  TzxTestDir dir;
  const auto many = MakeFrames(20, 20, 2, false); // thousands of colours
  WriteRaw(dir.File("many.bgra"), many);
  WritePngs(dir.File("pngs"), MakeFrames(8, 8, 2, true));
  WriteWholeFile(dir.File("pngs/f002.png"), TzxBytes{0x89, 'P', 'N', 'G', 1, 2, 3});
  WriteText(dir.File("bad.csv"), "0,0,1\n");
  WriteText(dir.File("order.csv"), "5,0,1,1\n3,0,1,1\n");
  WriteWholeFile(dir.File("noise.mp3"), TzxBytes(100, 0x42));
  WritePngRgba(dir.File("c.png"), TzxRgbaImage{2, 2, TzxBytes(16, 255)});
  const std::vector<std::string> inputs = {"bad.csv",   "c.png",     "many.bgra",
                                           "noise.mp3", "order.csv", "pngs"};
  const std::string out = " -o " + dir.File("out.zxf");
  const std::string raw = " --raw 20x20 --input " + dir.File("many.bgra");

  struct TCase {
    std::string Args, About;
  } cases[] = {
      {"make --input " + dir.File("missing") + out, "Cannot open"},
      {"make --input " + dir.File("pngs") + out, "not a readable PNG"},
      {"make --depth 8" + raw + out, "more than 256 colours"},
      {"make --raw 21x20 --input " + dir.File("many.bgra") + out, "whole number"},
      {"make" + raw + " --cursor " + dir.File("c.png") + " --cursor-track " + dir.File("bad.csv") +
           out,
       "line 1"},
      {"make" + raw + " --cursor " + dir.File("c.png") + " --cursor-track " +
           dir.File("order.csv") + out,
       "line 2"},
      {"make" + raw + " --cursor-track " + dir.File("order.csv") + out, "the segment has 0"},
      {"make" + raw + " --sound " + dir.File("noise.mp3") + out, "holds no sound FFmpeg can read"},
      {"make" + raw + " --sound " + dir.File("c.png") + out, "holds no sound FFmpeg can read"},
      {"make" + raw + " --cursor " + dir.File("c.png") + " --hotspot 5,0" + out, "outside"},
      {"make" + raw + " --title \xF0\x9F\x99\x82" + out, "Windows-1252"},
      {"make --depth 16" + raw + out, "--depth 16"},
      {"make" + raw, "-o OUT.zxf is required"},
      {"make --input " + dir.File("many.bgra") + out, "not a video"},
  };
  for (const auto &c : cases)
    ExpectRefused(RunZxtool(c.Args, dir), dir, inputs, c.About);
}
