// Option values of zxtool: times as FFmpeg writes them, frame numbers,
// whole numbers and segment numbers.
#include "zxToolArgs.h"

#include <gtest/gtest.h>

namespace {

std::string UsageErrorOf(const std::string &text, bool framesAllowed = true) {
  try {
    ParseTimeValue("--from", text, framesAllowed);
  } catch (const EzxUsageError &e) {
    return e.what();
  }
  return "";
}

} // namespace

TEST(ToolTimeValues, SecondsClockTimesAndFrames) {
  const struct {
    const char *Text;
    double Seconds;
  } seconds[] = {
      {"0", 0},
      {"2.5", 2.5},
      {"2.5s", 2.5},
      {".5", 0.5},
      {"3.", 3},
      {"1500ms", 1.5},
      {"250000us", 0.25},
      {"1:30", 90},
      {"01:02:03.5", 3723.5},
      {"0:00.25", 0.25},
      {"100:00:00", 360000},
      {"59:59", 3599},
  };
  for (const auto &c : seconds) {
    const TzxTimeValue t = ParseTimeValue("--from", c.Text);
    EXPECT_FALSE(t.InFrames) << c.Text;
    EXPECT_DOUBLE_EQ(t.Seconds, c.Seconds) << c.Text;
  }
  const TzxTimeValue f = ParseTimeValue("--to", "120f");
  EXPECT_TRUE(f.InFrames);
  EXPECT_EQ(f.Frames, 120);
  EXPECT_EQ(ParseTimeValue("--to", "0f").Frames, 0);
  EXPECT_EQ(ParseTimeValue("--to", "2147483647f").Frames, 2147483647);
}

TEST(ToolTimeValues, MalformedTimesNameTheOptionAndTheForms) {
  for (const char *text :
       {"",      "-1",          "abc",      "2.5.1", "1e3",   "inf",        "nan", "0x10", "1:60",
        "60:00", "1:2:3:4",     ":30",      "1:",    "1::30", "123:00:001", "5f5", "f",    "2.5f",
        "-3f",   "2147483648f", "10000001", " 5",    "5 ",    "5sec",       "5m"}) {
    const std::string e = UsageErrorOf(text);
    EXPECT_EQ(e.rfind(std::string("--from ") + text + ": expected seconds (2.5)", 0), 0u)
        << "\"" << text << "\": " << e;
  }
  // Where frames mean nothing (a minimum run time), a frame count is refused.
  EXPECT_NE(UsageErrorOf("120f", false), "");
  EXPECT_EQ(UsageErrorOf("120f", false).find("120f)"), std::string::npos);
  EXPECT_EQ(ParseTimeValue("--min-time", "1:00", false).Seconds, 60);
}

TEST(ToolTimeValues, PositionsAreTheFirstFrameShownAtOrAfterTheTime) {
  // At 10 fps frame k is shown from k / 10 s on.
  EXPECT_EQ(ParseTimeValue("--from", "0.2").FrameAt(10), 2);
  EXPECT_EQ(ParseTimeValue("--from", "0.21").FrameAt(10), 3);
  EXPECT_EQ(ParseTimeValue("--from", "0:01").FrameAt(10), 10);
  // Decimal fractions that are not exact in binary still land on the frame.
  EXPECT_EQ(ParseTimeValue("--from", "0.3").FrameAt(10), 3);
  EXPECT_EQ(ParseTimeValue("--from", "1.001").FrameAt(29.97), 30);
  EXPECT_EQ(ParseTimeValue("--from", "7f").FrameAt(10), 7);
  EXPECT_DOUBLE_EQ(ParseTimeValue("--from", "7f").SecondsAt(10), 0.7);
  EXPECT_EQ(ParseTimeValue("--from", "10000000").FrameAt(255), 2550000000);
}

TEST(ToolNumbers, WholeNumbersAndSegmentNumbers) {
  EXPECT_EQ(ParseWholeNumber("--depth", "24", 8, 32), 24);
  for (const char *text : {"", "7", "33", "2x", "+", "99999999999999999999"})
    EXPECT_THROW(ParseWholeNumber("--depth", text, 8, 32), EzxUsageError) << text;
  try {
    ParseWholeNumber("--depth", "33", 8, 32);
  } catch (const EzxUsageError &e) {
    EXPECT_STREQ(e.what(), "--depth 33: expected a whole number from 8 to 32");
  }

  EXPECT_EQ(ParseSegmentNumber("--segment", "1"), 1);
  EXPECT_EQ(ParseSegmentNumber("--segment", "2147483647"), 2147483647);
  try {
    ParseSegmentNumber("--segment", "0");
    ADD_FAILURE() << "segment 0 taken";
  } catch (const EzxUsageError &e) {
    EXPECT_NE(std::string(e.what()).find("numbered from 1"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ParseSegmentNumber("--segment", "-1"), EzxUsageError);
  EXPECT_THROW(ParseSegmentNumber("--segment", "all"), EzxUsageError);
}
