// Child processes with one pipe, for feeding pictures to FFmpeg or reading
// decoded pictures back, and for running a program and taking its output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// A running child process. Its standard input or standard output (as
// chosen) is a pipe held by this object; its standard error goes to a file.
// The owner closes the pipe and waits; an object destroyed while the child
// still runs closes the pipe, kills the child and reaps it.
class TzxChildProcess {
public:
  enum class TPipe { None, ToChild, FromChild };

  // Starts program (looked up on the PATH) with args. Standard error goes to
  // errorFile (empty: inherited). Throws EzxError when it cannot be started.
  TzxChildProcess(const std::vector<std::string> &args, TPipe pipe, const std::string &errorFile);
  ~TzxChildProcess();
  TzxChildProcess(const TzxChildProcess &) = delete;
  TzxChildProcess &operator=(const TzxChildProcess &) = delete;

  // Writes all n bytes to the child's standard input; false when the child
  // has closed its end (it ended or failed).
  bool Write(const void *data, size_t n);
  // Reads exactly n bytes from the child's standard output; false at its
  // end. Throws EzxError when the output ends inside the n bytes.
  bool ReadExactly(void *data, size_t n);
  // Reads whatever the child writes until it closes its output.
  std::string ReadAll();
  // Closes the pipe (the child sees the end of its input).
  void ClosePipe();
  // Closes the pipe and waits; the exit code, or 128 + signal.
  int Wait();
  // Waits as Wait does, calling poll (when set) every 10 ms meanwhile. An
  // exception from poll (the user interrupted) leaves the child running,
  // for the destructor to end.
  int Wait(const std::function<void()> &poll);

private:
  pid_t FPid = -1;
  int FPipe = -1;
  TPipe FPipeKind;
};

// Runs a program to its end, returning its exit code and standard output;
// standard error is kept in errorText. Throws when it cannot be started.
int RunProgram(const std::vector<std::string> &args, std::string &output, std::string &errorText);

// The last non-empty line of a text file, for error messages of children.
std::string LastLineOf(const std::string &fileName);

// What ffprobe says about a file: its first video and first audio stream.
struct TzxMediaInfo {
  // What ffprobe said when it could not read the file (without its name).
  std::string Error;
  double Duration = 0; // the file's, 0 when unknown

  bool HasVideo = false;
  int32_t Width = 0;
  int32_t Height = 0;
  double FramesPerSecond = 0; // 0 when unknown
  int64_t FrameCount = 0;     // what the file says or its length suggests; 0 when unknown
  double VideoStart = 0;      // seconds

  bool HasAudio = false;
  std::string AudioCodec; // FFmpeg's name: "mp3", "aac", "pcm_s16le" ...
  int32_t SampleRate = 0;
  int32_t Channels = 0;
  double AudioStart = 0; // seconds
};

// Runs ffprobe (-of json) on the file; throws only when it cannot be run.
TzxMediaInfo ProbeMedia(const std::string &fileName);

// ProbeMedia for a file that must hold a video: throws EzxError (with
// FFmpeg's reason) when it has no video stream.
TzxMediaInfo ProbeVideo(const std::string &fileName);

// Whether FFmpeg finds an audio stream in a file; when it does not, reason
// is what ffprobe said (without the file's name).
bool HasAudioStream(const std::string &fileName, std::string &reason);

// A rate as FFmpeg writes it ("30000/1001", "10/1", "0/0" for none).
double ParseRate(const std::string &text);
// A frame rate as an exact FFmpeg argument.
std::string RateArgument(double fps);
