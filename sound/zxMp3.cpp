#include "zxMp3.h"

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

[[noreturn]] void FormatError() {
  throw EzxError("GetMp3FileInfo: mp3 format error");
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
  if (header[0] != 0xFF || (header[1] & 0xE0) != 0xE0) FormatError();
  const uint8_t version = (header[1] >> 3) & 3;
  if (version == VersionReserved) throw EzxError("GetMp3FileInfo: version error");
  const uint8_t layer = (header[1] >> 1) & 3;
  if (layer == LayerReserved) FormatError();
  const uint8_t bitRateIndex = header[2] >> 4;
  if (bitRateIndex == 15) throw EzxError("GetMp3FileInfo: BitRate Error");
  const uint8_t rateIndex = (header[2] >> 2) & 3;
  if (rateIndex == 3) FormatError();
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
    if (file.Read(header, 4) != 4) FormatError();
  }
  return Mp3FormatFromHeader(header, format) == TzxMp3Header::Layer3;
}
