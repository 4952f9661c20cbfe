// Fuzz target of the unpacked-payload reader and of what plays a segment
// from it. Input:
//
//   0   uint8  depth (0: 8, 1: 24, 2: 32 bits; modulo 3)
//   1   uint8  width - 1 (modulo 64)     2  uint8 height - 1 (modulo 64)
//   3   uint8  bit 0 three cursor samples a frame, bits 1-5 frame count
//   4   int32  cursor records            8  int32 video size
//   12  int32  cursor track size         16 int32 palette track size
//   20  ...    the unpacked payload (title size, title, cursor records, video
//              data, cursor track, palette track)
//
// The payload is read as the loader reads what the coder left; a payload
// that does not hold what the sizes announce ends in an EzxError. What was
// read has the announced sizes and is rendered frame by frame both ways
// (XOR frame then picture, and straight into the picture), cursor included:
// the two must show the same pictures and fail at the same frame.
#include "zxFilmWriter.h"
#include "zxFrameEncoder.h"
#include "zxFuzzing.h"
#include "zxLoader.h"
#include "zxMessages.h"
#include "zxRender.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr size_t HeadSize = 20;

struct TSetup {
  std::string Dir;
  TSetup() {
    Dir =
        (fs::temp_directory_path() / ("zxpayloadfuzz_" + std::to_string(getpid()))).string() + "/";
    fs::create_directories(Dir);
    SetTempPathOverride(Dir);
    SetVideoTempDirectory(Dir);
    SetMessageHook([](const TzxMessageBox &) { return 1; });
  }
  ~TSetup() {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
};

struct TRun {
  std::vector<std::string> Hashes; // one a frame decoded
  bool Failed = false;
};

TRun Render(TSegmentInfo &segment, TzxSegmentRenderer::TDecodePath path) {
  TRun run;
  TzxPalette palette{};
  segment.VideoStream->Seek(0);
  segment.CursorTrack->Seek(0);
  segment.PaletteTrack->Seek(0);
  try {
    TzxSegmentRenderer renderer(segment, palette, path);
    TzxRgbPicture picture;
    while (renderer.NextFrame()) {
      renderer.Render(picture, true);
      run.Hashes.push_back(PictureSha256(picture));
    }
  } catch (const EzxCorruptFrame &) {
    run.Failed = true;
  }
  return run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TSetup setup;
  if (size < HeadSize) return 0;
  static const uint8_t depths[] = {8, 24, 32};
  TSegmentHeader h;
  h.Version = 1;
  h.BitsPerPixel = depths[data[0] % 3];
  h.Width = 1 + data[1] % 64;
  h.Height = 1 + data[2] % 64;
  h.Flags = sfCompressionLzma | ((data[3] & 1) ? sfThreeCursorSamples : 0);
  h.FrameCount = (data[3] >> 1) & 31;
  h.CursorCount = GetLE32(data + 4);
  h.VideoSize = GetLE32(data + 8);
  h.CursorTrackSize = GetLE32(data + 12);
  h.PaletteTrackSize = GetLE32(data + 16);

  const std::string payload = setup.Dir + "payload.bin";
  WriteWholeFile(payload, TzxBytes(data + HeadSize, data + size));
  TSegmentList list;
  TSegmentInfo &r = *list.Add();
  r.Width = h.Width;
  r.Height = h.Height;
  r.BitsPerPixel = h.BitsPerPixel;
  r.Flags = h.Flags;
  r.FrameCount = h.FrameCount;
  bool read = true;
  try {
    ReadSegmentPayload(payload, h, r);
  } catch (const EzxError &) {
    read = false;
  }
  DeleteFileName(payload);
  if (!read) return 0;

  // Everything announced was read, and no more.
  auto expected = [](int32_t n) { return n > 0 ? n : 0; };
  if (r.Cursors->Count() != expected(h.CursorCount) ||
      r.VideoStream->Size() != expected(h.VideoSize) ||
      r.CursorTrack->Size() != expected(h.CursorTrackSize) ||
      r.PaletteTrack->Size() != expected(h.PaletteTrackSize))
    std::abort();
  // The title's length byte claims no more than the title brought.
  const int32_t titleSize = size >= HeadSize + 4 ? GetLE32(data + HeadSize) : 0;
  if (r.Title[0] > (titleSize > 0 ? titleSize - 1 : 0)) std::abort();

  const TRun viaXor = Render(r, TzxSegmentRenderer::TDecodePath::XorFrame);
  const TRun direct = Render(r, TzxSegmentRenderer::TDecodePath::Direct);
  if (viaXor.Hashes != direct.Hashes || viaXor.Failed != direct.Failed) std::abort();
  return 0;
}

namespace {

void Put(TzxBytes &seed, int32_t v) {
  AppendInt32(seed, v);
}

// A segment of real frames: a moving square on a gradient, a colour and a
// monochrome cursor, a cursor track and, at 8 bits, palette changes.
TzxFuzzSeed MakeSeed(int32_t bits, int32_t w, int32_t h, int32_t frames, bool threeSamples) {
  TzxSegmentSpec s;
  s.Title = "Seed";
  s.Cursors.push_back(EncodeCursorRecord(MakeColourCursor(4, 4, 1, 2, TzxBytes(64, 0x80))));
  s.Cursors.push_back(EncodeCursorRecord(
      MakeMonochromeCursor(2, 2, 0, 0, {true, false, false, true}, {false, true, true, false})));
  TzxFrameEncoder encoder(w, h, bits);
  const TzxPictureLayout &l = encoder.Layout();
  TzxPalette before{}, after{};
  for (int32_t i = 0; i < 16; ++i)
    after[static_cast<size_t>(i)] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                     static_cast<uint8_t>(i * 3), 0};
  std::vector<uint8_t> picture(size_t(l.RowBytes) * size_t(h));
  for (int32_t f = 0; f < frames; ++f) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < l.RowBytes; ++x) {
        const bool square =
            x / l.Format.PixelBytes >= f && x / l.Format.PixelBytes < f + 3 && y >= f && y < f + 3;
        picture[size_t(y) * l.RowBytes + x] = static_cast<uint8_t>(square ? 200 : x + y);
      }
    encoder.AppendFrame(s.Video, picture.data(), size_t(l.RowBytes), picture.size());
    if (bits == 8) {
      after[static_cast<size_t>(f)].Red ^= 0x55;
      AppendPaletteChange(s.PaletteTrack, before, after);
      before = after;
    }
    for (int32_t t = 0; t < (threeSamples ? 3 : 1); ++t)
      AppendCursorSample(s.CursorTrack, static_cast<uint16_t>(f % 2), static_cast<uint16_t>(f + t),
                         static_cast<uint16_t>(h - 1 - f));
  }
  TzxBytes seed = {static_cast<uint8_t>(bits == 8    ? 0
                                        : bits == 24 ? 1
                                                     : 2),
                   static_cast<uint8_t>(w - 1), static_cast<uint8_t>(h - 1),
                   static_cast<uint8_t>((frames << 1) | (threeSamples ? 1 : 0))};
  Put(seed, static_cast<int32_t>(s.Cursors.size()));
  Put(seed, static_cast<int32_t>(s.Video.size()));
  Put(seed, static_cast<int32_t>(s.CursorTrack.size()));
  Put(seed, static_cast<int32_t>(s.PaletteTrack.size()));
  const TzxBytes payload = BuildUnpackedPayload(s);
  seed.insert(seed.end(), payload.begin(), payload.end());
  return {Format("%d-%dx%d-%d", bits, w, h, frames), seed};
}

} // namespace

std::vector<TzxFuzzSeed> FuzzSeeds() {
  return {MakeSeed(8, 7, 5, 3, false), MakeSeed(24, 5, 4, 2, true), MakeSeed(32, 8, 6, 4, false),
          MakeSeed(24, 4, 3, 1, false), MakeSeed(32, 3, 9, 5, true)};
}
