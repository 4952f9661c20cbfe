// Fuzz target of zxtool make's .cur reader: the input is a .cur file. A
// cursor that the reader accepts is one the player reads back whole and
// valid from its record, with the same hot spot.
#include "zxCursorFile.h"
#include "zxFuzzing.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TSetup {
  std::string File;
  TSetup() {
    File = (fs::temp_directory_path() / ("zxcurfuzz_" + std::to_string(getpid()))).string();
  }
  ~TSetup() { DeleteFileName(File); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TSetup setup;
  TzxCursorRecord record;
  try {
    record = ParseCurFile(TzxBytes(data, data + size), "cursor.cur");
  } catch (const EzxError &) {
    return 0;
  }
  const TzxBytes encoded = EncodeCursorRecord(record);
  WriteWholeFile(setup.File, encoded);
  TzxFileStream file(setup.File, fmOpenRead);
  TzxCursor cursor;
  if (cursor.LoadFromFile(file) != zxCursorBuilt || !cursor.Valid() ||
      file.Position() != static_cast<int32_t>(encoded.size()) ||
      cursor.HotSpotX() != record.HotSpotX || cursor.HotSpotY() != record.HotSpotY)
    std::abort();
  return 0;
}

namespace {

void Put16(TzxBytes &b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(TzxBytes &b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// A one-image .cur file: w x h pixels of bpp bits with a colour table for
// 8 bits or fewer, patterned XOR rows and an AND mask with a hole.
TzxFuzzSeed Cur(const char *name, int32_t w, int32_t h, int32_t bpp, bool alpha = false) {
  TzxBytes dib;
  Put32(dib, 40);
  Put32(dib, static_cast<uint32_t>(w));
  Put32(dib, static_cast<uint32_t>(2 * h));
  Put16(dib, 1);
  Put16(dib, static_cast<uint32_t>(bpp));
  for (int i = 0; i < 6; ++i)
    Put32(dib, 0);
  if (bpp <= 8)
    for (int i = 0; i < (1 << bpp); ++i)
      Put32(dib, static_cast<uint32_t>(i * 0x010203 + (i & 1 ? 0xFFFFFF : 0)));
  const size_t xorRow = (size_t(w) * size_t(bpp) + 31) / 32 * 4;
  for (int32_t y = 0; y < h; ++y)
    for (size_t x = 0; x < xorRow; ++x)
      dib.push_back(static_cast<uint8_t>(alpha && x % 4 == 3 ? (y % 2 ? 255 : 0) : x * 7 + y));
  const size_t andRow = (size_t(w) + 31) / 32 * 4;
  for (int32_t y = 0; y < h; ++y)
    for (size_t x = 0; x < andRow; ++x)
      dib.push_back(y == h / 2 ? 0xF0 : 0x00);
  TzxBytes cur;
  Put16(cur, 0);
  Put16(cur, 2);
  Put16(cur, 1);
  cur.push_back(static_cast<uint8_t>(w));
  cur.push_back(static_cast<uint8_t>(h));
  cur.push_back(0);
  cur.push_back(0);
  Put16(cur, static_cast<uint32_t>(w / 2));
  Put16(cur, static_cast<uint32_t>(h / 3));
  Put32(cur, static_cast<uint32_t>(dib.size()));
  Put32(cur, 22);
  cur.insert(cur.end(), dib.begin(), dib.end());
  return {name, cur};
}

} // namespace

std::vector<TzxFuzzSeed> FuzzSeeds() {
  return {Cur("mono", 16, 16, 1), Cur("four", 7, 5, 4),         Cur("eight", 9, 4, 8),
          Cur("true", 5, 5, 24),  Cur("alpha", 6, 3, 32, true), Cur("no-alpha", 4, 4, 32, false)};
}
