// zxtool pack [PLAYER.exe] FILM [--lang FILE] -o OUT.exe
// zxtool extract EXE -o FILM.zxf [--lang FILE]
//
// A self-playing executable is the player's program image followed by the
// trailer: the language block, its int32 size, the film and its int32 size.
#include "zxtool.h"

#include "zxFilmWriter.h"
#include "zxLoader.h"
#include "zxToolOutput.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

// The stream of a file's bytes, for the loader's readers.
std::unique_ptr<TzxMemoryStream> StreamOf(const TzxBytes &bytes) {
  auto s = std::make_unique<TzxMemoryStream>();
  s->Write(bytes.data(), static_cast<int32_t>(bytes.size()));
  return s;
}

// Raises unless film is a film directory whose segment headers lie inside.
void CheckFilm(const TzxBytes &film, const std::string &name) {
  if (film.size() < 4) throw EzxError(Format("%s is not a film: it is too short", name.c_str()));
  int32_t count = GetLE32(&film[0]);
  if (count <= 0 || int64_t(count) * DirectoryEntrySize + 4 > int64_t(film.size()))
    throw EzxError(
        Format("%s is not a film: its directory announces %d entries", name.c_str(), count));
  for (int32_t i = 0; i < count; ++i) {
    size_t at = 4 + size_t(i) * DirectoryEntrySize;
    int32_t offset = GetLE32(&film[at]);
    if (static_cast<int16_t>(GetLE16(&film[at + 4])) != 1) continue;
    if (offset < 0 || int64_t(offset) + SegmentHeaderSize > int64_t(film.size()))
      throw EzxError(Format("%s is not a film: entry %d points outside it", name.c_str(), i + 1));
  }
}

// Writes a file whole or not at all: a half-written output never stands
// under its final name.
void WriteOutput(const std::string &name, const TzxBytes &bytes, const TzxOutputRules &rules) {
  TzxOutputFile output(name, rules);
  WriteWholeFile(output.TempName(), bytes);
  CheckInterrupted();
  output.Commit();
}

// The player pack takes when none is named: $ZX_PLAYER, or the one the
// build makes (stripped, its debug information in reDiridi.exe.debug) in
// the Win32 tree beside the tree this zxtool was built in.
std::string DefaultPlayer() {
  const char *env = std::getenv("ZX_PLAYER");
  if (env != nullptr && *env != '\0') return env;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  const fs::path built = self.parent_path().parent_path() / "win32" / "reDiridi.exe";
  if (ec || !fs::exists(built, ec))
    throw EzxError(Format("No player named, and none built at %s: name PLAYER.exe or set "
                          "ZX_PLAYER",
                          ec ? "build/win32/reDiridi.exe" : built.string().c_str()));
  return built.string();
}

} // namespace

int CommandPack(const std::vector<std::string> &args) {
  std::string first, second, output, languageName;
  TzxCommandLine cl("pack", "Writes a self-playing executable: the player's program followed by "
                            "the film (and a language block).");
  cl.add_option("PLAYER.exe", first,
                "the built player; without it, $ZX_PLAYER or else the build's own "
                "(build/win32/reDiridi.exe beside the build/native of this zxtool)")
      ->type_name("");
  cl.add_option("FILM", second,
                "the film it plays: a film, a self-playing executable or - (standard input)")
      ->type_name("");
  cl.add_option("-o", output, "the executable to write")->required()->type_name("OUT.exe");
  const CLI::Option *lang =
      cl.add_option("--lang", languageName, "a language block to carry instead of the player's own")
          ->type_name("FILE");
  cl.OverwriteOptions();
  if (!cl.Parse(args)) return 0;
  // One name is the film's.
  if (first.empty()) throw EzxUsageError("FILM is required");
  const std::string playerName = second.empty() ? DefaultPlayer() : first;
  const std::string filmName = second.empty() ? first : second;
  TzxOutputRules rules = cl.OutputRules();
  for (const std::string &input : {playerName, filmName, languageName})
    rules.AddInput(input);
  rules.Check(output);
  TzxBytes player = ReadWholeFile(playerName);
  const auto stream = StreamOf(player);
  const int64_t end = ProgramImageEnd(*stream);
  if (end < 0) throw EzxError(Format("%s is not a Windows program", playerName.c_str()));
  std::string language;
  if (end != static_cast<int64_t>(player.size())) {
    // The built player ends in a trailer without a film (and perhaps a
    // language block): that trailer is replaced, not stacked on.
    const TExecutableTrailer t = ReadExecutableTrailer(*stream);
    const int64_t trailerStart =
        t.LanguageOffset >= 0 ? t.LanguageOffset : static_cast<int64_t>(player.size()) - 8;
    if (t.FilmBase >= 0)
      throw EzxError(Format("%s already carries a film; extract it first", playerName.c_str()));
    if (trailerStart != end)
      throw EzxError(Format("%s carries other data behind its program", playerName.c_str()));
    if (t.LanguageOffset >= 0)
      language.assign(player.begin() + t.LanguageOffset,
                      player.begin() + t.LanguageOffset + t.LanguageSize);
    player.resize(static_cast<size_t>(end));
  }
  TzxToolSession session;
  const TzxFilmInput input = OpenFilm(filmName, session);
  const TzxBytes film = ReadFilmBytes(input);
  CheckFilm(film, input.Name);
  if (lang->count() > 0) {
    TzxBytes l = ReadWholeFile(languageName);
    language.assign(l.begin(), l.end());
  }
  WriteOutput(output, BuildExecutable(player, film, language), rules);
  return 0;
}

int CommandExtract(const std::vector<std::string> &args) {
  std::string name, output, languageName;
  TzxCommandLine cl("extract", "Writes the film a self-playing executable carries (and its "
                               "language block).");
  cl.add_option("EXE", name, "the self-playing executable; - reads standard input")
      ->required()
      ->type_name("");
  cl.add_option("-o", output, "the film to write")->required()->type_name("FILM.zxf");
  const CLI::Option *lang =
      cl.add_option("--lang", languageName, "where to write its language block")->type_name("FILE");
  cl.OverwriteOptions();
  if (!cl.Parse(args)) return 0;
  if (lang->count() > 0 && SameFile(output, languageName))
    throw EzxUsageError(Format("-o and --lang name the same file %s", output.c_str()));
  TzxOutputRules rules = cl.OutputRules();
  rules.AddInput(name);
  rules.Check(output);
  if (lang->count() > 0) rules.Check(languageName);
  TzxToolSession session;
  const TzxFilmInput input = OpenFilm(name, session);
  {
    TzxFileStream f(input.Path, fmOpenRead | fmShareDenyNone);
    if (!input.Program || ProgramImageEnd(f) < 0)
      throw EzxError(Format("%s is not a Windows program", input.Name.c_str()));
  }
  const TzxBytes film = ReadFilmBytes(input);
  CheckFilm(film, input.Name);
  const std::vector<char> language = ReadLanguageBlock(input.Path);
  // Both whole, or neither.
  TzxOutputFile filmOutput(output, rules);
  WriteWholeFile(filmOutput.TempName(), film);
  std::unique_ptr<TzxOutputFile> languageOutput;
  if (lang->count() > 0) {
    languageOutput = std::make_unique<TzxOutputFile>(languageName, rules);
    WriteWholeFile(languageOutput->TempName(), TzxBytes(language.begin(), language.end()));
  }
  CheckInterrupted();
  filmOutput.Commit();
  if (languageOutput) languageOutput->Commit();
  return 0;
}
