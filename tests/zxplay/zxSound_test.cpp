#include "zxSound.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

// What opening file raises, in the player's own words.
std::string OpenError(const std::string &file) {
  try {
    TzxMp3Stream s(file);
  } catch (const EzxError &e) {
    return e.what();
  }
  return "";
}

bool HaveFfmpeg() {
  return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// A tone of hz at rate, channels, seconds long, as MP3.
std::string Tone(const TzxTestDir &dir, const std::string &name, int hz, int rate, int channels,
                 double seconds) {
  const std::string mp3 = dir.File(name);
  EXPECT_EQ(std::system(Format("ffmpeg -v error -f lavfi -i sine=frequency=%d:sample_rate=%d:"
                               "duration=%g -ac %d -c:a libmp3lame -id3v2_version 0 -write_xing 0 "
                               "-y %s",
                               hz, rate, seconds, channels, mp3.c_str())
                            .c_str()),
            0);
  return mp3;
}

// Sign changes a second on the first channel over samples [from, to).
double Crossings(const std::vector<int16_t> &x, int channels, int rate, size_t from, size_t to) {
  int32_t changes = 0;
  for (size_t i = from + 1; i < to; ++i)
    changes += (x[i * channels] < 0) != (x[(i - 1) * channels] < 0);
  return changes / (double(to - from) / rate);
}

std::vector<int16_t> ReadAll(TzxMp3Stream &s) {
  std::vector<int16_t> all, piece(size_t(1000) * s.Channels());
  for (int64_t n; (n = s.Read(piece.data(), 1000)) > 0;)
    all.insert(all.end(), piece.begin(), piece.begin() + n * s.Channels());
  return all;
}

} // namespace

TEST(Mp3Stream, WhatIsNoMp3IsSaidInTheFilmsWords) {
  TzxTestDir dir;
  EXPECT_EQ(OpenError(dir.File("none.mp3")), "its sound file cannot be opened");
  const std::string text = "not a sound at all, only words";
  WriteWholeFile(dir.File("words.mp3"), TzxBytes(text.begin(), text.end()));
  EXPECT_EQ(OpenError(dir.File("words.mp3")), "its MP3 data holds no MPEG audio frames");
  WriteWholeFile(dir.File("empty.mp3"), {});
  EXPECT_EQ(OpenError(dir.File("empty.mp3")), "its MP3 data holds no MPEG audio frames");
  // A frame header and nothing behind it that decodes.
  TzxBytes header = {0xFF, 0xF3, 0x44, 0xC4};
  header.resize(3000);
  WriteWholeFile(dir.File("header.mp3"), header);
  EXPECT_EQ(OpenError(dir.File("header.mp3")), "its MP3 data holds no MPEG audio frames");
}

// Read from a sample frame on, the stream gives what a read from the start
// gives there: the sound after a seek is the sound of that moment.
TEST(Mp3Stream, ReadsFromAnySampleAsFromTheStart) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  TzxTestDir dir;
  const std::string mp3 = Tone(dir, "tone.mp3", 440, 22050, 2, 3);
  TzxMp3Stream whole(mp3);
  EXPECT_EQ(whole.Rate(), 22050);
  EXPECT_EQ(whole.Channels(), 2);
  const std::vector<int16_t> all = ReadAll(whole);
  EXPECT_NEAR(double(all.size()) / 2, 3 * 22050, 3000);
  EXPECT_NEAR(Crossings(all, 2, 22050, 5000, 16025), 880, 40);
  EXPECT_EQ(whole.Damage(), "");
  TzxMp3Stream s(mp3);
  for (const int64_t at : {40000, 1200, 30000}) {
    s.SeekTo(at);
    std::vector<int16_t> piece(2000);
    ASSERT_EQ(s.Read(piece.data(), 1000), 1000);
    EXPECT_TRUE(std::equal(piece.begin(), piece.end(), all.begin() + at * 2)) << at;
  }
  s.SeekTo(int64_t(all.size())); // past the end: nothing
  int16_t one[2];
  EXPECT_EQ(s.Read(one, 1), 0);
}

// Sound whose data breaks off in garbage plays up to there; a part at
// another rate and channel count is converted to the first part's.
TEST(Mp3Stream, SoundThatBreaksOffOrChangesFormatPlaysWhatItHolds) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  TzxTestDir dir;
  const TzxBytes low = ReadWholeFile(Tone(dir, "low.mp3", 300, 22050, 1, 1));
  const TzxBytes high = ReadWholeFile(Tone(dir, "high.mp3", 600, 44100, 2, 1));
  TzxBytes joined = low;
  joined.insert(joined.end(), high.begin(), high.end());
  WriteWholeFile(dir.File("joined.mp3"), joined);
  TzxMp3Stream both(dir.File("joined.mp3"));
  std::vector<int16_t> all = ReadAll(both);
  EXPECT_NEAR(double(all.size()), 2 * 22050, 4000);
  EXPECT_NEAR(Crossings(all, 1, 22050, 5000, 16025), 600, 30);
  EXPECT_NEAR(Crossings(all, 1, 22050, 27000, 38025), 1200, 60);

  TzxBytes broken = low;
  uint32_t seed = 7;
  for (int i = 0; i < 20000; ++i)
    broken.push_back(static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24));
  WriteWholeFile(dir.File("broken.mp3"), broken);
  TzxMp3Stream s(dir.File("broken.mp3"));
  all = ReadAll(s);
  EXPECT_NEAR(Crossings(all, 1, 22050, 5000, 16025), 600, 30);
  EXPECT_LT(double(all.size()), 22050 * 1.6) << s.Damage();
}

// The device plays a stream from any sample frame, its end included, and
// keeps its queue filled from it.
TEST(AudioDevice, PlaysAStreamAtItsRateAndChannels) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  TzxTestDir dir;
  TzxMp3Stream sound(Tone(dir, "tone.mp3", 440, 22050, 1, 1));
  TzxAudioDevice device(sound.Rate(), sound.Channels());
  EXPECT_EQ(device.Rate(), 22050);
  EXPECT_EQ(device.Channels(), 1);
  EXPECT_EQ(device.Heard(), -1);
  device.Play(sound, 50);
  EXPECT_TRUE(device.Playing());
  device.Feed();
  // Heard from where it started, no further on than it has been given
  // (half a second).
  const int64_t heard = device.Heard();
  EXPECT_GE(heard, 50);
  EXPECT_LE(heard, 50 + 22050 / 2 + 4096);
  device.Play(sound, 10 * 22050); // past its end: nothing to play
  device.Feed();
  device.Stop();
  EXPECT_FALSE(device.Playing());
  EXPECT_EQ(device.Heard(), -1);
}
