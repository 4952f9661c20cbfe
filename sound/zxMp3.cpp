#include "zxMp3.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// Layer III bit rates in kbit/s by index 1..14; [0] MPEG-1, [1] MPEG-2 and 2.5.
constexpr int32_t BitRates[2][15] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};

// Sampling rates in Hz by index 0..2; [0] MPEG-1, [1] MPEG-2, [2] MPEG-2.5.
constexpr int32_t SamplingRates[3][3] = {
    {44100, 48000, 32000},
    {22050, 24000, 16000},
    {11025, 12000, 8000},
};

enum : uint8_t { VersionMpeg25 = 0, VersionReserved = 1, VersionMpeg2 = 2, VersionMpeg1 = 3 };
enum : uint8_t { LayerReserved = 0, LayerIII = 1 };

bool HasMp3Extension(const std::string &fileName) {
  const std::string name = ExtractFileName(fileName);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.size() - dot != 4) return false;
  const char *ext = ".mp3";
  for (size_t i = 0; i < 4; ++i)
    if (std::tolower(static_cast<unsigned char>(name[dot + i])) != ext[i]) return false;
  return true;
}

constexpr const char *FormatErrorText = "GetMp3FileInfo: mp3 format error";

[[noreturn]] void FormatError(const std::string &reason) {
  throw EzxMp3Error(FormatErrorText, reason);
}

// What bytes that are no frame header are, as far as a user cares.
[[noreturn]] void NoFrameHeader(const uint8_t header[4]) {
  if (std::memcmp(header, "ID3", 3) == 0)
    FormatError("starts with an ID3 tag instead of an MPEG audio frame header");
  FormatError("does not start with an MPEG audio frame header");
}

} // namespace

std::array<uint8_t, 30> Mp3FormatBytes(const TzxMpegLayer3WaveFormat &format) {
  std::array<uint8_t, 30> b{};
  uint8_t *p = b.data();
  auto put16 = [&p](uint16_t v) {
    *p++ = static_cast<uint8_t>(v);
    *p++ = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&p](uint32_t v) {
    PutLE32(p, static_cast<int32_t>(v));
    p += 4;
  };
  put16(format.wfx.wFormatTag);
  put16(format.wfx.nChannels);
  put32(format.wfx.nSamplesPerSec);
  put32(format.wfx.nAvgBytesPerSec);
  put16(format.wfx.nBlockAlign);
  put16(format.wfx.wBitsPerSample);
  put16(format.wfx.cbSize);
  put16(format.wID);
  put32(format.fdwFlags);
  put16(format.nBlockSize);
  put16(format.nFramesPerBlock);
  put16(format.nCodecDelay);
  return b;
}

TzxMp3Header Mp3FormatFromHeader(const uint8_t header[4], TzxMpegLayer3WaveFormat &format) {
  if (header[0] != 0xFF || (header[1] & 0xE0) != 0xE0) NoFrameHeader(header);
  const uint8_t version = (header[1] >> 3) & 3;
  if (version == VersionReserved)
    throw EzxMp3Error("GetMp3FileInfo: version error",
                      "starts with a frame header of a reserved MPEG version");
  const uint8_t layer = (header[1] >> 1) & 3;
  if (layer == LayerReserved) FormatError("starts with a frame header of a reserved layer");
  const uint8_t bitRateIndex = header[2] >> 4;
  if (bitRateIndex == 15)
    throw EzxMp3Error("GetMp3FileInfo: BitRate Error",
                      "starts with a frame header of a reserved bit rate");
  const uint8_t rateIndex = (header[2] >> 2) & 3;
  if (rateIndex == 3) FormatError("starts with a frame header of a reserved sampling rate");
  // Layer I and II frames and free-format frames (no bit rate to announce)
  // are no Layer III stream the codec could be opened for.
  if (layer != LayerIII || bitRateIndex == 0) return TzxMp3Header::NotLayer3;

  const int32_t bitRate = BitRates[version == VersionMpeg1 ? 0 : 1][bitRateIndex] * 1000;
  const int32_t rate = SamplingRates[version == VersionMpeg1   ? 0
                                     : version == VersionMpeg2 ? 1
                                                               : 2][rateIndex];
  std::memset(&format, 0, sizeof format);
  format.wfx.wFormatTag = zxWAVE_FORMAT_MPEGLAYER3;
  format.wfx.nChannels = 1;
  format.wfx.nSamplesPerSec = uint32_t(rate);
  format.wfx.nAvgBytesPerSec = uint32_t(bitRate / 8);
  format.wfx.nBlockAlign = 1;
  format.wfx.wBitsPerSample = 0;
  format.wfx.cbSize = zxMPEGLAYER3_WFX_EXTRA_BYTES;
  format.wID = zxMPEGLAYER3_ID_MPEG;
  format.fdwFlags = zxMPEGLAYER3_FLAG_PADDING_OFF;
  format.nBlockSize = uint16_t(144 * bitRate / rate + 1);
  format.nFramesPerBlock = 1;
  format.nCodecDelay = Mp3CodecDelay;
  return TzxMp3Header::Layer3;
}

bool GetMp3FileInfo(const std::string &fileName, TzxMpegLayer3WaveFormat &format) {
  if (fileName.empty() || !FileExists(fileName) || !HasMp3Extension(fileName)) return false;
  uint8_t header[4] = {};
  {
    TzxFileStream file(fileName, fmOpenRead | fmShareDenyNone);
    if (file.Read(header, 4) != 4) FormatError("is shorter than an MPEG audio frame header");
  }
  return Mp3FormatFromHeader(header, format) == TzxMp3Header::Layer3;
}

namespace {

// The length of a Layer III frame from its header, 0 when it cannot be
// told (free format, reserved values, other layers).
int64_t Layer3FrameLength(const uint8_t h[4]) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
  const uint8_t version = (h[1] >> 3) & 3, layer = (h[1] >> 1) & 3;
  const uint8_t bitRateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3;
  if (version == VersionReserved || layer != LayerIII || bitRateIndex == 0 || bitRateIndex == 15 ||
      rateIndex == 3)
    return 0;
  const int64_t bitRate = BitRates[version == VersionMpeg1 ? 0 : 1][bitRateIndex] * 1000;
  const int64_t rate = SamplingRates[version == VersionMpeg1   ? 0
                                     : version == VersionMpeg2 ? 1
                                                               : 2][rateIndex];
  const int64_t perFrame = version == VersionMpeg1 ? 144 : 72;
  return perFrame * bitRate / rate + ((h[2] >> 1) & 1);
}

} // namespace

TzxMp3Audio FindMp3Audio(TzxStream &file) {
  TzxMp3Audio a;
  const int64_t size = file.Size();
  int64_t at = 0;
  // ID3v2 tags, one after another.
  for (;;) {
    uint8_t tag[10];
    file.Seek(static_cast<int32_t>(at));
    if (size - at < 10 || file.Read(tag, 10) != 10 || std::memcmp(tag, "ID3", 3) != 0) break;
    if ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80) break; // no tag size
    const int64_t body =
        int64_t{tag[6]} << 21 | int64_t{tag[7]} << 14 | int64_t{tag[8]} << 7 | int64_t{tag[9]};
    const int64_t length = 10 + body + ((tag[5] & 0x10) ? 10 : 0);
    if (length > size - at) break;
    at += length;
  }
  a.TagBytes = at;
  int64_t end = size;
  uint8_t trailer[3];
  if (end - at >= 128) {
    file.Seek(static_cast<int32_t>(end - 128));
    if (file.Read(trailer, 3) == 3 && std::memcmp(trailer, "TAG", 3) == 0) end -= 128;
  }
  a.TrailerBytes = size - end;
  // The first frame: sound, or the encoder's summary of the stream.
  uint8_t frame[40] = {};
  file.Seek(static_cast<int32_t>(at));
  const int32_t got = file.Read(frame, static_cast<int32_t>(std::min<int64_t>(40, end - at)));
  if (got >= 4) {
    const int64_t length = Layer3FrameLength(frame);
    if (length > 0 && got >= 40) {
      const bool mpeg1 = ((frame[1] >> 3) & 3) == VersionMpeg1;
      const bool mono = (frame[3] >> 6) == 3;
      const size_t side = mpeg1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
      const bool info = std::memcmp(frame + side, "Xing", 4) == 0 ||
                        std::memcmp(frame + side, "Info", 4) == 0 ||
                        std::memcmp(frame + 36, "VBRI", 4) == 0;
      if (info && length < end - at) {
        a.InfoFrameBytes = length;
        at += length;
        file.Seek(static_cast<int32_t>(at));
        std::memset(frame, 0, sizeof frame);
        file.Read(frame, static_cast<int32_t>(std::min<int64_t>(4, end - at)));
      }
    }
    a.StartsWithFrame = frame[0] == 0xFF && (frame[1] & 0xE0) == 0xE0;
  }
  a.Offset = at;
  a.Size = end - at;
  return a;
}
