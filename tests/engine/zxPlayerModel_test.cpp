#include "zxPlayerModel.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <stdexcept>
#include <thread>

namespace {

TEST(PlayerSchedule, TimerPeriods) {
  // Whole milliseconds a frame, shared by its ticks, then the speed.
  EXPECT_EQ(TimerPeriodFor(10, 1, NormalSpeedPosition), 100);
  EXPECT_EQ(TimerPeriodFor(10, 3, NormalSpeedPosition), 33);
  EXPECT_EQ(TimerPeriodFor(15, 3, NormalSpeedPosition), 22); // 66 / 3
  EXPECT_EQ(TimerPeriodFor(10, 1, 0), 1000);                 // x0.1
  EXPECT_EQ(TimerPeriodFor(10, 3, 1), 132);                  // 33 / 0.25
  EXPECT_EQ(TimerPeriodFor(10, 1, 7), 10);                   // x10
  // Never below the shortest period, also at MAX and at high frame rates.
  EXPECT_EQ(TimerPeriodFor(10, 1, SpeedPositions - 1), MinTimerPeriod);
  EXPECT_EQ(TimerPeriodFor(255, 3, NormalSpeedPosition), MinTimerPeriod);
  // No frame rate, and a position outside the table (normal speed).
  EXPECT_EQ(TimerPeriodFor(0, 1, NormalSpeedPosition), 100);
  EXPECT_EQ(TimerPeriodFor(10, 1, 99), 100);
  EXPECT_EQ(TimerPeriodFor(10, 1, -1), 100);
}

TEST(PlayerSchedule, TickWork) {
  EXPECT_EQ(TicksPerFrameOf(0), 1);
  EXPECT_EQ(TicksPerFrameOf(1), 3);
  EXPECT_EQ(TicksPerFrameOf(0xFE), 1);

  for (int32_t t = 0; t < 4; ++t) {
    const TzxTickWork w = TickWorkAt(1, t);
    EXPECT_TRUE(w.Unpack && w.Apply && w.ShowPicture && !w.ShowCursorOnly) << "tick " << t;
    EXPECT_TRUE(FrameEndsAt(1, t));
  }
  // Three ticks a frame: each step once in every three ticks, in the order
  // show, unpack, apply; the frame moves on after the showing tick.
  std::string pattern;
  for (int32_t t = 0; t < 6; ++t) {
    const TzxTickWork w = TickWorkAt(3, t);
    pattern += w.ShowPicture ? 'S' : w.Unpack ? 'U' : w.Apply ? 'A' : '?';
    EXPECT_NE(w.ShowPicture, w.ShowCursorOnly) << "tick " << t;
    EXPECT_EQ(FrameEndsAt(3, t), t % 3 == 0) << "tick " << t;
  }
  EXPECT_EQ(pattern, "SUASUA");
}

// Waits, without a time limit of its own, until a condition holds.
template <class F> void WaitUntil(F done) {
  while (!done())
    std::this_thread::yield();
}

TEST(TickGuardThreads, StoppingWaitsForTheRunningTick) {
  // A timer thread fires as fast as it can; the tick's work is plain data.
  // Each time the main thread has stopped the clock and waited, it owns that
  // data: ThreadSanitizer reports any tick still running.
  TzxTickGuard guard;
  int64_t work = 0;
  std::atomic<int64_t> ticks{0};
  std::atomic<bool> quit{false};
  std::thread timer([&] {
    while (!quit)
      guard.Run([&] {
        ++work;
        ++ticks;
      });
  });
  for (int round = 0; round < 200; ++round) {
    const int64_t before = ticks;
    guard.Start();
    WaitUntil([&] { return ticks > before; });
    guard.Halt();
    guard.WaitForTick(nullptr);
    const int64_t stopped = work;
    work = stopped + 1000; // the main thread's own change while stopped
    EXPECT_FALSE(guard.Run([] { FAIL() << "a tick ran on a stopped clock"; }));
    EXPECT_EQ(work, stopped + 1000) << "round " << round;
  }
  quit = true;
  timer.join();
}

TEST(TickGuardThreads, OverrunsAreDroppedAndCounted) {
  TzxTickGuard guard;
  guard.Start();
  std::atomic<bool> inside{false}, release{false};
  std::thread slow([&] {
    guard.Run([&] {
      inside = true;
      WaitUntil([&] { return release.load(); });
    });
  });
  WaitUntil([&] { return inside.load(); });
  bool ran = false;
  EXPECT_FALSE(guard.Run([&] { ran = true; }));
  EXPECT_FALSE(guard.Run([&] { ran = true; }));
  EXPECT_EQ(guard.Skipped(), 2);
  guard.Halt(); // events after a stop are no overruns
  EXPECT_FALSE(guard.Run([&] { ran = true; }));
  EXPECT_EQ(guard.Skipped(), 2);
  release = true;
  slow.join();
  EXPECT_FALSE(ran);
}

TEST(TickGuardThreads, AWaitEndsATickThatWouldWaitForever) {
  // The running tick waits for something only the stopping thread can give
  // (a refilled block): the wait gives it, round after round.
  TzxTickGuard guard;
  guard.Start();
  std::atomic<bool> inside{false}, given{false};
  std::thread tick([&] {
    guard.Run([&] {
      inside = true;
      WaitUntil([&] { return given.load(); });
    });
  });
  WaitUntil([&] { return inside.load(); });
  guard.Halt();
  int32_t rounds = 0;
  guard.WaitForTick([&](int32_t round) {
    rounds = round + 1;
    if (round == 3) given = true;
  });
  tick.join();
  EXPECT_GE(rounds, 4);
}

TEST(TickGuardThreads, StoppingFromInsideATick) {
  TzxTickGuard guard;
  guard.Start();
  bool waited = false;
  EXPECT_FALSE(guard.InTick());
  EXPECT_TRUE(guard.Run([&] {
    EXPECT_TRUE(guard.InTick());
    guard.Halt();
    guard.WaitForTick([&](int32_t) { waited = true; }); // would wait for itself
  }));
  EXPECT_FALSE(waited);
  EXPECT_FALSE(guard.InTick());
  EXPECT_FALSE(guard.Run([] {}));

  // A tick that throws leaves the guard free for the next one.
  guard.Start();
  EXPECT_THROW(guard.Run([] { throw std::runtime_error("damaged record"); }), std::runtime_error);
  EXPECT_FALSE(guard.InTick());
  EXPECT_TRUE(guard.Run([] {}));
}

// Posted requests as a window's message queue holds them.
class TTestQueue {
public:
  void Post(int message) {
    std::lock_guard<std::mutex> lock(FLock);
    FMessages.push_back(message);
    FPosted.notify_one();
  }
  int Take() {
    std::unique_lock<std::mutex> lock(FLock);
    FPosted.wait(lock, [this] { return !FMessages.empty(); });
    const int m = FMessages.front();
    FMessages.pop_front();
    return m;
  }

private:
  std::mutex FLock;
  std::condition_variable FPosted;
  std::deque<int> FMessages;
};

TEST(MergedRequestThreads, TheLastChangeIsAlwaysServed) {
  // The clock's thread moves the frame and asks for the time text; the main
  // thread serves the requests it finds. However they interleave, the text
  // ends on the last frame, with no more posts than changes.
  constexpr int32_t Frames = 20000;
  constexpr int Request = 1, Quit = 2;
  TzxMergedRequest request;
  TTestQueue queue;
  std::atomic<int32_t> frame{0};
  int32_t posts = 0;
  std::thread clock([&] {
    for (int32_t i = 1; i <= Frames; ++i) {
      frame = i;
      request.Request([&] {
        ++posts;
        queue.Post(Request);
        return true;
      });
    }
    queue.Post(Quit);
  });
  int32_t shown = 0, served = 0;
  for (;;) {
    const int m = queue.Take();
    if (m == Quit) break;
    request.Served();
    shown = frame;
    ++served;
  }
  clock.join();
  EXPECT_EQ(shown, Frames);
  EXPECT_EQ(served, posts);
  EXPECT_LE(posts, Frames);
  EXPECT_FALSE(request.Pending());
}

TEST(MergedRequestThreads, AFailedPostLeavesNothingPending) {
  TzxMergedRequest request;
  int posts = 0;
  request.Request([&] {
    ++posts;
    return false; // the window has gone
  });
  EXPECT_FALSE(request.Pending());
  request.Request([&] {
    ++posts;
    return true;
  });
  request.Request([&] {
    ++posts;
    return true;
  });
  EXPECT_EQ(posts, 2);
  EXPECT_TRUE(request.Pending());
}

} // namespace
