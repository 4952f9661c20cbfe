// The wave-out stream over a wave device in memory and a sound file in
// memory: what reaches the device, in which order, and what becomes of
// buffers handed back late.
#include "zxTexts.h"
#include "zxWaveStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using TBytes = std::vector<char>;

TBytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  TBytes bytes(n);
  for (char &b : bytes)
    b = static_cast<char>(random() & 0xFF);
  return bytes;
}

TBytes Tail(const TBytes &bytes, int64_t from) {
  return TBytes(bytes.begin() + from, bytes.end());
}

// A sound file in memory, with positioning that can be made to fail.
class TMemoryFile : public TzxSoundFile {
public:
  explicit TMemoryFile(TBytes bytes) : FBytes(std::move(bytes)) {}
  bool FailSize = false;
  bool FailSeek = false;

  int64_t Size() override { return FailSize ? -1 : static_cast<int64_t>(FBytes.size()); }
  bool Seek(int64_t position) override {
    if (FailSeek || position < 0) return false;
    FPosition = std::min<int64_t>(position, static_cast<int64_t>(FBytes.size()));
    return true;
  }
  int32_t Read(void *buffer, int32_t n) override {
    const int64_t left = static_cast<int64_t>(FBytes.size()) - FPosition;
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(n, left));
    std::memcpy(buffer, FBytes.data() + FPosition, static_cast<size_t>(count));
    FPosition += count;
    return count;
  }

private:
  TBytes FBytes;
  int64_t FPosition = 0;
};

// A wave device in memory. Written buffers wait in its queue until Play
// plays the head one and hands it back; hand-backs (from Play and Reset)
// wait in a list, as MM_WOM_DONE messages wait for the main window, until
// TakeDone takes the oldest. Safe to share between threads.
class TFakeDevice : public TzxWaveDevice {
public:
  bool Refuse = false; // Open fails
  // Called on the caller's thread before Open, Write, Reset and Close
  // return, as a system call that waits for a reply handles the messages
  // other threads send meanwhile.
  std::function<void()> WhileWaiting;

  bool Open(std::span<const uint8_t> format, const TBuffers &buffers, int32_t bufferSize) override {
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (Refuse) return false;
      FFormat.assign(format.begin(), format.end());
      FBuffers = buffers;
      FBufferSize = bufferSize;
      FOpen = true;
    }
    Wait();
    return true;
  }
  void Write(int32_t i, int32_t n) override {
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (!FOpen || n <= 0 || n > FBufferSize) Fault("a write of " + std::to_string(n) + " bytes");
      if (FQueued[i]) Fault("buffer " + std::to_string(i) + " written while the device held it");
      FQueued[i] = true;
      FSizes[i] = n;
      FQueue.push_back(i);
      Written(i, FBuffers[i], n);
      FChanged.notify_all();
    }
    Wait();
  }
  bool Queued(int32_t i) const override {
    std::lock_guard<std::mutex> lock(FLock);
    return FQueued[i];
  }
  void Reset() override {
    {
      std::lock_guard<std::mutex> lock(FLock);
      for (const int32_t i : FQueue) {
        FQueued[i] = false;
        FDone.push_back(i);
      }
      FQueue.clear();
      ++FResets;
      FChanged.notify_all();
    }
    Wait();
  }
  void Close() override {
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (!FQueue.empty()) Fault("closed while holding buffers");
      FOpen = false;
    }
    Wait();
  }

  // Plays the head buffer to its end and hands it back; false when the
  // device holds none.
  bool Play() {
    std::lock_guard<std::mutex> lock(FLock);
    if (FQueue.empty()) return false;
    const int32_t i = FQueue.front();
    FQueue.pop_front();
    Played(i, FBuffers[i], FSizes[i]);
    FQueued[i] = false;
    FDone.push_back(i);
    return true;
  }
  // The oldest hand-back not yet taken; -1 when there is none.
  int32_t TakeDone() {
    std::lock_guard<std::mutex> lock(FLock);
    if (FDone.empty()) return -1;
    const int32_t i = FDone.front();
    FDone.pop_front();
    return i;
  }
  // Waits until the device holds a buffer, a hand-back is waiting or
  // Finish was called; false for the last alone.
  bool WaitForWork() {
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [this] { return !FQueue.empty() || !FDone.empty() || FFinished; });
    return !FQueue.empty() || !FDone.empty();
  }
  void Finish() {
    std::lock_guard<std::mutex> lock(FLock);
    FFinished = true;
    FChanged.notify_all();
  }

  bool IsOpen() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FOpen;
  }
  int32_t Resets() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FResets;
  }
  std::vector<uint8_t> Format() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FFormat;
  }
  std::vector<std::string> Faults() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FFaults;
  }

protected:
  // Under the device's lock: buffer i was queued with n bytes, or played.
  virtual void Written(int32_t, const char *, int32_t) {}
  virtual void Played(int32_t, const char *, int32_t) {}
  void Fault(std::string what) {
    if (FFaults.size() < 20) FFaults.push_back(std::move(what));
  }

  mutable std::mutex FLock;

private:
  void Wait() {
    if (WhileWaiting) WhileWaiting();
  }

  std::condition_variable FChanged;
  TBuffers FBuffers{};
  int32_t FBufferSize = 0;
  bool FOpen = false;
  bool FQueued[WaveBufferCount] = {};
  int32_t FSizes[WaveBufferCount] = {};
  std::deque<int32_t> FQueue;
  std::deque<int32_t> FDone;
  int32_t FResets = 0;
  bool FFinished = false;
  std::vector<uint8_t> FFormat;
  std::vector<std::string> FFaults;
};

// Keeps what it plays and the sizes of the writes, in order.
class TRecordingDevice : public TFakeDevice {
public:
  TBytes TakePlayed() {
    std::lock_guard<std::mutex> lock(FLock);
    return std::exchange(FPlayed, {});
  }
  std::vector<int32_t> WriteSizes() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FWriteSizes;
  }

protected:
  void Written(int32_t, const char *, int32_t n) override { FWriteSizes.push_back(n); }
  void Played(int32_t, const char *data, int32_t n) override {
    FPlayed.insert(FPlayed.end(), data, data + n);
  }

private:
  TBytes FPlayed;
  std::vector<int32_t> FWriteSizes;
};

TzxMpegLayer3WaveFormat ToneFormat() {
  TzxMpegLayer3WaveFormat format{};
  format.wfx.wFormatTag = 0x55;
  format.wfx.nChannels = 1;
  format.wfx.nSamplesPerSec = 22050;
  format.wfx.nAvgBytesPerSec = 4000;
  format.wfx.nBlockAlign = 1;
  format.wfx.cbSize = 12;
  format.wID = 1;
  format.fdwFlags = 2;
  format.nBlockSize = 104;
  format.nFramesPerBlock = 1;
  format.nCodecDelay = Mp3CodecDelay;
  return format;
}

// A stream opened on a recording device over a file of random bytes.
struct TStreamRig {
  explicit TStreamRig(size_t fileSize) : Bytes(RandomBytes(fileSize, 7)) {
    EXPECT_TRUE(Stream.Open(ToneFormat()));
    Stream.SetFile(std::make_unique<TMemoryFile>(Bytes));
  }
  // Delivers every waiting hand-back; how many there were.
  int32_t DeliverDone() {
    int32_t count = 0;
    for (int32_t i = Device.TakeDone(); i >= 0; i = Device.TakeDone(), ++count)
      Stream.OnDone(i);
    return count;
  }
  // Plays and hands back until the device holds nothing.
  void PlayToTheEnd() {
    while (Device.Play())
      DeliverDone();
    DeliverDone();
  }

  TBytes Bytes;
  TRecordingDevice Device;
  TzxWaveStream Stream{Device};
};

} // namespace

TEST(WaveStream, PlaysTheFileInOrderToItsEndAndStops) {
  TStreamRig rig(2 * WaveBufferSize + 7232);
  EXPECT_TRUE(rig.Stream.Opened());
  const auto format = Mp3FormatBytes(ToneFormat());
  EXPECT_EQ(rig.Device.Format(), std::vector<uint8_t>(format.begin(), format.end()));

  rig.Stream.Start({true, 0, 10});
  EXPECT_TRUE(rig.Stream.Streaming());
  EXPECT_EQ(rig.Stream.Mode(), WaveStreamPlaying);
  EXPECT_EQ(rig.Stream.BuffersQueued(), 2);

  // Each hand-back is refilled with the next bytes and queued again.
  ASSERT_TRUE(rig.Device.Play());
  EXPECT_EQ(rig.Stream.BuffersQueued(), 1);
  EXPECT_EQ(rig.DeliverDone(), 1);
  EXPECT_EQ(rig.Stream.BuffersQueued(), 2);
  EXPECT_EQ(rig.Device.WriteSizes(), (std::vector<int32_t>{WaveBufferSize, WaveBufferSize, 7232}));

  rig.PlayToTheEnd();
  EXPECT_EQ(rig.Device.TakePlayed(), rig.Bytes);
  EXPECT_FALSE(rig.Stream.Streaming());
  EXPECT_EQ(rig.Stream.Mode(), WaveStreamStopped);
  EXPECT_EQ(rig.Stream.BuffersQueued(), 0);
  EXPECT_EQ(rig.Device.WriteSizes().size(), 3u);
  EXPECT_TRUE(rig.Device.Faults().empty());
}

TEST(WaveStream, StartsAtTheFractionOfTheFileTheFrameIsOfTheSegment) {
  struct TCase {
    TzxSoundPosition Position;
    size_t Size;
    int64_t FirstByte;
  };
  const TCase cases[] = {
      {{true, 1, 3}, 100001, 33334}, // 33,333.67
      {{true, 1, 4}, 10, 2},         // 2.5: halves go to even
      {{true, 3, 4}, 10, 8},         // 7.5
      {{true, 7, 0}, 50000, 0},      // no frames: the start
      {{true, 9, 9}, 50000, 50000},  // the last frame: nothing left
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(testing::Message() << c.Position.FrameIndex << " of " << c.Position.FrameCount);
    TStreamRig rig(c.Size);
    rig.Stream.Start(c.Position);
    rig.PlayToTheEnd();
    EXPECT_EQ(rig.Device.TakePlayed(), Tail(rig.Bytes, c.FirstByte));
    EXPECT_FALSE(rig.Stream.Streaming());
  }
}

TEST(WaveStream, WithoutASegmentTheFilePlaysOnFromWhereItStands) {
  TStreamRig rig(40000);
  rig.Stream.Seek({true, 1, 2});
  rig.Stream.Seek({false, 0, 2}); // no segment: not moved
  rig.Stream.Start({false, 0, 2});
  rig.PlayToTheEnd();
  EXPECT_EQ(rig.Device.TakePlayed(), Tail(rig.Bytes, 20000));
}

TEST(WaveStream, AHandBackFromBeforeARestartIsIgnored) {
  TStreamRig rig(6 * WaveBufferSize);
  rig.Stream.Start({true, 0, 6});
  // Buffer 0 is played, but its hand-back waits while the clock pauses
  // (buffer 1 comes back too) and starts again further on.
  ASSERT_TRUE(rig.Device.Play());
  rig.Stream.Pause();
  rig.Stream.Start({true, 3, 6});
  ASSERT_EQ(rig.Stream.BuffersQueued(), 2);
  rig.Device.TakePlayed();
  const size_t writes = rig.Device.WriteSizes().size();
  EXPECT_EQ(rig.DeliverDone(), 2);
  EXPECT_EQ(rig.Device.WriteSizes().size(), writes) << "nothing refilled for the old hand-backs";

  rig.PlayToTheEnd();
  EXPECT_EQ(rig.Device.TakePlayed(), Tail(rig.Bytes, 3 * WaveBufferSize));
  EXPECT_TRUE(rig.Device.Faults().empty());
}

TEST(WaveStream, ARestartWhileStreamingHasTheBuffersHandedBackFirst) {
  // Started again without a pause first: the buffers the device holds are
  // not to be refilled under it, nor written a second time.
  TStreamRig rig(6 * WaveBufferSize);
  rig.Stream.Start({true, 0, 6});
  ASSERT_TRUE(rig.Device.Play());
  rig.DeliverDone();
  rig.Device.TakePlayed();
  const int32_t resets = rig.Device.Resets();
  rig.Stream.Start({true, 2, 6});
  EXPECT_GT(rig.Device.Resets(), resets);
  EXPECT_EQ(rig.Stream.BuffersQueued(), 2);
  rig.PlayToTheEnd();
  EXPECT_EQ(rig.Device.TakePlayed(), Tail(rig.Bytes, 2 * WaveBufferSize));
  EXPECT_TRUE(rig.Device.Faults().empty());
}

TEST(WaveStream, PauseAndStopHandTheBuffersBackAndEndRefills) {
  TStreamRig rig(6 * WaveBufferSize);
  rig.Stream.Start({true, 0, 6});
  rig.Stream.Pause();
  EXPECT_FALSE(rig.Stream.Streaming());
  EXPECT_EQ(rig.Stream.Mode(), WaveStreamStopped);
  EXPECT_EQ(rig.Stream.BuffersQueued(), 0);
  EXPECT_EQ(rig.DeliverDone(), 2);
  EXPECT_EQ(rig.Stream.BuffersQueued(), 0) << "a paused stream refills nothing";
  EXPECT_TRUE(rig.Device.TakePlayed().empty());

  // Started again after a pause, and then stopped.
  rig.Stream.Start({true, 1, 6});
  ASSERT_TRUE(rig.Device.Play());
  EXPECT_EQ(rig.Device.TakePlayed(),
            TBytes(rig.Bytes.begin() + WaveBufferSize, rig.Bytes.begin() + 2 * WaveBufferSize));
  rig.Stream.Stop();
  EXPECT_FALSE(rig.Stream.Streaming());
  EXPECT_FALSE(rig.Stream.HasFile());
  EXPECT_EQ(rig.Stream.BuffersQueued(), 0);
  EXPECT_EQ(rig.DeliverDone(), 2);
  EXPECT_EQ(rig.Stream.BuffersQueued(), 0) << "a stopped stream refills nothing";
  // Without its file the stream has nothing to start.
  rig.Stream.Start({true, 0, 6});
  EXPECT_FALSE(rig.Stream.Streaming());
  EXPECT_EQ(rig.Stream.BuffersQueued(), 0);
  EXPECT_TRUE(rig.Stream.Opened()) << "the device stays open from one segment to the next";
  EXPECT_TRUE(rig.Device.Faults().empty());
}

TEST(WaveStream, WithoutADeviceOrAFileStartOnlyPauses) {
  TRecordingDevice device;
  device.Refuse = true;
  TzxWaveStream stream(device);
  EXPECT_FALSE(stream.Open(ToneFormat()));
  EXPECT_FALSE(stream.Opened());
  stream.SetFile(std::make_unique<TMemoryFile>(RandomBytes(1000, 1)));
  stream.Start({true, 0, 1});
  EXPECT_FALSE(stream.Streaming());
  EXPECT_EQ(stream.Mode(), WaveStreamStopped);

  // A device, but the sound file could not be opened: not "Playing" for
  // ever with nothing queued.
  device.Refuse = false;
  ASSERT_TRUE(stream.Open(ToneFormat()));
  stream.SetFile(nullptr);
  stream.Start({true, 0, 1});
  EXPECT_FALSE(stream.Streaming());
  EXPECT_EQ(stream.Mode(), WaveStreamStopped);
  EXPECT_TRUE(device.WriteSizes().empty());
}

TEST(WaveStream, HandBacksOfNoBufferOrAfterCloseAreIgnored) {
  TStreamRig rig(6 * WaveBufferSize);
  rig.Stream.Start({true, 0, 6});
  ASSERT_TRUE(rig.Device.Play());
  rig.Stream.OnDone(-1);
  rig.Stream.OnDone(WaveBufferCount);
  EXPECT_EQ(rig.Stream.BuffersQueued(), 1);

  // Closing hands the buffers back before the device closes.
  rig.Stream.Close();
  EXPECT_FALSE(rig.Stream.Opened());
  EXPECT_FALSE(rig.Device.IsOpen());
  EXPECT_FALSE(rig.Stream.Streaming());
  rig.DeliverDone();
  EXPECT_EQ(rig.Device.WriteSizes().size(), 2u);
  EXPECT_TRUE(rig.Device.Faults().empty());

  // Opened again, the stream plays on from where the file stands.
  ASSERT_TRUE(rig.Stream.Open(ToneFormat()));
  rig.Stream.Start({false, 0, 0});
  EXPECT_EQ(rig.Stream.BuffersQueued(), 2);
}

TEST(WaveStream, TheStateCanBeAskedWhileADeviceCallWaits) {
  // The main thread opens the device and, while the system waits for it,
  // answers a message asking for the sound's state; the clock's thread
  // starts and pauses the stream the same way. A lock that does not let
  // its own thread in again hangs here.
  TStreamRig rig(3 * WaveBufferSize);
  int32_t asked = 0;
  rig.Device.WhileWaiting = [&] {
    rig.Stream.Opened();
    rig.Stream.Streaming();
    rig.Stream.Mode();
    rig.Stream.BuffersQueued();
    ++asked;
  };
  ASSERT_TRUE(rig.Stream.Open(ToneFormat()));
  rig.Stream.Start({true, 0, 1});
  rig.Stream.Pause();
  rig.Stream.Close();
  rig.Device.WhileWaiting = nullptr;
  EXPECT_GE(asked, 5) << "a close, an open, two writes and a reset at least";
  EXPECT_FALSE(rig.Stream.Opened());
}

TEST(WaveStream, AFileThatCannotBePositionedThrowsTheSeekError) {
  for (const bool failSize : {true, false}) {
    TRecordingDevice device;
    TzxWaveStream stream(device);
    ASSERT_TRUE(stream.Open(ToneFormat()));
    auto file = std::make_unique<TMemoryFile>(RandomBytes(1000, 1));
    file->FailSize = failSize;
    file->FailSeek = !failSize;
    stream.SetFile(std::move(file));
    try {
      stream.Start({true, 1, 2});
      ADD_FAILURE() << "no error";
    } catch (const EzxError &e) {
      EXPECT_EQ(e.Message(), TextLlseekError);
    }
    EXPECT_FALSE(stream.Streaming());
    EXPECT_TRUE(device.WriteSizes().empty());
    EXPECT_THROW(stream.Seek({true, 1, 2}), EzxError);
    stream.Seek({false, 1, 2}); // no segment: no move, no error
  }
}

// ------------------------------------------------------------ two threads

namespace {

// Checks, as the buffers are written and played, that every write carries
// the bytes of the file where the stream stands: from the start target
// announced before a start, then on from each write's end; that nothing is
// written between a pause and the next start; and that a buffer does not
// change while the device holds it.
class TCheckingDevice : public TFakeDevice {
public:
  explicit TCheckingDevice(const TBytes &file) : FFile(file) {}

  // The clock is about to start the stream at target.
  void ExpectStart(int64_t target) {
    std::lock_guard<std::mutex> lock(FLock);
    FExpected = target;
  }
  // Start returned: it must have written from its target.
  void CheckStarted() {
    std::lock_guard<std::mutex> lock(FLock);
    if (FExpected >= 0) Fault("a start at " + std::to_string(FExpected) + " wrote nothing there");
    FExpected = -1;
  }
  // Pause returned: the device holds nothing, and nothing comes until the
  // next start.
  void NotePaused() {
    std::lock_guard<std::mutex> lock(FLock);
    FPaused = true;
    FExpected = -1;
  }
  // Where the stream's run of bytes has reached.
  int64_t Next() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FNext;
  }
  int32_t Runs() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FRuns;
  }

protected:
  void Written(int32_t i, const char *data, int32_t n) override {
    FCopies[i].assign(data, data + n);
    if (FExpected >= 0 && From(FExpected, data, n)) {
      FNext = FExpected + n;
      FExpected = -1;
      FPaused = false;
      ++FRuns;
    } else if (!FPaused && FNext >= 0 && From(FNext, data, n)) {
      FNext += n;
    } else {
      Fault("buffer " + std::to_string(i) + ": " + std::to_string(n) + " bytes not from " +
            std::to_string(FNext) + (FPaused ? " (paused)" : ""));
    }
  }
  void Played(int32_t i, const char *data, int32_t n) override {
    if (FCopies[i] != TBytes(data, data + n))
      Fault("buffer " + std::to_string(i) + " changed while the device held it");
  }

private:
  // Whether the bytes are the file's from offset on: a whole buffer, or
  // what is left of the file.
  bool From(int64_t offset, const char *data, int32_t n) const {
    const int64_t left = static_cast<int64_t>(FFile.size()) - offset;
    return left > 0 && n == std::min<int64_t>(WaveBufferSize, left) &&
           std::memcmp(FFile.data() + offset, data, static_cast<size_t>(n)) == 0;
  }

  const TBytes &FFile;
  TBytes FCopies[WaveBufferCount];
  int64_t FExpected = -1;
  int64_t FNext = -1;
  bool FPaused = true;
  int32_t FRuns = 0;
};

} // namespace

TEST(WaveStreamThreads, ClockAndMainThreadShareTheStream) {
  // The clock's thread starts the stream at frames all over the segment,
  // pauses it and restarts it as the wait for a block does; the main
  // thread plays the device's buffers and hands them back in between, so
  // that hand-backs from before a restart arrive after it.
  constexpr int32_t Frames = 10;
  const TBytes bytes = RandomBytes(5 * WaveBufferSize + WaveBufferSize / 2 + 7, 3);
  const int64_t size = static_cast<int64_t>(bytes.size());
  // No start target lies whole buffers behind another: a write's bytes tell
  // a start from a continuation.
  for (int32_t a = 0; a < Frames; ++a)
    for (int32_t b = 0; b < Frames; ++b)
      ASSERT_TRUE(a == b || (SoundByteTarget(b, Frames, size) - SoundByteTarget(a, Frames, size)) %
                                    WaveBufferSize !=
                                0);

  TCheckingDevice device(bytes);
  TzxWaveStream stream(device);
  ASSERT_TRUE(stream.Open(ToneFormat()));
  stream.SetFile(std::make_unique<TMemoryFile>(bytes));

  std::thread clock([&] {
    std::minstd_rand random(5);
    const auto start = [&](int32_t frame) {
      device.ExpectStart(SoundByteTarget(frame, Frames, size));
      stream.Start({true, frame, Frames});
      device.CheckStarted();
    };
    for (int32_t step = 0; step < 3000; ++step) {
      switch (random() % 4) {
      case 0: start(static_cast<int32_t>(random() % Frames)); break;
      case 1:
        stream.Pause();
        device.NotePaused();
        break;
      case 2: {
        // The wait for a block: pause, and restart what was playing.
        const int32_t mode = stream.Mode();
        stream.Pause();
        device.NotePaused();
        if (mode == WaveStreamPlaying) start(static_cast<int32_t>(random() % Frames));
        break;
      }
      default: stream.BuffersQueued(); break;
      }
    }
    start(0); // and then the sound plays to its end
    device.Finish();
  });

  std::minstd_rand random(9);
  int32_t handBacks = 0;
  while (device.WaitForWork()) {
    if (random() % 3 == 0) {
      device.Play();
    } else if (const int32_t i = device.TakeDone(); i >= 0) {
      stream.OnDone(i);
      ++handBacks;
    }
  }
  // Finish came after the last start: the loop played what followed it.
  clock.join();

  EXPECT_EQ(device.Faults(), std::vector<std::string>{});
  EXPECT_GT(device.Runs(), 1);
  EXPECT_GT(handBacks, 0);
  EXPECT_EQ(device.Next(), size) << "the last start played to the end of the file";
  EXPECT_FALSE(stream.Streaming());
  EXPECT_EQ(stream.BuffersQueued(), 0);
}
