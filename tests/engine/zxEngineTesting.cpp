#include "zxEngineTesting.h"

#include "UzxCursor_new.h"

#include <algorithm>

namespace {

void PutLE32(std::vector<uint8_t> &out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void AppendRun(std::vector<uint8_t> &out, int32_t bits, uint32_t value, uint32_t count) {
  out.push_back(static_cast<uint8_t>(value));
  if (bits == 8) {
    out.push_back(static_cast<uint8_t>(count));
    return;
  }
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value >> 16));
  out.push_back(static_cast<uint8_t>(count));
  out.push_back(static_cast<uint8_t>(count >> 8));
}

uint32_t RandomValue(TTestRandom &r, int32_t bits) {
  return bits == 8 ? r.Next() & 0xFF : r.Next() & 0xFFFFFF;
}

} // namespace

std::vector<uint8_t> TestRecord(int32_t bits,
                                const std::vector<std::pair<uint32_t, uint32_t>> &runs) {
  std::vector<uint8_t> out(8);
  for (const auto &[value, count] : runs)
    AppendRun(out, bits, value, count);
  PutLE32(out, 0, static_cast<uint32_t>(out.size()));
  PutLE32(out, 4, static_cast<uint32_t>(runs.size()));
  return out;
}

std::vector<uint8_t> TestEncodeFrame(const TTestPicture &prev, const TTestPicture &cur,
                                     TRunCuts cuts, uint64_t seed) {
  const uint32_t limit = cur.Bits == 8 ? 255 : 65535;
  TTestRandom random(seed);
  std::vector<std::pair<uint32_t, uint32_t>> runs;
  for (size_t i = 0; i < cur.Pixels.size(); ++i) {
    const uint32_t diff = cur.Pixels[i] ^ prev.Pixels[i];
    bool extend = !runs.empty() && runs.back().first == diff && runs.back().second < limit;
    if (extend && cuts == TRunCuts::Random && random.Below(4) == 0) {
      extend = false;
      if (random.Below(3) == 0) runs.push_back({RandomValue(random, cur.Bits), 0});
    }
    if (extend)
      ++runs.back().second;
    else
      runs.push_back({diff, 1});
  }
  return TestRecord(cur.Bits, runs);
}

std::vector<uint8_t> ToSurface(const TTestPicture &p) {
  const size_t pixelBytes = p.Bits / 8;
  const size_t stride = (p.Width * pixelBytes + 3) / 4 * 4;
  std::vector<uint8_t> out(stride * p.Height, 0);
  for (int32_t y = 0; y < p.Height; ++y)
    for (int32_t x = 0; x < p.Width; ++x) {
      const uint32_t v = p.Pixels[size_t(y) * p.Width + x];
      uint8_t *o = out.data() + y * stride + x * pixelBytes;
      for (size_t i = 0; i < std::min<size_t>(pixelBytes, 3); ++i)
        o[i] = static_cast<uint8_t>(v >> (8 * i));
    }
  return out;
}

TzxRgbPicture ToRgb(const TTestPicture &p, const TzxPalette &palette) {
  TzxRgbPicture out;
  out.Width = p.Width;
  out.Height = p.Height;
  for (uint32_t v : p.Pixels) {
    if (p.Bits == 8) {
      const TzxPaletteEntry &e = palette[v];
      out.Pixels.insert(out.Pixels.end(), {e.Red, e.Green, e.Blue});
    } else {
      out.Pixels.insert(out.Pixels.end(), {static_cast<uint8_t>(v >> 16),
                                           static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
    }
  }
  return out;
}

std::vector<TTestPicture> MakeTestFrames(int32_t w, int32_t h, int32_t bits, int32_t frames,
                                         uint64_t seed) {
  TTestRandom r(seed);
  std::vector<TTestPicture> out;
  TTestPicture p(w, h, bits);
  auto rectangle = [&] {
    const int32_t x0 = r.Below(w), y0 = r.Below(h);
    const int32_t x1 = x0 + 1 + r.Below(w - x0), y1 = y0 + 1 + r.Below(h - y0);
    const uint32_t v = RandomValue(r, bits);
    for (int32_t y = y0; y < y1; ++y)
      for (int32_t x = x0; x < x1; ++x)
        p.At(x, y) = v;
  };
  auto noise = [&](int32_t n) {
    for (int32_t i = 0; i < n; ++i)
      p.At(r.Below(w), r.Below(h)) = RandomValue(r, bits);
  };
  for (int32_t k = 0; k < frames; ++k) {
    if (k == 0) {
      for (int i = 0; i < 6; ++i)
        rectangle();
      noise(w * h / 8 + 1);
    } else if (r.Below(4) != 0) { // one frame in four shows no change
      for (int i = r.Below(3); i >= 0; --i)
        rectangle();
      noise(r.Below(w * h / 16 + 2));
    }
    out.push_back(p);
  }
  return out;
}

TzxPalette RandomPalette(uint64_t seed) {
  TTestRandom r(seed);
  TzxPalette p;
  for (auto &e : p) {
    const uint32_t v = r.Next();
    e = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16), 0};
  }
  return p;
}

TTestSegment::TTestSegment(int32_t w, int32_t h, int32_t bits, int32_t flags) {
  FInfo = FList.Add();
  FInfo->Width = w;
  FInfo->Height = h;
  FInfo->BitsPerPixel = static_cast<uint8_t>(bits);
  FInfo->Flags = flags;
}

void TTestSegment::SetVideo(const std::vector<uint8_t> &video, int32_t frameCount) {
  FInfo->VideoStream->Seek(0);
  FInfo->VideoStream->Write(video.data(), static_cast<int32_t>(video.size()));
  FInfo->FrameCount = frameCount;
}

void TTestSegment::SetCursorTrack(const std::vector<uint8_t> &track) {
  FInfo->CursorTrack->Write(track.data(), static_cast<int32_t>(track.size()));
}

void TTestSegment::SetPaletteTrack(const std::vector<uint8_t> &track) {
  FInfo->PaletteTrack->Write(track.data(), static_cast<int32_t>(track.size()));
}

void TTestSegment::AddCursor(const TzxCursorRecord &record) {
  const std::string name = FDir.File("cursor" + std::to_string(FCursorFiles++) + ".bin");
  WriteWholeFile(name, EncodeCursorRecord(record));
  TzxFileStream file(name, fmOpenRead);
  auto cursor = std::make_unique<TzxCursor>();
  cursor->LoadFromFile(file);
  FInfo->Cursors->Add(std::move(cursor));
}
