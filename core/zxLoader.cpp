#include "zxLoader.h"

#include "zxCab.h"
#include "zxLzma.h"
#include "zxMessages.h"
#include "zxTexts.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <cstring>
#include <map>

std::string LastCabFileName;

namespace {

std::function<void(int32_t)> &Selector() {
  static std::function<void(int32_t)> selector;
  return selector;
}

// Reads a little-endian int32; false when the stream runs short.
bool ReadInt32(TzxStream &s, int32_t &v) {
  uint8_t raw[4];
  if (s.Read(raw, 4) != 4) return false;
  v = GetLE32(raw);
  return true;
}

// Raises when [start, start + size) does not lie within the stream.
void CheckRange(TzxStream &s, int64_t start, int64_t size, const std::string &what) {
  if (size <= 0) return;
  if (start < 0 || start + size > s.Size())
    throw EzxError(Format("%s (%lld bytes at %lld) lies outside the film of %d bytes", what.c_str(),
                          static_cast<long long>(size), static_cast<long long>(start), s.Size()));
}

} // namespace

namespace {

// Raises unless n bytes are left in the unpacked payload for what comes next:
// a payload shorter than its header says is named as such, not by the
// temporary file it came in.
void NeedPayloadBytes(TzxStream &f, int64_t n, const char *what) {
  const int64_t left = static_cast<int64_t>(f.Size()) - f.Position();
  if (n > left)
    throw EzxError(Format("the unpacked payload ends early: %s needs %lld bytes, %lld are left",
                          what, static_cast<long long>(n), static_cast<long long>(left)));
}

} // namespace

void ReadSegmentPayload(const std::string &fileName, const TSegmentHeader &h, TSegmentInfo &r) {
  TzxFileStream f(fileName, fmOpenRead);
  int32_t titleSize = 0;
  NeedPayloadBytes(f, 4, "the title size");
  f.ReadBuffer(&titleSize, 4);
  titleSize = GetLE32(reinterpret_cast<const uint8_t *>(&titleSize));
  if (titleSize < 0 || titleSize > static_cast<int32_t>(r.Title.size()))
    throw EzxError(Format("the title size %d is out of range (0 to 256)", titleSize));
  NeedPayloadBytes(f, titleSize, "the title");
  f.ReadBuffer(r.Title.data(), titleSize);
  // The length byte never claims more characters than the title field holds.
  if (titleSize == 0)
    r.Title[0] = 0;
  else if (r.Title[0] > titleSize - 1)
    r.Title[0] = static_cast<uint8_t>(titleSize - 1);

  if (h.CursorCount > 0) {
    // A record takes at least 34 bytes: more records than that cannot be there.
    int64_t left = static_cast<int64_t>(f.Size()) - f.Position();
    if (h.CursorCount > left / 34)
      throw EzxError(Format("%d cursor records cannot fit the %lld bytes left in the payload",
                            h.CursorCount, static_cast<long long>(left)));
    for (int32_t i = 0; i < h.CursorCount; ++i) {
      auto cursor = std::make_unique<TzxCursor>();
      cursor->LoadFromFile(f);
      r.Cursors->Add(std::move(cursor));
    }
  }
  if (h.VideoSize > 0) {
    NeedPayloadBytes(f, h.VideoSize, "the video data");
    r.VideoStream->CopyFrom(f, h.VideoSize);
  }
  if (h.CursorTrackSize > 0) {
    NeedPayloadBytes(f, h.CursorTrackSize, "the cursor track");
    r.CursorTrack->CopyFrom(f, h.CursorTrackSize);
  }
  if (h.PaletteTrackSize > 0) {
    NeedPayloadBytes(f, h.PaletteTrackSize, "the palette track");
    r.PaletteTrack->CopyFrom(f, h.PaletteTrackSize);
  }
}

namespace {

// A directory of its own in the temporary directory, removed with all it
// holds when the owner goes.
class TTempDirectory {
public:
  TTempDirectory() {
    std::error_code ec;
    do {
      FPath = MakeTempFileName("cabdir", "", "zxS_");
    } while (!std::filesystem::create_directory(FPath, ec) && !ec);
    if (ec)
      throw EzxError(Format("Cannot create directory %s. %s", FPath.c_str(), ec.message().c_str()));
  }
  ~TTempDirectory() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  TTempDirectory(const TTempDirectory &) = delete;
  TTempDirectory &operator=(const TTempDirectory &) = delete;
  const std::string &Path() const { return FPath; }

private:
  std::string FPath;
};

// Unpacks a cabinet payload into dir; the last member listed is the
// payload. Every member goes to a directory of its own, so that a cabinet
// can neither overwrite other temporary files nor leave members behind.
std::string UnpackCabinet(const std::string &packed, const TTempDirectory &dir) {
  TzxCabReader reader;
  LastCabFileName.clear();
  try {
    reader.ListFiles(packed, [](TzxCabReader &, const std::string &name, uint32_t, uint16_t,
                                uint16_t, uint16_t, uint16_t, bool &) { LastCabFileName = name; });
  } catch (const EzxError &) {
    // The reader names the temporary copy; what matters is the cabinet.
    throw EzxError("the cabinet ends before the list of files it announces");
  }
  // A member that would lie outside the directory is never extracted; it
  // counts as missing.
  if (LastCabFileName.empty() || !IsSafeMemberPath(LastCabFileName)) return {};
  reader.Extract(packed, dir.Path(), 0);
  return JoinPath({dir.Path(), LastCabFileName});
}

} // namespace

TSegmentHeader DecodeSegmentHeader(const uint8_t *raw) {
  TSegmentHeader h;
  h.Version = raw[0];
  h.Width = GetLE32(raw + 1);
  h.Height = GetLE32(raw + 5);
  h.BitsPerPixel = raw[9];
  uint32_t bits = static_cast<uint32_t>(GetLE32(raw + 10));
  std::memcpy(&h.FramesPerSecond, &bits, 4);
  h.Flags = GetLE32(raw + 14);
  h.FrameCount = GetLE32(raw + 18);
  h.CursorCount = GetLE32(raw + 22);
  h.CursorTrackSize = GetLE32(raw + 26);
  h.PaletteTrackSize = GetLE32(raw + 30);
  h.VideoSize = GetLE32(raw + 34);
  h.PackedSize = GetLE32(raw + 38);
  h.PackedOffset = GetLE32(raw + 42);
  h.SoundSize = GetLE32(raw + 46);
  h.SoundOffset = GetLE32(raw + 50);
  return h;
}

void EncodeSegmentHeader(const TSegmentHeader &h, uint8_t *raw) {
  raw[0] = h.Version;
  PutLE32(raw + 1, h.Width);
  PutLE32(raw + 5, h.Height);
  raw[9] = h.BitsPerPixel;
  uint32_t bits = 0;
  std::memcpy(&bits, &h.FramesPerSecond, 4);
  PutLE32(raw + 10, static_cast<int32_t>(bits));
  PutLE32(raw + 14, h.Flags);
  PutLE32(raw + 18, h.FrameCount);
  PutLE32(raw + 22, h.CursorCount);
  PutLE32(raw + 26, h.CursorTrackSize);
  PutLE32(raw + 30, h.PaletteTrackSize);
  PutLE32(raw + 34, h.VideoSize);
  PutLE32(raw + 38, h.PackedSize);
  PutLE32(raw + 42, h.PackedOffset);
  PutLE32(raw + 46, h.SoundSize);
  PutLE32(raw + 50, h.SoundOffset);
}

uint8_t RoundFramesPerSecond(float fps) {
  if (!(fps > 0)) return 0; // also NaN
  if (fps >= 255) return 255;
  return static_cast<uint8_t>(std::nearbyint(fps)); // the default mode rounds half to even
}

int64_t ProgramImageEnd(TzxStream &stream) {
  const int64_t size = stream.Size();
  uint8_t dos[64];
  stream.Seek(0);
  if (size < 64 || stream.Read(dos, 64) != 64 || dos[0] != 'M' || dos[1] != 'Z') return -1;
  const auto pe = static_cast<uint32_t>(GetLE32(dos + 60));
  uint8_t head[24];
  if (int64_t{pe} + 24 > size) return -1;
  stream.Seek(static_cast<int32_t>(pe));
  if (stream.Read(head, 24) != 24 || std::memcmp(head, "PE\0\0", 4) != 0) return -1;
  const uint16_t sections = GetLE16(head + 6);
  const auto symbols = static_cast<uint32_t>(GetLE32(head + 12));
  const auto symbolCount = static_cast<uint32_t>(GetLE32(head + 16));
  const int64_t table = int64_t{pe} + 24 + GetLE16(head + 20);
  int64_t end = table + int64_t{sections} * 40;
  if (end > size) return -1;
  stream.Seek(static_cast<int32_t>(table));
  for (uint16_t i = 0; i < sections; ++i) {
    uint8_t section[40];
    if (stream.Read(section, 40) != 40) return -1;
    const int64_t rawSize = static_cast<uint32_t>(GetLE32(section + 16));
    const int64_t rawOffset = static_cast<uint32_t>(GetLE32(section + 20));
    if (rawSize > 0) end = std::max(end, rawOffset + rawSize);
  }
  if (symbols != 0) {
    const int64_t strings = int64_t{symbols} + int64_t{symbolCount} * 18;
    int32_t stringsSize = 0;
    if (strings + 4 <= size) {
      stream.Seek(static_cast<int32_t>(strings));
      if (ReadInt32(stream, stringsSize) && stringsSize >= 4)
        end = std::max(end, strings + stringsSize);
    }
  }
  return end > size ? -1 : end;
}

TExecutableTrailer ReadExecutableTrailer(TzxStream &stream) {
  TExecutableTrailer t;
  int64_t e = stream.Size();
  if (e < 4) return t;
  // A trailer lies behind the program, never inside it.
  const int64_t imageEnd = std::max<int64_t>(ProgramImageEnd(stream), 0);
  int32_t f = 0;
  stream.Seek(static_cast<int32_t>(e - 4));
  if (!ReadInt32(stream, f)) return t;
  if (f > e - 4) return t; // not a trailer of ours
  if (f > 0 && e - 4 - f < imageEnd) return t;
  if (f > 0) {
    t.FilmBase = e - 4 - f;
    t.FilmSize = f;
  }
  int64_t lField = e - 8 - (f > 0 ? f : 0);
  if (lField < imageEnd) return t;
  int32_t l = 0;
  stream.Seek(static_cast<int32_t>(lField));
  if (!ReadInt32(stream, l)) return t;
  if (l > 0 && l <= lField - imageEnd) {
    t.LanguageOffset = lField - l;
    t.LanguageSize = l;
  }
  return t;
}

std::vector<char> ReadLanguageBlock(const std::string &exeFileName) {
  std::vector<char> block;
  try {
    TzxFileStream exe(exeFileName, fmOpenRead | fmShareDenyWrite);
    TExecutableTrailer t = ReadExecutableTrailer(exe);
    if (t.LanguageOffset < 0) return block;
    block.resize(static_cast<size_t>(t.LanguageSize));
    exe.Seek(static_cast<int32_t>(t.LanguageOffset));
    if (exe.Read(block.data(), t.LanguageSize) != t.LanguageSize) block.clear();
  } catch (const EzxError &) {
    block.clear();
  }
  return block;
}

std::vector<TDirectoryEntry> ReadFilmDirectory(TzxStream &stream) {
  const int64_t base = stream.Position();
  int32_t count = 0;
  if (!ReadInt32(stream, count) || count <= 0) return {};
  if (count > (stream.Size() - base - 4) / DirectoryEntrySize)
    throw EzxError(
        Format("The film directory announces %d entries, more than the film can hold", count));
  std::vector<TDirectoryEntry> entries(static_cast<size_t>(count));
  for (auto &e : entries) {
    uint8_t raw[DirectoryEntrySize];
    stream.ReadBuffer(raw, DirectoryEntrySize);
    e.Offset = GetLE32(raw);
    e.Kind = static_cast<int16_t>(GetLE16(raw + 4));
  }
  return entries;
}

bool LoadEmbeddedFilm(TzxStream *stream, TSegmentList &list) {
  if (stream == nullptr) return false;
  TExecutableTrailer t = ReadExecutableTrailer(*stream);
  if (t.FilmBase < 0) return false;
  stream->Seek(static_cast<int32_t>(t.FilmBase));
  return LoadFilm(stream, list);
}

void SetSegmentSelector(std::function<void(int32_t)> selector) {
  Selector() = std::move(selector);
}

namespace {

// Every segment is unpacked into the temporary directory: one that cannot
// take a file is named as the cause at once, not by the first file that
// could not be made in it.
void CheckTempDirectory() {
  const std::string dir = TempPath();
  try {
    TzxTempFile probe(MakeTempFileName("tmp", dir, "zxS_"));
    { TzxFileStream f(probe.Name(), fmCreate); }
  } catch (const EzxError &) {
    throw EzxError(Format("The temporary directory %s cannot take the film's files (it is "
                          "missing, read-only or full)",
                          dir.c_str()));
  }
}

// What a segment's files meet in a temporary directory without room.
std::string NoRoomText(const std::string &dir) {
  return Format("the temporary directory %s has no room for its files (the disk is full)",
                dir.c_str());
}

// The size of the data an LZMA payload announces (bytes 5 to 12 of its
// header), -1 when it is unknown or the payload is too short to say.
int64_t AnnouncedLzmaSize(TzxStream &stream, int64_t payload, int32_t packedSize) {
  if (packedSize < 13) return -1;
  uint8_t raw[8];
  stream.Seek(static_cast<int32_t>(payload + 5));
  stream.ReadBuffer(raw, 8);
  uint64_t size = 0;
  for (int i = 7; i >= 0; --i)
    size = size << 8 | raw[i];
  return size > uint64_t(INT64_MAX) ? -1 : static_cast<int64_t>(size);
}

// The most a payload can hold by its header's sizes: title size and title,
// cursor records of the largest images the cursor reader takes (1,024 x
// 2,048 mask bits, 1,024 x 1,024 colour pixels at 32 bits), the tracks.
int64_t PayloadBound(const TSegmentHeader &h) {
  constexpr int64_t MaxCursorRecord = 34 + 128 * 2048 + 1024 * 1024 * 4;
  auto size = [](int32_t n) { return static_cast<int64_t>(std::max(n, 0)); };
  return 4 + 255 + size(h.CursorCount) * MaxCursorRecord + size(h.VideoSize) +
         size(h.CursorTrackSize) + size(h.PaletteTrackSize);
}

// Refuses an LZMA payload that the temporary directory has no room for,
// before the coder fills the disk and fails. Only a size the header's sizes
// allow counts: any other is a lie, and the coder stops at that bound.
void CheckRoomForLzma(TzxStream &stream, int64_t payload, const TSegmentHeader &h) {
  const int64_t announced = AnnouncedLzmaSize(stream, payload, h.PackedSize);
  if (announced < 0 || announced > PayloadBound(h)) return;
  std::error_code ec;
  const std::filesystem::space_info space = std::filesystem::space(TempPath(), ec);
  if (ec || space.available == static_cast<std::uintmax_t>(-1)) return;
  if (static_cast<std::uintmax_t>(announced) > space.available)
    throw EzxError(Format("its unpacked payload of %lld bytes does not fit in the temporary "
                          "directory %s (%llu bytes free)",
                          static_cast<long long>(announced), TempPath().c_str(),
                          static_cast<unsigned long long>(space.available)));
}

// Unpacks segment r's payload and copies its sound; false when the LZMA
// coder cannot be started.
bool UnpackSegment(TzxStream &stream, int64_t start, const TSegmentHeader &h,
                   const std::string &segment, TSegmentInfo &r) {
  // The packed payload goes to a file of its own, whatever its kind.
  TzxTempFile packed(MakeTempFileName("cab", "", "zxS_"));
  {
    TzxFileStream out(packed.Name(), fmCreate);
    if (h.PackedSize > 0) {
      CheckRange(stream, start + h.PackedOffset, h.PackedSize, segment + ": the packed payload");
      stream.Seek(static_cast<int32_t>(start + h.PackedOffset));
      out.CopyFrom(stream, h.PackedSize);
    }
  }

  std::unique_ptr<TTempDirectory> cabinetDir;
  TzxTempFile unpacked;
  const int32_t kind = h.Flags & sfCompressionMask;
  switch (kind) {
  case sfCompressionCab:
    cabinetDir = std::make_unique<TTempDirectory>();
    unpacked.Reset(UnpackCabinet(packed.Name(), *cabinetDir));
    if (unpacked.Name().empty()) r.NothingToPlay = "its cabinet holds no payload it could give";
    break;
  case sfCompressionLzma: {
    CheckRoomForLzma(stream, start + h.PackedOffset, h);
    std::string output;
    // No more than the header's sizes allow reaches the disk, whatever the
    // payload announces (where the coder can stop it).
    TzxLzmaRun run;
    run.Limit = PayloadBound(h);
    const bool started = UnpackLzmaPayload(packed.Name(), output, &run);
    unpacked.Reset(output);
    if (!started) return false;
    if (!run.Failure.empty())
      r.NothingToPlay = "its payload could not be unpacked (" + run.Failure + ")";
    break;
  }
  default:
    r.NothingToPlay =
        Format("its payload is packed in a way this player does not know (kind %d)", kind >> 12);
    break;
  }
  packed.Remove();

  if (!unpacked.Name().empty() && FileExists(unpacked.Name()))
    ReadSegmentPayload(unpacked.Name(), h, r);
  else if (r.NothingToPlay.empty())
    r.NothingToPlay = "its payload could not be unpacked";
  unpacked.Remove();
  cabinetDir.reset();
  if (r.NothingToPlay.empty() && h.VideoSize <= 0 && h.FrameCount > 0)
    r.NothingToPlay = "it holds no video data";

  if (h.SoundSize > 0 && (h.Flags & sfSoundMask) == sfSoundMp3) {
    CheckRange(stream, start + h.SoundOffset, h.SoundSize, segment + ": the sound");
    stream.Seek(static_cast<int32_t>(start + h.SoundOffset));
    r.SoundFileName = MakeTempFileName("mp3", TempPath(), "zxS_");
    r.SoundStream = std::make_unique<TzxFileStream>(r.SoundFileName, fmCreate);
    r.SoundStream->CopyFrom(stream, h.SoundSize);
    r.SoundStream.reset();
  }
  return true;
}

// The bytes of the film that segments took for their packed payloads and
// sounds. A segment whose bytes another one took already is refused: it
// would only unpack the same bytes again, and a small film naming one
// payload from many entries would fill the disk and run out of files.
class TTakenBytes {
public:
  // The number of the segment that took a byte of [start, start + size),
  // 0 when none did.
  int32_t OwnerOf(int64_t start, int64_t size) const {
    if (size <= 0) return 0;
    auto next = FRanges.lower_bound(start + size); // the first range at or after the end
    if (next == FRanges.begin()) return 0;
    const auto &before = *std::prev(next); // the last range that starts before the end
    return before.second.End > start ? before.second.Segment : 0;
  }
  // Adds [start, start + size) for segment number, merged with the ranges
  // it overlaps (only the segment's own ranges can).
  void Take(int64_t start, int64_t size, int32_t number) {
    if (size <= 0) return;
    int64_t end = start + size;
    auto it = FRanges.lower_bound(start);
    if (it != FRanges.begin() && std::prev(it)->second.End > start) --it;
    while (it != FRanges.end() && it->first < end) {
      start = std::min(start, it->first);
      end = std::max(end, it->second.End);
      it = FRanges.erase(it);
    }
    FRanges[start] = {end, number};
  }

private:
  struct TRange {
    int64_t End;
    int32_t Segment;
  };
  std::map<int64_t, TRange> FRanges; // by start
};

// Refuses a segment whose payload or sound lies in bytes an earlier segment
// took, and takes them otherwise.
void TakeSegmentBytes(TTakenBytes &taken, int64_t start, const TSegmentHeader &h, int32_t number) {
  const bool sound = h.SoundSize > 0 && (h.Flags & sfSoundMask) == sfSoundMp3;
  const struct {
    const char *What;
    int64_t Start, Size;
  } parts[] = {{"packed payload", start + h.PackedOffset, h.PackedSize},
               {"sound", start + h.SoundOffset, sound ? h.SoundSize : 0}};
  for (const auto &p : parts)
    if (const int32_t owner = taken.OwnerOf(p.Start, p.Size))
      throw EzxError(Format("Segment %d: its %s lies in the bytes of segment %d (%lld bytes at "
                            "%lld); a film holds each segment's data once",
                            number, p.What, owner, static_cast<long long>(p.Size),
                            static_cast<long long>(p.Start)));
  for (const auto &p : parts)
    taken.Take(p.Start, p.Size, number);
}

} // namespace

bool LoadFilm(TzxStream *stream, TSegmentList &list) {
  if (stream == nullptr) return false;
  std::string warnings;
  const int64_t base = stream->Position();
  const std::vector<TDirectoryEntry> entries = ReadFilmDirectory(*stream);
  if (entries.empty()) return false;
  const auto count = static_cast<int32_t>(entries.size());
  CheckTempDirectory();

  TTakenBytes taken;
  for (int32_t i = 0; i < count; ++i) {
    const TDirectoryEntry &e = entries[static_cast<size_t>(i)];
    if (e.Kind != 1) continue;
    const int32_t number = i + 1;
    const std::string segment = Format("Segment %d", number);
    const int64_t start = base + e.Offset;
    CheckRange(*stream, start, SegmentHeaderSize, segment + ": the header");
    uint8_t raw[SegmentHeaderSize];
    stream->Seek(static_cast<int32_t>(start));
    stream->ReadBuffer(raw, SegmentHeaderSize);
    const TSegmentHeader h = DecodeSegmentHeader(raw);
    if (h.Version >= 2) {
      warnings += FormatText(TextInvalidVersion, number);
      continue;
    }

    TSegmentInfo &r = *list.Add();
    r.Width = h.Width;
    r.Height = h.Height;
    r.BitsPerPixel = h.BitsPerPixel;
    r.FramesPerSecond = RoundFramesPerSecond(h.FramesPerSecond);
    r.Flags = h.Flags;
    r.FrameCount = h.FrameCount;
    r.EntryIndex = i;
    // A segment that cannot be read whole leaves no half-read record behind:
    // the segments before it stay.
    bool started = false;
    try {
      TakeSegmentBytes(taken, start, h, number);
      started = UnpackSegment(*stream, start, h, segment, r);
    } catch (const EzxWriteError &) {
      list.DeleteLast();
      throw EzxError(segment + ": " + NoRoomText(TempPath()));
    } catch (const EzxError &err) {
      list.DeleteLast();
      if (err.Message().rfind(segment + ":", 0) == 0) throw;
      throw EzxError(segment + ": " + err.Message());
    }
    if (!started) {
      // The record stays, as the load ends here; it says why it is empty.
      r.NothingToPlay = "the LZMA coder could not be started";
      return false;
    }
  }

  if (list.Count() > 0 && Selector()) Selector()(0);
  if (!warnings.empty()) ShowMessageBox(TzxBoxOwner::None, warnings, TextWarning, zxMB_ICONWARNING);
  return true;
}
