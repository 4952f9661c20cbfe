#include "zxToolTesting.h"

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
      Format("{\"film_base\":1021,\"entries\":[{\"kind\":1,\"offset\":%d},{\"kind\":3,"
             "\"offset\":%d},{\"kind\":1,\"offset\":%d},{\"kind\":1,\"offset\":%d}],"
             "\"segments\":["
             "{\"index\":1,\"entry\":1,\"version\":1,\"width\":7,\"height\":5,"
             "\"bits_per_pixel\":32,\"fps\":12,\"flags\":%d,\"frame_count\":2,"
             "\"title\":\"Caf\xC3\xA9 \xE2\x82\xAC\",\"cursor_count\":2,\"video_size\":300,"
             "\"cursor_track_size\":36,\"palette_track_size\":2,\"sound_size\":5},"
             "{\"index\":null,\"entry\":3,\"version\":2,\"width\":7,\"height\":5,"
             "\"bits_per_pixel\":32,\"fps\":12,\"flags\":%d,\"frame_count\":2,"
             "\"title\":\"\",\"cursor_count\":2,\"video_size\":0,"
             "\"cursor_track_size\":0,\"palette_track_size\":0,\"sound_size\":0},"
             "{\"index\":4,\"entry\":4,\"version\":1,\"width\":7,\"height\":5,"
             "\"bits_per_pixel\":32,\"fps\":14,\"flags\":4096,\"frame_count\":2,"
             "\"title\":\"\",\"cursor_count\":0,\"video_size\":0,"
             "\"cursor_track_size\":0,\"palette_track_size\":0,\"sound_size\":0}],"
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
