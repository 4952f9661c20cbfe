// The progress line of zxtool's long steps, on standard error:
//
//   segment 1: 120/1500 frames (8%), 45.2 fps, ETA 0:30
//   segment 1, LZMA: 12.3/45.6 MB (27%), 3.1 MB/s, ETA 0:11
//   segment 1, sound: 0:12                 a step that does not tell how far it is
//   segment 1: 1500/1500 frames (100%), 45.2 fps, in 0:33       when it is over
//
// It is redrawn in place (a carriage return, then the line padded over the
// one before) at most four times a second; the last state stays on its
// line when the step ends. By default it is shown when standard error is
// a terminal; --progress and --no-progress decide otherwise.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

enum class TzxProgressMode { Auto, Always, Never };
void SetProgressMode(TzxProgressMode mode);

class TzxProgress {
public:
  enum class TUnit { Frames, Bytes };
  using TClock = std::function<double()>; // seconds, never falling

  // total: 0 when unknown. Draws on standard error, as the mode says.
  TzxProgress(std::string label, int64_t total, TUnit unit = TUnit::Frames);
  // Draws on out when shown, timed by clock.
  TzxProgress(std::string label, int64_t total, TUnit unit, std::FILE *out, bool shown,
              TClock clock);
  // A line left unfinished is ended, so that what follows (an error)
  // starts a line of its own.
  ~TzxProgress();
  TzxProgress(const TzxProgress &) = delete;
  TzxProgress &operator=(const TzxProgress &) = delete;

  // done so far (frames, bytes); past an estimated total it counts on.
  void Update(int64_t done);
  // Redraws the time taken, for a step that reports no amounts.
  void Tick();
  // Ends the step: what was done is the whole, drawn once more (also when
  // the step was too quick to be drawn before, if the line is forced on).
  void Finish();

  // The text of the line for done (-1: not told) after elapsed seconds.
  std::string Line(int64_t done, double elapsed, bool finished = false) const;

  // Ticks the progress line made last that still exists: for waits that
  // cannot reach it otherwise (a callback that knows no line).
  static void TickCurrent();

private:
  void Draw(bool finished);

  std::string FLabel;
  int64_t FTotal;
  TUnit FUnit;
  std::FILE *FOut;
  bool FShown;
  bool FForced; // shown whatever the terminal, so drawn at least once
  TClock FClock;
  double FStart;
  double FLast = -1; // when last drawn
  int64_t FDone = -1;
  size_t FWidth = 0;  // of the line drawn last
  bool FOpen = false; // a line is drawn and not ended
  bool FFinished = false;
  TzxProgress *FPrevious;
};
