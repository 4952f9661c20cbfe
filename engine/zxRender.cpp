#include "zxRender.h"

#include "UzxBlocks.h"
#include "UzxCursor_new.h"
#include "ZxcabClasses.h"
#include "zxPlayerModel.h"
#include "zxSha256.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <utility>

// ------------------------------------------------------------ conversion

namespace {

void Rgb8(const TzxPictureLayout &l, const uint8_t *picture, const TzxPalette &palette,
          uint8_t *out) {
  for (int32_t y = 0; y < l.Height; ++y) {
    const uint8_t *p = picture + size_t(y) * l.Stride;
    for (int32_t x = 0; x < l.Width; ++x, out += 3) {
      const TzxPaletteEntry &e = palette[p[x]];
      out[0] = e.Red;
      out[1] = e.Green;
      out[2] = e.Blue;
    }
  }
}

template <int32_t pixelBytes>
void RgbFromBgr(const TzxPictureLayout &l, const uint8_t *picture, uint8_t *out) {
  for (int32_t y = 0; y < l.Height; ++y) {
    const uint8_t *p = picture + size_t(y) * l.Stride;
    for (int32_t x = 0; x < l.Width; ++x, p += pixelBytes, out += 3) {
      out[0] = p[2];
      out[1] = p[1];
      out[2] = p[0];
    }
  }
}

} // namespace

void PictureToRgb(const TzxPictureLayout &layout, const uint8_t *picture, size_t pictureSize,
                  const TzxPalette &palette, TzxRgbPicture &out) {
  if (!picture || pictureSize < layout.PictureBytes())
    throw EzxError(Format("A picture of %lld bytes is smaller than the %lld its layout needs",
                          static_cast<long long>(picture ? pictureSize : 0),
                          static_cast<long long>(layout.PictureBytes())));
  out.Width = layout.Width;
  out.Height = layout.Height;
  out.Pixels.resize(static_cast<size_t>(layout.Pixels()) * 3);
  switch (layout.Format.PixelBytes) {
  case 1: Rgb8(layout, picture, palette, out.Pixels.data()); break;
  case 3: RgbFromBgr<3>(layout, picture, out.Pixels.data()); break;
  case 4: RgbFromBgr<4>(layout, picture, out.Pixels.data()); break;
  default: break;
  }
}

// --------------------------------------------------------------- cursors

namespace {

bool MaskBit(const uint8_t *row, int32_t x) {
  return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// A colour image pixel as red, green, blue. Images of 8 bits or fewer carry
// no colour table; their indices are shown as grey levels.
void ColourPixel(const TzxImageHeader &h, const uint8_t *row, int32_t x, uint8_t rgb[3]) {
  switch (h.BitsPerPixel) {
  case 32:
  case 24: {
    const uint8_t *p = row + size_t(x) * (h.BitsPerPixel / 8);
    rgb[0] = p[2];
    rgb[1] = p[1];
    rgb[2] = p[0];
    return;
  }
  case 16: { // 5 bits each of red, green, blue
    const uint32_t v = uint32_t(row[2 * x]) | uint32_t(row[2 * x + 1]) << 8;
    const uint32_t c[3] = {(v >> 10) & 31, (v >> 5) & 31, v & 31};
    for (int i = 0; i < 3; ++i)
      rgb[i] = static_cast<uint8_t>(c[i] << 3 | c[i] >> 2);
    return;
  }
  default: { // 1, 4 or 8 bits
    const int32_t bpp = h.BitsPerPixel;
    const int32_t bit = x * bpp;
    const uint32_t max = (1u << bpp) - 1;
    const uint32_t index = (row[bit >> 3] >> (8 - bpp - (bit & 7))) & max;
    rgb[0] = rgb[1] = rgb[2] = static_cast<uint8_t>(index * 255 / max);
    return;
  }
  }
}

// The part of a w x h image at (left, top) that lies inside the picture.
struct TClip {
  int32_t X0 = 0, X1 = 0, Y0 = 0, Y1 = 0; // image coordinates, end exclusive
  bool Empty() const { return X0 >= X1 || Y0 >= Y1; }
};

TClip Clip(int64_t left, int64_t top, int32_t w, int32_t h, const TzxRgbPicture &p) {
  TClip c;
  c.X0 = static_cast<int32_t>(std::clamp<int64_t>(-left, 0, w));
  c.X1 = static_cast<int32_t>(std::clamp<int64_t>(p.Width - left, 0, w));
  c.Y0 = static_cast<int32_t>(std::clamp<int64_t>(-top, 0, h));
  c.Y1 = static_cast<int32_t>(std::clamp<int64_t>(p.Height - top, 0, h));
  // No column inside means no row either: the row loops then never form a
  // pointer to a pixel outside the picture.
  if (c.X0 >= c.X1) c.Y1 = c.Y0;
  return c;
}

// ANDs mask rows firstRow .. firstRow + h - 1 into the picture: a clear bit
// makes the pixel black.
void AndMask(const TzxCursor &c, int32_t firstRow, int32_t h, int64_t left, int64_t top,
             TzxRgbPicture &p) {
  const TzxImageHeader &m = c.Mask();
  const TClip clip = Clip(left, top, m.Width, h, p);
  const size_t rowBytes = static_cast<size_t>(TzxCursor::MaskRowBytes(m));
  for (int32_t y = clip.Y0; y < clip.Y1; ++y) {
    const uint8_t *row = c.MaskBits().data() + size_t(firstRow + y) * rowBytes;
    uint8_t *out = p.At(static_cast<int32_t>(left + clip.X0), static_cast<int32_t>(top + y));
    for (int32_t x = clip.X0; x < clip.X1; ++x, out += 3)
      if (!MaskBit(row, x)) out[0] = out[1] = out[2] = 0;
  }
}

} // namespace

bool DrawCursor(const TzxCursor &cursor, int32_t x, int32_t y, TzxRgbPicture &picture) {
  if (!cursor.Valid()) return false;
  const int64_t left = int64_t(x) - cursor.HotSpotX();
  const int64_t top = int64_t(y) - cursor.HotSpotY();
  const TzxImageHeader &m = cursor.Mask();

  if (cursor.Monochrome()) {
    const int32_t h = m.Height / 2;
    AndMask(cursor, 0, h, left, top, picture);
    const TClip clip = Clip(left, top, m.Width, h, picture);
    const size_t rowBytes = static_cast<size_t>(TzxCursor::MaskRowBytes(m));
    for (int32_t r = clip.Y0; r < clip.Y1; ++r) {
      const uint8_t *row = cursor.MaskBits().data() + size_t(h + r) * rowBytes;
      uint8_t *out =
          picture.At(static_cast<int32_t>(left + clip.X0), static_cast<int32_t>(top + r));
      for (int32_t c = clip.X0; c < clip.X1; ++c, out += 3)
        if (MaskBit(row, c)) {
          out[0] ^= 0xFF;
          out[1] ^= 0xFF;
          out[2] ^= 0xFF;
        }
    }
    return true;
  }

  AndMask(cursor, 0, m.Height, left, top, picture);
  const TzxImageHeader &col = cursor.Colour();
  const TClip clip = Clip(left, top, col.Width, col.Height, picture);
  const size_t rowBytes = static_cast<size_t>(TzxCursor::ColourRowBytes(col));
  for (int32_t r = clip.Y0; r < clip.Y1; ++r) {
    const uint8_t *row = cursor.ColourBits().data() + size_t(r) * rowBytes;
    uint8_t *out = picture.At(static_cast<int32_t>(left + clip.X0), static_cast<int32_t>(top + r));
    for (int32_t c = clip.X0; c < clip.X1; ++c, out += 3) {
      uint8_t rgb[3];
      ColourPixel(col, row, c, rgb);
      out[0] ^= rgb[0];
      out[1] ^= rgb[1];
      out[2] ^= rgb[2];
    }
  }
  return true;
}

// ------------------------------------------------------ segment renderer

// The player's block queue and frame source over one of its blocks: a block
// handed back is filled again at once, where the player's main window fills
// it a moment later while the clock reads the other one. The records come
// in the same blocks either way, so one is enough here.
class TzxSegmentRenderer::TBlocks : public TzxBlockWindow {
public:
  TBlocks() : Source(Queue) { Queue.SetWindowHandle(this); }

  bool PostBlockMessage(uint32_t, TBlock *block) override {
    HandedBack = block;
    return true;
  }

  TQueue Queue;
  TBlock Block;
  TzxFrameSource Source;
  TzxBlockSource From;
  TBlock *HandedBack = nullptr;
};

TzxSegmentRenderer::TzxSegmentRenderer(TSegmentInfo &segment, TzxPalette &palette, TDecodePath path)
    : FSegment(segment), FPalette(palette), FPath(path),
      FLayout(MakePictureLayout(segment.Width, segment.Height, segment.BitsPerPixel)) {
  if (!segment.VideoStream) throw EzxError("The segment has no video data");
  FTicksPerFrame = TicksPerFrameOf(segment.Flags);
  FPicture.assign(FLayout.PictureBytes(), 0);
  if (FPath == TDecodePath::XorFrame) FXorFrame.assign(FLayout.XorFrameBytes(), 0);
  FBlocks = std::make_unique<TBlocks>();
  FBlocks->From.SegInfo = &segment;
  FBlocks->From.MaxFrameSize = FLayout.MaxFrameSize();
  Reopen(0);
}

TzxSegmentRenderer::~TzxSegmentRenderer() = default;

int32_t TzxSegmentRenderer::FrameCount() const {
  return FSegment.FrameCount;
}

// The block filled from videoOffset on, as when the segment opens.
void TzxSegmentRenderer::Reopen(int64_t videoOffset) {
  TBlocks &b = *FBlocks;
  b.Queue.Clear();
  b.Block.Size = 0;
  b.Source.Clear();
  b.HandedBack = nullptr;
  FFillFailure.clear();
  FVideoNext = videoOffset;
  Fill(&b.Block);
  b.Source.Start();
}

// The segment's streams may be read by others between two reads of this
// renderer (another renderer, the palette played through): each read starts
// where this renderer left off.
void TzxSegmentRenderer::Fill(TBlock *block) {
  FSegment.VideoStream->Seek(static_cast<int32_t>(FVideoNext));
  const TzxBlockFill fill = FillBlock(FBlocks->Queue, block, FBlocks->From);
  FVideoNext = FSegment.VideoStream->Position();
  if (fill.Result == TzxBlockFill::Failed && FFillFailure.empty()) FFillFailure = fill.Detail;
}

void TzxSegmentRenderer::EndEarly() {
  FEnded = true;
  FEndReason = Format("its video data holds %d of its %d frames", FFrameIndex + 1, FrameCount());
  if (!FFillFailure.empty()) FEndReason += ": " + FFillFailure;
}

// From the record just decoded to the next, as the clock moves on after a
// frame's last tick.
void TzxSegmentRenderer::Advance() {
  using TAdvance = TzxFrameSource::TAdvance;
  TBlocks &b = *FBlocks;
  TAdvance step = b.Source.Advance(FNextRecord, FrameCount());
  if (step == TAdvance::Moved || step == TAdvance::BlockUsedUp) ++FNextRecord;
  if (step == TAdvance::BlockUsedUp) {
    if (TBlock *block = std::exchange(b.HandedBack, nullptr)) Fill(block);
    step = b.Source.TakeNextBlock();
  }
  if (step == TAdvance::SegmentEnd) FEnded = true;
  if (step == TAdvance::RecordsEnded) EndEarly();
}

bool TzxSegmentRenderer::ReadCursorSampleAt(int64_t offset, TzxCursorSample &sample) const {
  if (!FSegment.CursorTrack || offset < 0 || offset > FSegment.CursorTrack->Size() - 6)
    return false;
  uint8_t raw[6];
  FSegment.CursorTrack->Seek(static_cast<int32_t>(offset));
  if (FSegment.CursorTrack->Read(raw, 6) != 6) return false;
  TzxByteReader rd(raw, 6);
  sample.Cursor = rd.GetLE16();
  sample.X = rd.GetLE16();
  sample.Y = rd.GetLE16();
  return true;
}

void TzxSegmentRenderer::ReadCursorSample() {
  if (!ReadCursorSampleAt(FCursorAt, FSample)) return; // the last sample stays
  FCursorAt += 6;
  FHasSample = true;
}

bool TzxSegmentRenderer::CursorSampleAt(int32_t tick, TzxCursorSample &sample) const {
  if (tick == 0 || !FSegment.CursorTrack) {
    sample = FSample;
    return FHasSample;
  }
  const int64_t samples = FSegment.CursorTrack->Size() / 6;
  if (samples <= 0) return false;
  const int64_t k = std::min<int64_t>(int64_t(FFrameIndex) * FTicksPerFrame + tick, samples - 1);
  return ReadCursorSampleAt(k * 6, sample);
}

bool TzxSegmentRenderer::NextFrame() {
  if (FEnded || FrameCount() <= 0) return false;
  if (FBlocks->Source.Block() == nullptr) {
    // Not one record: the player passes over the segment.
    EndEarly();
    return false;
  }
  FFrameIndex = FNextRecord;

  // A damaged record still lets the frame's palette change and cursor
  // samples be read, so that the tracks stay in step; the first error is
  // raised at the end.
  std::exception_ptr failure;
  try {
    const TzxFrameRecord record = FBlocks->Source.Current(FLayout.Format);
    if (FPath == TDecodePath::Direct) {
      XorFrameIntoPicture(FLayout, record, FPicture.data(), FPicture.size());
    } else {
      try {
        UnpackFrame(FLayout, record, FXorFrame.data(), FXorFrame.size());
      } catch (const EzxCorruptFrame &) {
        // The runs were cut off at the picture's end; what they wrote counts.
        ApplyXorFrame(FLayout, FXorFrame.data(), FXorFrame.size(), FPicture.data(),
                      FPicture.size());
        throw;
      }
      ApplyXorFrame(FLayout, FXorFrame.data(), FXorFrame.size(), FPicture.data(), FPicture.size());
    }
  } catch (const EzxCorruptFrame &) {
    failure = std::current_exception();
  }
  if (FLayout.Format.BitsPerPixel == 8 && FSegment.PaletteTrack) {
    TzxStream &track = *FSegment.PaletteTrack;
    track.Seek(FPaletteAt);
    try {
      ApplyPaletteChange(track, FPalette);
    } catch (const EzxCorruptFrame &) {
      if (!failure) failure = std::current_exception();
    }
    FPaletteAt = track.Position();
  }
  // One sample a tick; frame k is painted at tick k x TicksPerFrame.
  const int32_t samples = FFrameIndex == 0 ? 1 : FTicksPerFrame;
  for (int32_t i = 0; i < samples; ++i)
    ReadCursorSample();
  Advance();
  if (failure) std::rethrow_exception(failure);
  return true;
}

TzxRenderState TzxSegmentRenderer::State() const {
  TzxRenderState s;
  s.FrameIndex = FFrameIndex;
  s.NextRecord = FNextRecord;
  s.Ended = FEnded;
  s.EndReason = FEndReason;
  if (FFrameIndex >= 0) s.Picture = FPicture;
  s.Palette = FPalette;
  s.VideoOffset = FBlocks->Source.StreamOffset();
  s.CursorTrackPosition = FCursorAt;
  s.PaletteTrackPosition = FPaletteAt;
  s.HasSample = FHasSample;
  s.Sample = FSample;
  return s;
}

void TzxSegmentRenderer::Restore(const TzxRenderState &s) {
  if (!s.Picture.empty() && s.Picture.size() != FPicture.size())
    throw EzxError(Format("A state of a picture of %lld bytes does not fit this segment's %lld",
                          static_cast<long long>(s.Picture.size()),
                          static_cast<long long>(FPicture.size())));
  FFrameIndex = s.FrameIndex;
  FNextRecord = s.NextRecord;
  FEnded = s.Ended;
  FEndReason = s.EndReason;
  if (s.Picture.empty())
    std::fill(FPicture.begin(), FPicture.end(), uint8_t(0));
  else
    FPicture = s.Picture;
  FPalette = s.Palette;
  FCursorAt = s.CursorTrackPosition;
  FPaletteAt = s.PaletteTrackPosition;
  FHasSample = s.HasSample;
  FSample = s.Sample;
  Reopen(s.VideoOffset);
}

// ------------------------------------------------------------ seek index

TzxSeekIndex::TzxSeekIndex(TzxSegmentRenderer &renderer, size_t budget) : FRenderer(renderer) {
  if (renderer.FrameIndex() != -1)
    throw EzxError("A seek index is built from the start of a segment");
  const size_t each = renderer.Layout().PictureBytes() + sizeof(TzxRenderState);
  const int64_t room = std::max<int64_t>(1, static_cast<int64_t>(budget / each));
  const int64_t frames = std::max(renderer.FrameCount(), 0);
  FSpacing = static_cast<int32_t>(std::max<int64_t>(MinSpacing, (frames + room - 1) / room));
  FSnapshots.push_back(renderer.State());
  FComplete = frames == 0;
}

void TzxSeekIndex::Build() {
  if (!FComplete) WalkTo(std::numeric_limits<int32_t>::max());
}

// Walks from the last snapshot (or from where the renderer stands, when it
// is between that and the frames walked) to frame k or the end, taking
// snapshots on the way.
void TzxSeekIndex::WalkTo(int32_t k) {
  TzxSegmentRenderer &r = FRenderer;
  const TzxRenderState &last = FSnapshots.back();
  if (r.FrameIndex() < last.FrameIndex || r.FrameIndex() >= FReachable || r.Ended())
    r.Restore(last);
  try {
    while (r.FrameIndex() < k && r.NextFrame()) {
      const int32_t at = r.FrameIndex();
      FReachable = std::max(FReachable, at + 1);
      if ((int64_t(at) + 1) % FSpacing == 0 && !r.Ended() && FSnapshots.back().FrameIndex < at)
        FSnapshots.push_back(r.State());
    }
    if (r.Ended()) FComplete = true;
  } catch (const EzxCorruptFrame &) {
    // The player stops at a damaged record: the frames from it on are not
    // shown.
    FReachable = r.FrameIndex();
    FComplete = true;
    throw;
  }
}

bool TzxSeekIndex::Seek(int32_t k) {
  TzxSegmentRenderer &r = FRenderer;
  if (k < 0) return false;
  if (k >= FReachable && !FComplete) {
    WalkTo(k);
    if (r.FrameIndex() == k) return true;
  }
  if (k >= FReachable) return false;
  if (r.FrameIndex() == k) return true;
  // Snapshot i stands after frame i x spacing - 1.
  const size_t i =
      std::min(FSnapshots.size() - 1, static_cast<size_t>((int64_t(k) + 1) / FSpacing));
  const TzxRenderState &from = FSnapshots[i];
  // Forward from where the renderer stands when that is nearer.
  const int32_t at = r.FrameIndex();
  if (at > k || at < from.FrameIndex || r.Ended()) r.Restore(from);
  while (r.FrameIndex() < k)
    if (!r.NextFrame()) return false;
  return true;
}

size_t TzxSeekIndex::Bytes() const {
  size_t n = sizeof(*this);
  for (const TzxRenderState &s : FSnapshots)
    n += s.Bytes();
  return n;
}

void TzxSegmentRenderer::Render(TzxRgbPicture &out, bool withCursor) const {
  PictureToRgb(FLayout, FPicture.data(), FPicture.size(), FPalette, out);
  if (!withCursor || !FHasSample || !FSegment.Cursors) return;
  const TzxCursor *cursor = FSegment.Cursors->Get(FSample.Cursor);
  if (cursor) DrawCursor(*cursor, FSample.X, FSample.Y, out);
}

std::string PictureSha256(const TzxRgbPicture &picture) {
  return Sha256Hex(picture.Pixels.data(), picture.Pixels.size());
}
