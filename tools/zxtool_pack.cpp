// zxtool pack PLAYER.exe FILM [--lang FILE] -o OUT.exe
// zxtool extract EXE -o FILM.zxf [--lang FILE]
//
// A self-playing executable is the player's program image followed by the
// trailer: the language block, its int32 size, the film and its int32 size.
#include "zxtool.h"

#include "zxFilmWriter.h"
#include "zxLoader.h"

#include <cstdio>
#include <algorithm>
#include <cstring>

namespace {

// The stream of a file's bytes, for the loader's readers.
std::unique_ptr<TzxMemoryStream> StreamOf(const TzxBytes &bytes) {
  auto s = std::make_unique<TzxMemoryStream>();
  s->Write(bytes.data(), static_cast<int32_t>(bytes.size()));
  return s;
}

int64_t ProgramImageEnd(const TzxBytes &exe) {
  return ProgramImageEnd(*StreamOf(exe));
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
void WriteOutput(const std::string &name, const TzxBytes &bytes) {
  std::string part = name + ".part";
  try {
    WriteWholeFile(part, bytes);
  } catch (...) {
    DeleteFileName(part);
    throw;
  }
  if (std::rename(part.c_str(), name.c_str()) != 0) {
    DeleteFileName(part);
    throw EzxError(Format("Cannot write %s", name.c_str()));
  }
}

struct TArgs {
  std::vector<std::string> Positional;
  std::string Output;
  std::string Language;
  bool HasLanguage = false;
};

TArgs ParseArgs(const std::vector<std::string> &args, const char *usage) {
  TArgs a;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &s = args[i];
    if ((s == "-o" || s == "--lang") && i + 1 < args.size()) {
      (s == "-o" ? a.Output : a.Language) = args[++i];
      if (s == "--lang") a.HasLanguage = true;
    } else if (s.rfind("-", 0) == 0) {
      throw EzxError(Format("unknown option %s; usage: %s", s.c_str(), usage));
    } else {
      a.Positional.push_back(s);
    }
  }
  if (a.Output.empty()) throw EzxError(Format("usage: %s", usage));
  return a;
}

} // namespace

int CommandPack(const std::vector<std::string> &args) {
  const char *usage = "zxtool pack PLAYER.exe FILM [--lang FILE] -o OUT.exe";
  TArgs a = ParseArgs(args, usage);
  if (a.Positional.size() != 2) throw EzxError(Format("usage: %s", usage));
  TzxBytes player = ReadWholeFile(a.Positional[0]);
  const auto stream = StreamOf(player);
  const int64_t end = ProgramImageEnd(*stream);
  if (end < 0) throw EzxError(Format("%s is not a Windows program", a.Positional[0].c_str()));
  std::string language;
  if (end != static_cast<int64_t>(player.size())) {
    // The built player ends in a trailer without a film (and perhaps a
    // language block): that trailer is replaced, not stacked on.
    const TExecutableTrailer t = ReadExecutableTrailer(*stream);
    const int64_t trailerStart =
        t.LanguageOffset >= 0 ? t.LanguageOffset : static_cast<int64_t>(player.size()) - 8;
    if (t.FilmBase >= 0)
      throw EzxError(
          Format("%s already carries a film; extract it first", a.Positional[0].c_str()));
    if (trailerStart != end)
      throw EzxError(Format("%s carries other data behind its program", a.Positional[0].c_str()));
    if (t.LanguageOffset >= 0)
      language.assign(player.begin() + t.LanguageOffset,
                      player.begin() + t.LanguageOffset + t.LanguageSize);
    player.resize(static_cast<size_t>(end));
  }
  TzxBytes film = ReadWholeFile(a.Positional[1]);
  CheckFilm(film, a.Positional[1]);
  if (a.HasLanguage) {
    TzxBytes l = ReadWholeFile(a.Language);
    language.assign(l.begin(), l.end());
  }
  WriteOutput(a.Output, BuildExecutable(player, film, language));
  return 0;
}

int CommandExtract(const std::vector<std::string> &args) {
  const char *usage = "zxtool extract EXE -o FILM.zxf [--lang FILE]";
  TArgs a = ParseArgs(args, usage);
  if (a.Positional.size() != 1) throw EzxError(Format("usage: %s", usage));
  const std::string &name = a.Positional[0];
  TzxBytes exe = ReadWholeFile(name);
  int64_t end = ProgramImageEnd(exe);
  if (end < 0) throw EzxError(Format("%s is not a Windows program", name.c_str()));
  TzxBytes player, film;
  std::string language;
  try {
    SplitExecutable(exe, player, film, language);
  } catch (const EzxError &) {
    throw EzxError(Format("%s carries no film", name.c_str()));
  }
  if (static_cast<int64_t>(player.size()) < end)
    throw EzxError(
        Format("%s carries no film: its trailer reaches into the program", name.c_str()));
  CheckFilm(film, name);
  WriteOutput(a.Output, film);
  if (a.HasLanguage) WriteOutput(a.Language, TzxBytes(language.begin(), language.end()));
  return 0;
}
