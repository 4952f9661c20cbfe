#include "zxFont.h"
#include "zxPlayback.h"
#include "zxPlayerModel.h"

#include <gtest/gtest.h>

namespace {

// Two segments: 40 frames at 10 fps (4 s), 20 at 25 fps (0.8 s).
TzxFilmTimeline TwoSegments() {
  TzxFilmTimeline t;
  t.Add(0, 1, 40, 10);
  t.Add(2, 3, 20, 25);
  return t;
}

} // namespace

TEST(FilmTimeline, MomentsFallOnTheFrameShownThen) {
  const TzxFilmTimeline t = TwoSegments();
  EXPECT_DOUBLE_EQ(t.Seconds(), 4.8);
  EXPECT_EQ(t.PositionAt(-1), (TzxFilmPosition{0, 0}));
  EXPECT_EQ(t.PositionAt(0.09), (TzxFilmPosition{0, 0}));
  // A frame's own start time is that frame, not the one before.
  for (int32_t k = 0; k < 40; ++k)
    EXPECT_EQ(t.PositionAt(t.TimeOf({0, k})), (TzxFilmPosition{0, k})) << k;
  for (int32_t k = 0; k < 20; ++k)
    EXPECT_EQ(t.PositionAt(t.TimeOf({1, k})), (TzxFilmPosition{1, k})) << k;
  EXPECT_EQ(t.PositionAt(4.0), (TzxFilmPosition{1, 0}));
  EXPECT_EQ(t.PositionAt(4.79), (TzxFilmPosition{1, 19}));
  EXPECT_EQ(t.PositionAt(100), (TzxFilmPosition{1, 19}));
}

TEST(FilmTimeline, LeavesOutEmptySegmentsAndTakesTheClockRateForNone) {
  TzxFilmTimeline t;
  t.Add(0, 1, 0, 10);
  t.Add(1, 2, 5, 0);
  ASSERT_EQ(t.Count(), 1);
  EXPECT_EQ(t.Entry(0).Number, 2);
  EXPECT_DOUBLE_EQ(t.Seconds(), 0.5);
  EXPECT_EQ(TzxFilmTimeline().PositionAt(3), (TzxFilmPosition{0, 0}));
}

TEST(FilmTimeline, StepsCrossSegmentsAndStopAtTheEnds) {
  const TzxFilmTimeline t = TwoSegments();
  TzxFilmPosition p{0, 39};
  ASSERT_TRUE(t.Step(p, 1));
  EXPECT_EQ(p, (TzxFilmPosition{1, 0}));
  ASSERT_TRUE(t.Step(p, -1));
  EXPECT_EQ(p, (TzxFilmPosition{0, 39}));
  p = {0, 0};
  EXPECT_FALSE(t.Step(p, -1));
  EXPECT_EQ(p, (TzxFilmPosition{0, 0}));
  ASSERT_TRUE(t.Step(p, 45));
  EXPECT_EQ(p, (TzxFilmPosition{1, 5}));
  p = t.Last();
  EXPECT_EQ(p, (TzxFilmPosition{1, 19}));
  EXPECT_FALSE(t.Step(p, 1));
  EXPECT_EQ(p, t.Last());
}

TEST(SeekBar, PixelsAndMomentsMatchAtBothEnds) {
  const TzxFilmTimeline t = TwoSegments();
  const TzxSeekBar bar{10, 481};
  EXPECT_DOUBLE_EQ(bar.TimeAt(0, t.Seconds()), 0);
  EXPECT_DOUBLE_EQ(bar.TimeAt(10, t.Seconds()), 0);
  EXPECT_DOUBLE_EQ(bar.TimeAt(10 + 481, t.Seconds()), 4.8);
  EXPECT_DOUBLE_EQ(bar.TimeAt(5000, t.Seconds()), 4.8);
  EXPECT_EQ(bar.PixelOf(0, t.Seconds()), 10);
  EXPECT_EQ(bar.PixelOf(4.8, t.Seconds()), 490);
  EXPECT_EQ(bar.PixelOf(-3, t.Seconds()), 10);
  EXPECT_EQ(bar.PixelOf(1, 0), 10);
  // A click on a pixel goes to a moment that shows on that pixel again.
  for (int32_t x = 10; x < 491; ++x)
    EXPECT_NEAR(bar.PixelOf(bar.TimeAt(x, t.Seconds()), t.Seconds()), x, 1) << x;
}

TEST(SeekBar, MarksWhereLaterSegmentsStart) {
  TzxFilmTimeline t = TwoSegments();
  t.Add(5, 6, 8, 10); // 0.8 s more: 5.6 s
  const TzxSeekBar bar{0, 561};
  const std::vector<int32_t> marks = bar.Marks(t);
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks[0], 400);
  EXPECT_EQ(marks[1], 480);
  // The moment at a mark is the first frame of its segment.
  EXPECT_EQ(t.PositionAt(bar.TimeAt(marks[0], t.Seconds())), (TzxFilmPosition{1, 0}));
  EXPECT_TRUE((TzxSeekBar{0, 100}.Marks(TzxFilmTimeline()).empty()));
}

TEST(Speeds, StepThroughTheTableAndStopAtItsEnds) {
  EXPECT_EQ(StepSpeed(NormalSpeedPosition, 1), 4);
  EXPECT_EQ(StepSpeed(NormalSpeedPosition, -1), 2);
  EXPECT_EQ(StepSpeed(0, -1), 0);
  EXPECT_EQ(StepSpeed(SpeedPositions - 1, 1), SpeedPositions - 1);
  EXPECT_EQ(SpeedText(0), "0.1x");
  EXPECT_EQ(SpeedText(1), "0.25x");
  EXPECT_EQ(SpeedText(NormalSpeedPosition), "1x");
  EXPECT_EQ(SpeedText(7), "10x");
  EXPECT_EQ(SpeedText(8), "MAX");
}

TEST(TextLine, TimesInMinutesSecondsAndTenths) {
  EXPECT_EQ(TimeText(0), "0:00.0");
  EXPECT_EQ(TimeText(62.54), "1:02.5");
  EXPECT_EQ(TimeText(59.96), "1:00.0");
  EXPECT_EQ(TimeText(3723), "1:02:03.0");
  EXPECT_EQ(TimeText(-2), "0:00.0");
}

TEST(TextLine, DrawsGlyphsClippedToThePicture) {
  TzxRgbPicture p;
  p.Width = 8;
  p.Height = 8;
  p.Pixels.assign(8 * 8 * 3, 0);
  DrawText(p, 0, 0, "|", 255, 0, 0);
  // '|' is its middle column, rows 0 .. 6.
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x)
      EXPECT_EQ(p.At(x, y)[0], x == 2 && y < 7 ? 255 : 0) << x << "," << y;
  EXPECT_EQ(p.At(2, 0)[1], 0);
  DrawText(p, 5, 5, "W\x01", 0, 255, 0); // half outside, and a character it lacks
  DrawText(p, -20, -20, "AB", 0, 0, 255);
  EXPECT_EQ(p.At(5, 5)[1], 255);
}

TEST(Keys, EachKeyDoesItsAction) {
  const struct {
    TzxKey Key;
    char C;
    TzxKeyAction Action;
  } cases[] = {
      {TzxKey::Character, ' ', {TzxAction::TogglePause}},
      {TzxKey::Left, 0, {TzxAction::SeekBy, -5}},
      {TzxKey::Right, 0, {TzxAction::SeekBy, 5}},
      {TzxKey::Up, 0, {TzxAction::SeekBy, 60}},
      {TzxKey::Down, 0, {TzxAction::SeekBy, -60}},
      {TzxKey::Character, ',', {TzxAction::FrameBack}},
      {TzxKey::Character, '.', {TzxAction::FrameForward}},
      {TzxKey::Character, '[', {TzxAction::Slower}},
      {TzxKey::Character, ']', {TzxAction::Faster}},
      {TzxKey::PageUp, 0, {TzxAction::PreviousSegment}},
      {TzxKey::PageDown, 0, {TzxAction::NextSegment}},
      {TzxKey::Home, 0, {TzxAction::FilmStart}},
      {TzxKey::End, 0, {TzxAction::FilmEnd}},
      {TzxKey::Character, 'f', {TzxAction::FullScreen}},
      {TzxKey::Character, 'm', {TzxAction::Mute}},
      {TzxKey::Character, 'q', {TzxAction::Quit}},
      {TzxKey::Escape, 0, {TzxAction::Quit}},
      {TzxKey::Character, 'x', {}},
      {TzxKey::Other, 0, {}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ActionForKey(c.Key, c.C), c.Action) << static_cast<int>(c.Key) << " " << c.C;
}

TEST(SoundPosition, AFrameSoundsFromItsTimeInTheSegment) {
  // Frame k of f fps: k / f seconds in.
  EXPECT_EQ(SoundSampleAt(0, 0, 1, 10, 44100), 0);
  EXPECT_EQ(SoundSampleAt(20, 0, 1, 10, 44100), 88200);
  EXPECT_EQ(SoundSampleAt(7, 0, 1, 25, 22050), 6174);
  EXPECT_EQ(SoundSampleAt(3, 0, 1, 7.5, 8000), 3200);
  // A tick within the frame moves on by its share of the frame.
  EXPECT_EQ(SoundSampleAt(20, 1, 3, 10, 44100), 88200 + 1470);
  EXPECT_EQ(SoundSampleAt(20, 2, 3, 10, 44100), 88200 + 2940);
  // A tick beyond the frame's counts as its last one.
  EXPECT_EQ(SoundSampleAt(20, 5, 3, 10, 44100), 88200 + 2940);
  EXPECT_EQ(SoundSampleAt(-1, 0, 1, 10, 44100), 0);
  EXPECT_EQ(SoundSampleAt(5, 0, 1, 0, 44100), 0);
}

namespace {

TzxSoundMoment Playing(int32_t entry, int32_t frame) {
  TzxSoundMoment m;
  m.Position = {entry, frame};
  m.Playing = true;
  return m;
}

} // namespace

TEST(SoundFollower, PlayingOnKeepsTheSoundAndAJumpRestartsIt) {
  TzxSoundFollower f;
  EXPECT_EQ(f.Update(Playing(0, 20), true), TzxSoundChange::Restart);
  EXPECT_EQ(f.Update(Playing(0, 21), false), TzxSoundChange::Keep);
  EXPECT_EQ(f.Update(Playing(0, 21), false), TzxSoundChange::Keep); // told again
  EXPECT_EQ(f.Update(Playing(0, 22), false), TzxSoundChange::Keep);
  // A seek, even to the next frame, starts it again from there.
  EXPECT_EQ(f.Update(Playing(0, 23), true), TzxSoundChange::Restart);
  EXPECT_EQ(f.Update(Playing(0, 10), false), TzxSoundChange::Restart); // back, however told
  EXPECT_EQ(f.Update(Playing(0, 30), false), TzxSoundChange::Restart); // frames skipped
  // The next segment has a sound of its own.
  EXPECT_EQ(f.Update(Playing(1, 0), false), TzxSoundChange::Restart);
  EXPECT_EQ(f.Update(Playing(1, 1), false), TzxSoundChange::Keep);
}

TEST(SoundFollower, SilentUnlessPlayingAtNormalSpeedUnmuted) {
  TzxSoundFollower f;
  EXPECT_EQ(f.Update(Playing(0, 5), true), TzxSoundChange::Restart);
  TzxSoundMoment m = Playing(0, 5);
  m.Playing = false; // paused
  EXPECT_EQ(f.Update(m, false), TzxSoundChange::Stop);
  m.Position.Frame = 6; // a frame step while paused
  EXPECT_EQ(f.Update(m, true), TzxSoundChange::Keep);
  EXPECT_EQ(f.Update(Playing(0, 6), false), TzxSoundChange::Restart); // resumed
  for (const int32_t speed : {0, 2, 4, SpeedPositions - 1}) {
    m = Playing(0, 6);
    m.Speed = speed;
    EXPECT_EQ(f.Update(m, false), TzxSoundChange::Stop) << speed;
    m.Position.Frame = 7;
    EXPECT_EQ(f.Update(m, false), TzxSoundChange::Keep) << speed;
    // Back at normal speed the sound starts again, at the frame shown then.
    EXPECT_EQ(f.Update(Playing(0, 8), false), TzxSoundChange::Restart) << speed;
  }
  m = Playing(0, 8);
  m.Muted = true;
  EXPECT_EQ(f.Update(m, false), TzxSoundChange::Stop);
  m.Position.Frame = 9;
  EXPECT_EQ(f.Update(m, false), TzxSoundChange::Keep);
  EXPECT_EQ(f.Update(Playing(0, 9), false), TzxSoundChange::Restart); // unmuted
  EXPECT_TRUE(TzxSoundFollower::Audible(Playing(0, 0)));
}

// Only the rows between the first and the last that changed go to the
// window again; a picture of another size goes whole.
TEST(ChangedRows, SpanTheFirstToTheLastRowThatDiffers) {
  TzxRgbPicture before;
  before.Width = 4;
  before.Height = 6;
  before.Pixels.assign(4 * 6 * 3, 10);
  TzxRgbPicture now = before;
  EXPECT_TRUE(ChangedRows(now, before).Empty());
  now.At(3, 1)[2] = 11; // the last byte of row 1
  now.At(0, 4)[0] = 11; // the first byte of row 4
  EXPECT_EQ(ChangedRows(now, before), (TzxRowSpan{1, 5}));
  now = before;
  now.At(0, 0)[0] = 0;
  now.At(3, 5)[2] = 0;
  EXPECT_EQ(ChangedRows(now, before), (TzxRowSpan{0, 6}));
  TzxRgbPicture other = before;
  other.Width = 6;
  other.Height = 4;
  EXPECT_EQ(ChangedRows(other, before), (TzxRowSpan{0, 4}));
  EXPECT_EQ(ChangedRows(before, TzxRgbPicture{}), (TzxRowSpan{0, 6}));
  // Only rows within the span asked about are compared.
  now = before;
  now.At(0, 1)[0] = 0;
  now.At(0, 4)[0] = 0;
  EXPECT_EQ(ChangedRows(now, before, {3, 6}), (TzxRowSpan{4, 5}));
  EXPECT_TRUE(ChangedRows(now, before, {2, 4}).Empty());
  EXPECT_EQ(Union({1, 2}, {4, 5}), (TzxRowSpan{1, 5}));
  EXPECT_EQ(Union({}, {4, 5}), (TzxRowSpan{4, 5}));
}
