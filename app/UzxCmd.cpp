#include "UzxCmd.h"

#include "zxClasses.h"
#include "zxMessages.h"

#include <limits>

namespace {

// Window arithmetic on values typed by the user: computed wide and brought
// back into 32 bits at the nearest end, never wrapped.
int32_t Clamp32(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Parser states: what the next argument is expected to be.
enum TParseState {
  psOption,
  psHorizontal,
  psVertical,
  psSize,
  psHeight,
  psSegment,
};

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  size_t i = 0;
  // The program path: up to the closing mark when quoted, else up to a blank.
  if (i < line.size() && line[i] == '"') {
    ++i;
    while (i < line.size() && line[i] != '"')
      ++i;
    if (i < line.size()) ++i;
  } else {
    while (i < line.size() && !IsBlank(line[i]))
      ++i;
  }

  std::vector<std::string> args;
  for (;;) {
    while (i < line.size() && IsBlank(line[i]))
      ++i;
    if (i >= line.size()) return args;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      size_t slashes = 0;
      while (i < line.size() && line[i] == '\\') {
        ++slashes;
        ++i;
      }
      if (i < line.size() && line[i] == '"') {
        arg.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          arg += '"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(slashes, '\\');
        if (i < line.size() && (quoted || !IsBlank(line[i]))) {
          arg += line[i];
          ++i;
        }
      }
    }
    args.push_back(std::move(arg));
  }
}

bool TryStrToInt(std::string_view s, int32_t &value) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  if (i >= s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(v);
  return true;
}

TzxCmdOptions ParseArguments(const std::vector<std::string> &args, int32_t screenWidth,
                             int32_t screenHeight, const TzxFileTest &isFile) {
  TzxCmdOptions o;
  o.CmdScreenWidth = screenWidth;
  o.CmdScreenHeight = screenHeight;
  if (args.empty()) return o;

  TParseState state = psOption;
  for (const std::string &raw : args) {
    std::string arg = Lower(raw);
    int32_t number = 0;
    // Values that are not a keyword must be numbers.
    auto numeric = [&]() {
      if (TryStrToInt(arg, number)) return true;
      o.WrongCommandLine = true;
      return false;
    };
    switch (state) {
    case psOption:
      if (!arg.empty() && arg[0] == '-') arg[0] = '/';
      if (arg == "/closeonfinish")
        o.CloseOnFinish = true;
      else if (arg == "/size")
        state = psSize;
      else if (arg == "/pos")
        state = psHorizontal;
      else if (arg == "/segm")
        state = psSegment;
      else if (arg == "/?" || arg == "/help")
        ++o.HelpRequests;
      else if (o.FilmPath.empty() && !raw.empty() && (isFile ? isFile(raw) : FileExists(raw)))
        o.FilmPath = raw;
      break;
    case psHorizontal:
      if (arg == "c") {
        o.CmdLeft = Clamp32((int64_t{o.CmdScreenWidth} - o.CmdWidth) / 2);
        o.CmdTop = Clamp32((int64_t{o.CmdScreenHeight} - o.CmdHeight) / 2);
        state = psOption;
        break;
      }
      if (arg == "l")
        o.CmdLeft = 0;
      else if (arg == "r")
        o.CmdLeft = Clamp32(int64_t{o.CmdScreenWidth} - o.CmdWidth);
      else if (numeric())
        o.CmdLeft = number;
      else
        return o;
      state = psVertical;
      break;
    case psVertical:
      if (arg == "b")
        o.CmdTop = Clamp32(int64_t{o.CmdScreenHeight} - o.CmdHeight);
      else if (arg == "t")
        o.CmdTop = 0;
      else if (numeric())
        o.CmdTop = number;
      else
        return o;
      state = psOption;
      break;
    case psSize:
      state = psOption;
      if (arg == "fullscreen") {
        o.CmdFullScreen = true;
        o.CmdShowMode = CmdShowNormal;
      } else if (arg == "max") {
        o.CmdShowMode = CmdShowMaximised;
      } else if (arg == "min") {
        o.CmdShowMode = CmdShowNormal;
        o.CmdWidth = MinWindowWidth;
        o.CmdHeight = MinWindowHeight;
      } else {
        o.CmdShowMode = CmdShowNormal;
        if (!numeric()) return o;
        o.CmdWidth = number;
        state = psHeight;
      }
      break;
    case psHeight:
      if (!numeric()) return o;
      o.CmdHeight = number;
      o.CmdFullScreen = o.CmdWidth == o.CmdScreenWidth && o.CmdHeight == o.CmdScreenHeight;
      state = psOption;
      break;
    case psSegment:
      if (!numeric()) return o;
      o.CmdSegment = number;
      state = psOption;
      break;
    }
  }

  // Bounds, in this order: a window larger than the screen ends with a
  // negative left or top.
  if (o.CmdLeft < 0) o.CmdLeft = 0;
  if (o.CmdTop < 0) o.CmdTop = 0;
  if (o.CmdWidth < MinWindowWidth) o.CmdWidth = MinWindowWidth;
  if (o.CmdHeight < MinWindowHeight) o.CmdHeight = MinWindowHeight;
  int64_t maxLeft = int64_t{o.CmdScreenWidth} - o.CmdWidth;
  if (o.CmdLeft > maxLeft) o.CmdLeft = Clamp32(maxLeft);
  int64_t maxTop = int64_t{o.CmdScreenHeight} - o.CmdHeight;
  if (o.CmdTop > maxTop) o.CmdTop = Clamp32(maxTop);
  return o;
}

TzxCmdOptions ParseCommandLine(std::string_view commandLine, int32_t screenWidth,
                               int32_t screenHeight, const TzxFileTest &isFile) {
  return ParseArguments(SplitCommandLine(commandLine), screenWidth, screenHeight, isFile);
}

std::string CommandLineHelpText(const std::string &fileName) {
  // The lines after the first.
  static const char *const lines[] = {
      "",
      "fullscreen - Full Screen mode",
      "max - Maximized",
      "min - 600 x 400",
      "w h - Width Height",
      "",
      "c - in the Center of the screen",
      "",
      "L - Left side of screen",
      "R - Right side of screen",
      "x - Left",
      "",
      "T - Top side of screen",
      "B - Bottom side of screen",
      "y - Top",
      "",
      "N - Start with segment Number = N",
      "",
      "CloseOnFinish - Close On Finish",
  };
  std::string text = "\"" + fileName + "\"" +
                     " [-size {FULLSCREEN|MAX|MIN|{w h}} [-pos {C|{{L|R|x} {T|B|y}}}]] [-segm N] "
                     "[-closeonfinfish]";
  for (const char *line : lines)
    text += std::string("\r") + line;
  return text;
}

void ShowCommandLineBoxes(const TzxCmdOptions &options, const std::string &fileName,
                          const std::string &errorText, const std::string &errorCaption) {
  for (int32_t i = 0; i < options.HelpRequests; ++i)
    ShowMessageBox(TzxBoxOwner::None, CommandLineHelpText(fileName), CommandLineHelpCaption,
                   zxMB_OK | zxMB_ICONINFORMATION);
  if (options.WrongCommandLine)
    ShowMessageBox(TzxBoxOwner::None, errorText, errorCaption, zxMB_OK | zxMB_ICONERROR);
}
