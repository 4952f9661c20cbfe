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

// The end of a Windows program's image: its last section's data, or the
// COFF symbol and string tables behind them. -1 when the bytes are not a
// Windows program.
int64_t ProgramImageEnd(const TzxBytes &exe) {
  if (exe.size() < 64 || exe[0] != 'M' || exe[1] != 'Z') return -1;
  uint32_t pe = static_cast<uint32_t>(GetLE32(&exe[60]));
  if (pe > exe.size() || exe.size() - pe < 24 || std::memcmp(&exe[pe], "PE\0\0", 4) != 0) return -1;
  uint16_t sections = GetLE16(&exe[pe + 6]);
  uint32_t symbols = static_cast<uint32_t>(GetLE32(&exe[pe + 12]));
  uint32_t symbolCount = static_cast<uint32_t>(GetLE32(&exe[pe + 16]));
  uint16_t optional = GetLE16(&exe[pe + 20]);
  uint64_t table = uint64_t(pe) + 24 + optional;
  if (table + uint64_t(sections) * 40 > exe.size()) return -1;
  uint64_t end = table + uint64_t(sections) * 40;
  for (uint16_t i = 0; i < sections; ++i) {
    size_t s = static_cast<size_t>(table + uint64_t(i) * 40);
    uint64_t rawSize = static_cast<uint32_t>(GetLE32(&exe[s + 16])),
             rawPtr = static_cast<uint32_t>(GetLE32(&exe[s + 20]));
    if (rawSize > 0) end = std::max(end, rawPtr + rawSize);
  }
  if (symbols != 0) {
    uint64_t strings = uint64_t(symbols) + uint64_t(symbolCount) * 18;
    if (strings + 4 <= exe.size())
      end = std::max(end,
                     strings + static_cast<uint32_t>(GetLE32(&exe[static_cast<size_t>(strings)])));
  }
  return end > exe.size() ? -1 : static_cast<int64_t>(end);
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
  int64_t end = ProgramImageEnd(player);
  if (end < 0) throw EzxError(Format("%s is not a Windows program", a.Positional[0].c_str()));
  if (end != static_cast<int64_t>(player.size()))
    throw EzxError(Format("%s already carries a film or other data behind its program; "
                          "extract it first",
                          a.Positional[0].c_str()));
  TzxBytes film = ReadWholeFile(a.Positional[1]);
  CheckFilm(film, a.Positional[1]);
  std::string language;
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
