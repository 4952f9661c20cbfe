// zxtool export: PNG frames and videos of a film, the --hash lines, frame
// ranges, and failures that leave no output behind.
#include "zxToolTesting.h"

#include "zxFfmpegPipe.h"
#include "zxFilmWriter.h"
#include "zxFrameEncoder.h"
#include "zxPng.h"
#include "zxSha256.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// n frames of w x h as BGRA: a gradient with a square that moves one step
// a frame.
std::vector<TzxBytes> Frames(int32_t w, int32_t h, int32_t n) {
  std::vector<TzxBytes> frames;
  for (int32_t k = 0; k < n; ++k) {
    TzxBytes f(size_t(w) * h * 4);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        uint8_t *p = &f[(size_t(y) * w + x) * 4];
        const bool square = x >= k && x < k + 4 && y >= 2 && y < 6;
        p[0] = square ? 255 : uint8_t(x * 9);
        p[1] = square ? 0 : uint8_t(y * 13);
        p[2] = uint8_t(40 + k);
        p[3] = 255;
      }
    frames.push_back(std::move(f));
  }
  return frames;
}

TzxBytes ToRgb(const TzxBytes &bgra) {
  TzxBytes rgb;
  for (size_t i = 0; i < bgra.size(); i += 4)
    rgb.insert(rgb.end(), {bgra[i + 2], bgra[i + 1], bgra[i]});
  return rgb;
}

// A film made through zxtool make from the frames.
std::string MakeFilm(const TzxTestDir &dir, const std::vector<TzxBytes> &frames, int32_t w,
                     int32_t h, const std::string &options = "") {
  TzxBytes raw;
  for (const auto &f : frames)
    raw.insert(raw.end(), f.begin(), f.end());
  WriteWholeFile(dir.File("in.bgra"), raw);
  const std::string film = dir.File("film.zxf");
  TzxRun r = RunZxtool(Format("make --raw %dx%d --input ", w, h) + dir.File("in.bgra") + " " +
                           options + " -y -o " + film,
                       dir);
  EXPECT_EQ(r.Code, 0) << ErrorText(dir);
  return film;
}

TzxBytes ToRgba(const TzxBytes &bgra) {
  TzxBytes rgba(bgra);
  for (size_t i = 0; i < rgba.size(); i += 4)
    std::swap(rgba[i], rgba[i + 2]);
  return rgba;
}

std::vector<std::string> Names(const std::string &dir) {
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Probe(const std::string &args) {
  std::string out, err;
  RunProgram({"sh", "-c", "ffprobe -v error " + args}, out, err);
  return out;
}

double ProbeNumber(const std::string &args) {
  return std::atof(Probe(args).c_str());
}

// A one-segment film of 32-bit frames (BGRA) written through the film
// writer, with the sound bytes given (flagged as MP3 when there are any):
// shapes zxtool make refuses are possible too.
TzxBytes WrittenFilm(const std::vector<TzxBytes> &frames, int32_t w, int32_t h,
                     const TzxBytes &sound = {}) {
  TzxFilmEntry e;
  e.Segment.Width = w;
  e.Segment.Height = h;
  e.Segment.FrameCount = static_cast<int32_t>(frames.size());
  TzxFrameEncoder encoder(w, h, 32);
  for (const auto &f : frames)
    encoder.AppendFrame(e.Segment.Video, f.data(), size_t(w) * 4, f.size());
  e.Segment.Sound = sound;
  if (!sound.empty()) e.Segment.Flags |= sfSoundMp3;
  return BuildFilm({e});
}

// Three 10 x 8 frames with the sound bytes given.
TzxBytes FilmWithSound(const TzxBytes &sound) {
  return WrittenFilm(Frames(10, 8, 3), 10, 8, sound);
}

} // namespace

TEST(ZxtoolExport, PngFramesMatchTheInputAndFollowTheRange) {
  TzxTestDir dir;
  const auto frames = Frames(13, 9, 6);
  const std::string film = MakeFilm(dir, frames, 13, 9);

  TzxRun r = RunZxtool("export " + film + " " + dir.File("all") + " --no-cursor", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  ASSERT_EQ(Names(dir.File("all")).size(), 6u);
  for (int k = 0; k < 6; ++k) {
    TzxRgbaImage img = ReadPng(dir.File(Format("all/%06d.png", k)));
    ASSERT_EQ(img.Width, 13);
    ASSERT_EQ(img.Height, 9);
    EXPECT_EQ(img.Pixels, ToRgba(frames[size_t(k)])) << "frame " << k;
  }

  // Frames 2, 3, 4 (the end is exclusive), named by frame number; 10 fps
  // makes 0.2 s frame 2.
  r = RunZxtool("export " + film + " '" + dir.File("part/x%03d.png") +
                    "' --from 0.2s --to 5f --no-cursor",
                dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(Names(dir.File("part")),
            (std::vector<std::string>{"x002.png", "x003.png", "x004.png"}));
  EXPECT_EQ(ReadPng(dir.File("part/x003.png")).Pixels, ToRgba(frames[3]));
}

// Without --scale a picture wider than any scaled output may be is written
// as it is, not squeezed.
TEST(ZxtoolExport, UnscaledRowWiderThanTheScaleLimitStaysWhole) {
  TzxTestDir dir;
  std::vector<TzxBytes> frames(2, TzxBytes(20000 * 4, 0));
  frames[1][4 * 19999] = 255;
  // zxtool make keeps to 16384 a side; the player takes wider films.
  const std::string film = dir.File("row.zxf");
  WriteWholeFile(film, WrittenFilm(frames, 20000, 1));
  TzxRun r = RunZxtool("export " + film + " " + dir.File("row.rgb") + " --no-cursor", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  const TzxBytes raw = ReadWholeFile(dir.File("row.rgb"));
  ASSERT_EQ(raw.size(), 2u * 20000 * 3);
  EXPECT_EQ(raw[20000 * 3 + 19999 * 3 + 2], 255); // the last pixel's blue, in frame 1
}

TEST(ZxtoolExport, RangesTakeTimesAsFfmpegDoesAndFrameNumbers) {
  TzxTestDir dir;
  const std::string film = MakeFilm(dir, Frames(6, 4, 10), 6, 4); // 10 fps
  auto hash = [&](const std::string &range) {
    const TzxRun r = RunZxtool("export " + film + " --hash " + range, dir);
    EXPECT_EQ(r.Code, 0) << range << ": " << ErrorText(dir);
    std::string frames;
    std::istringstream lines(r.Out);
    for (std::string segment, frame, sha; lines >> segment >> frame >> sha;)
      frames += frame + " ";
    return frames;
  };
  // Frame k is shown from k / 10 s on: a time picks the first frame shown
  // at or after it, and the end is left out.
  for (const char *range :
       {"--from 0.3 --to 0.6", "--from 3f --to 6f", "--from 0.25 --to 0.51",
        "--from 300ms --to=600ms", "--from 00:00.3 -t 0.3", "--from 3f --duration 3f",
        "--from=0.3 --duration=3f", "--from 3f -t 0.25"})
    EXPECT_EQ(hash(range), "3 4 5 ") << range;
  EXPECT_EQ(hash("-t 0.3"), "0 1 2 ");
  EXPECT_EQ(hash("--duration 2f"), "0 1 ");
  EXPECT_EQ(hash("--from 0:00:00.8"), "8 9 ");
  EXPECT_EQ(hash("--from 8f -t 1:00"), "8 9 ");

  TzxRun r = RunZxtool("export " + film + " --hash --to 6f -t 1", dir);
  EXPECT_EQ(r.Code, 2);
  EXPECT_NE(ErrorText(dir).find("--to and --duration exclude each other"), std::string::npos)
      << ErrorText(dir);
  r = RunZxtool("export " + film + " --hash --from 1:75", dir);
  EXPECT_EQ(r.Code, 2);
  EXPECT_NE(ErrorText(dir).find("--from 1:75: expected seconds"), std::string::npos)
      << ErrorText(dir);
}

TEST(ZxtoolExport, ScaleEnlargesFlatAreasExactly) {
  TzxTestDir dir;
  std::vector<TzxBytes> frames(1, TzxBytes(4 * 2 * 4, 0));
  for (size_t i = 0; i < frames[0].size(); i += 4)
    frames[0][i] = i < 16 ? 200 : 30; // top row blue, bottom row dark
  const std::string film = MakeFilm(dir, frames, 4, 2);
  TzxRun r = RunZxtool("export " + film + " " + dir.File("big") + " --scale 3", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  TzxRgbaImage img = ReadPng(dir.File("big/000000.png"));
  ASSERT_EQ(img.Width, 12);
  ASSERT_EQ(img.Height, 6);
  EXPECT_EQ(img.Pixels[2], 200);                     // top left, blue
  EXPECT_EQ(img.Pixels[(2 * 12 + 11) * 4 + 2], 200); // last pixel of row 2
  EXPECT_EQ(img.Pixels[(3 * 12) * 4 + 2], 30);       // first of row 3
}

TEST(ZxtoolExport, HashLinesHaveTheirFormat) {
  TzxTestDir dir;
  const auto frames = Frames(10, 8, 3);
  const std::string film = MakeFilm(dir, frames, 10, 8);
  TzxRun r = RunZxtool("export " + film + " --hash --no-cursor --from 1f", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  const TzxBytes rgb = ToRgb(frames[2]);
  EXPECT_EQ(r.Out, Format("1 1 %s\n1 2 %s\n", Sha256Hex(ToRgb(frames[1]).data(), 240).c_str(),
                          Sha256Hex(rgb.data(), rgb.size()).c_str()));
  EXPECT_TRUE(std::regex_search(r.Out, std::regex("^1 1 [0-9a-f]{64}\n")));
}

TEST(ZxtoolExport, RawFramesGoToStandardOutputOrAFile) {
  TzxTestDir dir;
  const auto frames = Frames(7, 5, 3);
  const std::string film = MakeFilm(dir, frames, 7, 5);
  TzxRun r = RunZxtool("export " + film + " - --from 1f --no-cursor", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  const TzxBytes one = ToRgb(frames[1]), two = ToRgb(frames[2]);
  EXPECT_EQ(r.Out, std::string(one.begin(), one.end()) + std::string(two.begin(), two.end()));
  r = RunZxtool("export " + film + " " + dir.File("all.rgb") + " --to 1f --no-cursor", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ReadWholeFile(dir.File("all.rgb")), ToRgb(frames[0]));
}

TEST(ZxtoolExport, AnEightBitSegmentStartsFromThePaletteTheFilmReached) {
  // Segment 1 sets palette entry 5 to red; segment 2 paints with entry 5
  // and changes no colour, as the player's one table carries on.
  TzxTestDir dir;
  std::vector<TzxFilmEntry> entries(2);
  for (int i = 0; i < 2; ++i) {
    TzxSegmentSpec &s = entries[size_t(i)].Segment;
    s.Width = 3, s.Height = 2, s.BitsPerPixel = 8, s.FrameCount = 1;
    TzxFrameEncoder encoder(3, 2, 8);
    const TzxBytes picture(6, uint8_t(i == 0 ? 0 : 5));
    encoder.AppendFrame(s.Video, picture.data(), 3, picture.size());
  }
  entries[0].Segment.PaletteTrack = {1, 5, 0, 0, 255, 0};
  entries[1].Segment.PaletteTrack = {0};
  WriteWholeFile(dir.File("p.zxf"), BuildFilm(entries));

  TzxRun all = RunZxtool("export " + dir.File("p.zxf") + " --hash", dir);
  ASSERT_EQ(all.Code, 0) << ErrorText(dir);
  TzxBytes red;
  for (int i = 0; i < 6; ++i)
    red.insert(red.end(), {255, 0, 0});
  const std::string line = Format("2 0 %s\n", Sha256Hex(red.data(), red.size()).c_str());
  EXPECT_NE(all.Out.find(line), std::string::npos) << all.Out;
  TzxRun one = RunZxtool("export " + dir.File("p.zxf") + " --hash --segment 2", dir);
  EXPECT_EQ(one.Out, line);
}

TEST(ZxtoolExport, Mp4CarriesTheSoundAtTheFilmsRate) {
  TzxTestDir dir;
  const std::string mp3 = dir.File("tone.mp3");
  ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i sine=frequency=440:duration=2 -ar 22050 "
                         "-ac 1 -b:a 32k -id3v2_version 0 -write_xing 0 -y " +
                         mp3)
                            .c_str()),
            0);
  const auto frames = Frames(15, 9, 10); // odd sizes: the video is padded
  const std::string film = MakeFilm(dir, frames, 15, 9, "--fps 5 --sound " + mp3);
  const std::string mp4 = dir.File("out.mp4");
  TzxRun r = RunZxtool("export " + film + " " + mp4, dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(Probe("-show_entries stream=codec_name -of csv=p=0 " + mp4), "h264\nmp3\n");
  EXPECT_NEAR(ProbeNumber("-show_entries format=duration -of csv=p=0 " + mp4), 2.0, 0.15);
  EXPECT_EQ(ProbeNumber("-select_streams v -count_frames -show_entries stream=nb_read_frames "
                        "-of csv=p=0 " +
                        mp4),
            10);
  EXPECT_EQ(ProbeNumber("-select_streams v -show_entries stream=width -of csv=p=0 " + mp4), 16);
  EXPECT_EQ(Names(dir.Path()),
            (std::vector<std::string>{"err.txt", "film.zxf", "in.bgra", "out.mp4", "tone.mp3"}));
}

TEST(ZxtoolExport, SoundThePlayerCannotPlayIsLeftOutWithOneNote) {
  TzxTestDir dir;
  TzxBytes id3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
  id3.resize(30);
  TzxBytes noise = {0xFF, 0xFB, 0x90, 0x64}; // a frame header, then no frame
  for (int i = 0; i < 3000; ++i)
    noise.push_back(static_cast<uint8_t>(i * 37 + (i >> 3)));
  const struct {
    TzxBytes Sound;
    std::string Note;
  } cases[] = {
      {id3, "its sound starts with an ID3 tag instead of an MPEG audio frame header"},
      {{0xFF, 0xFB, 0x90}, "its sound is shorter than an MPEG audio frame header"},
      {noise, "FFmpeg cannot decode its sound"},
  };
  for (const auto &c : cases) {
    WriteWholeFile(dir.File("film.zxf"), FilmWithSound(c.Sound));
    const std::string mp4 = dir.File("out.mp4");
    TzxRun r = RunZxtool("export " + dir.File("film.zxf") + " " + mp4, dir);
    const std::string text = ErrorText(dir);
    ASSERT_EQ(r.Code, 0) << text;
    EXPECT_EQ(text.rfind("zxtool: segment 1 is exported without sound: " + c.Note, 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_EQ(text.find("zxS_"), std::string::npos) << text;
    std::string out, err;
    RunProgram({"sh", "-c", "ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + mp4},
               out, err);
    EXPECT_EQ(out, "video\n") << c.Note;
    EXPECT_EQ(ProbeNumber("-select_streams v -count_frames -show_entries stream=nb_read_frames "
                          "-of csv=p=0 " +
                          mp4),
              3);
    DeleteFileName(mp4);
  }
}

TEST(ZxtoolExport, ASelfPlayingExecutableExportsItsFilm) {
  TzxTestDir dir;
  const std::string film = MakeFilm(dir, Frames(10, 8, 3), 10, 8);
  WriteWholeFile(dir.File("playing.exe"),
                 BuildExecutable(FakeProgram(), ReadWholeFile(film), "Play=Go\r\n"));
  TzxRun fromFilm = RunZxtool("export " + film + " --hash", dir);
  TzxRun fromExe = RunZxtool("export " + dir.File("playing.exe") + " --hash", dir);
  ASSERT_EQ(fromExe.Code, 0) << ErrorText(dir);
  EXPECT_EQ(fromExe.Out, fromFilm.Out);
  EXPECT_NE(fromFilm.Out, "");

  // A program without a film says so, not what its bytes would be as a film.
  WriteWholeFile(dir.File("bare.exe"), FakeProgram());
  TzxRun bare = RunZxtool("export " + dir.File("bare.exe") + " --hash", dir);
  EXPECT_EQ(bare.Code, 1);
  EXPECT_EQ(ErrorText(dir),
            "zxtool: " + dir.File("bare.exe") + " is a program that carries no film\n");
}

TEST(ZxtoolExportRefuses, BadFilmsAndArgumentsLeaveNothing) {
  TzxTestDir dir;
  const auto frames = Frames(10, 8, 3);
  const std::string film = MakeFilm(dir, frames, 10, 8);
  WriteWholeFile(dir.File("garbage.zxf"), TzxBytes{1, 0, 0, 0, 10, 0, 0, 0, 1, 0, 'x', 'y'});
  WriteWholeFile(dir.File("png.zxf"), TzxBytes{0x89, 'P', 'N', 'G', 13, 10, 26, 10});

  // A film whose third frame record has runs beyond the picture: its
  // export fails part way, after frames were written.
  TzxFilmEntry e;
  e.Segment.Width = 10;
  e.Segment.Height = 8;
  e.Segment.FrameCount = 3;
  TzxFrameEncoder encoder(10, 8, 32);
  for (int k = 0; k < 2; ++k)
    encoder.AppendFrame(e.Segment.Video, frames[size_t(k)].data(), 40, frames[size_t(k)].size());
  e.Segment.Video.insert(e.Segment.Video.end(), {13, 0, 0, 0, 1, 0, 0, 0, 1, 2, 3, 0xFF, 0xFF});
  WriteWholeFile(dir.File("damaged.zxf"), BuildFilm({e}));

  const std::vector<std::string> before = Names(dir.Path());
  const struct {
    std::string Args, About;
  } cases[] = {
      {"export " + dir.File("missing.zxf") + " --hash", "Cannot open"},
      {"export " + dir.File("garbage.zxf") + " --hash", "garbage.zxf"},
      {"export " + dir.File("png.zxf") + " " + dir.File("f"), "not a readable film"},
      {"export " + dir.File("damaged.zxf") + " " + dir.File("f"), "frame 2"},
      {"export " + dir.File("damaged.zxf") + " " + dir.File("f.mp4"), "frame 2"},
      {"export " + dir.File("damaged.zxf") + " --hash", "frame 2"},
      {"export " + film + " " + dir.File("f") + " --segment 2",
       "has no segment 2; its segment is 1"},
      {"export " + film + " " + dir.File("f") + " --from 3f", "no frame"},
      {"export " + film + " " + dir.File("f") + " --from 1:00", "no frame"},
      {"export " + film + " " + dir.File("f.png"), "pattern"},
      {"export " + film + " " + dir.File("f.flv"), "unknown output kind"},
      {"export " + film + " " + dir.File("f.gif") + " --crf 20", "--crf applies to videos"},
      {"export " + film + " --hash --crop", "--crop applies to videos"},
      {"export " + film + " " + dir.File("f.mp4") + " --crf 52", "--crf 52: expected"},
      {"export " + film + " " + dir.File("f.webm") + " --crf 64", "--crf 64: expected"},
      {"export " + film + " " + dir.File("f.mp4") + " --pix-fmt rgb24",
       "expected yuv420p or yuv444p"},
      {"export " + film + " " + dir.File("f.webm") + " --lossless --pix-fmt yuv444p",
       "--lossless excludes --pix-fmt"},
      {"export " + film + " " + dir.File("f") + " --scale 0", "--scale 0"},
      {"export " + film + " --hash --scale 2", "--scale"},
      {"export " + film, "OUT or --hash"},
  };
  for (const auto &c : cases) {
    TzxRun r = RunZxtool(c.Args, dir);
    const std::string text = ErrorText(dir);
    EXPECT_NE(r.Code, 0) << c.Args;
    EXPECT_EQ(r.Out, "") << c.Args;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << c.Args << ": " << text;
    EXPECT_NE(text.find(c.About), std::string::npos) << c.About << " not in: " << text;
    std::vector<std::string> after = Names(dir.Path());
    EXPECT_EQ(after, before) << c.Args;
  }
}

// ---------------------------------------------------------------- videos

namespace {

void Ffmpeg(const std::string &args) {
  const std::string cmd = "ffmpeg -hide_banner -nostdin -v error -y " + args;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// A second of a tone as MP3 that starts with a frame header.
std::string Tone(const TzxTestDir &dir, int32_t rate) {
  const std::string name = dir.File(Format("tone%d.mp3", rate));
  Ffmpeg(Format("-f lavfi -i sine=frequency=440:duration=1 -ar %d -ac 1 -b:a 32k "
                "-id3v2_version 0 -write_xing 0 ",
                rate) +
         name);
  return name;
}

// The audio packets of a video, as an MP3 stream.
TzxBytes Mp3Packets(const std::string &video, const TzxTestDir &dir) {
  Ffmpeg("-i " + video + " -map 0:a -c copy -write_xing 0 -id3v2_version 0 -f mp3 " +
         dir.File("packets.mp3"));
  return ReadWholeFile(dir.File("packets.mp3"));
}

// The SHA-256 of each decoded frame's RGB24 bytes, as export --hash has them.
std::string DecodedHashes(const std::string &video, int32_t segment = 1) {
  std::string out, err;
  RunProgram({"ffmpeg", "-v", "error", "-i", video, "-map", "0:v", "-pix_fmt", "rgb24", "-f",
              "framehash", "-hash", "sha256", "-"},
             out, err);
  std::string lines;
  std::istringstream in(out);
  int frame = 0;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#')
      lines += Format("%d %d %s\n", segment, frame++, line.substr(line.rfind(' ') + 1).c_str());
  return lines;
}

} // namespace

TEST(ZxtoolExportVideo, TheMp3IsKeptAsItIsWhereTheContainerTakesIt) {
  TzxTestDir dir;
  // Exports the film, expecting the note and the streams' codecs.
  const auto expect = [&](const std::string &film, const std::string &name, const std::string &note,
                          const std::string &codecs) {
    const std::string out = dir.File(name);
    const TzxRun r = RunZxtool("export " + film + " " + out, dir);
    EXPECT_EQ(r.Code, 0) << name << ": " << ErrorText(dir);
    EXPECT_EQ(ErrorText(dir), note) << name;
    EXPECT_EQ(Probe("-show_entries stream=codec_name -of csv=p=0 " + out), codecs) << name;
    return out;
  };
  const std::string tone = Tone(dir, 22050);
  const std::string film = MakeFilm(dir, Frames(16, 10, 10), 16, 10, "--fps 5 --sound " + tone);
  for (const char *ext : {"mp4", "mkv", "mov", "avi"}) {
    const std::string out = expect(film, std::string("out.") + ext, "", "h264\nmp3\n");
    EXPECT_EQ(Mp3Packets(out, dir), ReadWholeFile(tone)) << ext << ": the MP3 bytes changed";
  }
  // WebM takes no MP3; GIF no sound at all.
  expect(film, "out.webm",
         "zxtool: segment 1: its MP3 sound is re-encoded to Opus: WebM carries no MP3\n",
         "vp9\nopus\n");
  expect(film, "out.gif", "zxtool: segment 1 is exported without sound: GIF has none\n", "gif\n");

  // MPEG-2.5 sound (below 16000 Hz): MP4 has no code for it, Matroska does.
  const std::string low =
      MakeFilm(dir, Frames(16, 10, 10), 16, 10, "--fps 5 --sound " + Tone(dir, 11025));
  expect(low, "low.mp4",
         "zxtool: segment 1: its MP3 sound is re-encoded to AAC: MP4 takes MP3 at 16000 Hz and "
         "more, this has 11025 Hz\n",
         "h264\naac\n");
  expect(low, "low.mkv", "", "h264\nmp3\n");
}

TEST(ZxtoolExportVideo, CrfPixelFormatAndLosslessShowInTheOutput) {
  TzxTestDir dir;
  const std::string film = MakeFilm(dir, Frames(16, 10, 6), 16, 10);
  const auto video = [&](const std::string &name, const std::string &options) {
    const std::string out = dir.File(name);
    const TzxRun r = RunZxtool("export " + film + " " + out + " " + options, dir);
    EXPECT_EQ(r.Code, 0) << options << ": " << ErrorText(dir);
    EXPECT_EQ(ErrorText(dir), "") << options;
    return out;
  };
  // x264 writes its settings into the stream.
  const auto settings = [](const std::string &file) {
    const TzxBytes b = ReadWholeFile(file);
    return std::string(b.begin(), b.end());
  };
  const auto pixFmt = [](const std::string &file) {
    return Probe("-select_streams v -show_entries stream=codec_name,pix_fmt -of csv=p=0 " + file);
  };
  const std::string plain = video("plain.mp4", "");
  EXPECT_NE(settings(plain).find(" crf=18.0 "), std::string::npos);
  EXPECT_EQ(pixFmt(plain), "h264,yuv420p\n");
  EXPECT_NE(settings(video("crf.mkv", "--crf 30")).find(" crf=30.0 "), std::string::npos);
  EXPECT_EQ(pixFmt(video("444.mov", "--pix-fmt yuv444p")), "h264,yuv444p\n");
  EXPECT_EQ(pixFmt(video("444.webm", "--pix-fmt yuv444p --crf 40")), "vp9,yuv444p\n");
  EXPECT_EQ(pixFmt(video("420.webm", "")), "vp9,yuv420p\n");

  // Lossless: the decoded frames are the rendered ones, bit for bit.
  const TzxRun hashes = RunZxtool("export " + film + " --hash", dir);
  ASSERT_EQ(hashes.Code, 0) << ErrorText(dir);
  for (const char *name : {"lossless.mkv", "lossless.mp4", "lossless.avi", "lossless.webm"}) {
    const std::string out = video(name, "--lossless");
    EXPECT_EQ(DecodedHashes(out), hashes.Out) << name;
    EXPECT_EQ(pixFmt(out),
              std::string(name).find("webm") != std::string::npos ? "vp9,gbrp\n" : "h264,gbrp\n");
  }
}

TEST(ZxtoolExportVideo, OddSizesArePaddedOrCroppedWithOneNote) {
  TzxTestDir dir;
  const std::string film = MakeFilm(dir, Frames(15, 9, 4), 15, 9);
  const auto size = [](const std::string &file) {
    return Probe("-select_streams v -show_entries stream=width,height -of csv=p=0 " + file);
  };
  TzxRun r = RunZxtool("export " + film + " " + dir.File("pad.mp4"), dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir), "zxtool: the 15 x 9 picture is padded to 16 x 10 (a black column at "
                            "the right and row at the bottom added): yuv420p needs even sides "
                            "(--crop crops instead, or --pix-fmt yuv444p keeps the size)\n");
  EXPECT_EQ(size(dir.File("pad.mp4")), "16,10\n");
  // What was added is black; the picture beside it is not.
  std::string gray, err;
  RunProgram({"ffmpeg", "-v", "error", "-i", dir.File("pad.mp4"), "-frames:v", "1", "-pix_fmt",
              "gray", "-f", "rawvideo", "-"},
             gray, err);
  ASSERT_EQ(gray.size(), 160u);
  for (int32_t y = 0; y < 10; ++y)
    EXPECT_LT(uint8_t(gray[size_t(y) * 16 + 15]), 12) << "row " << y;
  for (int32_t x = 0; x < 16; ++x)
    EXPECT_LT(uint8_t(gray[9 * 16 + size_t(x)]), 12) << "column " << x;
  for (int32_t y = 3; y < 9; ++y)
    EXPECT_GT(uint8_t(gray[size_t(y) * 16 + 14]), 40) << "row " << y;

  r = RunZxtool("export " + film + " " + dir.File("crop.mov") + " --crop", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir).rfind("zxtool: the 15 x 9 picture is cropped to 14 x 8 (the last "
                                 "column and row left out): yuv420p needs even sides",
                                 0),
            0u)
      << ErrorText(dir);
  EXPECT_EQ(size(dir.File("crop.mov")), "14,8\n");
  // Sizes kept, without a note.
  for (const std::string &options : {std::string("x.mkv --pix-fmt yuv444p"), std::string("x.webm"),
                                     std::string("x.mp4 --lossless")}) {
    r = RunZxtool("export " + film + " " + dir.File(options), dir);
    ASSERT_EQ(r.Code, 0) << ErrorText(dir);
    EXPECT_EQ(ErrorText(dir), "") << options;
    EXPECT_EQ(size(dir.File(options.substr(0, options.find(' ')))), "15,9\n") << options;
  }
  // A side of one pixel cannot lose its pixel: it gains one.
  const std::string thin = MakeFilm(dir, Frames(1, 3, 2), 1, 3);
  r = RunZxtool("export " + thin + " " + dir.File("thin.mp4") + " --crop", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_NE(ErrorText(dir).find("cropped to 1 x 2 (the last row left out), then padded to 2 x 2 "
                                "(a black column at the right added)"),
            std::string::npos)
      << ErrorText(dir);
  EXPECT_EQ(size(dir.File("thin.mp4")), "2,2\n");
}

TEST(ZxtoolExportVideo, GifTakesTwoPassesAndKeepsFewColoursExact) {
  TzxTestDir dir;
  // Eight frames of three colours: the palette holds them all, so the GIF
  // shows exactly the rendered pictures.
  std::vector<TzxBytes> frames;
  for (int32_t k = 0; k < 8; ++k) {
    TzxBytes f;
    for (int32_t y = 0; y < 12; ++y)
      for (int32_t x = 0; x < 20; ++x) {
        const bool square = x >= k && x < k + 4 && y >= 2 && y < 6;
        const bool check = (x / 5 + y / 4) % 2 == 1;
        static const uint8_t red[4] = {0, 0, 255, 255}, blue[4] = {255, 128, 0, 255},
                             white[4] = {250, 250, 250, 255};
        const uint8_t *c = square ? red : check ? blue : white;
        f.insert(f.end(), c, c + 4);
      }
    frames.push_back(f);
  }
  const std::string film = MakeFilm(dir, frames, 20, 12, "--fps 5");
  const std::string gif = dir.File("out.gif");
  TzxRun r = RunZxtool("export " + film + " " + gif, dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir), "");
  EXPECT_EQ(Probe("-show_entries stream=codec_name,width,height -of csv=p=0 " + gif),
            "gif,20,12\n");
  const TzxRun hashes = RunZxtool("export " + film + " --hash", dir);
  EXPECT_EQ(DecodedHashes(gif), hashes.Out);

  r = RunZxtool("export " + film + " " + gif + " --from 2f --to 6f -y", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ProbeNumber("-count_frames -show_entries stream=nb_read_frames -of csv=p=0 " + gif), 4);
  EXPECT_EQ(Names(dir.Path()),
            (std::vector<std::string>{"err.txt", "film.zxf", "in.bgra", "out.gif"}));
}
