// The player's model, shared by every front end: the play state the windows
// show, the speeds, the clock's schedule of ticks, and the guard that keeps
// ticks apart from each other and from the thread that stops them.
//
// Threads: the state below is set on the main thread and read by ticks on
// the timer's thread, so each value is atomic and changes whole. A tick
// reads what it needs once; a change between two ticks takes effect at the
// next one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

enum : int32_t { psStopped = 0, psPlaying = 1, psPaused = 2 };

extern std::atomic<int32_t> PlayState;
extern std::atomic<int32_t> CurrentSegment;
extern std::atomic<int32_t> FrameIndex;    // -1 before the first frame
extern std::atomic<int32_t> SpeedPosition; // into SpeedFactors

// ---- Speeds

// Playback speed factor by speed position; position 3 is normal, the last
// one plays as fast as the ticks allow.
inline constexpr float SpeedFactors[9] = {0.1f, 0.25f, 0.5f,  1.0f,   2.0f,
                                          3.0f, 5.0f,  10.0f, 1000.0f};
inline constexpr int32_t NormalSpeedPosition = 3;
inline constexpr int32_t SpeedPositions = 9;
// The factor at a position; positions outside the table give normal speed.
float SpeedFactorAt(int32_t position);

// ---- The clock's schedule

// The shortest period the clock runs at, in milliseconds.
inline constexpr int32_t MinTimerPeriod = 10;
// Ticks a frame: a segment whose flags have bit 0 set moves its cursor three
// times a frame, the others once.
int32_t TicksPerFrameOf(int32_t segmentFlags);
// Milliseconds between ticks for frames per second and ticks a frame at a
// speed position: whole milliseconds a frame, shared by its ticks and
// divided by the speed factor; at least MinTimerPeriod, 100 for a segment
// without a frame rate.
int32_t TimerPeriodFor(int32_t framesPerSecond, int32_t ticksPerFrame, int32_t speedPosition);

// What one tick does to the picture besides moving the cursor. With one tick
// a frame every tick unpacks the next record, applies it and shows the
// picture. With three, frame k's record is unpacked at tick 3k+1 and applied
// at tick 3k+2, the whole picture is shown at ticks 3k and only the cursor's
// region in between.
struct TzxTickWork {
  bool Unpack = false;         // expand the current record into the XOR frame
  bool Apply = false;          // XOR it into the picture
  bool ShowPicture = false;    // copy the whole picture to the window
  bool ShowCursorOnly = false; // copy only the cursor's old and new places
};
TzxTickWork TickWorkAt(int32_t ticksPerFrame, int32_t tick);
// Whether the frame index moves on after the given tick.
inline bool FrameEndsAt(int32_t ticksPerFrame, int32_t tick) {
  return ticksPerFrame <= 1 || tick % ticksPerFrame == 0;
}

// ---- Ticks

// Keeps the clock's ticks apart: a timer event that finds the tick before it
// still running is dropped (and counted), a stopped clock runs none, and
// whoever stops the clock can wait until the running tick has ended.
class TzxTickGuard {
public:
  TzxTickGuard() = default;
  TzxTickGuard(const TzxTickGuard &) = delete;
  TzxTickGuard &operator=(const TzxTickGuard &) = delete;

  // Lets ticks run.
  void Start() { FOn = true; }
  // No tick starts after this; the running one, if any, goes on.
  void Halt() { FOn = false; }
  bool On() const { return FOn; }
  // Whether the calling thread is inside one of this guard's ticks.
  bool InTick() const { return Running == this; }
  // Timer events dropped because the tick before them overran its period.
  int32_t Skipped() const { return FSkipped; }

  // Runs tick() unless the clock is stopped or another tick runs; whether it
  // ran. An exception of tick() passes through with the guard released.
  bool Run(const std::function<void()> &tick);

  // After Halt: returns once no tick runs, calling whileWaiting(round) every
  // 10 ms until then (round counts from 0). Called from inside a tick it
  // returns at once: the tick ends when its caller returns.
  void WaitForTick(const std::function<void(int32_t round)> &whileWaiting);

private:
  std::mutex FLock; // held by the running tick
  std::atomic<bool> FOn{false};
  std::atomic<int32_t> FSkipped{0};
  static thread_local const TzxTickGuard *Running;
};

// A request from one thread that another thread serves later, for instance
// "show the new time": requests made while one is pending merge into it.
// The serving side calls Served() before it reads what the request is
// about, so a change made after that read is always followed by a request.
class TzxMergedRequest {
public:
  // Calls post() unless a request is pending; when post() fails (returns
  // false) none is pending afterwards.
  void Request(const std::function<bool()> &post) {
    if (FPending.exchange(true)) return;
    if (!post()) FPending = false;
  }
  void Served() { FPending = false; }
  bool Pending() const { return FPending; }

private:
  std::atomic<bool> FPending{false};
};
