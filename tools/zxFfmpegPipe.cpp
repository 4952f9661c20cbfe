#include "zxFfmpegPipe.h"

#include "zxClasses.h"
#include "zxJson.h"
#include "zxSpawn_posix.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// Both ends of a pipe, closed on every path out of the constructor.
struct TPipeEnds {
  int Fd[2] = {-1, -1};
  ~TPipeEnds() {
    for (int &fd : Fd)
      if (fd >= 0) ::close(fd);
  }
  int Take(int i) {
    int fd = Fd[i];
    Fd[i] = -1;
    return fd;
  }
};

} // namespace

TzxChildProcess::TzxChildProcess(const std::vector<std::string> &args, TPipe pipe,
                                 const std::string &errorFile)
    : FPipeKind(pipe) {
  if (args.empty()) throw EzxError("No program to start");
  // Writes into a pipe whose reader has gone must fail, not end this process.
  std::signal(SIGPIPE, SIG_IGN);
  TPipeEnds ends;
  if (pipe != TPipe::None && ::pipe2(ends.Fd, O_CLOEXEC) != 0)
    throw EzxError(Format("Cannot make a pipe for %s: %s", args[0].c_str(), std::strerror(errno)));
  TzxSpawnActions sa;
  if (pipe == TPipe::ToChild) {
    posix_spawn_file_actions_adddup2(&sa.Actions, ends.Fd[0], 0);
  } else if (pipe == TPipe::FromChild) {
    posix_spawn_file_actions_adddup2(&sa.Actions, ends.Fd[1], 1);
    posix_spawn_file_actions_addopen(&sa.Actions, 0, "/dev/null", O_RDONLY, 0);
  } else {
    posix_spawn_file_actions_addopen(&sa.Actions, 0, "/dev/null", O_RDONLY, 0);
  }
  if (!errorFile.empty())
    posix_spawn_file_actions_addopen(&sa.Actions, 2, errorFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char *> argv;
  for (const auto &a : args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  int rc = posix_spawnp(&FPid, args[0].c_str(), &sa.Actions, nullptr, argv.data(), environ);
  if (rc != 0) {
    FPid = -1;
    throw EzxError(Format("Cannot start %s: %s", args[0].c_str(), std::strerror(rc)));
  }
  if (pipe == TPipe::ToChild) FPipe = ends.Take(1);
  if (pipe == TPipe::FromChild) FPipe = ends.Take(0);
}

TzxChildProcess::~TzxChildProcess() {
  ClosePipe();
  if (FPid > 0) {
    ::kill(FPid, SIGKILL);
    int status = 0;
    while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

bool TzxChildProcess::Write(const void *data, size_t n) {
  const auto *p = static_cast<const uint8_t *>(data);
  while (n > 0) {
    if (FPipe < 0 || FPipeKind != TPipe::ToChild) return false;
    ssize_t done = ::write(FPipe, p, n);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += done;
    n -= size_t(done);
  }
  return true;
}

bool TzxChildProcess::ReadExactly(void *data, size_t n) {
  auto *p = static_cast<uint8_t *>(data);
  size_t got = 0;
  while (got < n) {
    if (FPipe < 0 || FPipeKind != TPipe::FromChild) break;
    ssize_t r = ::read(FPipe, p + got, n - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      throw EzxError(Format("Cannot read from a child process: %s", std::strerror(errno)));
    }
    if (r == 0) break;
    got += size_t(r);
  }
  if (got == 0 && n > 0) return false;
  if (got < n)
    throw EzxError(Format("The output ended inside a picture: %zu of %zu bytes", got, n));
  return true;
}

std::string TzxChildProcess::ReadAll() {
  std::string out;
  char buf[4096];
  while (FPipe >= 0 && FPipeKind == TPipe::FromChild) {
    ssize_t r = ::read(FPipe, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    out.append(buf, size_t(r));
  }
  return out;
}

void TzxChildProcess::ClosePipe() {
  if (FPipe >= 0) ::close(FPipe);
  FPipe = -1;
}

int TzxChildProcess::Wait() {
  return Wait(nullptr);
}

int TzxChildProcess::Wait(const std::function<void()> &poll) {
  ClosePipe();
  if (FPid <= 0) return -1;
  int status = 0;
  pid_t r;
  while ((r = ::waitpid(FPid, &status, poll ? WNOHANG : 0)) == 0 || (r < 0 && errno == EINTR)) {
    if (r == 0) {
      poll();
      ::usleep(10000);
    }
  }
  FPid = -1;
  if (r < 0) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

std::string LastLineOf(const std::string &fileName) {
  std::string text;
  if (FILE *f = std::fopen(fileName.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
      text.append(buf, n);
      if (text.size() > 65536) text.erase(0, text.size() - 16384);
    }
    std::fclose(f);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  size_t cut = text.find_last_of("\r\n");
  return cut == std::string::npos ? text : text.substr(cut + 1);
}

int RunProgram(const std::vector<std::string> &args, std::string &output, std::string &errorText) {
  TzxTempFile err(MakeTempFileName("txt", "", "zxE_"));
  TzxChildProcess child(args, TzxChildProcess::TPipe::FromChild, err.Name());
  output = child.ReadAll();
  int code = child.Wait();
  errorText = LastLineOf(err.Name());
  return code;
}

double ParseRate(const std::string &text) {
  long long num = 0, den = 1;
  char slash = 0;
  int fields = std::sscanf(text.c_str(), "%lld%c%lld", &num, &slash, &den);
  if (fields == 1) return num > 0 ? double(num) : 0;
  if (fields != 3 || slash != '/' || num <= 0 || den <= 0) return 0;
  return double(num) / double(den);
}

std::string RateArgument(double fps) {
  // Whole rates and the NTSC rates exactly, others to a millionth.
  if (std::fabs(fps - std::round(fps)) < 1e-9) return Format("%lld", std::llround(fps));
  for (double base : {24.0, 30.0, 60.0})
    if (std::fabs(fps - base * 1000 / 1001) < 1e-6)
      return Format("%lld/1001", std::llround(base * 1000));
  return Format("%lld/1000000", std::llround(fps * 1e6));
}

TzxMediaInfo ProbeMedia(const std::string &fileName) {
  std::string out, err;
  const int code = RunProgram(
      {"ffprobe", "-v", "error", "-show_entries",
       "stream=index,codec_type,codec_name,width,height,avg_frame_rate,r_frame_rate,nb_frames,"
       "duration,sample_rate,channels,start_time:format=duration",
       "-of", "json", fileName},
      out, err);
  TzxMediaInfo info;
  if (err.rfind(fileName + ": ", 0) == 0) err.erase(0, fileName.size() + 2);
  TzxJson doc;
  try {
    doc = TzxJson::Parse(out);
  } catch (const EzxError &) {
    info.Error = code == 0 || err.empty() ? "ffprobe's answer is no JSON" : err;
    return info;
  }
  if (code != 0) {
    info.Error = err.empty() ? Format("ffprobe ended with code %d", code) : err;
    return info;
  }
  info.Duration = doc["format"]["duration"].Number();
  for (const TzxJson &s : doc["streams"].Items()) {
    const std::string type = s["codec_type"].Text();
    if (type == "video" && !info.HasVideo) {
      info.HasVideo = true;
      info.Width = static_cast<int32_t>(std::clamp(s["width"].Number(), 0.0, 1e9));
      info.Height = static_cast<int32_t>(std::clamp(s["height"].Number(), 0.0, 1e9));
      const double avg = ParseRate(s["avg_frame_rate"].Text());
      info.FramesPerSecond = avg > 0 ? avg : ParseRate(s["r_frame_rate"].Text());
      info.VideoStart = s["start_time"].Number();
      const double frames = s["nb_frames"].Number();
      const double length = s["duration"].Number(info.Duration);
      if (frames >= 1 && frames < 1e12)
        info.FrameCount = static_cast<int64_t>(frames);
      else if (length > 0 && length < 1e9 && info.FramesPerSecond > 0)
        info.FrameCount = std::llround(length * info.FramesPerSecond);
    } else if (type == "audio" && !info.HasAudio) {
      info.HasAudio = true;
      info.AudioCodec = s["codec_name"].Text();
      info.SampleRate = static_cast<int32_t>(std::clamp(s["sample_rate"].Number(), 0.0, 1e7));
      info.Channels = static_cast<int32_t>(std::clamp(s["channels"].Number(), 0.0, 1e4));
      info.AudioStart = s["start_time"].Number();
    }
  }
  if (!info.HasAudio && !info.HasVideo && info.Error.empty()) info.Error = err;
  return info;
}

TzxMediaInfo ProbeVideo(const std::string &fileName) {
  TzxMediaInfo media = ProbeMedia(fileName);
  if (!media.HasVideo || media.Width <= 0 || media.Height <= 0)
    throw EzxError(Format("%s is not a video FFmpeg can read%s%s", fileName.c_str(),
                          media.Error.empty() ? "" : ": ", media.Error.c_str()));
  return media;
}

bool HasAudioStream(const std::string &fileName, std::string &reason) {
  const TzxMediaInfo media = ProbeMedia(fileName);
  if (media.HasAudio) return true;
  reason = media.Error.empty() ? "no audio stream" : media.Error;
  return false;
}
