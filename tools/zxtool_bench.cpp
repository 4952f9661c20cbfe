// zxtool bench FILM [--segment N] [--min-time TIME] [--passes N]
//
// How fast a film loads and decodes, measured apart:
//   load     LoadFilm: every packed payload through its unpacker (the LZMA
//            coder, or the cabinet reader) and the parts read into the
//            segment records;
//   lzma     the LZMA coder alone on the same payloads, and beside it the
//            SDK's coder as a child process ("lzma_alone d"), where it is
//            on the PATH;
//   decode   every frame through the direct path (runs XORed straight into
//            the picture, as the player decodes) with the recorded cursor
//            composed over the picture, nothing written anywhere; repeated
//            until --min-time has passed (default 1 s) or --passes times;
//            every segment, or the one --segment names;
//   in turns the renderer without the cursor, the fused path alone (the
//            frame walk and XorFrameIntoPicture over the records held in
//            memory) and a plain loop over the same runs without any check
//            (only over records the decoder has accepted first), in short
//            rounds one after the other, best round of each, and how the
//            first two compare with the third.
// Also the time the checksum of one picture takes (export --hash), the peak
// resident memory, and the instructions per decoded frame where the kernel
// lets a process count its own (perf_event_open).
#include "zxtool.h"

#include "UzxCursor_new.h"
#include "ZxcabClasses.h"
#include "zxFfmpegPipe.h"
#include "zxFilmWriter.h"
#include "zxLoader.h"
#include "zxLzma.h"
#include "zxRender.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <linux/perf_event.h>
#include <malloc.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

double Seconds(TClock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Counts the instructions this process executes in user mode while enabled.
class TInstructionCounter {
public:
  TInstructionCounter() {
    perf_event_attr attr;
    std::memset(&attr, 0, sizeof attr);
    attr.type = PERF_TYPE_HARDWARE;
    attr.size = sizeof attr;
    attr.config = PERF_COUNT_HW_INSTRUCTIONS;
    attr.disabled = 1;
    attr.exclude_kernel = 1;
    attr.exclude_hv = 1;
    FFd = static_cast<int>(::syscall(SYS_perf_event_open, &attr, 0, -1, -1, 0));
    if (FFd < 0) FReason = std::strerror(errno);
  }
  ~TInstructionCounter() {
    if (FFd >= 0) ::close(FFd);
  }
  TInstructionCounter(const TInstructionCounter &) = delete;
  TInstructionCounter &operator=(const TInstructionCounter &) = delete;

  bool Available() const { return FFd >= 0; }
  const std::string &Reason() const { return FReason; }
  void Start() {
    if (FFd < 0) return;
    ::ioctl(FFd, PERF_EVENT_IOC_RESET, 0);
    ::ioctl(FFd, PERF_EVENT_IOC_ENABLE, 0);
  }
  // The count since Start, or -1.
  int64_t Stop() {
    if (FFd < 0) return -1;
    ::ioctl(FFd, PERF_EVENT_IOC_DISABLE, 0);
    uint64_t count = 0;
    if (::read(FFd, &count, sizeof count) != sizeof count) return -1;
    return static_cast<int64_t>(count);
  }

private:
  int FFd = -1;
  std::string FReason;
};

// Composes the recorded cursor over the picture into a patch of the
// cursor's size, as the player paints the cursor's rectangle: the picture
// itself stays as decoded.
class TCursorComposer {
public:
  // Returns a byte of the patch, so that the work cannot be left out.
  uint8_t Compose(const TzxSegmentRenderer &r, const TSegmentInfo &s, const TzxPalette &palette) {
    if (!r.HasCursorSample() || !s.Cursors) return 0;
    const TzxCursorSample &sample = r.CursorSample();
    const TzxCursor *cursor = s.Cursors->Get(sample.Cursor);
    if (!cursor || !cursor->Valid()) return 0;
    const int32_t w = cursor->Mask().Width;
    const int32_t h = cursor->Monochrome() ? cursor->Mask().Height / 2 : cursor->Mask().Height;
    const int64_t left = int64_t(sample.X) - cursor->HotSpotX();
    const int64_t top = int64_t(sample.Y) - cursor->HotSpotY();
    FPatch.Width = w;
    FPatch.Height = h;
    FPatch.Pixels.assign(size_t(w) * size_t(h) * 3, 0);
    const TzxPictureLayout &l = r.Layout();
    const uint8_t *picture = r.Picture().data();
    for (int32_t y = 0; y < h; ++y) {
      const int64_t py = top + y;
      if (py < 0 || py >= l.Height) continue;
      for (int32_t x = 0; x < w; ++x) {
        const int64_t px = left + x;
        if (px < 0 || px >= l.Width) continue;
        const uint8_t *p =
            picture + size_t(py) * size_t(l.Stride) + size_t(px) * size_t(l.Format.PixelBytes);
        uint8_t *out = FPatch.At(x, y);
        if (l.Format.PixelBytes == 1) {
          const TzxPaletteEntry &e = palette[*p];
          out[0] = e.Red, out[1] = e.Green, out[2] = e.Blue;
        } else {
          out[0] = p[2], out[1] = p[1], out[2] = p[0];
        }
      }
    }
    DrawCursor(*cursor, cursor->HotSpotX(), cursor->HotSpotY(), FPatch);
    return FPatch.Pixels.empty() ? 0 : FPatch.Pixels[FPatch.Pixels.size() / 2];
  }

private:
  TzxRgbPicture FPatch;
};

struct TDecodeResult {
  int64_t Frames = 0;
  int64_t Pixels = 0;
  int32_t Passes = 0;
  double Seconds = 0;
  int64_t Instructions = -1;
  std::string NoCounter; // why there is no instruction count
};

// Decodes every segment (or the one at index only) once per pass.
TDecodeResult Decode(TSegmentList &list, int32_t only, bool cursor, double minTime,
                     int32_t passes) {
  TDecodeResult result;
  TInstructionCounter counter;
  TCursorComposer composer;
  uint32_t sink = 0;
  counter.Start();
  const auto start = TClock::now();
  do {
    TzxPalette palette{};
    for (int32_t i = 0; i < list.Count(); ++i) {
      if ((only >= 0 && i != only) || !NothingToPlay(*list.Get(i)).empty()) continue;
      TSegmentInfo &s = *list.Get(i);
      TzxSegmentRenderer r(s, palette, TzxSegmentRenderer::TDecodePath::Direct);
      try {
        while (r.NextFrame()) {
          if (cursor) sink += composer.Compose(r, s, palette);
          if ((result.Frames & 1023) == 0) CheckInterrupted();
          ++result.Frames;
          result.Pixels += r.Layout().Pixels();
        }
      } catch (const EzxCorruptFrame &e) {
        throw EzxError(
            Format("Segment %d, frame %d: %s", SegmentNumber(s), r.FrameIndex(), e.what()));
      }
      sink += r.Picture().empty() ? 0 : r.Picture()[0];
    }
    ++result.Passes;
    result.Seconds = Seconds(TClock::now() - start);
  } while (passes > 0 ? result.Passes < passes : result.Seconds < minTime);
  const int64_t instructions = counter.Stop();
  if (instructions >= 0 && result.Frames > 0) result.Instructions = instructions;
  result.NoCounter = counter.Reason();
  // Keeps the compiler from dropping the work whose result nobody reads.
  if (sink == 0x5EED5EED) std::fprintf(stderr, " ");
  return result;
}

uint32_t Get32(const uint8_t *p, size_t at) {
  return uint32_t(p[at]) | uint32_t(p[at + 1]) << 8 | uint32_t(p[at + 2]) << 16 |
         uint32_t(p[at + 3]) << 24;
}

// The records of a segment's frames in memory, each checked by the decoder
// (ParseFrameRecord, XorFrameIntoPicture without error), so that the plain
// loop may run over them unchecked; and what their runs are like.
struct TCheckedRecords {
  TSegmentInfo *Segment = nullptr;
  TzxPictureLayout Layout;
  TzxBytes Data; // the records end to end, those of frames 1 .. Frames
  int32_t Frames = 0;
  int64_t Runs = 0;
  int64_t ZeroRuns = 0;      // runs of value 0, which change nothing
  int64_t ChangedPixels = 0; // pixels of the other runs
};

// The simplest loop over the same runs, for comparison: no checks at all,
// so only for records that CheckRecords accepted. XORs a value's bytes one
// pixel at a time; runs of value 0 only move on.
template <int32_t PixelBytes>
void PlainLoop(const TzxPictureLayout &l, const uint8_t *data, size_t size, uint8_t *picture) {
  constexpr int32_t RunSize = PixelBytes == 1 ? 2 : 5;
  const uint8_t *const end = data + size;
  for (const uint8_t *record = data; record != end; record += Get32(record, 0)) {
    const int32_t runs = static_cast<int32_t>(Get32(record, 4));
    const uint8_t *run = record + 8;
    uint8_t *p = picture;
    int32_t col = 0;
    for (int32_t i = 0; i < runs; ++i, run += RunSize) {
      const uint32_t count = PixelBytes == 1 ? run[1] : run[3] | run[4] << 8;
      const uint32_t value =
          PixelBytes == 1 ? run[0] : uint32_t(run[0]) | uint32_t(run[1]) << 8 | run[2] << 16;
      if (l.RowPad == 0) {
        if (value != 0)
          for (uint32_t k = 0; k < count; ++k, p += PixelBytes) {
            if constexpr (PixelBytes == 4) {
              uint32_t x;
              std::memcpy(&x, p, 4);
              x ^= value;
              std::memcpy(p, &x, 4);
            } else {
              for (int32_t b = 0; b < PixelBytes; ++b)
                p[b] ^= static_cast<uint8_t>(value >> (8 * b));
            }
          }
        else
          p += size_t(count) * PixelBytes;
      } else if (value == 0) {
        col += static_cast<int32_t>(count);
        p += size_t(count) * PixelBytes + size_t(col / l.Width) * size_t(l.RowPad);
        col %= l.Width;
      } else {
        for (uint32_t k = 0; k < count; ++k, p += PixelBytes) {
          for (int32_t b = 0; b < PixelBytes; ++b)
            p[b] ^= static_cast<uint8_t>(value >> (8 * b));
          if (++col == l.Width) col = 0, p += l.RowPad;
        }
      }
    }
  }
}

void PlainLoop(const TCheckedRecords &c, uint8_t *picture) {
  const uint8_t *data = c.Data.data();
  switch (c.Layout.Format.PixelBytes) {
  case 1: PlainLoop<1>(c.Layout, data, c.Data.size(), picture); break;
  case 3: PlainLoop<3>(c.Layout, data, c.Data.size(), picture); break;
  case 4: PlainLoop<4>(c.Layout, data, c.Data.size(), picture); break;
  }
}

TCheckedRecords CheckRecords(TSegmentInfo &s) {
  TCheckedRecords c;
  c.Segment = &s;
  c.Layout = MakePictureLayout(s.Width, s.Height, s.BitsPerPixel);
  TzxStream &video = *s.VideoStream;
  c.Data.resize(size_t(std::max(video.Size(), 0)));
  video.Seek(0);
  video.ReadBuffer(c.Data.data(), static_cast<int32_t>(c.Data.size()));
  std::vector<uint8_t> picture(c.Layout.PictureBytes());
  const TzxRunFormat &f = c.Layout.Format;
  TzxFrameWalk walk(c.Data.data(), c.Data.size(), f);
  try {
    for (; c.Frames < s.FrameCount; ++c.Frames) {
      const TzxFrameRecord r = walk.Take();
      XorFrameIntoPicture(c.Layout, r, picture.data(), picture.size());
      for (int32_t i = 0; i < r.RunCount; ++i) {
        const uint8_t *run = r.Runs + int64_t(i) * f.RunSize;
        const uint32_t count = f.CountSize == 1 ? run[f.CountOffset]
                                                : run[f.CountOffset] | run[f.CountOffset + 1] << 8;
        const bool zero = f.PixelBytes == 1 ? run[0] == 0 : (run[0] | run[1] | run[2]) == 0;
        ++c.Runs;
        if (zero)
          ++c.ZeroRuns;
        else
          c.ChangedPixels += count;
      }
    }
  } catch (const EzxCorruptFrame &e) {
    throw EzxError(Format("Segment %d, frame %d: %s", SegmentNumber(s), c.Frames + 1, e.what()));
  }
  c.Data.resize(walk.Offset());
  // Both loops must arrive at the same picture for the comparison to mean
  // anything.
  std::vector<uint8_t> plain(picture.size());
  PlainLoop(c, plain.data());
  if (plain != picture)
    throw EzxError(Format("Segment %d: the plain loop decodes another picture than the player's "
                          "path",
                          SegmentNumber(s)));
  return c;
}

// The player's way over the same records: the frame walk and the runs XORed
// into the picture, with every check.
void FusedPath(const TCheckedRecords &c, uint8_t *picture, size_t pictureSize) {
  for (TzxFrameWalk walk(c.Data.data(), c.Data.size(), c.Layout.Format); !walk.AtEnd();)
    XorFrameIntoPicture(c.Layout, walk.Take(), picture, pictureSize);
}

struct TLoopRates {
  // Frames per second, each the best round's.
  double Renderer = 0;
  double Fused = 0;
  double Plain = 0;
  int32_t Rounds = 0;
};

// The renderer without the cursor, the fused path and the plain loop in
// turns over every checked segment, rounds of about 20 ms (or of passes
// passes), best round of each: the turns share whatever else the machine
// is doing at the time, and a short round is more often left alone.
TLoopRates TimeLoops(const std::vector<TCheckedRecords> &segments, double minTime, int32_t passes) {
  TLoopRates rates;
  int64_t frames = 0;
  size_t largest = 0;
  for (const TCheckedRecords &c : segments) {
    frames += c.Frames;
    largest = std::max(largest, c.Layout.PictureBytes());
  }
  if (frames == 0) return rates;
  std::vector<uint8_t> picture(largest);
  uint32_t sink = 0;
  auto round = [&](double &best, auto loop) {
    int32_t done = 0;
    const auto start = TClock::now();
    double spent = 0;
    do {
      for (const TCheckedRecords &c : segments)
        loop(c);
      ++done;
      spent = Seconds(TClock::now() - start);
    } while (passes > 0 ? done < passes : spent < 0.02);
    CheckInterrupted();
    best = std::max(best, double(frames) * done / spent);
  };
  const auto begin = TClock::now();
  do {
    round(rates.Renderer, [&](const TCheckedRecords &c) {
      TzxPalette palette{};
      TzxSegmentRenderer r(*c.Segment, palette, TzxSegmentRenderer::TDecodePath::Direct);
      while (r.NextFrame()) {
      }
      sink += r.Picture()[0];
    });
    round(rates.Fused,
          [&](const TCheckedRecords &c) { FusedPath(c, picture.data(), picture.size()); });
    round(rates.Plain, [&](const TCheckedRecords &c) { PlainLoop(c, picture.data()); });
    ++rates.Rounds;
  } while (rates.Rounds < 3 || (passes == 0 && Seconds(TClock::now() - begin) < minTime));
  if (sink == 0x5EED5EED) std::fprintf(stderr, " ");
  return rates;
}

uint32_t Get32(const TzxBytes &b, size_t at) {
  return Get32(b.data(), at);
}

// The packed LZMA payloads of the segments that have something to play,
// each in a temporary file of its own.
std::vector<std::unique_ptr<TzxTempFile>> LzmaPayloads(const TzxFilmInput &input,
                                                       const TSegmentList &list) {
  std::vector<bool> playable;
  for (int32_t i = 0; i < list.Count(); ++i) {
    const TSegmentInfo &s = *list.Get(i);
    if (s.EntryIndex < 0 || !NothingToPlay(s).empty()) continue;
    playable.resize(std::max(playable.size(), size_t(s.EntryIndex) + 1));
    playable[size_t(s.EntryIndex)] = true;
  }
  // Offsets count from the film's first byte, behind the program of a
  // self-playing executable.
  const TzxBytes film = ReadFilmBytes(input);
  std::vector<std::unique_ptr<TzxTempFile>> payloads;
  if (film.size() < 4) return payloads;
  const int32_t count = static_cast<int32_t>(Get32(film, 0));
  for (int32_t i = 0; i < count && 4 + int64_t(i + 1) * DirectoryEntrySize <= int64_t(film.size());
       ++i) {
    const size_t at = 4 + size_t(i) * DirectoryEntrySize;
    const int64_t start = static_cast<int32_t>(Get32(film, at));
    if (size_t(i) >= playable.size() || !playable[size_t(i)]) continue;
    if ((film[at + 4] | film[at + 5] << 8) != 1 || start < 0 ||
        start + SegmentHeaderSize > int64_t(film.size()))
      continue;
    const TSegmentHeader h = DecodeSegmentHeader(film.data() + start);
    if (h.Version >= 2 || (h.Flags & sfCompressionMask) != sfCompressionLzma || h.PackedSize <= 0 ||
        h.PackedOffset < 0 || start + h.PackedOffset + h.PackedSize > int64_t(film.size()))
      continue;
    payloads.push_back(std::make_unique<TzxTempFile>(MakeTempFileName("lzma", "", "zxB_")));
    const auto *p = film.data() + start + h.PackedOffset;
    WriteWholeFile(payloads.back()->Name(), TzxBytes(p, p + h.PackedSize));
  }
  return payloads;
}

// Times decode on every payload; decode returns whether the payload was
// decoded whole.
template <class TDecode>
double TimeDecoding(const std::vector<std::unique_ptr<TzxTempFile>> &payloads, const char *coder,
                    TDecode decode) {
  double seconds = 0;
  for (size_t i = 0; i < payloads.size(); ++i) {
    TzxTempFile unpacked(MakeTempFileName("bin", "", "zxB_"));
    const auto t0 = TClock::now();
    const bool done = decode(payloads[i]->Name(), unpacked.Name());
    seconds += Seconds(TClock::now() - t0);
    CheckInterrupted();
    if (!done) throw EzxError(Format("%s failed on LZMA payload %zu", coder, i + 1));
  }
  return seconds;
}

// The SDK's coder as a child process (lzma_alone d IN OUT), for comparison
// with the one in this process; false when it is not on the PATH.
bool HaveSystemCoder() {
  std::string out, err;
  try {
    RunProgram({"lzma_alone"}, out, err);
  } catch (const EzxError &) {
    return false;
  }
  return true;
}

bool SystemDecode(const std::string &packed, const std::string &unpacked) {
  TzxChildProcess child({"lzma_alone", "d", packed, unpacked}, TzxChildProcess::TPipe::FromChild,
                        "/dev/null");
  child.ReadAll();
  return child.Wait() == 0;
}

// Seconds per checksum of an RGB picture of w x h pixels, as export --hash
// takes one of every frame: repeated for at least seconds, or passes times.
double TimeChecksum(int32_t w, int32_t h, double seconds, int32_t passes) {
  TzxRgbPicture picture;
  picture.Width = std::max(w, 1);
  picture.Height = std::max(h, 1);
  picture.Pixels.resize(size_t(picture.Width) * size_t(picture.Height) * 3);
  uint32_t x = 12345;
  for (uint8_t &b : picture.Pixels)
    b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  uint32_t sink = 0;
  int32_t done = 0;
  const auto start = TClock::now();
  double spent = 0;
  do {
    sink += static_cast<uint8_t>(PictureSha256(picture)[0]);
    ++done;
    spent = Seconds(TClock::now() - start);
    if ((done & 63) == 0) CheckInterrupted();
  } while (passes > 0 ? done < passes : spent < seconds);
  if (sink == 0x5EED5EED) std::fprintf(stderr, " ");
  return spent / done;
}

} // namespace

int CommandBench(const std::vector<std::string> &args) {
  std::string filmName, segmentText, minTimeText, passesText;
  TzxCommandLine cl("bench", "How fast a film loads and decodes: loading (every payload "
                             "unpacked), the LZMA coder alone, decoding every frame with and "
                             "without the cursor, repeated for a minimum time, and the checksum "
                             "of a picture.");
  cl.add_option("FILM", filmName, "a film or a self-playing executable; - reads standard input")
      ->required()
      ->type_name("");
  cl.add_option("--segment", segmentText, "decode the segment numbered N only (default: all)")
      ->type_name("N");
  cl.add_option("--min-time", minTimeText, "decode for at least this long (default: 1 s)")
      ->type_name("TIME");
  cl.add_option("--passes", passesText, "decode this many times instead")->type_name("N");
  cl.Notes(std::string(SegmentNumbering) + " A TIME is seconds (2.5, 1500ms) or "
                                           "[HH:]MM:SS[.ms].");
  if (!cl.Parse(args)) return 0;
  const int32_t segment = segmentText.empty() ? -1 : ParseSegmentNumber("--segment", segmentText);
  const double minTime =
      minTimeText.empty() ? 1.0 : ParseTimeValue("--min-time", minTimeText, false).Seconds;
  if (!(minTime > 0))
    throw EzxUsageError(Format("--min-time %s: expected a time above 0", minTimeText.c_str()));
  const int32_t passes =
      passesText.empty()
          ? 0
          : static_cast<int32_t>(ParseWholeNumber("--passes", passesText, 1, 1000000));

  // The surfaces and blocks of a segment freed at the end of a pass stay with
  // the process for the next pass, as they would stay with a player that
  // plays on; without this every pass would fault in fresh pages.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  TzxToolSession session;
  const TzxFilmInput film = OpenFilm(filmName, session);
  TSegmentList list;
  const auto t0 = TClock::now();
  LoadFilmFile(film, list, session);
  const double load = Seconds(TClock::now() - t0);
  CheckInterrupted();
  const int32_t only = segment > 0 ? FindSegment(list, segment, film.Name) : -1;
  if (only >= 0 && !NothingToPlay(*list.Get(only)).empty())
    throw NothingToPlayError(*list.Get(only), film.Name);
  // The others are passed over, as the player passes them over.
  for (int32_t i = 0; i < list.Count(); ++i)
    if (only < 0 && !NothingToPlay(*list.Get(i)).empty())
      std::fputs(NothingToPlayWarning(*list.Get(i)).c_str(), stderr);

  int64_t frames = 0;
  for (int32_t i = 0; i < list.Count(); ++i)
    if (NothingToPlay(*list.Get(i)).empty()) frames += std::max(list.Get(i)->FrameCount, 0);
  const auto payloads = LzmaPayloads(film, list);
  const double lzma =
      TimeDecoding(payloads, "the LZMA coder", [](const std::string &in, const std::string &out) {
        TzxLzmaRun run;
        return RunLzmaTool('d', in, out, &run) && run.Failure.empty();
      });
  const double system = !payloads.empty() && HaveSystemCoder()
                            ? TimeDecoding(payloads, "lzma_alone d", SystemDecode)
                            : -1;

  const TDecodeResult bare = Decode(list, only, false, minTime / 2, passes);
  const TDecodeResult full = Decode(list, only, true, minTime, passes);
  std::vector<TCheckedRecords> checked;
  for (int32_t i = 0; i < list.Count(); ++i)
    if ((only < 0 || i == only) && NothingToPlay(*list.Get(i)).empty())
      checked.push_back(CheckRecords(*list.Get(i)));
  const TLoopRates loops = TimeLoops(checked, minTime, passes);
  const TSegmentInfo *shown = list.Count() > 0 ? list.Get(only >= 0 ? only : 0) : nullptr;
  const int32_t hashWidth = shown ? shown->Width : 0, hashHeight = shown ? shown->Height : 0;
  const double checksum =
      shown ? TimeChecksum(hashWidth, hashHeight, minTime / 4, passes > 0 ? passes : 0) : -1;

  rusage usage;
  std::memset(&usage, 0, sizeof usage);
  ::getrusage(RUSAGE_SELF, &usage);

  std::printf("film:          %s, %d segment%s, %lld frames\n", film.Name.c_str(), list.Count(),
              list.Count() == 1 ? "" : "s", static_cast<long long>(frames));
  for (int32_t i = 0; i < list.Count(); ++i) {
    const TSegmentInfo &s = *list.Get(i);
    if (!NothingToPlay(s).empty()) {
      std::printf("  segment %d:   nothing to play: %s\n", SegmentNumber(s),
                  NothingToPlay(s).c_str());
      continue;
    }
    std::printf("  segment %d:   %d x %d, %d bits, %d frames, %d fps\n", SegmentNumber(s), s.Width,
                s.Height, s.BitsPerPixel, s.FrameCount, s.FramesPerSecond);
  }
  std::printf("load:          %.1f ms (LoadFilm: unpacking and reading every segment)\n",
              load * 1e3);
  if (!payloads.empty()) {
    std::printf("lzma:          %.1f ms (%zu payload%s, the coder alone)\n", lzma * 1e3,
                payloads.size(), payloads.size() == 1 ? "" : "s");
    std::printf("load/lzma:     %.2f\n", load / lzma);
    if (system >= 0)
      std::printf("lzma_alone d:  %.1f ms (the SDK's coder as a child process, on the same "
                  "payloads)\n",
                  system * 1e3);
    else
      std::printf("lzma_alone d:  n/a (not on the PATH)\n");
  } else {
    std::printf("lzma:          n/a (no LZMA payload)\n");
  }
  auto line = [](const char *label, const TDecodeResult &r) {
    const double fps = r.Seconds > 0 ? double(r.Frames) / r.Seconds : 0;
    const double mps = r.Seconds > 0 ? double(r.Pixels) / r.Seconds / 1e6 : 0;
    std::printf("%s %.0f fps, %.0f MP/s (%lld frames in %d pass%s, %.3f s)\n", label, fps, mps,
                static_cast<long long>(r.Frames), r.Passes, r.Passes == 1 ? "" : "es", r.Seconds);
  };
  line("decode:       ", full);
  line("  no cursor:  ", bare);
  if (loops.Plain > 0) {
    std::printf("in turns:      best of %d rounds each\n", loops.Rounds);
    std::printf("  renderer:    %.0f fps (as no cursor: the video data read, walked and decoded)\n",
                loops.Renderer);
    std::printf("  fused:       %.0f fps (the frame walk and XorFrameIntoPicture over the records "
                "in memory)\n",
                loops.Fused);
    std::printf("  plain loop:  %.0f fps (the same runs through one unchecked loop)\n",
                loops.Plain);
    std::printf("fused/plain:   %.2f (renderer/plain %.2f)\n", loops.Fused / loops.Plain,
                loops.Renderer / loops.Plain);
    int64_t frames = 0, runs = 0, zero = 0, changed = 0;
    for (const TCheckedRecords &c : checked)
      frames += c.Frames, runs += c.Runs, zero += c.ZeroRuns, changed += c.ChangedPixels;
    std::printf("runs:          %.0f a frame, %.0f %% of them of value 0; %.1f pixels a run of "
                "another value\n",
                double(runs) / double(frames), runs > 0 ? 100.0 * double(zero) / double(runs) : 0,
                runs > zero ? double(changed) / double(runs - zero) : 0);
  }
  if (full.Instructions >= 0 && full.Frames > 0)
    std::printf("instructions:  %.0f per frame\n", double(full.Instructions) / double(full.Frames));
  else
    std::printf("instructions:  n/a (perf_event_open: %s)\n", full.NoCounter.c_str());
  if (checksum > 0)
    std::printf("sha256:        %.2f ms a %d x %d picture, %.0f MB/s (export --hash)\n",
                checksum * 1e3, hashWidth, hashHeight,
                double(hashWidth) * hashHeight * 3 / checksum / 1e6);
  std::printf("peak memory:   %.1f MB\n", double(usage.ru_maxrss) / 1024.0);
  return 0;
}
