// The wave-out stream over its device and its sound file.
#include "zxWaveStream.h"

#include "zxClasses.h"
#include "zxTexts.h"

#include <cmath>

namespace {

[[noreturn]] void ThrowLlseekError() {
  throw EzxError(TextLlseekError.empty() ? std::string("_llseek error") : TextLlseekError);
}

} // namespace

int64_t SoundByteTarget(int32_t frameIndex, int32_t frameCount, int64_t size) {
  if (frameCount == 0) return 0;
  return static_cast<int64_t>(
      std::nearbyint(static_cast<double>(frameIndex) / frameCount * static_cast<double>(size)));
}

TzxWaveStream::TzxWaveStream(TzxWaveDevice &device) : FDevice(device) {}

TzxWaveStream::~TzxWaveStream() {
  Close();
}

bool TzxWaveStream::Open(const TzxMpegLayer3WaveFormat &format) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  if (FOpened) {
    PauseLocked();
    FDevice.Close();
    FOpened = false;
  }
  TzxWaveDevice::TBuffers buffers{};
  for (int32_t i = 0; i < WaveBufferCount; ++i) {
    FBuffers[i] = std::make_unique<char[]>(WaveBufferSize);
    buffers[i] = FBuffers[i].get();
  }
  const auto bytes = Mp3FormatBytes(format);
  FOpened = FDevice.Open(bytes, buffers, WaveBufferSize);
  if (!FOpened)
    for (auto &buffer : FBuffers)
      buffer.reset();
  return FOpened;
}

void TzxWaveStream::Close() {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  if (!FOpened) return;
  PauseLocked();
  FDevice.Close();
  FOpened = false;
  for (auto &buffer : FBuffers)
    buffer.reset();
}

bool TzxWaveStream::Opened() const {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  return FOpened;
}

void TzxWaveStream::SetFile(std::unique_ptr<TzxSoundFile> file) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  PauseLocked();
  FFile = std::move(file);
}

bool TzxWaveStream::HasFile() const {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  return FFile != nullptr;
}

void TzxWaveStream::PauseLocked() {
  FStreaming = false;
  if (FOpened) FDevice.Reset();
}

void TzxWaveStream::SeekLocked(const TzxSoundPosition &position) {
  if (!position.HasSegment || !FFile) return;
  const int64_t size = FFile->Size();
  if (size < 0) ThrowLlseekError();
  if (!FFile->Seek(SoundByteTarget(position.FrameIndex, position.FrameCount, size)))
    ThrowLlseekError();
}

void TzxWaveStream::FeedLocked(int32_t i) {
  const int32_t read = FFile->Read(FBuffers[i].get(), WaveBufferSize);
  if (read <= 0) {
    FStreaming = false;
    return;
  }
  FDevice.Write(i, read);
}

void TzxWaveStream::Start(const TzxSoundPosition &position) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  // A restart: the buffers still queued play bytes from before the move. A
  // stream at rest leaves the device alone.
  if (FStreaming || QueuedLocked() > 0) PauseLocked();
  if (!FOpened || !FFile) return;
  SeekLocked(position);
  FStreaming = true;
  for (int32_t i = 0; i < WaveBufferCount && FStreaming; ++i)
    FeedLocked(i);
}

void TzxWaveStream::Seek(const TzxSoundPosition &position) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  SeekLocked(position);
}

void TzxWaveStream::Pause() {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  PauseLocked();
}

void TzxWaveStream::Stop() {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  PauseLocked();
  FFile.reset();
}

void TzxWaveStream::OnDone(int32_t i) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  if (i < 0 || i >= WaveBufferCount || !FStreaming || FDevice.Queued(i)) return;
  FeedLocked(i);
}

bool TzxWaveStream::Streaming() const {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  return FStreaming;
}

int32_t TzxWaveStream::Mode() const {
  return Streaming() ? WaveStreamPlaying : WaveStreamStopped;
}

int32_t TzxWaveStream::BuffersQueued() const {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  return QueuedLocked();
}

int32_t TzxWaveStream::QueuedLocked() const {
  if (!FOpened) return 0;
  int32_t count = 0;
  for (int32_t i = 0; i < WaveBufferCount; ++i)
    if (FDevice.Queued(i)) ++count;
  return count;
}
