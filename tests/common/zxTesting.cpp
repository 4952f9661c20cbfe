#include "zxTesting.h"

#include "ZxcabClasses.h"

#include <algorithm>
#include <atomic>
#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::atomic<int> Serial{0};

long ProcessId() {
#if defined(_WIN32)
  return static_cast<long>(GetCurrentProcessId());
#else
  return static_cast<long>(getpid());
#endif
}

} // namespace

TzxTestDir::TzxTestDir() {
  SetTempPathOverride({});
  // Test programs run side by side: the process number keeps their
  // directories apart, and an existing directory is never taken over.
  fs::path base;
  do {
    base = fs::path(TempPath()) / ("zxtest_" + std::to_string(ProcessId()) + "_" +
                                   LocalTimeStamp() + "_" + std::to_string(Serial.fetch_add(1)));
  } while (!fs::create_directory(base));
  FPath = base.string();
  if (FPath.back() != PathDelim) FPath += PathDelim;
  SetTempPathOverride(FPath);
  SetVideoTempDirectory(FPath);
}

TzxTestDir::~TzxTestDir() {
  SetTempPathOverride({});
  SetVideoTempDirectory({});
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

std::vector<std::string> TzxTestDir::Files() const {
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(FPath))
    names.push_back(e.path().filename().string() + (e.is_directory() ? "/" : ""));
  std::sort(names.begin(), names.end());
  return names;
}

TzxBoxRecorder::TzxBoxRecorder() {
  FPrevious = SetMessageHook([this](const TzxMessageBox &box) {
    Boxes.push_back(box);
    return 1;
  });
}

TzxBoxRecorder::~TzxBoxRecorder() {
  SetMessageHook(FPrevious);
}

int CountEnding(const std::vector<std::string> &names, const std::string &suffix) {
  return static_cast<int>(std::count_if(names.begin(), names.end(), [&](const std::string &n) {
    return n.size() >= suffix.size() &&
           n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0;
  }));
}

TzxBytes FakeProgram() {
  TzxBytes p(400, 0);
  p[0] = 'M';
  p[1] = 'Z';
  p[60] = 64;
  p[64] = 'P';
  p[65] = 'E';
  p[70] = 1; // one section
  const size_t s = 64 + 24;
  p[s + 16] = 100; // raw size
  p[s + 20] = 44;  // raw pointer 300
  p[s + 21] = 1;
  return p;
}

TzxSegmentSpec SampleSegment(TzxPacking packing) {
  TzxSegmentSpec s;
  s.Width = 7;
  s.Height = 5;
  s.BitsPerPixel = 32;
  s.FramesPerSecond = 12.5f;
  s.FrameCount = 2;
  const bool cabinet = packing == TzxPacking::Cabinet || packing == TzxPacking::CabinetStored;
  s.Flags = (cabinet ? sfCompressionCab : sfCompressionLzma) | sfThreeCursorSamples;
  s.Packing = packing;
  s.Title = "Sample";
  s.Cursors.push_back(EncodeCursorRecord(MakeColourCursor(4, 4, 1, 2, TzxBytes(64, 0x80))));
  s.Cursors.push_back(EncodeCursorRecord(
      MakeMonochromeCursor(2, 2, 0, 0, {true, false, false, true}, {false, true, true, false})));
  for (int i = 0; i < 300; ++i)
    s.Video.push_back(static_cast<uint8_t>(i * 7));
  for (int i = 0; i < 6; ++i)
    AppendCursorSample(s.CursorTrack, static_cast<uint16_t>(i % 2), static_cast<uint16_t>(i),
                       static_cast<uint16_t>(i + 1));
  return s;
}
