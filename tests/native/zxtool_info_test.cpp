#include "zxToolTesting.h"

#include "zxFfmpegPipe.h"
#include "zxFrameEncoder.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(ZxtoolInfo, JsonReportsExactlyWhatWasWritten) {
  TzxTestDir dir;
  std::vector<TzxFilmEntry> entries(4);
  entries[0].Segment = SampleSegment(TzxPacking::Lzma);
  entries[0].Segment.Title = "Caf\xE9 \x80";
  entries[0].Segment.PaletteTrack = {0, 0};
  entries[0].Segment.Sound = {0xFF, 0xF3, 0x40, 0xC4, 9};
  entries[0].Segment.Flags |= sfSoundMp3;
  entries[1].Kind = 3;
  entries[1].Raw = {1, 2, 3};
  entries[2].Segment = SampleSegment(TzxPacking::Lzma);
  entries[2].Segment.Version = 2;
  entries[3].Segment = SampleSegment(TzxPacking::Raw);
  entries[3].Segment.Flags = 0x1000;
  entries[3].Segment.FramesPerSecond = 13.5f;
  TzxBytes film = BuildFilm(entries);
  TzxBytes player(1000, 0);
  player[0] = 'M';
  player[1] = 'Z';
  WriteWholeFile(dir.File("film.exe"), BuildExecutable(player, film, "Warning=Achtung\r\n"));

  TzxRun r = RunZxtool("info --json " + dir.File("film.exe"), dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);

  // Offsets follow from the sizes the writer produced.
  TzxMemoryStream s;
  s.Write(film.data(), static_cast<int32_t>(film.size()));
  s.Seek(4);
  int32_t off[4];
  for (int i = 0; i < 4; ++i) {
    s.ReadBuffer(&off[i], 4);
    int16_t kind;
    s.ReadBuffer(&kind, 2);
  }
  std::string expected =
      Format("{\"film_base\":1021,\"duration\":0.166667,\"language\":{\"size\":17,\"keys\":["
             "\"Warning\"]},\"entries\":[{\"kind\":1,\"offset\":%d},{\"kind\":3,"
             "\"offset\":%d},{\"kind\":1,\"offset\":%d},{\"kind\":1,\"offset\":%d}],"
             "\"segments\":["
             "{\"index\":1,\"entry\":1,\"version\":1,\"width\":7,\"height\":5,"
             "\"bits_per_pixel\":32,\"fps\":12,\"flags\":%d,\"frame_count\":2,"
             "\"title\":\"Caf\xC3\xA9 \xE2\x82\xAC\",\"cursor_count\":2,\"video_size\":300,"
             "\"cursor_track_size\":36,\"palette_track_size\":2,\"sound_size\":5,"
             "\"fps_stored\":12.5,\"duration\":0.166667,\"nothing_to_play\":null,\"cursors\":["
             "{\"kind\":\"colour\",\"width\":4,\"height\":4,\"hot_spot_x\":1,\"hot_spot_y\":2,"
             "\"bits_per_pixel\":32,\"valid\":true},{\"kind\":\"monochrome\",\"width\":2,"
             "\"height\":2,\"hot_spot_x\":0,\"hot_spot_y\":0,\"bits_per_pixel\":1,\"valid\":true}],"
             "\"sound\":{\"problem\":null,\"mpeg_version\":\"2\",\"layer\":3,\"sample_rate\":22050,"
             "\"bit_rate\":32,\"variable_bit_rate\":false,\"channels\":1,\"frames\":0,"
             "\"duration\":0.000000}},"
             "{\"index\":null,\"entry\":3,\"version\":2,\"width\":7,\"height\":5,"
             "\"bits_per_pixel\":32,\"fps\":12,\"flags\":%d,\"frame_count\":2,"
             "\"title\":\"\",\"cursor_count\":2,\"video_size\":0,"
             "\"cursor_track_size\":0,\"palette_track_size\":0,\"sound_size\":0,"
             "\"fps_stored\":12.5,\"duration\":0.166667,\"nothing_to_play\":null,\"cursors\":[],"
             "\"sound\":null},"
             "{\"index\":4,\"entry\":4,\"version\":1,\"width\":7,\"height\":5,"
             "\"bits_per_pixel\":32,\"fps\":14,\"flags\":4096,\"frame_count\":2,"
             "\"title\":\"\",\"cursor_count\":0,\"video_size\":0,"
             "\"cursor_track_size\":0,\"palette_track_size\":0,\"sound_size\":0,"
             "\"fps_stored\":13.5,\"duration\":0.142857,\"nothing_to_play\":\"its payload is "
             "packed in a way this player does not know (kind 1)\",\"cursors\":[],\"sound\":null}],"
             "\"warnings\":[\"Segment 3 need reDiridi of other version to play\\r\"]}\n",
             off[0], off[1], off[2], off[3], entries[0].Segment.Flags, entries[2].Segment.Flags);
  EXPECT_EQ(r.Out, expected);

  // The text form says the same in words, and nothing stays behind.
  r = RunZxtool("info " + dir.File("film.exe"), dir);
  EXPECT_EQ(r.Code, 0);
  EXPECT_NE(r.Out.find("title \"Caf\xC3\xA9 \xE2\x82\xAC\""), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("Segment 3 need reDiridi"), std::string::npos) << r.Out;
}

TEST(ZxtoolInfo, UnreadableInputGivesOneLineAndNonZeroExit) {
  TzxTestDir dir;
  WriteWholeFile(dir.File("empty.zxf"), {});
  TzxBytes exe = {'M', 'Z', 0, 0, 0, 0, 0, 0};
  WriteWholeFile(dir.File("nofilm.exe"), exe);
  TzxFilmEntry e;
  e.Segment = SampleSegment(TzxPacking::Raw);
  e.Segment.PackedSize = 1 << 30;
  WriteWholeFile(dir.File("lying.zxf"), BuildFilm({e}));

  for (const char *name : {"missing.zxf", "empty.zxf", "nofilm.exe", "lying.zxf"}) {
    TzxRun r = RunZxtool("info " + dir.File(name), dir);
    EXPECT_NE(r.Code, 0) << name;
    EXPECT_TRUE(r.Out.empty()) << name;
    std::string err = ErrorText(dir);
    EXPECT_EQ(err.rfind("zxtool: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
  EXPECT_NE(RunZxtool("info", dir).Code, 0);
  EXPECT_NE(RunZxtool("frobnicate", dir).Code, 0);
}

TEST(ZxtoolInfo, SegmentsAreNumberedByTheirPlaceInTheFilmEverywhere) {
  // Entries 1 and 4 are playable; 2 is not a segment and 3 needs a newer
  // player, which the loader names "Segment 3".
  TzxTestDir dir;
  std::vector<TzxFilmEntry> entries(4);
  for (size_t i : {0, 2, 3}) {
    TzxSegmentSpec &s = entries[i].Segment;
    s.Width = 3, s.Height = 2, s.FrameCount = 2;
    TzxFrameEncoder encoder(3, 2, 32);
    for (uint8_t k = 0; k < 2; ++k) {
      const TzxBytes picture(24, uint8_t(i * 40 + k));
      encoder.AppendFrame(s.Video, picture.data(), 12, picture.size());
    }
  }
  entries[1].Kind = 3;
  entries[1].Raw = {1, 2, 3};
  entries[2].Segment.Version = 2;
  entries[3].Segment.Title = "Fourth";
  const std::string film = dir.File("gaps.zxf");
  WriteWholeFile(film, BuildFilm(entries));

  TzxRun r = RunZxtool("info " + film, dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_NE(r.Out.find("segment 1: title \"\""), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("segment 4: title \"Fourth\""), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("Segment 3 need"), std::string::npos) << r.Out;
  r = RunZxtool("info --json " + film, dir);
  EXPECT_NE(r.Out.find("{\"index\":4,\"entry\":4,"), std::string::npos) << r.Out;

  // --hash lines and --segment use the same numbers.
  const TzxRun all = RunZxtool("export " + film + " --hash", dir);
  ASSERT_EQ(all.Code, 0) << ErrorText(dir);
  std::vector<std::string> numbers;
  std::istringstream lines(all.Out);
  for (std::string line; std::getline(lines, line);)
    numbers.push_back(line.substr(0, line.find(' ')));
  EXPECT_EQ(numbers, (std::vector<std::string>{"1", "1", "4", "4"})) << all.Out;
  const TzxRun fourth = RunZxtool("export " + film + " --hash --segment 4", dir);
  EXPECT_EQ(fourth.Code, 0) << ErrorText(dir);
  EXPECT_EQ(fourth.Out, all.Out.substr(all.Out.find("\n4 ") + 1));

  for (const char *missing : {"2", "3", "5"}) {
    r = RunZxtool("export " + film + " --hash --segment " + missing, dir);
    EXPECT_EQ(r.Code, 1) << missing;
    EXPECT_EQ(ErrorText(dir), "zxtool: --segment " + std::string(missing) + ": " + film +
                                  " has no segment " + missing + "; its segments are 1, 4\n");
    r = RunZxtool("bench " + film + " --passes 1 --segment " + missing, dir);
    EXPECT_EQ(r.Code, 1) << missing;
    EXPECT_NE(ErrorText(dir).find("its segments are 1, 4"), std::string::npos) << ErrorText(dir);
  }
  r = RunZxtool("bench " + film + " --passes 1 --segment 4", dir);
  EXPECT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_NE(r.Out.find("  segment 1: "), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("  segment 4: "), std::string::npos) << r.Out;

  // A picture export of a film of many segments says which one it took.
  r = RunZxtool("export " + film + " " + dir.File("frames"), dir);
  EXPECT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_NE(ErrorText(dir).find("exported segment 1 (choose with --segment N, or --segment all for "
                                "the whole film)"),
            std::string::npos)
      << ErrorText(dir);
}

namespace {

// A second of a tone through FFmpeg, as MPEG audio without tags.
TzxBytes ToneBytes(const TzxTestDir &dir, const std::string &name,
                   const std::vector<std::string> &codec) {
  std::vector<std::string> args = {
      "ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=frequency=300:duration=1"};
  args.insert(args.end(), codec.begin(), codec.end());
  args.insert(args.end(), {"-id3v2_version", "0", "-write_xing", "0", "-y", dir.File(name)});
  std::string out, err;
  EXPECT_EQ(RunProgram(args, out, err), 0) << err;
  return ReadWholeFile(dir.File(name));
}

// Whether text is one JSON value, as Python's reader takes it.
bool IsJson(const TzxTestDir &dir, const std::string &text) {
  WriteWholeFile(dir.File("info.json"), TzxBytes(text.begin(), text.end()));
  std::string out, err;
  return RunProgram({"python3", "-m", "json.tool", dir.File("info.json")}, out, err) == 0;
}

} // namespace

// Segment 1: 29.97 fps stored (played at 30), 30 frames, a colour, a
// monochrome and an empty cursor, MPEG-1 Layer III stereo sound; segment 2:
// Layer II mono sound at 12.5 fps; segment 3: sound that starts with an ID3
// tag; segment 4: nothing to play.
TEST(ZxtoolInfo, DurationsRatesCursorsSoundAndTheLanguageBlock) {
  TzxTestDir dir;
  std::vector<TzxFilmEntry> entries(4);
  entries[0].Segment = PlayableSegment(8, 6, 30);
  entries[0].Segment.FramesPerSecond = 29.97f;
  entries[0].Segment.Cursors.push_back(EncodeCursorRecord(TzxCursorRecord{}));
  entries[0].Segment.Sound =
      ToneBytes(dir, "l3.mp3", {"-c:a", "libmp3lame", "-ar", "44100", "-ac", "2", "-b:a", "128k"});
  entries[1].Segment = PlayableSegment(8, 6, 5);
  entries[1].Segment.Sound =
      ToneBytes(dir, "l2.mp2", {"-c:a", "mp2", "-ar", "48000", "-ac", "1", "-b:a", "64k"});
  entries[2].Segment = PlayableSegment(8, 6, 5);
  entries[2].Segment.Sound = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0, 0xFF, 0xFB, 0x90, 0x64};
  entries[3].Segment = PlayableSegment(8, 6, 5);
  entries[3].Segment.Flags = 0x1000;
  entries[3].Segment.Packing = TzxPacking::Raw;
  for (int i = 0; i < 3; ++i)
    entries[size_t(i)].Segment.Flags |= sfSoundMp3;
  const TzxBytes film = BuildFilm(entries);
  WriteWholeFile(dir.File("film.zxf"), film);
  WriteWholeFile(
      dir.File("film.exe"),
      BuildExecutable(FakeProgram(), film, "Error=Fehler\r\n Warning = Achtung\r\nx\r\n"));

  TzxRun r = RunZxtool("info --json " + dir.File("film.exe"), dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_TRUE(IsJson(dir, r.Out)) << r.Out;
  const std::string json = r.Out;
  auto has = [&](const std::string &text) {
    EXPECT_NE(json.find(text), std::string::npos) << text << " not in " << json;
  };
  // 1 s + 5 frames at 12 fps twice; segment 4 does not play.
  has("\"duration\":" + Format("%.6f", 1.0 + 2 * 5.0 / 12) +
      ",\"language\":{\"size\":37,"
      "\"keys\":[\"Error\",\"Warning\"]}");
  has("\"fps\":30,\"flags\":");
  has("\"fps_stored\":29.97,\"duration\":1.000000,\"nothing_to_play\":null,\"cursors\":[{\"kind\":"
      "\"colour\",\"width\":4,\"height\":4,\"hot_spot_x\":1,\"hot_spot_y\":2,\"bits_per_pixel\":32,"
      "\"valid\":true},{\"kind\":\"monochrome\",\"width\":2,\"height\":2,\"hot_spot_x\":0,"
      "\"hot_spot_y\":0,\"bits_per_pixel\":1,\"valid\":true},{\"kind\":\"empty\"");
  has("\"sound\":{\"problem\":null,\"mpeg_version\":\"1\",\"layer\":3,\"sample_rate\":44100,"
      "\"bit_rate\":128,\"variable_bit_rate\":false,\"channels\":2,\"frames\":");
  has("\"sound\":{\"problem\":null,\"mpeg_version\":\"1\",\"layer\":2,\"sample_rate\":48000,"
      "\"bit_rate\":64,\"variable_bit_rate\":false,\"channels\":1,\"frames\":42,\"duration\":1."
      "008000}");
  has("\"sound\":{\"problem\":\"starts with an ID3 tag instead of an MPEG audio frame header\"}");
  has("\"nothing_to_play\":\"its payload is packed in a way this player does not know (kind 1)\"");

  // Layer III frames of 1152 samples at 44.1 kHz: a second and the coder's delay.
  const size_t at = json.find("\"layer\":3,\"sample_rate\":44100");
  const long frames = std::atol(json.c_str() + json.find("\"frames\":", at) + 9);
  EXPECT_GE(frames, 39);
  EXPECT_LE(frames, 41);
  has(Format("\"frames\":%ld,\"duration\":%.6f}", frames, frames * 1152.0 / 44100));

  r = RunZxtool("info " + dir.File("film.exe"), dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  for (const std::string &line : {
           std::string("  film base 441, 4 directory entries, plays 00:00:01.833\n"),
           std::string("  language block: 37 bytes, keys Error, Warning\n"),
           std::string("    version 1, 8 x 6, 32 bits, 29.97 fps stored, plays at 30, 30 frames "
                       "(00:00:01.000), flags 0x2101 (LZMA, MP3 sound, 3 cursor samples a "
                       "frame)\n"),
           std::string("    cursor 0: colour (32 bits), 4 x 4, hot spot 1,2\n"),
           std::string("    cursor 1: monochrome, 2 x 2, hot spot 0,0\n"),
           std::string("    cursor 2: empty\n"),
           Format("    sound: MPEG-1 Layer III, 44100 Hz, 128 kbit/s, two channels, %ld frames, "
                  "00:00:0%.3f\n",
                  frames, frames * 1152.0 / 44100),
           std::string("    sound: MPEG-1 Layer II, 48000 Hz, 64 kbit/s, mono, 42 frames, "
                       "00:00:01.008\n"),
           std::string("    sound: not played: it starts with an ID3 tag instead of an MPEG audio "
                       "frame header\n"),
           std::string("    nothing to play: its payload is packed in a way this player does not "
                       "know (kind 1)\n"),
       })
    EXPECT_NE(r.Out.find(line), std::string::npos) << line << " not in\n" << r.Out;

  // A film file carries no language block.
  r = RunZxtool("info --json " + dir.File("film.zxf"), dir);
  EXPECT_NE(r.Out.find(",\"language\":null,"), std::string::npos) << r.Out;
  r = RunZxtool("info " + dir.File("film.zxf"), dir);
  EXPECT_EQ(r.Out.find("language"), std::string::npos) << r.Out;
}

// bench compares the player's decoding with an unchecked loop over the same
// records, and fails when the two do not decode the same pictures: at each
// depth, with rows padded (7 pixels) and without, runs crossing row ends.
TEST(ZxtoolBench, ThePlainLoopDecodesWhatThePlayerDecodes) {
  TzxTestDir dir;
  const int32_t h = 5, frames = 6;
  for (int32_t depth : {8, 24, 32}) {
    for (int32_t w : {7, 8}) {
      SCOPED_TRACE(Format("%d x %d at %d bits", w, h, depth));
      // Stripes of four colours, and a bar that moves down over them.
      TzxBytes bgra;
      for (int32_t k = 0; k < frames; ++k)
        for (int32_t y = 0; y < h; ++y)
          for (int32_t x = 0; x < w; ++x) {
            const int32_t shade = y == k % h && x > 1 ? 4 : (x + 2 * y) % 4;
            bgra.insert(bgra.end(), {uint8_t(40 * shade), uint8_t(255 - 30 * shade), 9, 255});
          }
      WriteWholeFile(dir.File("in.bgra"), bgra);
      const std::string film = dir.File("bench.zxf");
      TzxRun r = RunZxtool(Format("make -y --depth %d --raw %dx%d --input %s -o %s", depth, w, h,
                                  dir.File("in.bgra").c_str(), film.c_str()),
                           dir);
      ASSERT_EQ(r.Code, 0) << ErrorText(dir);
      r = RunZxtool("bench --passes 1 " + film, dir);
      EXPECT_EQ(r.Code, 0) << ErrorText(dir);
      EXPECT_NE(r.Out.find("\nfused/plain:   "), std::string::npos) << r.Out;
    }
  }
}
