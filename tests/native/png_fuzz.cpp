// Fuzz target of the PNG reader that zxtool make takes frames and cursor
// pictures through (libpng's simplified interface): the input is a PNG
// file. Reading it from memory and from a file comes to the same picture or
// the same error; a picture has the pixels its size says.
#include "zxClasses.h"
#include "zxFuzzing.h"
#include "zxPng.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <png.h>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TSetup {
  std::string File;
  TSetup() {
    File =
        (fs::temp_directory_path() / ("zxpngfuzz_" + std::to_string(getpid()) + ".png")).string();
  }
  ~TSetup() { DeleteFileName(File); }
};

std::string Outcome(const TzxRgbaImage &image) {
  return Format("%d x %d, %zu bytes", image.Width, image.Height, image.Pixels.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TSetup setup;
  std::string fromMemory, fromFile;
  TzxRgbaImage a, b;
  try {
    a = ReadPngBytes(data, size, "frame.png");
    fromMemory = Outcome(a);
    if (a.Pixels.size() != size_t(a.Width) * size_t(a.Height) * 4) std::abort();
  } catch (const EzxError &e) {
    fromMemory = e.Message();
  }
  if (FILE *f = std::fopen(setup.File.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  try {
    b = ReadPng(setup.File);
    fromFile = Outcome(b);
  } catch (const EzxError &e) {
    // The same text, naming the file.
    fromFile = e.Message();
    const size_t at = fromFile.find(setup.File);
    if (at != std::string::npos) fromFile.replace(at, setup.File.size(), "frame.png");
  }
  if (fromMemory != fromFile || a.Pixels != b.Pixels) std::abort();
  return 0;
}

namespace {

// A PNG of the given libpng format, written to memory; pixels from a pattern.
TzxFuzzSeed Png(const char *name, uint32_t w, uint32_t h, uint32_t format) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
  image.format = format;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<uint8_t>((i * 37) ^ (i >> 3));
  std::vector<uint8_t> colormap(256 * 4);
  for (size_t i = 0; i < colormap.size(); ++i)
    colormap[i] = static_cast<uint8_t>(i * 5);
  if (format & PNG_FORMAT_FLAG_COLORMAP) {
    image.colormap_entries = 16;
    for (auto &p : pixels)
      p &= 15;
  }
  png_alloc_size_t bytes = 0;
  png_image_write_to_memory(&image, nullptr, &bytes, 0, pixels.data(), 0, colormap.data());
  std::vector<uint8_t> out(bytes);
  png_image_write_to_memory(&image, out.data(), &bytes, 0, pixels.data(), 0, colormap.data());
  out.resize(bytes);
  png_image_free(&image);
  return {name, out};
}

} // namespace

std::vector<TzxFuzzSeed> FuzzSeeds() {
  return {Png("rgba", 7, 5, PNG_FORMAT_RGBA),
          Png("rgb", 9, 3, PNG_FORMAT_RGB),
          Png("gray", 17, 4, PNG_FORMAT_GRAY),
          Png("gray-alpha", 3, 3, PNG_FORMAT_GA),
          Png("linear", 4, 6, PNG_FORMAT_LINEAR_RGB_ALPHA),
          Png("palette", 8, 8, PNG_FORMAT_RGBA_COLORMAP)};
}
