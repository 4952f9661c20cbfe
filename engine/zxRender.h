// Software rendering of a segment: decodes its frames into memory and
// draws the recorded cursor the way the player paints them, without any
// window system. Used by tools and tests to check what a film shows.
#pragma once

#include "zxFrameDecoder.h"

#include <cstdint>
#include <string>
#include <vector>

struct TSegmentInfo;
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

// Walks a segment frame by frame, from the start of its video data and
// tracks, as the player does when the segment opens. The palette is the
// player's one colour table, which lives on from segment to segment.
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

  // Decodes the next frame with its palette change and reads the cursor
  // samples up to it. False once every frame of the segment has been
  // decoded. Throws EzxCorruptFrame for damaged records or when the video
  // data ends early; the picture keeps what could be decoded safely.
  bool NextFrame();

  // Index of the frame decoded last, -1 before the first.
  int32_t FrameIndex() const { return FFrameIndex; }
  int32_t FrameCount() const;
  // 3 when the track holds three cursor samples a frame, else 1.
  int32_t TicksPerFrame() const { return FTicksPerFrame; }
  const TzxPictureLayout &Layout() const { return FLayout; }
  // The decoded picture, in the layout's memory form.
  const std::vector<uint8_t> &Picture() const { return FPicture; }

  // The cursor sample that goes with the current frame (sample k x
  // TicksPerFrame, or the last one when the track ended before it).
  bool HasCursorSample() const { return FHasSample; }
  const TzxCursorSample &CursorSample() const { return FSample; }

  // The picture as the player paints it at the first tick of the current
  // frame, with or without the recorded cursor.
  void Render(TzxRgbPicture &out, bool withCursor) const;

private:
  bool FillBlock();
  void ReadCursorSample();

  TSegmentInfo &FSegment;
  TzxPalette &FPalette;
  TDecodePath FPath;
  TzxPictureLayout FLayout;
  int32_t FTicksPerFrame = 1;
  int32_t FFrameIndex = -1;
  std::vector<uint8_t> FPicture;
  std::vector<uint8_t> FXorFrame;
  std::vector<uint8_t> FBlock;
  TzxFrameWalk FWalk;
  bool FHasSample = false;
  TzxCursorSample FSample;
};

// Lower-case hexadecimal SHA-256 of a picture's RGB24 bytes.
std::string PictureSha256(const TzxRgbPicture &picture);
