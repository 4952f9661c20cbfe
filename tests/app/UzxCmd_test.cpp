#include "UzxCmd.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

namespace {

// The command line of the player started from a directory with spaces.
TzxCmdOptions Parse(const std::string &args, int32_t sw = 1024, int32_t sh = 768) {
  return ParseCommandLine("\"C:\\Program Files\\reDiridi.exe\" " + args, sw, sh);
}

void ExpectWindow(const TzxCmdOptions &o, int32_t left, int32_t top, int32_t width,
                  int32_t height) {
  EXPECT_EQ(o.CmdLeft, left);
  EXPECT_EQ(o.CmdTop, top);
  EXPECT_EQ(o.CmdWidth, width);
  EXPECT_EQ(o.CmdHeight, height);
}

} // namespace

TEST(CommandLineSplit, ProgramPathIsNotAnArgument) {
  EXPECT_TRUE(SplitCommandLine("\"C:\\a b\\p.exe\"").empty());
  EXPECT_TRUE(SplitCommandLine("p.exe   ").empty());
  EXPECT_EQ(SplitCommandLine("p.exe /size 800\t600"),
            (std::vector<std::string>{"/size", "800", "600"}));
}

TEST(CommandLineSplit, QuotesGroupAndBackslashesEscapeThem) {
  EXPECT_EQ(SplitCommandLine("p \"a b\" c\"d e\"f \"\""),
            (std::vector<std::string>{"a b", "cd ef", ""}));
  EXPECT_EQ(SplitCommandLine(R"(p a\\b a\"b a\\"b c" "\\\"x)"),
            (std::vector<std::string>{R"(a\\b)", R"(a"b)", R"(a\b c)", R"(\"x)"}));
  EXPECT_EQ(SplitCommandLine(R"(p "say ""hi""" "unterminated x)"),
            (std::vector<std::string>{R"(say "hi")", "unterminated x"}));
}

TEST(CommandLineNumbers, WholeDecimalWithinThirtyTwoBits) {
  int32_t v = 7;
  EXPECT_TRUE(TryStrToInt("-5", v));
  EXPECT_EQ(v, -5);
  EXPECT_TRUE(TryStrToInt("+12", v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(TryStrToInt("-2147483648", v));
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_TRUE(TryStrToInt("2147483647", v));
  EXPECT_EQ(v, INT32_MAX);
  for (const char *bad : {"", "-", "+", "2147483648", "-2147483649", "99999999999999999999", "12a",
                          " 1", "0x10", "1.5", "$10"}) {
    v = 7;
    EXPECT_FALSE(TryStrToInt(bad, v)) << '"' << bad << '"';
    EXPECT_EQ(v, 7) << '"' << bad << '"';
  }
}

TEST(CommandLine, NoArgumentsGiveTheStartValuesWithoutBounds) {
  TzxCmdOptions o = Parse("", 300, 200);
  ExpectWindow(o, 0, 0, 600, 400); // a small screen would pull left and top below 0
  EXPECT_EQ(o.CmdSegment, 1);
  EXPECT_EQ(o.CmdShowMode, CmdShowNormal);
  EXPECT_FALSE(o.CmdFullScreen);
  EXPECT_FALSE(o.CloseOnFinish);
  EXPECT_EQ(o.CmdScreenWidth, 300);
  EXPECT_EQ(o.CmdScreenHeight, 200);
  EXPECT_EQ(o.HelpRequests, 0);
  EXPECT_FALSE(o.WrongCommandLine);
}

TEST(CommandLine, PositionKeywordsUseTheSizeInEffect) {
  ExpectWindow(Parse("/size 800 600 /pos c"), 112, 84, 800, 600);
  // Centred for 600 x 400 (212, 184), then the bounds pull the top up to 768 - 600.
  ExpectWindow(Parse("/pos c /size 800 600"), 212, 168, 800, 600);
  ExpectWindow(Parse("/pos r b"), 424, 368, 600, 400);
  ExpectWindow(Parse("/size 700 500 /pos l t"), 0, 0, 700, 500);
  ExpectWindow(Parse("/pos 10 20"), 10, 20, 600, 400);
  // -5 is a value here, not an option; the bounds raise it to 0.
  ExpectWindow(Parse("/pos -5 t"), 0, 0, 600, 400);
  // Keywords are case-insensitive, values and options alike.
  ExpectWindow(Parse("-POS R B"), 424, 368, 600, 400);
}

TEST(CommandLine, SizesAndTheirBounds) {
  ExpectWindow(Parse("/size 300 200"), 0, 0, 600, 400);
  TzxCmdOptions big = Parse("/size 2000 1000");
  ExpectWindow(big, -976, -232, 2000, 1000);
  EXPECT_FALSE(big.CmdFullScreen);

  TzxCmdOptions screen = Parse("/size 1024 768");
  EXPECT_TRUE(screen.CmdFullScreen);
  // A later numeric size recomputes the flag; min leaves it.
  EXPECT_FALSE(Parse("/size 1024 768 /size 800 600").CmdFullScreen);
  TzxCmdOptions min = Parse("/size 1024 768 /size min");
  EXPECT_TRUE(min.CmdFullScreen);
  ExpectWindow(min, 0, 0, 600, 400);

  TzxCmdOptions max = Parse("/size fullscreen /size max");
  EXPECT_TRUE(max.CmdFullScreen);
  EXPECT_EQ(max.CmdShowMode, CmdShowMaximised);
  TzxCmdOptions full = Parse("/size max /size FullScreen");
  EXPECT_TRUE(full.CmdFullScreen);
  EXPECT_EQ(full.CmdShowMode, CmdShowNormal);
  EXPECT_EQ(Parse("/size max /size 800 600").CmdShowMode, CmdShowNormal);
}

TEST(CommandLine, ExtremeValuesDoNotWrapAround) {
  // The keywords subtract a size the user typed from the screen size.
  TzxCmdOptions o = Parse("/size -2147483648 -2147483648 /pos r b");
  ExpectWindow(o, 424, 368, 600, 400);
  EXPECT_FALSE(o.WrongCommandLine);
  o = Parse("/size 2147483647 2147483647 /pos c");
  ExpectWindow(o, 1024 - 2147483647, 768 - 2147483647, 2147483647, 2147483647);
  o = Parse("/pos 2147483647 2147483647 /size -2147483648 400");
  ExpectWindow(o, 424, 368, 600, 400);
}

TEST(CommandLine, StartSegment) {
  EXPECT_EQ(Parse("/segm 3").StartSegmentIndex(), 2);
  EXPECT_EQ(Parse("/segm 0").StartSegmentIndex(), -1);
  EXPECT_EQ(Parse("/segm -2147483648").StartSegmentIndex(), -1);
  EXPECT_EQ(Parse("/segm 2147483647").StartSegmentIndex(), 2147483646);
  EXPECT_EQ(Parse("/segm 4 -segm 2").CmdSegment, 2);
}

TEST(CommandLine, OptionsNeedTheirLeadingMark) {
  EXPECT_TRUE(Parse("-CloseOnFinish").CloseOnFinish);
  EXPECT_TRUE(Parse("/CLOSEONFINISH").CloseOnFinish);
  EXPECT_FALSE(Parse("closeonfinish").CloseOnFinish);
  EXPECT_FALSE(Parse("/closeonfinish2").CloseOnFinish);
  // /sizes is not /size: its would-be values are ignored words.
  TzxCmdOptions o = Parse("/sizes 800 600 film.zxf /unknown");
  ExpectWindow(o, 0, 0, 600, 400);
  EXPECT_FALSE(o.WrongCommandLine);
}

TEST(CommandLine, AnExistingFileThatIsNoOptionOrValueIsTheFilm) {
  const auto isFile = [](const std::string &name) {
    return name == "Talk.zxf" || name == "/tmp/b.zxf" || name == "800" || name == "-segm";
  };
  const auto parse = [&](const std::string &args) {
    return ParseCommandLine("reDiridi.exe " + args, 1024, 768, isFile);
  };
  // Its case is kept; the options around it still count.
  TzxCmdOptions o = parse("/size 800 600 Talk.zxf /segm 2 -closeonfinish");
  EXPECT_EQ(o.FilmPath, "Talk.zxf");
  EXPECT_EQ(o.CmdWidth, 800);
  EXPECT_EQ(o.CmdSegment, 2);
  EXPECT_TRUE(o.CloseOnFinish);
  // A path that starts like an option but is none (Wine gives Unix paths).
  EXPECT_EQ(parse("/tmp/b.zxf").FilmPath, "/tmp/b.zxf");
  // The first existing file wins; names of no file are ignored words.
  EXPECT_EQ(parse("missing.zxf /tmp/b.zxf Talk.zxf").FilmPath, "/tmp/b.zxf");
  // Options and their values are never films, even when such files exist.
  EXPECT_EQ(parse("/size 800 600 -segm 3").FilmPath, "");
  EXPECT_EQ(parse("/size abc Talk.zxf").FilmPath, ""); // parsing stopped before it
  EXPECT_EQ(parse("\"\"").FilmPath, "");
}

TEST(CommandLine, AWaitingOptionAtTheEndReportsNothing) {
  TzxCmdOptions o = Parse("/pos 100");
  EXPECT_FALSE(o.WrongCommandLine);
  ExpectWindow(o, 100, 0, 600, 400);
  EXPECT_FALSE(Parse("/size 800").WrongCommandLine);
  EXPECT_EQ(Parse("/size 800").CmdWidth, 800);
  EXPECT_FALSE(Parse("/segm").WrongCommandLine);
}

TEST(CommandLine, AWrongValueStopsParsingWithoutBounds) {
  TzxCmdOptions o = Parse("/size abc");
  EXPECT_TRUE(o.WrongCommandLine);
  ExpectWindow(o, 0, 0, 600, 400);

  EXPECT_TRUE(Parse("/pos /size").WrongCommandLine);
  EXPECT_TRUE(Parse("/size 800 -x").WrongCommandLine);
  EXPECT_TRUE(Parse("/segm 1e3").WrongCommandLine);
  EXPECT_TRUE(Parse("/pos 5 \"\"").WrongCommandLine);

  // Values before the error stay; the rest is not read; no bounds.
  o = Parse("/size 300 200 /pos -7 t /segm x -closeonfinish");
  EXPECT_TRUE(o.WrongCommandLine);
  ExpectWindow(o, -7, 0, 300, 200);
  EXPECT_FALSE(o.CloseOnFinish);
  EXPECT_EQ(o.CmdSegment, 1);
}

TEST(CommandLine, HelpDoesNotStopParsing) {
  TzxCmdOptions o = Parse("/help /size 800 600 -? /segm 2");
  EXPECT_EQ(o.HelpRequests, 2);
  EXPECT_EQ(o.CmdWidth, 800);
  EXPECT_EQ(o.CmdSegment, 2);
  // Help after an error is never reached.
  EXPECT_EQ(Parse("/size abc /help").HelpRequests, 0);
}

TEST(CommandLineBoxes, HelpBoxesThenTheErrorBox) {
  TzxBoxRecorder boxes;
  ShowCommandLineBoxes(Parse("/? /size x /help"), "reDiridi.exe");
  ASSERT_EQ(boxes.Boxes.size(), 2u);
  const TzxMessageBox &help = boxes.Boxes[0];
  EXPECT_EQ(help.Owner, TzxBoxOwner::None);
  EXPECT_EQ(help.Caption, "reDiridi command line");
  EXPECT_EQ(help.Style, zxMB_OK | zxMB_ICONINFORMATION);
  const std::string expected =
      "\"reDiridi.exe\" [-size {FULLSCREEN|MAX|MIN|{w h}} [-pos {C|{{L|R|x} {T|B|y}}}]] "
      "[-segm N] [-closeonfinfish]\r\rfullscreen - Full Screen mode\rmax - Maximized\r"
      "min - 600 x 400\rw h - Width Height\r\rc - in the Center of the screen\r\r"
      "L - Left side of screen\rR - Right side of screen\rx - Left\r\r"
      "T - Top side of screen\rB - Bottom side of screen\ry - Top\r\r"
      "N - Start with segment Number = N\r\rCloseOnFinish - Close On Finish";
  EXPECT_EQ(help.Text, expected);

  const TzxMessageBox &error = boxes.Boxes[1];
  EXPECT_EQ(error.Owner, TzxBoxOwner::None);
  EXPECT_EQ(error.Text, "Wrong command line");
  EXPECT_EQ(error.Caption, "Error");
  EXPECT_EQ(error.Style, zxMB_OK | zxMB_ICONERROR);
}
