// Fuzz target of the cursor record reader: the input is a file of cursor
// records end to end, read one after another as the loader reads a
// payload's records, and each one drawn where the input's last bytes say.
// Every record takes exactly 34 + max(M, 0) + max(N, 0) bytes of the file
// (or the rest of a file that ends inside it), whatever it holds, so that
// later records keep their places; valid records draw, others do not.
#include "UzxCursor_new.h"
#include "zxFilmWriter.h"
#include "zxFuzzing.h"
#include "zxRender.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TSetup {
  std::string File;
  TSetup() {
    File = (fs::temp_directory_path() / ("zxcursorfuzz_" + std::to_string(getpid()))).string();
  }
  ~TSetup() { DeleteFileName(File); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TSetup setup;
  // The last four bytes place the hot spot in a picture of 40 x 30 pixels.
  int32_t x = 0, y = 0;
  if (size >= 4) {
    x = static_cast<int8_t>(data[size - 4]) | static_cast<int8_t>(data[size - 3]) << 8;
    y = static_cast<int8_t>(data[size - 2]) | static_cast<int8_t>(data[size - 1]) << 8;
  }
  WriteWholeFile(setup.File, TzxBytes(data, data + size));
  TzxFileStream file(setup.File, fmOpenRead);
  TzxRgbPicture picture;
  picture.Width = 40;
  picture.Height = 30;
  picture.Pixels.assign(40 * 30 * 3, 0x5A);
  for (int i = 0; i < 64 && file.Position() < file.Size(); ++i) {
    const int64_t start = file.Position();
    TzxCursor cursor;
    const int result = cursor.LoadFromFile(file);
    const int64_t at = file.Position();
    if (at != file.Size()) {
      const int64_t length =
          34 + std::max(cursor.Mask().Count, 0) + int64_t{std::max(cursor.Colour().Count, 0)};
      if (at != start + length) std::abort();
    }
    if ((result == zxCursorBuilt) != cursor.Valid()) std::abort();
    if (DrawCursor(cursor, x, y, picture) != cursor.Valid()) std::abort();
    if (cursor.Valid() &&
        (cursor.MaskBits().size() <
         size_t(TzxCursor::MaskRowBytes(cursor.Mask())) * size_t(cursor.Mask().Height)))
      std::abort();
  }
  return 0;
}

std::vector<TzxFuzzSeed> FuzzSeeds() {
  auto bytes = [](std::initializer_list<TzxCursorRecord> records) {
    TzxBytes all;
    for (const auto &r : records) {
      const TzxBytes one = EncodeCursorRecord(r);
      all.insert(all.end(), one.begin(), one.end());
    }
    // Hot spot near the picture's middle.
    for (uint8_t b : {20, 0, 15, 0})
      all.push_back(b);
    return all;
  };
  TzxBytes gradient(static_cast<size_t>(5 * 3 * 4));
  for (size_t i = 0; i < gradient.size(); ++i)
    gradient[i] = static_cast<uint8_t>(i * 9);
  TzxCursorRecord eight = MakeColourCursor(6, 4, 2, 1, {});
  eight.Colour = {-1, 6, 4, 8};
  eight.ColourBits.assign(4 * 8, 0x3C);
  TzxCursorRecord sixteen = MakeColourCursor(3, 3, 0, 0, {});
  sixteen.Colour = {-1, 3, 3, 16};
  sixteen.ColourBits.assign(3 * 8, 0xA5);
  const TzxCursorRecord mono = MakeMonochromeCursor(
      3, 2, 1, 1, {true, false, true, false, true, false}, {false, true, false, true, false, true});
  return {
      {"colour", bytes({MakeColourCursor(5, 3, 1, 1, gradient)})},
      {"monochrome", bytes({mono})},
      {"depths", bytes({eight, sixteen, mono})},
  };
}
