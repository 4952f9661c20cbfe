// zxtool's progress line: its text (amounts, percentage, speed, ETA), how
// often it is redrawn on a fake clock, how it ends, and the lines make and
// export draw through the real zxtool with --progress.
#include "zxProgress.h"
#include "zxToolTesting.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

// A progress line drawn into a temporary file on a clock the test moves.
struct TDrawn {
  std::FILE *File = std::tmpfile();
  double Now = 0;
  TzxProgress::TClock Clock() {
    return [this] { return Now; };
  }
  ~TDrawn() { std::fclose(File); }
  std::string Text() const {
    std::fflush(File);
    std::string text;
    std::rewind(File);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, File)) > 0;)
      text.append(buf, n);
    std::fseek(File, 0, SEEK_END);
    return text;
  }
};

size_t Count(const std::string &text, char c) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), c));
}

} // namespace

TEST(ToolProgressLine, AmountsPercentSpeedAndTimeLeft) {
  TDrawn d;
  TzxProgress frames("segment 2", 1500, TzxProgress::TUnit::Frames, d.File, false, d.Clock());
  EXPECT_EQ(frames.Line(120, 4), "segment 2: 120/1500 frames (8%), 30.0 fps, ETA 0:46");
  EXPECT_EQ(frames.Line(0, 0), "segment 2: 0/1500 frames (0%)");
  EXPECT_EQ(frames.Line(1, 3600), "segment 2: 1/1500 frames (0%), 0.0 fps, ETA 1499:00:00");
  EXPECT_EQ(frames.Line(1500, 50, true), "segment 2: 1500/1500 frames (100%), 30.0 fps, in 0:50");
  // An estimated total that is passed stays below 100% until the step ends.
  EXPECT_EQ(frames.Line(1600, 10), "segment 2: 1600/1500 frames (99%), 160.0 fps");

  TzxProgress unknown("segment 1", 0, TzxProgress::TUnit::Frames, d.File, false, d.Clock());
  EXPECT_EQ(unknown.Line(75, 2.5), "segment 1: 75 frames, 30.0 fps");

  TzxProgress bytes("segment 1, LZMA", 45600000, TzxProgress::TUnit::Bytes, d.File, false,
                    d.Clock());
  EXPECT_EQ(bytes.Line(12000000, 4), "segment 1, LZMA: 12.0/45.6 MB (26%), 3.0 MB/s, ETA 0:11");
  // The coder tells nothing: what it works on, and how long it has taken.
  EXPECT_EQ(bytes.Line(-1, 75), "segment 1, LZMA: 45.6 MB, 1:15");
  EXPECT_EQ(bytes.Line(-1, 3725, true), "segment 1, LZMA: 45.6 MB, in 1:02:05");
  EXPECT_EQ(d.Text(), "");
}

TEST(ToolProgressLine, RedrawnInPlaceAtMostFourTimesASecond) {
  TDrawn d;
  {
    TzxProgress p("segment 1", 100, TzxProgress::TUnit::Frames, d.File, true, d.Clock());
    for (int k = 1; k <= 100; ++k) { // 100 frames over 2 s
      d.Now = k * 0.02;
      p.Update(k);
      if (k == 10) {
        EXPECT_EQ(d.Text(), "") << "drawn before a quarter of a second";
      }
    }
    const std::string drawn = d.Text();
    EXPECT_EQ(Count(drawn, '\r'), 7u) << drawn; // at 0.26, 0.52 ... 1.82 s
    EXPECT_EQ(Count(drawn, '\n'), 0u);
    EXPECT_EQ(drawn.substr(0, drawn.find('\r', 1)),
              "\rsegment 1: 13/100 frames (13%), 50.0 fps, ETA 0:02");
    p.Finish();
  }
  const std::string drawn = d.Text();
  const std::string last = drawn.substr(drawn.rfind('\r'));
  EXPECT_EQ(last, "\rsegment 1: 100/100 frames (100%), 50.0 fps, in 0:02\n");
}

TEST(ToolProgressLine, AShorterLineCoversTheOneBeforeAndEndsClean) {
  TDrawn d;
  {
    TzxProgress p("x", 0, TzxProgress::TUnit::Frames, d.File, true, d.Clock());
    d.Now = 1;
    p.Update(12345); // "x: 12345 frames, 12345.0 fps"
    d.Now = 1000;
    p.Update(12346); // "x: 12346 frames, 12.3 fps": three characters shorter
    // Destroyed unfinished (an error on its way): the line is ended, so that
    // the message starts a line of its own.
  }
  EXPECT_EQ(d.Text(), "\rx: 12345 frames, 12345.0 fps\rx: 12346 frames, 12.3 fps   \n");
}

TEST(ToolProgressLine, AQuickStepIsDrawnOnlyWhenForcedAndNothingWhenHidden) {
  TDrawn shown, hidden;
  {
    TzxProgress p("quick", 3, TzxProgress::TUnit::Frames, shown.File, true, shown.Clock());
    TzxProgress q("quick", 3, TzxProgress::TUnit::Frames, hidden.File, false, hidden.Clock());
    for (int k = 1; k <= 3; ++k)
      p.Update(k), q.Update(k);
    p.Finish(), q.Finish();
    p.Finish(); // once only
  }
  EXPECT_EQ(shown.Text(), "\rquick: 3/3 frames (100%), in 0:00\n");
  EXPECT_EQ(hidden.Text(), "");
}

TEST(ToolProgressLine, TheWaitForTheCoderTicksTheNewestLine) {
  TDrawn d;
  TzxProgress outer("frames", 10, TzxProgress::TUnit::Frames, d.File, true, d.Clock());
  {
    TzxProgress inner("LZMA", 2000000, TzxProgress::TUnit::Bytes, d.File, true, d.Clock());
    d.Now = 1;
    TzxProgress::TickCurrent();
    EXPECT_EQ(d.Text(), "\rLZMA: 2.0 MB, 0:01");
    inner.Finish();
  }
  d.Now = 2;
  TzxProgress::TickCurrent(); // the outer one again, nothing done yet
  EXPECT_EQ(d.Text(), "\rLZMA: 2.0 MB, 0:01\rLZMA: 2.0 MB, in 0:01\n\rframes: 10 frames, 0:02");
}

// ------------------------------------------------------- through zxtool

namespace {

// The states drawn on standard error: each line's parts between carriage
// returns, trailing padding cut.
std::vector<std::vector<std::string>> DrawnLines(const std::string &err) {
  std::vector<std::vector<std::string>> lines;
  size_t start = 0;
  for (size_t end; (end = err.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = err.substr(start, end - start);
    if (line.empty() || line[0] != '\r') continue;
    std::vector<std::string> states;
    for (size_t at = 1; at <= line.size();) {
      size_t next = line.find('\r', at);
      if (next == std::string::npos) next = line.size();
      std::string state = line.substr(at, next - at);
      state.erase(state.find_last_not_of(' ') + 1);
      states.push_back(state);
      at = next + 1;
    }
    lines.push_back(states);
  }
  return lines;
}

// Every state of a drawn line has the form of its step; the last is final.
void ExpectSteps(const std::string &err, const std::vector<std::string> &labels, int64_t frames) {
  const auto lines = DrawnLines(err);
  ASSERT_EQ(lines.size(), labels.size()) << err;
  const std::string speed = "(, [0-9]+\\.[0-9] (fps|MB/s))?";
  for (size_t i = 0; i < labels.size(); ++i) {
    const bool bytes = labels[i].find("LZMA") != std::string::npos;
    const std::string label = std::regex_replace(labels[i], std::regex("[,]"), "\\,");
    // The LZMA coder tells the bytes it has read: the last state has read
    // them all.
    const std::regex during(label + (bytes ? ": [0-9]+\\.[0-9]/[0-9]+\\.[0-9] MB \\([0-9]+%\\)" +
                                                 speed + "(, ETA [0-9]+:[0-9]{2})?"
                                           : ": [0-9]+/[0-9]+ frames \\([0-9]+%\\)" + speed +
                                                 "(, ETA [0-9]+:[0-9]{2})?"));
    const std::regex last(
        label +
        (bytes ? ": ([0-9]+\\.[0-9])/\\1 MB \\(100%\\)" + speed + ", in [0-9]+:[0-9]{2}"
               : Format(": %lld/%lld frames \\(100%%\\)", (long long)frames, (long long)frames) +
                     speed + ", in [0-9]+:[0-9]{2}"));
    for (size_t k = 0; k + 1 < lines[i].size(); ++k)
      EXPECT_TRUE(std::regex_match(lines[i][k], during)) << "\"" << lines[i][k] << "\"";
    EXPECT_TRUE(std::regex_match(lines[i].back(), last)) << "\"" << lines[i].back() << "\"";
  }
}

} // namespace

TEST(ZxtoolProgress, MakeAndExportDrawTheirStepsWhenAsked) {
  TzxTestDir dir;
  WriteWholeFile(dir.File("in.bgra"), TzxBytes(size_t(16) * 8 * 4 * 12, 0x33));
  const std::string film = dir.File("f.zxf");
  TzxRun r = RunZxtool("make --progress --raw 16x8 --input " + dir.File("in.bgra") + " --input " +
                           dir.File("in.bgra") + " --compression cab -o " + film,
                       dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  ExpectSteps(ErrorText(dir), {"segment 1", "segment 1, LZMA", "segment 2"}, 12);

  r = RunZxtool("export --progress " + film + " " + dir.File("f.gif") + " --segment 2", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  ExpectSteps(ErrorText(dir), {"segment 2, GIF palette", "segment 2, GIF"}, 12);

  r = RunZxtool("export " + film + " --hash --progress", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  ExpectSteps(ErrorText(dir), {"segment 1", "segment 2"}, 12);

  // Standard error is no terminal here: without --progress it stays quiet.
  r = RunZxtool("export " + film + " " + dir.File("f.mp4"), dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir).find('\r'), std::string::npos) << ErrorText(dir);
}
