// The in-memory form of a loaded film: one record per playable segment,
// owning its cursor images, its unpacked video in a temporary file and its
// cursor and palette tracks in memory.
#pragma once

#include "UzxCursor_new.h"
#include "zxClasses.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TCursorList {
public:
  TCursorList() = default;
  ~TCursorList() { Clear(); }
  TCursorList(const TCursorList &) = delete;
  TCursorList &operator=(const TCursorList &) = delete;

  int32_t Add(std::unique_ptr<TzxCursor> cursor);
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  TzxCursor *Get(int32_t i) const;
  void Clear();

private:
  std::vector<std::unique_ptr<TzxCursor>> FItems;
};

struct TSegmentInfo {
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t BitsPerPixel = 0;
  int32_t FrameCount = 0;
  uint8_t FramesPerSecond = 0;
  std::array<uint8_t, 256> Title{}; // length byte, then up to 255 characters
  int32_t Flags = 0;
  std::unique_ptr<TCursorList> Cursors;
  std::unique_ptr<TzxFileStream> VideoStream;
  std::unique_ptr<TzxMemoryStream> CursorTrack;
  std::unique_ptr<TzxMemoryStream> PaletteTrack;
  std::string VideoFileName;
  std::string SoundFileName;
  std::unique_ptr<TzxFileStream> SoundStream;
  int32_t EntryIndex = -1; // position of the segment in the film's directory
  // Why the segment has no pictures to play, for the user ("its payload could
  // not be unpacked", ...); empty when it has them.
  std::string NothingToPlay;

  // The title as text (the characters its length byte announces).
  std::string TitleText() const {
    return std::string(reinterpret_cast<const char *>(Title.data()) + 1, Title[0]);
  }
};

class TSegmentList {
public:
  TSegmentList() = default;
  ~TSegmentList() { Clear(); }
  TSegmentList(const TSegmentList &) = delete;
  TSegmentList &operator=(const TSegmentList &) = delete;

  // Appends a new record with its video temporary file created (the file
  // exists from now on) and empty cursor list and tracks. Throws when the
  // temporary file cannot be created; nothing is added then.
  TSegmentInfo *Add();
  TSegmentInfo *Get(int32_t i) const;
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  // Deletes every record and its temporary files, in index order.
  void Clear();
  // Deletes the last record and its temporary files (one the loader could
  // not complete).
  void DeleteLast();

private:
  std::vector<std::unique_ptr<TSegmentInfo>> FItems;
};

// Where the video temporary files go: the temporary path read the first
// time a record is made (or set by the embedder before that).
void SetVideoTempDirectory(const std::string &dir);

// Player events: (code, argument) fanned out to registered handlers in order.
enum : uint8_t {
  evStartupComplete = 0,
  evPlay = 1,
  evPause = 2,
  evStop = 3,
  evSegmentOpened = 4,
  evClosing = 5,
};

class TEventPublisher {
public:
  using THandler = std::function<void(uint8_t code, int32_t argument)>;
  void Subscribe(THandler handler) { FHandlers.push_back(std::move(handler)); }
  void Publish(uint8_t code, int32_t argument) const;
  int32_t Count() const { return static_cast<int32_t>(FHandlers.size()); }

private:
  std::vector<THandler> FHandlers;
};

// Sound kind codes, the same values as the sound-kind bits of a segment's flags.
enum : int32_t { mkWave = 0x000, mkMp3 = 0x100, mkMidi = 0x200 };

int32_t MediaKindOfFile(const std::string &name);
