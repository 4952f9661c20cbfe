#include "zxSound.h"

#include "zxClasses.h"

#include <algorithm>
#include <cstdint>

void TzxMp3Stream::TDelete::operator()(mpg123_handle *h) const {
  mpg123_close(h);
  mpg123_delete(h);
}

TzxMp3Stream::TzxMp3Stream(const std::string &file) {
  int code = MPG123_OK;
  FHandle.reset(mpg123_new(nullptr, &code));
  if (!FHandle) throw EzxError("the MP3 decoder cannot start (out of memory?)");
  mpg123_handle *h = FHandle.get();
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  if (mpg123_open(h, file.c_str()) != MPG123_OK) throw EzxError("its sound file cannot be opened");
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels <= 0)
    throw EzxError("its MP3 data holds no MPEG audio frames");
  // Signed 16-bit at the file's own rate and channels, whatever the default.
  mpg123_format_none(h);
  if (mpg123_format(h, rate, channels, MPG123_ENC_SIGNED_16) != MPG123_OK)
    throw EzxError(Format("its MP3 data (%ld Hz, %d channels) cannot be played", rate, channels));
  FRate = static_cast<int32_t>(rate);
  FChannels = channels;
}

void TzxMp3Stream::SeekTo(int64_t frame) {
  FEnded =
      mpg123_seek(FHandle.get(), static_cast<off_t>(std::max<int64_t>(frame, 0)), SEEK_SET) < 0;
}

int64_t TzxMp3Stream::Read(int16_t *out, int64_t frames) {
  const size_t want = size_t(std::max<int64_t>(frames, 0)) * size_t(FChannels) * sizeof(int16_t);
  size_t got = 0;
  while (!FEnded && got < want) {
    size_t done = 0;
    const int code =
        mpg123_read(FHandle.get(), reinterpret_cast<unsigned char *>(out) + got, want - got, &done);
    got += done;
    if (code == MPG123_OK) continue;
    if (code == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0, encoding = 0;
      mpg123_getformat(FHandle.get(), &rate, &channels, &encoding);
      if (rate == FRate && channels == FChannels) continue;
      FDamage = Format("its MP3 data changes from %d Hz, %d channels to %ld Hz, %d channels", FRate,
                       FChannels, rate, channels);
    } else if (code != MPG123_DONE) {
      const off_t at = mpg123_tell(FHandle.get());
      FDamage = Format("its MP3 data is damaged after %.1f s", at > 0 ? double(at) / FRate : 0.0);
    }
    FEnded = true;
  }
  return int64_t(got / sizeof(int16_t) / size_t(FChannels));
}

TzxAudioDevice::TzxAudioDevice(int32_t rate, int32_t channels) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
    throw EzxError(Format("no audio: %s", SDL_GetError()));
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = static_cast<Uint8>(std::clamp(channels, 1, 8));
  want.samples = 2048;
  // No changes allowed: SDL converts, so the device takes this PCM as it is.
  FId = SDL_OpenAudioDevice(nullptr, 0, &want, &FSpec, 0);
  if (FId == 0) {
    const std::string why = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    throw EzxError(Format("no audio device opens: %s", why.c_str()));
  }
}

TzxAudioDevice::~TzxAudioDevice() {
  SDL_CloseAudioDevice(FId);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void TzxAudioDevice::Play(TzxMp3Stream &stream, int64_t from) {
  Stop();
  stream.SeekTo(from);
  FStream = &stream;
  FFrom = from;
  FQueued = 0;
  Feed();
  SDL_PauseAudioDevice(FId, 0);
}

void TzxAudioDevice::Feed() {
  if (!FStream) return;
  const int64_t frameBytes = int64_t(FSpec.channels) * int64_t(sizeof(int16_t));
  const int64_t ahead = int64_t(FSpec.freq) / 2;
  const int64_t chunk = 4096;
  FBuffer.resize(size_t(chunk) * size_t(FSpec.channels));
  while (int64_t(SDL_GetQueuedAudioSize(FId)) / frameBytes < ahead) {
    const int64_t n = FStream->Read(FBuffer.data(), chunk);
    if (n <= 0) break;
    if (SDL_QueueAudio(FId, FBuffer.data(), static_cast<Uint32>(n * frameBytes)) == 0) FQueued += n;
  }
}

int64_t TzxAudioDevice::Heard() const {
  if (!FStream) return -1;
  const int64_t frameBytes = int64_t(FSpec.channels) * int64_t(sizeof(int16_t));
  const int64_t waiting = int64_t(SDL_GetQueuedAudioSize(FId)) / frameBytes;
  return FFrom + std::max<int64_t>(FQueued - waiting - FSpec.samples / 2, 0);
}

void TzxAudioDevice::Stop() {
  FStream = nullptr;
  SDL_PauseAudioDevice(FId, 1);
  SDL_ClearQueuedAudio(FId);
}
