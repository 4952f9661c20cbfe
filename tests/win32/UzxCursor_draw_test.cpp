// Cursor images drawn by GDI into a 32-bit DIB section.
#include "UzxCursor_new.h"
#include "zxHandles_win.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

namespace {

// A white w x h 32-bit surface selected into a memory DC.
struct TSurface {
  int W, H;
  uint32_t *Pixels = nullptr;
  TzxMemoryDC DC{CreateCompatibleDC(nullptr)};
  TzxGdiObject Bitmap;
  std::unique_ptr<TzxSelect> Selection;

  TSurface(int w, int h) : W(w), H(h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    Bitmap.Attach(CreateDIBSection(DC.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    Pixels = static_cast<uint32_t *>(bits);
    for (int i = 0; i < w * h; ++i)
      Pixels[i] = 0xFFFFFF;
    Selection = std::make_unique<TzxSelect>(DC.Get(), Bitmap.Get());
  }
  uint32_t At(int x, int y) const { return Pixels[y * W + x] & 0xFFFFFF; }
};

std::unique_ptr<TzxCursor> Load(const TzxBytes &record, TzxTestDir &dir) {
  WriteWholeFile(dir.File("c.bin"), record);
  TzxFileStream f(dir.File("c.bin"), fmOpenRead);
  auto c = std::make_unique<TzxCursor>();
  EXPECT_EQ(c->LoadFromFile(f), zxCursorBuilt);
  return c;
}

} // namespace

TEST(CursorDraw, ColourCursorCoversItsRectangleAroundTheHotSpot) {
  TzxTestDir dir;
  TzxBytes red(32 * 32 * 4);
  for (size_t i = 0; i < red.size(); i += 4)
    red[i + 2] = 0xFF; // blue, green, red, unused
  TzxCursorRecord rec = MakeColourCursor(32, 32, 10, 10, red);
  auto c = Load(EncodeCursorRecord(rec), dir);

  TSurface s(200, 120);
  GdiFlush();
  c->Draw(s.DC.Get(), 100, 50);
  GdiFlush();
  // AND with an all-zero mask clears, XOR puts the cursor's colour.
  EXPECT_EQ(s.At(90, 40), 0xFF0000u);
  EXPECT_EQ(s.At(121, 71), 0xFF0000u);
  EXPECT_EQ(s.At(89, 40), 0xFFFFFFu);
  EXPECT_EQ(s.At(122, 71), 0xFFFFFFu);
  EXPECT_EQ(s.At(90, 39), 0xFFFFFFu);
  EXPECT_EQ(s.At(90, 72), 0xFFFFFFu);
}

TEST(CursorDraw, MonochromeCursorInvertsThroughItsXorHalf) {
  TzxTestDir dir;
  std::vector<bool> keep(32 * 32, true), invert(32 * 32, false);
  for (int x = 0; x < 32; ++x)
    invert[static_cast<size_t>(5 * 32 + x)] = true; // row 5
  auto c = Load(EncodeCursorRecord(MakeMonochromeCursor(32, 32, 0, 0, keep, invert)), dir);
  EXPECT_TRUE(c->Monochrome());

  TSurface s(64, 64);
  GdiFlush();
  c->Draw(s.DC.Get(), 8, 8);
  GdiFlush();
  EXPECT_EQ(s.At(8, 13), 0x000000u); // white inverted
  EXPECT_EQ(s.At(39, 13), 0x000000u);
  EXPECT_EQ(s.At(8, 12), 0xFFFFFFu); // kept
  EXPECT_EQ(s.At(40, 13), 0xFFFFFFu);
}

TEST(CursorDraw, RecordWithoutImagesDrawsNothing) {
  TzxTestDir dir;
  WriteWholeFile(dir.File("c.bin"), EncodeCursorRecord(TzxCursorRecord{}));
  TzxFileStream f(dir.File("c.bin"), fmOpenRead);
  TzxCursor c;
  EXPECT_EQ(c.LoadFromFile(f), zxCursorNoBitmap);
  EXPECT_EQ(f.Position(), 34);
  TSurface s(16, 16);
  c.Draw(s.DC.Get(), 4, 4);
  GdiFlush();
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      ASSERT_EQ(s.At(x, y), 0xFFFFFFu);
}
