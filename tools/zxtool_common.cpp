#include "zxtool.h"

#include "ZxcabClasses.h"
#include "zxProgress.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Text broken into lines of at most width characters between words; line
// breaks of its own stay.
std::string Wrap(const std::string &text, size_t width = 79) {
  std::string out, line, word;
  auto flush = [&] {
    if (!word.empty() && !line.empty() && line.size() + 1 + word.size() > width)
      out += line + "\n", line.clear();
    if (!word.empty()) line += (line.empty() ? "" : " ") + word;
    word.clear();
  };
  for (const char c : text + "\n") {
    if (c != ' ' && c != '\n') {
      word += c;
      continue;
    }
    flush();
    if (c == '\n') out += line + "\n", line.clear();
  }
  out.pop_back();
  return out;
}

} // namespace

TzxCommandLine::TzxCommandLine(const std::string &name, const std::string &description)
    : CLI::App(Wrap(description) + "\n", "zxtool " + name) {
  // Arguments it does not know are reported below, as usage errors.
  allow_extras();
}

void TzxCommandLine::Notes(const std::string &text) {
  footer(Wrap(text));
}

void TzxCommandLine::ProgressOptions() {
  const std::string on = "show the progress line also when standard error is no terminal";
  const std::string off = "no progress line (default: one when standard error is a terminal)";
  FProgress = add_flag("--progress", on);
  FNoProgress = add_flag("--no-progress", off);
}

bool TzxCommandLine::Parse(const std::vector<std::string> &args) {
  std::vector<std::string> reversed(args.rbegin(), args.rend()); // as CLI11 takes them
  std::string problem;
  try {
    parse(reversed);
  } catch (const CLI::CallForHelp &) {
    std::fputs(help().c_str(), stdout);
    return false;
  } catch (const CLI::ParseError &e) {
    problem = e.what();
  }
  // An unknown option is named first: what else is missing may follow from it.
  const std::vector<std::string> extra = remaining();
  for (const std::string &a : extra)
    if (a.size() > 1 && a[0] == '-')
      throw EzxUsageError(Format("unknown option %s", a.substr(0, a.find('=')).c_str()));
  if (!problem.empty()) throw EzxUsageError(problem);
  if (!extra.empty()) throw EzxUsageError(Format("unexpected argument %s", extra[0].c_str()));
  if (FProgress && FProgress->count() > 0 && FNoProgress->count() > 0)
    throw EzxUsageError("--progress and --no-progress exclude each other: give one");
  if (FProgress && FProgress->count() > 0) SetProgressMode(TzxProgressMode::Always);
  if (FNoProgress && FNoProgress->count() > 0) SetProgressMode(TzxProgressMode::Never);
  return true;
}

TzxToolSession::TzxToolSession() {
  const std::string base = TempPath();
  fs::path dir = fs::path(base) / ("zxtool_" + LocalTimeStamp() + "_" +
                                   std::to_string(static_cast<long>(::getpid())));
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec)
    throw EzxError(Format("the temporary directory %s cannot take zxtool's working files: %s",
                          base.c_str(), ec.message().c_str()));
  FDir = dir.string() + "/";
  SetTempPathOverride(FDir);
  SetVideoTempDirectory(FDir);
  SetMessageHook([this](const TzxMessageBox &box) {
    FBoxes.push_back(box);
    return 1;
  });
}

TzxToolSession::~TzxToolSession() {
  SetMessageHook(nullptr);
  SetTempPathOverride({});
  SetVideoTempDirectory({});
  std::error_code ec;
  fs::remove_all(FDir, ec);
}

int32_t SegmentNumber(const TSegmentInfo &segment) {
  return segment.EntryIndex + 1;
}

int32_t FindSegment(const TSegmentList &list, int32_t number, const std::string &filmName) {
  std::string numbers; // "1 .. 3, 5"
  for (int32_t i = 0; i < list.Count(); ++i) {
    const int32_t n = SegmentNumber(*list.Get(i));
    if (n == number) return i;
    const bool follows = i > 0 && SegmentNumber(*list.Get(i - 1)) == n - 1;
    const bool followed = i + 1 < list.Count() && SegmentNumber(*list.Get(i + 1)) == n + 1;
    if (!follows) numbers += (numbers.empty() ? "" : ", ") + std::to_string(n);
    if (follows && !followed) numbers += " .. " + std::to_string(n);
  }
  throw EzxError(Format("--segment %d: %s has no segment %d; its segment%s %s %s", number,
                        filmName.c_str(), number, list.Count() == 1 ? "" : "s",
                        list.Count() == 1 ? "is" : "are", numbers.c_str()));
}

std::string AnsiToUtf8(const std::string &s) {
  // 0x80..0x9F of Windows-1252; 0 marks the five unassigned codes.
  static const uint16_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::string out;
  for (unsigned char c : s) {
    uint32_t u = c;
    if (c >= 0x80 && c <= 0x9F) u = high[c - 0x80] != 0 ? high[c - 0x80] : 0xFFFD;
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string JsonString(const std::string &utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
      if (c < 0x20)
        out += Format("\\u%04x", c);
      else
        out += static_cast<char>(c);
    }
  }
  return out + "\"";
}
