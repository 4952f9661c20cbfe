// Writes films: directories, segment headers, packed payloads, cursor
// records, tracks, sound bytes, the executable trailer and the language
// block. Every size the loader reads can be overridden, so that tests can
// write films that lie about themselves.
#pragma once

#include "UzxCursor_new.h"
#include "zxLoader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using TzxBytes = std::vector<uint8_t>;

struct TzxCursorRecord {
  int32_t HotSpotX = 0;
  int32_t HotSpotY = 0;
  TzxImageHeader Mask; // Count = -1: use MaskBits.size()
  TzxBytes MaskBits;
  TzxImageHeader Colour; // Count = -1: use ColourBits.size()
  TzxBytes ColourBits;
};

TzxBytes EncodeCursorRecord(const TzxCursorRecord &c);

// A 32-bit colour cursor of w x h pixels from BGRA pixels (mask all zeros,
// so the colour shows as it is).
TzxCursorRecord MakeColourCursor(int32_t w, int32_t h, int32_t hotX, int32_t hotY,
                                 const TzxBytes &bgra);
// A monochrome cursor of w x h pixels: AND rows then XOR rows, 1 bit a pixel.
TzxCursorRecord MakeMonochromeCursor(int32_t w, int32_t h, int32_t hotX, int32_t hotY,
                                     const std::vector<bool> &andMask,
                                     const std::vector<bool> &xorMask);

// Lzma: through the coder; Cabinet: one MSZIP member; CabinetStored: one
// uncompressed member; Raw: the payload as it is.
enum class TzxPacking { Lzma, Cabinet, CabinetStored, Raw };

struct TzxSegmentSpec {
  uint8_t Version = 1;
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t BitsPerPixel = 32;
  float FramesPerSecond = 10;
  int32_t Flags = sfCompressionLzma; // compression and sound bits, cursor sampling
  int32_t FrameCount = 0;
  std::string Title;             // characters after the length byte
  std::vector<TzxBytes> Cursors; // encoded cursor records
  TzxBytes Video;
  TzxBytes CursorTrack;
  TzxBytes PaletteTrack;
  TzxBytes Sound;
  // How the payload is packed; Raw stores it as it is (for kinds the
  // player does not unpack, or with Packed for hand-made bytes).
  TzxPacking Packing = TzxPacking::Lzma;
  std::optional<TzxBytes> Packed; // use these bytes as the packed payload

  // Overrides of what the header and payload say.
  std::optional<int32_t> TitleSize;
  std::optional<int32_t> CursorCount;
  std::optional<int32_t> VideoSize;
  std::optional<int32_t> CursorTrackSize;
  std::optional<int32_t> PaletteTrackSize;
  std::optional<int32_t> PackedSize;
  std::optional<int32_t> PackedOffset;
  std::optional<int32_t> SoundSize;
  std::optional<int32_t> SoundOffset;
};

struct TzxFilmEntry {
  int16_t Kind = 1;
  TzxSegmentSpec Segment;        // for kind 1
  TzxBytes Raw;                  // the item's bytes for other kinds
  std::optional<int32_t> Offset; // override of the directory offset
};

// The unpacked payload of a segment: title size, title, cursors, video,
// cursor track, palette track.
TzxBytes BuildUnpackedPayload(const TzxSegmentSpec &s);

// Packs a payload: LZMA through the coder ('e'), or a one-member cabinet.
// Throws EzxError when the coder cannot be run or produces nothing.
TzxBytes PackPayload(const TzxBytes &unpacked, TzxPacking packing);

// A whole film; count overrides the directory's entry count.
TzxBytes BuildFilm(const std::vector<TzxFilmEntry> &entries,
                   std::optional<int32_t> count = std::nullopt);

// A self-playing executable: the player, the language block (if any) with
// its size, the film and its size.
TzxBytes BuildExecutable(const TzxBytes &player, const TzxBytes &film, const std::string &language);

// Splits an executable made by BuildExecutable; throws when the trailer
// does not describe a film that fits.
void SplitExecutable(const TzxBytes &exe, TzxBytes &player, TzxBytes &film, std::string &language);

// Cursor samples, palette records and whole-file helpers.
void AppendCursorSample(TzxBytes &track, uint16_t cursor, uint16_t x, uint16_t y);
void AppendInt32(TzxBytes &out, int32_t v);
void AppendInt16(TzxBytes &out, int16_t v);
TzxBytes ReadWholeFile(const std::string &name);
void WriteWholeFile(const std::string &name, const TzxBytes &bytes);
