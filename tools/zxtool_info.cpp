// zxtool info FILE [--json]: the film's directory, every segment's header,
// and what loading makes of it: durations, frame rates as stored and as
// played, cursors, the sound's MPEG parameters, the language block of a
// self-playing executable, why a segment has nothing to play.
#include "zxtool.h"

#include "zxLoader.h"
#include "zxMp3Info.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

struct TEntryInfo {
  TDirectoryEntry Entry;
  bool HasHeader = false;
  TSegmentHeader Header;
  const TSegmentInfo *Loaded = nullptr;
};

int64_t FileSizeOf(const std::string &name) {
  if (name.empty() || !FileExists(name)) return 0;
  TzxFileStream f(name, fmOpenRead | fmShareDenyNone);
  return f.Size();
}

std::vector<TEntryInfo> ReadDirectory(const TzxFilmInput &film) {
  TzxFileStream f(film.Path, fmOpenRead | fmShareDenyNone);
  const int64_t base = film.Base;
  f.Seek(static_cast<int32_t>(base));
  std::vector<TEntryInfo> entries;
  try {
    for (const TDirectoryEntry &d : ReadFilmDirectory(f)) {
      entries.emplace_back();
      entries.back().Entry = d;
    }
  } catch (const EzxError &e) {
    throw EzxError(Format("%s is not a readable film: %s", film.Name.c_str(), e.what()));
  }
  if (entries.empty())
    throw EzxError(Format("%s is not a film: its directory has no entries", film.Name.c_str()));
  uint8_t raw[SegmentHeaderSize];
  for (auto &e : entries) {
    int64_t start = base + e.Entry.Offset;
    if (e.Entry.Kind != 1 || start < 0 || start + SegmentHeaderSize > f.Size()) continue;
    f.Seek(static_cast<int32_t>(start));
    f.ReadBuffer(raw, SegmentHeaderSize);
    e.HasHeader = true;
    e.Header = DecodeSegmentHeader(raw);
  }
  return entries;
}

// The whole rate the player shows a segment at, from its header.
double PlayedRate(const TSegmentHeader &h) {
  return PlayingRate(RoundFramesPerSecond(h.FramesPerSecond));
}

// How long a segment plays, by its header.
double Duration(const TSegmentHeader &h) {
  return double(std::max(h.FrameCount, 0)) / PlayedRate(h);
}

// The shortest text that reads back as the stored rate (29.97, 12.5).
std::string StoredRate(float fps) {
  if (!std::isfinite(fps)) return "";
  for (int decimals = 0; decimals < 9 && std::fabs(fps) < 1e7f; ++decimals) {
    const std::string text = Format("%.*f", decimals, double(fps));
    if (std::strtof(text.c_str(), nullptr) == fps) return text;
  }
  return Format("%.9g", double(fps));
}

// 00:01:02.500, as FFmpeg shows durations.
std::string ClockText(double seconds) {
  const auto ms = static_cast<long long>(std::llround(seconds * 1000));
  return Format("%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                ms % 1000);
}

// What the film plays: the segments the player loads and plays, one after
// another.
double FilmDuration(const std::vector<TEntryInfo> &entries) {
  double seconds = 0;
  for (const TEntryInfo &e : entries)
    if (e.Loaded != nullptr && NothingToPlay(*e.Loaded).empty()) seconds += Duration(e.Header);
  return seconds;
}

// The names of a language block's name=value lines, in their order.
std::vector<std::string> LanguageKeys(const std::vector<char> &block) {
  TzxStringList lines;
  lines.SetText(block.data(), static_cast<int32_t>(block.size()));
  std::vector<std::string> keys = lines.Names();
  for (std::string &k : keys)
    k = AnsiToUtf8(k);
  return keys;
}

const char *CursorKind(const TzxCursor &c) {
  if (c.Mask().Count < 1 && c.Colour().Count < 1) return "empty";
  return c.Monochrome() ? "monochrome" : "colour";
}

// Bits a pixel of its picture: 1 for a mask alone, 0 for no picture.
int32_t CursorBits(const TzxCursor &c) {
  if (c.Mask().Count < 1 && c.Colour().Count < 1) return 0;
  return c.Monochrome() ? 1 : c.Colour().BitsPerPixel;
}

// A cursor's picture size: a monochrome mask holds the AND and XOR halves.
std::pair<int32_t, int32_t> CursorSize(const TzxCursor &c) {
  return {c.Mask().Width, c.Monochrome() ? c.Mask().Height / 2 : c.Mask().Height};
}

// What the segment's sound is, when it has one.
std::optional<TzxMp3Description> SoundOf(const TSegmentInfo *r) {
  if (r == nullptr || r->SoundFileName.empty() || !FileExists(r->SoundFileName))
    return std::nullopt;
  return DescribeMp3(r->SoundFileName);
}

std::string JsonNumber(double v) {
  return Format("%.6f", v);
}

std::string CursorsJson(const TSegmentInfo *r) {
  std::string out = "[";
  for (int32_t i = 0; r != nullptr && i < r->Cursors->Count(); ++i) {
    const TzxCursor &c = *r->Cursors->Get(i);
    const auto [w, h] = CursorSize(c);
    out += Format("%s{\"kind\":\"%s\",\"width\":%d,\"height\":%d,\"hot_spot_x\":%d,"
                  "\"hot_spot_y\":%d,\"bits_per_pixel\":%d,\"valid\":%s}",
                  i ? "," : "", CursorKind(c), w, h, c.HotSpotX(), c.HotSpotY(), CursorBits(c),
                  c.Valid() ? "true" : "false");
  }
  return out + "]";
}

std::string SoundJson(const TSegmentInfo *r) {
  const std::optional<TzxMp3Description> d = SoundOf(r);
  if (!d) return "null";
  if (!d->Problem.empty()) return Format("{\"problem\":%s}", JsonString(d->Problem).c_str());
  return Format("{\"problem\":null,\"mpeg_version\":\"%s\",\"layer\":%d,\"sample_rate\":%d,"
                "\"bit_rate\":%d,\"variable_bit_rate\":%s,\"channels\":%d,\"frames\":%lld,"
                "\"duration\":%s}",
                d->Version.c_str(), d->Layer, d->SampleRate, d->BitRate,
                d->VariableBitRate ? "true" : "false", d->Channels,
                static_cast<long long>(d->Frames),
                d->Duration < 0 ? "null" : JsonNumber(d->Duration).c_str());
}

void PrintJson(const TzxFilmInput &film, const std::vector<TEntryInfo> &entries,
               const std::vector<TzxMessageBox> &boxes) {
  std::string language = "null";
  if (film.Trailer.LanguageOffset >= 0) {
    language = Format("{\"size\":%d,\"keys\":[", film.Trailer.LanguageSize);
    const std::vector<std::string> keys = LanguageKeys(ReadLanguageBlock(film.Path));
    for (size_t i = 0; i < keys.size(); ++i)
      language += (i ? "," : "") + JsonString(keys[i]);
    language += "]}";
  }
  std::printf("{\"film_base\":%lld,\"duration\":%s,\"language\":%s,\"entries\":[",
              static_cast<long long>(film.Base), JsonNumber(FilmDuration(entries)).c_str(),
              language.c_str());
  for (size_t i = 0; i < entries.size(); ++i)
    std::printf("%s{\"kind\":%d,\"offset\":%d}", i ? "," : "", entries[i].Entry.Kind,
                entries[i].Entry.Offset);
  std::printf("],\"segments\":[");
  bool first = true;
  for (size_t i = 0; i < entries.size(); ++i) {
    const TEntryInfo &e = entries[i];
    if (!e.HasHeader) continue;
    const TSegmentHeader &h = e.Header;
    const TSegmentInfo *r = e.Loaded;
    std::string index = r != nullptr ? std::to_string(SegmentNumber(*r)) : "null";
    const std::string stored = StoredRate(h.FramesPerSecond);
    const std::string nothing = r != nullptr ? NothingToPlay(*r) : "";
    std::printf("%s{\"index\":%s,\"entry\":%zu,\"version\":%d,\"width\":%d,\"height\":%d,"
                "\"bits_per_pixel\":%d,\"fps\":%d,\"flags\":%d,\"frame_count\":%d,"
                "\"title\":%s,\"cursor_count\":%d,\"video_size\":%d,\"cursor_track_size\":%d,"
                "\"palette_track_size\":%d,\"sound_size\":%lld,\"fps_stored\":%s,"
                "\"duration\":%s,\"nothing_to_play\":%s,\"cursors\":%s,\"sound\":%s}",
                first ? "" : ",", index.c_str(), i + 1, h.Version, h.Width, h.Height,
                h.BitsPerPixel, RoundFramesPerSecond(h.FramesPerSecond), h.Flags, h.FrameCount,
                JsonString(r != nullptr ? AnsiToUtf8(r->TitleText()) : "").c_str(),
                r != nullptr ? r->Cursors->Count() : h.CursorCount,
                r != nullptr ? r->VideoStream->Size() : 0,
                r != nullptr ? r->CursorTrack->Size() : 0,
                r != nullptr ? r->PaletteTrack->Size() : 0,
                static_cast<long long>(r != nullptr ? FileSizeOf(r->SoundFileName) : 0),
                stored.empty() ? "null" : stored.c_str(), JsonNumber(Duration(h)).c_str(),
                nothing.empty() ? "null" : JsonString(nothing).c_str(), CursorsJson(r).c_str(),
                SoundJson(r).c_str());
    first = false;
  }
  std::printf("],\"warnings\":[");
  for (size_t i = 0; i < boxes.size(); ++i)
    std::printf("%s%s", i ? "," : "", JsonString(AnsiToUtf8(boxes[i].Text)).c_str());
  std::printf("]}\n");
}

const char *CompressionName(int32_t flags) {
  switch (flags & sfCompressionMask) {
  case sfCompressionCab: return "cabinet";
  case sfCompressionLzma: return "LZMA";
  default: return "not unpacked";
  }
}

void PrintCursorsAndSound(const TSegmentInfo &r) {
  for (int32_t i = 0; i < r.Cursors->Count(); ++i) {
    const TzxCursor &c = *r.Cursors->Get(i);
    const auto [w, h] = CursorSize(c);
    const std::string kind = CursorKind(c);
    std::printf("    cursor %d: %s", i, kind.c_str());
    if (kind != "empty")
      std::printf("%s, %d x %d, hot spot %d,%d%s",
                  c.Monochrome() ? "" : Format(" (%d bits)", CursorBits(c)).c_str(), w, h,
                  c.HotSpotX(), c.HotSpotY(),
                  c.Valid() ? "" : "; its record does not hold what it announces");
    std::printf("\n");
  }
  const std::optional<TzxMp3Description> d = SoundOf(&r);
  if (!d) return;
  if (!d->Problem.empty()) {
    std::printf("    sound: not played: it %s\n", d->Problem.c_str());
    return;
  }
  std::printf("    sound: MPEG-%s Layer %s, %d Hz, ", d->Version.c_str(),
              d->Layer == 1   ? "I"
              : d->Layer == 2 ? "II"
                              : "III",
              d->SampleRate);
  if (d->BitRate == 0)
    std::printf("free format");
  else
    std::printf("%d kbit/s%s", d->BitRate, d->VariableBitRate ? " (first frame; variable)" : "");
  std::printf(", %s", d->Channels == 1 ? "mono" : "two channels");
  if (d->Duration >= 0)
    std::printf(", %lld frames, %s", static_cast<long long>(d->Frames),
                ClockText(d->Duration).c_str());
  std::printf("\n");
}

void PrintText(const TzxFilmInput &film, const std::vector<TEntryInfo> &entries,
               const std::vector<TzxMessageBox> &boxes) {
  std::printf("%s\n  film base %lld, %zu directory entr%s, plays %s\n", film.Name.c_str(),
              static_cast<long long>(film.Base), entries.size(), entries.size() == 1 ? "y" : "ies",
              ClockText(FilmDuration(entries)).c_str());
  if (film.Trailer.LanguageOffset >= 0) {
    std::string keys;
    for (const std::string &k : LanguageKeys(ReadLanguageBlock(film.Path)))
      keys += (keys.empty() ? "" : ", ") + k;
    std::printf("  language block: %d bytes, %s%s\n", film.Trailer.LanguageSize,
                keys.empty() ? "no keys" : "keys ", keys.c_str());
  } else if (film.Program) {
    std::printf("  no language block\n");
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    const TEntryInfo &e = entries[i];
    std::printf("  entry %zu: kind %d at offset %d\n", i + 1, e.Entry.Kind, e.Entry.Offset);
    if (!e.HasHeader) continue;
    const TSegmentHeader &h = e.Header;
    const std::string stored = StoredRate(h.FramesPerSecond);
    std::printf("    version %d, %d x %d, %d bits, %s fps stored, plays at %d, %d frames (%s), "
                "flags 0x%04X (%s%s%s)\n",
                h.Version, h.Width, h.Height, h.BitsPerPixel,
                stored.empty() ? "not a number of" : stored.c_str(),
                static_cast<int>(PlayedRate(h)), h.FrameCount, ClockText(Duration(h)).c_str(),
                static_cast<unsigned>(h.Flags), CompressionName(h.Flags),
                (h.Flags & sfSoundMask) == sfSoundMp3 ? ", MP3 sound" : "",
                (h.Flags & sfThreeCursorSamples) ? ", 3 cursor samples a frame" : "");
    std::printf("    header: %d cursors, video %d, cursor track %d, palette track %d, packed %d "
                "at %d, sound %d at %d\n",
                h.CursorCount, h.VideoSize, h.CursorTrackSize, h.PaletteTrackSize, h.PackedSize,
                h.PackedOffset, h.SoundSize, h.SoundOffset);
    if (const TSegmentInfo *r = e.Loaded) {
      std::printf("    segment %d: title \"%s\", %d cursors, video %d, cursor track %d, "
                  "palette track %d, sound %lld bytes\n",
                  SegmentNumber(*r), AnsiToUtf8(r->TitleText()).c_str(), r->Cursors->Count(),
                  r->VideoStream->Size(), r->CursorTrack->Size(), r->PaletteTrack->Size(),
                  static_cast<long long>(FileSizeOf(r->SoundFileName)));
      if (!NothingToPlay(*r).empty())
        std::printf("    nothing to play: %s\n", NothingToPlay(*r).c_str());
      PrintCursorsAndSound(*r);
    } else {
      std::printf("    not playable\n");
    }
  }
  for (const auto &b : boxes) {
    std::string text = b.Text;
    for (char &c : text)
      if (c == '\r') c = '\n';
    while (!text.empty() && text.back() == '\n')
      text.pop_back();
    std::printf("  %s: %s\n", b.Caption.c_str(), AnsiToUtf8(text).c_str());
  }
}

} // namespace

int CommandInfo(const std::vector<std::string> &args) {
  std::string file;
  bool json = false;
  TzxCommandLine cl("info", "The film's directory, every segment's header and what the player's "
                            "loader makes of it.");
  cl.add_option("FILE", file, "a film or a self-playing executable; - reads standard input")
      ->required()
      ->type_name("");
  cl.add_flag("--json", json, "one JSON object instead of text");
  cl.Notes(SegmentNumbering);
  if (!cl.Parse(args)) return 0;

  TzxToolSession session;
  const TzxFilmInput film = OpenFilm(file, session);
  std::vector<TEntryInfo> entries = ReadDirectory(film);
  TSegmentList list;
  LoadFilmFile(film, list, session, true);
  for (int32_t i = 0; i < list.Count(); ++i) {
    const TSegmentInfo *r = list.Get(i);
    if (r->EntryIndex >= 0 && r->EntryIndex < static_cast<int32_t>(entries.size()))
      entries[static_cast<size_t>(r->EntryIndex)].Loaded = r;
  }
  CheckInterrupted(); // the LZMA coder may have been stopped
  if (json)
    PrintJson(film, entries, session.Boxes());
  else
    PrintText(film, entries, session.Boxes());
  return 0;
}
