#include "zxSound.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(DecodeMp3, WhatIsNoMp3IsAnError) {
  TzxTestDir dir;
  EXPECT_THROW(DecodeMp3(dir.File("none.mp3")), EzxError);
  const std::string text = "not a sound at all, only words";
  WriteWholeFile(dir.File("words.mp3"), TzxBytes(text.begin(), text.end()));
  EXPECT_THROW(DecodeMp3(dir.File("words.mp3")), EzxError);
  WriteWholeFile(dir.File("empty.mp3"), {});
  EXPECT_THROW(DecodeMp3(dir.File("empty.mp3")), EzxError);
}

TEST(DecodeMp3, AToneComesBackAtItsRateAndPitch) {
  if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
  TzxTestDir dir;
  const std::string mp3 = dir.File("tone.mp3");
  ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i sine=frequency=440:sample_rate=22050:"
                         "duration=1 -ac 2 -c:a libmp3lame -y " +
                         mp3)
                            .c_str()),
            0);
  const TzxPcm pcm = DecodeMp3(mp3);
  EXPECT_EQ(pcm.Rate, 22050);
  EXPECT_EQ(pcm.Channels, 2);
  // A second, give or take the encoder's padding.
  EXPECT_NEAR(double(pcm.Frames()), 22050, 3000);
  // 440 Hz: about 880 sign changes a second on the left channel, in the
  // middle of the sound.
  int32_t changes = 0;
  for (int64_t i = 5001; i < 16026; ++i)
    changes += (pcm.Samples[size_t(i * 2)] < 0) != (pcm.Samples[size_t(i * 2 - 2)] < 0);
  EXPECT_NEAR(changes / 0.5, 880, 40);
}

TEST(AudioDevice, TakesTheRateAndChannelsAsAsked) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  TzxPcm pcm;
  pcm.Rate = 22050;
  pcm.Channels = 1;
  pcm.Samples.assign(100, 0);
  TzxAudioDevice device(pcm.Rate, pcm.Channels);
  EXPECT_EQ(device.Rate(), 22050);
  EXPECT_EQ(device.Channels(), 1);
  device.Play(pcm, 50);
  device.Play(pcm, 100); // from its end: nothing to play
  device.Stop();
}
