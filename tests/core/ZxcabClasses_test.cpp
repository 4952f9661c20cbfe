#include "ZxcabClasses.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

TEST(SegmentList, RecordsOwnTheirTemporaryFilesUntilClear) {
  TzxTestDir dir;
  TSegmentList list;
  EXPECT_EQ(list.Get(-1), nullptr);
  EXPECT_EQ(list.Get(0), nullptr);

  TSegmentInfo *a = list.Add();
  TSegmentInfo *b = list.Add();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Get(1), b);
  EXPECT_EQ(list.Get(2), nullptr);
  EXPECT_TRUE(FileExists(a->VideoFileName));
  EXPECT_EQ(ExtractFileName(a->VideoFileName).substr(0, 4), "zxS_");
  EXPECT_EQ(CountEnding(dir.Files(), ".~zxflm"), 2);
  EXPECT_EQ(a->Cursors->Count(), 0);
  EXPECT_EQ(a->CursorTrack->Size(), 0);
  EXPECT_EQ(a->PaletteTrack->Size(), 0);
  EXPECT_TRUE(a->SoundFileName.empty());
  EXPECT_EQ(a->SoundStream, nullptr);

  // A sound file belongs to its record as well.
  b->SoundFileName = dir.File("zxS_1.mp3");
  { TzxFileStream s(b->SoundFileName, fmCreate); }
  // The video stream stays open for reading and writing.
  EXPECT_EQ(a->VideoStream->Write("xyz", 3), 3);

  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(dir.Files().empty());
}

TEST(SegmentList, AddFailsCleanlyWhenNoTemporaryFileCanBeMade) {
  TzxTestDir dir;
  SetVideoTempDirectory(dir.File("missing") + PathDelim);
  TSegmentList list;
  EXPECT_THROW(list.Add(), EzxError);
  EXPECT_EQ(list.Count(), 0);
}

TEST(CursorList, OwnsAndIndexesCursors) {
  TCursorList l;
  EXPECT_EQ(l.Add(std::make_unique<TzxCursor>()), 0);
  EXPECT_EQ(l.Add(std::make_unique<TzxCursor>()), 1);
  EXPECT_EQ(l.Count(), 2);
  EXPECT_NE(l.Get(1), nullptr);
  EXPECT_EQ(l.Get(-1), nullptr);
  EXPECT_EQ(l.Get(2), nullptr);
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
}

TEST(EventPublisher, CallsHandlersInOrder) {
  TEventPublisher p;
  p.Publish(evStartupComplete, 0); // nobody listens: nothing happens
  std::vector<int> seen;
  p.Subscribe([&](uint8_t code, int32_t arg) { seen.push_back(code * 100 + arg); });
  p.Subscribe([&](uint8_t code, int32_t) { seen.push_back(-code); });
  p.Publish(evSegmentOpened, 3);
  EXPECT_EQ(seen, (std::vector<int>{403, -4}));
}

TEST(MediaKind, ClassifiesByExtension) {
  EXPECT_EQ(MediaKindOfFile("C:\\t\\zxS_1.MP3"), mkMp3);
  EXPECT_EQ(MediaKindOfFile("a.mid"), mkMidi);
  EXPECT_EQ(MediaKindOfFile("a.wav"), mkWave);
  EXPECT_EQ(MediaKindOfFile("a.ogg"), mkWave);
  EXPECT_EQ(MediaKindOfFile("noextension"), mkWave);
  EXPECT_EQ(MediaKindOfFile(""), mkWave);
  EXPECT_EQ(MediaKindOfFile("a.mp3.bak"), mkWave);
}
