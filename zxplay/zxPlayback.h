// What zxplay decides without any window system: where a moment of the
// film lies (segment and frame), the seek bar's geometry and marks, the
// speeds, the text line, and which key does what.
#pragma once

#include "zxPlayerModel.h"
#include "zxRender.h"

#include <cstdint>
#include <string>
#include <vector>

// One segment that plays, in the film's order.
struct TzxPlayEntry {
  int32_t Index = 0;  // in the loaded segment list
  int32_t Number = 0; // as zxtool numbers it (from 1)
  int32_t Frames = 0;
  double Fps = 10;
  double Start = 0; // when its frame 0 is shown, in seconds from the film's start
  double Seconds() const { return Frames / Fps; }
};

// A frame of the film: an entry of the timeline and a frame of its segment.
struct TzxFilmPosition {
  int32_t Entry = 0;
  int32_t Frame = 0;
  bool operator==(const TzxFilmPosition &) const = default;
};

// The segments that play, one after another, each at its own rate: frame
// k of a segment is shown for 1/fps seconds from Start + k/fps.
class TzxFilmTimeline {
public:
  // Segments without frames are left out; fps below or at 0 counts as 10.
  void Add(int32_t index, int32_t number, int32_t frames, double fps);

  int32_t Count() const { return static_cast<int32_t>(FEntries.size()); }
  const TzxPlayEntry &Entry(int32_t i) const { return FEntries.at(static_cast<size_t>(i)); }
  double Seconds() const { return FSeconds; }

  // The frame shown at the moment t, clamped into the film (its first frame
  // before 0, its last one from its end on).
  TzxFilmPosition PositionAt(double t) const;
  double TimeOf(const TzxFilmPosition &p) const;
  // The position a frame after or before, across segments; false at either
  // end of the film (p stays).
  bool Step(TzxFilmPosition &p, int32_t frames) const;
  TzxFilmPosition Last() const;

private:
  std::vector<TzxPlayEntry> FEntries;
  double FSeconds = 0;
};

// The rows [First, Last) in which a picture differs from the one shown
// before it: none when they are alike, all of them when their sizes differ.
// What changed is all a window needs to be sent again.
// Only rows within `within` are compared, where the caller knows that no
// others can have changed.
struct TzxRowSpan {
  int32_t First = 0;
  int32_t Last = 0;
  bool Empty() const { return First >= Last; }
  bool operator==(const TzxRowSpan &) const = default;
};
inline constexpr TzxRowSpan AllRows{0, INT32_MAX};
TzxRowSpan ChangedRows(const TzxRgbPicture &now, const TzxRgbPicture &before,
                       TzxRowSpan within = AllRows);
// The rows of both spans and those between them.
TzxRowSpan Union(const TzxRowSpan &a, const TzxRowSpan &b);

// The seek bar: a strip Width pixels wide from Left, the film's length
// spread over it.
struct TzxSeekBar {
  int32_t Left = 0;
  int32_t Width = 1;

  // The moment a pixel stands for (clamped into the film).
  double TimeAt(int32_t x, double seconds) const;
  // The pixel of a moment.
  int32_t PixelOf(double t, double seconds) const;
  // The pixels where segments after the first start.
  std::vector<int32_t> Marks(const TzxFilmTimeline &timeline) const;
};

// A speed position one step slower or faster, within the speed table.
int32_t StepSpeed(int32_t position, int32_t step);
// "1x", "0.25x", "MAX".
std::string SpeedText(int32_t position);
// "1:02.5" (minutes and seconds to tenths), "1:02:03.0" from an hour on.
std::string TimeText(double seconds);

// The keys zxplay reacts to, apart from the window system's codes.
enum class TzxKey {
  Character, // a printable character (the argument)
  Left,
  Right,
  Up,
  Down,
  PageUp,
  PageDown,
  Home,
  End,
  Escape,
  Other,
};

enum class TzxAction {
  None,
  TogglePause,
  SeekBy, // by Seconds
  FrameBack,
  FrameForward,
  Slower,
  Faster,
  PreviousSegment,
  NextSegment,
  FilmStart,
  FilmEnd,
  FullScreen,
  Mute,
  Quit,
};

struct TzxKeyAction {
  TzxAction Action = TzxAction::None;
  double Seconds = 0;
  bool operator==(const TzxKeyAction &) const = default;
};

// Space pause/resume, Left/Right 5 s, Up/Down a minute, ',' '.' a frame,
// '[' ']' speed, Page Up/Down segments, Home/End, 'f' full screen, 'm'
// mute, 'q' and Escape quit.
TzxKeyAction ActionForKey(TzxKey key, char c = 0);

// The sample frame of a segment's sound that goes with tick `tick` (of
// ticksPerFrame) of frame k at fps: (k + tick / ticksPerFrame) / fps
// seconds into the sound, at rate samples a second.
int64_t SoundSampleAt(int32_t frame, int32_t tick, int32_t ticksPerFrame, double fps, int32_t rate);

// What the picture does, as far as the sound cares.
struct TzxSoundMoment {
  TzxFilmPosition Position;
  bool Playing = false;
  int32_t Speed = NormalSpeedPosition;
  bool Muted = false;
};

enum class TzxSoundChange { Keep, Stop, Restart };

// Keeps the sound in step with the picture: it sounds only while the film
// plays at normal speed unmuted, and starts again from the frame shown
// whenever the picture got there other than by playing on.
class TzxSoundFollower {
public:
  // The picture now shows `now`; jumped when it got there by a seek, a
  // frame step or a new film rather than by playing on from the frame
  // before.
  TzxSoundChange Update(const TzxSoundMoment &now, bool jumped);
  static bool Audible(const TzxSoundMoment &m);

private:
  TzxFilmPosition FLast;
  bool FSounding = false;
};
