#include "zxMp3.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <cstddef>
#endif

namespace {

struct TExpected {
  uint32_t SamplesPerSec;
  uint32_t AvgBytesPerSec;
  uint16_t BlockSize;
};

TzxMpegLayer3WaveFormat FromHeader(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  const uint8_t header[4] = {b0, b1, b2, b3};
  TzxMpegLayer3WaveFormat f{};
  EXPECT_EQ(Mp3FormatFromHeader(header, f), TzxMp3Header::Layer3);
  return f;
}

std::string ErrorOf(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  const uint8_t header[4] = {b0, b1, b2, b3};
  TzxMpegLayer3WaveFormat f{};
  try {
    Mp3FormatFromHeader(header, f);
  } catch (const EzxError &e) {
    return e.Message();
  }
  return "(no error)";
}

void ExpectFormat(const TzxMpegLayer3WaveFormat &f, const TExpected &e) {
  EXPECT_EQ(f.wfx.wFormatTag, 0x55);
  EXPECT_EQ(f.wfx.nChannels, 1);
  EXPECT_EQ(f.wfx.nSamplesPerSec, e.SamplesPerSec);
  EXPECT_EQ(f.wfx.nAvgBytesPerSec, e.AvgBytesPerSec);
  EXPECT_EQ(f.wfx.nBlockAlign, 1);
  EXPECT_EQ(f.wfx.wBitsPerSample, 0);
  EXPECT_EQ(f.wfx.cbSize, 12);
  EXPECT_EQ(f.wID, 1);
  EXPECT_EQ(f.fdwFlags, 2u);
  EXPECT_EQ(f.nBlockSize, e.BlockSize);
  EXPECT_EQ(f.nFramesPerBlock, 1);
  EXPECT_EQ(f.nCodecDelay, 1393);
}

} // namespace

// ------------------------------------------------------------ frame headers

TEST(Mp3Header, VersionsRatesAndBitRates) {
  // MPEG-1, 128 kbit/s, 44100 Hz.
  ExpectFormat(FromHeader(0xFF, 0xFB, 0x90, 0x64), {44100, 16000, 418});
  // MPEG-2, 32 kbit/s, 22050 Hz: 144 x 32000 / 22050 = 208.98.
  ExpectFormat(FromHeader(0xFF, 0xF3, 0x40, 0xC4), {22050, 4000, 209});
  // MPEG-1, 320 kbit/s, 32000 Hz; MPEG-1, 32 kbit/s, 48000 Hz.
  ExpectFormat(FromHeader(0xFF, 0xFB, 0xE8, 0x00), {32000, 40000, 1441});
  ExpectFormat(FromHeader(0xFF, 0xFA, 0x14, 0x00), {48000, 4000, 97});
  // MPEG-2, 160 kbit/s, 16000 Hz.
  ExpectFormat(FromHeader(0xFF, 0xF3, 0xE8, 0x00), {16000, 20000, 1441});
  // MPEG-2.5, 8 kbit/s at 8000 Hz and 64 kbit/s at 11025 Hz and 12000 Hz.
  ExpectFormat(FromHeader(0xFF, 0xE3, 0x18, 0x00), {8000, 1000, 145});
  ExpectFormat(FromHeader(0xFF, 0xE3, 0x80, 0x00), {11025, 8000, 836});
  ExpectFormat(FromHeader(0xFF, 0xE2, 0x84, 0x00), {12000, 8000, 769});
}

TEST(Mp3Header, OneChannelWhateverTheChannelMode) {
  // Channel mode in bits 7-6 of b3: stereo, joint stereo, dual channel, mono.
  for (uint8_t mode : {0x00, 0x40, 0x80, 0xC0})
    EXPECT_EQ(FromHeader(0xFF, 0xFB, 0x90, mode).wfx.nChannels, 1) << "mode " << int(mode);
}

TEST(Mp3Header, RecordBytesAsThePlatformReadsThem) {
  const auto b = Mp3FormatBytes(FromHeader(0xFF, 0xFB, 0x90, 0x64));
  const std::array<uint8_t, 30> expected = {
      0x55, 0x00, 0x01, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x80, 0x3E, 0x00, 0x00, 0x01, 0x00, 0x00,
      0x00, 0x0C, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0xA2, 0x01, 0x01, 0x00, 0x71, 0x05};
  EXPECT_EQ(b, expected);
#ifdef _WIN32
  static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == sizeof(TzxMpegLayer3WaveFormat));
  static_assert(offsetof(MPEGLAYER3WAVEFORMAT, wID) == offsetof(TzxMpegLayer3WaveFormat, wID));
  static_assert(offsetof(MPEGLAYER3WAVEFORMAT, nCodecDelay) ==
                offsetof(TzxMpegLayer3WaveFormat, nCodecDelay));
  const TzxMpegLayer3WaveFormat f = FromHeader(0xFF, 0xFB, 0x90, 0x64);
  MPEGLAYER3WAVEFORMAT system;
  std::memcpy(&system, &f, sizeof system);
  EXPECT_EQ(system.wfx.wFormatTag, WAVE_FORMAT_MPEGLAYER3);
  EXPECT_EQ(system.wfx.cbSize, MPEGLAYER3_WFX_EXTRA_BYTES);
  EXPECT_EQ(system.wID, MPEGLAYER3_ID_MPEG);
  EXPECT_EQ(system.fdwFlags, DWORD(MPEGLAYER3_FLAG_PADDING_OFF));
  EXPECT_EQ(system.nBlockSize, 418);
#endif
}

TEST(Mp3Header, UnusableHeadersAreRefused) {
  const std::string format = "GetMp3FileInfo: mp3 format error";
  EXPECT_EQ(ErrorOf(0xFE, 0xFB, 0x90, 0x64), format);
  EXPECT_EQ(ErrorOf(0xFF, 0xDB, 0x90, 0x64), format) << "sync bits of b1 incomplete";
  EXPECT_EQ(ErrorOf('I', 'D', '3', 0x03), format);
  EXPECT_EQ(ErrorOf(0xFF, 0xEB, 0x90, 0x64), "GetMp3FileInfo: version error");
  EXPECT_EQ(ErrorOf(0xFF, 0xFB, 0xF0, 0x64), "GetMp3FileInfo: BitRate Error");
  EXPECT_EQ(ErrorOf(0xFF, 0xF3, 0xF0, 0x64), "GetMp3FileInfo: BitRate Error");
  // Reserved values that would otherwise give a record for garbage.
  EXPECT_EQ(ErrorOf(0xFF, 0xF9, 0x90, 0x64), format) << "reserved layer";
  EXPECT_EQ(ErrorOf(0xFF, 0xFB, 0x9C, 0x64), format) << "reserved sampling rate, MPEG-1";
  EXPECT_EQ(ErrorOf(0xFF, 0xE3, 0x8C, 0x64), format) << "reserved sampling rate, MPEG-2.5";
}

TEST(Mp3Header, OtherLayersAndFreeFormatAreNotDescribed) {
  TzxMpegLayer3WaveFormat f{};
  f.nCodecDelay = 77;
  const uint8_t layer2[4] = {0xFF, 0xFD, 0x90, 0x64};
  const uint8_t layer1[4] = {0xFF, 0xFF, 0x90, 0x64};
  const uint8_t freeFormat[4] = {0xFF, 0xFB, 0x00, 0x64};
  EXPECT_EQ(Mp3FormatFromHeader(layer2, f), TzxMp3Header::NotLayer3);
  EXPECT_EQ(Mp3FormatFromHeader(layer1, f), TzxMp3Header::NotLayer3);
  EXPECT_EQ(Mp3FormatFromHeader(freeFormat, f), TzxMp3Header::NotLayer3);
  EXPECT_EQ(f.nCodecDelay, 77) << "the record is left as it was";
}

// ------------------------------------------------------------ files

TEST(Mp3File, NamesThatAreRefused) {
  TzxTestDir dir;
  TzxMpegLayer3WaveFormat f{};
  f.nCodecDelay = 77;
  const TzxBytes frame = {0xFF, 0xFB, 0x90, 0x64, 0x00, 0x00};
  WriteWholeFile(dir.File("sound.wav"), frame);
  WriteWholeFile(dir.File("sound.mp3x"), frame);
  WriteWholeFile(dir.File("mp3"), frame);
  EXPECT_FALSE(GetMp3FileInfo("", f));
  EXPECT_FALSE(GetMp3FileInfo(dir.File("missing.mp3"), f));
  EXPECT_FALSE(GetMp3FileInfo(dir.File("sound.wav"), f));
  EXPECT_FALSE(GetMp3FileInfo(dir.File("sound.mp3x"), f));
  EXPECT_FALSE(GetMp3FileInfo(dir.File("mp3"), f));
  EXPECT_EQ(f.nCodecDelay, 77) << "a refused name leaves the record alone";
}

TEST(Mp3File, FirstFrameHeaderOfAFile) {
  TzxTestDir dir;
  TzxMpegLayer3WaveFormat f{};
  WriteWholeFile(dir.File("a.MP3"), {0xFF, 0xF3, 0x40, 0xC4, 0x11, 0x22});
  EXPECT_TRUE(GetMp3FileInfo(dir.File("a.MP3"), f)) << "the extension is compared in any case";
  ExpectFormat(f, {22050, 4000, 209});
  // A Layer II file goes to the media player.
  WriteWholeFile(dir.File("b.mp3"), {0xFF, 0xFD, 0x90, 0x64});
  EXPECT_FALSE(GetMp3FileInfo(dir.File("b.mp3"), f));
  // The file is closed again: it can be removed.
  EXPECT_TRUE(DeleteFileName(dir.File("a.MP3")));
}

TEST(Mp3File, FilesThatDoNotStartWithAFrameHeader) {
  TzxTestDir dir;
  TzxMpegLayer3WaveFormat f{};
  const std::string format = "GetMp3FileInfo: mp3 format error";
  // A tag block before the first frame.
  WriteWholeFile(dir.File("tagged.mp3"),
                 {'I', 'D', '3', 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFB, 0x90, 0x64});
  WriteWholeFile(dir.File("short.mp3"), {0xFF, 0xFB, 0x90});
  WriteWholeFile(dir.File("empty.mp3"), {});
  // Beside the decoder's own text, each says what is wrong in words.
  const std::pair<const char *, const char *> files[] = {
      {"tagged.mp3", "starts with an ID3 tag instead of an MPEG audio frame header"},
      {"short.mp3", "is shorter than an MPEG audio frame header"},
      {"empty.mp3", "is shorter than an MPEG audio frame header"}};
  for (const auto &[name, reason] : files) {
    try {
      GetMp3FileInfo(dir.File(name), f);
      ADD_FAILURE() << name << ": no error";
    } catch (const EzxMp3Error &e) {
      EXPECT_EQ(e.Message(), format) << name;
      EXPECT_EQ(e.Reason(), reason) << name;
    }
    EXPECT_TRUE(DeleteFileName(dir.File(name))) << name << " left open";
  }
}

TEST(Mp3File, AudioFramesWithoutTheTagsAroundThem) {
  // MPEG-2 Layer III, 32 kbit/s, 22,050 Hz, mono: frames of 72 x 32000 /
  // 22050 = 104 bytes; the Info header stands behind 9 bytes of side info.
  const TzxBytes frame = [] {
    TzxBytes f(104, 0x55);
    f[0] = 0xFF, f[1] = 0xF3, f[2] = 0x40, f[3] = 0xC4;
    return f;
  }();
  TzxBytes info = frame;
  std::memcpy(&info[13], "Info", 4);
  TzxBytes tag = {'I', 'D', '3', 4, 0, 0, 0, 0, 1, 5}; // 128 + 5 bytes follow
  tag.resize(10 + 133, 0);
  TzxBytes v1(128, 0);
  std::memcpy(v1.data(), "TAG", 3);

  const auto find = [](const std::vector<TzxBytes> &parts) {
    TzxMemoryStream s;
    for (const TzxBytes &p : parts)
      s.Write(p.data(), static_cast<int32_t>(p.size()));
    return FindMp3Audio(s);
  };
  TzxMp3Audio a = find({tag, tag, info, frame, frame, v1});
  EXPECT_EQ(a.TagBytes, 2 * 143);
  EXPECT_EQ(a.InfoFrameBytes, 104);
  EXPECT_EQ(a.TrailerBytes, 128);
  EXPECT_EQ(a.Offset, 2 * 143 + 104);
  EXPECT_EQ(a.Size, 2 * 104);
  EXPECT_TRUE(a.StartsWithFrame);
  // A plain file is taken whole.
  a = find({frame, frame});
  EXPECT_EQ(a.Offset, 0);
  EXPECT_EQ(a.Size, 208);
  EXPECT_TRUE(a.StartsWithFrame);
  // A tag that claims more than the file holds is no tag; nor is noise a frame.
  TzxBytes lying = tag;
  lying[6] = 0x7F;
  a = find({lying, frame});
  EXPECT_EQ(a.Offset, 0);
  EXPECT_FALSE(a.StartsWithFrame);
  a = find({tag, TzxBytes(50, 0x42)});
  EXPECT_EQ(a.Offset, 143);
  EXPECT_FALSE(a.StartsWithFrame);
}
