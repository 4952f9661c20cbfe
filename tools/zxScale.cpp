#include "zxScale.h"

#include "zxClasses.h"
#include "zxToolArgs.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int32_t MaxSide = 16384;

} // namespace

void TzxScale::Apply(int32_t w, int32_t h, int32_t &outW, int32_t &outH) const {
  if (Width > 0) {
    outW = Width;
    outH = Height;
    return;
  }
  // Unscaled output is the picture itself, however large; only a factor's
  // result is kept within MaxSide.
  if (Factor == 1.0) {
    outW = w;
    outH = h;
    return;
  }
  outW = static_cast<int32_t>(std::clamp<double>(std::round(w * Factor), 1, MaxSide));
  outH = static_cast<int32_t>(std::clamp<double>(std::round(h * Factor), 1, MaxSide));
}

TzxScale ParseScale(const std::string &text) {
  TzxScale s;
  int w = 0, h = 0, used = 0;
  if (std::sscanf(text.c_str(), "%dx%d%n", &w, &h, &used) == 2 && size_t(used) == text.size()) {
    if (w < 1 || h < 1 || w > MaxSide || h > MaxSide)
      throw EzxUsageError(
          Format("--scale %s: a size must lie within 1 .. %d a side", text.c_str(), MaxSide));
    s.Width = w;
    s.Height = h;
    return s;
  }
  char *end = nullptr;
  double f = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !(f > 0) || f > 64)
    throw EzxUsageError(Format(
        "--scale %s: give a factor above 0 (up to 64) or a size such as 640x360", text.c_str()));
  s.Factor = f;
  return s;
}

std::vector<TzxScaler::TTap> TzxScaler::Taps(int32_t from, int32_t to) {
  std::vector<TTap> taps(static_cast<size_t>(to));
  const double step = double(from) / to;
  for (int32_t i = 0; i < to; ++i) {
    const double a = i * step, b = std::min<double>((i + 1) * step, from);
    TTap &t = taps[size_t(i)];
    t.First = std::min(static_cast<int32_t>(std::floor(a)), from - 1);
    const int32_t last =
        std::max(t.First, std::min(static_cast<int32_t>(std::ceil(b)) - 1, from - 1));
    uint32_t sum = 0;
    for (int32_t j = t.First; j <= last; ++j) {
      const double cover = std::min<double>(b, j + 1) - std::max<double>(a, j);
      const auto w = static_cast<uint32_t>(std::lround(std::max(cover, 0.0) / (b - a) * 65536));
      t.Weights.push_back(w);
      sum += w;
    }
    // Rounding leftovers go to the largest weight, so that a flat area
    // stays exactly flat.
    auto big = std::max_element(t.Weights.begin(), t.Weights.end());
    *big = *big + 65536 - sum;
  }
  return taps;
}

void TzxScaler::Scale(const uint8_t *rgb, int32_t w, int32_t h, int32_t outW, int32_t outH,
                      std::vector<uint8_t> &out) {
  if (w != FW || h != FH || outW != FOutW || outH != FOutH) {
    FColumns = Taps(w, outW);
    FRows = Taps(h, outH);
    FW = w, FH = h, FOutW = outW, FOutH = outH;
  }
  // Across, into 16.16 fixed point; then down.
  FTemp.resize(size_t(outW) * size_t(h) * 3);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t *row = rgb + size_t(y) * size_t(w) * 3;
    uint32_t *t = FTemp.data() + size_t(y) * size_t(outW) * 3;
    for (const TTap &c : FColumns) {
      uint32_t r = 0, g = 0, b = 0;
      const uint8_t *p = row + size_t(c.First) * 3;
      for (uint32_t wt : c.Weights) {
        r += wt * p[0];
        g += wt * p[1];
        b += wt * p[2];
        p += 3;
      }
      *t++ = r >> 8;
      *t++ = g >> 8;
      *t++ = b >> 8;
    }
  }
  out.resize(size_t(outW) * size_t(outH) * 3);
  uint8_t *o = out.data();
  const size_t rowValues = size_t(outW) * 3;
  for (const TTap &r : FRows) {
    for (size_t i = 0; i < rowValues; ++i) {
      uint64_t v = 0;
      const uint32_t *t = FTemp.data() + size_t(r.First) * rowValues + i;
      for (uint32_t wt : r.Weights) {
        v += uint64_t(wt) * *t;
        t += rowValues;
      }
      *o++ = static_cast<uint8_t>(std::min<uint64_t>((v + (uint64_t(1) << 23)) >> 24, 255));
    }
  }
}
