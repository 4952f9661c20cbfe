#include "zxProgress.h"

#include "zxClasses.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <unistd.h>

namespace {

TzxProgressMode Mode = TzxProgressMode::Auto;
TzxProgress *Current = nullptr; // the line made last

constexpr double RedrawSeconds = 0.25;

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// 0:07, 12:34, 1:02:03.
std::string Clock(double seconds) {
  const auto s = static_cast<long long>(std::max(0.0, std::min(seconds, 3.6e8)) + 0.5);
  if (s >= 3600) return Format("%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return Format("%lld:%02lld", s / 60, s % 60);
}

std::string Megabytes(int64_t bytes) {
  return Format("%.1f", double(bytes) / 1e6);
}

} // namespace

void SetProgressMode(TzxProgressMode mode) {
  Mode = mode;
}

TzxProgress::TzxProgress(std::string label, int64_t total, TUnit unit)
    : TzxProgress(std::move(label), total, unit, stderr,
                  Mode == TzxProgressMode::Always ||
                      (Mode == TzxProgressMode::Auto && ::isatty(2) == 1),
                  SteadySeconds) {
  FForced = Mode == TzxProgressMode::Always;
}

TzxProgress::TzxProgress(std::string label, int64_t total, TUnit unit, std::FILE *out, bool shown,
                         TClock clock)
    : FLabel(std::move(label)), FTotal(std::max<int64_t>(total, 0)), FUnit(unit), FOut(out),
      FShown(shown), FForced(shown), FClock(std::move(clock)), FStart(FClock()),
      FPrevious(Current) {
  Current = this;
}

TzxProgress::~TzxProgress() {
  Current = FPrevious;
  if (FOpen) {
    std::fputc('\n', FOut);
    std::fflush(FOut);
  }
}

void TzxProgress::Update(int64_t done) {
  FDone = std::max<int64_t>(done, 0);
  Tick();
}

void TzxProgress::Tick() {
  if (!FShown || FFinished) return;
  const double now = FClock();
  // The first drawing waits as long as a redraw does: quick steps stay quiet.
  if (now - (FLast < 0 ? FStart : FLast) < RedrawSeconds) return;
  FLast = now;
  Draw(false);
}

void TzxProgress::Finish() {
  if (FFinished) return;
  FFinished = true;
  if (FDone >= 0 && FUnit == TUnit::Frames) FTotal = FDone;
  if (FShown && (FOpen || FForced)) Draw(true);
  if (FOpen) std::fputc('\n', FOut);
  FOpen = false;
  std::fflush(FOut);
}

void TzxProgress::TickCurrent() {
  if (Current) Current->Tick();
}

std::string TzxProgress::Line(int64_t done, double elapsed, bool finished) const {
  const bool frames = FUnit == TUnit::Frames;
  const auto amount = [&](int64_t n) {
    return frames ? Format("%lld", static_cast<long long>(n)) : Megabytes(n);
  };
  const char *unit = frames ? "frames" : "MB";
  std::string line = FLabel + ": ";
  if (done < 0) { // how far is not told: what the step works on, and for how long
    if (FTotal > 0) line += amount(FTotal) + " " + unit + ", ";
    return line + (finished ? "in " : "") + Clock(elapsed);
  }
  if (FTotal > 0) {
    // An estimated total that is passed stays below 100% until the end.
    const int64_t percent = finished ? 100 : std::min<int64_t>(100 * done / FTotal, 99);
    line += Format("%s/%s %s (%lld%%)", amount(done).c_str(), amount(FTotal).c_str(), unit,
                   static_cast<long long>(percent));
  } else {
    line += amount(done) + " " + unit;
  }
  if (elapsed > 0 && done > 0) {
    const double rate = double(done) / elapsed;
    line +=
        frames ? Format(", %.1f fps", rate) : Format(", %s MB/s", Megabytes(int64_t(rate)).c_str());
    if (finished)
      line += ", in " + Clock(elapsed);
    else if (FTotal > done)
      line += ", ETA " + Clock(double(FTotal - done) / rate);
  } else if (finished) {
    line += ", in " + Clock(elapsed);
  }
  return line;
}

void TzxProgress::Draw(bool finished) {
  std::string line = Line(FDone, FClock() - FStart, finished);
  const size_t width = line.size();
  if (width < FWidth) line.append(FWidth - width, ' '); // over the longer line before
  FWidth = width;
  std::fprintf(FOut, "\r%s", line.c_str());
  std::fflush(FOut);
  FOpen = true;
}
