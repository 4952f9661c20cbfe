// Seeking in a long recording: an hour of a 1280 x 1024 screen at 10 frames
// a second (36,000 frames), generated here record by record: text typed into
// a window a character a frame with a blinking caret, the text scrolling when
// the window is full, a menu that opens and closes, a clock that changes
// every minute, and a cursor track. Measures how long the seek index takes
// to build and what it holds, then the time of seeks to random frames
// (seek, then the picture as RGB with the cursor drawn), and the process's
// peak memory.
//
//   zxseek_bench [--frames N] [--seeks N] [--budget MIB]
#include "zxEngineTesting.h"
#include "zxFilmWriter.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t W = 1280, H = 1024;

using TClock = std::chrono::steady_clock;

double Ms(TClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

struct TRect {
  int32_t X, Y, W, H;
};

// The screen and the frame records that change it: each change XORs a
// rectangle to its new content; a frame's changes never overlap.
class TScreen {
public:
  TScreen() : FPixels(size_t(W) * H, 0x3A6EA5) {}

  uint32_t At(int32_t x, int32_t y) const { return FPixels[size_t(y) * W + x]; }

  // Sets a rectangle of this frame to what value(x, y) gives.
  template <class TValue> void Change(const TRect &r, TValue value) {
    TChange c{r, {}};
    c.Xor.resize(size_t(r.W) * r.H);
    for (int32_t y = 0; y < r.H; ++y)
      for (int32_t x = 0; x < r.W; ++x) {
        uint32_t &p = FPixels[size_t(r.Y + y) * W + r.X + x];
        const uint32_t v = value(r.X + x, r.Y + y) & 0xFFFFFF;
        c.Xor[size_t(y) * r.W + x] = p ^ v;
        p = v;
      }
    FChanges.push_back(std::move(c));
  }

  // The frame's record, appended to video; the changes start afresh.
  void EndFrame(std::vector<uint8_t> &video) {
    const size_t start = video.size();
    video.resize(start + 8);
    int32_t runs = 0;
    int64_t at = 0; // pixels covered so far
    auto run = [&](uint32_t v, int32_t n) {
      video.insert(video.end(),
                   {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(n), uint8_t(n >> 8)});
      ++runs;
    };
    auto skipTo = [&](int64_t pixel) {
      for (int64_t n = pixel - at; n > 0; n -= 65535)
        run(0, static_cast<int32_t>(std::min<int64_t>(n, 65535)));
      at = pixel;
    };
    int32_t top = H, bottom = 0;
    for (const TChange &c : FChanges) {
      top = std::min(top, c.R.Y);
      bottom = std::max(bottom, c.R.Y + c.R.H);
    }
    std::vector<const TChange *> row;
    for (int32_t y = top; y < bottom; ++y) {
      row.clear();
      for (const TChange &c : FChanges)
        if (y >= c.R.Y && y < c.R.Y + c.R.H) row.push_back(&c);
      std::sort(row.begin(), row.end(),
                [](const TChange *a, const TChange *b) { return a->R.X < b->R.X; });
      for (const TChange *c : row) {
        skipTo(int64_t(y) * W + c->R.X);
        const uint32_t *x = c->Xor.data() + size_t(y - c->R.Y) * c->R.W;
        for (int32_t i = 0; i < c->R.W;) {
          int32_t n = 1;
          while (i + n < c->R.W && x[i + n] == x[i] && n < 65535)
            ++n;
          run(x[i], n);
          i += n;
        }
        at += c->R.W;
      }
    }
    FChanges.clear();
    const int32_t length = static_cast<int32_t>(video.size() - start);
    std::memcpy(video.data() + start, &length, 4);
    std::memcpy(video.data() + start + 4, &runs, 4);
  }

private:
  struct TChange {
    TRect R;
    std::vector<uint32_t> Xor;
  };
  std::vector<uint32_t> FPixels;
  std::vector<TChange> FChanges;
};

// Where the clock changes every minute.
constexpr TRect ClockArea{1200, 1000, 48, 16};

// A character's 8 x 16 cell: a pattern of its code, dark on white.
uint32_t Glyph(int32_t code, int32_t x, int32_t y) {
  if (code == ' ' || x == 7 || y < 3 || y > 13) return 0xFFFFFF;
  const uint32_t bits = uint32_t(code) * 2654435761u >> (y % 8 * 4);
  return (bits >> (x % 4)) & 1 ? 0x202020 : 0xFFFFFF;
}

// The recording, frame by frame.
struct TRecording {
  std::vector<uint8_t> Video;
  std::vector<uint8_t> CursorTrack;
  int32_t Frames = 0;
};

TRecording MakeRecording(int32_t frames) {
  constexpr TRect text{240, 100, 1000, 640};
  constexpr int32_t columns = 100, rows = text.H / 16;
  constexpr TRect menu{10, 30, 200, 300};
  TScreen screen;
  TRecording rec;
  rec.Frames = frames;
  std::vector<std::vector<int32_t>> lines(1);
  std::vector<uint32_t> underMenu;
  uint32_t seed = 12345;
  auto random = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int32_t k = 0; k < frames; ++k) {
    if (k == 0) {
      screen.Change({0, 0, W, H}, [&](int32_t x, int32_t y) {
        if (x >= text.X && x < text.X + text.W && y >= text.Y - 24 && y < text.Y)
          return 0x0A246Au; // title bar
        if (x >= text.X && x < text.X + text.W && y >= text.Y && y < text.Y + text.H)
          return 0xFFFFFFu;
        return (x / 64 + y / 64) % 9 == 0 ? 0xC0C0C0u : 0x3A6EA5u; // desktop icons
      });
    } else if (int32_t(lines.size()) > rows) {
      // The window is full: the text moves up a line.
      lines.erase(lines.begin());
      screen.Change(text, [&](int32_t x, int32_t y) {
        const int32_t line = (y - text.Y) / 16, column = (x - text.X) / 8;
        const auto &l = lines[size_t(line)];
        return Glyph(column < int32_t(l.size()) ? l[size_t(column)] : ' ', (x - text.X) % 8,
                     (y - text.Y) % 16);
      });
    } else {
      // A character a frame, a pause after each line; the caret blinks.
      auto &line = lines.back();
      const int32_t phase = k % 120;
      const int32_t row = int32_t(lines.size()) - 1;
      if (phase < columns) {
        const int32_t code = phase % 7 == 6 ? ' ' : 'a' + int32_t(random() % 26);
        const int32_t column = int32_t(line.size());
        line.push_back(code);
        screen.Change({text.X + column * 8, text.Y + row * 16, 8, 16}, [&](int32_t x, int32_t y) {
          return Glyph(code, x - text.X - column * 8, y - text.Y - row * 16);
        });
      }
      const int32_t column = int32_t(line.size());
      if (column < columns && (phase < columns || phase % 5 == 0)) {
        const bool on = phase < columns || phase / 5 % 2 == 0;
        screen.Change({text.X + column * 8, text.Y + row * 16 + 2, 2, 13},
                      [on](int32_t, int32_t) { return on ? 0u : 0xFFFFFFu; });
      }
      if (phase == 119) lines.emplace_back();
    }
    // A menu opens for three seconds every 90 seconds.
    if (k % 900 == 450) {
      underMenu.clear();
      for (int32_t y = 0; y < menu.H; ++y)
        for (int32_t x = 0; x < menu.W; ++x)
          underMenu.push_back(screen.At(menu.X + x, menu.Y + y));
      screen.Change(menu, [&](int32_t x, int32_t y) {
        return (y - menu.Y) % 20 < 2 ? 0x808080u : (x - menu.X) < 4 ? 0x404040u : 0xF0F0F0u;
      });
    } else if (k % 900 == 480) {
      screen.Change(menu, [&](int32_t x, int32_t y) {
        return underMenu[size_t(y - menu.Y) * menu.W + (x - menu.X)];
      });
    }
    if (k % 600 == 599)
      screen.Change(ClockArea, [k](int32_t x, int32_t y) {
        return Glyph('0' + k / 600 % 10, (x - ClockArea.X) % 8, y - ClockArea.Y);
      });
    screen.EndFrame(rec.Video);
    const double t = k / 10.0;
    AppendCursorSample(rec.CursorTrack, 0, static_cast<uint16_t>(640 + 500 * std::sin(t / 7)),
                       static_cast<uint16_t>(512 + 400 * std::cos(t / 11)));
  }
  return rec;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * double(v.size() - 1) + 0.5))];
}

long PeakMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char **argv) {
  int32_t frames = 36000, seeks = 300;
  size_t budget = TzxSeekIndex::DefaultBudget;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--frames")
      frames = std::atoi(argv[i + 1]);
    else if (a == "--seeks")
      seeks = std::atoi(argv[i + 1]);
    else if (a == "--budget")
      budget = size_t(std::atoll(argv[i + 1])) << 20;
  }

  auto start = TClock::now();
  TRecording rec = MakeRecording(frames);
  std::printf("recording: %d frames of %d x %d, %.1f MB of frame records (made in %.1f s)\n",
              frames, W, H, double(rec.Video.size()) / 1e6, Ms(TClock::now() - start) / 1000);
  TTestSegment segment(W, H, 32);
  segment.SetVideo(rec.Video, frames);
  segment.SetCursorTrack(rec.CursorTrack);
  segment.AddCursor(MakeColourCursor(12, 19, 0, 0, TzxBytes(12 * 19 * 4, 0x40)));
  std::vector<uint8_t>().swap(rec.Video);
  const long before = PeakMb();

  TzxPalette palette{};
  TzxSegmentRenderer renderer(segment.Info(), palette);
  start = TClock::now();
  {
    TzxSegmentRenderer walk(segment.Info(), palette);
    while (walk.NextFrame()) {
    }
    if (walk.FrameIndex() + 1 != frames) {
      std::fprintf(stderr, "the walk ended after %d frames: %s\n", walk.FrameIndex() + 1,
                   walk.EndReason().c_str());
      return 1;
    }
  }
  const double walkMs = Ms(TClock::now() - start);
  start = TClock::now();
  TzxSeekIndex index(renderer, budget);
  index.Build();
  const double buildMs = Ms(TClock::now() - start);
  std::printf("walk from the start to the end: %.0f ms (%.0f frames/s)\n", walkMs,
              frames / walkMs * 1000);
  std::printf("index: built in %.0f ms; %zu snapshots, one every %d frames, %.1f MB "
              "(budget %.0f MB)\n",
              buildMs, index.Snapshots(), index.Spacing(), double(index.Bytes()) / 1048576.0,
              double(budget) / 1048576.0);

  std::vector<double> seekMs, shownMs;
  TzxRgbPicture picture;
  uint32_t random = 99;
  for (int32_t i = 0; i < seeks; ++i) {
    random = random * 1664525u + 1013904223u;
    const int32_t k = static_cast<int32_t>((random >> 8) % uint32_t(frames));
    const auto t0 = TClock::now();
    if (!index.Seek(k)) {
      std::fprintf(stderr, "frame %d cannot be shown: %s\n", k, renderer.EndReason().c_str());
      return 1;
    }
    const auto t1 = TClock::now();
    renderer.Render(picture, true);
    const auto t2 = TClock::now();
    seekMs.push_back(Ms(t1 - t0));
    shownMs.push_back(Ms(t2 - t0));
  }
  std::printf("%d seeks to random frames: seek median %.1f ms, 90th percentile %.1f ms, worst "
              "%.1f ms\n",
              seeks, Percentile(seekMs, 0.5), Percentile(seekMs, 0.9), Percentile(seekMs, 1.0));
  std::printf("  with the picture as RGB and the cursor: median %.1f ms, 90th percentile %.1f "
              "ms, worst %.1f ms\n",
              Percentile(shownMs, 0.5), Percentile(shownMs, 0.9), Percentile(shownMs, 1.0));
  std::printf("peak memory: %ld MB (%ld MB before the renderer and the index: the generated "
              "recording)\n",
              PeakMb(), before);
  return 0;
}
