// Fuzz target of the film loader on a film given as bytes: a .zxf file or a
// self-playing executable (program, language block, film, trailer). The
// bytes go through the trailer reader and the program image measure on a
// memory stream, and then, from a file, through LoadFilm as a film and
// through LoadEmbeddedFilm with the language block applied to the texts, as
// the player does at start. LZMA payloads pass through a stand-in coder that
// copies its input, so that the bytes of a packed payload reach the payload
// and cursor readers as they are; cabinet payloads go through the cabinet
// reader. Whatever the input, every load ends with a result or an
// EzxError, the trailer lies behind the program and inside the file, and
// nothing but the listed segments' files stays in the temporary directory.
#include "zxFilmWriter.h"
#include "zxFuzzing.h"
#include "zxLoader.h"
#include "zxLzma.h"
#include "zxMessages.h"
#include "zxTesting.h"
#include "zxTexts.h"

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
    SetLzmaCoderOverride([](char, const std::string &in, const std::string &out, TzxLzmaRun *) {
      std::error_code ec;
      fs::copy_file(in, out, fs::copy_options::overwrite_existing, ec);
      return true;
    });
    SetMessageHook([](const TzxMessageBox &) { return 1; });
  }
  ~TSetup() {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
};

size_t CountFiles(const std::string &dir) {
  size_t n = 0;
  for (const auto &e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    n += name != "film.zxf";
  }
  return n;
}

// Loads with load(stream, list); afterwards one video file per listed
// segment and the sound files may remain, and none once the list is gone.
template <class TLoad> void CheckedLoad(const TSetup &setup, const std::string &film, TLoad load) {
  TSegmentList list;
  try {
    TzxFileStream s(film, fmOpenRead);
    load(s, list);
  } catch (const EzxError &) {
  }
  size_t sounds = 0;
  for (int32_t i = 0; i < list.Count(); ++i)
    sounds += !list.Get(i)->SoundFileName.empty();
  if (CountFiles(setup.Dir) != static_cast<size_t>(list.Count()) + sounds) std::abort();
  list.Clear();
  if (CountFiles(setup.Dir) != 0) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TSetup setup;
  if (size > 1 << 24) return 0;

  // The trailer on its own: where it puts the film and the language block.
  TzxMemoryStream memory;
  memory.Write(data, static_cast<int32_t>(size));
  const int64_t imageEnd = ProgramImageEnd(memory);
  if (imageEnd > static_cast<int64_t>(size)) std::abort();
  const TExecutableTrailer t = ReadExecutableTrailer(memory);
  const int64_t floor = imageEnd > 0 ? imageEnd : 0;
  if (t.FilmBase >= 0 && (t.FilmSize <= 0 || t.FilmBase < floor ||
                          t.FilmBase + t.FilmSize + 4 != static_cast<int64_t>(size)))
    std::abort();
  if (t.LanguageOffset >= 0) {
    const int64_t lField = static_cast<int64_t>(size) - 8 - (t.FilmBase >= 0 ? t.FilmSize : 0);
    if (t.LanguageSize <= 0 || t.LanguageOffset < floor ||
        t.LanguageOffset + t.LanguageSize != lField)
      std::abort();
  }

  const std::string film = setup.Dir + "film.zxf";
  WriteWholeFile(film, TzxBytes(data, data + size));

  // As a film file.
  CheckedLoad(setup, film, [](TzxStream &s, TSegmentList &list) { LoadFilm(&s, list); });

  // As a self-playing executable: the language block first, then its film.
  const std::vector<char> language = ReadLanguageBlock(film);
  if (static_cast<int64_t>(language.size()) != (t.LanguageOffset >= 0 ? t.LanguageSize : 0))
    std::abort();
  ApplyLanguageTexts(language.data(), static_cast<int>(language.size()));
  CheckedLoad(setup, film, [](TzxStream &s, TSegmentList &list) { LoadEmbeddedFilm(&s, list); });
  AssignDefaultTexts();
  DeleteFileName(film);
  return 0;
}

namespace {

TzxFilmEntry Entry(TzxSegmentSpec s) {
  TzxFilmEntry e;
  e.Segment = std::move(s);
  return e;
}

// A segment whose packed payload the copy coder hands on as it is.
TzxSegmentSpec CopiedSegment() {
  TzxSegmentSpec s = SampleSegment(TzxPacking::Raw);
  s.Flags = sfCompressionLzma | sfThreeCursorSamples;
  return s;
}

} // namespace

std::vector<TzxFuzzSeed> FuzzSeeds() {
  TzxTestDir dir;
  std::vector<TzxFuzzSeed> seeds;
  const TzxBytes one = BuildFilm({Entry(CopiedSegment())});
  seeds.push_back({"lzma", one});

  TzxSegmentSpec sound = CopiedSegment();
  sound.Flags |= sfSoundMp3;
  sound.Sound = {0xFF, 0xF3, 0x40, 0xC4, 1, 2, 3, 4};
  TzxSegmentSpec old = CopiedSegment();
  old.Version = 2;
  TzxFilmEntry other;
  other.Kind = 2;
  other.Raw = {1, 2, 3, 4};
  seeds.push_back({"mixed", BuildFilm({Entry(sound), other, Entry(old)})});
  seeds.push_back({"cabinet", BuildFilm({Entry(SampleSegment(TzxPacking::Cabinet))})});
  seeds.push_back({"stored", BuildFilm({Entry(SampleSegment(TzxPacking::CabinetStored))})});
  seeds.push_back({"exe", BuildExecutable(FakeProgram(), one,
                                          "Warning=Attention\r\nInvalidVersionFormat=%d %s %%\r"
                                          "Segments=Parts\r")});
  seeds.push_back({"exe-old", BuildExecutable(FakeProgram(), BuildFilm({Entry(old)}),
                                              "InvalidVersionFormat=Part %d cannot play\r")});
  seeds.push_back({"bare-player", BuildExecutable(FakeProgram(), {}, "")});
  return seeds;
}
