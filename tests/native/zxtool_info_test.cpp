#include "zxToolTesting.h"

#include <gtest/gtest.h>

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
             "{\"index\":0,\"entry\":0,\"version\":1,\"width\":7,\"height\":5,"
             "\"bits_per_pixel\":32,\"fps\":12,\"flags\":%d,\"frame_count\":2,"
             "\"title\":\"Caf\xC3\xA9 \xE2\x82\xAC\",\"cursor_count\":2,\"video_size\":300,"
             "\"cursor_track_size\":36,\"palette_track_size\":2,\"sound_size\":5},"
             "{\"index\":null,\"entry\":2,\"version\":2,\"width\":7,\"height\":5,"
             "\"bits_per_pixel\":32,\"fps\":12,\"flags\":%d,\"frame_count\":2,"
             "\"title\":\"\",\"cursor_count\":2,\"video_size\":0,"
             "\"cursor_track_size\":0,\"palette_track_size\":0,\"sound_size\":0},"
             "{\"index\":1,\"entry\":3,\"version\":1,\"width\":7,\"height\":5,"
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
