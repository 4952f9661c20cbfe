// The Win32 playback engine: the drawing surfaces with the recorded cursor
// overlay and the copies into the main window, segment opening and the
// playback clock on a periodic multimedia timer.
//
// Threads: everything here runs on the main window's thread except the
// clock ticks after the first, which run on the multimedia timer's thread.
// A tick runs inside the model's tick guard, so ticks never overlap and
// KillClock can wait for the running one; the picture work of a tick and every copy
// into the window hold SurfaceLock, so the paint handler and a tick never
// use the surfaces at the same time. Segment opening and surface set-up
// happen only while the clock is stopped. A tick passes work to the main
// window only by posting messages.
#pragma once

#include "UzxBlocks.h"
#include "ZxcabClasses.h"
#include "zxFrameDecoder.h"
#include "zxPicturePlacement.h"
#include "zxPlayerModel.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// A tick's error, handed to the main window: wParam 0, lParam 0; the main
// window stops playback and shows TakeClockError(). After a segment's last
// frame the clock posts the command CMD_NEXT (zxCommands.h).
constexpr UINT UM_CLOCKERROR = WM_USER + 110;

// Shared player state besides the model's.
extern TSegmentList *SegmentList; // the film; none before the main window makes one
extern HWND MainWindow;
extern bool FullScreen;

// Surfaces and their picture.
extern int32_t PictureWidth, PictureHeight;
extern int32_t SurfaceDepth, DisplayDepth;
extern int32_t ScreenWidth, ScreenHeight;
extern int32_t CursorWidth, CursorHeight;
extern int32_t OldCursorX, OldCursorY, NewCursorX, NewCursorY;
extern TzxPicturePlacement Placement; // set by the shell's picture layout
extern TzxPalette Palette;
extern std::atomic<bool> ClockPaints;

// Clock state.
extern int32_t TimerPeriod;
extern int32_t TicksPerFrame;
extern int32_t TickCount;

// What the engine asks of the main window, set by the shell.
// What a segment cannot do. NoSound: its sound file cannot be played (the
// reason follows "its sound"); NoPicture: its frames cannot be shown (it
// plays on without picture); NothingToPlay: it holds no frame record to play
// (the player goes on with the next segment); EndsEarly: its records end
// before its frame count (the segment ends there).
enum class TzxSegmentProblem { NoSound, NoPicture, NothingToPlay, EndsEarly };

struct TzxPlayerShell {
  std::function<void()> LayoutPicture;
  std::function<void()> UpdateMenuState;
  std::function<void()> CmdStop; // main thread only
  std::function<void()> Ticked;  // after each tick, on the tick's thread
  // A segment exactly the screen's size is being opened while windowed.
  std::function<void()> ToggleFullScreen;
  // Segment n has been opened and plays.
  std::function<void(int32_t n)> SegmentOpened;
  // Segment n cannot play all it holds (see TzxSegmentProblem; reason is a
  // clause for the user). Called on the main thread while the segment opens,
  // or on the tick's thread when its records end early.
  std::function<void(int32_t n, TzxSegmentProblem problem, const std::string &reason)>
      SegmentProblem;
};
void SetPlayerShell(TzxPlayerShell shell);
// Timer events that found the tick before them still running (overruns),
// since the program started.
int32_t TicksSkipped();

// Surfaces.
// Replaces the picture placement between two ticks.
void SetPlacement(const TzxPicturePlacement &placement);
bool GetDisplaySettings();
void CreateSurfaces(int32_t depth);
void DeleteSurfaces();
void ClearSurfaces();
// Whether the current segment's frames are shown (false when it plays
// without picture).
bool HasPicture();
// Copies the picture into the main window (nothing without one).
void PaintPicture();
// The picture's pixels as 32-bit blue, green, red, 0, rows top to bottom
// (8-bit pictures through Palette); empty without a picture.
std::vector<uint8_t> ReadPicturePixels();

// The current segment, none when CurrentSegment is outside the list.
TSegmentInfo *CurrentSegmentInfo();

// Segment opening and the clock.
bool OpenSegment(int32_t n);
// OpenSegment up to the start of the clock: surfaces, tracks, blocks and
// the first frame as the first tick expects them. False as OpenSegment.
bool PrepareSegment(int32_t n);
void SelectSegment(int32_t n);
void RunClock(bool on);
void KillClock();
void ComputeTimerPeriod();
void SetPlayState(int32_t s);
// One tick's work (the clock's tick without its timer), on the calling thread.
void ClockTick();
// Stops the clock and empties the block queue (the engine side of Stop).
void StopClockAndBlocks();
// The message of the last error a tick raised, and clears it.
std::string TakeClockError();
// The rectangles PaintCursorRegion copies for the given positions:
// one covering both when they overlap, else the old one and the new one.
struct TzxCursorRegion {
  int32_t Count = 0;
  TzxBounds Rects[2];
};
TzxCursorRegion CursorRegion(int32_t oldX, int32_t oldY, int32_t newX, int32_t newY, int32_t w,
                             int32_t h);
