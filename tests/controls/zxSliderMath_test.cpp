#include "zxSliderMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// A slider of the given width and range that records each OnChange.
struct TSlider {
  TzxSliderModel S;
  std::vector<int32_t> Changes;
  int32_t Moves = 0;

  TSlider(int32_t width, int32_t max, int32_t min = 0) {
    S.Min = min;
    S.SetMax(max);
    S.Resized(width);
    S.OnChange = [this] { Changes.push_back(S.Position()); };
    S.OnThumbMoved = [this] { ++Moves; };
  }
};

} // namespace

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(2.4999), 2);
  EXPECT_EQ(RoundHalfEven(-2.6), -3);
  EXPECT_EQ(RoundHalfEven(std::nan("")), 0);
  EXPECT_EQ(RoundHalfEven(1e300), INT32_MAX);
  EXPECT_EQ(RoundHalfEven(-1e300), INT32_MIN);
}

TEST(Slider, ValueAndThumbOnTheSpeedSlider) {
  TSlider t(70, 8);
  t.S.SetPosition(3);
  EXPECT_EQ(t.S.ThumbPos(), 20);
  EXPECT_EQ(t.S.Position(), 3);
  EXPECT_EQ(t.Changes, (std::vector<int32_t>{3}));
  t.S.ButtonDown(0);
  EXPECT_EQ(t.S.ThumbPos(), 0);
  EXPECT_EQ(t.S.Position(), 0);
  t.S.MouseMove(69);
  EXPECT_EQ(t.S.ThumbPos(), 54);
  EXPECT_EQ(t.S.Position(), 8);
  // Beyond either end the thumb stays at that end.
  t.S.MouseMove(500);
  EXPECT_EQ(t.S.ThumbPos(), 54);
  t.S.MouseMove(-300);
  EXPECT_EQ(t.S.ThumbPos(), 0);
  EXPECT_EQ(t.S.Position(), 0);
  t.S.ButtonUp();
  EXPECT_FALSE(t.S.Dragging());
  // A move without a button down changes nothing.
  t.S.MouseMove(40);
  EXPECT_EQ(t.S.ThumbPos(), 0);
}

TEST(Slider, ValueSettlesOnTheGridWithTwoNotifications) {
  TSlider t(50, 100);
  t.S.SetPosition(37);
  EXPECT_EQ(t.S.ThumbPos(), 13);
  EXPECT_EQ(t.S.Position(), 38);
  EXPECT_EQ(t.Changes, (std::vector<int32_t>{38, 38}));
}

TEST(Slider, SettersClampAndSkipNonChanges) {
  TSlider t(70, 8);
  t.S.SetPosition(20);
  EXPECT_EQ(t.S.Position(), 8);
  EXPECT_EQ(t.S.ThumbPos(), 54);
  t.Changes.clear();
  t.Moves = 0;
  t.S.SetPosition(8);
  t.S.SetPosition(1000);
  t.S.SetThumbPos(54);
  t.S.SetThumbPos(99);
  EXPECT_TRUE(t.Changes.empty());
  EXPECT_EQ(t.Moves, 0);
  t.S.SetPosition(-4);
  EXPECT_EQ(t.S.Position(), 0);
  EXPECT_EQ(t.S.ThumbPos(), 0);
  // SetMax alone neither re-clamps nor moves.
  t.S.SetPosition(8);
  t.S.SetMax(4);
  EXPECT_EQ(t.S.Position(), 8);
  EXPECT_EQ(t.S.ThumbPos(), 54);
}

TEST(Slider, NarrowSlidersAndEmptyRanges) {
  // Narrower than its thumb: the offset goes negative, the value stays.
  TSlider narrow(10, 8);
  narrow.S.SetPosition(5);
  EXPECT_EQ(narrow.S.Position(), 5);
  EXPECT_EQ(narrow.S.ThumbPos(), 0);
  narrow.S.ButtonDown(9);
  EXPECT_EQ(narrow.S.ThumbPos(), -6);
  EXPECT_EQ(narrow.S.Position(), 5);
  // Exactly as wide as its thumb: no room to move, no division by zero.
  TSlider exact(16, 8);
  exact.S.SetPosition(8);
  EXPECT_EQ(exact.S.ThumbPos(), 0);
  EXPECT_EQ(exact.S.Position(), 8);
  // Min = Max: every value clamps to it and the thumb stays at the left end,
  // whatever Min is.
  TSlider flat(100, 5, 5);
  flat.S.SetPosition(9);
  EXPECT_EQ(flat.S.Position(), 5);
  EXPECT_EQ(flat.S.ThumbPos(), 0);
  flat.S.ButtonDown(60);
  EXPECT_EQ(flat.S.ThumbPos(), 52);
  EXPECT_EQ(flat.S.Position(), 5);
}

TEST(Slider, WideRangesDoNotOverflow) {
  TSlider t(1016, 2000000000);
  t.S.SetPosition(1000000000);
  EXPECT_EQ(t.S.ThumbPos(), 500);
  EXPECT_EQ(t.S.Position(), 1000000000);
  TSlider full(116, INT32_MAX, INT32_MIN);
  full.S.SetPosition(INT32_MAX);
  EXPECT_EQ(full.S.ThumbPos(), 100);
  EXPECT_EQ(full.S.Position(), INT32_MAX);
  full.S.ButtonDown(-100);
  EXPECT_EQ(full.S.Position(), INT32_MIN);
}

TEST(Slider, TheOffsetIntoTheRangeIsRoundedBeforeMinIsAdded) {
  // Range 1 ... 3 on 4 pixels of travel: offsets 0.5 and 1.5 round to 0 and 2.
  TSlider t(20, 3, 1);
  t.S.SetThumbPos(1);
  EXPECT_EQ(t.S.Position(), 1);
  t.S.SetThumbPos(3);
  EXPECT_EQ(t.S.Position(), 3);
}

TEST(Slider, ResizeKeepsTheValueAndThumbRectFollowsIt) {
  TSlider t(70, 8);
  t.S.SetPosition(4);
  EXPECT_EQ(t.S.ThumbPos(), 27);
  t.S.Resized(120);
  EXPECT_EQ(t.S.ThumbPos(), 52);
  EXPECT_EQ(t.S.Position(), 4);
  TzxThumbRect r = t.S.ThumbRect(0, 0);
  EXPECT_EQ(r.Left, 52);
  EXPECT_EQ(r.Top, 2);
  EXPECT_EQ(r.Right, 68);
  EXPECT_EQ(r.Bottom, 18);
}

TEST(Slider, AnExceptionFromOnChangeLeavesTheThumbInCharge) {
  TSlider t(70, 8);
  bool thrown = false;
  t.S.OnChange = [&] {
    if (!thrown) {
      thrown = true;
      throw std::runtime_error("handler");
    }
  };
  EXPECT_THROW(t.S.ButtonDown(30), std::runtime_error);
  // The next SetPosition moves the thumb again.
  t.S.OnChange = nullptr;
  t.S.SetPosition(8);
  EXPECT_EQ(t.S.ThumbPos(), 54);
}

TEST(Slider, AValueTheChangeHandlerPutsBackTakesTheThumbAlong) {
  // The volume slider: a drag to 70 % on a device that keeps 0 %.
  TSlider t(50, 100);
  t.S.OnChange = [&] { t.S.SetPosition(0); };
  t.S.ButtonDown(30);
  EXPECT_EQ(t.S.Position(), 0);
  EXPECT_EQ(t.S.ThumbPos(), 0) << "the thumb shows the value, not the drop";
  // A device that keeps a value the grid cannot show exactly: the thumb
  // stands where that value is drawn.
  t.S.OnChange = [&] {
    if (t.S.Position() != 51) t.S.SetPosition(51);
  };
  t.S.MouseMove(40);
  EXPECT_EQ(t.S.Position(), 51);
  EXPECT_EQ(t.S.ThumbPos(), t.S.ThumbPosFromValue());
}

TEST(ProgressBar, ColumnsMarksAndClicks) {
  TzxProgressBarModel bar;
  EXPECT_EQ(bar.AddLength(10), 0);
  EXPECT_EQ(bar.AddLength(30), 1);
  EXPECT_FLOAT_EQ(bar.TotalLength(), 40);
  EXPECT_EQ(bar.PositionToX(0), 2);
  EXPECT_EQ(bar.PositionToX(40), 198);
  EXPECT_EQ(bar.BoundaryColumns(), (std::vector<int32_t>{51}));
  EXPECT_EQ(bar.SegmentAt(48), 0); // t = 9 from 9.39
  EXPECT_EQ(bar.SegmentAt(49), 1); // t = 10 from 9.59
  EXPECT_EQ(bar.SegmentAt(198), -1);
  EXPECT_EQ(bar.SegmentAt(0), 0);
  bar.SetPosition(20);
  bar.Click(48);
  EXPECT_FLOAT_EQ(bar.Position(), 0);
  bar.Click(120);
  EXPECT_FLOAT_EQ(bar.Position(), 10);
  bar.Click(198);
  EXPECT_FLOAT_EQ(bar.Position(), 10);
  // One segment shows no mark.
  TzxProgressBarModel one;
  one.AddLength(5);
  EXPECT_TRUE(one.BoundaryColumns().empty());
}

TEST(ProgressBar, PositionIsClamped) {
  TzxProgressBarModel bar;
  bar.AddLength(40);
  bar.SetPosition(-5);
  EXPECT_FLOAT_EQ(bar.Position(), 0);
  bar.SetPosition(1000);
  EXPECT_FLOAT_EQ(bar.Position(), 40);
  bar.SetPosition(std::numeric_limits<float>::quiet_NaN());
  EXPECT_FLOAT_EQ(bar.Position(), 0);
}

TEST(ProgressBar, NoLengthsAndNarrowBars) {
  TzxProgressBarModel bar;
  EXPECT_EQ(bar.TotalLength(), 0);
  EXPECT_EQ(bar.PositionToX(12), 0);
  bar.SetPosition(12);
  EXPECT_EQ(bar.Position(), 0);
  EXPECT_EQ(bar.SegmentAt(50), -1);
  // Four pixels or fewer leave no run to map a click onto.
  bar.AddLength(10);
  for (int32_t w : {4, 3, 0}) {
    bar.Width = w;
    EXPECT_EQ(bar.SegmentAt(2), -1) << w;
    EXPECT_EQ(bar.SegmentAt(0), -1) << w;
  }
}

TEST(ProgressBar, SelectionAsksTheOwner) {
  TzxProgressBarModel bar;
  bar.AddLength(10);
  bar.AddLength(30);
  bar.AddLength(5);
  std::vector<int32_t> asked;
  bool permit = false;
  bar.OnSelect = [&](int32_t i, bool &allow) {
    asked.push_back(i);
    allow = permit;
  };
  bar.SetPosition(3);
  bar.Select(2);
  EXPECT_FLOAT_EQ(bar.Position(), 3);
  permit = true;
  bar.Select(2);
  EXPECT_FLOAT_EQ(bar.Position(), 40);
  bar.Select(3);
  bar.Select(-1);
  EXPECT_EQ(asked, (std::vector<int32_t>{2, 2}));
}

TEST(PanelTexts, SpeedFactors) {
  EXPECT_EQ(FormatSpeed(SpeedFactorAt(0)), "x0.1");
  EXPECT_EQ(FormatSpeed(SpeedFactorAt(1)), "x0.25");
  EXPECT_EQ(FormatSpeed(SpeedFactorAt(2)), "x0.5");
  EXPECT_EQ(FormatSpeed(SpeedFactorAt(3)), "x1.0");
  EXPECT_EQ(FormatSpeed(SpeedFactorAt(7)), "x10.0");
  EXPECT_EQ(FormatSpeed(SpeedFactorAt(8)), "MAX");
  EXPECT_EQ(FormatSpeed(100), "x100.0");
  EXPECT_EQ(FormatSpeed(1234.5f / 100), "x12.35");
}

TEST(PanelTexts, ClockDropsWholeDays) {
  EXPECT_EQ(FormatClock(0), "00:00:00");
  EXPECT_EQ(FormatClock(35), "00:00:35");
  EXPECT_EQ(FormatClock(90061), "01:01:01");
  EXPECT_EQ(FormatClock(86400), "00:00:00");
  EXPECT_EQ(FormatClock(59.9996), "00:01:00");
  EXPECT_EQ(FormatClock(59.9994), "00:00:59");
  EXPECT_EQ(FormatClock(std::nan("")), "00:00:00");
}

TEST(PanelTexts, TimeTextOfTheFilm) {
  std::vector<TzxSegmentTiming> film = {{300, 10}, {600, 20}};
  TzxPlayTimes t = ComputePlayTimes(film, 1, 99, 20);
  EXPECT_FLOAT_EQ(t.CurrentSeconds, 35);
  EXPECT_DOUBLE_EQ(t.TotalSeconds, 60);
  EXPECT_EQ(FormatTimeText(SpeedFactorAt(3), t), "x1.0    00:00:35 | 00:01:00");
  // After a stop the position is the start of the current segment.
  EXPECT_FLOAT_EQ(ComputePlayTimes(film, 1, -1, 20).CurrentSeconds, 30);
  EXPECT_EQ(FormatTimeText(SpeedFactorAt(8), ComputePlayTimes({}, 0, 5, 10)),
            "MAX    00:00:00 | 00:00:00");
}

TEST(PanelTexts, SegmentsWithoutARateCountAsEmpty) {
  std::vector<TzxSegmentTiming> film = {{300, 0}, {600, 20}, {50, 10}};
  TzxPlayTimes t = ComputePlayTimes(film, 2, 9, 10);
  EXPECT_FLOAT_EQ(t.CurrentSeconds, 31);
  EXPECT_DOUBLE_EQ(t.TotalSeconds, 35);
  t = ComputePlayTimes(film, 0, 9, 0);
  EXPECT_FLOAT_EQ(t.CurrentSeconds, 0);
  EXPECT_FALSE(std::isinf(t.TotalSeconds));
}

TEST(PanelTexts, TextBoxesHoldTheirLongestTextsAndNeverOverlap) {
  const auto overlap = [](const TzxTextBox &a, const TzxTextBox &b) {
    return a.Width() > 0 && b.Width() > 0 && a.Left < b.Right && b.Left < a.Right &&
           a.Top < b.Bottom && b.Top < a.Bottom;
  };
  for (const int32_t right : {584, 742, 1264}) {
    const TzxPanelTextBoxes b = PanelTextBoxes(right, 40, 190, 30);
    EXPECT_EQ(b.Time.Right, right - 2);
    EXPECT_EQ(b.Time.Width(), 190) << "wide enough for x0.25 and x10.0";
    EXPECT_EQ(b.Info.Left, 214);
    EXPECT_EQ(b.Percent.Left, 548);
    EXPECT_EQ(b.Percent.Width(), 30);
    EXPECT_EQ(b.Percent.Top, 21);
    EXPECT_EQ(b.Percent.Bottom, 37);
    const TzxTextBox all[] = {b.Info, b.Time, b.Percent, b.Title};
    for (const auto &x : all)
      for (const auto &y : all) {
        if (&x != &y) {
          EXPECT_FALSE(overlap(x, y)) << right;
        }
      }
    EXPECT_GE(b.Title.Left, b.Percent.Right) << "the title never covers the percentage";
  }
  // A short time text keeps the band's usual 169 pixels.
  EXPECT_EQ(PanelTextBoxes(742, 40, 100, 30).Time.Left, 742 - 2 - 169);
  // Too narrow for a title: its box is empty, never reaching back.
  EXPECT_EQ(PanelTextBoxes(584, 40, 190, 30).Title.Width(), 0);
  EXPECT_EQ(PanelTextBoxes(742, 40, 190, 30).Title.Left, 584);
  // The longest time texts: one per speed, "x0.25" and "x10.0" among them.
  const std::vector<std::string> texts = LongestTimeTexts();
  EXPECT_EQ(texts.size(), 9u);
  EXPECT_EQ(texts[1], "x0.25    88:88:88 | 88:88:88");
  EXPECT_EQ(texts[7], "x10.0    88:88:88 | 88:88:88");
}
