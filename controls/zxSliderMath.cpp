#include "zxSliderMath.h"

#include "zxClasses.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace {

// Nearest whole number, halves to the even neighbour, kept in floating point.
double RoundHalfEvenWide(double x) {
  double r = std::floor(x);
  double diff = x - r;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
  return r;
}

} // namespace

int32_t RoundHalfEven(double x) {
  if (std::isnan(x)) return 0;
  double r = RoundHalfEvenWide(x);
  if (r >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (r <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(r);
}

namespace {

int32_t Saturate(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

} // namespace

// ---- Slider

int32_t TzxSliderModel::ThumbPosFromValue() const {
  // Without a range or room to move, the thumb rests at the left end.
  if (Min >= Max || FWidth < ThumbWidth) return 0;
  // 64-bit product: a wide range on a wide slider must not wrap around.
  int64_t product = (int64_t{FPosition} - Min) * (int64_t{FWidth} - ThumbWidth);
  return RoundHalfEven(static_cast<double>(product) / static_cast<double>(int64_t{Max} - Min));
}

void TzxSliderModel::SetThumbPos(int32_t p) {
  if (p == FThumbPos) return;
  int64_t room = int64_t{FWidth} - ThumbWidth;
  int64_t clamped = p;
  if (clamped < 0)
    clamped = 0;
  else if (clamped > room)
    clamped = room; // negative when the slider is narrower than its thumb
  if (clamped == FThumbPos) return;
  FThumbPos = Saturate(clamped);
  if (Max >= Min && room > 0) {
    double share = static_cast<double>(FThumbPos) / static_cast<double>(room);
    // The offset into the range is rounded on its own, in floating point so
    // that a range wider than 31 bits still fits.
    double offset = RoundHalfEvenWide(share * static_cast<double>(int64_t{Max} - Min));
    int32_t value = RoundHalfEven(static_cast<double>(Min) + offset);
    FSettingFromThumb = true;
    try {
      SetPosition(value);
    } catch (...) {
      FSettingFromThumb = false;
      throw;
    }
    FSettingFromThumb = false;
    // A change handler that put the value elsewhere (a volume the device
    // did not take, say) takes the thumb with it.
    if (FPosition != value) FThumbPos = ThumbPosFromValue();
  }
  if (OnThumbMoved) OnThumbMoved();
}

void TzxSliderModel::SetPosition(int32_t v) {
  if (v == FPosition) return;
  if (v < Min)
    v = Min;
  else if (v > Max)
    v = Max;
  if (v == FPosition) return;
  FPosition = v;
  if (!FSettingFromThumb) SetThumbPos(ThumbPosFromValue());
  if (OnChange) OnChange();
}

void TzxSliderModel::Resized(int32_t width) {
  FWidth = width;
  SetThumbPos(ThumbPosFromValue());
}

void TzxSliderModel::ButtonDown(int32_t x) {
  FDragging = true;
  SetThumbPos(Saturate(int64_t{x} - ThumbWidth / 2));
}

void TzxSliderModel::MouseMove(int32_t x) {
  if (FDragging) SetThumbPos(Saturate(int64_t{x} - ThumbWidth / 2));
}

TzxThumbRect TzxSliderModel::ThumbRect(int32_t left, int32_t top) const {
  int32_t x0 = left + FThumbPos;
  int32_t y0 = top + 10 - ThumbHeight / 2;
  return {x0, y0, x0 + ThumbWidth, y0 + ThumbHeight};
}

// ---- Progress bar

int32_t TzxProgressBarModel::AddLength(float seconds) {
  FLengths.push_back(seconds);
  return static_cast<int32_t>(FLengths.size()) - 1;
}

float TzxProgressBarModel::TotalLength() const {
  float sum = 0;
  for (float length : FLengths)
    sum += length;
  return sum;
}

float TzxProgressBarModel::SegmentStart(int32_t i) const {
  float sum = 0;
  for (int32_t k = 0; k < i && k < static_cast<int32_t>(FLengths.size()); ++k)
    sum += FLengths[static_cast<size_t>(k)];
  return sum;
}

void TzxProgressBarModel::SetPosition(float v) {
  float total = TotalLength();
  if (v > total)
    v = total;
  else if (!(v >= 0))
    v = 0;
  FPosition = v;
}

void TzxProgressBarModel::Select(int32_t i) {
  if (i < 0 || i >= static_cast<int32_t>(FLengths.size())) return;
  bool allow = true;
  if (OnSelect) OnSelect(i, allow);
  if (!allow) return;
  SetPosition(SegmentStart(i));
}

int32_t TzxProgressBarModel::PositionToX(float seconds) const {
  float total = TotalLength();
  if (total == 0) return 0;
  double x = (static_cast<double>(Width) - 4) * static_cast<double>(seconds) / total;
  return Saturate(int64_t{RoundHalfEven(x)} + 2);
}

std::vector<int32_t> TzxProgressBarModel::BoundaryColumns() const {
  std::vector<int32_t> columns;
  float sum = 0;
  for (size_t i = 0; i + 1 < FLengths.size(); ++i) {
    sum += FLengths[i];
    columns.push_back(PositionToX(sum));
  }
  return columns;
}

int32_t TzxProgressBarModel::SegmentAt(int32_t x) const {
  // A bar of 4 pixels or less has no drawable run to map a click onto.
  if (Width <= 4) return -1;
  double t = static_cast<double>(RoundHalfEven(static_cast<double>(TotalLength()) *
                                               (static_cast<double>(x) - 2) / (Width - 4)));
  float sum = 0;
  for (size_t i = 0; i < FLengths.size(); ++i) {
    sum += FLengths[i];
    if (t < sum) return static_cast<int32_t>(i);
  }
  return -1;
}

void TzxProgressBarModel::Click(int32_t x) {
  int32_t i = SegmentAt(x);
  if (i >= 0) Select(i);
}

// ---- Panel texts

std::string FormatSpeed(float factor) {
  if (factor > 100) return "MAX";
  // Whole hundredths, then the integer part with separators and one or two
  // decimals.
  double hundredths = std::nearbyint(std::fabs(static_cast<double>(factor)) * 100.0);
  auto cents = static_cast<int64_t>(hundredths);
  std::string whole = std::to_string(cents / 100);
  for (int pos = static_cast<int>(whole.size()) - 3; pos > 0; pos -= 3)
    whole.insert(static_cast<size_t>(pos), ",");
  int64_t fraction = cents % 100;
  std::string decimals = Format("%02d", static_cast<int>(fraction));
  if (decimals[1] == '0') decimals.resize(1);
  return std::string("x") + (factor < 0 ? "-" : "") + whole + "." + decimals;
}

std::string FormatClock(double seconds) {
  if (!(seconds > 0)) return "00:00:00";
  // Whole milliseconds first, so that 34.9996 s shows as 00:00:35.
  double ms = std::nearbyint(seconds * 1000.0);
  auto day = static_cast<int64_t>(std::fmod(ms, 86400000.0));
  int64_t s = day / 1000;
  return Format("%02d:%02d:%02d", static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                static_cast<int>(s % 60));
}

TzxPlayTimes ComputePlayTimes(const std::vector<TzxSegmentTiming> &segments, int32_t currentSegment,
                              int32_t frameIndex, uint8_t currentRate) {
  TzxPlayTimes times{0, 0};
  if (segments.empty()) return times;
  for (size_t i = 0; i < segments.size(); ++i) {
    if (static_cast<int64_t>(i) == currentSegment)
      times.CurrentSeconds = static_cast<float>(times.TotalSeconds);
    if (segments[i].FramesPerSecond != 0)
      times.TotalSeconds += static_cast<double>(segments[i].FrameCount) /
                            static_cast<double>(segments[i].FramesPerSecond);
  }
  if (currentRate != 0)
    times.CurrentSeconds += static_cast<float>((static_cast<double>(frameIndex) + 1) /
                                               static_cast<double>(currentRate));
  return times;
}

std::string FormatTimeText(float speedFactor, const TzxPlayTimes &times) {
  return FormatSpeed(speedFactor) + "    " + FormatClock(times.CurrentSeconds) + " | " +
         FormatClock(times.TotalSeconds);
}

std::string FormatInfoText(int32_t width, int32_t height, int32_t bitsPerPixel,
                           int32_t framesPerSecond) {
  return Format("%d x %d x %d / %d fps", width, height, bitsPerPixel, framesPerSecond);
}

TzxPanelTextBoxes PanelTextBoxes(int32_t panelRight, int32_t panelBottom, int32_t timeWidth,
                                 int32_t percentWidth) {
  constexpr int32_t InfoLeft = 214, PercentLeft = 548, Gap = 6;
  TzxPanelTextBoxes b;
  const int32_t end = std::max(panelRight - 2, 0);
  b.Time = {std::max(end - std::max(timeWidth, 169), 0), 1, end, 20};
  b.Info = {InfoLeft, 2, std::max(InfoLeft, b.Time.Left - Gap), 16};
  b.Percent = {PercentLeft, panelBottom - 19,
               std::max(PercentLeft, std::min(end, PercentLeft + percentWidth)), panelBottom - 3};
  b.Title = {b.Percent.Right + Gap, panelBottom - 19, std::max(b.Percent.Right + Gap, end),
             panelBottom - 3};
  return b;
}

std::vector<std::string> LongestTimeTexts() {
  std::vector<std::string> texts;
  for (const float factor : SpeedFactors)
    texts.push_back(FormatSpeed(factor) + "    88:88:88 | 88:88:88");
  return texts;
}
