#include "UzxCursor_new.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

namespace {

// Writes records into a file and returns it open for reading.
struct TRecordFile {
  TzxTestDir Dir;
  std::unique_ptr<TzxFileStream> File;
  explicit TRecordFile(const TzxBytes &bytes) {
    WriteWholeFile(Dir.File("records.bin"), bytes);
    File = std::make_unique<TzxFileStream>(Dir.File("records.bin"), fmOpenRead);
  }
};

TzxBytes Concat(std::initializer_list<TzxBytes> parts) {
  TzxBytes out;
  for (const auto &p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

} // namespace

TEST(CursorRecord, ColourAndMonochromeRecordsAreRead) {
  TzxBytes colour(32 * 32 * 4);
  for (size_t i = 0; i < colour.size(); ++i)
    colour[i] = static_cast<uint8_t>(i);
  TzxBytes a = EncodeCursorRecord(MakeColourCursor(32, 32, 10, 10, colour));
  std::vector<bool> ones(32 * 32, true), zeros(32 * 32, false);
  TzxBytes b = EncodeCursorRecord(MakeMonochromeCursor(32, 32, 3, 4, ones, zeros));
  EXPECT_EQ(a.size(), 34u + 128u + 4096u);
  EXPECT_EQ(b.size(), 34u + 256u);
  TRecordFile f(Concat({a, b}));

  TzxCursor c;
  EXPECT_EQ(c.LoadFromFile(*f.File), zxCursorBuilt);
  EXPECT_EQ(f.File->Position(), static_cast<int32_t>(a.size()));
  EXPECT_TRUE(c.Valid());
  EXPECT_TRUE(c.HasImages());
  EXPECT_FALSE(c.Monochrome());
  EXPECT_EQ(c.HotSpotX(), 10);
  EXPECT_EQ(c.Mask().Count, 128);
  EXPECT_EQ(c.Colour().Width, 32);
  EXPECT_EQ(c.ColourBits(), colour);

  TzxCursor m;
  EXPECT_EQ(m.LoadFromFile(*f.File), zxCursorBuilt);
  EXPECT_TRUE(m.Monochrome());
  EXPECT_EQ(m.Mask().Height, 64);
  EXPECT_EQ(m.HotSpotY(), 4);

  // Loading again releases the first images and builds the next record's.
  f.File->Seek(0);
  EXPECT_EQ(m.LoadFromFile(*f.File), zxCursorBuilt);
  EXPECT_FALSE(m.Monochrome());
  m.Release();
  EXPECT_FALSE(m.HasImages());
  EXPECT_EQ(m.Mask().Count, 0);
}

TEST(CursorRecord, BadRecordsConsumeExactlyTheirBytes) {
  TzxCursorRecord empty; // neither mask nor colour
  TzxCursorRecord shortMask = MakeColourCursor(32, 32, 0, 0, TzxBytes(4096));
  shortMask.MaskBits.resize(60); // 128 needed for 32 x 32 at one bit
  TzxCursorRecord longColour = MakeColourCursor(4, 4, 0, 0, TzxBytes(64));
  longColour.ColourBits.resize(200); // more than the image holds: surplus ignored
  TzxCursorRecord badDepth = MakeColourCursor(4, 4, 0, 0, TzxBytes(64));
  badDepth.Colour.BitsPerPixel = 7;
  TzxCursorRecord negative;
  negative.Mask = {-5, 32, 32, 1};
  negative.Colour = {-9, 32, 32, 32};
  TzxCursorRecord huge = MakeColourCursor(4, 4, 0, 0, TzxBytes(64));
  huge.Colour.Width = 1 << 20;

  std::vector<TzxBytes> records = {EncodeCursorRecord(empty),      EncodeCursorRecord(shortMask),
                                   EncodeCursorRecord(longColour), EncodeCursorRecord(badDepth),
                                   EncodeCursorRecord(negative),   EncodeCursorRecord(huge)};
  EXPECT_EQ(records[0].size(), 34u);
  EXPECT_EQ(records[4].size(), 34u);
  TzxBytes all;
  for (const auto &r : records)
    all.insert(all.end(), r.begin(), r.end());
  TRecordFile f(all);

  int32_t expected = 0;
  const int results[] = {zxCursorNoBitmap, zxCursorNoBitmap, zxCursorBuilt,
                         zxCursorNoBitmap, zxCursorNoBitmap, zxCursorNoBitmap};
  for (size_t i = 0; i < records.size(); ++i) {
    TzxCursor c;
    EXPECT_EQ(c.LoadFromFile(*f.File), results[i]) << "record " << i;
    expected += static_cast<int32_t>(records[i].size());
    EXPECT_EQ(f.File->Position(), expected) << "record " << i;
    EXPECT_EQ(c.Valid(), results[i] == zxCursorBuilt) << "record " << i;
  }
}

TEST(CursorRecord, TruncatedRecordStopsAtTheEndOfTheFile) {
  TzxBytes a = EncodeCursorRecord(MakeColourCursor(32, 32, 0, 0, TzxBytes(4096)));
  a.resize(1000);
  TRecordFile f(a);
  TzxCursor c;
  EXPECT_EQ(c.LoadFromFile(*f.File), zxCursorNoBitmap);
  EXPECT_FALSE(c.Valid());
  EXPECT_EQ(f.File->Position(), 1000);
}
