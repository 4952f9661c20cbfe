// What zxtool's outputs may replace: an existing file only with -y, an
// input never; a failed run leaves the old file as it was.
#include "zxToolTesting.h"

#include "zxFrameEncoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const TzxBytes OldBytes = {'o', 'l', 'd'};

// A film of one 6 x 4 segment of three frames, and the pieces the writing
// commands take: a player, an executable, raw frames.
struct TInputs {
  std::string Film, Player, Program, Raw;
};

TInputs WriteInputs(const TzxTestDir &dir) {
  TInputs in{dir.File("film.zxf"), dir.File("player.exe"), dir.File("film.exe"),
             dir.File("in.bgra")};
  TzxFilmEntry e;
  e.Segment.Width = 6, e.Segment.Height = 4, e.Segment.FrameCount = 3;
  TzxFrameEncoder encoder(6, 4, 32);
  TzxBytes raw;
  for (uint8_t k = 0; k < 3; ++k) {
    const TzxBytes picture(6 * 4 * 4, uint8_t(k * 50));
    encoder.AppendFrame(e.Segment.Video, picture.data(), 24, picture.size());
    raw.insert(raw.end(), picture.begin(), picture.end());
  }
  const TzxBytes film = BuildFilm({e});
  WriteWholeFile(in.Film, film);
  WriteWholeFile(in.Player, FakeProgram());
  WriteWholeFile(in.Program, BuildExecutable(FakeProgram(), film, "Error=Fehler\r\n"));
  WriteWholeFile(in.Raw, raw);
  return in;
}

// Each command that writes, with OUT standing for its output.
std::vector<std::string> WritingCommands(const TInputs &in) {
  return {
      "sample OUT",
      "make --raw 6x4 --input " + in.Raw + " -o OUT",
      "export " + in.Film + " OUT.rgb",
      "pack " + in.Player + " " + in.Film + " -o OUT",
      "extract " + in.Program + " -o OUT",
  };
}

std::string Replace(std::string text, const std::string &what, const std::string &with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

} // namespace

TEST(ZxtoolOverwrite, AnExistingOutputIsReplacedOnlyWithY) {
  TzxTestDir dir;
  const TInputs in = WriteInputs(dir);
  for (const std::string &command : WritingCommands(in)) {
    const bool rgb = command.find("OUT.rgb") != std::string::npos;
    const std::string out = dir.File(rgb ? "out.rgb" : "out.bin");
    const std::string args = Replace(command, rgb ? "OUT.rgb" : "OUT", out);
    WriteWholeFile(out, OldBytes);

    TzxRun r = RunZxtool(args, dir);
    EXPECT_EQ(r.Code, 1) << args;
    EXPECT_EQ(ErrorText(dir), "zxtool: " + out + " already exists; add -y to replace it\n") << args;
    EXPECT_EQ(ReadWholeFile(out), OldBytes) << args;

    r = RunZxtool(args + " -n", dir);
    EXPECT_EQ(r.Code, 1) << args;
    EXPECT_EQ(ErrorText(dir), "") << args;
    EXPECT_EQ(ReadWholeFile(out), OldBytes) << args;

    r = RunZxtool(args + " -y", dir);
    EXPECT_EQ(r.Code, 0) << args << ": " << ErrorText(dir);
    EXPECT_NE(ReadWholeFile(out), OldBytes) << args;

    r = RunZxtool(args + " -y -n", dir);
    EXPECT_EQ(r.Code, 2) << args;
    EXPECT_NE(ErrorText(dir).find("-y and -n exclude each other"), std::string::npos) << args;
    DeleteFileName(out);
  }
  // Nothing but the outputs was made, and no staging file stayed.
  EXPECT_EQ(dir.Files(),
            (std::vector<std::string>{"err.txt", "film.exe", "film.zxf", "in.bgra", "player.exe"}));
}

// "make --input talk.mp4 -o talk.mp4" turned the video into a film, exit 0.
// An output that is one of the command's inputs, by its own name, another
// path or a hard link, is refused with -y too, and the input stays.
TEST(ZxtoolOverwrite, AnInputIsNeverAnOutput) {
  TzxTestDir dir;
  const TInputs in = WriteInputs(dir);
  const TzxBytes film = ReadWholeFile(in.Film), raw = ReadWholeFile(in.Raw);
  ASSERT_EQ(::link(in.Film.c_str(), dir.File("linked.zxf").c_str()), 0);
  fs::create_directory(dir.File("sub"));
  const std::string sound = dir.File("sound.mp3");
  WriteWholeFile(sound, {0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0});
  const std::string other = dir.File("sub/../film.zxf");
  const struct {
    std::string Args, Input, Output;
  } cases[] = {
      {"make --raw 6x4 --input " + in.Raw + " -o " + in.Raw, in.Raw, in.Raw},
      {"make --raw 6x4 --input " + in.Raw + " --sound " + sound + " -o " + sound, sound, sound},
      {"pack " + in.Player + " " + in.Film + " -o " + other, dir.File("film.zxf"), other},
      {"pack " + in.Player + " " + in.Film + " -o " + dir.File("linked.zxf"), in.Film,
       dir.File("linked.zxf")},
      {"pack " + in.Player + " " + in.Film + " -o " + in.Player, in.Player, in.Player},
      {"extract " + in.Program + " -o " + in.Program, in.Program, in.Program},
  };
  for (const auto &c : cases) {
    const TzxRun r = RunZxtool(c.Args + " -y", dir);
    EXPECT_EQ(r.Code, 1) << c.Args;
    const std::string said =
        c.Output == c.Input
            ? c.Output + " is an input of this command; an output never replaces an input"
            : c.Output + " is the input " + c.Input +
                  " (the same file); an output never replaces an input";
    EXPECT_EQ(ErrorText(dir), "zxtool: " + said + "\n") << c.Args;
  }
  EXPECT_EQ(ReadWholeFile(in.Film), film);
  EXPECT_EQ(ReadWholeFile(in.Raw), raw);
  EXPECT_EQ(ReadWholeFile(in.Player), FakeProgram());

  // A film exported as PNG frames into a directory that holds it under a
  // frame's name.
  fs::create_directory(dir.File("frames"));
  ASSERT_EQ(::link(in.Film.c_str(), dir.File("frames/000001.png").c_str()), 0);
  TzxRun r =
      RunZxtool("export " + dir.File("frames/000001.png") + " " + dir.File("frames") + " -y", dir);
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(ErrorText(dir), "zxtool: " + dir.File("frames/000001.png") +
                                " is an input of this command; an output never replaces an "
                                "input\n");
  EXPECT_EQ(ReadWholeFile(in.Film), film);
  EXPECT_EQ(dir.Files(),
            (std::vector<std::string>{"err.txt", "film.exe", "film.zxf", "frames/", "in.bgra",
                                      "linked.zxf", "player.exe", "sound.mp3", "sub/"}));
  EXPECT_EQ(fs::directory_iterator(dir.File("frames"))->path().filename(), "000001.png");

  // extract's two outputs are two files.
  r = RunZxtool("extract " + in.Program + " -o " + dir.File("x.zxf") + " --lang " +
                    dir.File("sub/../x.zxf"),
                dir);
  EXPECT_EQ(r.Code, 2);
  EXPECT_NE(ErrorText(dir).find("-o and --lang name the same file"), std::string::npos)
      << ErrorText(dir);
}

TEST(ZxtoolOverwrite, FramesIntoADirectoryReplaceOnlyWithY) {
  TzxTestDir dir;
  const TInputs in = WriteInputs(dir);
  fs::create_directory(dir.File("frames"));
  WriteWholeFile(dir.File("frames/000001.png"), OldBytes);
  WriteWholeFile(dir.File("frames/notes.txt"), OldBytes);
  const std::string args = "export " + in.Film + " " + dir.File("frames");

  TzxRun r = RunZxtool(args, dir);
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(ErrorText(dir),
            "zxtool: " + dir.File("frames/000001.png") + " already exists; add -y to replace it\n");
  EXPECT_EQ(ReadWholeFile(dir.File("frames/000001.png")), OldBytes);
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(dir.File("frames")))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"000001.png", "notes.txt"}));

  r = RunZxtool(args + " -y", dir);
  EXPECT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_NE(ReadWholeFile(dir.File("frames/000001.png")), OldBytes);
  EXPECT_EQ(ReadWholeFile(dir.File("frames/notes.txt")), OldBytes);
  EXPECT_TRUE(FileExists(dir.File("frames/000002.png")));

  // Frames a range leaves out do not count.
  r = RunZxtool(args + " --from 2f -n", dir);
  EXPECT_EQ(r.Code, 1);
  r = RunZxtool("export " + in.Film + " " + dir.File("more") + " --from 2f", dir);
  EXPECT_EQ(r.Code, 0) << ErrorText(dir);
}

// A run that fails leaves the file it was to replace as it was, -y or not.
TEST(ZxtoolOverwrite, AFailedRunLeavesTheOldFile) {
  TzxTestDir dir;
  const std::string out = dir.File("out.zxf");
  WriteWholeFile(out, OldBytes);
  WriteWholeFile(dir.File("short.bgra"), TzxBytes(6 * 4 * 4 + 5, 0));
  const TzxRun r =
      RunZxtool("make -y --raw 6x4 --input " + dir.File("short.bgra") + " -o " + out, dir);
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(ReadWholeFile(out), OldBytes);
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"err.txt", "out.zxf", "short.bgra"}));
}
