// zxtool make [DEFAULTS] --input SRC [OPTIONS] [--input SRC [OPTIONS]] ... -o OUT.zxf
//
// Builds a film from pictures, one segment per --input. Options before the
// first --input are defaults for every segment; options after an --input
// apply to that segment only (a segment that names cursors of its own uses
// only those). SRC is a directory of PNG frames (taken in name order), a
// pattern such as frames/%06d.png (taken in number order), a raw BGRA
// stream (--raw WxH; "-" reads standard input), or any video FFmpeg reads.
//
//   --fps N               frame rate (default: the video's, else 10)
//   --depth 32|24|8       bits per pixel (default 32); 8 needs <= 256 colours
//   --compression lzma|cab
//   --title TEXT          UTF-8, stored as Windows-1252
//   --cursor FILE         a .cur file, or a PNG followed by --hotspot X,Y;
//                         repeatable, numbered 0, 1, 2 ... in order
//   --cursor-track CSV    lines "tick,cursor,x,y"; tick = frame x samples + t;
//                         ticks not listed repeat the sample before
//   --samples 1|3         cursor samples per frame
//   --sound FILE          the segment's sound: any audio file FFmpeg reads
//   --no-sound            leave out the sound of a video SRC
//
// Frames are read and coded one at a time: XOR against the picture before,
// runs across row ends, as the player's decoder reads them. A video's own
// sound, or a --sound file that is not yet an MP3 the player plays, is
// converted with FFmpeg to constant-rate MP3 that starts with a frame
// header (no ID3 tag, no Xing/Info frame), aligned to the segment's first
// picture and cut to its length.
#include "zxtool.h"

#include "zxCursorFile.h"
#include "zxCursorTrack.h"
#include "zxFfmpegPipe.h"
#include "zxFilmWriter.h"
#include "zxMp3.h"
#include "zxFrameEncoder.h"
#include "zxLoader.h"
#include "zxLzma.h"
#include "zxCabWriter.h"
#include "zxPng.h"
#include "zxProgress.h"
#include "zxToolOutput.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <unordered_map>

namespace fs = std::filesystem;

namespace {

// ------------------------------------------------------------- options

struct TCursorSource {
  std::string File;
  std::optional<std::pair<int32_t, int32_t>> HotSpot;
};

struct TSegmentOptions {
  std::string Input;
  std::optional<double> Fps;
  int32_t Depth = 32;
  TzxPacking Packing = TzxPacking::Lzma;
  std::string Title; // Windows-1252
  std::vector<TCursorSource> Cursors;
  bool CursorsInherited = false; // still the defaults' list
  std::string CursorTrack;
  int32_t Samples = 1;
  std::string Sound;    // --sound
  bool NoSound = false; // --no-sound: none, not even a video's own
  int32_t RawWidth = 0, RawHeight = 0;
};

struct TMakeOptions {
  std::string Out;
  std::vector<TSegmentOptions> Segments;
  TzxOutputRules Rules; // what -o may replace
};

int32_t ParseInt(const std::string &option, const std::string &text, int64_t lo, int64_t hi) {
  return static_cast<int32_t>(ParseWholeNumber(option, text, lo, hi));
}

std::pair<int32_t, int32_t> ParsePair(const std::string &option, const std::string &text,
                                      char separator, int64_t lo, int64_t hi) {
  const size_t at = text.find(separator);
  try {
    if (at != std::string::npos)
      return {ParseInt(option, text.substr(0, at), lo, hi),
              ParseInt(option, text.substr(at + 1), lo, hi)};
  } catch (const EzxUsageError &) {
  }
  throw EzxUsageError(Format("%s %s: expected two whole numbers from %lld to %lld separated by "
                             "'%c'",
                             option.c_str(), text.c_str(), static_cast<long long>(lo),
                             static_cast<long long>(hi), separator));
}

// UTF-8 to Windows-1252 (--title); throws for characters the code page lacks.
std::string Utf8ToAnsi(const std::string &s) {
  const uint16_t *high = Windows1252High;
  std::string out;
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    uint32_t u = 0;
    size_t n = 0;
    if (c < 0x80)
      u = c, n = 1;
    else if ((c & 0xE0) == 0xC0)
      u = c & 0x1F, n = 2;
    else if ((c & 0xF0) == 0xE0)
      u = c & 0x0F, n = 3;
    else if ((c & 0xF8) == 0xF0)
      u = c & 0x07, n = 4;
    if (n == 0 || i + n > s.size())
      throw EzxUsageError(Format("--title: the text is not UTF-8 (byte %zu)", i + 1));
    for (size_t k = 1; k < n; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80)
        throw EzxUsageError(Format("--title: the text is not UTF-8 (byte %zu)", i + k + 1));
      u = u << 6 | (d & 0x3F);
    }
    i += n;
    int code = -1;
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) code = static_cast<int>(u);
    for (int k = 0; k < 32 && code < 0; ++k)
      if (high[k] != 0 && high[k] == u) code = 0x80 + k;
    if (code < 0)
      throw EzxUsageError(Format("--title: the character U+%04X has no Windows-1252 code", u));
    out += static_cast<char>(code);
  }
  if (out.size() > 255)
    throw EzxUsageError(Format("--title: %zu characters, at most 255 fit", out.size()));
  return out;
}

// What a segment option does with its value.
using TApply = void (*)(TSegmentOptions &, const std::string &);

struct TSegmentOption {
  const char *Name;
  const char *Value; // null for a flag
  const char *Help;
  TApply Apply;
};

const TSegmentOption SegmentOptions[] = {
    {"--fps", "N", "frame rate (default: the video's, else 10; a video is resampled to it)",
     [](TSegmentOptions &s, const std::string &v) {
       // Decimal (29.97) or a fraction as FFmpeg writes rates (30000/1001).
       const size_t slash = v.find('/');
       auto number = [](const std::string &t) {
         const bool plain = !t.empty() && t.size() <= 20 && t.front() != '.' &&
                            t.find_first_not_of("0123456789.") == std::string::npos &&
                            t.find('.') == t.rfind('.');
         return plain ? std::strtod(t.c_str(), nullptr) : -1.0;
       };
       const double n = number(v.substr(0, slash));
       const double d = slash == std::string::npos ? 1.0 : number(v.substr(slash + 1));
       const double fps = n >= 0 && d > 0 ? n / d : -1.0;
       if (!(fps >= 0.5) || fps > 255)
         throw EzxUsageError(Format("--fps %s: expected a rate from 0.5 to 255, as a decimal "
                                    "number (29.97) or a fraction (30000/1001)",
                                    v.c_str()));
       s.Fps = fps;
     }},
    {"--depth", "32|24|8", "bits per pixel (default 32); 8 needs at most 256 colours",
     [](TSegmentOptions &s, const std::string &v) {
       s.Depth = ParseInt("--depth", v, 8, 32);
       if (s.Depth != 8 && s.Depth != 24 && s.Depth != 32)
         throw EzxUsageError(Format("--depth %d: expected 32, 24 or 8", s.Depth));
     }},
    {"--compression", "lzma|cab", "how the payload is packed (default lzma)",
     [](TSegmentOptions &s, const std::string &v) {
       if (v == "lzma")
         s.Packing = TzxPacking::Lzma;
       else if (v == "cab")
         s.Packing = TzxPacking::Cabinet;
       else
         throw EzxUsageError(Format("--compression %s: expected lzma or cab", v.c_str()));
     }},
    {"--title", "TEXT", "UTF-8, stored as Windows-1252 (at most 255 characters)",
     [](TSegmentOptions &s, const std::string &v) { s.Title = Utf8ToAnsi(v); }},
    {"--cursor", "FILE",
     "a .cur file, or a PNG followed by --hotspot X,Y; repeatable, numbered 0, 1, 2 ...",
     [](TSegmentOptions &s, const std::string &v) {
       if (s.CursorsInherited) s.Cursors.clear();
       s.CursorsInherited = false;
       s.Cursors.push_back({v, std::nullopt});
     }},
    {"--hotspot", "X,Y", "the hot spot of the --cursor just before (default 0,0)",
     [](TSegmentOptions &s, const std::string &v) {
       s.Cursors.back().HotSpot = ParsePair("--hotspot", v, ',', 0, 255);
     }},
    {"--cursor-track", "CSV",
     "lines tick,cursor,x,y with tick = frame x samples + t; ticks not listed repeat the one "
     "before",
     [](TSegmentOptions &s, const std::string &v) { s.CursorTrack = v; }},
    {"--samples", "1|3", "cursor samples per frame (default 1)",
     [](TSegmentOptions &s, const std::string &v) {
       s.Samples = ParseInt("--samples", v, 1, 3);
       if (s.Samples == 2) throw EzxUsageError("--samples 2: expected 1 or 3");
     }},
    {"--sound", "FILE",
     "the segment's sound: any audio file FFmpeg reads, converted to an MP3 the player plays "
     "(an MP3 that starts with a frame header behind its tags is stored as it is)",
     [](TSegmentOptions &s, const std::string &v) {
       s.Sound = v;
       s.NoSound = false;
     }},
    {"--no-sound", nullptr,
     "no sound: a video SRC's own is otherwise kept (the later of --sound and --no-sound counts)",
     [](TSegmentOptions &s, const std::string &) {
       s.Sound.clear();
       s.NoSound = true;
     }},
    {"--raw", "WxH", "SRC is raw BGRA frames of this size (- reads standard input)",
     [](TSegmentOptions &s, const std::string &v) {
       std::tie(s.RawWidth, s.RawHeight) = ParsePair("--raw", v, 'x', 1, 16384);
     }},
};

// Fills o from the command line; false when the usage text was printed.
// CLI11 reads the options; they are then applied in the order given, so
// that each one lands in the segment of the --input before it.
bool ParseOptions(const std::vector<std::string> &args, TMakeOptions &o) {
  TzxCommandLine cl(
      "make",
      "Builds a film from pictures, one segment per --input. Options before the first --input "
      "are defaults for every segment; options after an --input apply to that segment only (a "
      "segment that names cursors of its own uses only those).\n\nSRC is a directory of PNG "
      "frames (taken in name order), a pattern such as frames/%06d.png (taken in number order), "
      "a raw BGRA stream (--raw WxH; - reads standard input), or any video FFmpeg reads.");
  const auto taking = [&](const std::string &name, const std::string &help,
                          const std::string &value) {
    return cl.add_option(name, help)
        ->type_name(value)
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  };
  const CLI::Option *out = taking("-o", "the film to write", "OUT.zxf");
  const CLI::Option *input = taking("--input", "starts a segment with its frames", "SRC");
  std::map<const CLI::Option *, const TSegmentOption *> segmentOptions;
  for (const auto &so : SegmentOptions)
    segmentOptions[so.Value ? taking(so.Name, so.Help, so.Value)
                            : cl.add_flag(so.Name, so.Help)
                                  ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)] = &so;
  cl.OverwriteOptions();
  cl.ProgressOptions();
  cl.Notes(std::string(SegmentNumbering) +
           " Cursors are numbered from 0 in the order given.\n\nSound: a video's own sound, or a "
           "--sound file that is no MP3 the player plays, is converted with FFmpeg (libmp3lame, "
           "constant bit rate, the source's sampling rate where MPEG audio has it, else the next "
           "higher up to 48000 Hz; mono stays mono, more channels become stereo), without ID3 "
           "tag or Xing/Info frame, from the segment's first picture on and cut to its length. "
           "What was converted is said on standard error.");
  if (!cl.Parse(args)) return false;
  o.Rules = cl.OutputRules();

  TSegmentOptions defaults;
  std::map<const CLI::Option *, size_t> used; // values taken of each option
  const CLI::Option *previous = nullptr;
  for (const CLI::Option *opt : cl.parse_order()) {
    const auto so = segmentOptions.find(opt);
    if (opt != out && opt != input && so == segmentOptions.end()) continue; // -y, --progress ...
    const bool flag = so != segmentOptions.end() && so->second->Value == nullptr;
    const std::string value = flag ? std::string() : opt->results().at(used[opt]++);
    TSegmentOptions &s = o.Segments.empty() ? defaults : o.Segments.back();
    if (opt == out) {
      if (!o.Out.empty()) throw EzxUsageError("-o given twice");
      o.Out = value;
    } else if (opt == input) {
      TSegmentOptions next = defaults;
      next.Input = value;
      next.CursorsInherited = true;
      o.Segments.push_back(std::move(next));
    } else {
      if (opt->get_name() == "--hotspot" &&
          (previous == nullptr || previous->get_name() != "--cursor" || s.Cursors.back().HotSpot))
        throw EzxUsageError("--hotspot must follow a --cursor FILE directly");
      so->second->Apply(s, value);
    }
    previous = opt;
  }
  if (o.Out.empty()) throw EzxUsageError("-o OUT.zxf is required");
  if (o.Segments.empty()) throw EzxUsageError("no --input given");
  return true;
}

// --------------------------------------------------------- frame sources

// Frames as BGRA, rows top to bottom, no padding.
class TFrameSource {
public:
  virtual ~TFrameSource() = default;
  // False after the last frame.
  virtual bool Next(std::vector<uint8_t> &bgra) = 0;
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  double Rate() const { return FRate; }    // 0 when the source has none
  int64_t Count() const { return FCount; } // 0 when unknown

protected:
  int32_t FWidth = 0, FHeight = 0;
  double FRate = 0;
  int64_t FCount = 0;
};

class TPngSource : public TFrameSource {
public:
  explicit TPngSource(std::vector<std::string> files) : FFiles(std::move(files)) {
    FCount = static_cast<int64_t>(FFiles.size());
    FFirst = ReadPng(FFiles[0]);
    FWidth = FFirst.Width;
    FHeight = FFirst.Height;
  }

  bool Next(std::vector<uint8_t> &bgra) override {
    if (FIndex >= FFiles.size()) return false;
    TzxRgbaImage img = FIndex == 0 ? std::move(FFirst) : ReadPng(FFiles[FIndex]);
    if (img.Width != FWidth || img.Height != FHeight)
      throw EzxError(Format("%s is %d x %d pixels, the frames before are %d x %d",
                            FFiles[FIndex].c_str(), img.Width, img.Height, FWidth, FHeight));
    ++FIndex;
    bgra.resize(img.Pixels.size());
    for (size_t i = 0; i < img.Pixels.size(); i += 4) {
      bgra[i] = img.Pixels[i + 2];
      bgra[i + 1] = img.Pixels[i + 1];
      bgra[i + 2] = img.Pixels[i];
      bgra[i + 3] = 0;
    }
    return true;
  }

private:
  std::vector<std::string> FFiles;
  TzxRgbaImage FFirst;
  size_t FIndex = 0;
};

// Raw BGRA frames from a file or standard input.
class TRawSource : public TFrameSource {
public:
  TRawSource(const std::string &name, int32_t w, int32_t h) : FName(name) {
    FWidth = w;
    FHeight = h;
    if (name == "-") {
      FFile = stdin;
    } else {
      if (fs::is_directory(name))
        throw EzxError(Format("%s is a directory, not raw frames", name.c_str()));
      FFile = std::fopen(name.c_str(), "rb");
      if (!FFile) throw EzxError(Format("Cannot open %s", name.c_str()));
      std::error_code ec;
      const auto size = fs::file_size(name, ec);
      const uint64_t frame = uint64_t(w) * uint64_t(h) * 4;
      if (!ec && size % frame != 0)
        throw EzxError(Format("%s: %llu bytes are not a whole number of %d x %d BGRA frames "
                              "(%llu bytes each)",
                              name.c_str(), static_cast<unsigned long long>(size), w, h,
                              static_cast<unsigned long long>(frame)));
      if (!ec) FCount = static_cast<int64_t>(size / frame);
    }
  }
  ~TRawSource() override {
    if (FFile && FFile != stdin) std::fclose(FFile);
  }

  bool Next(std::vector<uint8_t> &bgra) override {
    bgra.resize(size_t(FWidth) * size_t(FHeight) * 4);
    const size_t got = std::fread(bgra.data(), 1, bgra.size(), FFile);
    if (got == 0 && std::feof(FFile)) return false;
    if (got != bgra.size())
      throw EzxError(
          Format("%s ends inside a frame: %zu of %zu bytes", FName.c_str(), got, bgra.size()));
    return true;
  }

private:
  std::string FName;
  std::FILE *FFile = nullptr;
};

// Any video FFmpeg reads, decoded to BGRA at the chosen rate.
class TVideoSource : public TFrameSource {
public:
  TVideoSource(const std::string &name, std::optional<double> fps)
      : FName(name), FLog(MakeTempFileName("txt", "", "zxF_")), FMedia(ProbeVideo(name)) {
    FWidth = FMedia.Width;
    FHeight = FMedia.Height;
    if (FWidth > 16384 || FHeight > 16384)
      throw EzxError(Format("%s: %d x %d pixels is too large", name.c_str(), FWidth, FHeight));
    FRate = fps ? *fps : FMedia.FramesPerSecond;
    // For the progress line: what the file says, or its length at the rate taken.
    FCount = FMedia.FrameCount;
    if (fps && std::fabs(*fps - FMedia.FramesPerSecond) > 1e-6)
      FCount =
          FMedia.Duration > 0 && FMedia.Duration < 1e7 ? std::llround(FMedia.Duration * *fps) : 0;
    std::vector<std::string> a = {"ffmpeg", "-hide_banner", "-nostdin", "-v", "error", "-i", name};
    if (FRate > 0) a.insert(a.end(), {"-vf", "fps=" + RateArgument(FRate)});
    a.insert(a.end(), {"-an", "-f", "rawvideo", "-pix_fmt", "bgra", "pipe:1"});
    FChild = std::make_unique<TzxChildProcess>(a, TzxChildProcess::TPipe::FromChild, FLog.Name());
  }

  bool Next(std::vector<uint8_t> &bgra) override {
    bgra.resize(size_t(FWidth) * size_t(FHeight) * 4);
    if (FChild->ReadExactly(bgra.data(), bgra.size())) return true;
    if (FChild->Wait() != 0) {
      std::string reason = LastLineOf(FLog.Name());
      throw EzxError(Format("ffmpeg could not decode %s%s%s", FName.c_str(),
                            reason.empty() ? "" : ": ", reason.c_str()));
    }
    return false;
  }

  // What ffprobe says of the file, its sound included.
  const TzxMediaInfo &Media() const { return FMedia; }

private:
  std::string FName;
  TzxTempFile FLog;
  TzxMediaInfo FMedia;
  std::unique_ptr<TzxChildProcess> FChild;
};

bool HasPngExtension(const fs::path &p) {
  std::string e = p.extension().string();
  for (char &c : e)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e == ".png";
}

// The PNG frames that a %d pattern (in number order) or a directory (in
// name order) names; false when in is neither. Throws when it names none.
bool ListFrameFiles(const std::string &in, std::vector<std::string> &list) {
  std::error_code ec;
  if (IsNumberPattern(in) && !fs::exists(in, ec)) {
    // Every file of the directory that the pattern names, by number.
    fs::path dir = fs::path(in).parent_path();
    const std::string pattern = fs::path(in).filename().string();
    const size_t cut = pattern.find('%');
    const size_t end = pattern.find('d', cut);
    const std::string prefix = pattern.substr(0, cut), suffix = pattern.substr(end + 1);
    std::map<long long, std::string> files;
    for (const auto &e : fs::directory_iterator(dir.empty() ? "." : dir, ec)) {
      const std::string name = e.path().filename().string();
      if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) ||
          name.compare(name.size() - suffix.size(), suffix.size(), suffix))
        continue;
      const std::string digits =
          name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
      if (digits.size() > 12 || digits.find_first_not_of("0123456789") != std::string::npos)
        continue;
      const long long n = std::stoll(digits);
      if (PatternName(pattern, n) == name) files[n] = e.path().string();
    }
    if (files.empty()) throw EzxError(Format("No file matches %s", in.c_str()));
    for (auto &[n, f] : files)
      list.push_back(f);
    return true;
  }
  if (fs::is_directory(in, ec)) {
    for (const auto &e : fs::directory_iterator(in, ec))
      if (e.is_regular_file() && HasPngExtension(e.path())) list.push_back(e.path().string());
    if (list.empty()) throw EzxError(Format("%s holds no .png file", in.c_str()));
    std::sort(list.begin(), list.end());
    return true;
  }
  return false;
}

std::unique_ptr<TFrameSource> OpenSource(const TSegmentOptions &s) {
  const std::string &in = s.Input;
  if (s.RawWidth > 0) return std::make_unique<TRawSource>(in, s.RawWidth, s.RawHeight);
  std::vector<std::string> list;
  if (ListFrameFiles(in, list)) return std::make_unique<TPngSource>(std::move(list));
  std::error_code ec;
  if (!fs::exists(in, ec)) throw EzxError(Format("Cannot open %s", in.c_str()));
  if (HasPngExtension(in)) return std::make_unique<TPngSource>(std::vector<std::string>{in});
  return std::make_unique<TVideoSource>(in, s.Fps);
}

// Every file a segment reads: its frames, cursors, cursor track and sound.
std::vector<std::string> InputFiles(const TSegmentOptions &s) {
  std::vector<std::string> files;
  if (s.RawWidth > 0 || !ListFrameFiles(s.Input, files)) files.push_back(s.Input);
  for (const auto &c : s.Cursors)
    files.push_back(c.File);
  for (const std::string *name : {&s.CursorTrack, &s.Sound})
    if (!name->empty()) files.push_back(*name);
  return files;
}

// ----------------------------------------------------------------- sound

// The MPEG audio frames of an MP3 file the player plays as it is: Layer III
// frames with a bit rate, the first one behind any tags. Nothing for
// anything else, which is converted.
std::optional<TzxMp3Audio> PlayableMp3(const std::string &name) {
  std::error_code ec;
  if (fs::file_size(name, ec) > uint64_t(INT32_MAX) / 2 || ec) return std::nullopt;
  TzxFileStream f(name, fmOpenRead | fmShareDenyWrite);
  const TzxMp3Audio a = FindMp3Audio(f);
  uint8_t header[4] = {};
  if (!a.StartsWithFrame || a.Size < 4) return std::nullopt;
  f.Seek(static_cast<int32_t>(a.Offset));
  if (f.Read(header, 4) != 4) return std::nullopt;
  try {
    TzxMpegLayer3WaveFormat format;
    if (Mp3FormatFromHeader(header, format) != TzxMp3Header::Layer3) return std::nullopt;
  } catch (const EzxMp3Error &) {
    return std::nullopt;
  }
  return a;
}

// Says what of an MP3 file stored as it is was left out: the tags and the
// encoder's summary frame around its frames, which the player's wave-out
// stream cannot take before the first frame header.
void NoteStoredSound(const std::string &name, const TzxMp3Audio &a, int32_t segment) {
  std::vector<std::string> parts;
  if (a.TagBytes > 0)
    parts.push_back(
        Format("the ID3 tag at its start (%lld bytes)", static_cast<long long>(a.TagBytes)));
  if (a.InfoFrameBytes > 0)
    parts.push_back(Format("the encoder's Xing/Info frame (%lld bytes)",
                           static_cast<long long>(a.InfoFrameBytes)));
  if (a.TrailerBytes > 0) parts.push_back("the ID3v1 tag at its end (128 bytes)");
  if (parts.empty()) return;
  std::string list = parts[0];
  for (size_t i = 1; i < parts.size(); ++i)
    list += (i + 1 == parts.size() ? " and " : ", ") + parts[i];
  std::fprintf(stderr,
               "zxtool: segment %d: stored the sound of %s without %s, so that it starts with "
               "an MPEG audio frame header as the player needs\n",
               segment, name.c_str(), list.c_str());
}

// A sound to convert, and how much of it comes before the segment's first
// picture (negative: the picture comes first).
struct TSoundSource {
  std::string File;
  TzxMediaInfo Media;
  double Lead = 0;
};

// The sampling rates of MPEG audio (MPEG-1, 2 and 2.5), which the player's
// header reader takes and libmp3lame writes.
constexpr int32_t Mp3Rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

// The source's rate where MPEG audio has it, else the next higher one (at
// most 48000 Hz); 44100 Hz when the source does not say.
int32_t Mp3Rate(int32_t rate) {
  if (rate <= 0) return 44100;
  for (const int32_t r : Mp3Rates)
    if (r >= rate) return r;
  return 48000;
}

std::string ChannelsText(int32_t channels) {
  return channels == 1 ? "mono" : channels == 2 ? "stereo" : Format("%d channels", channels);
}

// Converts the sound into the MP3 the segment stores: length seconds from
// the first picture on. Says what was converted.
void ConvertSound(const TSoundSource &src, double length, int32_t number, TzxTempFile &mp3,
                  TzxMp3Audio &audio) {
  const int32_t rate = Mp3Rate(src.Media.SampleRate);
  const int32_t channels = src.Media.Channels == 1 ? 1 : 2;
  const int32_t kbit = (channels == 1 ? 64 : 128) / (rate >= 32000 ? 1 : 2);
  mp3.Reset(MakeTempFileName("mp3", "", "zxS_"));
  TzxTempFile log(MakeTempFileName("txt", "", "zxF_"));
  std::vector<std::string> a = {"ffmpeg", "-hide_banner", "-nostdin",      "-v",    "error",
                                "-i",     src.File,       "-map",          "0:a:0", "-vn",
                                "-sn",    "-dn",          "-map_metadata", "-1"};
  // Timestamps from the sound's own start, then trimmed or delayed to the
  // first picture.
  if (src.Lead > 0.001)
    a.insert(a.end(), {"-af", Format("asetpts=PTS-STARTPTS,atrim=start=%.6f", src.Lead)});
  else if (src.Lead < -0.001)
    a.insert(a.end(), {"-af", Format("adelay=delays=%lldS:all=1",
                                     std::llround(-src.Lead * std::max(src.Media.SampleRate, 1)))});
  a.insert(a.end(), {"-ac", Format("%d", channels), "-ar", Format("%d", rate), "-c:a", "libmp3lame",
                     "-b:a", Format("%dk", kbit), "-id3v2_version", "0", "-write_xing", "0", "-t",
                     Format("%.6f", length), "-f", "mp3", mp3.Name()});
  TzxProgress progress(Format("segment %d, sound", number), 0);
  TzxChildProcess child(a, TzxChildProcess::TPipe::None, log.Name());
  const int code = child.Wait([&progress] {
    CheckInterrupted();
    progress.Tick();
  });
  progress.Finish();
  if (code != 0 || !FileExists(mp3.Name())) {
    std::string reason = LastLineOf(log.Name());
    for (size_t at; (at = reason.find(mp3.Name())) != std::string::npos;)
      reason.replace(at, mp3.Name().size(), "the MP3");
    throw EzxError(Format("segment %d: ffmpeg could not convert the sound of %s to MP3%s%s", number,
                          src.File.c_str(), reason.empty() ? "" : ": ", reason.c_str()));
  }
  TzxFileStream f(mp3.Name(), fmOpenRead | fmShareDenyWrite);
  audio = FindMp3Audio(f);
  if (!audio.StartsWithFrame || audio.Size < 4) {
    audio = {};
    mp3.Remove();
    std::fprintf(stderr,
                 "zxtool: segment %d: the sound of %s ends before the first picture; the "
                 "segment has no sound\n",
                 number, src.File.c_str());
    return;
  }
  std::string what =
      Format("segment %d: converted the sound of %s (%s, %d Hz, %s) to MP3 (%d Hz, %s, %d kbit/s)",
             number, src.File.c_str(), src.Media.AudioCodec.c_str(), src.Media.SampleRate,
             ChannelsText(src.Media.Channels).c_str(), rate, ChannelsText(channels).c_str(), kbit);
  if (rate != src.Media.SampleRate)
    what += Format(", resampled as MPEG audio has no %d Hz", src.Media.SampleRate);
  if (src.Media.Duration - std::max(src.Lead, 0.0) > length + 0.01)
    what += Format(", cut to the segment's %.2f s", length);
  if (src.Lead > 0.001)
    what += Format(", leaving out its first %.3f s, which come before the first picture", src.Lead);
  else if (src.Lead < -0.001)
    what +=
        Format(", after %.3f s of silence: the first picture comes before the sound", -src.Lead);
  std::fprintf(stderr, "zxtool: %s\n", what.c_str());
}

// ------------------------------------------------------------ a segment

struct TBuiltSegment {
  TSegmentHeader Header;
  TzxTempFile Packed;
  std::string Sound;          // the file the sound is taken from
  TzxMp3Audio SoundAudio;     // the part of Sound that is stored
  TzxTempFile ConvertedSound; // Sound, when it was converted
};

// Turns BGRA frames into pixels of the segment's depth; for 8 bits also
// keeps the palette, giving new colours the next free entries.
class TPixelConverter {
public:
  TPixelConverter(int32_t depth, int32_t w, int32_t h, const std::string &input)
      : FDepth(depth), FWidth(w), FHeight(h), FInput(input) {}

  // The picture for the encoder, rows RowBytes apart.
  const std::vector<uint8_t> &Convert(const std::vector<uint8_t> &bgra, int64_t frame) {
    const size_t pixels = size_t(FWidth) * size_t(FHeight);
    if (FDepth == 32) return bgra;
    if (FDepth == 24) {
      FOut.resize(pixels * 3);
      for (size_t i = 0; i < pixels; ++i)
        std::memcpy(&FOut[i * 3], &bgra[i * 4], 3);
      return FOut;
    }
    FOut.resize(pixels);
    uint32_t lastColour = 0xFFFFFFFF;
    uint8_t lastIndex = 0;
    for (size_t i = 0; i < pixels; ++i) {
      const uint8_t *p = &bgra[i * 4];
      const uint32_t colour = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
      if (colour != lastColour) {
        auto it = FIndex.find(colour);
        if (it == FIndex.end()) {
          if (FIndex.size() == 256)
            throw EzxError(Format("--depth 8: %s has more than 256 colours (frame %lld brings "
                                  "the 257th); use --depth 24 or 32",
                                  FInput.c_str(), static_cast<long long>(frame)));
          const auto index = static_cast<uint8_t>(FIndex.size());
          it = FIndex.emplace(colour, index).first;
          FPalette[index] = {p[0], p[1], p[2], 0};
        }
        lastColour = colour;
        lastIndex = it->second;
      }
      FOut[i] = lastIndex;
    }
    return FOut;
  }

  // The palette change of the frame just converted (8 bits only). The
  // first frame sets every colour it uses, whatever the player's table
  // held before.
  void AppendPalette(TzxBytes &track, int64_t frame) {
    if (FDepth != 8) return;
    if (frame == 0 && FIndex.size() == 256)
      throw EzxError(Format("--depth 8: the first frame of %s has 256 colours, but a palette "
                            "change sets at most 255; use --depth 24 or 32",
                            FInput.c_str()));
    TzxPalette before = FShown;
    if (frame == 0) // entries the frame uses must differ from any old table
      for (size_t i = 0; i < FIndex.size(); ++i)
        before[i].Reserved = 1;
    AppendPaletteChange(track, before, FPalette);
    FShown = FPalette;
  }

private:
  int32_t FDepth, FWidth, FHeight;
  std::string FInput;
  std::vector<uint8_t> FOut;
  std::unordered_map<uint32_t, uint8_t> FIndex;
  TzxPalette FPalette{}, FShown{};
};

void WriteAll(std::FILE *f, const void *data, size_t n, const std::string &name) {
  if (n > 0 && std::fwrite(data, 1, n, f) != n)
    throw EzxError(Format("Cannot write %s: %s", name.c_str(), std::strerror(errno)));
}

// Appends the file's bytes to f.
// Copies a file, or size bytes of it from offset (size -1: to its end).
void CopyFile(std::FILE *f, const std::string &from, const std::string &to, int64_t offset = 0,
              int64_t size = -1) {
  std::FILE *in = std::fopen(from.c_str(), "rb");
  if (!in) throw EzxError(Format("Cannot open %s", from.c_str()));
  std::vector<uint8_t> buf(1 << 20);
  size_t n;
  bool ok = std::fseek(in, static_cast<long>(offset), SEEK_SET) == 0;
  int64_t left = size < 0 ? INT64_MAX : size;
  while (ok && left > 0 &&
         (n = std::fread(buf.data(), 1, static_cast<size_t>(std::min<int64_t>(left, buf.size())),
                         in)) > 0) {
    ok = std::fwrite(buf.data(), 1, n, f) == n;
    left -= static_cast<int64_t>(n);
  }
  const bool readFailed = std::ferror(in) != 0;
  std::fclose(in);
  if (readFailed) throw EzxError(Format("Cannot read %s", from.c_str()));
  if (!ok) throw EzxError(Format("Cannot write %s: %s", to.c_str(), std::strerror(errno)));
}

// Owns a stdio file.
struct TFile {
  std::FILE *F = nullptr;
  TFile(const std::string &name, const char *mode) : F(std::fopen(name.c_str(), mode)) {
    if (!F) throw EzxError(Format("Cannot create %s: %s", name.c_str(), std::strerror(errno)));
  }
  ~TFile() {
    if (F) std::fclose(F);
  }
  TFile(const TFile &) = delete;
  TFile &operator=(const TFile &) = delete;
  void Close(const std::string &name) {
    const bool ok = std::fclose(F) == 0;
    F = nullptr;
    if (!ok) throw EzxError(Format("Cannot write %s: %s", name.c_str(), std::strerror(errno)));
  }
};

int64_t FileSize(const std::string &name) {
  std::error_code ec;
  const auto size = fs::file_size(name, ec);
  if (ec) throw EzxError(Format("Cannot read %s", name.c_str()));
  return static_cast<int64_t>(size);
}

// number: the segment's, from 1.
void BuildSegment(const TSegmentOptions &s, int32_t number, TBuiltSegment &out) {
  const std::string where = Format("segment %d (%s)", number, s.Input.c_str());

  // Everything small first, so that mistakes show before the long part.
  std::vector<TzxBytes> cursors;
  for (const auto &c : s.Cursors) {
    const std::string ext = fs::path(c.File).extension().string();
    TzxCursorRecord record;
    if (ext == ".cur" || ext == ".CUR") {
      record = ReadCurFile(c.File);
      if (c.HotSpot) {
        record.HotSpotX = c.HotSpot->first;
        record.HotSpotY = c.HotSpot->second;
      }
    } else {
      const auto hot = c.HotSpot.value_or(std::pair<int32_t, int32_t>{0, 0});
      record = CursorFromRgba(ReadPng(c.File), hot.first, hot.second, c.File);
    }
    cursors.push_back(EncodeCursorRecord(record));
  }
  std::vector<TzxTrackLine> track;
  if (!s.CursorTrack.empty()) track = ReadCursorTrack(s.CursorTrack, cursors.size());
  const std::string &title = s.Title;
  std::optional<TSoundSource> convert;
  if (!s.Sound.empty()) {
    if (!FileExists(s.Sound) || fs::is_directory(s.Sound))
      throw EzxError(Format("Cannot open %s", s.Sound.c_str()));
    if (const auto mp3 = PlayableMp3(s.Sound)) {
      out.Sound = s.Sound;
      out.SoundAudio = *mp3;
      NoteStoredSound(s.Sound, *mp3, number);
    } else {
      convert = TSoundSource{s.Sound, ProbeMedia(s.Sound), 0};
      if (!convert->Media.HasAudio)
        throw EzxError(Format("%s holds no sound FFmpeg can read%s%s", s.Sound.c_str(),
                              convert->Media.Error.empty() ? "" : ": ",
                              convert->Media.Error.c_str()));
    }
  }

  // The frames, coded one by one into a temporary file.
  std::unique_ptr<TFrameSource> source = OpenSource(s);
  if (const auto *v = dynamic_cast<const TVideoSource *>(source.get());
      v && v->Media().HasAudio && s.Sound.empty() && !s.NoSound)
    convert = TSoundSource{s.Input, v->Media(), v->Media().VideoStart - v->Media().AudioStart};
  const int32_t w = source->Width(), h = source->Height();
  TzxFrameEncoder encoder(w, h, s.Depth);
  TPixelConverter converter(s.Depth, w, h, s.Input);
  TzxTempFile video(MakeTempFileName("vid", "", "zxM_"));
  TzxBytes palette;
  int64_t frames = 0, videoSize = 0;
  {
    TFile f(video.Name(), "wb");
    std::vector<uint8_t> bgra, record;
    TzxProgress progress(Format("segment %d", number), source->Count());
    while ((CheckInterrupted(), source->Next(bgra))) {
      const std::vector<uint8_t> &picture = converter.Convert(bgra, frames);
      record.clear();
      encoder.AppendFrame(record, picture.data(), size_t(encoder.Layout().RowBytes),
                          picture.size());
      converter.AppendPalette(palette, frames);
      WriteAll(f.F, record.data(), record.size(), video.Name());
      videoSize += int64_t(record.size());
      ++frames;
      if (videoSize > INT32_MAX / 2 || frames >= INT32_MAX / 3)
        throw EzxError(Format("%s: the film would exceed 1 GB of coded frames", where.c_str()));
      progress.Update(frames);
    }
    f.Close(video.Name());
    progress.Finish();
  }
  if (frames == 0) throw EzxError(Format("%s: no frame", where.c_str()));
  const double rate = s.Fps ? *s.Fps : source->Rate() >= 0.5 ? source->Rate() : 10.0;
  source.reset();
  if (convert) {
    ConvertSound(*convert, double(frames) / rate, number, out.ConvertedSound, out.SoundAudio);
    if (!out.ConvertedSound.Name().empty()) out.Sound = out.ConvertedSound.Name();
  }

  TzxBytes cursorTrack;
  if (!track.empty()) cursorTrack = BuildCursorTrack(track, frames * s.Samples);

  // The unpacked payload: title, cursors, video, cursor track, palette track.
  TzxTempFile payload(MakeTempFileName("bin", "", "zxM_"));
  {
    TFile f(payload.Name(), "wb");
    TzxBytes head;
    AppendInt32(head, static_cast<int32_t>(title.size() + 1));
    head.push_back(static_cast<uint8_t>(title.size()));
    head.insert(head.end(), title.begin(), title.end());
    for (const auto &c : cursors)
      head.insert(head.end(), c.begin(), c.end());
    WriteAll(f.F, head.data(), head.size(), payload.Name());
    CopyFile(f.F, video.Name(), payload.Name());
    WriteAll(f.F, cursorTrack.data(), cursorTrack.size(), payload.Name());
    WriteAll(f.F, palette.data(), palette.size(), payload.Name());
    f.Close(payload.Name());
  }
  video.Remove();

  out.Packed.Reset(MakeTempFileName("pak", "", "zxM_"));
  if (s.Packing == TzxPacking::Lzma) {
    // The coder reports after each block the bytes of the payload it has
    // read: the line shows how far it is.
    TzxProgress progress(Format("segment %d, LZMA", number), FileSize(payload.Name()),
                         TzxProgress::TUnit::Bytes);
    TzxLzmaRun run;
    run.Progress = [&progress](int64_t read, int64_t) { progress.Update(read); };
    if (!RunLzmaTool('e', payload.Name(), out.Packed.Name(), &run))
      throw EzxError("The LZMA coder cannot be started");
    if (!FileExists(out.Packed.Name()))
      throw EzxError(Format("%s: the LZMA coder failed%s%s", where.c_str(),
                            run.Failure.empty() ? "" : ": ", run.Failure.c_str()));
    progress.Finish();
  } else {
    WriteWholeFile(out.Packed.Name(),
                   PackCabinet({{"payload.bin", ReadWholeFile(payload.Name())}}, true));
  }

  TSegmentHeader &hd = out.Header;
  hd.Version = 1;
  hd.Width = w;
  hd.Height = h;
  hd.BitsPerPixel = static_cast<uint8_t>(s.Depth);
  hd.FramesPerSecond = static_cast<float>(rate);
  hd.Flags = (s.Packing == TzxPacking::Lzma ? sfCompressionLzma : sfCompressionCab) |
             (out.Sound.empty() ? 0 : sfSoundMp3) | (s.Samples == 3 ? sfThreeCursorSamples : 0);
  hd.FrameCount = static_cast<int32_t>(frames);
  hd.CursorCount = static_cast<int32_t>(cursors.size());
  hd.CursorTrackSize = static_cast<int32_t>(cursorTrack.size());
  hd.PaletteTrackSize = static_cast<int32_t>(palette.size());
  hd.VideoSize = static_cast<int32_t>(videoSize);
}

} // namespace

int CommandMake(const std::vector<std::string> &args) {
  TMakeOptions o;
  if (!ParseOptions(args, o)) return 0;
  const fs::path outDir = fs::path(o.Out).parent_path();
  if (!outDir.empty() && !fs::is_directory(outDir))
    throw EzxError(Format("Cannot write %s: there is no directory %s", o.Out.c_str(),
                          outDir.string().c_str()));
  TzxToolSession session;
  for (const auto &s : o.Segments)
    for (const std::string &name : InputFiles(s))
      o.Rules.AddInput(name);
  TzxOutputFile output(o.Out, o.Rules);

  std::vector<TBuiltSegment> built(o.Segments.size());
  for (size_t i = 0; i < o.Segments.size(); ++i) {
    BuildSegment(o.Segments[i], static_cast<int32_t>(i + 1), built[i]);
  }

  // Directory, then each segment: header, packed payload, sound.
  const auto n = static_cast<int32_t>(built.size());
  int64_t offset = 4 + int64_t(DirectoryEntrySize) * n;
  TzxBytes directory;
  AppendInt32(directory, n);
  for (auto &b : built) {
    const int64_t packed = FileSize(b.Packed.Name());
    const int64_t sound = b.Sound.empty() ? 0 : b.SoundAudio.Size;
    b.Header.PackedSize = static_cast<int32_t>(packed);
    b.Header.PackedOffset = SegmentHeaderSize;
    b.Header.SoundSize = static_cast<int32_t>(sound);
    b.Header.SoundOffset = static_cast<int32_t>(SegmentHeaderSize + packed);
    AppendInt32(directory, static_cast<int32_t>(offset));
    AppendInt16(directory, 1);
    offset += SegmentHeaderSize + packed + sound;
    if (offset > INT32_MAX) throw EzxError("The film would exceed 2 GB");
  }
  {
    TFile f(output.TempName(), "wb");
    WriteAll(f.F, directory.data(), directory.size(), o.Out);
    for (const auto &b : built) {
      uint8_t raw[SegmentHeaderSize];
      EncodeSegmentHeader(b.Header, raw);
      WriteAll(f.F, raw, sizeof raw, o.Out);
      CopyFile(f.F, b.Packed.Name(), o.Out);
      if (!b.Sound.empty()) CopyFile(f.F, b.Sound, o.Out, b.SoundAudio.Offset, b.SoundAudio.Size);
    }
    f.Close(o.Out);
  }
  CheckInterrupted();
  output.Commit();
  return 0;
}
