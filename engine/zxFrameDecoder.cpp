#include "zxFrameDecoder.h"

#include <bit>
#include <cstring>

// ------------------------------------------------------------ run formats

bool GetRunFormat(int32_t bitsPerPixel, TzxRunFormat &format) {
  switch (bitsPerPixel) {
  case 8: format = {8, 1, 1, 1, 2, 255}; return true;
  case 24: format = {24, 3, 3, 2, 5, 65535}; return true;
  case 32: format = {32, 4, 3, 2, 5, 65535}; return true;
  default: return false;
  }
}

TzxPictureLayout MakePictureLayout(int32_t width, int32_t height, int32_t bitsPerPixel) {
  TzxPictureLayout l;
  if (!GetRunFormat(bitsPerPixel, l.Format))
    throw EzxError(Format("Frames of %d bits per pixel cannot be decoded", bitsPerPixel));
  if (width < 1 || height < 1)
    throw EzxError(Format("A picture of %d x %d pixels cannot be decoded", width, height));
  const int64_t rowBytes = int64_t(width) * l.Format.PixelBytes;
  const int64_t stride = (rowBytes + 3) / 4 * 4;
  // Compared by division: the product of two 32-bit sizes times four does
  // not fit 64 bits.
  if (stride > MaxSurfaceBytes / (int64_t(height) + 1))
    throw EzxError(Format("A picture of %d x %d pixels at %d bits needs more than %lld bytes",
                          width, height, bitsPerPixel, static_cast<long long>(MaxSurfaceBytes)));
  l.Width = width;
  l.Height = height;
  l.RowBytes = static_cast<int32_t>(rowBytes);
  l.Stride = static_cast<int32_t>(stride);
  l.RowPad = l.Stride - l.RowBytes;
  return l;
}

// ------------------------------------------------------------ byte reader

uint8_t TzxByteReader::GetByte() {
  if (Left() < 1) return 0;
  return *FPos++;
}

uint16_t TzxByteReader::GetLE16() {
  if (Left() < 2) {
    FPos = FEnd;
    return 0;
  }
  uint16_t v = static_cast<uint16_t>(FPos[0] | FPos[1] << 8);
  FPos += 2;
  return v;
}

int32_t TzxByteReader::GetLE32() {
  if (Left() < 4) {
    FPos = FEnd;
    return 0;
  }
  uint32_t v = uint32_t(FPos[0]) | uint32_t(FPos[1]) << 8 | uint32_t(FPos[2]) << 16 |
               uint32_t(FPos[3]) << 24;
  FPos += 4;
  return static_cast<int32_t>(v);
}

// ----------------------------------------------------------- frame records

TzxFrameRecord ParseFrameRecord(const uint8_t *data, size_t size, const TzxRunFormat &format) {
  if (size < 8)
    throw EzxCorruptFrame(
        Format("A frame record needs 8 bytes, %lld are left", static_cast<long long>(size)));
  TzxByteReader rd(data, size);
  TzxFrameRecord r;
  r.Length = rd.GetLE32();
  const int32_t runs = rd.GetLE32();
  if (r.Length < 8) throw EzxCorruptFrame(Format("Frame record length %d is below 8", r.Length));
  if (static_cast<size_t>(r.Length) > size)
    throw EzxCorruptFrame(Format("Frame record length %d exceeds the %lld bytes left", r.Length,
                                 static_cast<long long>(size)));
  if (format.RunSize < 1) throw EzxError("Frame records of this depth have no runs");
  if (runs > (r.Length - 8) / format.RunSize)
    throw EzxCorruptFrame(Format("A frame record of %d bytes cannot hold %d runs of %d bytes",
                                 r.Length, runs, format.RunSize));
  r.RunCount = runs > 0 ? runs : 0;
  r.Runs = data + 8;
  return r;
}

void TzxFrameWalk::Reset(const uint8_t *data, size_t size, const TzxRunFormat &format) {
  FData = data;
  FSize = data ? size : 0;
  FOffset = 0;
  FFormat = format;
}

TzxFrameRecord TzxFrameWalk::Current() const {
  if (AtEnd())
    throw EzxCorruptFrame(Format("No frame record is left in the block of %lld bytes",
                                 static_cast<long long>(FSize)));
  return ParseFrameRecord(FData + FOffset, FSize - FOffset, FFormat);
}

TzxFrameRecord TzxFrameWalk::Take() {
  const TzxFrameRecord r = Current();
  FOffset += static_cast<size_t>(r.Length);
  return r;
}

// ------------------------------------------------------------- pixel loops

namespace {

// Four bytes of pixels as one word, in memory order.
uint32_t LoadWord(const uint8_t *p) {
  uint32_t w;
  std::memcpy(&w, p, 4);
  return w;
}
void StoreWord(uint8_t *p, uint32_t w) {
  std::memcpy(p, &w, 4);
}

// One type per depth: how a run's value and count are read, and how a value
// is stored into an XOR frame or XORed into a picture. The loops below are
// instantiated per depth, so no depth switch runs inside them.
struct TDepth8 {
  static constexpr int32_t PixelBytes = 1;
  static constexpr int32_t RunSize = 2;
  using TValue = uint8_t;
  static TValue Value(const uint8_t *run) { return run[0]; }
  static uint32_t Count(const uint8_t *run) { return run[1]; }
  static void Store(uint8_t *p, TValue v, uint32_t n) { std::memset(p, v, n); }
  // Eight pixels a word, then four, then one at a time.
  static void Xor(uint8_t *p, TValue v, uint32_t n) {
    const uint64_t eight = v * 0x0101010101010101u;
    for (; n >= 8; n -= 8, p += 8) {
      uint64_t x;
      std::memcpy(&x, p, 8);
      x ^= eight;
      std::memcpy(p, &x, 8);
    }
    if (n >= 4) {
      StoreWord(p, LoadWord(p) ^ static_cast<uint32_t>(eight));
      p += 4;
      n -= 4;
    }
    for (; n > 0; --n, ++p)
      *p ^= v;
  }
};

// 24 and 32 bits: a value is the four bytes blue, green, red and 0 as one
// word in memory order, read from the run's first four bytes (the fourth is
// the count's low byte, masked off).
constexpr uint32_t FirstThreeBytes =
    std::endian::native == std::endian::little ? 0x00FFFFFFu : 0xFFFFFF00u;

template <int32_t pixelBytes> struct TDepthQuad {
  static constexpr int32_t PixelBytes = pixelBytes;
  static constexpr int32_t RunSize = 5;
  using TValue = uint32_t;
  static TValue Value(const uint8_t *run) { return LoadWord(run) & FirstThreeBytes; }
  static uint32_t Count(const uint8_t *run) { return uint32_t(run[3]) | uint32_t(run[4]) << 8; }
  // Four bytes a pixel: at 24 bits the zero byte lands on the next pixel (or
  // the row's padding, or the spare row) and is overwritten or harmless there.
  static void Store(uint8_t *p, TValue v, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i, p += PixelBytes)
      StoreWord(p, v);
  }
};

struct TDepth24 : TDepthQuad<3> {
  // Four pixels at a time as three words of their bytes, then pixel by
  // pixel: nothing behind the piece is touched, and no load reads what the
  // store before it has just half written.
  static void Xor(uint8_t *p, TValue v, uint32_t n) {
    uint8_t b[4];
    std::memcpy(b, &v, 4);
    if (n >= 4) {
      const uint8_t four[12] = {b[0], b[1], b[2], b[0], b[1], b[2],
                                b[0], b[1], b[2], b[0], b[1], b[2]};
      const uint32_t w0 = LoadWord(four), w1 = LoadWord(four + 4), w2 = LoadWord(four + 8);
      for (; n >= 4; n -= 4, p += 12) {
        StoreWord(p, LoadWord(p) ^ w0);
        StoreWord(p + 4, LoadWord(p + 4) ^ w1);
        StoreWord(p + 8, LoadWord(p + 8) ^ w2);
      }
    }
    for (; n > 0; --n, p += 3) {
      p[0] ^= b[0];
      p[1] ^= b[1];
      p[2] ^= b[2];
    }
  }
};

struct TDepth32 : TDepthQuad<4> {
  // Two pixels a word of eight bytes, then the odd one.
  static void Xor(uint8_t *p, TValue v, uint32_t n) {
    const uint64_t pair = uint64_t(v) << 32 | v;
    for (; n > 1; n -= 2, p += 8) {
      uint64_t x;
      std::memcpy(&x, p, 8);
      x ^= pair;
      std::memcpy(p, &x, 8);
    }
    if (n != 0) StoreWord(p, LoadWord(p) ^ v);
  }
};

template <class D> int64_t SumOfCounts(const TzxFrameRecord &r) {
  int64_t sum = 0;
  const uint8_t *src = r.Runs;
  for (int32_t i = 0; i < r.RunCount; ++i, src += D::RunSize)
    sum += D::Count(src);
  return sum;
}

template <class D>
[[noreturn]] void RaiseOverrun(const TzxPictureLayout &l, const TzxFrameRecord &r) {
  throw EzxCorruptFrame(Format("Frame runs cover %lld pixels, the picture has %lld (%d x %d)",
                               static_cast<long long>(SumOfCounts<D>(r)),
                               static_cast<long long>(l.Pixels()), l.Width, l.Height));
}

// Walks the runs of a record over a picture of l's layout, handing each
// piece that lies inside one row (or, without row padding, inside the
// picture) to put(pointer, value, pixels). Zero-valued runs are passed on
// only when withZero is set; otherwise they just move the position. Counts
// are cut off at the pixels left, so that no position passes the picture's
// end. Returns the pixels covered and the position behind them; overrun
// tells whether anything was cut off.
template <class D, bool withZero, class TPut>
int64_t WalkRuns(const TzxPictureLayout &l, const TzxFrameRecord &r, uint8_t *base, TPut put,
                 uint8_t *&end, bool &overrun) {
  const int64_t total = l.Pixels();
  int64_t left = total;
  bool cut = false;
  const uint8_t *src = r.Runs;
  const uint8_t *const stop = r.Runs + size_t(r.RunCount) * D::RunSize;
  const auto Take = [&left, &cut](const uint8_t *run) {
    uint32_t count = D::Count(run);
    if (count > left) {
      count = static_cast<uint32_t>(left);
      cut = true;
    }
    left -= count;
    return count;
  };
  if (l.RowPad == 0) {
    // Rows follow each other without a gap: one straight sweep.
    uint8_t *p = base;
    for (; src != stop; src += D::RunSize) {
      uint32_t count = Take(src);
      const auto v = D::Value(src);
      if (withZero || v != 0) put(p, v, count);
      p += size_t(count) * D::PixelBytes;
    }
    end = p;
  } else {
    const uint32_t width = static_cast<uint32_t>(l.Width);
    uint8_t *row = base;
    uint32_t col = 0;
    for (; src != stop; src += D::RunSize) {
      uint32_t count = Take(src);
      const auto v = D::Value(src);
      if (!withZero && v == 0) {
        // Dividing only when the run leaves the row.
        col += count;
        if (col >= width) {
          row += size_t(col / width) * size_t(l.Stride);
          col %= width;
        }
        continue;
      }
      while (count > 0) {
        const uint32_t n = count < width - col ? count : width - col;
        put(row + size_t(col) * D::PixelBytes, v, n);
        count -= n;
        col += n;
        if (col == width) {
          col = 0;
          row += l.Stride;
        }
      }
    }
    end = row + size_t(col) * D::PixelBytes;
  }
  overrun = cut;
  return total - left;
}

template <class D>
int64_t UnpackRuns(const TzxPictureLayout &l, const TzxFrameRecord &r, uint8_t *xorFrame) {
  uint8_t *end = nullptr;
  bool overrun = false;
  const int64_t covered = WalkRuns<D, true>(
      l, r, xorFrame, [](uint8_t *p, auto v, uint32_t n) { D::Store(p, v, n); }, end, overrun);
  // What the runs did not reach changes nothing.
  const size_t done = static_cast<size_t>(end - xorFrame);
  if (covered < l.Pixels()) std::memset(end, 0, l.PictureBytes() - done);
  if (overrun) RaiseOverrun<D>(l, r);
  return covered;
}

template <class D>
int64_t XorRuns(const TzxPictureLayout &l, const TzxFrameRecord &r, uint8_t *picture) {
  uint8_t *end = nullptr;
  bool overrun = false;
  const int64_t covered = WalkRuns<D, false>(
      l, r, picture, [](uint8_t *p, auto v, uint32_t n) { D::Xor(p, v, n); }, end, overrun);
  if (overrun) RaiseOverrun<D>(l, r);
  return covered;
}

int64_t UnpackFrame8(const TzxPictureLayout &l, const TzxFrameRecord &r, uint8_t *x) {
  return UnpackRuns<TDepth8>(l, r, x);
}
int64_t UnpackFrame24(const TzxPictureLayout &l, const TzxFrameRecord &r, uint8_t *x) {
  return UnpackRuns<TDepth24>(l, r, x);
}
int64_t UnpackFrame32(const TzxPictureLayout &l, const TzxFrameRecord &r, uint8_t *x) {
  return UnpackRuns<TDepth32>(l, r, x);
}
int64_t XorFrame8(const TzxPictureLayout &l, const TzxFrameRecord &r, uint8_t *p) {
  return XorRuns<TDepth8>(l, r, p);
}
int64_t XorFrame24(const TzxPictureLayout &l, const TzxFrameRecord &r, uint8_t *p) {
  return XorRuns<TDepth24>(l, r, p);
}
int64_t XorFrame32(const TzxPictureLayout &l, const TzxFrameRecord &r, uint8_t *p) {
  return XorRuns<TDepth32>(l, r, p);
}

void CheckSurface(const char *what, const uint8_t *p, size_t size, size_t need) {
  if (!p || size < need)
    throw EzxError(Format("%s of %lld bytes is smaller than the %lld it needs", what,
                          static_cast<long long>(p ? size : 0), static_cast<long long>(need)));
}

} // namespace

int64_t UnpackFrame(const TzxPictureLayout &layout, const TzxFrameRecord &record, uint8_t *xorFrame,
                    size_t xorFrameSize) {
  CheckSurface("The XOR frame", xorFrame, xorFrameSize, layout.XorFrameBytes());
  switch (layout.Format.PixelBytes) {
  case 1: return UnpackFrame8(layout, record, xorFrame);
  case 3: return UnpackFrame24(layout, record, xorFrame);
  case 4: return UnpackFrame32(layout, record, xorFrame);
  default: return 0;
  }
}

int64_t XorFrameIntoPicture(const TzxPictureLayout &layout, const TzxFrameRecord &record,
                            uint8_t *picture, size_t pictureSize) {
  CheckSurface("The picture", picture, pictureSize, layout.PictureBytes());
  switch (layout.Format.PixelBytes) {
  case 1: return XorFrame8(layout, record, picture);
  case 3: return XorFrame24(layout, record, picture);
  case 4: return XorFrame32(layout, record, picture);
  default: return 0;
  }
}

void ApplyXorFrame(const TzxPictureLayout &layout, const uint8_t *xorFrame, size_t xorFrameSize,
                   uint8_t *picture, size_t pictureSize) {
  CheckSurface("The XOR frame", xorFrame, xorFrameSize, layout.PictureBytes());
  CheckSurface("The picture", picture, pictureSize, layout.PictureBytes());
  // Row by row, leaving the padding alone; 32-bit words where they fit.
  const size_t words = size_t(layout.RowBytes) / 4;
  for (int32_t y = 0; y < layout.Height; ++y) {
    uint8_t *p = picture + size_t(y) * layout.Stride;
    const uint8_t *x = xorFrame + size_t(y) * layout.Stride;
    for (size_t i = 0; i < words; ++i, p += 4, x += 4) {
      uint32_t a, b;
      std::memcpy(&a, p, 4);
      std::memcpy(&b, x, 4);
      a ^= b;
      std::memcpy(p, &a, 4);
    }
    for (int32_t i = static_cast<int32_t>(words * 4); i < layout.RowBytes; ++i)
      *p++ ^= *x++;
  }
}

// --------------------------------------------------------- palette changes

void ApplyPaletteChange(TzxStream &track, TzxPalette &palette) {
  uint8_t head[2] = {};
  if (track.Read(head, 1) != 1 || head[0] == 0) return;
  const int32_t n = head[0];
  if (track.Read(head + 1, 1) != 1)
    throw EzxCorruptFrame(Format("A palette change of %d entries ends before its first entry", n));
  const int32_t first = head[1];
  uint8_t entries[255 * 4];
  const int32_t got = track.Read(entries, n * 4);
  const int32_t whole = got > 0 ? got / 4 : 0;
  for (int32_t i = 0; i < whole && first + i < 256; ++i) {
    TzxPaletteEntry &e = palette[static_cast<size_t>(first + i)];
    e.Blue = entries[4 * i];
    e.Green = entries[4 * i + 1];
    e.Red = entries[4 * i + 2];
    e.Reserved = entries[4 * i + 3];
  }
  if (whole < n)
    throw EzxCorruptFrame(Format("A palette change of %d entries from entry %d is cut short after "
                                 "%d bytes",
                                 n, first, got > 0 ? got : 0));
  if (first + n > 256)
    throw EzxCorruptFrame(
        Format("A palette change of %d entries from entry %d runs past entry 255", n, first));
}
