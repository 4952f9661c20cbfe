#include "zxToolTesting.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(ZxtoolPack, PackAndExtractRoundTrip) {
  TzxTestDir dir;
  TzxFilmEntry e;
  e.Segment = SampleSegment(TzxPacking::Raw);
  e.Segment.Flags = 0x1000;
  TzxBytes film = BuildFilm({e});
  WriteWholeFile(dir.File("player.exe"), FakeProgram());
  WriteWholeFile(dir.File("film.zxf"), film);
  WriteWholeFile(dir.File("lang.txt"), {'E', 'r', 'r', 'o', 'r', '=', 'X'});

  TzxRun r = RunZxtool("pack " + dir.File("player.exe") + " " + dir.File("film.zxf") + " --lang " +
                           dir.File("lang.txt") + " -o " + dir.File("out.exe"),
                       dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  TzxBytes exe = ReadWholeFile(dir.File("out.exe"));
  EXPECT_EQ(exe, BuildExecutable(FakeProgram(), film, "Error=X"));

  r = RunZxtool("extract " + dir.File("out.exe") + " -o " + dir.File("back.zxf") + " --lang " +
                    dir.File("back.txt"),
                dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ReadWholeFile(dir.File("back.zxf")), film);
  EXPECT_EQ(ReadWholeFile(dir.File("back.txt")), (TzxBytes{'E', 'r', 'r', 'o', 'r', '=', 'X'}));

  r = RunZxtool("info --json " + dir.File("out.exe"), dir);
  EXPECT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_NE(r.Out.find("\"film_base\":411"), std::string::npos) << r.Out;
}

TEST(ZxtoolPack, InputsThatAreNotWhatTheyClaimAreRefused) {
  TzxTestDir dir;
  TzxFilmEntry e;
  e.Segment = SampleSegment(TzxPacking::Raw);
  TzxBytes film = BuildFilm({e});
  WriteWholeFile(dir.File("player.exe"), FakeProgram());
  WriteWholeFile(dir.File("film.zxf"), film);
  WriteWholeFile(dir.File("notexe.exe"), film);
  WriteWholeFile(dir.File("notfilm.zxf"), TzxBytes(100, 0xFF));
  WriteWholeFile(dir.File("carrying.exe"), BuildExecutable(FakeProgram(), film, ""));
  WriteWholeFile(dir.File("bare.exe"), FakeProgram());

  const std::string out = " -o " + dir.File("out.bin");
  // Each word is a file in the test directory.
  const char *refused[][2] = {
      {"pack notexe.exe film.zxf", "is not a Windows program"},
      {"pack player.exe notfilm.zxf", "is not a film"},
      {"pack carrying.exe film.zxf", "already carries"},
      {"pack player.exe missing.zxf", "missing.zxf"},
      {"extract bare.exe", "carries no film"},
      {"extract film.zxf", "is not a Windows program"},
  };
  for (const auto &c : refused) {
    std::string args;
    std::string words = std::string(c[0]) + " ";
    for (size_t at = 0, space; (space = words.find(' ', at)) != std::string::npos; at = space + 1) {
      std::string word = words.substr(at, space - at);
      args += (args.empty() ? word : " " + dir.File(word));
    }
    TzxRun r = RunZxtool(args + out, dir);
    EXPECT_NE(r.Code, 0) << c[0];
    EXPECT_NE(ErrorText(dir).find(c[1]), std::string::npos) << c[0] << ": " << ErrorText(dir);
    EXPECT_FALSE(FileExists(dir.File("out.bin"))) << c[0];
    EXPECT_FALSE(FileExists(dir.File("out.bin.part"))) << c[0];
  }
  EXPECT_NE(RunZxtool("pack " + dir.File("player.exe") + " " + dir.File("film.zxf"), dir).Code, 0);
}

namespace {

// Writes film.zxf and player.exe, a player as built (L = 0, F = 0 behind
// the program); returns the film.
TzxBytes WriteFilmAndBuiltPlayer(const TzxTestDir &dir) {
  TzxFilmEntry e;
  e.Segment = SampleSegment(TzxPacking::Raw);
  const TzxBytes film = BuildFilm({e});
  WriteWholeFile(dir.File("film.zxf"), film);
  WriteWholeFile(dir.File("player.exe"), BuildExecutable(FakeProgram(), {}, ""));
  return film;
}

} // namespace

TEST(ZxtoolPack, TheBuiltPlayersEmptyTrailerIsReplaced) {
  TzxTestDir dir;
  const TzxBytes film = WriteFilmAndBuiltPlayer(dir);
  // A player with a language block and no film keeps the block unless
  // --lang replaces it.
  WriteWholeFile(dir.File("german.exe"), BuildExecutable(FakeProgram(), {}, "Error=Fehler"));
  WriteWholeFile(dir.File("lang.txt"), {'E', 'r', 'r', 'o', 'r', '=', 'X'});
  TzxBytes junk = FakeProgram();
  junk.insert(junk.end(), {1, 2, 3});
  WriteWholeFile(dir.File("junk.exe"), junk);

  const auto pack = [&](const std::string &player, const std::string &extra) {
    return RunZxtool("pack " + dir.File(player) + " " + dir.File("film.zxf") + extra + " -o " +
                         dir.File(player + ".out"),
                     dir);
  };
  ASSERT_EQ(pack("player.exe", "").Code, 0) << ErrorText(dir);
  EXPECT_EQ(ReadWholeFile(dir.File("player.exe.out")), BuildExecutable(FakeProgram(), film, ""));
  ASSERT_EQ(pack("german.exe", "").Code, 0) << ErrorText(dir);
  EXPECT_EQ(ReadWholeFile(dir.File("german.exe.out")),
            BuildExecutable(FakeProgram(), film, "Error=Fehler"));
  ASSERT_EQ(pack("german.exe", " --lang " + dir.File("lang.txt") + " -y").Code, 0)
      << ErrorText(dir);
  EXPECT_EQ(ReadWholeFile(dir.File("german.exe.out")),
            BuildExecutable(FakeProgram(), film, "Error=X"));
  // A packed player is refused, and so are bytes that are no trailer.
  EXPECT_NE(pack("player.exe.out", "").Code, 0);
  EXPECT_NE(ErrorText(dir).find("already carries a film"), std::string::npos) << ErrorText(dir);
  EXPECT_NE(pack("junk.exe", "").Code, 0);
  EXPECT_NE(ErrorText(dir).find("other data behind its program"), std::string::npos)
      << ErrorText(dir);
}

TEST(ZxtoolPack, WithoutAPlayerNamedTheDefaultOneIsTaken) {
  TzxTestDir dir;
  const TzxBytes film = WriteFilmAndBuiltPlayer(dir);
  const char *before = std::getenv("ZX_PLAYER");
  const std::string saved = before != nullptr ? before : "";
  ::setenv("ZX_PLAYER", dir.File("player.exe").c_str(), 1);
  const TzxRun packed =
      RunZxtool("pack " + dir.File("film.zxf") + " -o " + dir.File("out.exe"), dir);
  const std::string packedError = ErrorText(dir);
  ::setenv("ZX_PLAYER", dir.File("missing.exe").c_str(), 1);
  const TzxRun missing =
      RunZxtool("pack " + dir.File("film.zxf") + " -o " + dir.File("none.exe"), dir);
  if (before != nullptr)
    ::setenv("ZX_PLAYER", saved.c_str(), 1);
  else
    ::unsetenv("ZX_PLAYER");
  ASSERT_EQ(packed.Code, 0) << packedError;
  EXPECT_EQ(ReadWholeFile(dir.File("out.exe")), BuildExecutable(FakeProgram(), film, ""));
  EXPECT_EQ(missing.Code, 1);
  EXPECT_NE(ErrorText(dir).find("missing.exe"), std::string::npos) << ErrorText(dir);
  EXPECT_FALSE(FileExists(dir.File("none.exe")));
}
