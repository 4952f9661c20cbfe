#include "zxFrameDecoder.h"

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
  // By division: stride x (height + 1) of the largest sizes overflows 64 bits.
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

void TzxFrameWalk::Next() {
  FOffset += static_cast<size_t>(Current().Length);
}

// ------------------------------------------------------------- pixel loops

namespace {

// One type per depth: how a run's value and count are read, and how a value
// is stored into an XOR frame or XORed into a picture. The loops below are
// instantiated per depth, so no depth switch runs inside them.
struct TDepth8 {
  static constexpr int32_t PixelBytes = 1;
  static constexpr int32_t RunSize = 2;
  struct TValue {
    uint8_t V;
    bool Zero() const { return V == 0; }
  };
  static TValue Value(const uint8_t *run) { return {run[0]}; }
  static uint32_t Count(const uint8_t *run) { return run[1]; }
  static void Store(uint8_t *p, TValue v, int64_t n) {
    std::memset(p, v.V, static_cast<size_t>(n));
  }
  static void Xor(uint8_t *p, TValue v, int64_t n) {
    for (int64_t i = 0; i < n; ++i)
      p[i] ^= v.V;
  }
};

// Blue, green, red and a zero byte, as the XOR frame stores a pixel.
struct TQuad {
  uint8_t B[4];
  bool Zero() const { return (B[0] | B[1] | B[2]) == 0; }
};

struct TDepth24 {
  static constexpr int32_t PixelBytes = 3;
  static constexpr int32_t RunSize = 5;
  using TValue = TQuad;
  static TValue Value(const uint8_t *run) { return {{run[0], run[1], run[2], 0}}; }
  static uint32_t Count(const uint8_t *run) { return uint32_t(run[3]) | uint32_t(run[4]) << 8; }
  // Four bytes a pixel: the zero byte lands on the next pixel (or the
  // row's padding, or the spare row) and is overwritten or harmless there.
  static void Store(uint8_t *p, TValue v, int64_t n) {
    for (int64_t i = 0; i < n; ++i, p += 3)
      std::memcpy(p, v.B, 4);
  }
  static void Xor(uint8_t *p, TValue v, int64_t n) {
    for (int64_t i = 0; i < n; ++i, p += 3) {
      p[0] ^= v.B[0];
      p[1] ^= v.B[1];
      p[2] ^= v.B[2];
    }
  }
};

struct TDepth32 {
  static constexpr int32_t PixelBytes = 4;
  static constexpr int32_t RunSize = 5;
  using TValue = TQuad;
  static TValue Value(const uint8_t *run) { return {{run[0], run[1], run[2], 0}}; }
  static uint32_t Count(const uint8_t *run) { return uint32_t(run[3]) | uint32_t(run[4]) << 8; }
  static void Store(uint8_t *p, TValue v, int64_t n) {
    for (int64_t i = 0; i < n; ++i, p += 4)
      std::memcpy(p, v.B, 4);
  }
  static void Xor(uint8_t *p, TValue v, int64_t n) {
    uint32_t w;
    std::memcpy(&w, v.B, 4);
    for (int64_t i = 0; i < n; ++i, p += 4) {
      uint32_t x;
      std::memcpy(&x, p, 4);
      x ^= w;
      std::memcpy(p, &x, 4);
    }
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
// are cut off at the picture's end. Returns the pixels covered and the
// position behind them; overrun tells whether anything was cut off.
template <class D, bool withZero, class TPut>
int64_t WalkRuns(const TzxPictureLayout &l, const TzxFrameRecord &r, uint8_t *base, TPut put,
                 uint8_t *&end, bool &overrun) {
  const int64_t total = l.Pixels();
  int64_t left = total;
  overrun = false;
  const uint8_t *src = r.Runs;
  if (l.RowPad == 0) {
    // Rows follow each other without a gap: one straight sweep.
    uint8_t *p = base;
    for (int32_t i = 0; i < r.RunCount; ++i, src += D::RunSize) {
      int64_t count = D::Count(src);
      if (count > left) {
        count = left;
        overrun = true;
      }
      const auto v = D::Value(src);
      if (withZero || !v.Zero()) put(p, v, count);
      p += count * D::PixelBytes;
      left -= count;
    }
    end = p;
  } else {
    uint8_t *row = base;
    int32_t col = 0;
    for (int32_t i = 0; i < r.RunCount; ++i, src += D::RunSize) {
      int64_t count = D::Count(src);
      if (count > left) {
        count = left;
        overrun = true;
      }
      left -= count;
      const auto v = D::Value(src);
      if (!withZero && v.Zero()) {
        const int64_t to = col + count;
        row += (to / l.Width) * l.Stride;
        col = static_cast<int32_t>(to % l.Width);
        continue;
      }
      while (count > 0) {
        const int64_t n = count < l.Width - col ? count : l.Width - col;
        put(row + int64_t(col) * D::PixelBytes, v, n);
        count -= n;
        col += static_cast<int32_t>(n);
        if (col == l.Width) {
          col = 0;
          row += l.Stride;
        }
      }
    }
    end = row + int64_t(col) * D::PixelBytes;
  }
  return total - left;
}

template <class D>
int64_t UnpackRuns(const TzxPictureLayout &l, const TzxFrameRecord &r, uint8_t *xorFrame) {
  uint8_t *end = nullptr;
  bool overrun = false;
  const int64_t covered = WalkRuns<D, true>(
      l, r, xorFrame, [](uint8_t *p, auto v, int64_t n) { D::Store(p, v, n); }, end, overrun);
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
      l, r, picture, [](uint8_t *p, auto v, int64_t n) { D::Xor(p, v, n); }, end, overrun);
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
