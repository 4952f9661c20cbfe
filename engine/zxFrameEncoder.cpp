#include "zxFrameEncoder.h"

namespace {

void PutLE32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t PixelValue(const uint8_t *p, int32_t pixelBytes) {
  if (pixelBytes == 1) return p[0];
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

} // namespace

TzxFrameEncoder::TzxFrameEncoder(int32_t width, int32_t height, int32_t bitsPerPixel)
    : FLayout(MakePictureLayout(width, height, bitsPerPixel)) {
  Reset();
}

void TzxFrameEncoder::Reset() {
  FPrevious.assign(static_cast<size_t>(FLayout.Pixels()), 0);
}

void TzxFrameEncoder::AppendFrame(std::vector<uint8_t> &video, const uint8_t *picture,
                                  size_t stride, size_t size) {
  const TzxRunFormat &f = FLayout.Format;
  const size_t rowBytes = static_cast<size_t>(FLayout.RowBytes);
  if (!picture || stride < rowBytes || size < stride * size_t(FLayout.Height - 1) + rowBytes)
    throw EzxError(Format("A picture of %d x %d at %d bits needs rows of %d bytes, got %lld "
                          "bytes with rows of %lld",
                          FLayout.Width, FLayout.Height, f.BitsPerPixel, FLayout.RowBytes,
                          static_cast<long long>(picture ? size : 0),
                          static_cast<long long>(stride)));

  const size_t start = video.size();
  video.resize(start + 8);
  int64_t runs = 0;
  uint32_t value = 0;
  uint32_t count = 0;
  auto flush = [&] {
    if (count == 0) return;
    uint8_t run[5];
    run[0] = static_cast<uint8_t>(value);
    if (f.PixelBytes == 1) {
      run[1] = static_cast<uint8_t>(count);
    } else {
      run[1] = static_cast<uint8_t>(value >> 8);
      run[2] = static_cast<uint8_t>(value >> 16);
      run[3] = static_cast<uint8_t>(count);
      run[4] = static_cast<uint8_t>(count >> 8);
    }
    video.insert(video.end(), run, run + f.RunSize);
    ++runs;
    count = 0;
  };

  size_t i = 0;
  for (int32_t y = 0; y < FLayout.Height; ++y) {
    const uint8_t *p = picture + size_t(y) * stride;
    for (int32_t x = 0; x < FLayout.Width; ++x, ++i, p += f.PixelBytes) {
      const uint32_t now = PixelValue(p, f.PixelBytes);
      const uint32_t diff = now ^ FPrevious[i];
      FPrevious[i] = now;
      if (count > 0 && (diff != value || count == uint32_t(f.MaxCount))) flush();
      value = diff;
      ++count;
    }
  }
  flush();

  const int64_t length = static_cast<int64_t>(video.size() - start);
  if (length > INT32_MAX)
    throw EzxError(
        Format("A frame record of %lld bytes is too long", static_cast<long long>(length)));
  PutLE32(video.data() + start, static_cast<uint32_t>(length));
  PutLE32(video.data() + start + 4, static_cast<uint32_t>(runs));
}

std::vector<uint8_t> TzxFrameEncoder::EncodeFrame(const uint8_t *picture, size_t stride,
                                                  size_t size) {
  std::vector<uint8_t> record;
  AppendFrame(record, picture, stride, size);
  return record;
}

void AppendPaletteChange(std::vector<uint8_t> &track, const TzxPalette &before,
                         const TzxPalette &after) {
  auto same = [&](size_t i) {
    const TzxPaletteEntry &a = before[i], &b = after[i];
    return a.Blue == b.Blue && a.Green == b.Green && a.Red == b.Red && a.Reserved == b.Reserved;
  };
  size_t first = 0;
  while (first < 256 && same(first))
    ++first;
  if (first == 256) {
    track.push_back(0);
    return;
  }
  size_t last = 255;
  while (same(last))
    --last;
  const size_t n = last - first + 1;
  if (n > 255)
    throw EzxError(Format("A palette change of %d entries does not fit one record (255 at most)",
                          static_cast<int>(n)));
  track.push_back(static_cast<uint8_t>(n));
  track.push_back(static_cast<uint8_t>(first));
  for (size_t i = first; i <= last; ++i) {
    const TzxPaletteEntry &e = after[i];
    track.insert(track.end(), {e.Blue, e.Green, e.Red, e.Reserved});
  }
}
