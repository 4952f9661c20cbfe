#include "zxPlayerModel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

std::atomic<int32_t> PlayState{psStopped};
std::atomic<int32_t> CurrentSegment{0};
std::atomic<int32_t> FrameIndex{-1};
std::atomic<int32_t> SpeedPosition{NormalSpeedPosition};

float SpeedFactorAt(int32_t position) {
  if (position < 0 || position >= SpeedPositions) return SpeedFactors[NormalSpeedPosition];
  return SpeedFactors[position];
}

int32_t TicksPerFrameOf(int32_t segmentFlags) {
  return (segmentFlags & 1) ? 3 : 1;
}

int32_t TimerPeriodFor(int32_t framesPerSecond, int32_t ticksPerFrame, int32_t speedPosition) {
  if (framesPerSecond <= 0) return 100;
  double p = (1000 / framesPerSecond) / std::max(1, ticksPerFrame);
  const double factor = SpeedFactorAt(speedPosition);
  if (factor > 0) p = std::nearbyint(p / factor);
  return std::max(MinTimerPeriod, static_cast<int32_t>(p));
}

TzxTickWork TickWorkAt(int32_t ticksPerFrame, int32_t tick) {
  TzxTickWork w;
  if (ticksPerFrame <= 1) {
    w.Unpack = w.Apply = w.ShowPicture = true;
    return w;
  }
  w.Unpack = tick % 3 == 1;
  w.Apply = tick % 3 == 2;
  w.ShowPicture = tick % 3 == 0;
  w.ShowCursorOnly = !w.ShowPicture;
  return w;
}

thread_local const TzxTickGuard *TzxTickGuard::Running = nullptr;

bool TzxTickGuard::Run(const std::function<void()> &tick) {
  std::unique_lock<std::mutex> lock(FLock, std::try_to_lock);
  if (!lock.owns_lock()) {
    if (FOn) ++FSkipped;
    return false;
  }
  if (!FOn) return false;
  struct TInside {
    const TzxTickGuard *Before;
    explicit TInside(const TzxTickGuard *g) : Before(Running) { Running = g; }
    ~TInside() { Running = Before; }
    TInside(const TInside &) = delete;
    TInside &operator=(const TInside &) = delete;
  } inside(this);
  tick();
  return true;
}

void TzxTickGuard::WaitForTick(const std::function<void(int32_t round)> &whileWaiting) {
  if (InTick()) return;
  for (int32_t round = 0;; ++round) {
    if (FLock.try_lock()) {
      FLock.unlock();
      return;
    }
    if (whileWaiting) whileWaiting(round);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}
