// Every command that reads a film takes a film file, a self-playing
// executable or standard input ("-"), through one way in.
#include "zxToolTesting.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A film of two LZMA segments, as a file and as a self-playing executable.
struct TFilmForms {
  std::string Film, Program, Bare;
};

TFilmForms WriteForms(const TzxTestDir &dir) {
  std::vector<TzxFilmEntry> entries(2);
  entries[0].Segment = PlayableSegment(7, 5, 2);
  entries[1].Segment = PlayableSegment(7, 5, 2, 100);
  entries[1].Segment.Title = "Second";
  const TzxBytes film = BuildFilm(entries);
  TFilmForms f{dir.File("film.zxf"), dir.File("film.exe"), dir.File("bare.exe")};
  WriteWholeFile(f.Film, film);
  WriteWholeFile(f.Program, BuildExecutable(FakeProgram(), film, "Warning=Achtung\r\n"));
  WriteWholeFile(f.Bare, FakeProgram());
  return f;
}

// info --json without the film base, which differs between the forms.
std::string WithoutBase(const std::string &json) {
  const size_t at = json.find(",\"entries\"");
  return at == std::string::npos ? json : json.substr(at);
}

// The line of bench's report that starts with label.
std::string ReportLine(const std::string &report, const std::string &label) {
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(label, 0) == 0) return line;
  return "";
}

} // namespace

TEST(ZxtoolFilmInput, FilmProgramAndStandardInputReadAlike) {
  TzxTestDir dir;
  const TFilmForms f = WriteForms(dir);
  const std::string film = f.Film, program = f.Program;

  const TzxRun info = RunZxtool("info --json " + film, dir);
  ASSERT_EQ(info.Code, 0) << ErrorText(dir);
  for (const std::string &source : {program, "- < " + film, "- < " + program}) {
    const TzxRun r = RunZxtool("info --json " + source, dir);
    EXPECT_EQ(r.Code, 0) << source << ": " << ErrorText(dir);
    EXPECT_EQ(WithoutBase(r.Out), WithoutBase(info.Out)) << source;
  }

  const TzxRun hash = RunZxtool("export " + film + " --hash", dir);
  ASSERT_EQ(hash.Code, 0) << ErrorText(dir);
  ASSERT_NE(hash.Out, "");
  for (const std::string &source : {program, "- < " + film, "- < " + program}) {
    const TzxRun r = RunZxtool("export " + source + " --hash", dir);
    EXPECT_EQ(r.Code, 0) << source << ": " << ErrorText(dir);
    EXPECT_EQ(r.Out, hash.Out) << source;
  }
  // Standard input in and raw frames out at once.
  const TzxRun raw = RunZxtool("export - - --no-cursor < " + program, dir);
  EXPECT_EQ(raw.Code, 0) << ErrorText(dir);
  EXPECT_EQ(raw.Out.size(), 2u * 7 * 5 * 3);

  // pack takes the film from any of them; extract from a program or a pipe.
  WriteWholeFile(dir.File("player.exe"), FakeProgram());
  for (const std::string &source : {film, program, "- < " + program}) {
    DeleteFileName(dir.File("out.exe"));
    const TzxRun r = RunZxtool(
        "pack " + dir.File("player.exe") + " -o " + dir.File("out.exe") + " " + source, dir);
    EXPECT_EQ(r.Code, 0) << source << ": " << ErrorText(dir);
    EXPECT_EQ(ReadWholeFile(dir.File("out.exe")),
              BuildExecutable(FakeProgram(), ReadWholeFile(film), ""))
        << source;
  }
  const TzxRun extracted = RunZxtool("extract - -o " + dir.File("back.zxf") + " --lang " +
                                         dir.File("back.txt") + " < " + program,
                                     dir);
  EXPECT_EQ(extracted.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ReadWholeFile(dir.File("back.zxf")), ReadWholeFile(film));
  const TzxBytes lang = ReadWholeFile(dir.File("back.txt"));
  EXPECT_EQ(std::string(lang.begin(), lang.end()), "Warning=Achtung\r\n");

  // Nothing of the copies of standard input stays behind.
  EXPECT_EQ(dir.Files(),
            (std::vector<std::string>{"back.txt", "back.zxf", "bare.exe", "err.txt", "film.exe",
                                      "film.zxf", "out.exe", "player.exe"}));
}

// bench read the directory of a self-playing executable at the program's
// first byte and timed no LZMA payload; it finds the film's two now.
TEST(ZxtoolFilmInput, BenchOfAProgramTimesTheFilmsPayloads) {
  TzxTestDir dir;
  const TFilmForms f = WriteForms(dir);
  for (const std::string &source : {f.Film, f.Program, "- < " + f.Program}) {
    const TzxRun r = RunZxtool("bench --passes 1 " + source, dir);
    ASSERT_EQ(r.Code, 0) << source << ": " << ErrorText(dir);
    EXPECT_NE(ReportLine(r.Out, "lzma:").find("(2 payloads, the coder alone)"), std::string::npos)
        << source << ": " << r.Out;
    EXPECT_NE(ReportLine(r.Out, "film:").find(", 2 segments, 4 frames"), std::string::npos)
        << r.Out;
  }
}

TEST(ZxtoolFilmInput, WhatIsNoFilmIsNamedInOneLine) {
  TzxTestDir dir;
  const TFilmForms f = WriteForms(dir);
  WriteWholeFile(dir.File("empty.zxf"), {});
  const std::string bare = f.Bare;
  const std::string noFilm = bare + " is a program that carries no film";
  const struct {
    std::string Args, Error;
  } cases[] = {
      {"info " + bare, noFilm},
      {"export " + bare + " --hash", noFilm},
      {"bench --passes 1 " + bare, noFilm},
      {"pack " + bare + " " + bare + " -o " + dir.File("out.exe"), noFilm},
      {"extract " + bare + " -o " + dir.File("out.zxf"), noFilm},
      {"info - < " + bare, "standard input is a program that carries no film"},
      {"export - --hash < " + bare, "standard input is a program that carries no film"},
      {"info - < /dev/null", "standard input is not a film: its directory has no entries"},
      {"export - --hash < /dev/null", "standard input is not a film"},
      {"info " + dir.File("empty.zxf"),
       dir.File("empty.zxf") + " is not a film: its directory has no entries"},
      {"info " + dir.Path(), "Cannot open " + dir.Path() + ": it is a directory"},
      {"export " + dir.File("none.zxf") + " --hash",
       "Cannot open " + dir.File("none.zxf") + ": there is no such file"},
      {"extract " + f.Film + " -o " + dir.File("out.zxf"), f.Film + " is not a Windows program"},
  };
  RunZxtool("--version", dir); // err.txt is there from now on
  const std::vector<std::string> before = dir.Files();
  for (const auto &c : cases) {
    const TzxRun r = RunZxtool(c.Args, dir);
    EXPECT_EQ(r.Code, 1) << c.Args;
    EXPECT_EQ(r.Out, "") << c.Args;
    EXPECT_EQ(ErrorText(dir), "zxtool: " + c.Error + "\n") << c.Args;
    EXPECT_EQ(dir.Files(), before) << c.Args;
  }
}

// Ctrl-C while a film still arrives on standard input: the copy goes with
// the rest of the session.
TEST(ZxtoolFilmInput, InterruptedWhileTheFilmArrivesLeavesNothing) {
  TzxTestDir dir;
  const TFilmForms f = WriteForms(dir);
  const std::string tmp = dir.File("tmp");
  fs::create_directories(tmp);
  TzxToolProcess p({"info", "-"}, dir, {"TMPDIR=" + tmp}, true);
  TzxBytes film = ReadWholeFile(f.Film);
  film.resize(film.size() / 2);
  ASSERT_TRUE(p.Write(film));
  const auto copied = [&] {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(tmp, ec); !ec && it != fs::end(it);
         it.increment(ec))
      if (it->path().filename() == "standard-input.zxf" && fs::file_size(it->path(), ec) > 0)
        return true;
    return false;
  };
  ASSERT_TRUE(WaitFor([&] { return copied() || !p.Running(); }));
  ASSERT_TRUE(p.Running()) << ErrorText(dir);
  p.Signal(SIGINT);
  p.CloseInput(); // the rest of the film never comes
  int code = 0;
  ASSERT_TRUE(p.Wait(code));
  EXPECT_EQ(code, 130);
  EXPECT_EQ(ErrorText(dir), "zxtool: interrupted\n");
  EXPECT_TRUE(fs::is_empty(tmp));
}
