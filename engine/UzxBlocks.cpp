#include "UzxBlocks.h"

#include "ZxcabClasses.h"
#include "zxClasses.h"
#include "zxMessages.h"
#include "zxTexts.h"

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

// A fill that failed: the user is told, and the records end there.
bool ReadFailed(TQueue &queue, const char *text) {
  queue.SetSourceEnded(true);
  ReadErrorBox(text);
  return false;
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

bool DoBlockEmpty(TQueue &queue, TBlock *block, const TzxBlockSource &source) {
  if (!block) {
    DebugBox("DoBlockEmpty: Block = nil");
    return false;
  }
  TSegmentInfo *segInfo = source.SegInfo;
  if (!segInfo || !segInfo->VideoStream) {
    DebugBox("SegInfo = nil");
    return false;
  }
  // A hand-back posted before the blocks were preloaded again arrives for a
  // block that is queued, perhaps being decoded: refilling it would change
  // frames under the decoder.
  if (queue.Contains(block)) return false;
  // Records that ended, or failed, stay ended: a second block would read on
  // behind a damaged record and report it again.
  if (queue.SourceEnded()) return false;

  TzxStream &video = *segInfo->VideoStream;
  uint8_t *data = block->Data();
  const int32_t capacity = block->Capacity();
  int32_t size = 0;
  bool filled = false;
  block->Size = 0;
  while (video.Position() < video.Size()) {
    filled = true;
    const int32_t start = video.Position();
    uint8_t head[4];
    if (video.Read(head, 4) != 4) return ReadFailed(queue, "ThreadP: BytesRead <> size");
    const int32_t length = GetLE32(head);
    if (length < MinRecordSize) return ReadFailed(queue, "ThreadP: Size = 0");
    if (length > capacity) return ReadFailed(queue, "ThreadP: Size > BlockSize");
    if (length > capacity - size) {
      // Longer than the segment's worst case: it goes first into the next block.
      video.Seek(start);
      break;
    }
    std::memcpy(data + size, head, 4);
    if (video.Read(data + size + 4, length - 4) != length - 4)
      return ReadFailed(queue, "ThreadP: BytesRead <> size");
    size += length;
    if (int64_t(capacity) - size - 8 < source.MaxFrameSize) break;
  }
  block->Size = size;
  if (!filled) {
    queue.SetSourceEnded(false);
    return false;
  }
  return queue.AddBlock(block);
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
