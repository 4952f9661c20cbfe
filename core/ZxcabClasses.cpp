#include "ZxcabClasses.h"

#include <cctype>

// -------------------------------------------------------------- TCursorList

int32_t TCursorList::Add(std::unique_ptr<TzxCursor> cursor) {
  FItems.push_back(std::move(cursor));
  return Count() - 1;
}

TzxCursor *TCursorList::Get(int32_t i) const {
  if (i < 0 || i >= Count()) return nullptr;
  return FItems[static_cast<size_t>(i)].get();
}

void TCursorList::Clear() {
  FItems.clear();
}

// ------------------------------------------------------------- TSegmentList

namespace {

std::string &VideoTempDirectory() {
  static std::string dir;
  return dir;
}

void DeleteRecord(std::unique_ptr<TSegmentInfo> r) {
  r->VideoStream.reset();
  r->CursorTrack.reset();
  r->Cursors.reset();
  r->PaletteTrack.reset();
  r->SoundStream.reset();
  if (!r->VideoFileName.empty() && FileExists(r->VideoFileName)) DeleteFileName(r->VideoFileName);
  if (!r->SoundFileName.empty() && FileExists(r->SoundFileName)) DeleteFileName(r->SoundFileName);
}

} // namespace

void SetVideoTempDirectory(const std::string &dir) {
  VideoTempDirectory() = dir;
}

TSegmentInfo *TSegmentList::Add() {
  if (VideoTempDirectory().empty()) VideoTempDirectory() = TempPath();
  auto r = std::make_unique<TSegmentInfo>();
  r->VideoFileName = MakeTempFileName("~zxflm", VideoTempDirectory(), "zxS_");
  r->VideoStream = std::make_unique<TzxFileStream>(r->VideoFileName, fmCreate);
  r->CursorTrack = std::make_unique<TzxMemoryStream>();
  r->Cursors = std::make_unique<TCursorList>();
  r->PaletteTrack = std::make_unique<TzxMemoryStream>();
  FItems.push_back(std::move(r));
  return FItems.back().get();
}

TSegmentInfo *TSegmentList::Get(int32_t i) const {
  if (i < 0 || i >= Count()) return nullptr;
  return FItems[static_cast<size_t>(i)].get();
}

void TSegmentList::Clear() {
  for (auto &r : FItems)
    DeleteRecord(std::move(r));
  FItems.clear();
  FItems.shrink_to_fit();
}

void TSegmentList::DeleteLast() {
  if (FItems.empty()) return;
  DeleteRecord(std::move(FItems.back()));
  FItems.pop_back();
}

// ---------------------------------------------------------- TEventPublisher

void TEventPublisher::Publish(uint8_t code, int32_t argument) const {
  for (const auto &h : FHandlers)
    h(code, argument);
}

// ------------------------------------------------------------------- misc

int32_t MediaKindOfFile(const std::string &name) {
  if (name.empty()) return mkWave;
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return mkWave;
  std::string ext = name.substr(dot);
  for (char &c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".wav") return mkWave;
  if (ext == ".mp3") return mkMp3;
  if (ext == ".mid") return mkMidi;
  return mkWave;
}
