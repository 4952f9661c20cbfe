// Software rendering of a segment: decodes its frames into memory and
// draws the recorded cursor the way the player paints them, without any
// window system. Used by tools and tests to check what a film shows.
#pragma once

#include "zxFrameDecoder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TSegmentInfo;
class TBlock;
class TzxCursor;

// A picture as RGB24: rows top to bottom, red, green, blue, no padding.
struct TzxRgbPicture {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Pixels;

  uint8_t *At(int32_t x, int32_t y) { return Pixels.data() + (size_t(y) * Width + x) * 3; }
  const uint8_t *At(int32_t x, int32_t y) const {
    return Pixels.data() + (size_t(y) * Width + x) * 3;
  }
};

// Converts a decoded picture (memory laid out as layout says) to RGB24; 8-bit
// pictures go through palette.
void PictureToRgb(const TzxPictureLayout &layout, const uint8_t *picture, size_t pictureSize,
                  const TzxPalette &palette, TzxRgbPicture &out);

// Draws a cursor with its hot spot at (x, y), clipped to the picture.
// Colour cursors: the AND mask over the mask's size, then the colour pixels
// XORed in over the colour image's size. Monochrome cursors: the upper half
// of the mask ANDed, the lower half XORed (a set bit inverts the pixel).
// Cursors that are not Valid() draw nothing; returns whether it drew.
bool DrawCursor(const TzxCursor &cursor, int32_t x, int32_t y, TzxRgbPicture &picture);

// One sample of a cursor track: cursor number and hot spot position.
struct TzxCursorSample {
  uint16_t Cursor = 0;
  uint16_t X = 0;
  uint16_t Y = 0;
};

// Where a renderer stands after a frame: enough to go on from there without
// decoding the frames before it. The picture is left out for the state
// before the first frame (a black picture).
struct TzxRenderState {
  int32_t FrameIndex = -1; // the frame decoded last
  int32_t NextRecord = 0;  // the frame whose record is read next
  bool Ended = false;
  std::string EndReason;
  std::vector<uint8_t> Picture; // empty: all zero
  TzxPalette Palette{};
  int64_t VideoOffset = 0; // where the next record starts in the video data
  int32_t CursorTrackPosition = 0;
  int32_t PaletteTrackPosition = 0;
  bool HasSample = false;
  TzxCursorSample Sample;

  size_t Bytes() const { return sizeof(*this) + Picture.capacity() + EndReason.capacity(); }
};

// Walks a segment frame by frame, from the start of its video data and
// tracks, as the player does when the segment opens: the records come
// through the player's block queue and frame source, filled here as soon
// as a block is handed back, so that a damaged film gives the same frames
// and the same errors as in the player. The palette is the player's one
// colour table, which lives on from segment to segment.
class TzxSegmentRenderer {
public:
  enum class TDecodePath {
    XorFrame, // runs into an XOR frame, then the XOR frame into the picture
    Direct,   // runs XORed straight into the picture
  };

  // Throws EzxError for segments whose frames cannot be decoded (depth,
  // size) and when there is no video stream.
  TzxSegmentRenderer(TSegmentInfo &segment, TzxPalette &palette,
                     TDecodePath path = TDecodePath::Direct);
  ~TzxSegmentRenderer();

  // Decodes the next frame with its palette change and reads the cursor
  // samples up to it. False once every frame of the segment has been
  // decoded, or when the records ended before the frame count (Ended()
  // says why). Throws EzxCorruptFrame for a damaged record; the picture
  // keeps what could be decoded safely, and the frame after it decodes on.
  bool NextFrame();

  // Index of the frame decoded last, -1 before the first.
  int32_t FrameIndex() const { return FFrameIndex; }
  int32_t FrameCount() const;
  // The records have run out: at the frame count (EndReason() empty), or
  // before it, as the player says it ("its video data holds 3 of its 5
  // frames", with what could not be read when a record was damaged).
  bool Ended() const { return FEnded; }
  const std::string &EndReason() const { return FEndReason; }
  // 3 when the track holds three cursor samples a frame, else 1.
  int32_t TicksPerFrame() const { return FTicksPerFrame; }
  const TzxPictureLayout &Layout() const { return FLayout; }
  // The decoded picture, in the layout's memory form.
  const std::vector<uint8_t> &Picture() const { return FPicture; }

  // The cursor sample that goes with the current frame (sample k x
  // TicksPerFrame, or the last one when the track ended before it).
  bool HasCursorSample() const { return FHasSample; }
  const TzxCursorSample &CursorSample() const { return FSample; }
  // The sample of a later tick of the current frame (1 .. TicksPerFrame - 1;
  // 0 is CursorSample()), or the last one when the track ends before it.
  // False when the track holds none.
  bool CursorSampleAt(int32_t tick, TzxCursorSample &sample) const;

  // The picture as the player paints it at the first tick of the current
  // frame, with or without the recorded cursor.
  void Render(TzxRgbPicture &out, bool withCursor) const;

  // Where the walk stands, and a return to such a place (of this segment).
  TzxRenderState State() const;
  void Restore(const TzxRenderState &state);

private:
  class TBlocks;

  void Reopen(int64_t videoOffset);
  void Fill(TBlock *block);
  void Advance();
  void EndEarly();
  void ReadCursorSample();
  bool ReadCursorSampleAt(int64_t offset, TzxCursorSample &sample) const;

  TSegmentInfo &FSegment;
  TzxPalette &FPalette;
  TDecodePath FPath;
  TzxPictureLayout FLayout;
  int32_t FTicksPerFrame = 1;
  int32_t FFrameIndex = -1;
  int32_t FNextRecord = 0;
  bool FEnded = false;
  std::string FEndReason;
  std::string FFillFailure;
  std::vector<uint8_t> FPicture;
  std::vector<uint8_t> FXorFrame;
  std::unique_ptr<TBlocks> FBlocks;
  // Where this renderer reads on in the segment's streams.
  int64_t FVideoNext = 0;
  int32_t FCursorAt = 0;
  int32_t FPaletteAt = 0;
  bool FHasSample = false;
  TzxCursorSample FSample;
};

// Random access to the frames of a segment: full pictures of chosen frames
// (snapshots, with the palette and the places in the video data and the
// tracks), taken as the index walks the segment, so that any frame is
// reached by decoding forward from the nearest one before it. The index
// walks on first use, as far as a seek needs, or through the whole segment
// with Build. The snapshots together stay within a memory budget; their
// spacing follows from it and the frame count.
class TzxSeekIndex {
public:
  // A one-hour 1280 x 1024 recording at 10 frames a second keeps 36
  // snapshots within the default, one every 1,000 frames.
  static constexpr size_t DefaultBudget = size_t(192) << 20;
  // Snapshots are never closer than this: decoding so many frames costs
  // less than keeping pictures for them.
  static constexpr int32_t MinSpacing = 32;

  // The renderer must stand at the segment's start; the index moves it
  // from then on, and it is for this renderer only.
  explicit TzxSeekIndex(TzxSegmentRenderer &renderer, size_t budget = DefaultBudget);
  TzxSeekIndex(const TzxSeekIndex &) = delete;
  TzxSeekIndex &operator=(const TzxSeekIndex &) = delete;

  // Walks the whole segment, leaving the renderer behind its last frame.
  void Build();

  // Positions the renderer on frame k: its picture, palette and cursor
  // sample are then those of frame k, as after the walk from the start.
  // False for a frame that cannot be shown (below 0, beyond the frame count
  // or where the records end; the renderer then stands where they ended).
  // Throws the decoder's EzxCorruptFrame for a damaged record on the way:
  // the player stops there, so the frames from it on cannot be shown.
  bool Seek(int32_t k);

  // Whether the index has walked to the end; Reachable() then counts the
  // frames that can be shown (up to the first damaged record, or to where
  // the records end), before that the frames walked so far.
  bool Complete() const { return FComplete; }
  int32_t Reachable() const { return FReachable; }
  int32_t Spacing() const { return FSpacing; }
  size_t Snapshots() const { return FSnapshots.size(); }
  size_t Bytes() const;

private:
  void WalkTo(int32_t k);

  TzxSegmentRenderer &FRenderer;
  int32_t FSpacing = MinSpacing;
  int32_t FReachable = 0;
  bool FComplete = false;
  // [0]: before frame 0; [i]: after frame i x spacing - 1.
  std::vector<TzxRenderState> FSnapshots;
};

// Lower-case hexadecimal SHA-256 of a picture's RGB24 bytes.
std::string PictureSha256(const TzxRgbPicture &picture);
