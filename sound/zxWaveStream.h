// The wave-out stream: a segment's sound file fed, MPEG Layer-3 bytes
// unchanged, 16 KiB at a time through two buffers to a wave device, which
// decodes and plays them and hands each buffer back when it is done.
//
// A returned buffer is refilled from the file and queued again while the
// stream runs; the stream ends by itself at the end of the file. Starting
// moves to the fraction of the file that the current frame is of the
// segment's frames and queues both buffers afresh.
//
// Threads: Open, Close, SetFile and OnDone run on the main thread; Start,
// Pause, Stop, Seek and Mode also inside the playback clock's ticks. One
// lock guards the device, both buffers, the file and its position and the
// streaming flag, so every operation sees them whole. The lock lets its own
// thread in again: a device call that waits for the system (opening and
// closing do) has the thread handle messages sent to it meanwhile, and one
// of them may ask for the stream's state. Hand-backs arrive late: one sent
// before a restart may come after the buffer was queued again, and is
// recognised by the device still holding that buffer.
//
// Portable: the device (TzxWaveDevice) and the file (TzxSoundFile) are
// interfaces, which the Win32 side implements over waveOut* and a file
// handle.
#pragma once

#include "zxMp3.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

constexpr int32_t WaveBufferSize = 16384;
constexpr int32_t WaveBufferCount = 2;

// The stream's modes, as the media player's mode indices.
constexpr int32_t WaveStreamStopped = 1;
constexpr int32_t WaveStreamPlaying = 2;

// Where the picture stands, for starting and seeking the sound.
struct TzxSoundPosition {
  bool HasSegment = false; // there is a current segment
  int32_t FrameIndex = 0;
  int32_t FrameCount = 0;
};

// Byte offset the stream starts reading at: i / F of size, rounded to the
// nearest (halves to even); 0 when F is 0.
int64_t SoundByteTarget(int32_t frameIndex, int32_t frameCount, int64_t size);

// A device that plays what is written to it, buffer by buffer, in the
// order written. Its calls come under the stream's lock.
class TzxWaveDevice {
public:
  virtual ~TzxWaveDevice() = default;
  TzxWaveDevice() = default;
  TzxWaveDevice(const TzxWaveDevice &) = delete;
  TzxWaveDevice &operator=(const TzxWaveDevice &) = delete;

  using TBuffers = std::array<char *, WaveBufferCount>;
  // Opens with the wave format record and makes the buffers (each of
  // bufferSize bytes, kept by the stream until Close) ready to be written.
  // False: refused, nothing left open.
  virtual bool Open(std::span<const uint8_t> format, const TBuffers &buffers,
                    int32_t bufferSize) = 0;
  // Queues the first n bytes of buffer i behind what the device holds.
  virtual void Write(int32_t i, int32_t n) = 0;
  // Whether the device holds buffer i: queued and not yet handed back.
  virtual bool Queued(int32_t i) const = 0;
  // Stops playing and hands back every buffer it holds at once; the
  // hand-backs may arrive later.
  virtual void Reset() = 0;
  // Lets go of the buffers and closes.
  virtual void Close() = 0;
};

// The sound file: read from a position that Seek sets.
class TzxSoundFile {
public:
  virtual ~TzxSoundFile() = default;
  TzxSoundFile() = default;
  TzxSoundFile(const TzxSoundFile &) = delete;
  TzxSoundFile &operator=(const TzxSoundFile &) = delete;

  // Bytes in the file; negative when it cannot be told.
  virtual int64_t Size() = 0;
  // False when the position cannot be set.
  virtual bool Seek(int64_t position) = 0;
  // Bytes read into buffer (at most n), 0 at the end, negative on error.
  virtual int32_t Read(void *buffer, int32_t n) = 0;
};

class TzxWaveStream {
public:
  // The device outlives the stream.
  explicit TzxWaveStream(TzxWaveDevice &device);
  ~TzxWaveStream();
  TzxWaveStream(const TzxWaveStream &) = delete;
  TzxWaveStream &operator=(const TzxWaveStream &) = delete;

  // Opens the device for the format (closing it first when open) with both
  // buffers. False, all closed, when the device refuses.
  bool Open(const TzxMpegLayer3WaveFormat &format);
  // Stops and closes the device; the file stays.
  void Close();
  bool Opened() const;

  // The file to play (none: nothing to play), replacing the one held; stops
  // the stream first.
  void SetFile(std::unique_ptr<TzxSoundFile> file);
  bool HasFile() const;

  // Moves to the position (unless there is no segment) and queues both
  // buffers from there, handing back first whatever the device still held.
  // Without a device or a file only pauses. Throws EzxError
  // (TextLlseekError) when the file cannot be positioned.
  void Start(const TzxSoundPosition &position);
  // Moves the file to the position without starting; nothing without a
  // segment or a file. Throws as Start.
  void Seek(const TzxSoundPosition &position);
  // Ends streaming and has the device hand back its buffers.
  void Pause();
  // Pauses and lets go of the file.
  void Stop();

  // The device handed buffer i back: refilled and queued again while the
  // stream runs. Ignored for a buffer the device holds again (it was
  // queued afresh since), for any other i and when not streaming.
  void OnDone(int32_t i);

  // Whether handed-back buffers go back to the device.
  bool Streaming() const;
  // WaveStreamPlaying while streaming, else WaveStreamStopped.
  int32_t Mode() const;
  // How many of the buffers the device holds now.
  int32_t BuffersQueued() const;

private:
  void PauseLocked();
  int32_t QueuedLocked() const;
  void SeekLocked(const TzxSoundPosition &position);
  // Reads the next bytes of the file into buffer i and queues them; at the
  // end of the file (or on a read error) streaming ends instead.
  void FeedLocked(int32_t i);

  TzxWaveDevice &FDevice;
  mutable std::recursive_mutex FLock;
  bool FOpened = false;
  bool FStreaming = false;
  std::unique_ptr<TzxSoundFile> FFile;
  std::array<std::unique_ptr<char[]>, WaveBufferCount> FBuffers;
};
