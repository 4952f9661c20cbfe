// Segment opening and the playback clock.
#include "zxCommands.h"
#include "zxHandles_win.h"
#include "zxMessages.h"
#include "zxPlayer_win.h"
#include "zxPlayerInternal_win.h"
#include "zxTexts.h"
#include "zxWaveOut_win.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <exception>

TSegmentList *SegmentList = nullptr;
HWND MainWindow = nullptr;
bool FullScreen = false;

int32_t TimerPeriod = 100;
int32_t TicksPerFrame = 1;
int32_t TickCount = 0;

namespace {

TzxPlayerShell Shell;
DWORD MainThread = 0;

TzxTickGuard Ticks;
std::atomic<UINT> MMTimer{0};
bool FirstTick = false;
bool EndOfSegment = false;
bool NothingToPlay = false; // the segment being opened holds no record

// The frame records, read from the head block.
TzxFrameSource Frames(BlockQueue);

std::mutex ErrorLock;
std::string ClockError;

class TzxMainWindowBlocks : public TzxBlockWindow {
public:
  bool PostBlockMessage(uint32_t msg, TBlock *block) override {
    return MainWindow != nullptr &&
           PostMessageA(MainWindow, msg, 0, reinterpret_cast<LPARAM>(block)) != FALSE;
  }
};
TzxMainWindowBlocks BlockWindow;

bool OnMainThread() {
  return GetCurrentThreadId() == MainThread;
}

// Refills the blocks handed back so far; main thread only. A tick waiting
// for a block thus gets it while the main thread waits for the tick.
void ServiceBlockRefills() {
  if (MainWindow == nullptr || !OnMainThread()) return;
  MSG msg;
  while (PeekMessageA(&msg, MainWindow, UM_BLOCKEMPTY, UM_BLOCKEMPTY, PM_REMOVE))
    DoBlockEmpty(reinterpret_cast<TBlock *>(msg.lParam));
}

// Hands a tick's failure to the main window and stops the clock: no box is
// shown on the timer's thread, and Stop runs where the windows live.
void ReportClockError(const std::string &text) {
  {
    std::lock_guard<std::mutex> lock(ErrorLock);
    if (ClockError.empty()) ClockError = text;
  }
  Ticks.Halt();
  if (const UINT id = MMTimer.exchange(0)) timeKillEvent(id);
  if (MainWindow != nullptr) PostMessageA(MainWindow, UM_CLOCKERROR, 0, 0);
}

// Where the picture stands, for the sound.
TzxSoundPosition SoundPosition() {
  TzxSoundPosition position;
  if (TSegmentInfo *seg = CurrentSegmentInfo()) {
    position.HasSegment = true;
    position.FrameIndex = FrameIndex;
    position.FrameCount = seg->FrameCount;
  }
  return position;
}

// Sound plays only at normal speed.
void StartSoundHere() {
  StartSound(SoundPosition(), SpeedPosition == NormalSpeedPosition);
}

// The sound waits with the picture for a block: paused, and restarted when
// it was playing before.
class TzxClockWaitSound : public TzxBlockWaitSound {
public:
  int32_t Mode() override { return SoundMode(); }
  void PauseSound() override { ::PauseSound(); }
  void StartSound() override { StartSoundHere(); }
};
TzxClockWaitSound WaitSound;

void TimerTick();

void CALLBACK TimerProc(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  try {
    TimerTick();
  } catch (const std::exception &e) {
    ReportClockError(e.what());
  } catch (...) {
    ReportClockError("TimerTick: unknown error");
  }
}

// Expands the current record into the XOR frame; 8-bit segments then take
// one palette change, also when the record is damaged.
void UnpackStep() {
  TSegmentInfo *seg = CurrentSegmentInfo();
  if (seg == nullptr || !LayoutUsable) return;
  if (PXorFrame == nullptr) throw EzxError("UnpackFrame: PXorFrame Is Nil");
  std::exception_ptr failure;
  try {
    UnpackFrameInto(Frames.Current(Layout.Format));
  } catch (const EzxCorruptFrame &) {
    failure = std::current_exception();
  }
  if (SurfaceDepth == 8 && seg->PaletteTrack) ApplyPaletteChange(*seg->PaletteTrack, Palette);
  if (failure) std::rethrow_exception(failure);
}

void PictureTick(HDC dc) {
  const TzxTickWork work = TickWorkAt(TicksPerFrame, TickCount);
  RestoreUnderCursor(dc);
  if (TicksPerFrame == 1) {
    // The frame first, then the cursor over it.
    UnpackStep();
    ApplyXorFrameTo(dc);
    ReadCursorRecord();
    SaveUnderCursor(dc);
    DrawCursor(dc);
    CommitCursorPosition();
    PaintPictureFrom(dc);
    return;
  }
  // The cursor moves every tick; the frame under it changes at one of three.
  ReadCursorRecord();
  SaveUnderCursor(dc);
  DrawCursor(dc);
  if (work.ShowCursorOnly) PaintCursorRegion(dc);
  CommitCursorPosition();
  if (work.Unpack) UnpackStep();
  if (work.Apply) {
    RestoreUnderCursor(dc);
    ApplyXorFrameTo(dc);
    SaveUnderCursor(dc);
    DrawCursor(dc);
  }
  if (work.ShowPicture) PaintPictureFrom(dc);
}

// The records ran out before the segment's frame count: the segment ends
// after its last record, as at its last frame. When reading them failed, a
// box has said so already.
void EndRecordsEarly(const TSegmentInfo &seg) {
  EndOfSegment = true;
  if (!BlockQueue.SourceFailed() && Shell.SegmentProblem)
    Shell.SegmentProblem(
        CurrentSegment, TzxSegmentProblem::EndsEarly,
        Format("its video data holds %d of its %d frames", int(FrameIndex), int(seg.FrameCount)));
  if (MainWindow != nullptr) PostMessageA(MainWindow, WM_COMMAND, CMD_NEXT, 0);
  RunClock(false);
}

void NextFrame() {
  if (!FrameEndsAt(TicksPerFrame, TickCount) || EndOfSegment) return;
  TSegmentInfo *seg = CurrentSegmentInfo();
  if (seg == nullptr) return;
  TzxFrameSource::TAdvance step = Frames.Advance(FrameIndex, seg->FrameCount);
  if (step == TzxFrameSource::TAdvance::Moved || step == TzxFrameSource::TAdvance::BlockUsedUp)
    ++FrameIndex;
  if (step == TzxFrameSource::TAdvance::BlockUsedUp) {
    if (OnMainThread())
      ServiceBlockRefills(); // the first tick must not wait for its own thread
    else
      BlockQueue.WaitNextBlock(&WaitSound);
    step = Frames.TakeNextBlock();
  }
  if (step == TzxFrameSource::TAdvance::RecordsEnded) {
    EndRecordsEarly(*seg);
  } else if (step == TzxFrameSource::TAdvance::SegmentEnd) {
    EndOfSegment = true;
    if (MainWindow != nullptr) PostMessageA(MainWindow, WM_COMMAND, CMD_NEXT, 0);
    RunClock(false);
  }
}

// The first tick starts the sound and the timer for the ticks after it.
void StartTimer() {
  try {
    StartSoundHere();
  } catch (...) {
    Ticks.Halt();
    throw;
  }
  const UINT id = timeSetEvent(static_cast<UINT>(TimerPeriod), 10, TimerProc, 0,
                               TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
  if (id == 0) {
    Ticks.Halt();
    throw EzxError("MMTimer = 0");
  }
  MMTimer = id;
}

void TimerTick() {
  Ticks.Run([] {
    if (FirstTick) {
      FirstTick = false;
      StartTimer();
    }
    try {
      ClockTick();
    } catch (const std::exception &e) {
      ReportClockError(e.what());
    }
  });
}

} // namespace

void SetPlayerShell(TzxPlayerShell shell) {
  Shell = std::move(shell);
  MainThread = GetCurrentThreadId();
  BlockQueue.SetWindowHandle(&BlockWindow);
}

int32_t TicksSkipped() {
  return Ticks.Skipped();
}

std::string TakeClockError() {
  std::lock_guard<std::mutex> lock(ErrorLock);
  return std::exchange(ClockError, std::string());
}

void ClockTick() {
  if (CurrentSegmentInfo() == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(SurfaceLock);
    const HBITMAP picture = PictureBitmap();
    if (picture != nullptr) {
      TzxMemoryDC dc(CreateCompatibleDC(nullptr));
      TzxSelect sel(dc.Get(), picture);
      PictureTick(dc.Get());
    } else {
      ReadCursorRecord(); // no picture: the track still keeps pace
    }
  }
  NextFrame();
  ++TickCount;
  if (Shell.Ticked) Shell.Ticked();
}

void KillClock() {
  Ticks.Halt();
  if (const UINT id = MMTimer.exchange(0)) timeKillEvent(id);
  bool aborted = false;
  Ticks.WaitForTick([&aborted](int32_t round) {
    ServiceBlockRefills();
    // A tick still waiting after a second waits for a block that will not
    // come: end the wait.
    if (round == 100 && !BlockQueue.AbortWait()) {
      BlockQueue.SetAbortWait(true);
      aborted = true;
    }
  });
  if (aborted) BlockQueue.SetAbortWait(false);
}

void RunClock(bool on) {
  // Paused once the running tick is over: a tick that waited for a block
  // may restart the sound on its way out.
  KillClock();
  if (!on) PauseSound();
  if (!on) return;
  TimerPeriod = std::max(TimerPeriod, MinTimerPeriod);
  FirstTick = true;
  Ticks.Start();
  TimerTick();
}

void ComputeTimerPeriod() {
  TSegmentInfo *seg = CurrentSegmentInfo();
  if (seg == nullptr) return;
  TimerPeriod = TimerPeriodFor(seg->FramesPerSecond, TicksPerFrame, SpeedPosition);
}

void SetPlayState(int32_t s) {
  if (PlayState == s) return;
  PlayState = s;
  if (Shell.UpdateMenuState) Shell.UpdateMenuState();
}

void SelectSegment(int32_t n) {
  if (SegmentList == nullptr || n < 0 || n >= SegmentList->Count()) return;
  RunClock(false);
  CurrentSegment = n;
}

void StopClockAndBlocks() {
  RunClock(false);
  StopSound();
  BlockQueue.SetAbortWait(true);
  BlockQueue.Clear();
  Frames.Clear();
}

bool PrepareSegment(int32_t n) {
  if (n < 0 || SegmentList == nullptr) return false;
  if (n >= SegmentList->Count()) {
    if (Shell.CmdStop) Shell.CmdStop();
    return false;
  }
  RunClock(false);
  BlockQueue.Clear();
  SelectSegment(n);
  FrameIndex = -1;
  if (!GetDisplaySettings()) return false;
  ClearSurfaces();
  ResetCursorPositions();
  TSegmentInfo *seg = CurrentSegmentInfo();
  TicksPerFrame = TicksPerFrameOf(seg->Flags);
  if (seg->VideoStream) seg->VideoStream->Seek(0);
  if (seg->CursorTrack) seg->CursorTrack->Seek(0);
  if (seg->PaletteTrack) seg->PaletteTrack->Seek(0);
  TickCount = 0;
  ClockPaints = true;
  if (PictureWidth == ScreenWidth && PictureHeight == ScreenHeight && !FullScreen &&
      Shell.ToggleFullScreen)
    Shell.ToggleFullScreen();
  SetPlayState(psStopped);
  if (Shell.LayoutPicture) Shell.LayoutPicture();
  TzxBlockSource source;
  source.SegInfo = seg;
  source.MaxFrameSize = LayoutUsable ? Layout.MaxFrameSize() : 0;
  SetBlockSource(source);
  ResetBlocks();
  BlockQueue.SetAbortWait(false);
  PreloadBlocks();
  Frames.Start();
  FrameIndex = 0;
  EndOfSegment = false;
  ComputeTimerPeriod();
  StopSound();
  if (Frames.Block() == nullptr && seg->FrameCount > 0) {
    // No record to play: unless reading them has been reported already,
    // say why, and go on with the next segment.
    if (!BlockQueue.SourceFailed() && Shell.SegmentProblem)
      Shell.SegmentProblem(n, TzxSegmentProblem::NothingToPlay,
                           seg->NothingToPlay.empty() ? "its video data holds no frame record"
                                                      : seg->NothingToPlay);
    NothingToPlay = true;
    return true;
  }
  if (!PictureProblem.empty() && Shell.SegmentProblem)
    Shell.SegmentProblem(n, TzxSegmentProblem::NoPicture, PictureProblem);
  const TzxSoundChoice sound = ChooseSoundPath(seg->SoundFileName, MainWindow);
  if (sound.Refused && Shell.SegmentProblem)
    Shell.SegmentProblem(n, TzxSegmentProblem::NoSound, sound.Reason);
  // With three ticks a frame the first tick shows frame 0: decode it now.
  if (TicksPerFrame == 3 && Frames.Block() != nullptr) {
    std::lock_guard<std::mutex> lock(SurfaceLock);
    const HBITMAP picture = PictureBitmap();
    if (picture != nullptr) {
      TzxMemoryDC dc(CreateCompatibleDC(nullptr));
      TzxSelect sel(dc.Get(), picture);
      UnpackStep();
      ApplyXorFrameTo(dc.Get());
    }
  }
  return true;
}

bool OpenSegment(int32_t n) {
  NothingToPlay = false;
  if (!PrepareSegment(n)) return false;
  if (NothingToPlay) {
    // Played through at once: the next segment follows as after the last
    // frame.
    SetPlayState(psPlaying);
    if (MainWindow != nullptr) PostMessageA(MainWindow, WM_COMMAND, CMD_NEXT, 0);
    return true;
  }
  RunClock(true);
  SetPlayState(psPlaying);
  if (Shell.SegmentOpened) Shell.SegmentOpened(n);
  return true;
}
