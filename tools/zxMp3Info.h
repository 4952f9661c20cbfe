// What the MPEG audio sound of a segment holds, from its frame headers, for
// zxtool info.
//
// A frame header (four bytes b0..b3) as sound/zxMp3.h lays it out, and
// beyond what the wave format needs:
//
//   b2 bit 1    padding: one more byte (a four-byte slot in Layer I)
//   b3 bits 7-6 channel mode: 3 mono, others two channels
//
// Bit rates in kbit/s by index 1..14:
//
//   MPEG-1   Layer I    32  64  96 128 160 192 224 256 288 320 352 384 416 448
//            Layer II   32  48  56  64  80  96 112 128 160 192 224 256 320 384
//            Layer III  32  40  48  56  64  80  96 112 128 160 192 224 256 320
//   MPEG-2, 2.5 Layer I 32  48  56  64  80  96 112 128 144 160 176 192 224 256
//            II, III     8  16  24  32  40  48  56  64  80  96 112 128 144 160
//
// A frame is 384 samples in Layer I, 1152 in Layer II and in Layer III of
// MPEG-1, 576 in Layer III of MPEG-2 and 2.5; its length in bytes is
// samples / 8 x bit rate (bit/s) / sampling rate, plus the padding. A
// free-format stream (bit rate index 0) does not say where frames end.
#pragma once

#include <cstdint>
#include <string>

struct TzxMp3Description {
  // Why the sound is not MPEG audio the player plays, as "its sound ..."
  // goes on ("starts with an ID3 tag instead of an MPEG audio frame
  // header"); empty when it is, and the rest is filled.
  std::string Problem;
  std::string Version;    // "1", "2" or "2.5"
  int32_t Layer = 0;      // 1, 2 or 3
  int32_t SampleRate = 0; // Hz
  int32_t BitRate = 0;    // kbit/s of the first frame; 0: free format
  bool VariableBitRate = false;
  int32_t Channels = 0; // 1 or 2
  int64_t Frames = 0;   // whole frames one after another from the start (0: free format)
  double Duration = -1; // seconds; -1 when it cannot be told (free format)
};

// Reads the frames of a sound file from its first byte, as the player
// plays it; stops at the first bytes that are no frame of the same stream
// (a tag, a truncated frame). Throws EzxError when the file cannot be read.
TzxMp3Description DescribeMp3(const std::string &fileName);
