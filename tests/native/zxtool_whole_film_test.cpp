// zxtool export --segment all: the whole film, segment after segment, in
// one video (each segment's sound from its start) or one run of frames.
#include "zxToolTesting.h"

#include "zxFfmpegPipe.h"
#include "zxPng.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace {

// A tone of f Hz, mono MP3 at 22,050 Hz, without tags.
std::string Tone(const TzxTestDir &dir, const std::string &name, int f, double seconds) {
  const std::string mp3 = dir.File(name);
  std::string out, err;
  EXPECT_EQ(RunProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                        Format("sine=frequency=%d:duration=%g", f, seconds), "-ar", "22050", "-ac",
                        "1", "-b:a", "32k", "-id3v2_version", "0", "-write_xing", "0", "-y", mp3},
                       out, err),
            0)
      << err;
  return mp3;
}

// The sound of a file as 8,000 mono samples a second.
std::vector<int16_t> Samples(const std::string &file) {
  std::string out, err;
  EXPECT_EQ(RunProgram({"ffmpeg", "-v", "error", "-i", file, "-vn", "-ac", "1", "-ar", "8000", "-f",
                        "s16le", "-"},
                       out, err),
            0)
      << err;
  std::vector<int16_t> s(out.size() / 2);
  std::memcpy(s.data(), out.data(), s.size() * 2);
  return s;
}

struct TLoudness {
  double Rms;
  double Hz; // from the zero crossings
};

// The sound from second a to second b.
TLoudness Between(const std::vector<int16_t> &s, double a, double b) {
  const size_t from = size_t(a * 8000), to = std::min(s.size(), size_t(b * 8000));
  double sum = 0;
  int crossings = 0;
  for (size_t i = from; i < to; ++i) {
    sum += double(s[i]) * s[i];
    if (i > from && (s[i - 1] < 0) != (s[i] < 0)) ++crossings;
  }
  const double n = to > from ? double(to - from) : 1;
  return {std::sqrt(sum / n), crossings / 2.0 / (n / 8000)};
}

// The grey level of every frame of a video of w x h pixels.
std::vector<int> FrameLevels(const std::string &video, int32_t w, int32_t h) {
  std::string out, err;
  EXPECT_EQ(
      RunProgram({"ffmpeg", "-v", "error", "-i", video, "-f", "rawvideo", "-pix_fmt", "gray", "-"},
                 out, err),
      0)
      << err;
  std::vector<int> levels;
  const size_t frame = size_t(w) * size_t(h);
  for (size_t at = 0; at + frame <= out.size(); at += frame) {
    long sum = 0;
    for (size_t i = 0; i < frame; ++i)
      sum += static_cast<uint8_t>(out[at + i]);
    levels.push_back(int(sum / long(frame)));
  }
  return levels;
}

// count frames of w x h BGRA pixels, frame k all of the grey 20 k.
std::string GreyFrames(const TzxTestDir &dir, const std::string &name, int32_t w, int32_t h,
                       int32_t count) {
  TzxBytes raw;
  for (int32_t k = 0; k < count; ++k)
    raw.insert(raw.end(), size_t(w) * size_t(h) * 4, uint8_t(20 * k));
  WriteWholeFile(dir.File(name), raw);
  return dir.File(name);
}

std::vector<std::string> Names(const std::string &dir) {
  std::vector<std::string> names;
  for (const auto &e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> HashLines(const std::string &out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line.substr(0, line.rfind(' ')));
  return lines;
}

} // namespace

// Segment 1 runs at 5 fps with a tone of 440 Hz longer than itself,
// segment 2 at 10 fps without sound, segment 3 at 10 fps with 880 Hz: the
// video runs at 10 fps, segment 1's frames shown twice, each sound from its
// segment's start to its end, silence between.
// The film of the tests below: segment 1 at 5 fps with a tone of 440 Hz
// (3 s) longer than itself, segment 2 at 10 fps without sound, segment 3
// at 10 fps with 880 Hz (1 s); ten grey frames of 16 x 8 each.
std::string ThreeSegments(const TzxTestDir &dir) {
  const std::string frames = GreyFrames(dir, "grey.bgra", 16, 8, 10);
  const std::string low = Tone(dir, "low.mp3", 440, 3), high = Tone(dir, "high.mp3", 880, 1);
  const std::string film = dir.File("three.zxf");
  const TzxRun r = RunZxtool("make --raw 16x8 --input " + frames + " --fps 5 --sound " + low +
                                 " --input " + frames + " --fps 10 --input " + frames +
                                 " --fps 10 --sound " + high + " -o " + film,
                             dir);
  EXPECT_EQ(r.Code, 0) << ErrorText(dir);
  return film;
}

// The frames of a video of ThreeSegments at 10 fps have their grey levels,
// within tolerance: segment 1's twice each.
void ExpectThreeSegmentFrames(const std::string &video, int tolerance) {
  std::vector<int> expected;
  for (int k = 0; k < 10; ++k)
    expected.insert(expected.end(), {20 * k, 20 * k});
  for (int segment = 2; segment <= 3; ++segment)
    for (int k = 0; k < 10; ++k)
      expected.push_back(20 * k);
  const std::vector<int> levels = FrameLevels(video, 16, 8);
  ASSERT_EQ(levels.size(), expected.size()) << video;
  for (size_t i = 0; i < levels.size(); ++i)
    EXPECT_NEAR(levels[i], expected[i], tolerance) << video << ", frame " << i;
}

// The sound of a video of ThreeSegments: each tone from its segment's start
// to its end, silence between.
void ExpectThreeSegmentSound(const std::string &video) {
  const std::vector<int16_t> sound = Samples(video);
  EXPECT_NEAR(double(sound.size()) / 8000, 4.0, 0.1);
  const TLoudness first = Between(sound, 0.1, 1.9), second = Between(sound, 2.1, 2.9),
                  third = Between(sound, 3.1, 3.9);
  EXPECT_GT(first.Rms, 1000);
  EXPECT_NEAR(first.Hz, 440, 20);
  EXPECT_LT(second.Rms, 50) << "segment 1's tone runs into segment 2";
  EXPECT_GT(third.Rms, 1000);
  EXPECT_NEAR(third.Hz, 880, 30);
}

const char *const SlowerNote = "zxtool: segment 1 runs at 5 fps, the video at 10: each of its "
                               "frames is shown for as long as it lasts\n";

TEST(ZxtoolWholeFilm, OneVideoSegmentAfterSegmentWithEachSoundFromItsStart) {
  TzxTestDir dir;
  const std::string film = ThreeSegments(dir);
  const std::string mp4 = dir.File("all.mp4");
  TzxRun r = RunZxtool("export " + film + " " + mp4 + " --segment all", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir), SlowerNote);

  ExpectThreeSegmentFrames(mp4, 6);
  ExpectThreeSegmentSound(mp4);
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"all.mp4", "err.txt", "grey.bgra", "high.mp3",
                                                   "low.mp3", "three.zxf"}));
}

// The sound put together from the segments' goes into the other H.264
// containers as MP3 too, beside the encoder's options: lossless frames are
// the rendered ones.
TEST(ZxtoolWholeFilm, AMatroskaVideoTakesTheEncodersOptionsAndTheFilmsSound) {
  TzxTestDir dir;
  const std::string film = ThreeSegments(dir);
  const std::string mkv = dir.File("all.mkv");
  TzxRun r = RunZxtool("export " + film + " " + mkv + " --segment all --lossless", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir), SlowerNote);
  EXPECT_EQ(Probe({"-show_entries", "stream=codec_name,pix_fmt"}, mkv), "h264,gbrp\nmp3\n");
  ExpectThreeSegmentFrames(mkv, 1);
  ExpectThreeSegmentSound(mkv);
}

// A GIF of the whole film takes its two passes over every segment (the
// palette from all their frames, then the frames mapped to it) and says
// once for each segment that its sound stays out.
TEST(ZxtoolWholeFilm, AGifTakesBothPassesOverEverySegment) {
  TzxTestDir dir;
  const std::string film = ThreeSegments(dir);
  const std::string gif = dir.File("all.gif");
  TzxRun r = RunZxtool("export " + film + " " + gif + " --segment all --progress", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  std::string err = ErrorText(dir);
  // The progress lines: each segment in the palette pass, then in the GIF pass.
  std::vector<std::string> labels;
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line[0] == '\r') labels.push_back(line.substr(1, line.find(':') - 1));
  EXPECT_EQ(labels, (std::vector<std::string>{"segment 1, GIF palette", "segment 2, GIF palette",
                                              "segment 3, GIF palette", "segment 1, GIF",
                                              "segment 2, GIF", "segment 3, GIF"}))
      << err;
  EXPECT_NE(err.find("zxtool: segment 1 is exported without sound: GIF has none\n"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("zxtool: segment 3 is exported without sound: GIF has none\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("segment 2 is exported without sound"), std::string::npos) << err;
  EXPECT_NE(err.find(SlowerNote), std::string::npos) << err;

  ExpectThreeSegmentFrames(gif, 6);
}

// Segment 1: 8 x 4 at 10 fps, ten frames (a second); segment 2 has nothing
// to play; segment 3: 4 x 4 at 5 fps, ten frames (two seconds).
TEST(ZxtoolWholeFilm, FramesAreNumberedAndTimedInTheFilm) {
  TzxTestDir dir;
  std::vector<TzxFilmEntry> entries(3);
  entries[0].Segment = PlayableSegment(8, 4, 10, 10);
  entries[0].Segment.FramesPerSecond = 10;
  entries[1].Segment = PlayableSegment(8, 4, 2);
  entries[1].Segment.Flags = 0x1000;
  entries[1].Segment.Packing = TzxPacking::Raw;
  entries[2].Segment = PlayableSegment(4, 4, 10, 100);
  entries[2].Segment.FramesPerSecond = 5;
  const std::string film = dir.File("mixed.zxf");
  WriteWholeFile(film, BuildFilm(entries));
  const std::string warning = "zxtool: warning: segment 2 has nothing to play: its payload is "
                              "packed in a way this player does not know (kind 1)\n";

  // From 0.5 s (segment 1's frame 5) to 2 s (segment 3's frame 5).
  TzxRun r = RunZxtool("export " + film + " " + dir.File("range") + " --segment all --from 0.5 " +
                           "--to 2 --no-cursor",
                       dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir), warning);
  std::vector<std::string> names;
  for (int k = 5; k < 15; ++k)
    names.push_back(Format("%06d.png", k));
  EXPECT_EQ(Names(dir.File("range")), names);
  const TzxRgbaImage last = ReadPng(dir.File("range/000014.png"));
  EXPECT_EQ(last.Width, 4) << "PNG frames keep their segment's size";
  EXPECT_EQ(last.Pixels[0], 104);

  // Checksum lines name each segment's own frames; the range is the film's.
  r = RunZxtool("export " + film + " --hash --segment all --from 8f -t 0.8", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(HashLines(r.Out), (std::vector<std::string>{"1 8", "1 9", "3 0", "3 1", "3 2"}));
  EXPECT_EQ(ErrorText(dir), warning);

  // Raw frames take the first segment's size: segment 3's square picture
  // in the middle of 8 x 4, black at the sides; each frame once.
  r = RunZxtool("export " + film + " - --segment all --no-cursor", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  ASSERT_EQ(r.Out.size(), 20u * 8 * 4 * 3);
  const std::string frame = r.Out.substr(10 * 8 * 4 * 3, 8 * 4 * 3); // segment 3, frame 0
  for (int x = 0; x < 8; ++x)
    EXPECT_EQ(uint8_t(frame[size_t(x) * 3]), x < 2 || x >= 6 ? 0 : 100) << "column " << x;
  EXPECT_EQ(ErrorText(dir), warning + "zxtool: segment 3 (4 x 4) is fitted into 8 x 4, the "
                                      "picture size of segment 1: scaled with its shape kept, "
                                      "the rest black\n");

  r = RunZxtool("export " + film + " - --segment all --from 3", dir);
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(ErrorText(dir),
            "zxtool: " + film + " has no frame in the range asked for (frames 20 .. 20 of 20)\n");
  EXPECT_EQ(r.Out, "");
}

// A film of one segment gives with --segment all what it gives without.
TEST(ZxtoolWholeFilm, OneSegmentIsTheWholeFilm) {
  TzxTestDir dir;
  TzxFilmEntry e;
  e.Segment = PlayableSegment(6, 4, 5);
  const std::string film = dir.File("one.zxf");
  WriteWholeFile(film, BuildFilm({e}));
  for (const std::string args : {" - --from 2f", " --hash -t 0.2"}) {
    const TzxRun plain = RunZxtool("export " + film + args, dir);
    const TzxRun all = RunZxtool("export " + film + args + " --segment all", dir);
    EXPECT_EQ(plain.Code, 0) << ErrorText(dir);
    EXPECT_EQ(all.Code, 0) << ErrorText(dir);
    EXPECT_NE(plain.Out, "");
    EXPECT_EQ(all.Out, plain.Out) << args;
  }
  const TzxRun wrong = RunZxtool("export " + film + " - --segment everything", dir);
  EXPECT_EQ(wrong.Code, 2);
  EXPECT_NE(ErrorText(dir).find("--segment everything"), std::string::npos) << ErrorText(dir);
}
