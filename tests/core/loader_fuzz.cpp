// Fuzz target of the film loader. An input whose first byte is odd is a film
// file as it stands; otherwise its next 16 bytes give a segment header's
// cursor count and track sizes and the rest is that segment's unpacked
// payload, wrapped in a film by the film writer. LZMA payloads
// pass through a stand-in coder that copies its input, so the bytes after
// the segment header reach the payload and cursor readers as they are;
// cabinet payloads go through the cabinet reader. Whatever the input, the
// load ends with a result or an EzxError, and nothing but the listed
// segments' files stays in the temporary directory.
#include "zxFilmWriter.h"
#include "zxLoader.h"
#include "zxLzma.h"
#include "zxMessages.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TSetup {
  std::string Dir;
  TSetup() {
    Dir = (fs::temp_directory_path() / ("zxfuzz_" + std::to_string(getpid()))).string() + "/";
    fs::create_directories(Dir);
    SetTempPathOverride(Dir);
    SetVideoTempDirectory(Dir);
    std::string coder = Dir + "copy-coder";
    if (FILE *f = std::fopen(coder.c_str(), "w")) {
      std::fputs("#!/bin/sh\nexec cp \"$2\" \"$3\"\n", f);
      std::fclose(f);
    }
    fs::permissions(coder, fs::perms::owner_all);
    SetLzmaToolOverride(coder);
    SetMessageHook([](const TzxMessageBox &) { return 1; });
  }
  ~TSetup() {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
};

size_t CountFiles(const std::string &dir) {
  size_t n = 0;
  for (const auto &e : fs::directory_iterator(dir))
    n += e.path().filename() != "copy-coder";
  return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TSetup setup;
  const std::string film = setup.Dir + "film.zxf";
  if (size > 0 && (data[0] & 1) == 0 && size >= 17) {
    TzxFilmEntry e;
    e.Segment.Width = 16;
    e.Segment.Height = 8;
    e.Segment.Flags = sfCompressionLzma | sfSoundMp3;
    e.Segment.Packing = TzxPacking::Raw;
    e.Segment.Packed = TzxBytes(data + 17, data + size);
    e.Segment.CursorCount = GetLE32(data + 1);
    e.Segment.VideoSize = GetLE32(data + 5);
    e.Segment.CursorTrackSize = GetLE32(data + 9);
    e.Segment.PaletteTrackSize = GetLE32(data + 13);
    e.Segment.Sound = {0xFF, 0xF3};
    WriteWholeFile(film, BuildFilm({e}));
  } else if (FILE *f = std::fopen(film.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  TSegmentList list;
  try {
    TzxFileStream s(film, fmOpenRead);
    LoadFilm(&s, list);
  } catch (const EzxError &) {
  }
  // One video file per listed segment, the sound files, and the film.
  size_t sounds = 0;
  for (int32_t i = 0; i < list.Count(); ++i)
    sounds += !list.Get(i)->SoundFileName.empty();
  if (CountFiles(setup.Dir) != 1 + static_cast<size_t>(list.Count()) + sounds) std::abort();
  list.Clear();
  return 0;
}
