#include "zxtool.h"

#include "ZxcabClasses.h"
#include "zxFrameDecoder.h"
#include "zxLzma.h"
#include "zxProgress.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

void TzxCommandLine::OverwriteOptions() {
  add_flag("-y,--overwrite", FOverwrite, "replace output files that exist");
  add_flag("-n,--no-overwrite", FNoOverwrite,
           "never replace a file: stop without a word when an output exists");
}

TzxOutputRules TzxCommandLine::OutputRules() const {
  TzxOutputRules rules;
  rules.Overwrite = FOverwrite     ? TzxOverwrite::Replace
                    : FNoOverwrite ? TzxOverwrite::RefuseQuietly
                                   : TzxOverwrite::Refuse;
  return rules;
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
  if (FOverwrite && FNoOverwrite) throw EzxUsageError("-y and -n exclude each other: give one");
  if (FProgress && FProgress->count() > 0 && FNoProgress->count() > 0)
    throw EzxUsageError("--progress and --no-progress exclude each other: give one");
  if (FProgress && FProgress->count() > 0) SetProgressMode(TzxProgressMode::Always);
  if (FNoProgress && FNoProgress->count() > 0) SetProgressMode(TzxProgressMode::Never);
  return true;
}

const char *const SegmentNumbering =
    "Segments are numbered from 1 by their place in the film, as zxtool info lists them and the "
    "player names them.";
const char *const TimeSyntax = "A TIME is seconds (2.5, 1500ms), [HH:]MM:SS[.ms] (1:02.5) or a "
                               "frame number counted from 0 (120f).";

namespace {

volatile std::sig_atomic_t Interrupted = 0; // the signal that came

void OnInterrupt(int signal) {
  Interrupted = signal;
}

} // namespace

void CatchInterrupts() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGHUP, &sa, nullptr); // the terminal went away
  // The LZMA coder stops between two blocks too.
  SetLzmaCancelCheck([] { return Interrupted != 0; });
}

int InterruptSignal() {
  return Interrupted;
}

void CheckInterrupted() {
  if (Interrupted) throw EzxError("interrupted");
}

namespace {

void RemoveLiveSessionDirs();

// The directories of the sessions alive now. exit() leaves without unwinding
// (Xlib calls it when the display is lost), so they are removed then too,
// before the list itself goes.
std::vector<std::string> &LiveSessionDirs() {
  static std::vector<std::string> dirs;
  static const int removedAtExit = std::atexit(RemoveLiveSessionDirs);
  (void)removedAtExit;
  return dirs;
}

void RemoveLiveSessionDirs() {
  for (const std::string &dir : LiveSessionDirs()) {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
}

} // namespace

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
  LiveSessionDirs().push_back(FDir);
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
  auto &live = LiveSessionDirs();
  live.erase(std::remove(live.begin(), live.end(), FDir), live.end());
}

namespace {

// Copies standard input into a file, as much as arrives: at most a film's
// largest size (its offsets are 32-bit).
void CopyStandardInput(const std::string &path) {
  if (::isatty(0) == 1)
    throw EzxError("standard input is a terminal, not a film: pipe one in (zxtool info - < "
                   "film.zxf)");
  TzxFileStream out(path, fmCreate);
  std::vector<char> buffer(1 << 16);
  int64_t total = 0;
  for (;;) {
    CheckInterrupted();
    const ssize_t n = ::read(0, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EzxError(Format("Cannot read standard input: %s", std::strerror(errno)));
    if (n == 0) break;
    total += n;
    if (total > INT32_MAX)
      throw EzxError("standard input holds more than 2 GB, more than a film can hold");
    if (out.Write(buffer.data(), static_cast<int32_t>(n)) != n)
      throw EzxError(
          Format("standard input does not fit in the temporary directory %s", TempPath().c_str()));
  }
}

} // namespace

TzxFilmInput OpenFilm(const std::string &name, const TzxToolSession &session) {
  TzxFilmInput film;
  film.Name = name == "-" ? "standard input" : name;
  film.Path = name;
  if (name == "-") {
    film.Path = session.Dir() + "standard-input.zxf";
    CopyStandardInput(film.Path);
  } else if (!FileExists(name)) {
    throw EzxError(Format(fs::is_directory(name) ? "Cannot open %s: it is a directory"
                                                 : "Cannot open %s: there is no such file",
                          name.c_str()));
  }
  TzxFileStream f(film.Path, fmOpenRead | fmShareDenyNone);
  film.Size = f.Size();
  // A self-playing executable keeps its film behind the program, where its
  // trailer says.
  char mz[2] = {};
  film.Program = f.Read(mz, 2) == 2 && mz[0] == 'M' && mz[1] == 'Z';
  if (!film.Program) return film;
  film.Trailer = ReadExecutableTrailer(f);
  if (film.Trailer.FilmBase < 0)
    throw EzxError(Format("%s is a program that carries no film", film.Name.c_str()));
  film.Base = film.Trailer.FilmBase;
  film.Size = film.Trailer.FilmSize;
  return film;
}

TzxBytes ReadFilmBytes(const TzxFilmInput &film) {
  TzxFileStream f(film.Path, fmOpenRead | fmShareDenyNone);
  TzxBytes bytes(static_cast<size_t>(film.Size));
  f.Seek(static_cast<int32_t>(film.Base));
  if (f.Read(bytes.data(), static_cast<int32_t>(film.Size)) != film.Size)
    throw EzxError(Format("Cannot read %s", film.Name.c_str()));
  return bytes;
}

void LoadFilmFile(const TzxFilmInput &film, TSegmentList &list, const TzxToolSession &session,
                  bool emptyAllowed) {
  TzxFileStream f(film.Path, fmOpenRead | fmShareDenyNone);
  f.Seek(static_cast<int32_t>(film.Base));
  bool loaded = false;
  try {
    loaded = LoadFilm(&f, list);
  } catch (const EzxError &e) {
    throw EzxError(Format("%s is not a readable film: %s", film.Name.c_str(), e.what()));
  }
  // What the loader would have shown in boxes, on one line.
  std::string boxes;
  for (const auto &b : session.Boxes())
    boxes += (boxes.empty() ? "" : "; ") + b.Text;
  while (!boxes.empty() && (boxes.back() == '\r' || boxes.back() == '\n'))
    boxes.pop_back();
  for (char &c : boxes)
    if (c == '\r' || c == '\n') c = ' ';
  const std::string said = boxes.empty() ? "" : ": " + boxes;
  if (!loaded && list.Count() > 0 && !list.Get(list.Count() - 1)->NothingToPlay.empty()) {
    // The load stopped at a segment it could not unpack.
    const TSegmentInfo &last = *list.Get(list.Count() - 1);
    throw EzxError(Format("%s cannot be loaded: segment %d: %s%s", film.Name.c_str(),
                          SegmentNumber(last), last.NothingToPlay.c_str(), said.c_str()));
  }
  if (!loaded) throw EzxError(Format("%s is not a film%s", film.Name.c_str(), said.c_str()));
  if (list.Count() == 0 && !emptyAllowed)
    throw EzxError(Format("%s holds no playable segment%s", film.Name.c_str(), said.c_str()));
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

double PlayingRate(uint8_t roundedFps) {
  return roundedFps > 0 ? roundedFps : 10.0;
}

std::string NothingToPlay(const TSegmentInfo &segment) {
  if (!segment.NothingToPlay.empty()) return segment.NothingToPlay;
  if (segment.FrameCount > 0 && (!segment.VideoStream || segment.VideoStream->Size() == 0))
    return "it holds no video data";
  return "";
}

std::string NothingToPlayWarning(const TSegmentInfo &segment) {
  return Format("zxtool: warning: segment %d has nothing to play: %s\n", SegmentNumber(segment),
                NothingToPlay(segment).c_str());
}

EzxError NothingToPlayError(const TSegmentInfo &segment, const std::string &filmName) {
  return EzxError(Format("segment %d of %s has nothing to play: %s", SegmentNumber(segment),
                         filmName.c_str(), NothingToPlay(segment).c_str()));
}

void PlayPalette(TSegmentInfo &s, TzxPalette &palette) {
  if (s.BitsPerPixel != 8 || !s.PaletteTrack) return;
  s.PaletteTrack->Seek(0);
  try {
    for (int32_t k = 0; k < s.FrameCount && s.PaletteTrack->Position() < s.PaletteTrack->Size();
         ++k)
      ApplyPaletteChange(*s.PaletteTrack, palette);
  } catch (const EzxCorruptFrame &) {
    // A damaged track of another segment: its colours so far stand.
  }
}

const uint16_t Windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string AnsiToUtf8(const std::string &s) {
  const uint16_t *high = Windows1252High;
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
