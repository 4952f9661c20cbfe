#include "zxFilmWriter.h"

#include "zxCabWriter.h"
#include "zxLzma.h"

#include <algorithm>
#include <cstring>

void AppendInt32(TzxBytes &out, int32_t v) {
  auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

void AppendInt16(TzxBytes &out, int16_t v) {
  auto u = static_cast<uint16_t>(v);
  out.push_back(static_cast<uint8_t>(u));
  out.push_back(static_cast<uint8_t>(u >> 8));
}

void AppendCursorSample(TzxBytes &track, uint16_t cursor, uint16_t x, uint16_t y) {
  for (uint16_t v : {cursor, x, y})
    AppendInt16(track, static_cast<int16_t>(v));
}

namespace {

void AppendImage(TzxBytes &out, const TzxImageHeader &h, const TzxBytes &bits) {
  int32_t count = h.Count == -1 ? static_cast<int32_t>(bits.size()) : h.Count;
  AppendInt32(out, count);
  AppendInt32(out, h.Width);
  AppendInt32(out, h.Height);
  out.push_back(h.BitsPerPixel);
  out.insert(out.end(), bits.begin(), bits.end());
}

void Append(TzxBytes &out, const TzxBytes &more) {
  out.insert(out.end(), more.begin(), more.end());
}

} // namespace

TzxBytes EncodeCursorRecord(const TzxCursorRecord &c) {
  TzxBytes out;
  AppendInt32(out, c.HotSpotX);
  AppendInt32(out, c.HotSpotY);
  AppendImage(out, c.Mask, c.MaskBits);
  AppendImage(out, c.Colour, c.ColourBits);
  return out;
}

TzxCursorRecord MakeColourCursor(int32_t w, int32_t h, int32_t hotX, int32_t hotY,
                                 const TzxBytes &bgra) {
  TzxCursorRecord c;
  c.HotSpotX = hotX;
  c.HotSpotY = hotY;
  c.Mask = {-1, w, h, 1};
  c.MaskBits.assign(static_cast<size_t>((w + 15) / 16 * 2 * h), 0);
  c.Colour = {-1, w, h, 32};
  c.ColourBits = bgra;
  c.ColourBits.resize(static_cast<size_t>(w) * h * 4);
  return c;
}

TzxCursorRecord MakeMonochromeCursor(int32_t w, int32_t h, int32_t hotX, int32_t hotY,
                                     const std::vector<bool> &andMask,
                                     const std::vector<bool> &xorMask) {
  TzxCursorRecord c;
  c.HotSpotX = hotX;
  c.HotSpotY = hotY;
  const int32_t row = (w + 15) / 16 * 2;
  c.Mask = {-1, w, 2 * h, 1};
  c.MaskBits.assign(static_cast<size_t>(row * 2 * h), 0);
  auto put = [&](const std::vector<bool> &bits, int32_t firstRow) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        if (bits.at(static_cast<size_t>(y * w + x)))
          c.MaskBits[static_cast<size_t>((firstRow + y) * row + x / 8)] |=
              static_cast<uint8_t>(0x80 >> (x % 8));
  };
  put(andMask, 0);
  put(xorMask, h);
  c.Colour = {0, 0, 0, 0};
  return c;
}

TzxBytes BuildUnpackedPayload(const TzxSegmentSpec &s) {
  TzxBytes out;
  TzxBytes title;
  title.push_back(static_cast<uint8_t>(std::min<size_t>(s.Title.size(), 255)));
  title.insert(title.end(), s.Title.begin(), s.Title.begin() + title[0]);
  AppendInt32(out, s.TitleSize.value_or(static_cast<int32_t>(title.size())));
  Append(out, title);
  for (const auto &c : s.Cursors)
    Append(out, c);
  Append(out, s.Video);
  Append(out, s.CursorTrack);
  Append(out, s.PaletteTrack);
  return out;
}

TzxBytes PackPayload(const TzxBytes &unpacked, TzxPacking packing) {
  switch (packing) {
  case TzxPacking::Raw: return unpacked;
  case TzxPacking::Cabinet: return PackCabinet({{"payload.bin", unpacked}}, true);
  case TzxPacking::CabinetStored: return PackCabinet({{"payload.bin", unpacked}}, false);
  case TzxPacking::Lzma: break;
  }
  TzxTempFile in(MakeTempFileName("bin", "", "zxW_"));
  TzxTempFile out(MakeTempFileName("lzma", "", "zxW_"));
  WriteWholeFile(in.Name(), unpacked);
  TzxLzmaRun run;
  if (!RunLzmaTool('e', in.Name(), out.Name(), &run))
    throw EzxError("The LZMA coder cannot be started");
  if (!FileExists(out.Name()))
    throw EzxError("The LZMA coder wrote no output" +
                   (run.Failure.empty() ? "" : ": " + run.Failure));
  return ReadWholeFile(out.Name());
}

TzxBytes BuildFilm(const std::vector<TzxFilmEntry> &entries, std::optional<int32_t> count) {
  // Items follow the directory in entry order.
  std::vector<TzxBytes> items;
  for (const auto &e : entries) {
    if (e.Kind != 1) {
      items.push_back(e.Raw);
      continue;
    }
    const TzxSegmentSpec &s = e.Segment;
    TzxBytes packed = s.Packed ? *s.Packed : PackPayload(BuildUnpackedPayload(s), s.Packing);
    TSegmentHeader h;
    h.Version = s.Version;
    h.Width = s.Width;
    h.Height = s.Height;
    h.BitsPerPixel = s.BitsPerPixel;
    h.FramesPerSecond = s.FramesPerSecond;
    h.Flags = s.Flags;
    h.FrameCount = s.FrameCount;
    h.CursorCount = s.CursorCount.value_or(static_cast<int32_t>(s.Cursors.size()));
    h.CursorTrackSize = s.CursorTrackSize.value_or(static_cast<int32_t>(s.CursorTrack.size()));
    h.PaletteTrackSize = s.PaletteTrackSize.value_or(static_cast<int32_t>(s.PaletteTrack.size()));
    h.VideoSize = s.VideoSize.value_or(static_cast<int32_t>(s.Video.size()));
    h.PackedSize = s.PackedSize.value_or(static_cast<int32_t>(packed.size()));
    h.PackedOffset = s.PackedOffset.value_or(SegmentHeaderSize);
    h.SoundSize = s.SoundSize.value_or(static_cast<int32_t>(s.Sound.size()));
    h.SoundOffset = s.SoundOffset.value_or(SegmentHeaderSize + static_cast<int32_t>(packed.size()));
    TzxBytes item(SegmentHeaderSize);
    EncodeSegmentHeader(h, item.data());
    Append(item, packed);
    Append(item, s.Sound);
    items.push_back(std::move(item));
  }

  TzxBytes film;
  AppendInt32(film, count.value_or(static_cast<int32_t>(entries.size())));
  int32_t offset = 4 + DirectoryEntrySize * static_cast<int32_t>(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    AppendInt32(film, entries[i].Offset.value_or(offset));
    AppendInt16(film, entries[i].Kind);
    offset += static_cast<int32_t>(items[i].size());
  }
  for (const auto &item : items)
    Append(film, item);
  return film;
}

TzxBytes BuildExecutable(const TzxBytes &player, const TzxBytes &film,
                         const std::string &language) {
  TzxBytes exe = player;
  exe.insert(exe.end(), language.begin(), language.end());
  AppendInt32(exe, static_cast<int32_t>(language.size()));
  Append(exe, film);
  AppendInt32(exe, static_cast<int32_t>(film.size()));
  return exe;
}

void SplitExecutable(const TzxBytes &exe, TzxBytes &player, TzxBytes &film, std::string &language) {
  TzxMemoryStream s;
  s.Write(exe.data(), static_cast<int32_t>(exe.size()));
  TExecutableTrailer t = ReadExecutableTrailer(s);
  if (t.FilmBase < 0) throw EzxError("The executable carries no film");
  film.assign(exe.begin() + t.FilmBase, exe.begin() + t.FilmBase + t.FilmSize);
  int64_t playerEnd = t.FilmBase - 4;
  language.clear();
  if (t.LanguageOffset >= 0) {
    language.assign(exe.begin() + t.LanguageOffset,
                    exe.begin() + t.LanguageOffset + t.LanguageSize);
    playerEnd = t.LanguageOffset;
  }
  if (playerEnd < 0) throw EzxError("The executable's trailer leaves no room for a program");
  player.assign(exe.begin(), exe.begin() + playerEnd);
}

TzxBytes ReadWholeFile(const std::string &name) {
  TzxFileStream f(name, fmOpenRead | fmShareDenyWrite);
  TzxBytes bytes(static_cast<size_t>(f.Size()));
  f.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  return bytes;
}

void WriteWholeFile(const std::string &name, const TzxBytes &bytes) {
  TzxFileStream f(name, fmCreate);
  if (f.Write(bytes.data(), static_cast<int32_t>(bytes.size())) !=
      static_cast<int32_t>(bytes.size()))
    throw EzxError(Format("Cannot write file %s", name.c_str()));
}
