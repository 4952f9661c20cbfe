// Fuzz target of the MP3 header reader: the input is a sound file. Its
// first four bytes go through Mp3FormatFromHeader; the file, written with
// an .mp3 name, through GetMp3FileInfo, which must come to the same result;
// and FindMp3Audio on a memory stream and on a file stream of the same bytes
// must find the same frames, which lie within the file behind the tags.
#include "zxFilmWriter.h"
#include "zxFuzzing.h"
#include "zxMp3.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TSetup {
  std::string File;
  TSetup() {
    File =
        (fs::temp_directory_path() / ("zxmp3fuzz_" + std::to_string(getpid()) + ".mp3")).string();
  }
  ~TSetup() { DeleteFileName(File); }
};

// The outcome of a header read: the record's bytes, "other MPEG audio", or
// the error's text.
template <class TRead> std::string Outcome(TRead read) {
  TzxMpegLayer3WaveFormat format{};
  try {
    return read(format)
               ? std::string(reinterpret_cast<const char *>(Mp3FormatBytes(format).data()), 30)
               : std::string("not layer 3");
  } catch (const EzxMp3Error &e) {
    return e.Message() + ": " + e.Reason();
  }
}

bool Same(const TzxMp3Audio &a, const TzxMp3Audio &b) {
  return a.Offset == b.Offset && a.Size == b.Size && a.TagBytes == b.TagBytes &&
         a.InfoFrameBytes == b.InfoFrameBytes && a.TrailerBytes == b.TrailerBytes &&
         a.StartsWithFrame == b.StartsWithFrame;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TSetup setup;
  WriteWholeFile(setup.File, TzxBytes(data, data + size));
  const std::string fromFile =
      Outcome([&](TzxMpegLayer3WaveFormat &f) { return GetMp3FileInfo(setup.File, f); });
  if (size >= 4) {
    const std::string fromHeader = Outcome([&](TzxMpegLayer3WaveFormat &f) {
      return Mp3FormatFromHeader(data, f) == TzxMp3Header::Layer3;
    });
    if (fromHeader != fromFile) std::abort();
  }

  TzxMemoryStream memory;
  memory.Write(data, static_cast<int32_t>(size));
  const TzxMp3Audio a = FindMp3Audio(memory);
  TzxFileStream file(setup.File, fmOpenRead);
  const TzxMp3Audio b = FindMp3Audio(file);
  if (!Same(a, b)) std::abort();
  const auto n = static_cast<int64_t>(size);
  if (a.Offset < 0 || a.Size < 0 || a.Offset + a.Size + a.TrailerBytes != n ||
      a.TagBytes + a.InfoFrameBytes != a.Offset || (a.TrailerBytes != 0 && a.TrailerBytes != 128))
    std::abort();
  if (a.StartsWithFrame &&
      (a.Size < 2 || data[a.Offset] != 0xFF || (data[a.Offset + 1] & 0xE0) != 0xE0))
    std::abort();
  return 0;
}

namespace {

// n frames of MPEG-2 Layer III, 22,050 Hz mono at 32 kbit/s (104 bytes each).
TzxBytes Frames(int n) {
  TzxBytes out;
  for (int i = 0; i < n; ++i) {
    TzxBytes frame(104, static_cast<uint8_t>(i));
    const uint8_t header[4] = {0xFF, 0xF3, 0x40, 0xC4};
    std::memcpy(frame.data(), header, 4);
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

} // namespace

std::vector<TzxFuzzSeed> FuzzSeeds() {
  // Two ID3v2 tags (the first with a footer), a Xing frame, sound frames.
  TzxBytes tagged = {'I', 'D', '3', 4,   0,   0x10, 0, 0,    0, 5, 1, 2, 3,
                     4,   5,   '3', 'D', 'I', 4,    0, 0x10, 0, 0, 0, 5};
  const TzxBytes second = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 2, 7, 7};
  for (uint8_t b : second)
    tagged.push_back(b);
  TzxBytes xing = Frames(3);
  std::memcpy(xing.data() + 13, "Xing", 4); // MPEG-2 mono: side information of 13 bytes
  for (uint8_t b : xing)
    tagged.push_back(b);
  TzxBytes v1(128, ' ');
  std::memcpy(v1.data(), "TAG", 3);
  for (uint8_t b : v1)
    tagged.push_back(b);
  TzxBytes mpeg1 = Frames(2);
  mpeg1[1] = 0xFB; // MPEG-1 Layer III, 128 kbit/s, 44,100 Hz
  mpeg1[2] = 0x90;
  TzxBytes layer2 = Frames(1);
  layer2[1] = 0xFD;
  return {{"plain", Frames(4)},
          {"tagged", tagged},
          {"mpeg1", mpeg1},
          {"layer2", layer2},
          {"short", {0xFF, 0xF3}}};
}
