// Fuzz target of the command line: the first eight bytes are the screen's
// width and height (any 32-bit values), the rest is the whole command line,
// program path first. The file test says that no file exists, so that no
// film is taken. Whatever the line, the parse ends with options within their
// bounds (unless it stopped at a value that is not a number), and the
// arguments, quoted again as the run-time library reads them, split into
// the same arguments.
#include "UzxCmd.h"
#include "zxFuzzing.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

// Quotes an argument so that SplitCommandLine gives it back: inside quotation
// marks, backslashes before a mark and at the end are doubled and marks are
// escaped.
std::string Quote(const std::string &arg) {
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(2 * slashes, '\\');
  return out + "\"";
}

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 8) return 0;
  auto get32 = [data](size_t at) {
    return static_cast<int32_t>(uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 |
                                uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 3]) << 24);
  };
  const int32_t screenWidth = get32(0), screenHeight = get32(4);
  const std::string_view line(reinterpret_cast<const char *>(data) + 8, size - 8);
  const auto noFile = [](const std::string &) { return false; };

  const TzxCmdOptions o = ParseCommandLine(line, screenWidth, screenHeight, noFile);
  if (!o.FilmPath.empty() || o.HelpRequests < 0 || o.CmdScreenWidth != screenWidth ||
      o.CmdScreenHeight != screenHeight)
    std::abort();
  const std::vector<std::string> args = SplitCommandLine(line);
  if (!o.WrongCommandLine && !args.empty()) {
    // The window is at least the smallest size and ends within the screen;
    // one larger than the screen starts left of or above it.
    if (o.CmdWidth < MinWindowWidth || o.CmdHeight < MinWindowHeight) std::abort();
    const int32_t maxLeft = Clamp32(int64_t{screenWidth} - o.CmdWidth);
    const int32_t maxTop = Clamp32(int64_t{screenHeight} - o.CmdHeight);
    if (o.CmdLeft > maxLeft || (o.CmdLeft < 0 && o.CmdLeft != maxLeft)) std::abort();
    if (o.CmdTop > maxTop || (o.CmdTop < 0 && o.CmdTop != maxTop)) std::abort();
  }

  std::string again = "player.exe";
  for (const std::string &a : args)
    again += " " + Quote(a);
  if (SplitCommandLine(again) != args) std::abort();
  return 0;
}

std::vector<TzxFuzzSeed> FuzzSeeds() {
  auto seed = [](const char *name, int32_t w, int32_t h, const std::string &line) {
    TzxFuzzSeed s{name, {}};
    for (int32_t v : {w, h})
      for (int i = 0; i < 4; ++i)
        s.Bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    s.Bytes.insert(s.Bytes.end(), line.begin(), line.end());
    return s;
  };
  return {
      seed("size-pos", 1280, 1024, "reDiridi.exe -size 800 600 -pos c -segm 2 film.zxf"),
      seed("corners", 1920, 1080, "\"C:\\Program Files\\reDiridi.exe\" /SIZE max /pos R B"),
      seed("numbers", 640, 480, "p -size 2147483647 -2147483648 -pos -5 99999 -closeonfinish"),
      seed("quotes", 800, 600, "p \"a b\" \\\"c\\\\\" \"d\"\"e\" f\\\\\\\"g \"\" -? /help"),
      seed("fullscreen", 1024, 768, "p -size fullscreen -pos l t -size 1024 768 -segm x"),
  };
}
