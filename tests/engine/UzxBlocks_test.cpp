#include "UzxBlocks.h"
#include "zxEngineTesting.h"
#include "zxFrameEncoder.h"
#include "zxTexts.h"

#include <gtest/gtest.h>

#include <climits>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

// The main window as the queue sees it: posted messages wait in a queue
// until a thread takes them.
class TTestWindow : public TzxBlockWindow {
public:
  struct TMessage {
    uint32_t Msg;
    TBlock *Block;
  };

  bool PostBlockMessage(uint32_t msg, TBlock *block) override {
    std::lock_guard<std::mutex> lock(FLock);
    FMessages.push_back({msg, block});
    FPosted.notify_all();
    return true;
  }
  // Waits for the next message.
  TMessage Take() {
    std::unique_lock<std::mutex> lock(FLock);
    FPosted.wait(lock, [this] { return !FMessages.empty(); });
    const TMessage m = FMessages.front();
    FMessages.pop_front();
    return m;
  }
  size_t Pending() {
    std::lock_guard<std::mutex> lock(FLock);
    return FMessages.size();
  }

private:
  std::mutex FLock;
  std::condition_variable FPosted;
  std::deque<TMessage> FMessages;
};

// The media player's side of a wait: records the calls, reports one mode
// before the pause and another after it, and signals the pause.
class TTestSound : public TzxBlockWaitSound {
public:
  TTestSound(int32_t modeBefore, int32_t modeAfter) : FBefore(modeBefore), FAfter(modeAfter) {}

  int32_t Mode() override {
    std::lock_guard<std::mutex> lock(FLock);
    return FPauses == 0 ? FBefore : FAfter;
  }
  void PauseSound() override {
    std::lock_guard<std::mutex> lock(FLock);
    ++FPauses;
    FChanged.notify_all();
  }
  void StartSound() override {
    std::lock_guard<std::mutex> lock(FLock);
    ++FStarts;
  }
  void WaitForPause() {
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [this] { return FPauses > 0; });
  }
  int32_t Pauses() {
    std::lock_guard<std::mutex> lock(FLock);
    return FPauses;
  }
  int32_t Starts() {
    std::lock_guard<std::mutex> lock(FLock);
    return FStarts;
  }

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  int32_t FBefore;
  int32_t FAfter;
  int32_t FPauses = 0;
  int32_t FStarts = 0;
};

// A record of exactly length bytes (at least 8): no runs, then filler bytes
// that tell records apart.
std::vector<uint8_t> FillerRecord(int32_t length, uint8_t mark) {
  std::vector<uint8_t> r(size_t(length), mark);
  PutLE32(r.data(), length);
  PutLE32(r.data() + 4, 0);
  return r;
}

std::vector<uint8_t> Join(const std::vector<std::vector<uint8_t>> &records) {
  std::vector<uint8_t> all;
  for (const auto &r : records)
    all.insert(all.end(), r.begin(), r.end());
  return all;
}

std::vector<uint8_t> Contents(const TBlock &b) {
  return {b.Data(), b.Data() + b.Size};
}

// A segment whose video stream holds bytes, rewound as segment opening does.
class TVideoSegment {
public:
  explicit TVideoSegment(const std::vector<uint8_t> &video, int32_t frames = 0)
      : FSegment(8, 8, 32) {
    FSegment.SetVideo(video, frames);
    FSegment.Info().VideoStream->Seek(0);
  }
  TzxBlockSource Source(int64_t maxFrameSize) { return {&FSegment.Info(), maxFrameSize}; }
  TzxStream &Video() { return *FSegment.Info().VideoStream; }

private:
  TTestSegment FSegment;
};

void ExpectBox(const TzxBoxRecorder &boxes, const std::string &text, const std::string &caption,
               uint32_t style) {
  ASSERT_EQ(boxes.Boxes.size(), 1u) << "expected the one box \"" << text << "\"";
  EXPECT_EQ(boxes.Boxes[0].Text, text);
  EXPECT_EQ(boxes.Boxes[0].Caption, caption);
  EXPECT_EQ(boxes.Boxes[0].Style, style);
}

} // namespace

// ------------------------------------------------------------ the queue

TEST(BlockQueue, AddBlockRefusesNoneAndAFullQueue) {
  TzxBoxRecorder boxes;
  TQueue q;
  TBlock a(16), b(16), c(16);
  EXPECT_FALSE(q.AddBlock(nullptr));
  EXPECT_TRUE(boxes.Boxes.empty()) << "no block is refused silently";
  EXPECT_TRUE(q.AddBlock(&a));
  EXPECT_TRUE(q.AddBlock(&b));
  EXPECT_FALSE(q.AddBlock(&c));
  ExpectBox(boxes, "AddBlock: FCount > BlockCount", "Debug", zxMB_ICONERROR);
  EXPECT_EQ(q.Count(), 2);
  EXPECT_EQ(q.First(), &a);
  q.RemoveFirst();
  EXPECT_EQ(q.First(), &b);
  q.Clear();
  EXPECT_EQ(q.First(), nullptr);
  q.RemoveFirst(); // on an empty queue: nothing
  EXPECT_EQ(q.Count(), 0);
}

TEST(BlockQueue, DoMessageChecksWindowCountAndMessage) {
  TzxBoxRecorder boxes;
  TQueue q;
  TTestWindow w;
  TBlock a(16), b(16);
  q.AddBlock(&a);
  EXPECT_FALSE(q.DoMessage(UM_BLOCKEMPTY));
  ExpectBox(boxes, "DoMessage: WindowHandle = 0", "Debug", zxMB_ICONERROR);
  EXPECT_EQ(q.Count(), 1);

  q.SetWindowHandle(&w);
  q.Clear();
  boxes.Boxes.clear();
  EXPECT_FALSE(q.DoMessage(UM_BLOCKEMPTY));
  ExpectBox(boxes, "DoMessage: FCount = 0", "Debug", zxMB_ICONERROR);

  q.AddBlock(&a);
  q.AddBlock(&b);
  const std::pair<uint32_t, const char *> refused[] = {
      {UM_BLOCKERROR, "DoMessage: UM_BLOCKERROR"},
      {UM_BLOCKFULL - 1, "DoMessage: Msg out of bounds"},
      {UM_BLOCKERROR + 1, "DoMessage: Msg out of bounds"},
      {0, "DoMessage: Msg out of bounds"},
  };
  for (const auto &[msg, text] : refused) {
    boxes.Boxes.clear();
    EXPECT_FALSE(q.DoMessage(msg)) << msg;
    ExpectBox(boxes, text, "Debug", zxMB_ICONERROR);
    EXPECT_EQ(q.Count(), 2) << "message " << msg << " must not remove an entry";
  }
  EXPECT_EQ(w.Pending(), 0u);

  boxes.Boxes.clear();
  EXPECT_TRUE(q.DoMessage(UM_BLOCKEMPTY));
  EXPECT_TRUE(q.DoMessage(UM_BLOCKFULL));
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(q.Count(), 0);
  const auto first = w.Take();
  const auto second = w.Take();
  EXPECT_EQ(first.Msg, 1125u);
  EXPECT_EQ(first.Block, &a);
  EXPECT_EQ(second.Msg, 1124u);
  EXPECT_EQ(second.Block, &b);
}

// ------------------------------------------------------------ filling

TEST(BlockFill, RealFramesPassThroughBlocksWhole) {
  // 24 frames of 40 x 30 at 32 bits in blocks that take a few records each.
  TzxFrameEncoder encoder(40, 30, 32);
  const auto pictures = MakeTestFrames(40, 30, 32, 24, 7);
  std::vector<uint8_t> video;
  for (const auto &p : pictures) {
    const auto surface = ToSurface(p);
    encoder.AppendFrame(video, surface.data(), size_t(encoder.Layout().Stride), surface.size());
  }
  const int64_t maxFrame = encoder.Layout().MaxFrameSize();
  TVideoSegment seg(video, 24);
  TzxBoxRecorder boxes;
  TQueue q;
  TBlock block(int32_t(maxFrame) * 3);

  std::vector<uint8_t> seen;
  int32_t records = 0, blocks = 0;
  while (DoBlockEmpty(q, &block, seg.Source(maxFrame))) {
    ASSERT_EQ(q.First(), &block);
    ++blocks;
    EXPECT_GT(block.Size, 0);
    const bool streamLeft = seg.Video().Position() < seg.Video().Size();
    if (streamLeft) {
      EXPECT_LT(block.Capacity() - block.Size - 8, maxFrame)
          << "block " << blocks << " stopped early";
    }
    for (TzxFrameWalk walk(block.Data(), size_t(block.Size), encoder.Layout().Format);
         !walk.AtEnd(); walk.Next()) {
      ASSERT_NO_THROW(walk.Current()) << "record " << records << " split by a block end";
      ++records;
    }
    const auto bytes = Contents(block);
    seen.insert(seen.end(), bytes.begin(), bytes.end());
    q.RemoveFirst();
  }
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(records, 24);
  EXPECT_GT(blocks, 1);
  EXPECT_EQ(seen, video);
}

TEST(BlockFill, RecordsExactlyFillingABlock) {
  std::vector<std::vector<uint8_t>> records;
  for (int i = 0; i < 9; ++i)
    records.push_back(FillerRecord(128, uint8_t(i)));
  TVideoSegment seg(Join(records));
  TzxBoxRecorder boxes;
  TQueue q;
  TBlock first(1024), second(1024);
  EXPECT_EQ(PreloadBlocks(q, first, second, seg.Source(0)), &first);
  EXPECT_EQ(first.Size, 1024);
  EXPECT_EQ(Contents(first), Join({records.begin(), records.begin() + 8}));
  EXPECT_EQ(second.Size, 128);
  EXPECT_EQ(Contents(second), records[8]);
  EXPECT_EQ(q.Count(), 2);
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST(BlockFill, WorstCaseRecordDecidesWhereABlockEnds) {
  // 1000 bytes, worst case 300: records of 100 stop once fewer than 308 bytes are left.
  std::vector<std::vector<uint8_t>> records;
  for (int i = 0; i < 10; ++i)
    records.push_back(FillerRecord(100, uint8_t(i)));
  TVideoSegment seg(Join(records));
  TQueue q;
  TBlock first(1000), second(1000);
  PreloadBlocks(q, first, second, seg.Source(300));
  EXPECT_EQ(first.Size, 700);
  EXPECT_EQ(second.Size, 300);
  EXPECT_EQ(seg.Video().Position(), 1000);
}

TEST(BlockFill, RecordBeyondTheWorstCaseStartsTheNextBlock) {
  const std::vector<std::vector<uint8_t>> records = {FillerRecord(500, 1), FillerRecord(300, 2),
                                                     FillerRecord(400, 3)};
  TVideoSegment seg(Join(records));
  TzxBoxRecorder boxes;
  TQueue q;
  TBlock first(1000), second(1000);
  PreloadBlocks(q, first, second, seg.Source(100));
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(Contents(first), Join({records[0], records[1]}));
  EXPECT_EQ(Contents(second), records[2]);
}

TEST(BlockFill, EmptyStreamAndShortStream) {
  TzxBoxRecorder boxes;
  {
    TVideoSegment seg({});
    TQueue q;
    TBlock first(256), second(256);
    EXPECT_EQ(PreloadBlocks(q, first, second, seg.Source(0)), nullptr);
    EXPECT_EQ(q.Count(), 0);
    EXPECT_TRUE(q.SourceEnded());
    EXPECT_FALSE(q.SourceFailed());
    q.Clear();
    EXPECT_FALSE(q.SourceEnded()) << "the next segment starts afresh";
  }
  {
    TVideoSegment seg(Join({FillerRecord(40, 1), FillerRecord(60, 2)}));
    TQueue q;
    TBlock first(256), second(256);
    EXPECT_EQ(PreloadBlocks(q, first, second, seg.Source(50)), &first);
    EXPECT_EQ(q.Count(), 1) << "the second block has nothing left to take";
    EXPECT_EQ(first.Size, 100);
    EXPECT_TRUE(q.SourceEnded());
  }
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST(BlockFill, RecordLargerThanABlockIsRefused) {
  TVideoSegment seg(Join({FillerRecord(2000, 1), FillerRecord(20, 2)}));
  TzxBoxRecorder boxes;
  TQueue q;
  TBlock block(1024);
  EXPECT_FALSE(DoBlockEmpty(q, &block, seg.Source(0)));
  ExpectBox(boxes, "ThreadP: Size > BlockSize", "Error", zxMB_OK);
  TQueue q2;
  TVideoSegment again(Join({FillerRecord(2000, 1)}));
  EXPECT_EQ(FillBlock(q2, &block, again.Source(0)).Detail,
            "the frame record at byte 0 is 2000 bytes long, more than a block of 1024 holds");
  EXPECT_EQ(q.Count(), 0);
  EXPECT_EQ(block.Size, 0);
  // A block too small for a record's length still reads the length.
  TBlock tiny(2);
  TQueue q3;
  TVideoSegment third(Join({FillerRecord(20, 1)}));
  EXPECT_EQ(FillBlock(q3, &tiny, third.Source(0)).Detail,
            "the frame record at byte 0 is 20 bytes long, more than a block of 2 holds");
}

class BlockFillCorrupt : public testing::TestWithParam<int32_t> {};

TEST_P(BlockFillCorrupt, LengthTooSmallEndsTheRecordsBehindTheGoodOnes) {
  // A good record, then one whose length cannot even hold its head.
  auto video = FillerRecord(40, 1);
  uint8_t bad[12] = {};
  PutLE32(bad, GetParam());
  video.insert(video.end(), bad, bad + sizeof bad);
  TVideoSegment seg(video);
  TzxBoxRecorder boxes;
  TQueue q;
  TBlock block(1024);
  const TzxBlockFill fill = FillBlock(q, &block, seg.Source(0));
  EXPECT_EQ(fill.Result, TzxBlockFill::Failed);
  EXPECT_STREQ(fill.Text, "ThreadP: Size = 0");
  EXPECT_EQ(fill.Detail,
            Format("the frame record at byte 40 gives its length as %d, below 8", GetParam()));
  EXPECT_TRUE(boxes.Boxes.empty()) << "filling shows nothing";
  EXPECT_TRUE(fill.KeptRecords);
  EXPECT_EQ(q.Count(), 1) << "the good record before the damage is still shown";
  EXPECT_EQ(block.Size, 40);
  EXPECT_TRUE(q.SourceFailed()) << "the clock ends the segment behind it silently";
  TBlock second(1024);
  EXPECT_FALSE(DoBlockEmpty(q, &second, seg.Source(0)));
  EXPECT_TRUE(boxes.Boxes.empty()) << "the next block reads nothing behind the damage";

  // The main window's handler says it in a box.
  TVideoSegment again(video);
  TQueue q2;
  TBlock third(1024);
  EXPECT_TRUE(DoBlockEmpty(q2, &third, again.Source(0)));
  ExpectBox(boxes, "ThreadP: Size = 0", TextError, zxMB_OK);
}

INSTANTIATE_TEST_SUITE_P(Lengths, BlockFillCorrupt, testing::Values(0, -1, INT_MIN, 1, 3, 4, 7));

TEST(BlockFill, RecordCutShortByTheStreamEnd) {
  TzxBoxRecorder boxes;
  {
    auto video = FillerRecord(100, 1);
    video.resize(60);
    TVideoSegment seg(video);
    TQueue q;
    TBlock block(1024);
    EXPECT_FALSE(DoBlockEmpty(q, &block, seg.Source(0)));
    ExpectBox(boxes, "ThreadP: BytesRead <> size", "Error", zxMB_OK);
    EXPECT_EQ(q.Count(), 0);
    TBlock again(1024);
    TQueue q2;
    TVideoSegment seg2(video);
    EXPECT_EQ(FillBlock(q2, &again, seg2.Source(0)).Detail,
              "the frame record of 100 bytes at byte 0 runs past the end of the video data (60 "
              "bytes)");
  }
  boxes.Boxes.clear();
  {
    // Two bytes where a length should be.
    auto video = FillerRecord(16, 1);
    video.push_back(9);
    video.push_back(0);
    TVideoSegment seg(video);
    TQueue q;
    TBlock block(1024);
    const TzxBlockFill fill = FillBlock(q, &block, seg.Source(0));
    EXPECT_EQ(fill.Result, TzxBlockFill::Failed);
    EXPECT_EQ(fill.Detail, "the video data of 18 bytes ends inside the length of the frame record "
                           "at byte 16");
    EXPECT_EQ(q.Count(), 1);
    EXPECT_EQ(block.Size, 16);
  }
}

TEST(BlockFill, NoBlockNoSegmentAndAQueuedBlock) {
  TzxBoxRecorder boxes;
  TQueue q;
  TBlock first(256), second(256);
  EXPECT_FALSE(DoBlockEmpty(q, nullptr, {}));
  ExpectBox(boxes, "DoBlockEmpty: Block = nil", "Debug", zxMB_ICONERROR);
  boxes.Boxes.clear();
  EXPECT_FALSE(DoBlockEmpty(q, &first, {}));
  ExpectBox(boxes, "SegInfo = nil", "Debug", zxMB_ICONERROR);

  // A late hand-back of a block that was preloaded again meanwhile.
  boxes.Boxes.clear();
  TVideoSegment seg(Join({FillerRecord(200, 1), FillerRecord(200, 2), FillerRecord(200, 3)}));
  PreloadBlocks(q, first, second, seg.Source(100));
  const auto before = Contents(second);
  const int32_t position = seg.Video().Position();
  EXPECT_FALSE(DoBlockEmpty(q, &second, seg.Source(100)));
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(Contents(second), before);
  EXPECT_EQ(seg.Video().Position(), position);
  EXPECT_EQ(q.Count(), 2);
}

TEST(BlockFill, PlayerBlocksOfASegmentAt742By419) {
  // The worst case of 742 x 419 at 32 bits is 1 554 490 bytes: the player's
  // 16 MiB blocks take records until fewer than 1 554 498 bytes are left.
  const int64_t maxFrame = MakePictureLayout(742, 419, 32).MaxFrameSize();
  ASSERT_EQ(maxFrame, 1554490);
  std::vector<std::vector<uint8_t>> records;
  for (int i = 0; i < 17; ++i)
    records.push_back(FillerRecord(1000000, uint8_t(i)));
  TVideoSegment seg(Join(records));
  TzxBoxRecorder boxes;
  SetBlockSource(seg.Source(maxFrame));
  ResetBlocks();
  EXPECT_EQ(PreloadBlocks(), &Blocks[0]);
  EXPECT_EQ(Blocks[0].Capacity(), BlockSize);
  EXPECT_EQ(Blocks[0].Size, 16000000);
  EXPECT_EQ(Blocks[1].Size, 1000000);
  EXPECT_EQ(Blocks[1].Data()[999999], 16);
  EXPECT_EQ(BlockQueue.Count(), 2);
  EXPECT_TRUE(boxes.Boxes.empty());
  ResetBlocks();
  SetBlockSource({});
  EXPECT_EQ(BlockQueue.Count(), 0);
}

// ------------------------------------------------------------ two threads

TEST(BlockThreads, DecoderAndWindowPassBlocksBackAndForth) {
  // Many records of varied lengths in small blocks: the clock's thread walks
  // the head block and hands each used-up block back; the window's thread
  // refills it, as the main window does on UM_BLOCKEMPTY.
  TTestRandom random(11);
  std::vector<std::vector<uint8_t>> records;
  for (int i = 0; i < 3000; ++i)
    records.push_back(FillerRecord(8 + random.Below(120), uint8_t(i)));
  const auto video = Join(records);
  TVideoSegment seg(video, int32_t(records.size()));
  TzxBoxRecorder boxes;
  TQueue q;
  TTestWindow window;
  q.SetWindowHandle(&window);
  TBlock first(512), second(512);
  const TzxBlockSource source = seg.Source(128);
  ASSERT_EQ(PreloadBlocks(q, first, second, source), &first);

  std::vector<uint8_t> seen;
  int32_t waitsFailed = 0;
  std::thread clock([&] {
    size_t frames = 0;
    while (frames < records.size()) {
      TBlock *head = q.First();
      const uint8_t *data = head->Data();
      for (int32_t pos = 0; pos < head->Size; pos += GetLE32(data + pos), ++frames)
        seen.insert(seen.end(), data + pos, data + pos + GetLE32(data + pos));
      if (frames == records.size()) break;
      q.DoMessage(UM_BLOCKEMPTY);
      if (!q.WaitNextBlock()) ++waitsFailed;
    }
    window.PostBlockMessage(0, nullptr); // the window's sign to stop
  });
  for (;;) {
    const auto m = window.Take();
    if (m.Msg != UM_BLOCKEMPTY) break;
    DoBlockEmpty(q, m.Block, source);
  }
  clock.join();
  EXPECT_EQ(waitsFailed, 0);
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(seen, video);
}

TEST(BlockThreads, AbortWaitEndsAWait) {
  TQueue q;
  TTestSound sound(1, 1);
  bool result = true;
  std::thread clock([&] { result = q.WaitNextBlock(&sound); });
  sound.WaitForPause(); // the clock is waiting now
  q.SetAbortWait(true);
  clock.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(sound.Starts(), 0);

  // Once set, later waits end at once, before they touch the sound.
  TTestSound other(2, 5);
  EXPECT_FALSE(q.WaitNextBlock(&other));
  EXPECT_EQ(other.Pauses(), 0);
}

// A segment whose records end before its frame count: the clock hands back
// its last block and waits; the refill finds nothing, and the wait ends
// instead of lasting for ever.
TEST(BlockThreads, RecordsRunningOutEndAWait) {
  TVideoSegment seg(Join({FillerRecord(40, 1), FillerRecord(40, 2)}), 50);
  TTestWindow window;
  TQueue q;
  q.SetWindowHandle(&window);
  TBlock first(64), second(64);
  ASSERT_EQ(PreloadBlocks(q, first, second, seg.Source(0)), &first);
  ASSERT_EQ(q.Count(), 2);
  TTestSound sound(2, 2);
  std::vector<bool> waits;
  std::thread clock([&] {
    for (int i = 0; i < 2; ++i) {
      q.DoMessage(UM_BLOCKEMPTY);
      waits.push_back(q.WaitNextBlock(&sound));
    }
  });
  for (int i = 0; i < 2; ++i) {
    const auto m = window.Take();
    EXPECT_FALSE(DoBlockEmpty(q, m.Block, seg.Source(0)));
  }
  clock.join();
  EXPECT_EQ(waits, (std::vector<bool>{true, false}));
  EXPECT_TRUE(q.SourceEnded());
  EXPECT_FALSE(q.SourceFailed());
}

TEST(BlockThreads, ABlockEndsAWaitAndRestartsTheMediaPlayer) {
  TQueue q;
  TBlock block(16);
  TTestSound sound(2, 5); // playing before the wait, paused by it
  bool result = false;
  std::thread clock([&] { result = q.WaitNextBlock(&sound); });
  sound.WaitForPause();
  q.AddBlock(&block);
  clock.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(sound.Pauses(), 1);
  EXPECT_EQ(sound.Starts(), 1);

  // A head block at once: no pause, no restart.
  TTestSound idle(2, 5);
  EXPECT_TRUE(q.WaitNextBlock(&idle));
  EXPECT_EQ(idle.Pauses(), 0);
  EXPECT_EQ(idle.Starts(), 0);

  // Sound through wave-out (nothing open in the media player) is not restarted.
  q.Clear();
  TTestSound waveOut(7, 7);
  std::thread again([&] { q.WaitNextBlock(&waveOut); });
  waveOut.WaitForPause();
  q.AddBlock(&block);
  again.join();
  EXPECT_EQ(waveOut.Pauses(), 1);
  EXPECT_EQ(waveOut.Starts(), 0);
}
