// zxtool sample OUT.zxf: a small generated film (two segments, LZMA packed,
// cursors and a cursor track) for trying the tools and the player.
#include "zxtool.h"

#include "zxFilmWriter.h"
#include "zxFrameEncoder.h"
#include "zxToolOutput.h"

#include <cstdio>

namespace {

// A picture of moving bars, w x h at 32 bits, for frame k.
TzxBytes Bars(int32_t w, int32_t h, int32_t k) {
  TzxBytes p(static_cast<size_t>(w) * h * 4);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t *px = &p[(static_cast<size_t>(y) * w + x) * 4];
      int32_t band = ((x + 4 * k) / 16) % 4;
      px[0] = static_cast<uint8_t>(band * 60);
      px[1] = static_cast<uint8_t>(y * 255 / h);
      px[2] = static_cast<uint8_t>(255 - band * 60);
    }
  return p;
}

TzxSegmentSpec Segment(const std::string &title, int32_t w, int32_t h, int32_t frames) {
  TzxSegmentSpec s;
  s.Width = w;
  s.Height = h;
  s.BitsPerPixel = 32;
  s.FramesPerSecond = 10;
  s.FrameCount = frames;
  s.Flags = sfCompressionLzma | sfThreeCursorSamples;
  s.Title = title;
  TzxBytes arrow(16 * 16 * 4, 0);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x <= y && x < 16; ++x)
      arrow[static_cast<size_t>(y * 16 + x) * 4 + 1] = 0xFF;
  s.Cursors.push_back(EncodeCursorRecord(MakeColourCursor(16, 16, 0, 0, arrow)));
  std::vector<bool> andMask(16 * 16, true), xorMask(16 * 16, false);
  for (int32_t i = 0; i < 16; ++i) {
    andMask[static_cast<size_t>(i * 16 + 7)] = false;
    xorMask[static_cast<size_t>(i * 16 + 7)] = true;
  }
  s.Cursors.push_back(EncodeCursorRecord(MakeMonochromeCursor(16, 16, 7, 7, andMask, xorMask)));
  TzxFrameEncoder encoder(w, h, 32);
  for (int32_t k = 0; k < frames; ++k) {
    const TzxBytes next = Bars(w, h, k);
    encoder.AppendFrame(s.Video, next.data(), static_cast<size_t>(w) * 4, next.size());
    for (int32_t t = 0; t < 3; ++t) {
      int32_t tick = k * 3 + t;
      AppendCursorSample(s.CursorTrack, static_cast<uint16_t>(tick / 30 % 2),
                         static_cast<uint16_t>(tick * 2 % w), static_cast<uint16_t>(tick % h));
    }
  }
  return s;
}

} // namespace

int CommandSample(const std::vector<std::string> &args) {
  std::string out;
  TzxCommandLine cl("sample", "Writes a small generated film: two segments, LZMA packed, with "
                              "cursors and a cursor track.");
  cl.add_option("OUT", out, "the film to write")->required()->type_name("");
  cl.OverwriteOptions();
  if (!cl.Parse(args)) return 0;
  TzxToolSession session;
  std::vector<TzxFilmEntry> entries(2);
  entries[0].Segment = Segment("Moving bars", 160, 120, 40);
  entries[1].Segment = Segment("Second segment", 97, 61, 20);
  TzxOutputFile output(out, cl.OutputRules());
  WriteWholeFile(output.TempName(), BuildFilm(entries));
  CheckInterrupted();
  output.Commit();
  std::printf("wrote %s\n", out.c_str());
  return 0;
}
