// zxplay's sound: a segment's MP3 read with libmpg123 a piece at a time
// and played through an SDL audio device from a given sample frame on. The
// player keeps the device's queue topped up from its main loop, so no
// sound is decoded before it is needed and none is held beyond a moment's
// worth.
#pragma once

#include <SDL.h>
#include <mpg123.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An MP3 file as signed 16-bit samples at its own rate and channel count.
// The constructor raises EzxError, saying what is wrong with the file in
// words of its own, when it holds no MPEG audio.
class TzxMp3Stream {
public:
  explicit TzxMp3Stream(const std::string &file);

  int32_t Rate() const { return FRate; }
  int32_t Channels() const { return FChannels; }
  // Reading goes on from sample frame `frame` (a frame past the end leaves
  // nothing to read).
  void SeekTo(int64_t frame);
  // Up to `frames` sample frames, interleaved, into out; 0 at the end. Data
  // damaged beyond repair ends the sound there, and Damage() says where.
  int64_t Read(int16_t *out, int64_t frames);
  const std::string &Damage() const { return FDamage; }

private:
  struct TDelete {
    void operator()(mpg123_handle *h) const;
  };
  std::unique_ptr<mpg123_handle, TDelete> FHandle;
  int32_t FRate = 0, FChannels = 0;
  bool FEnded = false;
  std::string FDamage;
};

// An open audio device (with SDL's audio for its length) that plays 16-bit
// samples of one rate and channel count from a stream.
class TzxAudioDevice {
public:
  TzxAudioDevice(int32_t rate, int32_t channels); // EzxError when none opens
  ~TzxAudioDevice();
  TzxAudioDevice(const TzxAudioDevice &) = delete;
  TzxAudioDevice &operator=(const TzxAudioDevice &) = delete;

  int32_t Rate() const { return FSpec.freq; }
  int32_t Channels() const { return FSpec.channels; }
  // Plays the stream from sample frame `from` on, in place of anything
  // before; the stream must outlive the playing (Stop, or another Play).
  void Play(TzxMp3Stream &stream, int64_t from);
  // Tops the device's queue up to half a second ahead: called
  // often enough (every 50 ms) the sound never runs dry.
  void Feed();
  void Stop();
  bool Playing() const { return FStream != nullptr; }
  // The sample frame of the stream the listener hears about now: where
  // Play started, on by what the device has taken from its queue, less the
  // half of its own buffer it is playing through. -1 when not playing.
  int64_t Heard() const;

private:
  SDL_AudioDeviceID FId = 0;
  SDL_AudioSpec FSpec{};
  TzxMp3Stream *FStream = nullptr; // while playing
  int64_t FFrom = 0, FQueued = 0;  // where Play started, sample frames queued since
  std::vector<int16_t> FBuffer;
};
