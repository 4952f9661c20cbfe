// The wave-out sound stream and the choice between it and the media player.
#include "zxWaveOut_win.h"

#include "zxClasses.h"
#include "zxHandles_win.h"
#include "zxMPlayer_win.h"
#include "zxTexts.h"

#include <cmath>
#include <memory>
#include <mutex>

std::atomic<bool> SoundStreaming{false};

namespace {

std::recursive_mutex SoundLock;
bool FUseMediaPlayer = false;
std::string FSoundName;
TzxFileHandle SoundFile;
TzxWaveOutDevice WaveOut;
bool FWaveOutOpened = false;
WAVEHDR WaveHeaders[2] = {};
bool MediaErrorShown = false; // since the last ResetSoundReports
std::unique_ptr<char[]> WaveBuffers[2];

bool IsOurHeader(const WAVEHDR *header) {
  return header == &WaveHeaders[0] || header == &WaveHeaders[1];
}

bool FillWaveBuffer(WAVEHDR &header) {
  if (!SoundFile || header.lpData == nullptr) return false;
  DWORD read = 0;
  if (!ReadFile(SoundFile.Get(), header.lpData, WaveBufferSize, &read, nullptr) || read == 0) {
    SoundStreaming = false;
    return false;
  }
  header.dwBufferLength = read;
  return true;
}

void WriteHeader(WAVEHDR &header) {
  if (WaveOut) waveOutWrite(WaveOut.Get(), &header, sizeof header);
}

void ResetWaveOut() {
  SoundStreaming = false;
  if (WaveOut) waveOutReset(WaveOut.Get());
}

std::string LlseekErrorText() {
  return TextLlseekError.empty() ? std::string("_llseek error") : TextLlseekError;
}

} // namespace

bool UseMediaPlayer() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  return FUseMediaPlayer;
}

bool WaveOutOpened() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  return FWaveOutOpened;
}

std::string SoundName() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  return FSoundName;
}

void CloseWaveOut() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  ResetWaveOut();
  for (int32_t i = 0; i < 2; ++i) {
    if (WaveOut && (WaveHeaders[i].dwFlags & WHDR_PREPARED))
      waveOutUnprepareHeader(WaveOut.Get(), &WaveHeaders[i], sizeof(WAVEHDR));
    WaveHeaders[i] = WAVEHDR{};
    WaveBuffers[i].reset();
  }
  WaveOut.Close();
  FWaveOutOpened = false;
}

bool OpenWaveOut(const TzxMpegLayer3WaveFormat &format, HWND window) {
  if (window == nullptr) return false;
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  if (FWaveOutOpened) CloseWaveOut();
  const auto bytes = Mp3FormatBytes(format);
  HWAVEOUT device = nullptr;
  if (waveOutOpen(&device, WAVE_MAPPER, reinterpret_cast<const WAVEFORMATEX *>(bytes.data()),
                  reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW) != MMSYSERR_NOERROR)
    return false;
  WaveOut.Attach(device);
  for (int32_t i = 0; i < 2; ++i) {
    WaveHeaders[i] = WAVEHDR{};
    WaveBuffers[i] = std::make_unique<char[]>(WaveBufferSize);
    WaveHeaders[i].lpData = WaveBuffers[i].get();
    WaveHeaders[i].dwBufferLength = WaveBufferSize;
    if (waveOutPrepareHeader(device, &WaveHeaders[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
      CloseWaveOut();
      return false;
    }
  }
  FWaveOutOpened = true;
  return true;
}

void OnWaveDone(WAVEHDR *header) {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  // A header that is queued again was restarted since this message was sent.
  if (!FWaveOutOpened || !IsOurHeader(header) || (header->dwFlags & WHDR_INQUEUE)) return;
  if (FillWaveBuffer(*header) && SoundStreaming) WriteHeader(*header);
}

void StopSound() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  if (FUseMediaPlayer) {
    Sleep(1);
    MediaPlayer().Stop();
    MediaPlayer().Close();
    return;
  }
  ResetWaveOut();
  SoundFile.Close();
}

void PauseSound() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  if (FUseMediaPlayer)
    MediaPlayer().Pause();
  else
    ResetWaveOut();
}

int64_t SoundByteTarget(int32_t frameIndex, int32_t frameCount, int64_t size) {
  if (frameCount == 0) return 0;
  return static_cast<int64_t>(
      std::nearbyint(static_cast<double>(frameIndex) / frameCount * static_cast<double>(size)));
}

uint32_t SoundTimeTarget(int32_t frameIndex, int32_t frameCount, uint32_t length) {
  if (frameCount == 0) return 0;
  const double product = static_cast<double>(length) * static_cast<double>(frameIndex);
  return static_cast<uint32_t>(std::nearbyint(product / frameCount));
}

void SeekSound(const TzxSoundPosition &position) {
  if (!position.HasSegment) return;
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  if (FUseMediaPlayer) {
    MediaPlayer().SetTimeFormat(MCI_FORMAT_MILLISECONDS);
    const uint32_t length = MediaPlayer().GetLength();
    MediaPlayer().Seek(SoundTimeTarget(position.FrameIndex, position.FrameCount, length));
    return;
  }
  if (!SoundFile) return;
  LARGE_INTEGER zero{}, end{};
  if (!SetFilePointerEx(SoundFile.Get(), zero, &end, FILE_END)) throw EzxError(LlseekErrorText());
  LARGE_INTEGER target{};
  target.QuadPart = SoundByteTarget(position.FrameIndex, position.FrameCount, end.QuadPart);
  if (!SetFilePointerEx(SoundFile.Get(), target, nullptr, FILE_BEGIN))
    throw EzxError(LlseekErrorText());
}

void StartSound(const TzxSoundPosition &position, bool normalSpeed) {
  std::unique_lock<std::recursive_mutex> lock(SoundLock);
  if (FSoundName.empty() || !normalSpeed) {
    PauseSound();
    return;
  }
  // A media player that never opened has nothing to start: waiting for it
  // to play would only hold up the picture.
  if (FUseMediaPlayer && !MediaPlayer().Opened()) return;
  SeekSound(position);
  if (FUseMediaPlayer) {
    MediaPlayer().Play();
    lock.unlock(); // the wait needs no sound state
    for (int32_t i = 0; i < 2000 && MediaPlayer().GetMode() != mpPlaying; ++i)
      Sleep(1);
    return;
  }
  SoundStreaming = true;
  for (WAVEHDR &header : WaveHeaders)
    if (FillWaveBuffer(header)) WriteHeader(header);
}

int32_t SoundMode() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  if (FUseMediaPlayer) return MediaPlayer().GetMode();
  return SoundStreaming ? mpPlaying : mpStopped;
}

int32_t WaveBuffersQueued() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  int32_t count = 0;
  for (const WAVEHDR &header : WaveHeaders)
    if (header.dwFlags & WHDR_INQUEUE) ++count;
  return count;
}

TzxSoundChoice ChooseSoundPath(const std::string &soundFileName, HWND window) {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  TzxSoundChoice choice;
  FSoundName = soundFileName;
  if (!FSoundName.empty()) {
    TzxMpegLayer3WaveFormat format{};
    try {
      if (GetMp3FileInfo(FSoundName, format))
        FUseMediaPlayer = !OpenWaveOut(format, window);
      else
        FUseMediaPlayer = true;
    } catch (const EzxMp3Error &e) {
      choice.Refused = true;
      choice.Reason = e.Reason();
      FSoundName.clear();
    }
  }
  if (FSoundName.empty()) {
    MediaPlayer().FileName.clear();
    SoundFile.Close();
    return choice;
  }
  if (FUseMediaPlayer) {
    MediaPlayer().FileName = FSoundName;
    MediaPlayer().Open(!MediaErrorShown);
    if (!MediaPlayer().Opened()) MediaErrorShown = true;
  } else {
    SoundFile.Attach(CreateFileA(FSoundName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  return choice;
}

void ResetSoundReports() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  MediaErrorShown = false;
}
