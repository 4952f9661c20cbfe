// Speed of the two decoding paths on a 1024 x 768 picture: a typical
// screen-recording frame (a few changed areas, long unchanged runs) and a
// frame where every pixel changes.
#include "zxEngineTesting.h"
#include "zxFrameEncoder.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int32_t W = 1024, H = 768;

std::vector<uint8_t> Record(int32_t bits, bool noise) {
  TTestPicture p(W, H, bits);
  TTestRandom r(5);
  if (noise) {
    for (auto &v : p.Pixels)
      v = r.Next() & (bits == 8 ? 0xFF : 0xFFFFFF);
  } else {
    for (int32_t y = 100; y < 140; ++y)
      for (int32_t x = 200; x < 600; ++x)
        p.At(x, y) = 0x336699 & (bits == 8 ? 0xFF : 0xFFFFFF);
  }
  TzxFrameEncoder enc(W, H, bits);
  const auto s = ToSurface(p);
  return enc.EncodeFrame(s.data(), enc.Layout().Stride, s.size());
}

void ViaXorFrame(benchmark::State &state) {
  const int32_t bits = static_cast<int32_t>(state.range(0));
  const auto bytes = Record(bits, state.range(1) != 0);
  const TzxPictureLayout l = MakePictureLayout(W, H, bits);
  const TzxFrameRecord r = ParseFrameRecord(bytes.data(), bytes.size(), l.Format);
  std::vector<uint8_t> x(l.XorFrameBytes()), p(l.PictureBytes());
  for (auto _ : state) {
    UnpackFrame(l, r, x.data(), x.size());
    ApplyXorFrame(l, x.data(), x.size(), p.data(), p.size());
    benchmark::DoNotOptimize(p.data());
  }
}

void Direct(benchmark::State &state) {
  const int32_t bits = static_cast<int32_t>(state.range(0));
  const auto bytes = Record(bits, state.range(1) != 0);
  const TzxPictureLayout l = MakePictureLayout(W, H, bits);
  const TzxFrameRecord r = ParseFrameRecord(bytes.data(), bytes.size(), l.Format);
  std::vector<uint8_t> p(l.PictureBytes());
  for (auto _ : state) {
    XorFrameIntoPicture(l, r, p.data(), p.size());
    benchmark::DoNotOptimize(p.data());
  }
}

} // namespace

BENCHMARK(ViaXorFrame)->ArgsProduct({{8, 24, 32}, {0, 1}});
BENCHMARK(Direct)->ArgsProduct({{8, 24, 32}, {0, 1}});
BENCHMARK_MAIN();
