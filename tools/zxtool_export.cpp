// zxtool export FILM OUT [--segment N|all] [--from A] [--to B | -t D] [--scale S]
//                        [--no-cursor] [--crf N] [--pix-fmt F] [--lossless] [--crop] [-y | -n]
// zxtool export FILM --hash [--segment N|all] [--from A] [--to B | -t D] [--no-cursor]
//
// Renders frames as the player shows them: frame k is the picture after
// frames 0 .. k with the cursor sample k x TicksPerFrame drawn on it.
// OUT by its name: NAME.mp4, .mkv, .mov, .avi (H.264), NAME.webm (VP9),
// NAME.gif, a pattern such as DIR/%06d.png, NAME.rgb or "-" (raw RGB24
// frames end to end, to a file or standard output), or else a directory
// that receives 000000.png ... Files are numbered by frame index. Videos run
// at the segment's frame rate and carry its MP3 sound, copied as it is
// where the container takes it. --segment all exports the whole film,
// segment after segment, in one video (its sound put together from the
// segments') or one run of frames. --from, --to and --duration take times
// as FFmpeg does (seconds, [HH:]MM:SS[.ms]) or frame numbers ("120f"); --to
// is exclusive.
//
// --hash prints "SEGMENT FRAME SHA256" for each frame: the checksum of the
// rendered picture's RGB24 bytes (rows top to bottom, red, green, blue).
// Segments are numbered from 1 by their place in the film's directory, as
// the player numbers them; frames from 0.
#include "zxtool.h"

#include "zxFfmpegPipe.h"
#include "zxFrameDecoder.h"
#include "zxLoader.h"
#include "zxMp3.h"
#include "zxPng.h"
#include "zxProgress.h"
#include "zxRender.h"
#include "zxScale.h"
#include "zxToolOutput.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

namespace fs = std::filesystem;

namespace {

enum class TOutKind { Hash, Directory, Pattern, Raw, Mp4, Mkv, Mov, Avi, Webm, Gif };

struct TOptions {
  std::string Film;
  std::string Out;
  TOutKind Kind = TOutKind::Directory;
  int32_t Segment = -1;     // its number (from 1), -1 when not chosen
  bool AllSegments = false; // --segment all: the whole film, one segment after another
  std::optional<TzxTimeValue> From, To, Duration;
  TzxScale Scale;
  bool Cursor = true;
  TzxOutputRules Rules; // what OUT may replace
  // How a video is encoded.
  std::optional<int32_t> Crf;
  std::string PixFmt; // "" for the default
  bool Lossless = false;
  bool Crop = false;
};

std::string Lower(std::string s) {
  for (char &c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// What OUT is, by its name.
TOutKind OutKind(const std::string &out) {
  const std::string ext = Lower(fs::path(out).extension().string());
  if (out == "-" || ext == ".rgb") return TOutKind::Raw;
  const struct {
    const char *Ext;
    TOutKind Kind;
  } videos[] = {{".mp4", TOutKind::Mp4}, {".mkv", TOutKind::Mkv},   {".mov", TOutKind::Mov},
                {".avi", TOutKind::Avi}, {".webm", TOutKind::Webm}, {".gif", TOutKind::Gif}};
  for (const auto &v : videos)
    if (ext == v.Ext) return v.Kind;
  if (ext == ".png") {
    if (!IsNumberPattern(out))
      throw EzxUsageError(Format("%s: PNG frames need a pattern with one number, such as "
                                 "frames/%%06d.png, or a directory",
                                 out.c_str()));
    return TOutKind::Pattern;
  }
  if (!ext.empty() && !fs::is_directory(out))
    throw EzxUsageError(Format("%s: unknown output kind %s (use .mp4, .mkv, .mov, .avi, .webm, "
                               ".gif, .rgb, a %%06d.png pattern or a directory)",
                               out.c_str(), ext.c_str()));
  return TOutKind::Directory;
}

bool IsH264Kind(TOutKind kind) {
  return kind == TOutKind::Mp4 || kind == TOutKind::Mkv || kind == TOutKind::Mov ||
         kind == TOutKind::Avi;
}

// Fills o from the command line; false when the usage text was printed.
bool ParseOptions(const std::vector<std::string> &args, TOptions &o) {
  bool hash = false;
  std::string scale, segment, from, to, duration, crf;
  TzxCommandLine cl(
      "export",
      "Renders frames as the player shows them: frame k is the picture after frames 0 .. k with "
      "the cursor sample of frame k drawn on it.\n\nOUT by its name: NAME.mp4, NAME.mkv, "
      "NAME.mov, NAME.avi (H.264), NAME.webm (VP9), NAME.gif, a pattern such as DIR/%06d.png, "
      "NAME.rgb or - (raw RGB24 frames end to end, to a file or standard output), otherwise a "
      "directory that receives 000000.png ... Files are numbered by frame. Videos run at the "
      "segment's frame rate and carry its sound: the MP3 as it is (re-encoded only for WebM, to "
      "Opus, and for MP4 when below 16000 Hz, to AAC, with a note). A GIF has no sound; its "
      "palette is made in a first pass over the frames, which are then mapped to it in a "
      "second. With --segment all the whole film goes out, segment after segment: frames "
      "numbered and --from, --to and --duration counted in the film; a video takes the picture "
      "size of the first segment (others are fitted into it) and the highest frame rate, each "
      "segment's sound from its start (put together and encoded as MP3, or Opus for WebM). "
      "--hash prints \"SEGMENT FRAME SHA256\" for each frame instead: the checksum of the "
      "picture's RGB24 bytes.");
  cl.add_option("FILM", o.Film, "a film or a self-playing executable; - reads standard input")
      ->required()
      ->type_name("");
  cl.add_option("OUT", o.Out, "where the frames go (not with --hash)")->type_name("");
  cl.add_flag("--hash", hash, "print a checksum line per frame (every segment unless --segment)");
  cl.add_option("--segment", segment,
                "the segment numbered N, or all of them one after another (default: the first; "
                "with --hash, all)")
      ->type_name("N|all");
  cl.add_option("--from", from, "the first frame: the one shown at or after TIME (default 0)")
      ->type_name("TIME");
  const CLI::Option *toOption =
      cl.add_option("--to", to, "stop before the frame shown at TIME (default: the end)")
          ->type_name("TIME");
  const CLI::Option *durationOption =
      cl.add_option("-t,--duration", duration, "export this long from --from on (not with --to)")
          ->type_name("TIME");
  cl.add_option("--scale", scale, "a factor (0.5) or a size (640x360)")->type_name("F|WxH");
  cl.add_flag(
      "--no-cursor", [&](int64_t) { o.Cursor = false; }, "leave the cursor out");
  const CLI::Option *crfOption =
      cl.add_option("--crf", crf,
                    "video quality, lower is better and larger: H.264 0 to 51 (default 18), "
                    "VP9 0 to 63 (default 32)")
          ->type_name("N");
  const CLI::Option *pixFmtOption =
      cl.add_option("--pix-fmt", o.PixFmt,
                    "yuv420p (the default: every player and browser decodes it, but colour is "
                    "kept for 2 x 2 pixels, which blurs coloured text and cursor edges, and "
                    "H.264 needs even sides) or yuv444p (colour for every pixel; some players, "
                    "browsers and hardware decoders refuse it)")
          ->type_name("FMT");
  const CLI::Option *losslessOption = cl.add_flag(
      "--lossless", o.Lossless,
      "every pixel exactly as rendered: RGB H.264 (libx264rgb -qp 0) or RGB VP9 (-lossless 1); "
      "large, and played by FFmpeg-based players rather than browsers");
  const CLI::Option *cropOption = cl.add_flag(
      "--crop", o.Crop,
      "where yuv420p H.264 needs even sides, leave out the last column or row of an odd size "
      "instead of adding a black one");
  cl.OverwriteOptions();
  cl.ProgressOptions();
  cl.Notes(std::string(SegmentNumbering) + " " + TimeSyntax);
  if (!cl.Parse(args)) return false;
  o.Rules = cl.OutputRules();
  o.AllSegments = segment == "all";
  if (!segment.empty() && !o.AllSegments) o.Segment = ParseSegmentNumber("--segment", segment);
  if (toOption->count() > 0 && durationOption->count() > 0)
    throw EzxUsageError("--to and --duration exclude each other: give one");
  if (!from.empty()) o.From = ParseTimeValue("--from", from);
  if (!to.empty()) o.To = ParseTimeValue("--to", to);
  if (!duration.empty()) o.Duration = ParseTimeValue("--duration", duration);
  if (hash == !o.Out.empty()) throw EzxUsageError("give OUT or --hash");
  if (hash) {
    if (!scale.empty()) throw EzxUsageError("--hash checks the picture as rendered; drop --scale");
    o.Kind = TOutKind::Hash;
  }
  if (!scale.empty()) o.Scale = ParseScale(scale);
  if (!hash) o.Kind = OutKind(o.Out);

  // How videos are encoded.
  const bool h264 = IsH264Kind(o.Kind);
  for (const CLI::Option *opt : {crfOption, pixFmtOption, losslessOption, cropOption})
    if (opt->count() > 0 && !h264 && o.Kind != TOutKind::Webm)
      throw EzxUsageError(
          Format("%s applies to videos (.mp4, .mkv, .mov, .avi, .webm)", opt->get_name().c_str()));
  if (o.Lossless && (crfOption->count() > 0 || pixFmtOption->count() > 0))
    throw EzxUsageError(
        Format("--lossless excludes %s", crfOption->count() > 0 ? "--crf" : "--pix-fmt"));
  if (!crf.empty()) o.Crf = static_cast<int32_t>(ParseWholeNumber("--crf", crf, 0, h264 ? 51 : 63));
  if (pixFmtOption->count() > 0 && o.PixFmt != "yuv420p" && o.PixFmt != "yuv444p")
    throw EzxUsageError(Format("--pix-fmt %s: expected yuv420p or yuv444p", o.PixFmt.c_str()));
  return true;
}

// The frame rate the player shows a segment at.
double SegmentRate(const TSegmentInfo &s) {
  return PlayingRate(s.FramesPerSecond);
}

// The frames of one segment that an export takes: [From, To), and the
// number the film gives its frame 0 (0 unless the whole film goes out).
struct TSpan {
  int32_t Index = -1; // in the segment list
  int64_t From = 0, To = 0;
  int64_t FilmFrame = 0;
};

// Segments one after another as the player plays them, each at its own
// rate: film frames and film times to the frames of segments.
class TTimeline {
public:
  TTimeline(const TSegmentList &list, const std::vector<int32_t> &segments) {
    int64_t first = 0;
    double start = 0;
    for (const int32_t i : segments) {
      const TSegmentInfo &s = *list.Get(i);
      FEntries.push_back({i, std::max<int64_t>(s.FrameCount, 0), SegmentRate(s), first, start});
      first += FEntries.back().Count;
      start += double(FEntries.back().Count) / FEntries.back().Fps;
    }
    FFrames = first;
    FSeconds = start;
  }

  int64_t Frames() const { return FFrames; }

  // The first frame shown at or after t; a frame number counts the frames
  // of all the segments.
  int64_t FrameAt(const TzxTimeValue &t) const {
    if (t.InFrames) return std::min(t.Frames, FFrames);
    for (const TEntry &e : FEntries) {
      TzxTimeValue local;
      local.Seconds = t.Seconds - e.Start;
      const int64_t k = std::max<int64_t>(local.FrameAt(e.Fps), 0);
      if (k < e.Count) return e.First + k;
    }
    return FFrames;
  }

  // When the frame is shown.
  double TimeOf(int64_t frame) const {
    for (const TEntry &e : FEntries)
      if (frame < e.First + e.Count) return e.Start + double(frame - e.First) / e.Fps;
    return FSeconds;
  }

  // The frames [from, to) that the options ask for: --from's frame up to
  // --to's, or --duration's length on.
  std::pair<int64_t, int64_t> Range(const TOptions &o) const {
    const int64_t from = o.From ? FrameAt(*o.From) : 0;
    int64_t to = FFrames;
    if (o.To) {
      to = FrameAt(*o.To);
    } else if (o.Duration && o.Duration->InFrames) {
      to = std::min(from + o.Duration->Frames, FFrames);
    } else if (o.Duration) {
      TzxTimeValue end;
      end.Seconds =
          (o.From && !o.From->InFrames ? o.From->Seconds : TimeOf(from)) + o.Duration->Seconds;
      to = FrameAt(end);
    }
    return {from, to};
  }

  // What [from, to) takes of each segment, leaving out those it misses.
  std::vector<TSpan> Spans(int64_t from, int64_t to) const {
    std::vector<TSpan> spans;
    for (const TEntry &e : FEntries) {
      const int64_t lo = std::max<int64_t>(from - e.First, 0);
      const int64_t hi = std::min(to - e.First, e.Count);
      if (lo < hi) spans.push_back({e.Index, lo, hi, e.First});
    }
    return spans;
  }

private:
  struct TEntry {
    int32_t Index;
    int64_t Count;
    double Fps;
    int64_t First; // the film's number of its frame 0
    double Start;  // when its frame 0 is shown
  };
  std::vector<TEntry> FEntries;
  int64_t FFrames = 0;
  double FSeconds = 0;
};

// Receives rendered frames.
class TFrameSink {
public:
  virtual ~TFrameSink() = default;
  // How often it takes the frames (a pass over them each time).
  virtual int32_t Passes() const { return 1; }
  // What the progress line adds to the segment for a pass.
  virtual std::string PassLabel(int32_t) const { return ""; }
  // Between passes.
  virtual void NextPass() {}
  // segment: its number; frame: the segment's, or the film's for files of
  // the whole film.
  virtual void Frame(int32_t segment, int64_t frame, const TzxRgbPicture &picture) = 0;
  virtual void Finish() = 0;
};

class THashSink : public TFrameSink {
public:
  void Frame(int32_t segment, int64_t frame, const TzxRgbPicture &picture) override {
    FLines += Format("%d %lld %s\n", segment, static_cast<long long>(frame),
                     PictureSha256(picture).c_str());
  }
  // Printed at the end, so that a film that fails half-way prints nothing.
  void Finish() override { std::fwrite(FLines.data(), 1, FLines.size(), stdout); }

private:
  std::string FLines;
};

// Shrinks or enlarges pictures as --scale says.
class TScaledSink : public TFrameSink {
public:
  explicit TScaledSink(const TzxScale &scale) : FScale(scale) {}

protected:
  // The picture to write: the original, or the scaled copy.
  const uint8_t *Scaled(const TzxRgbPicture &p, int32_t &w, int32_t &h) {
    FScale.Apply(p.Width, p.Height, w, h);
    if (w == p.Width && h == p.Height) return p.Pixels.data();
    FScaler.Scale(p.Pixels.data(), p.Width, p.Height, w, h, FBuffer);
    return FBuffer.data();
  }

private:
  TzxScale FScale;
  TzxScaler FScaler;
  std::vector<uint8_t> FBuffer;
};

class TPngSink : public TScaledSink {
public:
  explicit TPngSink(const TOptions &o)
      : TScaledSink(o.Scale),
        FPattern(o.Kind == TOutKind::Pattern ? fs::path(o.Out).filename().string() : "%06d.png"),
        FFiles(o.Kind == TOutKind::Pattern ? fs::path(o.Out).parent_path().string() : o.Out,
               o.Rules) {}

  void Frame(int32_t, int64_t frame, const TzxRgbPicture &picture) override {
    int32_t w = 0, h = 0;
    const uint8_t *rgb = Scaled(picture, w, h);
    WritePngRgb(FFiles.Add(PatternName(FPattern, frame)), w, h, rgb);
  }
  void Finish() override { FFiles.Commit(); }

private:
  std::string FPattern;
  TzxOutputFiles FFiles;
};

// Raw RGB24 frames one after the other, to a file or standard output.
class TRawSink : public TScaledSink {
public:
  explicit TRawSink(const TOptions &o)
      : TScaledSink(o.Scale), FName(o.Out == "-" ? "to standard output" : o.Out) {
    const std::string &out = o.Out;
    if (out == "-") {
      // A reader that goes away makes the writes fail instead of ending us.
      std::signal(SIGPIPE, SIG_IGN);
      FFile = stdout;
    } else {
      FOutput = std::make_unique<TzxOutputFile>(out, o.Rules);
      FFile = std::fopen(FOutput->TempName().c_str(), "wb");
      if (!FFile) throw EzxError(Format("Cannot create %s", out.c_str()));
    }
  }
  ~TRawSink() override {
    if (FFile && FFile != stdout) std::fclose(FFile);
  }

  void Frame(int32_t, int64_t, const TzxRgbPicture &picture) override {
    int32_t w = 0, h = 0;
    const uint8_t *rgb = Scaled(picture, w, h);
    const size_t n = size_t(w) * size_t(h) * 3;
    if (std::fwrite(rgb, 1, n, FFile) != n)
      throw EzxError(Format("Cannot write %s", FName.c_str()));
  }
  void Finish() override {
    if (FFile == stdout) {
      if (std::fflush(stdout) != 0) throw EzxError("Cannot write to standard output");
      return;
    }
    const bool ok = std::fclose(FFile) == 0;
    FFile = nullptr;
    if (!ok) throw EzxError(Format("Cannot write %s", FName.c_str()));
    FOutput->Commit();
  }

private:
  std::string FName;
  std::unique_ptr<TzxOutputFile> FOutput;
  std::FILE *FFile = nullptr;
};

// Replaces every occurrence of what in text by with.
std::string ReplaceAll(std::string text, const std::string &what, const std::string &with) {
  if (what.empty()) return text;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

// Encoders take at most this many pixels a side: a larger picture is scaled
// down to fit, its shape kept.
constexpr int32_t MaxVideoSide = 16384;
TzxScale VideoScale(const TzxScale &asked, const TSegmentInfo &segment) {
  int32_t w = 0, h = 0;
  asked.Apply(segment.Width, segment.Height, w, h);
  if (w <= MaxVideoSide && h <= MaxVideoSide) return asked;
  const double f = std::min(double(MaxVideoSide) / w, double(MaxVideoSide) / h);
  TzxScale fit;
  fit.Width = std::max(1, static_cast<int32_t>(w * f));
  fit.Height = std::max(1, static_cast<int32_t>(h * f));
  return fit;
}

// The sampling rate of the sound of a video of many segments (stereo).
constexpr int32_t FilmSoundRate = 44100;

// Whether a segment carries sound.
bool HasSound(const TSegmentInfo &segment) {
  return !segment.SoundFileName.empty() && FileExists(segment.SoundFileName);
}

// Why a segment's sound stays out of a video: the player would not play it
// (no MPEG audio frame header first) or FFmpeg cannot decode it. Empty when
// it goes in; rate is then its sampling rate as FFmpeg reads it.
std::string SoundProblem(const TSegmentInfo &segment, int32_t &rate) {
  rate = 0;
  try {
    TzxMpegLayer3WaveFormat format;
    GetMp3FileInfo(segment.SoundFileName, format);
  } catch (const EzxMp3Error &e) {
    return Format("its sound %s", e.Reason().c_str());
  }
  const TzxMediaInfo media = ProbeMedia(segment.SoundFileName);
  if (!media.HasAudio)
    return Format("FFmpeg cannot decode its sound (%s)",
                  media.Error.empty() ? "no audio stream" : media.Error.c_str());
  rate = std::max(media.SampleRate, 1);
  return "";
}

// How a video is encoded: the codec's arguments, the filter that evens an
// odd size for yuv420p H.264, and whether the MP3 sound is kept as it is.
struct TEncoding {
  std::vector<std::string> Video;
  std::string Filter;     // "" when none
  std::string SizeNote;   // what the filter does to the picture
  bool CopySound = false; // else re-encoded (Audio)
  std::vector<std::string> Audio;
  std::string SoundNote; // why the sound is re-encoded
  std::string Format;    // FFmpeg's muxer
};

// sampleRate: the sound's, 0 when there is none.
TEncoding ChooseEncoding(const TOptions &o, int32_t w, int32_t h, int32_t sampleRate,
                         int32_t segment) {
  TEncoding e;
  if (o.Kind == TOutKind::Webm) {
    e.Format = "webm";
    e.Video = {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8"};
    if (o.Lossless)
      e.Video.insert(e.Video.end(), {"-lossless", "1", "-pix_fmt", "gbrp"});
    else
      e.Video.insert(e.Video.end(), {"-b:v", "0", "-crf", Format("%d", o.Crf.value_or(32)),
                                     "-pix_fmt", o.PixFmt.empty() ? "yuv420p" : o.PixFmt});
    e.Audio = {"-c:a", "libopus", "-b:a", "96k"};
    e.SoundNote =
        Format("segment %d: its MP3 sound is re-encoded to Opus: WebM carries no MP3", segment);
    return e;
  }
  e.Format = o.Kind == TOutKind::Mp4   ? "mp4"
             : o.Kind == TOutKind::Mkv ? "matroska"
             : o.Kind == TOutKind::Mov ? "mov"
                                       : "avi";
  if (o.Lossless) {
    e.Video = {"-c:v", "libx264rgb", "-preset", "veryfast", "-qp", "0", "-pix_fmt", "rgb24"};
  } else {
    const std::string pixFmt = o.PixFmt.empty() ? "yuv420p" : o.PixFmt;
    e.Video = {"-c:v",     "libx264", "-preset",
               "veryfast", "-crf",    Format("%d", o.Crf.value_or(18)),
               "-pix_fmt", pixFmt};
    // 4:2:0 H.264 has chroma for 2 x 2 pixels: both sides must be even.
    if (pixFmt == "yuv420p" && (w % 2 != 0 || h % 2 != 0)) {
      const int32_t cw = o.Crop && w > 1 ? w & ~1 : w, ch = o.Crop && h > 1 ? h & ~1 : h;
      const int32_t pw = cw + cw % 2, ph = ch + ch % 2;
      std::string how;
      if (cw != w || ch != h) {
        e.Filter = Format("crop=%d:%d:0:0", cw, ch);
        how = Format("cropped to %d x %d (the last %s left out)", cw, ch,
                     cw != w && ch != h ? "column and row"
                     : cw != w          ? "column"
                                        : "row");
      }
      if (pw != cw || ph != ch) {
        e.Filter += Format("%spad=%d:%d:0:0:black", e.Filter.empty() ? "" : ",", pw, ph);
        how +=
            Format("%spadded to %d x %d (a black %s added)", how.empty() ? "" : ", then ", pw, ph,
                   pw != cw && ph != ch ? "column at the right and row at the bottom"
                   : pw != cw           ? "column at the right"
                                        : "row at the bottom");
      }
      const char *other = o.Crop ? "without --crop it is padded" : "--crop crops instead";
      e.SizeNote = Format("the %d x %d picture is %s: yuv420p needs even sides (%s, or "
                          "--pix-fmt yuv444p keeps the size)",
                          w, h, how.c_str(), other);
    }
  }
  if (o.Kind == TOutKind::Mp4 || o.Kind == TOutKind::Mov)
    e.Video.insert(e.Video.end(), {"-movflags", "+faststart"});
  // MP4 knows MPEG-1 and MPEG-2 audio, not the 8000 to 12000 Hz of MPEG-2.5;
  // Matroska, QuickTime and AVI take any.
  e.CopySound = o.Kind != TOutKind::Mp4 || sampleRate >= 16000;
  if (!e.CopySound) {
    e.Audio = {"-c:a", "aac", "-b:a", "128k"};
    e.SoundNote = Format("segment %d: its MP3 sound is re-encoded to AAC: MP4 takes MP3 at "
                         "16000 Hz and more, this has %d Hz",
                         segment, sampleRate);
  }
  return e;
}

// Pipes RGB24 frames into FFmpeg, which encodes them (with the sound) into
// a temporary file that becomes the output at the end. Sound that the
// player would not play (no MPEG audio frame header first) or that FFmpeg
// cannot decode is left out, with a note, as the player leaves it out.
//
// A GIF takes two passes over the frames, so that FFmpeg holds no more
// than a frame: the first makes a palette from them (palettegen), the
// second maps them to it (paletteuse).
class TVideoSink : public TScaledSink {
public:
  TVideoSink(const TOptions &o, const TSegmentInfo &segment, int64_t from, int64_t to)
      : TScaledSink(VideoScale(o.Scale, segment)), FOptions(o), FSegment(segment),
        FNumber(SegmentNumber(segment)), FFrom(from), FTo(to), FRate(SegmentRate(segment)),
        FSound(segment.SoundFileName), FSoundStart(double(from) / FRate),
        FSoundName(Format("the sound of segment %d", FNumber)), FOutput(o.Out, o.Rules),
        FLog(MakeTempFileName("txt", "", "zxF_")) {}

  // A video of many segments, their frames fitted to the first one's size
  // and repeated to rate frames a second: carries the sound made for it
  // (none when empty) from its start.
  void UseFilmSound(double rate, const std::string &sound) {
    FRate = rate;
    FSound = sound;
    FSoundStart = 0;
    FSoundName = "the film's sound";
    FFilmSound = true;
  }

  int32_t Passes() const override { return FOptions.Kind == TOutKind::Gif ? 2 : 1; }
  std::string PassLabel(int32_t pass) const override {
    return FOptions.Kind != TOutKind::Gif ? "" : pass == 0 ? ", GIF palette" : ", GIF";
  }
  void NextPass() override {
    if (!FChild) throw EzxError("No frame to export");
    if (FChild->Wait() != 0) Fail();
    FChild.reset();
    ++FPass;
  }

  void Frame(int32_t, int64_t, const TzxRgbPicture &picture) override {
    int32_t w = 0, h = 0;
    const uint8_t *rgb = Scaled(picture, w, h);
    if (!FChild) {
      if (FPass == 0 && (picture.Width > MaxVideoSide || picture.Height > MaxVideoSide))
        FNotes.push_back(Format("the video is scaled to %d x %d: encoders take at most %d "
                                "pixels a side",
                                w, h, MaxVideoSide));
      Start(w, h);
    }
    if (!FChild->Write(rgb, size_t(w) * size_t(h) * 3)) Fail();
  }

  void Finish() override {
    if (!FChild) throw EzxError("No frame to export");
    if (FChild->Wait() != 0) Fail();
    FChild.reset();
    CheckInterrupted(); // FFmpeg may have been encoding on meanwhile
    FOutput.Commit();
    // One line, and only for a video that was written.
    std::string notes;
    for (const std::string &note : FNotes)
      notes += (notes.empty() ? "" : "; ") + note;
    if (!notes.empty()) std::fprintf(stderr, "zxtool: %s\n", notes.c_str());
  }

private:
  // The sampling rate of the sound as FFmpeg reads it; 0 when it is left
  // out, with a note saying why (the film's sound was checked as it was
  // made, and GIFs of the film are noted by their maker).
  int32_t SoundRate() {
    if (FSound.empty() || !FileExists(FSound)) return 0;
    if (FFilmSound) return FOptions.Kind == TOutKind::Gif ? 0 : FilmSoundRate;
    if (FOptions.Kind == TOutKind::Gif) {
      FNotes.push_back(Format("segment %d is exported without sound: GIF has none", FNumber));
      return 0;
    }
    int32_t rate = 0;
    const std::string problem = SoundProblem(FSegment, rate);
    if (!problem.empty())
      FNotes.push_back(
          Format("segment %d is exported without sound: %s", FNumber, problem.c_str()));
    return rate;
  }

  void Start(int32_t w, int32_t h) {
    const double fps = FRate;
    std::vector<std::string> a = {
        "ffmpeg",     "-hide_banner",    "-nostdin", "-v",    "error", "-y",
        "-f",         "rawvideo",        "-pix_fmt", "rgb24", "-s",    Format("%dx%d", w, h),
        "-framerate", RateArgument(fps), "-i",       "pipe:0"};
    const std::string length = Format("%.6f", double(FTo - FFrom) / fps);
    const int32_t rate = FPass == 0 ? SoundRate() : 0;
    if (FOptions.Kind == TOutKind::Gif) {
      if (FPass == 0) {
        FPalette.Reset(MakeTempFileName("png", "", "zxG_"));
        a.insert(a.end(), {"-t", length, "-vf", "palettegen=stats_mode=diff", "-frames:v", "1",
                           "-update", "1", "-f", "image2", FPalette.Name()});
      } else {
        a.insert(a.end(), {"-i", FPalette.Name(), "-t", length, "-lavfi", "[0:v][1:v]paletteuse",
                           "-f", "gif", FOutput.TempName()});
      }
      FChild = std::make_unique<TzxChildProcess>(a, TzxChildProcess::TPipe::ToChild, FLog.Name());
      return;
    }
    const TEncoding e = ChooseEncoding(FOptions, w, h, rate, FNumber);
    if (!e.SizeNote.empty()) FNotes.push_back(e.SizeNote);
    if (rate > 0)
      a.insert(a.end(),
               {"-ss", Format("%.6f", FSoundStart), "-i", FSound, "-map", "0:v", "-map", "1:a"});
    a.insert(a.end(), {"-t", length});
    if (!e.Filter.empty()) a.insert(a.end(), {"-vf", e.Filter});
    a.insert(a.end(), e.Video.begin(), e.Video.end());
    if (rate > 0 && FFilmSound) {
      // Put together from the segments' sounds: no MP3 of the film to copy.
      if (FOptions.Kind == TOutKind::Webm)
        a.insert(a.end(), e.Audio.begin(), e.Audio.end());
      else
        a.insert(a.end(), {"-c:a", "libmp3lame", "-b:a", "128k"});
    } else if (rate > 0 && e.CopySound) {
      a.insert(a.end(), {"-c:a", "copy"});
    } else if (rate > 0) {
      a.insert(a.end(), e.Audio.begin(), e.Audio.end());
      FNotes.push_back(e.SoundNote);
    }
    a.insert(a.end(), {"-f", e.Format, FOutput.TempName()});
    FChild = std::make_unique<TzxChildProcess>(a, TzxChildProcess::TPipe::ToChild, FLog.Name());
  }

  [[noreturn]] void Fail() {
    if (FChild) FChild->Wait();
    FChild.reset();
    // FFmpeg names the files it was given: ours are temporary.
    std::string reason = ReplaceAll(LastLineOf(FLog.Name()), FSound, FSoundName);
    reason = ReplaceAll(reason, FOutput.TempName(), FOptions.Out);
    if (!FPalette.Name().empty()) reason = ReplaceAll(reason, FPalette.Name(), "the GIF palette");
    throw EzxError(Format("ffmpeg could not write %s%s%s", FOptions.Out.c_str(),
                          reason.empty() ? "" : ": ", reason.c_str()));
  }

  const TOptions &FOptions;
  const TSegmentInfo &FSegment;
  int32_t FNumber;
  int64_t FFrom, FTo;
  double FRate;            // frames a second
  std::string FSound;      // the sound file, if any
  double FSoundStart;      // where in it the video starts
  std::string FSoundName;  // what FFmpeg's messages call it
  bool FFilmSound = false; // made for the video and checked already
  int32_t FPass = 0;
  std::vector<std::string> FNotes; // said once the video is written, on one line
  TzxOutputFile FOutput;
  TzxTempFile FLog;
  TzxTempFile FPalette;                    // a GIF's, between its passes
  std::unique_ptr<TzxChildProcess> FChild; // destroyed (killed) before FOutput goes
};

// The segments to export, by their index in list: the one chosen; else
// for checksums and --segment all every one, for pictures the first. A segment with nothing
// to play is passed over with a warning (in warnings, said when the export
// has succeeded); one chosen, or a film of nothing else, is a failure.
std::vector<int32_t> TakenSegments(const TOptions &o, const TSegmentList &list, int32_t chosen,
                                   const std::string &filmName, std::string &warnings) {
  if (chosen >= 0 && !NothingToPlay(*list.Get(chosen)).empty())
    throw NothingToPlayError(*list.Get(chosen), filmName);
  if (chosen >= 0) return {chosen};
  std::vector<int32_t> taken;
  std::string reasons; // "segment 1: REASON; segment 2: REASON"
  const bool every = o.Kind == TOutKind::Hash || o.AllSegments;
  for (int32_t i = 0; i < list.Count() && (taken.empty() || every); ++i) {
    const TSegmentInfo &segment = *list.Get(i);
    const std::string reason = NothingToPlay(segment);
    if (reason.empty()) {
      taken.push_back(i);
      continue;
    }
    warnings += NothingToPlayWarning(segment);
    reasons += Format("%ssegment %d: %s", reasons.empty() ? "" : "; ", SegmentNumber(segment),
                      reason.c_str());
  }
  if (!taken.empty()) return taken;
  if (list.Count() == 1) throw NothingToPlayError(*list.Get(0), filmName);
  throw EzxError(Format("%s has nothing to play: %s", filmName.c_str(), reasons.c_str()));
}

// How many frames of a video at rate frames a second show the span's
// frames before frame k of its segment: each lasts as long as at the
// segment's own rate.
int64_t Shown(const TSpan &span, const TSegmentList &list, int64_t rate, int64_t k) {
  const int64_t own = std::llround(SegmentRate(*list.Get(span.Index)));
  return ((k - span.From) * rate * 2 + own) / (2 * own);
}

// The sound of a video of many spans: each span's sound from the frame it
// starts at and as long as its frames last in the video, silence where a
// segment has none (or none that goes in), written to out as FLAC. False
// when no span has sound to give; notes what is left out.
bool MakeFilmSound(const std::vector<TSpan> &spans, const TSegmentList &list, int64_t rate,
                   const std::string &out, std::string &notes) {
  const std::string format =
      Format("aformat=sample_fmts=s16:sample_rates=%d:channel_layouts=stereo", FilmSoundRate);
  std::vector<std::string> a = {"ffmpeg", "-hide_banner", "-nostdin", "-v", "error", "-y"};
  std::vector<std::pair<std::string, std::string>> names; // file, what messages call it
  std::string graph, joined;
  for (size_t i = 0; i < spans.size(); ++i) {
    const TSpan &p = spans[i];
    const TSegmentInfo &s = *list.Get(p.Index);
    const double seconds = double(Shown(p, list, rate, p.To)) / double(rate);
    int32_t soundRate = 0;
    const std::string problem = HasSound(s) ? SoundProblem(s, soundRate) : "";
    if (!problem.empty())
      notes += Format("zxtool: segment %d is exported without sound: %s\n", SegmentNumber(s),
                      problem.c_str());
    if (HasSound(s) && problem.empty()) {
      graph += Format("[%zu:a]atrim=start=%.6f,asetpts=PTS-STARTPTS,aresample=%d,%s,apad,"
                      "atrim=duration=%.6f[p%zu];",
                      names.size(), double(p.From) / SegmentRate(s), FilmSoundRate, format.c_str(),
                      seconds, i);
      a.insert(a.end(), {"-i", s.SoundFileName});
      names.emplace_back(s.SoundFileName, Format("the sound of segment %d", SegmentNumber(s)));
    } else {
      graph += Format("anullsrc=r=%d:cl=stereo,%s,atrim=duration=%.6f[p%zu];", FilmSoundRate,
                      format.c_str(), seconds, i);
    }
    joined += Format("[p%zu]", i);
  }
  if (names.empty()) return false;
  graph += joined + Format("concat=n=%zu:v=0:a=1[a]", spans.size());
  a.insert(a.end(), {"-filter_complex", graph, "-map", "[a]", "-c:a", "flac", "-f", "flac", out});
  std::string output, error;
  const int code = RunProgram(a, output, error);
  CheckInterrupted();
  if (code != 0) {
    for (const auto &[file, what] : names)
      error = ReplaceAll(error, file, what);
    throw EzxError(Format("ffmpeg could not put the sound of the segments together%s%s",
                          error.empty() ? "" : ": ", error.c_str()));
  }
  return true;
}

// Pictures of other sizes fitted into one: scaled with their shape kept and
// centred, the rest black.
class TFitter {
public:
  const TzxRgbPicture &Fit(const TzxRgbPicture &p, int32_t w, int32_t h) {
    if (p.Width == w && p.Height == h) return p;
    int32_t fw = w, fh = static_cast<int32_t>(std::llround(double(p.Height) * w / p.Width));
    if (fh > h) {
      fh = h;
      fw = static_cast<int32_t>(std::llround(double(p.Width) * h / p.Height));
    }
    fw = std::clamp(fw, 1, w);
    fh = std::clamp(fh, 1, h);
    const uint8_t *rgb = p.Pixels.data();
    if (fw != p.Width || fh != p.Height) {
      FScaler.Scale(rgb, p.Width, p.Height, fw, fh, FScaled);
      rgb = FScaled.data();
    }
    FOut.Width = w;
    FOut.Height = h;
    FOut.Pixels.assign(size_t(w) * size_t(h) * 3, 0);
    const int32_t left = (w - fw) / 2, top = (h - fh) / 2;
    for (int32_t y = 0; y < fh; ++y)
      std::memcpy(FOut.At(left, top + y), rgb + size_t(y) * size_t(fw) * 3, size_t(fw) * 3);
    return FOut;
  }

private:
  TzxScaler FScaler;
  std::vector<uint8_t> FScaled;
  TzxRgbPicture FOut;
};

// The frames to export: with --hash each segment's range, else (and with
// --segment all) the range of the segments taken one after another.
std::vector<TSpan> ExportedSpans(const TOptions &o, const TSegmentList &list,
                                 const std::vector<int32_t> &taken, const std::string &filmName) {
  std::vector<TSpan> spans;
  if (o.Kind == TOutKind::Hash && !o.AllSegments) {
    for (const int32_t i : taken) {
      const auto [from, to] = TTimeline(list, {i}).Range(o);
      spans.push_back({i, from, to, 0});
    }
    return spans;
  }
  const TTimeline timeline(list, taken);
  const auto [from, to] = timeline.Range(o);
  spans = timeline.Spans(from, to);
  if (!spans.empty()) return spans;
  const std::string what =
      taken.size() == 1 ? Format("Segment %d", SegmentNumber(*list.Get(taken[0]))) : filmName;
  throw EzxError(Format("%s has no frame in the range asked for (frames %lld .. %lld of %lld)",
                        what.c_str(), static_cast<long long>(from), static_cast<long long>(to),
                        static_cast<long long>(timeline.Frames())));
}

} // namespace

int CommandExport(const std::vector<std::string> &args) {
  TOptions o;
  if (!ParseOptions(args, o)) return 0;
  TzxToolSession session;
  const TzxFilmInput film = OpenFilm(o.Film, session);
  o.Rules.AddInput(film.Path);
  // One output file is refused before the work, not after it.
  if (o.Kind != TOutKind::Hash && o.Kind != TOutKind::Directory && o.Kind != TOutKind::Pattern &&
      o.Out != "-")
    o.Rules.Check(o.Out);
  TSegmentList list;
  LoadFilmFile(film, list, session);
  const int32_t chosen = o.Segment > 0 ? FindSegment(list, o.Segment, film.Name) : -1;
  std::string warnings, notes;
  const std::vector<int32_t> taken = TakenSegments(o, list, chosen, film.Name, warnings);
  const std::vector<TSpan> spans = ExportedSpans(o, list, taken, film.Name);
  const bool noteSegment =
      chosen < 0 && !o.AllSegments && o.Kind != TOutKind::Hash && list.Count() > 1;

  // Frames of many segments in one video or raw stream take the first
  // one's size; a video takes the highest rate, the frames of slower
  // segments shown as long as they last.
  const bool video = IsH264Kind(o.Kind) || o.Kind == TOutKind::Webm || o.Kind == TOutKind::Gif;
  const bool joined = spans.size() > 1 && (video || o.Kind == TOutKind::Raw);
  const TSegmentInfo &lead = *list.Get(spans[0].Index);
  int64_t rate = std::llround(SegmentRate(lead));
  for (const TSpan &p : spans)
    rate = std::max<int64_t>(rate, std::llround(SegmentRate(*list.Get(p.Index))));
  int64_t frames = 0; // of the video
  for (const TSpan &p : spans) {
    const TSegmentInfo &s = *list.Get(p.Index);
    frames += Shown(p, list, rate, p.To);
    if (joined && (s.Width != lead.Width || s.Height != lead.Height))
      notes +=
          Format("zxtool: segment %d (%d x %d) is fitted into %d x %d, the picture size of "
                 "segment %d: scaled with its shape kept, the rest black\n",
                 SegmentNumber(s), s.Width, s.Height, lead.Width, lead.Height, SegmentNumber(lead));
    if (joined && video && std::llround(SegmentRate(s)) != rate)
      notes +=
          Format("zxtool: segment %d runs at %d fps, the video at %lld: each of its frames "
                 "is shown for as long as it lasts\n",
                 SegmentNumber(s), static_cast<int>(SegmentRate(s)), static_cast<long long>(rate));
  }

  TzxTempFile filmSound; // outlives the sink that reads it
  std::unique_ptr<TFrameSink> sink;
  switch (o.Kind) {
  case TOutKind::Hash: sink = std::make_unique<THashSink>(); break;
  case TOutKind::Directory:
  case TOutKind::Pattern: sink = std::make_unique<TPngSink>(o); break;
  case TOutKind::Raw: sink = std::make_unique<TRawSink>(o); break;
  default:
    if (!joined) {
      sink = std::make_unique<TVideoSink>(o, lead, spans[0].From, spans[0].To);
      break;
    }
    auto videoSink = std::make_unique<TVideoSink>(o, lead, 0, frames);
    if (o.Kind != TOutKind::Gif) {
      filmSound.Reset(MakeTempFileName("flac", "", "zxF_"));
      if (!MakeFilmSound(spans, list, rate, filmSound.Name(), notes)) filmSound.Remove();
    } else {
      for (const TSpan &p : spans)
        if (HasSound(*list.Get(p.Index)))
          notes += Format("zxtool: segment %d is exported without sound: GIF has none\n",
                          SegmentNumber(*list.Get(p.Index)));
    }
    videoSink->UseFilmSound(double(rate), filmSound.Name());
    sink = std::move(videoSink);
    break;
  }

  TzxRgbPicture picture;
  TFitter fitter;
  // Each pass over the frames plays the film from its start, with the
  // colours the player starts with.
  for (int32_t pass = 0; pass < sink->Passes(); ++pass) {
    if (pass > 0) sink->NextPass();
    TzxPalette palette{};
    size_t next = 0; // in spans
    for (int32_t s = 0; next < spans.size(); ++s) {
      TSegmentInfo &segment = *list.Get(s);
      // The player passes over a segment with nothing to play; the colours
      // of the segments before and between the ones exported play on.
      if (!NothingToPlay(segment).empty()) continue;
      if (s != spans[next].Index) {
        PlayPalette(segment, palette);
        continue;
      }
      const TSpan &span = spans[next++];
      const int32_t number = SegmentNumber(segment);
      const int64_t count = std::max(segment.FrameCount, 0);
      TzxSegmentRenderer renderer(segment, palette);
      // The range starts where the seek index puts the renderer; one walk
      // through the frames needs no snapshots.
      TzxSeekIndex seek(renderer, 0);
      TzxProgress progress(Format("segment %d%s", number, sink->PassLabel(pass).c_str()), span.To);
      try {
        const bool more = span.From == 0 || seek.Seek(static_cast<int32_t>(span.From - 1));
        while (more && renderer.FrameIndex() + 1 < span.To) {
          CheckInterrupted();
          if (!renderer.NextFrame()) break;
          const int32_t k = renderer.FrameIndex();
          progress.Update(k + 1);
          if (k < span.From) continue;
          renderer.Render(picture, o.Cursor);
          const TzxRgbPicture &shown =
              joined ? fitter.Fit(picture, lead.Width, lead.Height) : picture;
          const int64_t times =
              joined && video ? Shown(span, list, rate, k + 1) - Shown(span, list, rate, k) : 1;
          // Checksum lines name the segment's frames; files are numbered in the film.
          const int64_t frame = o.Kind == TOutKind::Hash ? k : span.FilmFrame + k;
          for (int64_t t = 0; t < times; ++t)
            sink->Frame(number, frame, shown);
        }
      } catch (const EzxCorruptFrame &e) {
        // The renderer names the frame it was decoding.
        throw EzxError(Format("Segment %d, frame %d: %s", number, renderer.FrameIndex(), e.what()));
      }
      if (renderer.Ended() && !renderer.EndReason().empty()) {
        // The player goes on with the next segment; a video of the whole
        // film shows the last picture until then, so that the sound of the
        // segments after it stays in step.
        if (pass == 0)
          warnings += Format("zxtool: warning: segment %d ends early: %s\n", number,
                             renderer.EndReason().c_str());
        if (joined && video) {
          renderer.Render(picture, o.Cursor);
          const TzxRgbPicture &shown = fitter.Fit(picture, lead.Width, lead.Height);
          for (int64_t k = std::max<int64_t>(renderer.FrameIndex() + 1, span.From); k < span.To;
               ++k)
            for (int64_t t = Shown(span, list, rate, k + 1) - Shown(span, list, rate, k); t > 0;
                 --t)
              sink->Frame(number, span.FilmFrame + k, shown);
        }
      }
      progress.Finish();
      // The palette plays on through the frames left undecoded.
      if (next < spans.size() && segment.BitsPerPixel == 8 && segment.PaletteTrack) {
        try {
          for (int64_t k = renderer.FrameIndex() + 1; k < count; ++k)
            ApplyPaletteChange(*segment.PaletteTrack, palette);
        } catch (const EzxCorruptFrame &) {
        }
      }
    }
  }
  CheckInterrupted();
  sink->Finish();
  std::fputs((warnings + notes).c_str(), stderr);
  if (noteSegment)
    std::fprintf(stderr,
                 "zxtool: %s has %d segments; exported segment %d (choose with --segment N, or "
                 "--segment all for the whole film)\n",
                 film.Name.c_str(), list.Count(), SegmentNumber(lead));
  return 0;
}
