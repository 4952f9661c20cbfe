// Finds a film (appended to an executable or in a .zxf file), reads its
// directory and segment headers, unpacks every segment into temporary files
// and fills the segment list.
//
// Executable trailer, read backwards from the end of a file of E bytes:
//   E-4          int32 F   size of the film; F <= 0: no film
//   E-4-F        F bytes   the film
//   E-8-F        int32 L   size of the language block; L <= 0: none
//   E-8-F-L      L bytes   language block (name=value lines)
//
// Film (offsets from its first byte, the film base):
//   0   int32 N            directory entry count
//   4   N x { int32 offset, int16 kind }   kind 1 = segment, others skipped
//
// Segment header, 54 bytes at the segment start:
//   0  uint8 version (0, 1 played)    1  int32 width     5 int32 height
//   9  uint8 bits per pixel          10  float32 frames per second
//   14 int32 flags                   18  int32 frame count
//   22 int32 cursor records          26  int32 cursor track size
//   30 int32 palette track size      34  int32 video size
//   38 int32 packed size             42  int32 packed offset (from segment start)
//   46 int32 sound size              50  int32 sound offset (from segment start)
//
// Flags: bits 12-15 compression (0 cabinet, 2 LZMA), bits 8-11 sound kind
// (1 = MP3), bit 0 three cursor samples per frame.
//
// Unpacked payload: int32 T (0..256), T title bytes (length byte + text),
// the cursor records, the video data, the cursor track (6-byte samples
// uint16 cursor, uint16 x, uint16 y), the palette track.
#pragma once

#include "ZxcabClasses.h"
#include "zxClasses.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr int32_t SegmentHeaderSize = 54;
constexpr int32_t DirectoryEntrySize = 6;

enum : int32_t {
  sfCompressionMask = 0xF000,
  sfCompressionCab = 0x0000,
  sfCompressionLzma = 0x2000,
  sfSoundMask = 0x0F00,
  sfSoundMp3 = 0x0100,
  sfThreeCursorSamples = 0x0001,
};

struct TSegmentHeader {
  uint8_t Version = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t BitsPerPixel = 0;
  float FramesPerSecond = 0;
  int32_t Flags = 0;
  int32_t FrameCount = 0;
  int32_t CursorCount = 0;
  int32_t CursorTrackSize = 0;
  int32_t PaletteTrackSize = 0;
  int32_t VideoSize = 0;
  int32_t PackedSize = 0;
  int32_t PackedOffset = 0;
  int32_t SoundSize = 0;
  int32_t SoundOffset = 0;
};

struct TDirectoryEntry {
  int32_t Offset = 0;
  int16_t Kind = 0;
};

TSegmentHeader DecodeSegmentHeader(const uint8_t *raw);
void EncodeSegmentHeader(const TSegmentHeader &h, uint8_t *raw);

// The whole frame rate a segment record keeps: rounded half to even, and
// kept within 0..255 (a rate that is not a number counts as 0).
uint8_t RoundFramesPerSecond(float fps);

// Where a Windows program's image ends in the stream: behind its last
// section's data, or behind the COFF symbol and string tables that follow
// them. -1 when the stream holds no Windows program.
//
//   0    "MZ"                      60  uint32 offset P of the PE header
//   P    "PE\0\0"                  P+6 uint16 section count
//   P+12 uint32 symbol table       P+16 uint32 symbol count (18 bytes each)
//   P+20 uint16 optional header size; the section table (40 bytes a section:
//        +16 uint32 raw size, +20 uint32 raw offset) follows that header
int64_t ProgramImageEnd(TzxStream &stream);

// Where the film and the language block of an executable lie, from its
// trailer. A trailer whose sizes do not fit the file counts as no trailer,
// and so does one that would place the film or the language block inside
// the program image of a Windows program: those bytes are the program's
// own (a player without a trailer ends in program bytes).
struct TExecutableTrailer {
  int64_t FilmBase = -1; // -1: no film
  int32_t FilmSize = 0;
  int64_t LanguageOffset = -1; // -1: no language block
  int32_t LanguageSize = 0;
};
TExecutableTrailer ReadExecutableTrailer(TzxStream &stream);

// Reads the film directory at the stream's position: no entries when the
// count is missing or not positive; throws when the entries cannot fit.
std::vector<TDirectoryEntry> ReadFilmDirectory(TzxStream &stream);

// The language block of an executable, empty when there is none or the file
// cannot be opened.
std::vector<char> ReadLanguageBlock(const std::string &exeFileName);

// Reads a segment's unpacked payload (the file the coder or the cabinet
// left) into its record, as far as the header's counts and sizes say.
// Throws EzxError when the payload does not hold what they announce.
void ReadSegmentPayload(const std::string &fileName, const TSegmentHeader &h, TSegmentInfo &r);

// Loads the film appended to an executable; false when there is none.
bool LoadEmbeddedFilm(TzxStream *stream, TSegmentList &list);

// Loads the film at the stream's position, appending its playable segments
// to list. True when the directory has at least one entry; false when there
// is no stream, no entry, or the LZMA coder cannot be started. Errors in the
// film's structure are raised as EzxError; segments added before stay.
bool LoadFilm(TzxStream *stream, TSegmentList &list);

// Called with 0 after a load that listed segments (the player selects its
// first segment, which also stops playback).
void SetSegmentSelector(std::function<void(int32_t)> selector);

// The name of the last member that a cabinet listing reported.
extern std::string LastCabFileName;
