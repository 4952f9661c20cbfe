// Fuzz target of the string list and of the language texts: the input is a
// language block (name=value lines, ended by carriage returns or zero
// bytes). The list holds every line of it, each lookup gives a line's
// value, and the texts a block brings are filled as the player fills them,
// never read as printf formats.
#include "zxClasses.h"
#include "zxFuzzing.h"
#include "zxTexts.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *text = reinterpret_cast<const char *>(data);
  const auto length = static_cast<int32_t>(size);
  TzxStringList list;
  list.SetText(text, length);
  // A line end may only start a line; together the lines are no longer
  // than the block.
  size_t total = 0;
  for (int32_t i = 0; i < list.Count(); ++i) {
    const std::string line = list.Get(i);
    if (line.find('\0', 1) != std::string::npos || line.find('\r', 1) != std::string::npos)
      std::abort();
    total += line.size();
  }
  if (total > size) std::abort();
  // Lookups give text of the block; a line is found at or before its place.
  for (int32_t i = 0; i < list.Count() && i < 16; ++i) {
    const std::string line = list.Get(i);
    const size_t eq = line.find('=');
    if (eq != std::string::npos && list.Values(line.substr(0, eq)).size() > size) std::abort();
    if (list.IndexOf(line) < 0 || list.IndexOf(line) > i) std::abort();
  }
  list.Delete(0);
  list.Delete(list.Count() - 1);

  ApplyLanguageTexts(text, static_cast<int>(length));
  const std::string a = FormatText(TextInvalidVersion, -2147483648LL);
  const std::string b = FormatText(TextCannotOpenFile, std::string(text, size));
  // A fill adds the value once at most.
  if (a.size() > TextInvalidVersion.size() + 11 || b.size() > TextCannotOpenFile.size() + size)
    std::abort();
  AssignDefaultTexts();
  return 0;
}

std::vector<TzxFuzzSeed> FuzzSeeds() {
  using namespace std::string_literals;
  auto seed = [](const char *name, const std::string &text) {
    return TzxFuzzSeed{name, std::vector<uint8_t>(text.begin(), text.end())};
  };
  return {
      seed("texts", "Error=Fehler\rLoading=Laden ...\rInvalidVersionFormat=Teil %d braucht eine "
                    "andere Version\rWarning=Warnung\rSegments=Teile\r"),
      seed("formats", "CannotOpenFileFmt=%s %d %% %s %n\r\nSegmentCountFmt=%d%d%\r"),
      seed("lines", "\n\n name = value \r\rno equals\r=empty name\0tail=x\r\n"s),
  };
}
