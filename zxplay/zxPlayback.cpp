#include "zxPlayback.h"

#include "zxPlayerModel.h"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <cstdio>

namespace {

// Moments computed from frame times land a hair below the frame they start.
constexpr double Hair = 1e-9;

} // namespace

void TzxFilmTimeline::Add(int32_t index, int32_t number, int32_t frames, double fps) {
  if (frames <= 0) return;
  TzxPlayEntry e;
  e.Index = index;
  e.Number = number;
  e.Frames = frames;
  e.Fps = fps > 0 ? fps : 10;
  e.Start = FSeconds;
  FEntries.push_back(e);
  FSeconds += e.Seconds();
}

TzxFilmPosition TzxFilmTimeline::PositionAt(double t) const {
  if (FEntries.empty() || t <= 0) return {};
  for (int32_t i = 0; i < Count(); ++i) {
    const TzxPlayEntry &e = FEntries[static_cast<size_t>(i)];
    const double frame = std::floor((t - e.Start) * e.Fps + Hair);
    if (frame < e.Frames) return {i, static_cast<int32_t>(std::max(frame, 0.0))};
  }
  return Last();
}

double TzxFilmTimeline::TimeOf(const TzxFilmPosition &p) const {
  if (p.Entry < 0 || p.Entry >= Count()) return 0;
  const TzxPlayEntry &e = FEntries[static_cast<size_t>(p.Entry)];
  return e.Start + p.Frame / e.Fps;
}

bool TzxFilmTimeline::Step(TzxFilmPosition &p, int32_t frames) const {
  if (FEntries.empty()) return false;
  TzxFilmPosition q = p;
  for (; frames > 0; --frames) {
    if (q.Frame + 1 < Entry(q.Entry).Frames) {
      ++q.Frame;
    } else if (q.Entry + 1 < Count()) {
      q = {q.Entry + 1, 0};
    } else {
      return false;
    }
  }
  for (; frames < 0; ++frames) {
    if (q.Frame > 0) {
      --q.Frame;
    } else if (q.Entry > 0) {
      q = {q.Entry - 1, Entry(q.Entry - 1).Frames - 1};
    } else {
      return false;
    }
  }
  p = q;
  return true;
}

TzxFilmPosition TzxFilmTimeline::Last() const {
  if (FEntries.empty()) return {};
  return {Count() - 1, FEntries.back().Frames - 1};
}

double TzxSeekBar::TimeAt(int32_t x, double seconds) const {
  const double share = std::clamp(double(x - Left) / std::max(Width - 1, 1), 0.0, 1.0);
  return share * seconds;
}

int32_t TzxSeekBar::PixelOf(double t, double seconds) const {
  if (seconds <= 0) return Left;
  const double share = std::clamp(t / seconds, 0.0, 1.0);
  return Left + static_cast<int32_t>(std::lround(share * (Width - 1)));
}

std::vector<int32_t> TzxSeekBar::Marks(const TzxFilmTimeline &timeline) const {
  std::vector<int32_t> marks;
  for (int32_t i = 1; i < timeline.Count(); ++i)
    marks.push_back(PixelOf(timeline.Entry(i).Start, timeline.Seconds()));
  return marks;
}

int32_t StepSpeed(int32_t position, int32_t step) {
  return std::clamp(position + step, 0, SpeedPositions - 1);
}

std::string SpeedText(int32_t position) {
  if (position >= SpeedPositions - 1) return "MAX";
  char text[16];
  std::snprintf(text, sizeof text, "%gx", double(SpeedFactorAt(position)));
  return text;
}

std::string TimeText(double seconds) {
  const int64_t tenths = std::llround(std::max(seconds, 0.0) * 10);
  const int64_t s = tenths / 10, h = s / 3600, m = s / 60 % 60;
  char text[32];
  if (h > 0)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%lld", static_cast<long long>(h),
                  static_cast<long long>(m), static_cast<long long>(s % 60),
                  static_cast<long long>(tenths % 10));
  else
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(m),
                  static_cast<long long>(s % 60), static_cast<long long>(tenths % 10));
  return text;
}

TzxKeyAction ActionForKey(TzxKey key, char c) {
  switch (key) {
  case TzxKey::Left: return {TzxAction::SeekBy, -5};
  case TzxKey::Right: return {TzxAction::SeekBy, 5};
  case TzxKey::Up: return {TzxAction::SeekBy, 60};
  case TzxKey::Down: return {TzxAction::SeekBy, -60};
  case TzxKey::PageUp: return {TzxAction::PreviousSegment};
  case TzxKey::PageDown: return {TzxAction::NextSegment};
  case TzxKey::Home: return {TzxAction::FilmStart};
  case TzxKey::End: return {TzxAction::FilmEnd};
  case TzxKey::Escape: return {TzxAction::Quit};
  case TzxKey::Other: return {};
  case TzxKey::Character: break;
  }
  switch (c) {
  case ' ': return {TzxAction::TogglePause};
  case ',': return {TzxAction::FrameBack};
  case '.': return {TzxAction::FrameForward};
  case '[': return {TzxAction::Slower};
  case ']': return {TzxAction::Faster};
  case 'f': return {TzxAction::FullScreen};
  case 'm': return {TzxAction::Mute};
  case 'q': return {TzxAction::Quit};
  default: return {};
  }
}

int64_t SoundSampleAt(int32_t frame, int32_t tick, int32_t ticksPerFrame, double fps,
                      int32_t rate) {
  if (fps <= 0 || rate <= 0 || frame < 0) return 0;
  const double ticks = ticksPerFrame > 0 ? ticksPerFrame : 1;
  const double at = (frame + std::clamp(tick, 0, static_cast<int32_t>(ticks) - 1) / ticks) / fps;
  return std::llround(at * rate);
}

bool TzxSoundFollower::Audible(const TzxSoundMoment &m) {
  return m.Playing && m.Speed == NormalSpeedPosition && !m.Muted;
}

TzxSoundChange TzxSoundFollower::Update(const TzxSoundMoment &now, bool jumped) {
  const TzxFilmPosition last = FLast;
  const bool was = FSounding;
  FLast = now.Position;
  FSounding = Audible(now);
  if (!FSounding) return was ? TzxSoundChange::Stop : TzxSoundChange::Keep;
  // Playing on within a segment keeps the sound going; the same frame
  // told again changes nothing.
  const bool onward = now.Position.Entry == last.Entry &&
                      (now.Position.Frame == last.Frame || now.Position.Frame == last.Frame + 1);
  return was && !jumped && onward ? TzxSoundChange::Keep : TzxSoundChange::Restart;
}

TzxRowSpan Union(const TzxRowSpan &a, const TzxRowSpan &b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return {std::min(a.First, b.First), std::max(a.Last, b.Last)};
}

TzxRowSpan ChangedRows(const TzxRgbPicture &now, const TzxRgbPicture &before, TzxRowSpan within) {
  if (now.Width != before.Width || now.Height != before.Height ||
      now.Pixels.size() != before.Pixels.size())
    return {0, now.Height};
  const size_t row = size_t(std::max(now.Width, 0)) * 3;
  const auto same = [&](int32_t y) {
    return std::memcmp(now.Pixels.data() + y * row, before.Pixels.data() + y * row, row) == 0;
  };
  TzxRowSpan s{std::max(within.First, 0), std::min(within.Last, now.Height)};
  while (s.First < s.Last && same(s.First))
    ++s.First;
  while (s.Last > s.First && same(s.Last - 1))
    --s.Last;
  return s;
}
