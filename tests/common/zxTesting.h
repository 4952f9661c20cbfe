// Helpers shared by the test programs of both builds.
#pragma once

#include "zxClasses.h"
#include "zxFilmWriter.h"
#include "zxMessages.h"

#include <string>
#include <vector>

// A fresh directory that is also the temporary path of everything the
// player makes while it exists. Removed with its contents afterwards.
class TzxTestDir {
public:
  TzxTestDir();
  ~TzxTestDir();
  TzxTestDir(const TzxTestDir &) = delete;
  TzxTestDir &operator=(const TzxTestDir &) = delete;

  // The directory, ending with the separator.
  const std::string &Path() const { return FPath; }
  std::string File(const std::string &name) const { return FPath + name; }
  // Names in the directory (not recursive; directories end with "/"), sorted.
  std::vector<std::string> Files() const;

private:
  std::string FPath;
};

// Records every message box instead of showing it.
class TzxBoxRecorder {
public:
  TzxBoxRecorder();
  ~TzxBoxRecorder();
  TzxBoxRecorder(const TzxBoxRecorder &) = delete;
  TzxBoxRecorder &operator=(const TzxBoxRecorder &) = delete;

  std::vector<TzxMessageBox> Boxes;

private:
  TzxMessageHook FPrevious;
};

// Counts the names in names ending with suffix.
int CountEnding(const std::vector<std::string> &names, const std::string &suffix);

// A minimal Windows program of 400 bytes: DOS stub, PE header and one
// section whose data ends the file.
TzxBytes FakeProgram();

// A small segment with every part present: w x h pixels at 32 bits, two
// frames of raw video bytes, two cursors and a cursor track.
TzxSegmentSpec SampleSegment(TzxPacking packing = TzxPacking::Lzma);
