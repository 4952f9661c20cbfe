// The MPEG Layer-3 wave format of a sound file, from its first frame header.
//
// MPEG audio frame header, the file's first four bytes b0..b3:
//
//   b0          0xFF                      frame sync (with the top 3 bits of b1)
//   b1 bits 4-3 version                   3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5, 1 reserved
//   b1 bits 2-1 layer                     1 Layer III, 2 Layer II, 3 Layer I, 0 reserved
//   b2 bits 7-4 bit rate index            0 free format, 15 reserved
//   b2 bits 3-2 sampling rate index       3 reserved
//   (the rest: padding, private bit, channel mode and so on, not used)
//
// Bit rates of Layer III in kbit/s, by index 1..14:
//
//   MPEG-1       32 40 48 56 64 80 96 112 128 160 192 224 256 320
//   MPEG-2, 2.5   8 16 24 32 40 48 56  64  80  96 112 128 144 160
//
// Sampling rates in Hz, by index 0..2:
//
//   MPEG-1 44100 48000 32000, MPEG-2 22050 24000 16000, MPEG-2.5 11025 12000 8000
//
// The format record is the system's MPEGLAYER3WAVEFORMAT, 30 bytes packed:
// format tag 0x55, one channel whatever the channel mode, the sampling
// rate, bit rate / 8 bytes a second, block align 1, 0 bits a sample, 12
// extra bytes; ID 1 (MPEG), flags 2 (padding off), block size
// 144 x bit rate / sampling rate + 1, one frame a block, codec delay 1393.
#pragma once

#include "zxClasses.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#pragma pack(push, 1)
struct TzxWaveFormatEx {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;
};

struct TzxMpegLayer3WaveFormat {
  TzxWaveFormatEx wfx;
  uint16_t wID;
  uint32_t fdwFlags;
  uint16_t nBlockSize;
  uint16_t nFramesPerBlock;
  uint16_t nCodecDelay;
};
#pragma pack(pop)

static_assert(sizeof(TzxWaveFormatEx) == 18, "WAVEFORMATEX is 18 bytes");
static_assert(sizeof(TzxMpegLayer3WaveFormat) == 30, "MPEGLAYER3WAVEFORMAT is 30 bytes");

// GetMp3FileInfo's errors. Message() is the decoder's own text; Reason()
// says for a user what is wrong with the sound, to follow "its sound".
class EzxMp3Error : public EzxError {
public:
  EzxMp3Error(std::string message, std::string reason)
      : EzxError(std::move(message)), FReason(std::move(reason)) {}
  const std::string &Reason() const { return FReason; }

private:
  std::string FReason;
};

// Values of the record, as the platform names them.
constexpr uint16_t zxWAVE_FORMAT_MPEGLAYER3 = 0x0055;
constexpr uint16_t zxMPEGLAYER3_WFX_EXTRA_BYTES = 12;
constexpr uint16_t zxMPEGLAYER3_ID_MPEG = 1;
constexpr uint32_t zxMPEGLAYER3_FLAG_PADDING_OFF = 2;
constexpr uint16_t Mp3CodecDelay = 1393;

// The record laid out as the system reads it (little-endian, no gaps).
std::array<uint8_t, 30> Mp3FormatBytes(const TzxMpegLayer3WaveFormat &format);

// How a frame header fared.
enum class TzxMp3Header {
  Layer3,    // described by the format record
  NotLayer3, // MPEG audio that the record cannot describe: Layer I or II, or
             // a free-format bit rate; the media player takes such sound
};

// Builds the format record from a frame header. Throws EzxMp3Error with
// "GetMp3FileInfo: mp3 format error" when the bytes are no frame header or
// name a reserved layer or sampling rate, "GetMp3FileInfo: version error"
// for the reserved version and "GetMp3FileInfo: BitRate Error" for the
// reserved bit rate. For NotLayer3 the record is left as it was.
TzxMp3Header Mp3FormatFromHeader(const uint8_t header[4], TzxMpegLayer3WaveFormat &format);

// Reads the first four bytes of fileName as a frame header and fills format.
// False, with format untouched, when the name is empty, the file does not
// exist, its extension is not ".mp3" (in any case), or the header is MPEG
// audio the record cannot describe (NotLayer3 above); the sound then goes to
// the media player. Throws the errors of Mp3FormatFromHeader, the format
// error also for a file shorter than four bytes or starting with anything
// but a frame header (a tag block, say).
bool GetMp3FileInfo(const std::string &fileName, TzxMpegLayer3WaveFormat &format);

// Where the MPEG audio frames of an MP3 file lie, leaving out what a file
// may carry around them and the wave-out stream cannot take: ID3v2 tags at
// the start (a 10-byte header "ID3", version, flags, a 28-bit size in four
// 7-bit bytes, then that many bytes and, with flag 0x10, a 10-byte
// footer), a first frame that holds a Xing, Info or VBRI header instead of
// sound, and an ID3v1 tag (128 bytes from "TAG") at the end.
struct TzxMp3Audio {
  int64_t Offset = 0;
  int64_t Size = 0;
  int64_t TagBytes = 0;         // ID3v2 tags skipped at the start
  int64_t InfoFrameBytes = 0;   // the Xing/Info/VBRI frame skipped
  int64_t TrailerBytes = 0;     // the ID3v1 tag left out at the end
  bool StartsWithFrame = false; // a frame header stands at Offset
};
TzxMp3Audio FindMp3Audio(TzxStream &file);
