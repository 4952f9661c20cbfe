// zxtool export FILM OUT [--segment N] [--from A] [--to B | -t D] [--scale S] [--no-cursor]
//                        [--crf N] [--pix-fmt F] [--lossless] [--crop]
// zxtool export FILM --hash [--segment N] [--from A] [--to B | -t D] [--no-cursor]
//
// Renders frames as the player shows them: frame k is the picture after
// frames 0 .. k with the cursor sample k x TicksPerFrame drawn on it.
// OUT by its name: NAME.mp4, .mkv, .mov, .avi (H.264), NAME.webm (VP9),
// NAME.gif, a pattern such as DIR/%06d.png, NAME.rgb or "-" (raw RGB24
// frames end to end, to a file or standard output), or else a directory
// that receives 000000.png ... Files are numbered by frame index. Videos run
// at the segment's frame rate and carry its MP3 sound, copied as it is
// where the container takes it. --from, --to and --duration take times as
// FFmpeg does (seconds, [HH:]MM:SS[.ms]) or frame numbers ("120f"); --to is
// exclusive.
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

#include <csignal>
#include <cstdio>
#include <cstdlib>
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
  int32_t Segment = -1; // its number (from 1), -1 when not chosen
  std::optional<TzxTimeValue> From, To, Duration;
  TzxScale Scale;
  bool Cursor = true;
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
      "second. --hash prints \"SEGMENT FRAME SHA256\" for each frame instead: the checksum of "
      "the picture's RGB24 bytes.");
  cl.add_option("FILM", o.Film, "a film or a self-playing executable")->required()->type_name("");
  cl.add_option("OUT", o.Out, "where the frames go (not with --hash)")->type_name("");
  cl.add_flag("--hash", hash, "print a checksum line per frame (every segment unless --segment)");
  cl.add_option("--segment", segment,
                "the segment numbered N (default: the first; with --hash, all)")
      ->type_name("N");
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
  cl.ProgressOptions();
  cl.Notes(std::string(SegmentNumbering) + " " + TimeSyntax);
  if (!cl.Parse(args)) return false;
  if (!segment.empty()) o.Segment = ParseSegmentNumber("--segment", segment);
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

// The frames [first, second) of a segment of count frames at fps that the
// options ask for: --from's frame up to --to's, or --duration's length on.
std::pair<int64_t, int64_t> FrameRange(const TOptions &o, double fps, int64_t count) {
  const int64_t from = o.From ? o.From->FrameAt(fps) : 0;
  int64_t to = count;
  if (o.To) {
    to = o.To->FrameAt(fps);
  } else if (o.Duration && o.Duration->InFrames) {
    to = from + o.Duration->Frames;
  } else if (o.Duration) {
    TzxTimeValue end;
    end.Seconds = (o.From ? o.From->SecondsAt(fps) : 0) + o.Duration->Seconds;
    to = end.FrameAt(fps);
  }
  return {std::min(from, count), std::min(to, count)};
}

// The frame rate the player shows a segment at; 0 counts as the player's
// 100 ms clock.
double SegmentRate(const TSegmentInfo &s) {
  return s.FramesPerSecond > 0 ? s.FramesPerSecond : 10.0;
}

// Plays the palette tracks of earlier segments, so that an 8-bit segment
// starts from the colours the player has when it reaches it.
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
  // segment: its number.
  virtual void Frame(int32_t segment, int32_t frame, const TzxRgbPicture &picture) = 0;
  virtual void Finish() = 0;
};

class THashSink : public TFrameSink {
public:
  void Frame(int32_t segment, int32_t frame, const TzxRgbPicture &picture) override {
    FLines += Format("%d %d %s\n", segment, frame, PictureSha256(picture).c_str());
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
  TPngSink(const std::string &out, TOutKind kind, const TzxScale &scale)
      : TScaledSink(scale),
        FPattern(kind == TOutKind::Pattern ? fs::path(out).filename().string() : "%06d.png"),
        FFiles(kind == TOutKind::Pattern ? fs::path(out).parent_path().string() : out) {}

  void Frame(int32_t, int32_t frame, const TzxRgbPicture &picture) override {
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
  TRawSink(const std::string &out, const TzxScale &scale)
      : TScaledSink(scale), FName(out == "-" ? "to standard output" : out) {
    if (out == "-") {
      // A reader that goes away makes the writes fail instead of ending us.
      std::signal(SIGPIPE, SIG_IGN);
      FFile = stdout;
    } else {
      FOutput = std::make_unique<TzxOutputFile>(out);
      FFile = std::fopen(FOutput->TempName().c_str(), "wb");
      if (!FFile) throw EzxError(Format("Cannot create %s", out.c_str()));
    }
  }
  ~TRawSink() override {
    if (FFile && FFile != stdout) std::fclose(FFile);
  }

  void Frame(int32_t, int32_t, const TzxRgbPicture &picture) override {
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
        FNumber(SegmentNumber(segment)), FFrom(from), FTo(to), FOutput(o.Out),
        FLog(MakeTempFileName("txt", "", "zxF_")) {}

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

  void Frame(int32_t, int32_t, const TzxRgbPicture &picture) override {
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
  // The segment's sound as FFmpeg reads it; 0 when it is left out, with a
  // note saying why.
  int32_t SoundRate() {
    if (FSegment.SoundFileName.empty() || !FileExists(FSegment.SoundFileName)) return 0;
    if (FOptions.Kind == TOutKind::Gif) {
      FNotes.push_back(Format("segment %d is exported without sound: GIF has none", FNumber));
      return 0;
    }
    try {
      TzxMpegLayer3WaveFormat format;
      GetMp3FileInfo(FSegment.SoundFileName, format);
    } catch (const EzxMp3Error &e) {
      FNotes.push_back(Format("segment %d is exported without sound: its sound %s", FNumber,
                              e.Reason().c_str()));
      return 0;
    }
    const TzxMediaInfo media = ProbeMedia(FSegment.SoundFileName);
    if (!media.HasAudio) {
      FNotes.push_back(
          Format("segment %d is exported without sound: FFmpeg cannot decode its sound (%s)",
                 FNumber, media.Error.empty() ? "no audio stream" : media.Error.c_str()));
      return 0;
    }
    return std::max(media.SampleRate, 1);
  }

  void Start(int32_t w, int32_t h) {
    const double fps = SegmentRate(FSegment);
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
      a.insert(a.end(), {"-ss", Format("%.6f", double(FFrom) / fps), "-i", FSegment.SoundFileName,
                         "-map", "0:v", "-map", "1:a"});
    a.insert(a.end(), {"-t", length});
    if (!e.Filter.empty()) a.insert(a.end(), {"-vf", e.Filter});
    a.insert(a.end(), e.Video.begin(), e.Video.end());
    if (rate > 0 && e.CopySound) a.insert(a.end(), {"-c:a", "copy"});
    if (rate > 0 && !e.CopySound) {
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
    std::string reason = ReplaceAll(LastLineOf(FLog.Name()), FSegment.SoundFileName,
                                    Format("the sound of segment %d", FNumber));
    reason = ReplaceAll(reason, FOutput.TempName(), FOptions.Out);
    if (!FPalette.Name().empty()) reason = ReplaceAll(reason, FPalette.Name(), "the GIF palette");
    throw EzxError(Format("ffmpeg could not write %s%s%s", FOptions.Out.c_str(),
                          reason.empty() ? "" : ": ", reason.c_str()));
  }

  const TOptions &FOptions;
  const TSegmentInfo &FSegment;
  int32_t FNumber;
  int64_t FFrom, FTo;
  int32_t FPass = 0;
  std::vector<std::string> FNotes; // said once the video is written, on one line
  TzxOutputFile FOutput;
  TzxTempFile FLog;
  TzxTempFile FPalette;                    // a GIF's, between its passes
  std::unique_ptr<TzxChildProcess> FChild; // destroyed (killed) before FOutput goes
};

} // namespace

// Loads a film, or the film of a self-playing executable, through the
// player's loader into list; throws with a clear reason when nothing
// playable comes out of it.
void LoadFilmFile(const std::string &name, TSegmentList &list, const TzxToolSession &session) {
  if (!FileExists(name) || fs::is_directory(name))
    throw EzxError(Format("Cannot open %s", name.c_str()));
  TzxFileStream film(name, fmOpenRead | fmShareDenyNone);
  // A self-playing executable carries its film behind the program, as
  // zxtool info reads it.
  char mz[2] = {};
  const bool program = film.Read(mz, 2) == 2 && mz[0] == 'M' && mz[1] == 'Z';
  film.Seek(0);
  if (program && ReadExecutableTrailer(film).FilmBase < 0)
    throw EzxError(Format("%s is a program that carries no film", name.c_str()));
  bool loaded = false;
  try {
    loaded = program ? LoadEmbeddedFilm(&film, list) : LoadFilm(&film, list);
  } catch (const EzxError &e) {
    throw EzxError(Format("%s is not a readable film: %s", name.c_str(), e.what()));
  }
  std::string boxes;
  for (const auto &b : session.Boxes())
    boxes += (boxes.empty() ? "" : "; ") + b.Text;
  while (!boxes.empty() && (boxes.back() == '\r' || boxes.back() == '\n'))
    boxes.pop_back();
  for (char &c : boxes)
    if (c == '\r' || c == '\n') c = ' ';
  if (!loaded)
    throw EzxError(
        Format("%s is not a film%s%s", name.c_str(), boxes.empty() ? "" : ": ", boxes.c_str()));
  if (list.Count() == 0)
    throw EzxError(Format("%s holds no playable segment%s%s", name.c_str(),
                          boxes.empty() ? "" : ": ", boxes.c_str()));
}

int CommandExport(const std::vector<std::string> &args) {
  TOptions o;
  if (!ParseOptions(args, o)) return 0;
  TzxToolSession session;
  TSegmentList list;
  LoadFilmFile(o.Film, list, session);
  const int32_t chosen = o.Segment > 0 ? FindSegment(list, o.Segment, o.Film) : -1;

  // Hashes cover every segment unless one is chosen; pictures and videos
  // come from one segment, the first unless chosen.
  const int32_t first = chosen >= 0 ? chosen : 0;
  const int32_t last = chosen >= 0 || o.Kind != TOutKind::Hash ? first : list.Count() - 1;
  const bool noteSegment = chosen < 0 && o.Kind != TOutKind::Hash && list.Count() > 1;

  TzxPalette palette{};
  for (int32_t i = 0; i < first; ++i)
    PlayPalette(*list.Get(i), palette);

  std::unique_ptr<TFrameSink> sink;
  TzxRgbPicture picture;
  for (int32_t s = first; s <= last; ++s) {
    TSegmentInfo &segment = *list.Get(s);
    const int32_t number = SegmentNumber(segment);
    const double fps = SegmentRate(segment);
    const int64_t count = std::max(segment.FrameCount, 0);
    const auto [from, to] = FrameRange(o, fps, count);
    if (from >= to && o.Kind != TOutKind::Hash)
      throw EzxError(Format("Segment %d has no frame in the range asked for (frames %lld .. %lld "
                            "of %lld)",
                            number, static_cast<long long>(from), static_cast<long long>(to),
                            static_cast<long long>(count)));
    if (!sink) {
      switch (o.Kind) {
      case TOutKind::Hash: sink = std::make_unique<THashSink>(); break;
      case TOutKind::Directory:
      case TOutKind::Pattern: sink = std::make_unique<TPngSink>(o.Out, o.Kind, o.Scale); break;
      case TOutKind::Raw: sink = std::make_unique<TRawSink>(o.Out, o.Scale); break;
      default: sink = std::make_unique<TVideoSink>(o, segment, from, to); break;
      }
    }
    if (segment.FrameCount > 0 && (!segment.VideoStream || segment.VideoStream->Size() == 0))
      throw EzxError(
          Format("Segment %d has no frame data: its payload could not be unpacked", number));
    // Each pass over the frames starts from the colours the segment starts with.
    const TzxPalette entryPalette = palette;
    int32_t decoded = -1; // the last frame decoded
    for (int32_t pass = 0; pass < sink->Passes(); ++pass) {
      if (pass > 0) {
        sink->NextPass();
        palette = entryPalette;
      }
      TzxSegmentRenderer renderer(segment, palette);
      TzxProgress progress(Format("segment %d%s", number, sink->PassLabel(pass).c_str()), to);
      int32_t decoding = 0; // NextFrame decodes the frame after FrameIndex()
      try {
        while (renderer.FrameIndex() + 1 < to) {
          CheckInterrupted();
          decoding = renderer.FrameIndex() + 1;
          if (!renderer.NextFrame()) break;
          const int32_t k = renderer.FrameIndex();
          progress.Update(k + 1);
          if (k < from) continue;
          renderer.Render(picture, o.Cursor);
          sink->Frame(number, k, picture);
        }
      } catch (const EzxCorruptFrame &e) {
        throw EzxError(Format("Segment %d, frame %d: %s", number, decoding, e.what()));
      }
      progress.Finish();
      decoded = renderer.FrameIndex();
    }
    // The palette plays on through the frames left undecoded.
    if (s < last && segment.BitsPerPixel == 8 && segment.PaletteTrack) {
      try {
        for (int64_t k = decoded + 1; k < count; ++k)
          ApplyPaletteChange(*segment.PaletteTrack, palette);
      } catch (const EzxCorruptFrame &) {
      }
    }
  }
  CheckInterrupted();
  sink->Finish();
  if (noteSegment)
    std::fprintf(stderr,
                 "zxtool: %s has %d segments; exported segment %d (choose with --segment)\n",
                 o.Film.c_str(), list.Count(), SegmentNumber(*list.Get(first)));
  return 0;
}
