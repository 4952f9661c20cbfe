// The wave-out sound stream and the choice between it and the media player.
#include "zxWaveOut_win.h"

#include "zxHandles_win.h"
#include "zxMPlayer_win.h"

#include <cmath>
#include <memory>
#include <mutex>

static_assert(WaveStreamPlaying == mpPlaying && WaveStreamStopped == mpStopped);

namespace {

// The wave mapper's device, its messages going to a window, with a header
// prepared for each of the stream's buffers.
class TzxWaveOutPort : public TzxWaveDevice {
public:
  // Where MM_WOM_DONE goes; set on the main thread before the stream opens.
  HWND Window = nullptr;

  bool Open(std::span<const uint8_t> format, const TBuffers &buffers, int32_t bufferSize) override {
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, reinterpret_cast<const WAVEFORMATEX *>(format.data()),
                    reinterpret_cast<DWORD_PTR>(Window), 0, CALLBACK_WINDOW) != MMSYSERR_NOERROR)
      return false;
    FDevice.Attach(device);
    for (int32_t i = 0; i < WaveBufferCount; ++i) {
      FHeaders[i] = WAVEHDR{};
      FHeaders[i].lpData = buffers[i];
      FHeaders[i].dwBufferLength = static_cast<DWORD>(bufferSize);
      if (waveOutPrepareHeader(device, &FHeaders[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        Close();
        return false;
      }
    }
    return true;
  }
  void Write(int32_t i, int32_t n) override {
    FHeaders[i].dwBufferLength = static_cast<DWORD>(n);
    waveOutWrite(FDevice.Get(), &FHeaders[i], sizeof(WAVEHDR));
  }
  bool Queued(int32_t i) const override { return (FHeaders[i].dwFlags & WHDR_INQUEUE) != 0; }
  void Reset() override { waveOutReset(FDevice.Get()); }
  void Close() override {
    for (WAVEHDR &header : FHeaders) {
      if (FDevice && (header.dwFlags & WHDR_PREPARED))
        waveOutUnprepareHeader(FDevice.Get(), &header, sizeof(WAVEHDR));
      header = WAVEHDR{};
    }
    FDevice.Close();
  }

  // The buffer the header belongs to; -1 for any other header. The headers
  // stay where they are for the program's life, so no lock is needed.
  int32_t IndexOf(const WAVEHDR *header) const {
    for (int32_t i = 0; i < WaveBufferCount; ++i)
      if (header == &FHeaders[i]) return i;
    return -1;
  }

private:
  TzxWaveOutDevice FDevice;
  WAVEHDR FHeaders[WaveBufferCount] = {};
};

// A sound file opened for reading.
class TzxWinSoundFile : public TzxSoundFile {
public:
  explicit TzxWinSoundFile(HANDLE file) : FFile(file) {}
  bool IsOpen() const { return static_cast<bool>(FFile); }

  int64_t Size() override {
    LARGE_INTEGER size{};
    return GetFileSizeEx(FFile.Get(), &size) ? size.QuadPart : -1;
  }
  bool Seek(int64_t position) override {
    LARGE_INTEGER target{};
    target.QuadPart = position;
    return SetFilePointerEx(FFile.Get(), target, nullptr, FILE_BEGIN) != 0;
  }
  int32_t Read(void *buffer, int32_t n) override {
    DWORD read = 0;
    if (!ReadFile(FFile.Get(), buffer, static_cast<DWORD>(n), &read, nullptr)) return -1;
    return static_cast<int32_t>(read);
  }

private:
  TzxFileHandle FFile;
};

std::unique_ptr<TzxSoundFile> OpenSoundFile(const std::string &name) {
  auto file = std::make_unique<TzxWinSoundFile>(CreateFileA(name.c_str(), GENERIC_READ,
                                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file->IsOpen()) return nullptr;
  return file;
}

// Guards the choice of path, the sound's name and the media player; taken
// before the stream's own lock, never after it.
std::recursive_mutex SoundLock;
bool FUseMediaPlayer = false;
std::string FSoundName;
bool MediaErrorShown = false; // since the last ResetSoundReports
TzxWaveOutPort WaveOut;
TzxWaveStream Stream(WaveOut);

} // namespace

bool SoundStreaming() {
  return Stream.Streaming();
}

bool UseMediaPlayer() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  return FUseMediaPlayer;
}

bool WaveOutOpened() {
  return Stream.Opened();
}

std::string SoundName() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  return FSoundName;
}

void CloseWaveOut() {
  Stream.Close();
}

bool OpenWaveOut(const TzxMpegLayer3WaveFormat &format, HWND window) {
  if (window == nullptr) return false;
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  WaveOut.Window = window;
  return Stream.Open(format);
}

void OnWaveDone(WAVEHDR *header) {
  Stream.OnDone(WaveOut.IndexOf(header));
}

void StopSound() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  if (FUseMediaPlayer) {
    Sleep(1);
    MediaPlayer().Stop();
    MediaPlayer().Close();
    return;
  }
  Stream.Stop();
}

void PauseSound() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  if (FUseMediaPlayer)
    MediaPlayer().Pause();
  else
    Stream.Pause();
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
  Stream.Seek(position);
}

void StartSound(const TzxSoundPosition &position, bool normalSpeed) {
  std::unique_lock<std::recursive_mutex> lock(SoundLock);
  if (FSoundName.empty() || !normalSpeed) {
    PauseSound();
    return;
  }
  if (!FUseMediaPlayer) {
    Stream.Start(position);
    return;
  }
  // A media player that never opened has nothing to start: waiting for it
  // to play would only hold up the picture.
  if (!MediaPlayer().Opened()) return;
  SeekSound(position);
  MediaPlayer().Play();
  lock.unlock(); // the wait needs no sound state
  for (int32_t i = 0; i < 2000 && MediaPlayer().GetMode() != mpPlaying; ++i)
    Sleep(1);
}

int32_t SoundMode() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  if (FUseMediaPlayer) return MediaPlayer().GetMode();
  return Stream.Mode();
}

int32_t WaveBuffersQueued() {
  return Stream.BuffersQueued();
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
    Stream.SetFile(nullptr);
    return choice;
  }
  if (FUseMediaPlayer) {
    MediaPlayer().FileName = FSoundName;
    MediaPlayer().Open(!MediaErrorShown);
    if (!MediaPlayer().Opened()) MediaErrorShown = true;
  } else {
    Stream.SetFile(OpenSoundFile(FSoundName));
  }
  return choice;
}

void ResetSoundReports() {
  std::lock_guard<std::recursive_mutex> lock(SoundLock);
  MediaErrorShown = false;
}
