// The arithmetic of the owner-drawn controls, apart from their windows: the
// slider's value and thumb offset, the segment progress bar's columns and
// clicks, and the control panel's time and format texts. The window classes
// keep one of these models each and forward their messages to it.
#pragma once

#include "zxPlayerModel.h" // the speeds

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Nearest integer, halves to the even neighbour; NaN gives 0 and values
// outside the 32-bit range give its nearest end.
int32_t RoundHalfEven(double x);

// Where the slider's thumb is drawn, in client coordinates.
struct TzxThumbRect {
  int32_t Left, Top, Right, Bottom;
};

// The value and thumb of a horizontal slider. Every change of Position, from
// either side, is reported through OnChange; every move of the thumb through
// OnThumbMoved (where the window invalidates itself).
class TzxSliderModel {
public:
  int32_t Min = 0;
  int32_t Max = 10;
  int32_t ThumbWidth = 16;
  int32_t ThumbHeight = 16;

  std::function<void()> OnChange;
  std::function<void()> OnThumbMoved;

  int32_t Position() const { return FPosition; }
  int32_t ThumbPos() const { return FThumbPos; }
  int32_t Width() const { return FWidth; }
  bool Dragging() const { return FDragging; }

  // Clamps v into Min ... Max and moves the thumb to it; the value may then
  // settle on the nearest value the pixel grid can show.
  void SetPosition(int32_t v);
  // Stores Max only; callers follow it with SetPosition.
  void SetMax(int32_t v) { Max = v; }
  // Clamps p into 0 ... Width - ThumbWidth and derives the value from it.
  void SetThumbPos(int32_t p);
  // The thumb offset that shows the current value.
  int32_t ThumbPosFromValue() const;
  // The control's new width; the thumb follows the value.
  void Resized(int32_t width);

  // Mouse, x in client coordinates (signed: a captured pointer left of the
  // control is negative). The thumb's centre follows the pointer.
  void ButtonDown(int32_t x);
  void MouseMove(int32_t x);
  void ButtonUp() { FDragging = false; }

  // The thumb in a client area whose top-left corner is (left, top); its
  // vertical centre is 10 pixels below the top whatever the height.
  TzxThumbRect ThumbRect(int32_t left, int32_t top) const;

private:
  int32_t FPosition = 0;
  int32_t FThumbPos = 0;
  int32_t FWidth = 0;
  bool FDragging = false;
  bool FSettingFromThumb = false;
};

// Lengths of the film's segments in seconds, the playing position and the
// columns they map to on a progress bar.
class TzxProgressBarModel {
public:
  int32_t Width = 200;

  // Called before a selection takes effect; may clear the permission.
  std::function<void(int32_t index, bool &allow)> OnSelect;

  int32_t AddLength(float seconds);
  void ClearLengths() { FLengths.clear(); }
  const std::vector<float> &Lengths() const { return FLengths; }
  // Sum of the lengths, accumulated in single precision.
  float TotalLength() const;
  // Start of segment i: the sum of the lengths before it.
  float SegmentStart(int32_t i) const;

  float Position() const { return FPosition; }
  // Clamps into 0 ... TotalLength; not a number counts as 0.
  void SetPosition(float v);
  // Asks OnSelect, then moves the position to the start of segment i.
  // Indices outside the lengths do nothing.
  void Select(int32_t i);

  // Pixel column of a position: 2 ... Width - 2, or 0 without any length.
  int32_t PositionToX(float seconds) const;
  // Columns of the marks between consecutive segments.
  std::vector<int32_t> BoundaryColumns() const;
  // The segment under column x, or -1 (at or beyond the end, or a bar too
  // narrow to map a click).
  int32_t SegmentAt(int32_t x) const;
  // A left click at column x: selects the segment under it, if any.
  void Click(int32_t x);

private:
  std::vector<float> FLengths;
  float FPosition = 0;
};

// "MAX" above 100, else "x" with thousands separators and one or two decimals.
std::string FormatSpeed(float factor);
// hh:nn:ss of the time of day the seconds stand for (whole days dropped).
std::string FormatClock(double seconds);

// What the time text needs to know of a segment.
struct TzxSegmentTiming {
  int32_t FrameCount;
  uint8_t FramesPerSecond;
};

struct TzxPlayTimes {
  float CurrentSeconds; // from the start of the first segment
  double TotalSeconds;
};

// The playing position and the film's length. frameIndex is the current
// frame within the segment (-1 when none); currentRate is the rate of the
// segment being played. Segments with a rate of 0 count as empty.
TzxPlayTimes ComputePlayTimes(const std::vector<TzxSegmentTiming> &segments, int32_t currentSegment,
                              int32_t frameIndex, uint8_t currentRate);
// "<speed>    <position> | <total>".
std::string FormatTimeText(float speedFactor, const TzxPlayTimes &times);
// "<width> x <height> x <bits> / <rate> fps".
std::string FormatInfoText(int32_t width, int32_t height, int32_t bitsPerPixel,
                           int32_t framesPerSecond);

// A box of the panel's drawn texts: right and bottom lie just outside.
struct TzxTextBox {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right > Left ? Right - Left : 0; }
};

// Where the control panel draws its texts, in a panel client area R wide and
// B high, given how wide the longest time text (LongestTimeTexts) and the
// widest percentage ("100%") are in the panel's font. The band keeps the
// format text at 214 and the time text against its right end, at least 169
// pixels wide, each within its own box; the volume percentage stands at 548
// behind the volume slider, and the segment's title after it to the right
// end (empty when the panel is too narrow). No two boxes overlap.
struct TzxPanelTextBoxes {
  TzxTextBox Info, Time, Percent, Title;
};
TzxPanelTextBoxes PanelTextBoxes(int32_t panelRight, int32_t panelBottom, int32_t timeWidth,
                                 int32_t percentWidth);
// The widest texts the time box shows: each speed with the widest digits.
std::vector<std::string> LongestTimeTexts();
// The widest text the percentage box shows.
inline constexpr const char *WidestPercentText = "100%";
