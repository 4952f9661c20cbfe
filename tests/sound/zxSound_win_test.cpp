// The sound paths under Wine. WaveOutCapture runs with an ALSA configuration
// whose default device writes what it plays to a file (set by CTest before
// Wine starts); the other suites run without any sound device.
#include "zxMPlayer_win.h"
#include "zxTesting.h"
#include "zxVolume.h"
#include "zxWaveOut_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

std::string DosPath(const char *unixPath) {
  return std::string("Z:") + unixPath;
}

std::string EnvPath(const char *name) {
  const char *value = std::getenv(name);
  return value != nullptr ? DosPath(value) : std::string();
}

int64_t FileSize(const std::string &path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? static_cast<int64_t>(in.tellg()) : -1;
}

// A message-only window that hands finished buffers to OnWaveDone.
class TSoundWindow {
public:
  TSoundWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "zxSoundTest";
    RegisterClassA(&wc);
    FWindow = CreateWindowA("zxSoundTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                            nullptr);
  }
  ~TSoundWindow() { DestroyWindow(FWindow); }
  HWND Get() const { return FWindow; }
  static inline int32_t DoneCount = 0;
  static inline bool StopAfterDone = false;
  static inline int32_t StopAt = 0;

  // Handles messages until done() holds; the bound only keeps a broken
  // device from hanging the run, nothing is measured against it.
  template <typename F> static bool PumpUntil(F done) {
    for (int32_t i = 0; i < 600000; ++i) {
      if (done()) return true;
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
      if (done()) return true;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return false;
  }

private:
  static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == MM_WOM_DONE) {
      ++DoneCount;
      OnWaveDone(reinterpret_cast<WAVEHDR *>(lp));
      if (StopAfterDone && DoneCount == StopAt) StopSound();
      return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
  }
  HWND FWindow = nullptr;
};

// 16-bit mono samples at 22,050 Hz.
int64_t CapturedBytesFor(double seconds) {
  return static_cast<int64_t>(seconds * 22050) * 2;
}

// Plays from the position to the end through the wave-out stream and returns
// how many bytes the device wrote.
int64_t PlayAndCapture(const std::string &mp3, TzxSoundPosition position,
                       int32_t stopAfterDone = 0) {
  const std::string captured = EnvPath("ZX_ALSA_CAPTURE");
  DeleteFileA(captured.c_str());
  TSoundWindow window;
  TSoundWindow::DoneCount = 0;
  TSoundWindow::StopAfterDone = stopAfterDone > 0;
  TSoundWindow::StopAt = stopAfterDone;
  StopSound();
  ChooseSoundPath(mp3, window.Get());
  EXPECT_FALSE(UseMediaPlayer());
  EXPECT_TRUE(WaveOutOpened());
  StartSound(position, true);
  EXPECT_TRUE(
      TSoundWindow::PumpUntil([] { return !SoundStreaming() && WaveBuffersQueued() == 0; }));
  // The returns still in the queue refill nothing more.
  TSoundWindow::PumpUntil([] { return true; });
  EXPECT_FALSE(SoundStreaming());
  StopSound();
  CloseWaveOut();
  TSoundWindow::StopAfterDone = false;
  return FileSize(captured);
}

// Generated at build time: 1.5 s and 60 s of a sine, mono, 22,050 Hz, 32 kbit/s.
const double ShortSeconds = 1.5;
const double LongSeconds = 60.0;

// MPEG-2 Layer III frames hold 576 samples; the codec may add a frame or two
// of delay and padding at either end.
constexpr int64_t PaddingBytes = 576 * 2 * 3;

} // namespace

TEST(WaveOutCapture, PlaysTheWholeFileAsSixteenBitSamples) {
  const int64_t bytes = PlayAndCapture(EnvPath("ZX_SOUND_SHORT_MP3"), {true, 0, 10});
  EXPECT_NEAR(bytes, CapturedBytesFor(ShortSeconds), PaddingBytes);
}

TEST(WaveOutCapture, StartsAtTheFrameFractionOfTheFile) {
  // Frame 30 of 60: the second half of the long sound.
  const int64_t bytes = PlayAndCapture(EnvPath("ZX_SOUND_LONG_MP3"), {true, 30, 60});
  // The byte target is not aligned to a frame: the decoder resynchronises.
  EXPECT_NEAR(bytes, CapturedBytesFor(LongSeconds / 2), PaddingBytes + 576 * 2 * 2);
}

TEST(WaveOutCapture, StopSoundMidwayStopsTheStream) {
  const int64_t full = CapturedBytesFor(LongSeconds);
  // Stopped when the device has returned two buffers: at most the two
  // buffers queued then (and the two before) were played, 4 x 16 KiB of
  // 4,000 bytes a second.
  const int64_t bytes = PlayAndCapture(EnvPath("ZX_SOUND_LONG_MP3"), {true, 0, 1}, 2);
  EXPECT_GT(bytes, 0);
  EXPECT_LE(bytes, CapturedBytesFor(4 * 16384 / 4000.0) + PaddingBytes);
  EXPECT_LT(bytes, full / 2);
  EXPECT_EQ(SoundMode(), mpStopped);
}

TEST(WaveOutCapture, OtherSpeedsAndSoundlessSegmentsOnlyPause) {
  const std::string captured = EnvPath("ZX_ALSA_CAPTURE");
  DeleteFileA(captured.c_str());
  TSoundWindow window;
  StopSound();
  ChooseSoundPath(EnvPath("ZX_SOUND_SHORT_MP3"), window.Get());
  ASSERT_TRUE(WaveOutOpened());
  StartSound({true, 0, 10}, false);
  EXPECT_FALSE(SoundStreaming());
  EXPECT_EQ(WaveBuffersQueued(), 0);
  StopSound();
  ChooseSoundPath("", window.Get());
  StartSound({true, 0, 10}, true);
  EXPECT_FALSE(SoundStreaming());
  EXPECT_EQ(WaveBuffersQueued(), 0);
  // The device stays open from one segment to the next.
  EXPECT_TRUE(WaveOutOpened());
  CloseWaveOut();
  EXPECT_FALSE(WaveOutOpened());
}

TEST(WaveOutCapture, StrayBufferReturnsAreIgnored) {
  TSoundWindow window;
  StopSound();
  ChooseSoundPath(EnvPath("ZX_SOUND_LONG_MP3"), window.Get());
  ASSERT_TRUE(WaveOutOpened());
  WAVEHDR foreign{};
  OnWaveDone(&foreign); // not one of the stream's buffers
  OnWaveDone(nullptr);
  EXPECT_EQ(foreign.dwBufferLength, 0u);
  StopSound();
  CloseWaveOut();
}

TEST(SoundWithoutDevice, WaveOutFailingFallsBackToTheMediaPlayer) {
  const std::string mp3 = EnvPath("ZX_SOUND_SHORT_MP3");
  ASSERT_FALSE(mp3.empty());
  TzxBoxRecorder boxes;
  TSoundWindow window;
  StopSound();
  ChooseSoundPath(mp3, window.Get());
  EXPECT_TRUE(UseMediaPlayer());
  EXPECT_FALSE(WaveOutOpened());
  EXPECT_EQ(MediaPlayer().FileName, mp3);
  // Where the media player cannot open the file either, it says why.
  if (!MediaPlayer().Opened()) {
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Caption, "Error");
    EXPECT_FALSE(boxes.Boxes[0].Text.empty());
  }
  StopSound();
  EXPECT_FALSE(MediaPlayer().Opened());
  EXPECT_EQ(MediaPlayer().DeviceID(), 0u);
}

TEST(SoundWithoutDevice, TheMediaErrorShowsOnceAFilmAndNothingWaitsForIt) {
  const std::string mp3 = EnvPath("ZX_SOUND_SHORT_MP3");
  TzxBoxRecorder boxes;
  TSoundWindow window;
  ResetSoundReports();
  for (int32_t segment = 0; segment < 3; ++segment) {
    StopSound();
    EXPECT_FALSE(ChooseSoundPath(mp3, window.Get()).Refused) << "the file itself is fine";
    if (MediaPlayer().Opened()) GTEST_SKIP() << "this machine has a media device";
    const MCIERROR openError = MediaPlayer().LastError();
    // No play command, no wait for a mode that never comes.
    StartSound({true, 5, 10}, true);
    EXPECT_EQ(MediaPlayer().LastError(), openError);
  }
  EXPECT_EQ(boxes.Boxes.size(), 1u);
  ResetSoundReports(); // a new film
  StopSound();
  ChooseSoundPath(mp3, window.Get());
  EXPECT_EQ(boxes.Boxes.size(), 2u);
  StopSound();
}

TEST(SoundWithoutDevice, AFileTheDecoderRefusesLeavesTheSegmentSilent) {
  TzxTestDir dir;
  TzxBoxRecorder boxes;
  TSoundWindow window;
  const std::string tagged = dir.File("tagged.mp3");
  WriteWholeFile(tagged, {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0, 0xFF, 0xF3, 0x40, 0xC4});
  StopSound();
  const TzxSoundChoice choice = ChooseSoundPath(tagged, window.Get());
  EXPECT_TRUE(choice.Refused);
  EXPECT_EQ(choice.Reason, "starts with an ID3 tag instead of an MPEG audio frame header");
  EXPECT_TRUE(SoundName().empty());
  StartSound({true, 0, 10}, true);
  EXPECT_FALSE(SoundStreaming());
  EXPECT_FALSE(MediaPlayer().Opened());
  EXPECT_TRUE(boxes.Boxes.empty()) << "the caller says it, once per segment";
  StopSound();
  EXPECT_TRUE(DeleteFileName(tagged)) << "the sound file was left open";
}

TEST(SoundWithoutDevice, VolumeReadsAsSilentAndIgnoresSettings) {
  EXPECT_EQ(ReadWaveVolume(), 0u);
  SetVolumePercent(50);
  EXPECT_EQ(GetVolumePercent(), 0.0f);
}

TEST(MediaPlayerCommands, ModeWithNothingOpenIsUnknown) {
  TMediaPlayer player;
  EXPECT_EQ(player.GetMode(), mpUnknown);
  EXPECT_STREQ(ModeNames[player.GetMode()], "Unknown");
  EXPECT_NE(player.LastError(), 0u);
}

TEST(MediaPlayerCommands, FailedOpenShowsTheErrorAndStaysClosed) {
  TzxTestDir dir;
  TzxBoxRecorder boxes;
  TMediaPlayer player;
  player.FileName = dir.File("missing.mp3");
  player.Open();
  EXPECT_FALSE(player.Opened());
  EXPECT_EQ(player.DeviceID(), 0u);
  EXPECT_NE(player.LastError(), 0u);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Caption, "Error");
  EXPECT_EQ(boxes.Boxes[0].Style, uint32_t(zxMB_OK));
  EXPECT_EQ(boxes.Boxes[0].Text, player.GetErrorMessage());
  player.Close(); // nothing open: nothing sent
}

TEST(SoundSeekTargets, FractionOfTheFileRoundedHalfToEven) {
  EXPECT_EQ(SoundByteTarget(1500, 3000, 1000000), 500000);
  EXPECT_EQ(SoundByteTarget(0, 3000, 1000000), 0);
  EXPECT_EQ(SoundByteTarget(7, 0, 1000000), 0);
  EXPECT_EQ(SoundByteTarget(1, 4, 2), 0); // 0.5
  EXPECT_EQ(SoundByteTarget(3, 4, 2), 2); // 1.5
}

TEST(SoundSeekTargets, LongSoundsDoNotOverflowTheMillisecondTarget) {
  EXPECT_EQ(SoundTimeTarget(0, 100, 5000), 0u);
  EXPECT_EQ(SoundTimeTarget(5, 0, 5000), 0u);
  EXPECT_EQ(SoundTimeTarget(1, 4, 2), 0u);
  // An hour of sound at frame 2,000 of 3,000: the product is 7.2e9.
  EXPECT_EQ(SoundTimeTarget(2000, 3000, 3600000), 2400000u);
}
