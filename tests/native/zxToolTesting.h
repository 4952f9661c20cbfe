// Running the built zxtool from tests.
#pragma once

#include "ZxcabClasses.h"
#include "zxTesting.h"

#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

struct TzxRun {
  int Code;
  std::string Out;
};

// SampleSegment (LZMA, two cursors, a cursor track of three samples a
// frame) with frames that play: w x h at 32 bits, frame k all of the shade
// seed + k.
TzxSegmentSpec PlayableSegment(int32_t w, int32_t h, int32_t frames, uint8_t seed = 0);

// Runs zxtool with the arguments; its standard error goes to err.txt in dir.
TzxRun RunZxtool(const std::string &args, const TzxTestDir &dir);
// What the last run wrote to standard error.
std::string ErrorText(const TzxTestDir &dir);

// zxtool running in the background: standard input from a pipe this object
// writes (or /dev/null), standard output to /dev/null, standard error to
// err.txt in dir; env adds or replaces variables ("NAME=value"). Killed and
// reaped when destroyed while it runs.
class TzxToolProcess {
public:
  TzxToolProcess(const std::vector<std::string> &args, const TzxTestDir &dir,
                 const std::vector<std::string> &env = {}, bool pipeInput = false);
  ~TzxToolProcess();
  TzxToolProcess(const TzxToolProcess &) = delete;
  TzxToolProcess &operator=(const TzxToolProcess &) = delete;

  // Writes all of data to its standard input; false when it closed it.
  bool Write(const std::vector<uint8_t> &data);
  void CloseInput();
  void Signal(int signal);
  bool Running();
  // Its exit code once it has ended (-1 when a signal ended it); false
  // when it still runs after limitSeconds.
  bool Wait(int &code, double limitSeconds = 120);

private:
  pid_t FPid = -1;
  int FInput = -1;
  int FStatus = 0;
};

// A film loaded through the player's loader, with the directory that
// takes the loader's temporary files (a segment's sound, say).
struct TzxLoadedFilm {
  TzxTestDir Dir;
  TSegmentList List;
};
std::unique_ptr<TzxLoadedFilm> LoadTestFilm(const std::string &film);

// Checks what every few milliseconds until it holds; false when it still
// does not after limitSeconds (a bound for a hung program, not a pace).
bool WaitFor(const std::function<bool()> &what, double limitSeconds = 120);

// What ffprobe prints of file for the query (such as {"-show_entries",
// "format=duration"}), one CSV line per entry without names; a failed
// probe fails the test with ffprobe's message.
std::string Probe(const std::vector<std::string> &query, const std::string &file);
// The file's duration in seconds, as ffprobe reads it.
double ProbedDuration(const std::string &file);
