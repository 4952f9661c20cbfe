#include "zxSound.h"

#include "zxClasses.h"

#include <algorithm>
#include <cstdint>

namespace {

struct TMpg123Delete {
  void operator()(mpg123_handle *h) const {
    mpg123_close(h);
    mpg123_delete(h);
  }
};
using TMpg123 = std::unique_ptr<mpg123_handle, TMpg123Delete>;

std::string Mpg123Error(mpg123_handle *h, int code) {
  return code == MPG123_ERR && h ? mpg123_strerror(h) : mpg123_plain_strerror(code);
}

} // namespace

TzxPcm DecodeMp3(const std::string &file) {
  int code = MPG123_OK;
  TMpg123 h(mpg123_new(nullptr, &code));
  if (!h) throw EzxError(Format("cannot start libmpg123: %s", mpg123_plain_strerror(code)));
  mpg123_param(h.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  if ((code = mpg123_open(h.get(), file.c_str())) != MPG123_OK)
    throw EzxError(Format("libmpg123 cannot read it (%s)", Mpg123Error(h.get(), code).c_str()));
  long rate = 0;
  int channels = 0, encoding = 0;
  if ((code = mpg123_getformat(h.get(), &rate, &channels, &encoding)) != MPG123_OK)
    throw EzxError(Format("no MPEG audio in it (%s)", Mpg123Error(h.get(), code).c_str()));
  // Signed 16-bit at the file's own rate and channels, whatever the default.
  mpg123_format_none(h.get());
  if ((code = mpg123_format(h.get(), rate, channels, MPG123_ENC_SIGNED_16)) != MPG123_OK)
    throw EzxError(Format("libmpg123 cannot give it as 16-bit samples (%s)",
                          Mpg123Error(h.get(), code).c_str()));
  TzxPcm pcm;
  pcm.Rate = static_cast<int32_t>(rate);
  pcm.Channels = channels;
  std::vector<unsigned char> buffer(64 * 1024);
  for (;;) {
    size_t done = 0;
    code = mpg123_read(h.get(), buffer.data(), buffer.size(), &done);
    const auto *s = reinterpret_cast<const int16_t *>(buffer.data());
    pcm.Samples.insert(pcm.Samples.end(), s, s + done / sizeof(int16_t));
    if (code == MPG123_DONE) break;
    if (code == MPG123_NEW_FORMAT) {
      mpg123_getformat(h.get(), &rate, &channels, &encoding);
      if (rate != pcm.Rate || channels != pcm.Channels)
        throw EzxError("its rate or channels change within it");
      continue;
    }
    if (code != MPG123_OK)
      throw EzxError(Format("libmpg123 stops in it (%s)", Mpg123Error(h.get(), code).c_str()));
  }
  if (pcm.Frames() == 0) throw EzxError("libmpg123 decodes no sound from it");
  return pcm;
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

void TzxAudioDevice::Play(const TzxPcm &pcm, int64_t from) {
  Stop();
  const int64_t frames = pcm.Frames();
  if (from < 0 || from >= frames) return;
  const int16_t *first = pcm.Samples.data() + from * pcm.Channels;
  const size_t bytes = size_t(frames - from) * size_t(pcm.Channels) * sizeof(int16_t);
  if (SDL_QueueAudio(FId, first, static_cast<Uint32>(std::min<size_t>(bytes, UINT32_MAX))) == 0)
    SDL_PauseAudioDevice(FId, 0);
}

void TzxAudioDevice::Stop() {
  SDL_PauseAudioDevice(FId, 1);
  SDL_ClearQueuedAudio(FId);
}
