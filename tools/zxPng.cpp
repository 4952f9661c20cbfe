#include "zxPng.h"

#include "zxClasses.h"
#include "zxFilmWriter.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <png.h>

namespace {

// Reading goes through libpng's simplified interface, which reports errors
// as a message in the image record instead of jumping out of the call.
TzxRgbaImage FinishRead(png_image &image, const std::string &name, int32_t maxSide) {
  if (image.width < 1 || image.height < 1 || image.width > uint32_t(maxSide) ||
      image.height > uint32_t(maxSide)) {
    png_image_free(&image);
    throw EzxError(Format("%s: a picture of %u x %u pixels is outside 1 .. %d a side", name.c_str(),
                          image.width, image.height, maxSide));
  }
  image.format = PNG_FORMAT_RGBA;
  TzxRgbaImage out;
  out.Width = static_cast<int32_t>(image.width);
  out.Height = static_cast<int32_t>(image.height);
  out.Pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.Pixels.data(), 0, nullptr)) {
    std::string message = image.message;
    png_image_free(&image);
    throw EzxError(Format("%s is not a readable PNG: %s", name.c_str(), message.c_str()));
  }
  return out;
}

// The state a write keeps across libpng's error jump: plain data only, so
// that nothing needs destroying when libpng jumps back.
struct TPngWrite {
  std::FILE *File = nullptr;
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  char Message[200] = {};
};

void OnPngError(png_structp png, png_const_charp message) {
  auto *w = static_cast<TPngWrite *>(png_get_error_ptr(png));
  std::snprintf(w->Message, sizeof w->Message, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Returns false with w.Message set when libpng failed.
bool WriteRows(TPngWrite &w, int32_t width, int32_t height, int colourType, const uint8_t *pixels,
               size_t rowBytes) {
  if (setjmp(png_jmpbuf(w.Png))) return false;
  png_init_io(w.Png, w.File);
  png_set_compression_level(w.Png, 1);
  png_set_IHDR(w.Png, w.Info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(w.Png, w.Info);
  for (int32_t y = 0; y < height; ++y)
    png_write_row(w.Png, pixels + size_t(y) * rowBytes);
  png_write_end(w.Png, w.Info);
  return true;
}

void WritePng(const std::string &fileName, int32_t width, int32_t height, int colourType,
              const uint8_t *pixels, size_t pixelBytes) {
  if (width < 1 || height < 1 || width > MaxPngSide || height > MaxPngSide)
    throw EzxError(Format("Cannot write a PNG of %d x %d pixels", width, height));
  TPngWrite w;
  w.File = std::fopen(fileName.c_str(), "wb");
  if (!w.File)
    throw EzxError(Format("Cannot create %s: %s", fileName.c_str(), std::strerror(errno)));
  w.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w, OnPngError, OnPngWarning);
  if (w.Png) w.Info = png_create_info_struct(w.Png);
  bool ok = w.Png && w.Info &&
            WriteRows(w, width, height, colourType, pixels, size_t(width) * pixelBytes);
  png_destroy_write_struct(w.Png ? &w.Png : nullptr, w.Info ? &w.Info : nullptr);
  ok = std::fclose(w.File) == 0 && ok;
  if (!ok) {
    DeleteFileName(fileName);
    throw EzxError(
        Format("Cannot write %s%s%s", fileName.c_str(), w.Message[0] ? ": " : "", w.Message));
  }
}

// The image header: 8 bytes signature, chunk length 13, "IHDR", width and
// height (big-endian), bit depth, colour type. Deflate makes at most 1,032
// bytes of every byte it reads, so a picture whose filtered rows (a filter
// byte and width x channels x depth bits a row) need more than that of the
// whole file is refused before its pixels are allocated.
void CheckDataSize(const uint8_t *data, size_t size, const std::string &name) {
  if (size < 33 || std::memcmp(data + 12, "IHDR", 4) != 0) return; // libpng says what is wrong
  auto get32 = [data](size_t at) {
    return uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 | uint32_t(data[at + 2]) << 8 |
           uint32_t(data[at + 3]);
  };
  const uint64_t w = get32(16), h = get32(20), depth = data[24];
  const uint8_t type = data[25];
  const uint64_t channels = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
  const uint64_t rows = h * (1 + (w * channels * depth + 7) / 8);
  if (w <= uint32_t(MaxPngSide) && h <= uint32_t(MaxPngSide) && rows > uint64_t(size) * 1032)
    throw EzxError(Format("%s: a picture of %llu x %llu pixels cannot come from %zu bytes of PNG",
                          name.c_str(), static_cast<unsigned long long>(w),
                          static_cast<unsigned long long>(h), size));
}

} // namespace

bool IsPngSignature(const uint8_t *data, size_t size) {
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return size >= 8 && std::memcmp(data, signature, 8) == 0;
}

TzxRgbaImage ReadPng(const std::string &fileName) {
  if (!FileExists(fileName)) throw EzxError(Format("Cannot open %s", fileName.c_str()));
  const TzxBytes bytes = ReadWholeFile(fileName);
  return ReadPngBytes(bytes.data(), bytes.size(), fileName);
}

TzxRgbaImage ReadPngBytes(const uint8_t *data, size_t size, const std::string &name,
                          int32_t maxSide) {
  CheckDataSize(data, size, name);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) {
    std::string message = image.message;
    png_image_free(&image);
    throw EzxError(Format("%s is not a readable PNG: %s", name.c_str(), message.c_str()));
  }
  return FinishRead(image, name, maxSide);
}

void WritePngRgb(const std::string &fileName, int32_t width, int32_t height, const uint8_t *rgb) {
  WritePng(fileName, width, height, PNG_COLOR_TYPE_RGB, rgb, 3);
}

void WritePngRgba(const std::string &fileName, const TzxRgbaImage &image) {
  if (image.Pixels.size() != size_t(image.Width) * size_t(image.Height) * 4)
    throw EzxError(
        Format("Cannot write %s: the picture's pixels do not match its size", fileName.c_str()));
  WritePng(fileName, image.Width, image.Height, PNG_COLOR_TYPE_RGB_ALPHA, image.Pixels.data(), 4);
}
