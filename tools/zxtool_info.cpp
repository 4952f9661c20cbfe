// zxtool info FILE [--json]: the film's directory, every segment's header,
// and what loading makes of it.
#include "zxtool.h"

#include "zxLoader.h"

#include <cstdio>
#include <memory>

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

void PrintJson(int64_t base, const std::vector<TEntryInfo> &entries,
               const std::vector<TzxMessageBox> &boxes) {
  std::printf("{\"film_base\":%lld,\"entries\":[", static_cast<long long>(base));
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
    std::printf("%s{\"index\":%s,\"entry\":%zu,\"version\":%d,\"width\":%d,\"height\":%d,"
                "\"bits_per_pixel\":%d,\"fps\":%d,\"flags\":%d,\"frame_count\":%d,"
                "\"title\":%s,\"cursor_count\":%d,\"video_size\":%d,\"cursor_track_size\":%d,"
                "\"palette_track_size\":%d,\"sound_size\":%lld}",
                first ? "" : ",", index.c_str(), i + 1, h.Version, h.Width, h.Height,
                h.BitsPerPixel, RoundFramesPerSecond(h.FramesPerSecond), h.Flags, h.FrameCount,
                JsonString(r != nullptr ? AnsiToUtf8(r->TitleText()) : "").c_str(),
                r != nullptr ? r->Cursors->Count() : h.CursorCount,
                r != nullptr ? r->VideoStream->Size() : 0,
                r != nullptr ? r->CursorTrack->Size() : 0,
                r != nullptr ? r->PaletteTrack->Size() : 0,
                static_cast<long long>(r != nullptr ? FileSizeOf(r->SoundFileName) : 0));
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

void PrintText(const std::string &name, int64_t base, const std::vector<TEntryInfo> &entries,
               const std::vector<TzxMessageBox> &boxes) {
  std::printf("%s\n  film base %lld, %zu directory entr%s\n", name.c_str(),
              static_cast<long long>(base), entries.size(), entries.size() == 1 ? "y" : "ies");
  for (size_t i = 0; i < entries.size(); ++i) {
    const TEntryInfo &e = entries[i];
    std::printf("  entry %zu: kind %d at offset %d\n", i + 1, e.Entry.Kind, e.Entry.Offset);
    if (!e.HasHeader) continue;
    const TSegmentHeader &h = e.Header;
    std::printf(
        "    version %d, %d x %d, %d bits, %.3g fps (%d), %d frames, flags 0x%04X (%s%s%s)\n",
        h.Version, h.Width, h.Height, h.BitsPerPixel, static_cast<double>(h.FramesPerSecond),
        RoundFramesPerSecond(h.FramesPerSecond), h.FrameCount, static_cast<unsigned>(h.Flags),
        CompressionName(h.Flags), (h.Flags & sfSoundMask) == sfSoundMp3 ? ", MP3 sound" : "",
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
    PrintJson(film.Base, entries, session.Boxes());
  else
    PrintText(film.Name, film.Base, entries, session.Boxes());
  return 0;
}
