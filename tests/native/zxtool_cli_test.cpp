// zxtool's command lines: usage texts, the version, unknown options,
// --opt=value, and exit codes (0 done, 1 failed, 2 a wrong command line).
#include "zxToolTesting.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

const char *const CommandNames[] = {"info", "sample", "pack", "extract", "export", "make", "bench"};

size_t Lines(const std::string &text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Exit code 2, nothing on standard output, and one line on standard error
// that names the command and says what is wrong.
void ExpectUsageError(const std::string &args, const TzxTestDir &dir, const std::string &about) {
  const TzxRun r = RunZxtool(args, dir);
  const std::string err = ErrorText(dir);
  const std::string command = args.substr(0, args.find(' '));
  EXPECT_EQ(r.Code, 2) << args << ": " << err;
  EXPECT_EQ(r.Out, "") << args;
  EXPECT_EQ(Lines(err), 1u) << args << ": " << err;
  EXPECT_EQ(err.rfind("zxtool " + command + ": ", 0), 0u) << args << ": " << err;
  EXPECT_NE(err.find(about), std::string::npos) << "\"" << about << "\" not in: " << err;
}

std::string MakeRawFrames(const TzxTestDir &dir, int32_t frames) {
  WriteWholeFile(dir.File("in.bgra"), TzxBytes(size_t(4 * 4 * 4 * frames), 0x40));
  return dir.File("in.bgra");
}

} // namespace

TEST(ZxtoolHelp, EveryCommandHasAUsageTextInEveryWayOfAsking) {
  TzxTestDir dir;
  for (const char *name : CommandNames) {
    const std::string command = name;
    const TzxRun help = RunZxtool(command + " --help", dir);
    EXPECT_EQ(help.Code, 0) << command;
    EXPECT_EQ(ErrorText(dir), "") << command;
    EXPECT_NE(help.Out.find("Usage: zxtool " + command + " "), std::string::npos) << help.Out;
    EXPECT_NE(help.Out.find("-h,--help"), std::string::npos) << help.Out;
    for (const std::string &form : {command + " -h", "help " + command}) {
      const TzxRun r = RunZxtool(form, dir);
      EXPECT_EQ(r.Code, 0) << form;
      EXPECT_EQ(r.Out, help.Out) << form;
    }
    // Asking for help wins over a command line that is wrong otherwise.
    EXPECT_EQ(RunZxtool(command + " --frobnicate --help", dir).Out, help.Out) << command;
  }

  // The overview names every command and how to get its options.
  const TzxRun overview = RunZxtool("", dir);
  EXPECT_EQ(overview.Code, 0);
  for (const char *name : CommandNames)
    EXPECT_NE(overview.Out.find(std::string("zxtool ") + name + " "), std::string::npos) << name;
  EXPECT_NE(overview.Out.find("zxtool help COMMAND"), std::string::npos) << overview.Out;
  for (const char *form : {"-h", "--help", "help"}) {
    const TzxRun r = RunZxtool(form, dir);
    EXPECT_EQ(r.Code, 0) << form;
    EXPECT_EQ(r.Out, overview.Out) << form;
  }

  const TzxRun version = RunZxtool("--version", dir);
  EXPECT_EQ(version.Code, 0);
  EXPECT_TRUE(std::regex_match(version.Out, std::regex("zxtool [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << version.Out;
}

TEST(ZxtoolHelp, TheUsageTextsListEveryOption) {
  TzxTestDir dir;
  const struct {
    const char *Command;
    std::vector<std::string> Options;
  } cases[] = {
      {"make",
       {"-o OUT.zxf", "--input SRC", "--fps N", "--depth 32|24|8", "--compression lzma|cab",
        "--title TEXT", "--cursor FILE", "--hotspot X,Y", "--cursor-track CSV", "--samples 1|3",
        "--sound FILE", "--no-sound", "--raw WxH", "--progress", "--no-progress"}},
      {"export",
       {"FILM", "OUT", "--hash", "--segment N", "--from TIME", "--to TIME", "-t,--duration TIME",
        "--scale F|WxH", "--no-cursor", "--crf N", "--pix-fmt FMT", "--lossless", "--crop",
        "--progress", "--no-progress"}},
      {"info", {"FILE", "--json"}},
      {"pack", {"PLAYER.exe", "FILM", "-o OUT.exe", "--lang FILE"}},
      {"extract", {"EXE", "-o FILM.zxf", "--lang FILE"}},
      {"bench", {"FILM", "--segment N", "--min-time TIME", "--passes N"}},
  };
  for (const auto &c : cases) {
    const TzxRun r = RunZxtool(std::string("help ") + c.Command, dir);
    for (const auto &o : c.Options)
      EXPECT_NE(r.Out.find("  " + o), std::string::npos) << c.Command << " " << o << ":\n" << r.Out;
  }
}

TEST(ZxtoolUsage, UnknownOptionsAndCommandsAreNamedWithExitCode2) {
  TzxTestDir dir;
  for (const char *name : CommandNames) {
    const std::string command = name;
    // Named even where a required argument is missing as well.
    ExpectUsageError(command + " --frobnicate", dir, "unknown option --frobnicate");
    ExpectUsageError(command + " --frobnicate=3 x", dir, "unknown option --frobnicate");
  }
  const struct {
    const char *Args, *Error;
  } unknown[] = {
      {"frobnicate", "zxtool: unknown command frobnicate; see zxtool --help\n"},
      {"--frobnicate", "zxtool: unknown option --frobnicate; see zxtool --help\n"},
      {"help frobnicate", "zxtool: unknown command frobnicate; see zxtool --help\n"},
  };
  for (const auto &c : unknown) {
    const TzxRun r = RunZxtool(c.Args, dir);
    EXPECT_EQ(r.Code, 2) << c.Args;
    EXPECT_EQ(r.Out, "") << c.Args;
    EXPECT_EQ(ErrorText(dir), c.Error) << c.Args;
  }
}

TEST(ZxtoolUsage, WrongCommandLinesExit2AndFailuresExit1) {
  TzxTestDir dir;
  const std::string raw = " --raw 4x4 --input " + MakeRawFrames(dir, 3);
  const std::string film = dir.File("f.zxf");
  ASSERT_EQ(RunZxtool("make" + raw + " -o " + film, dir).Code, 0) << ErrorText(dir);

  ExpectUsageError("info", dir, "FILE is required");
  ExpectUsageError("info " + film + " " + film, dir, "unexpected argument");
  ExpectUsageError("export " + film, dir, "OUT or --hash");
  ExpectUsageError("export " + film + " --hash " + dir.File("out"), dir, "OUT or --hash");
  ExpectUsageError("export " + film + " --hash --scale 2", dir, "--scale");
  ExpectUsageError("export " + film + " " + dir.File("x.flv"), dir, "unknown output kind");
  ExpectUsageError("export " + film + " " + dir.File("x") + " --scale 0", dir, "--scale 0");
  ExpectUsageError("export " + film + " --hash --segment", dir, "--segment");
  ExpectUsageError("export " + film + " --hash --segment x", dir, "--segment x");
  ExpectUsageError("make" + raw, dir, "-o OUT.zxf is required");
  ExpectUsageError("make --fps 5 -o " + film, dir, "no --input");
  ExpectUsageError("make" + raw + " -o a.zxf -o b.zxf", dir, "-o given twice");
  ExpectUsageError("make --depth 16" + raw + " -o " + film, dir, "--depth 16");
  ExpectUsageError("make --fps=0.1" + raw + " -o " + film, dir, "--fps 0.1");
  for (const char *fps : {"1e1", "0x1A", "inf", "10/0", "1.2.3", "/5", "10/", "+10"})
    ExpectUsageError(std::string("make --fps=") + fps + raw + " -o " + film, dir,
                     std::string("--fps ") + fps + ": expected a rate");
  ASSERT_EQ(RunZxtool("make --fps 30000/1001" + raw + " -o " + dir.File("ntsc.zxf"), dir).Code, 0)
      << ErrorText(dir);
  EXPECT_NE(RunZxtool("info --json " + dir.File("ntsc.zxf"), dir).Out.find("\"fps_stored\":29.970"),
            std::string::npos);
  ExpectUsageError("make" + raw + " --raw 0x4 -o " + film, dir, "--raw 0x4");
  ExpectUsageError("make --compression zip" + raw + " -o " + film, dir, "--compression zip");
  ExpectUsageError("make --samples 2" + raw + " -o " + film, dir, "--samples 2");
  ExpectUsageError("make --title \xF0\x9F\x99\x82" + raw + " -o " + film, dir, "Windows-1252");
  ExpectUsageError("make --hotspot 1,1" + raw + " -o " + film, dir, "--hotspot must follow");
  // A hot spot belongs to the --cursor right before it, not to one of the defaults.
  ExpectUsageError("make --cursor c.png --input x --hotspot 1,1 -o " + film, dir,
                   "--hotspot must follow");
  ExpectUsageError("pack a.exe " + film, dir, "-o is required");
  ExpectUsageError("pack -o " + dir.File("p.exe"), dir, "FILM is required");
  ExpectUsageError("extract a.exe", dir, "-o is required");
  ExpectUsageError("sample", dir, "OUT is required");
  ExpectUsageError("bench " + film + " --passes 0", dir, "--passes 0");
  ExpectUsageError("bench " + film + " --min-time soon", dir, "--min-time soon");
  ExpectUsageError("bench " + film + " --min-time 0", dir, "--min-time 0");
  ExpectUsageError("bench " + film + " --min-time 10f", dir, "--min-time 10f");
  ExpectUsageError("help export now", dir, "unexpected argument now");

  // What only the inputs can tell is a failure.
  for (const std::string &args :
       {"info " + dir.File("missing.zxf"), "export " + dir.File("missing.zxf") + " --hash",
        "make --input " + dir.File("missing") + " -o " + dir.File("m.zxf"),
        "pack " + dir.File("missing.exe") + " " + film + " -o " + dir.File("p.exe")}) {
    const TzxRun r = RunZxtool(args, dir);
    EXPECT_EQ(r.Code, 1) << args;
    EXPECT_EQ(ErrorText(dir).rfind("zxtool: ", 0), 0u) << ErrorText(dir);
    EXPECT_EQ(Lines(ErrorText(dir)), 1u) << ErrorText(dir);
  }
}

TEST(ZxtoolUsage, ValuesMayFollowAnEqualsSign) {
  TzxTestDir dir;
  const std::string in = MakeRawFrames(dir, 2);
  // Per-segment options written either way land in their segment; a value
  // may start with a dash.
  const TzxRun spaced = RunZxtool("make --fps 4 --raw 4x4 --input " + in + " --input " + in +
                                      " --fps 6 --title -dash- -o " + dir.File("a.zxf"),
                                  dir);
  ASSERT_EQ(spaced.Code, 0) << ErrorText(dir);
  const TzxRun joined = RunZxtool("make --fps=4 --raw=4x4 --input=" + in + " --input=" + in +
                                      " --fps=6 --title=-dash- -o " + dir.File("b.zxf"),
                                  dir);
  ASSERT_EQ(joined.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ReadWholeFile(dir.File("a.zxf")), ReadWholeFile(dir.File("b.zxf")));
  const TzxRun info = RunZxtool("info --json " + dir.File("b.zxf"), dir);
  EXPECT_NE(info.Out.find("\"fps\":4,"), std::string::npos) << info.Out;
  EXPECT_NE(info.Out.find("\"fps\":6,"), std::string::npos) << info.Out;
  EXPECT_NE(info.Out.find("\"title\":\"-dash-\""), std::string::npos) << info.Out;
  EXPECT_EQ(info.Out.find("\"title\":\"-dash-\""), info.Out.rfind("\"title\":\"-dash-\""));

  const TzxRun a = RunZxtool("export " + dir.File("a.zxf") + " --hash --segment 1", dir);
  const TzxRun b = RunZxtool("export " + dir.File("b.zxf") + " --hash --segment=1", dir);
  EXPECT_EQ(a.Code, 0) << ErrorText(dir);
  EXPECT_EQ(a.Out, b.Out);
  EXPECT_NE(a.Out, "");
}
