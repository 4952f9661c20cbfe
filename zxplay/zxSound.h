// zxplay's sound: a segment's MP3 decoded with libmpg123 and played
// through an SDL audio device from a given sample frame on.
#pragma once

#include <SDL.h>
#include <mpg123.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Interleaved signed 16-bit samples.
struct TzxPcm {
  int32_t Rate = 0;
  int32_t Channels = 0;
  std::vector<int16_t> Samples;
  int64_t Frames() const { return Channels > 0 ? int64_t(Samples.size()) / Channels : 0; }
};

// The whole of an MP3 file as PCM; EzxError with the reason when it cannot
// be decoded.
TzxPcm DecodeMp3(const std::string &file);

// An open audio device (with SDL's audio for its length) that plays 16-bit
// PCM of one rate and channel count.
class TzxAudioDevice {
public:
  TzxAudioDevice(int32_t rate, int32_t channels); // EzxError when none opens
  ~TzxAudioDevice();
  TzxAudioDevice(const TzxAudioDevice &) = delete;
  TzxAudioDevice &operator=(const TzxAudioDevice &) = delete;

  int32_t Rate() const { return FSpec.freq; }
  int32_t Channels() const { return FSpec.channels; }
  // Plays pcm from sample frame `from` on, in place of anything before.
  void Play(const TzxPcm &pcm, int64_t from);
  void Stop();

private:
  SDL_AudioDeviceID FId = 0;
  SDL_AudioSpec FSpec{};
};
