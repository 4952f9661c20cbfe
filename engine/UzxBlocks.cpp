#include "UzxBlocks.h"

#include "ZxcabClasses.h"
#include "zxClasses.h"
#include "zxMessages.h"
#include "zxTexts.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// The shortest record the decoder can read: its length and its run count.
constexpr int32_t MinRecordSize = 8;

// Internal consistency failures; the program goes on after them.
void DebugBox(const char *text) {
  ShowMessageBox(TzxBoxOwner::None, text, "Debug", zxMB_ICONERROR);
}

// Failures in the frame data, shown to the user.
void ReadErrorBox(const char *text) {
  ShowMessageBox(TzxBoxOwner::MainWindow, text, TextError, zxMB_OK);
}

TzxBlockSource CurrentSource;

// A fill that failed: the records end there. The whole records read before
// the one that failed are queued, so that they are still shown.
TzxBlockFill FillFailed(TQueue &queue, TBlock *block, int32_t size, const char *text,
                        std::string detail) {
  queue.SetSourceEnded(true);
  TzxBlockFill fill;
  fill.Result = TzxBlockFill::Failed;
  fill.Text = text;
  fill.Detail = std::move(detail);
  block->Size = size;
  fill.KeptRecords = size > 0 && queue.AddBlock(block);
  return fill;
}

TzxBlockFill FillRefused(const char *text = "") {
  TzxBlockFill fill;
  fill.Text = text;
  return fill;
}

} // namespace

TBlock::TBlock(int32_t capacity)
    : FCapacity(capacity > 0 ? capacity : 0), FData(new uint8_t[size_t(FCapacity)]) {}

bool TQueue::AddBlock(TBlock *block) {
  if (!block) return false;
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FCount < BlockCount) {
      FItems[FCount++] = block;
      FChanged.notify_all();
      return true;
    }
  }
  DebugBox("AddBlock: FCount > BlockCount");
  return false;
}

TBlock *TQueue::First() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FCount > 0 ? FItems[0] : nullptr;
}

void TQueue::RemoveFirst() {
  std::lock_guard<std::mutex> lock(FLock);
  if (FCount <= 0) return;
  for (int32_t i = 1; i < FCount; ++i)
    FItems[i - 1] = FItems[i];
  FItems[--FCount] = nullptr;
}

void TQueue::Clear() {
  std::lock_guard<std::mutex> lock(FLock);
  for (auto &item : FItems)
    item = nullptr;
  FCount = 0;
  FSourceEnded = FSourceFailed = false;
}

void TQueue::SetSourceEnded(bool failed) {
  std::lock_guard<std::mutex> lock(FLock);
  FSourceEnded = true;
  FSourceFailed = FSourceFailed || failed;
  FChanged.notify_all();
}

bool TQueue::SourceEnded() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FSourceEnded;
}

bool TQueue::SourceFailed() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FSourceFailed;
}

int32_t TQueue::Count() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FCount;
}

bool TQueue::Contains(const TBlock *block) const {
  std::lock_guard<std::mutex> lock(FLock);
  for (int32_t i = 0; i < FCount; ++i)
    if (FItems[i] == block) return true;
  return false;
}

bool TQueue::DoMessage(uint32_t msg) {
  const char *failure = nullptr;
  TBlock *block = nullptr;
  TzxBlockWindow *window = nullptr;
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (!FWindowHandle)
      failure = "DoMessage: WindowHandle = 0";
    else if (FCount == 0)
      failure = "DoMessage: FCount = 0";
    else if (msg == UM_BLOCKFULL || msg == UM_BLOCKEMPTY) {
      block = FItems[0];
      window = FWindowHandle;
      for (int32_t i = 1; i < FCount; ++i)
        FItems[i - 1] = FItems[i];
      FItems[--FCount] = nullptr;
    } else if (msg == UM_BLOCKERROR)
      failure = "DoMessage: UM_BLOCKERROR";
    else
      failure = "DoMessage: Msg out of bounds";
  }
  // The box waits for the user and the window takes its time: neither
  // happens under the lock.
  if (failure) {
    DebugBox(failure);
    return false;
  }
  return window->PostBlockMessage(msg, block);
}

void TQueue::SetWindowHandle(TzxBlockWindow *window) {
  std::lock_guard<std::mutex> lock(FLock);
  FWindowHandle = window;
}

TzxBlockWindow *TQueue::WindowHandle() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FWindowHandle;
}

void TQueue::SetAbortWait(bool abort) {
  std::lock_guard<std::mutex> lock(FLock);
  FAbortWait = abort;
  FChanged.notify_all();
}

bool TQueue::AbortWait() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FAbortWait;
}

bool TQueue::WaitNextBlock(TzxBlockWaitSound *sound) {
  constexpr int32_t ModeUnknown = 7;
  constexpr int32_t ModePlaying = 2;
  int32_t rememberedMode = ModeUnknown;
  bool first = true;
  std::unique_lock<std::mutex> lock(FLock);
  while (FCount == 0) {
    if (FAbortWait || FSourceEnded) return false;
    if (first) {
      // The sound waits with the picture. The media player is not called
      // under the lock: the main thread may need it meanwhile.
      first = false;
      if (sound) {
        lock.unlock();
        rememberedMode = sound->Mode();
        sound->PauseSound();
        lock.lock();
      }
      continue;
    }
    // AddBlock and SetAbortWait change the state under the lock and wake
    // this wait, so no change can slip in between the test and the wait.
    FChanged.wait(lock);
  }
  lock.unlock();
  if (sound && rememberedMode == ModePlaying && sound->Mode() != rememberedMode)
    sound->StartSound();
  return true;
}

TzxBlockFill FillBlock(TQueue &queue, TBlock *block, const TzxBlockSource &source) {
  if (!block) return FillRefused("DoBlockEmpty: Block = nil");
  TSegmentInfo *segInfo = source.SegInfo;
  if (!segInfo || !segInfo->VideoStream) return FillRefused("SegInfo = nil");
  // A hand-back posted before the blocks were preloaded again arrives for a
  // block that is queued, perhaps being decoded: refilling it would change
  // frames under the decoder.
  if (queue.Contains(block)) return FillRefused();
  // Records that ended, or failed, stay ended: a second block would read on
  // behind a damaged record and report it again.
  if (queue.SourceEnded()) return FillRefused();

  // The stream is read in one go as far as the block reaches (or the
  // stream ends), not record by record; the records are then taken from
  // the block, and the stream goes back behind the last one taken.
  TzxStream &video = *segInfo->VideoStream;
  uint8_t *data = block->Data();
  const int32_t capacity = block->Capacity();
  const int32_t end = video.Size();
  const int32_t base = video.Position();
  const int32_t left = base < end ? end - base : 0;
  const int32_t have = left > 0 ? std::max(video.Read(data, std::min(capacity, left)), 0) : 0;
  int32_t size = 0;
  bool filled = false;
  block->Size = 0;
  block->StreamOffset = base;
  while (size < left) {
    filled = true;
    const int32_t start = base + size;
    uint8_t head[4];
    int32_t got = 0;
    if (size + 4 <= have) {
      std::memcpy(head, data + size, 4);
      got = 4;
    } else if (have == capacity) {
      // The head lies beyond the block (a block of fewer than 4 bytes left).
      video.Seek(start);
      got = video.Read(head, 4);
    }
    if (got != 4)
      return FillFailed(queue, block, size, "ThreadP: BytesRead <> size",
                        Format("the video data of %d bytes ends inside the length of the frame "
                               "record at byte %d",
                               end, start));
    const int32_t length = GetLE32(head);
    if (length < MinRecordSize)
      return FillFailed(queue, block, size, "ThreadP: Size = 0",
                        Format("the frame record at byte %d gives its length as %d, below %d",
                               start, length, MinRecordSize));
    if (length > capacity)
      return FillFailed(queue, block, size, "ThreadP: Size > BlockSize",
                        Format("the frame record at byte %d is %d bytes long, more than a block "
                               "of %d holds",
                               start, length, capacity));
    // Longer than the segment's worst case: it goes first into the next block.
    if (length > capacity - size) break;
    if (length > have - size)
      return FillFailed(queue, block, size, "ThreadP: BytesRead <> size",
                        Format("the frame record of %d bytes at byte %d runs past the end of "
                               "the video data (%d bytes)",
                               length, start, end));
    size += length;
    if (int64_t(capacity) - size - 8 < source.MaxFrameSize) break;
  }
  video.Seek(base + size);
  block->Size = size;
  if (!filled) {
    queue.SetSourceEnded(false);
    TzxBlockFill fill;
    fill.Result = TzxBlockFill::Nothing;
    return fill;
  }
  TzxBlockFill fill;
  fill.Result = queue.AddBlock(block) ? TzxBlockFill::Queued : TzxBlockFill::Refused;
  return fill;
}

bool DoBlockEmpty(TQueue &queue, TBlock *block, const TzxBlockSource &source) {
  const TzxBlockFill fill = FillBlock(queue, block, source);
  if (fill.Result == TzxBlockFill::Failed)
    ReadErrorBox(fill.Text);
  else if (fill.Result == TzxBlockFill::Refused && *fill.Text)
    DebugBox(fill.Text);
  return fill.Result == TzxBlockFill::Queued || fill.KeptRecords;
}

void ResetBlocks(TQueue &queue, TBlock &first, TBlock &second) {
  queue.Clear();
  first.Size = 0;
  second.Size = 0;
}

TBlock *PreloadBlocks(TQueue &queue, TBlock &first, TBlock &second, const TzxBlockSource &source) {
  // The main window's thread is the caller, so its handler runs here directly.
  DoBlockEmpty(queue, &first, source);
  DoBlockEmpty(queue, &second, source);
  return queue.First();
}

bool TzxFrameSource::Start() {
  FBlock = FQueue.First();
  FOffset = 0;
  return FBlock != nullptr;
}

void TzxFrameSource::Clear() {
  FBlock = nullptr;
  FOffset = 0;
}

TzxFrameRecord TzxFrameSource::Current(const TzxRunFormat &format) const {
  if (FBlock == nullptr || FOffset < 0 || FOffset >= FBlock->Size)
    throw EzxError("UnpackFrame: Frame Is Nil");
  return ParseFrameRecord(FBlock->Data() + FOffset, size_t(FBlock->Size - FOffset), format);
}

int64_t TzxFrameSource::StreamOffset() const {
  return FBlock != nullptr ? FBlock->StreamOffset + FOffset : 0;
}

TzxFrameSource::TAdvance TzxFrameSource::Advance(int32_t frameIndex, int32_t frameCount) {
  if (frameIndex >= frameCount - 1) return TAdvance::SegmentEnd;
  TBlock *head = FQueue.First();
  if (head == nullptr && FQueue.SourceEnded()) return TAdvance::RecordsEnded;
  if (head == nullptr || head != FBlock) throw EzxError("NextFrame: Block = nil");
  // The fill took only records that fit the block; a length that does not
  // still ends the block rather than leaving it.
  TzxByteReader rd(head->Data() + FOffset, size_t(head->Size - FOffset));
  const int32_t length = rd.GetLE32();
  if (length < MinRecordSize || length > head->Size - FOffset)
    FOffset = head->Size;
  else
    FOffset += length;
  if (FOffset < head->Size) return TAdvance::Moved;
  FQueue.DoMessage(UM_BLOCKEMPTY);
  return TAdvance::BlockUsedUp;
}

TzxFrameSource::TAdvance TzxFrameSource::TakeNextBlock() {
  if (!Start() && FQueue.SourceEnded()) return TAdvance::RecordsEnded;
  if (FBlock == nullptr) throw EzxError("NextFrame: Next Block = nil");
  return TAdvance::Moved;
}

TQueue BlockQueue;
TBlock Blocks[BlockCount];

void SetBlockSource(const TzxBlockSource &source) {
  CurrentSource = source;
}
const TzxBlockSource &BlockSource() {
  return CurrentSource;
}

bool DoBlockEmpty(TBlock *block) {
  return DoBlockEmpty(BlockQueue, block, CurrentSource);
}
void ResetBlocks() {
  ResetBlocks(BlockQueue, Blocks[0], Blocks[1]);
}
TBlock *PreloadBlocks() {
  return PreloadBlocks(BlockQueue, Blocks[0], Blocks[1], CurrentSource);
}
