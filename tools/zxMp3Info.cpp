#include "zxMp3Info.h"

#include "zxMp3.h"

namespace {

// By [MPEG-1 or not][layer - 1][index].
constexpr int32_t BitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};

// By version field (0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1) and index.
constexpr int32_t SampleRates[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

struct THeader {
  int32_t VersionField = 1; // 1: reserved, no frame
  int32_t Layer = 0;
  int32_t BitRate = 0; // kbit/s, 0 free format
  int32_t SampleRate = 0;
  int32_t Samples = 0; // a frame
  int64_t Length = 0;  // bytes of the frame; 0 when free format
  int32_t Channels = 0;

  bool Frame() const { return VersionField != 1 && Layer != 0 && SampleRate != 0; }
  bool SameStream(const THeader &h) const {
    return h.VersionField == VersionField && h.Layer == Layer && h.SampleRate == SampleRate;
  }
};

THeader ReadHeader(const uint8_t b[4]) {
  THeader h;
  if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return h;
  const int32_t version = (b[1] >> 3) & 3, layerField = (b[1] >> 1) & 3;
  const int32_t bitRateIndex = b[2] >> 4, rateIndex = (b[2] >> 2) & 3;
  if (version == 1 || layerField == 0 || bitRateIndex == 15 || rateIndex == 3) return h;
  h.VersionField = version;
  h.Layer = 4 - layerField;
  h.SampleRate = SampleRates[version][rateIndex];
  h.BitRate = BitRates[version == 3 ? 0 : 1][h.Layer - 1][bitRateIndex];
  h.Samples = h.Layer == 1 ? 384 : h.Layer == 2 || version == 3 ? 1152 : 576;
  h.Channels = (b[3] >> 6) == 3 ? 1 : 2;
  const int64_t padding = (b[2] >> 1) & 1;
  if (h.BitRate > 0) {
    const int64_t bytes = int64_t(h.Samples) / 8 * h.BitRate * 1000 / h.SampleRate;
    h.Length = h.Layer == 1 ? (bytes / 4 + padding) * 4 : bytes + padding;
  }
  return h;
}

} // namespace

TzxMp3Description DescribeMp3(const std::string &fileName) {
  TzxMp3Description d;
  TzxFileStream f(fileName, fmOpenRead | fmShareDenyNone);
  const int64_t size = f.Size();
  uint8_t b[4] = {};
  if (f.Read(b, 4) != 4) {
    d.Problem = "is shorter than an MPEG audio frame header";
    return d;
  }
  try {
    TzxMpegLayer3WaveFormat format;
    Mp3FormatFromHeader(b, format);
  } catch (const EzxMp3Error &e) {
    d.Problem = e.Reason();
    return d;
  }
  const THeader first = ReadHeader(b);
  d.Version = first.VersionField == 3 ? "1" : first.VersionField == 2 ? "2" : "2.5";
  d.Layer = first.Layer;
  d.SampleRate = first.SampleRate;
  d.BitRate = first.BitRate;
  d.Channels = first.Channels;
  if (first.Length == 0) return d; // free format: where frames end is not written down
  int64_t samples = 0;
  for (int64_t at = 0; at + 4 <= size;) {
    f.Seek(static_cast<int32_t>(at));
    if (f.Read(b, 4) != 4) break;
    const THeader h = ReadHeader(b);
    if (!h.Frame() || !first.SameStream(h) || h.Length == 0 || at + h.Length > size) break;
    d.VariableBitRate = d.VariableBitRate || h.BitRate != first.BitRate;
    ++d.Frames;
    samples += h.Samples;
    at += h.Length;
  }
  d.Duration = double(samples) / first.SampleRate;
  return d;
}
