// The block queue: a segment's frame records read ahead in two large blocks.
//
// Two blocks circulate between two threads. The main window's thread fills a
// block with as many whole frame records as fit (DoBlockEmpty) and appends it
// to the queue (AddBlock). The playback clock, on the multimedia timer's
// thread, decodes from the head block; when that block is used up it removes
// it and hands it back to the main window for refilling (DoMessage with
// UM_BLOCKEMPTY), then waits for the next head block (WaitNextBlock).
//
// Block content: frame records laid end to end from offset 0, Size bytes in
// all; each starts with its int32 length L (little-endian) counting the
// whole record. A block never splits a record.
//
// The queue's entries, its window and the abort flag are shared by both
// threads and guarded by one lock; a block's Data and Size change only while
// the block is out of the queue, so they pass from one thread to the other
// with the queue's lock.
//
// Portable: the hand-back to the main window goes through TzxBlockWindow,
// which the Win32 shell implements with PostMessage.
#pragma once

#include "zxFrameDecoder.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct TSegmentInfo;

constexpr int32_t BlockCount = 2;
constexpr int32_t BlockSize = 16777216; // 16 MiB

// Block messages (WM_USER + 100 ..). They carry wParam 0 and the block in lParam.
enum : uint32_t {
  UM_BLOCKFULL = 0x0400 + 100,  // accepted by DoMessage; nobody sends it
  UM_BLOCKEMPTY = 0x0400 + 101, // a used-up block handed back for refilling
  UM_BLOCKERROR = 0x0400 + 102, // reserved; DoMessage refuses it
};

// A fixed buffer of frame records. Data is allocated once, with the block,
// and kept for its life; filling never allocates.
class TBlock {
public:
  explicit TBlock(int32_t capacity = BlockSize);
  TBlock(const TBlock &) = delete;
  TBlock &operator=(const TBlock &) = delete;

  uint8_t *Data() { return FData.get(); }
  const uint8_t *Data() const { return FData.get(); }
  int32_t Capacity() const { return FCapacity; }

  // Bytes of frame records held (0: empty).
  int32_t Size = 0;
  // Where the first of them starts in the video stream.
  int64_t StreamOffset = 0;

private:
  int32_t FCapacity;
  std::unique_ptr<uint8_t[]> FData;
};

// Where the queue hands used-up blocks: the main window.
class TzxBlockWindow {
public:
  virtual ~TzxBlockWindow() = default;
  // Queues msg with the block for the window's thread and returns at once
  // (PostMessage with wParam 0, lParam the block). False when it could not.
  virtual bool PostBlockMessage(uint32_t msg, TBlock *block) = 0;
};

// The media player as far as the wait for a block needs it: its mode index
// (2 "Playing", 7 "Unknown"), and the sound's pause and restart.
class TzxBlockWaitSound {
public:
  virtual ~TzxBlockWaitSound() = default;
  virtual int32_t Mode() = 0;
  virtual void PauseSound() = 0;
  virtual void StartSound() = 0;
};

class TQueue {
public:
  TQueue() = default;
  TQueue(const TQueue &) = delete;
  TQueue &operator=(const TQueue &) = delete;

  // Appends block behind the others. False without a block (silently) and
  // when the queue is full ("AddBlock: FCount > BlockCount").
  bool AddBlock(TBlock *block);
  // The head block, or none. Does not remove it.
  TBlock *First() const;
  void RemoveFirst();
  void Clear();
  int32_t Count() const;
  bool Contains(const TBlock *block) const;

  // Removes the head block and posts msg with it to the window
  // (UM_BLOCKFULL, UM_BLOCKEMPTY). Without a window, on an empty queue and
  // for any other message it shows a "Debug" box and changes nothing.
  // True when the block was posted.
  bool DoMessage(uint32_t msg);

  // The main window, none until it is created.
  void SetWindowHandle(TzxBlockWindow *window);
  TzxBlockWindow *WindowHandle() const;

  // Ends a running WaitNextBlock and makes later ones return at once, until
  // it is set false again.
  void SetAbortWait(bool abort);
  bool AbortWait() const;

  // The records of the segment have run out: the source had nothing left
  // (failed false) or could not be read (failed true, and the user has been
  // told). A wait on an empty queue then ends instead of waiting for a block
  // that will not come. Clear forgets it.
  void SetSourceEnded(bool failed);
  bool SourceEnded() const;
  bool SourceFailed() const;

  // Returns when the queue has a head block (true) or the wait is abandoned
  // or the source has ended (false). On the first pass without a block the sound is paused; when
  // the media player was playing before and is not now, it is restarted
  // once the block has come. sound may be none.
  bool WaitNextBlock(TzxBlockWaitSound *sound = nullptr);

private:
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  int32_t FCount = 0;
  TBlock *FItems[BlockCount] = {};
  TzxBlockWindow *FWindowHandle = nullptr;
  bool FAbortWait = false;
  bool FSourceEnded = false;
  bool FSourceFailed = false;
};

// What DoBlockEmpty reads from: the current segment's video stream, and the
// largest record the segment can produce (RunSize x width x height).
struct TzxBlockSource {
  TSegmentInfo *SegInfo = nullptr;
  int64_t MaxFrameSize = 0;
};

// What filling a block came to.
struct TzxBlockFill {
  enum TResult {
    Queued,  // the block holds records and went into the queue
    Nothing, // the stream had nothing left: the records have ended
    Failed,  // a record could not be read: the records end here, and
             // the block holds those before it (queued when there are any)
    Refused, // no block, no segment, a block still queued, records ended
  };
  TResult Result = Refused;
  // Failed and Refused: the message the player shows ("ThreadP: Size = 0"),
  // and for Failed what is wrong, with its numbers.
  const char *Text = "";
  std::string Detail;
  // Failed: the records before the damaged one went into the queue.
  bool KeptRecords = false;
};

// Fills block from the source's video stream, from its current position,
// with as many whole records as fit while a worst-case record still would,
// and appends it to queue. A record that would not fit behind the ones
// already read is left in the stream for the next block. A fill that fails
// queues the records before the damaged one, if any; a block for which the
// stream had nothing left is not queued. Both end the source
// (TQueue::SetSourceEnded). A block that is still in the queue (a hand-back
// that arrived after the blocks were preloaded again) is left alone. Shows
// nothing.
TzxBlockFill FillBlock(TQueue &queue, TBlock *block, const TzxBlockSource &source);

// FillBlock as the main window's handler: failures are shown as message
// boxes. True when the block was queued.
bool DoBlockEmpty(TQueue &queue, TBlock *block, const TzxBlockSource &source);

// Clears the queue and empties the blocks.
void ResetBlocks(TQueue &queue, TBlock &first, TBlock &second);

// Fills first and then second and queues them in that order; the caller
// has rewound the video stream. Returns the head block (none when the
// stream had no records).
TBlock *PreloadBlocks(TQueue &queue, TBlock &first, TBlock &second, const TzxBlockSource &source);

// A segment's frame records as the clock and the renderer walk them: the
// record at the read position of the queue's head block, one step at a
// time. A used-up block goes back to the queue's window for refilling, and
// the walk goes on in the block behind it once that has come.
//
// The frame index counts like the clock's: the frame whose record is at the
// read position, 0 after opening.
class TzxFrameSource {
public:
  explicit TzxFrameSource(TQueue &queue) : FQueue(queue) {}
  TzxFrameSource(const TzxFrameSource &) = delete;
  TzxFrameSource &operator=(const TzxFrameSource &) = delete;

  // Reads from the start of the head block (after PreloadBlocks); false
  // when the queue has none.
  bool Start();
  // Reads nothing until the next Start.
  void Clear();
  TBlock *Block() const { return FBlock; }

  // The record at the read position, checked against its block; throws
  // EzxError "UnpackFrame: Frame Is Nil" when there is none.
  TzxFrameRecord Current(const TzxRunFormat &format) const;
  // Where the record at the read position starts in the video stream.
  int64_t StreamOffset() const;

  enum class TAdvance {
    Moved,        // the frame index moves on: the next record is ready
    BlockUsedUp,  // the frame index moves on; its record is in the next block
    SegmentEnd,   // the frame was the segment's last
    RecordsEnded, // the records ran out before the frame count
  };
  // Steps from frame frameIndex of frameCount to the next one. When that
  // uses up the head block, it is handed back (UM_BLOCKEMPTY); the caller
  // gets the next one (the clock waits for the main window, the renderer
  // fills it itself) and then calls TakeNextBlock. Throws EzxError when the
  // head block is not the one read from ("NextFrame: Block = nil").
  TAdvance Advance(int32_t frameIndex, int32_t frameCount);
  // Reads on from the start of the new head block: Moved, or RecordsEnded
  // when none came because the records have ended. Throws EzxError when
  // none came otherwise ("NextFrame: Next Block = nil").
  TAdvance TakeNextBlock();

private:
  TQueue &FQueue;
  TBlock *FBlock = nullptr;
  int32_t FOffset = 0;
};

// The player's queue and its two blocks, made at program start.
extern TQueue BlockQueue;
extern TBlock Blocks[BlockCount];

// The segment DoBlockEmpty(block) reads from; set by segment opening on the
// main thread, which is the only one to read it.
void SetBlockSource(const TzxBlockSource &source);
const TzxBlockSource &BlockSource();

// The same operations on BlockQueue, Blocks and the block source.
bool DoBlockEmpty(TBlock *block);
void ResetBlocks();
TBlock *PreloadBlocks();
