// Fuzz target of zxtool make's cursor-track reader: the first byte is the
// segment's cursor count (modulo 8), the second the samples wanted, the rest
// the CSV text. A track that is read has rising ticks and cursors the
// segment has, and builds exactly the samples wanted, each one a listed line.
#include "zxCursorTrack.h"
#include "zxFuzzing.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const size_t cursors = data[0] % 8;
  const int64_t samples = data[1];
  const std::string text(reinterpret_cast<const char *>(data) + 2, size - 2);
  std::vector<TzxTrackLine> lines;
  try {
    lines = ParseCursorTrack(text, cursors, "track.csv");
  } catch (const EzxError &) {
    return 0;
  }
  if (lines.empty()) std::abort();
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].Cursor >= cursors || lines[i].Tick < 0 || lines[i].Tick > INT32_MAX ||
        (i > 0 && lines[i].Tick <= lines[i - 1].Tick))
      std::abort();
  const TzxBytes track = BuildCursorTrack(lines, samples);
  if (track.size() != size_t(samples) * 6) std::abort();
  for (size_t at = 0; at < track.size(); at += 6) {
    const uint16_t cursor = static_cast<uint16_t>(track[at] | track[at + 1] << 8);
    if (cursor >= cursors) std::abort();
  }
  return 0;
}

std::vector<TzxFuzzSeed> FuzzSeeds() {
  auto seed = [](const char *name, uint8_t cursors, uint8_t samples, const std::string &text) {
    const std::string bytes = std::string{char(cursors), char(samples)} + text;
    return TzxFuzzSeed{name, std::vector<uint8_t>(bytes.begin(), bytes.end())};
  };
  return {
      seed("header", 2, 12, "tick,cursor,x,y\n0,0,10,10\n3,1,20,5\n# a comment\n\n9,0,65535,0\n"),
      seed("blanks", 1, 5, " 1 , 0 , +2 ,3\r\n4,0,1,1 \t\r\n"),
      seed("errors", 3, 3, "5,2,1,1\n4,0,0,0\n99999999999999999999,0,0,0\n-1,1,2,3\n"),
  };
}
