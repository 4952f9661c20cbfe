#include "zxToolTesting.h"

#include "zxFfmpegPipe.h"
#include "zxFrameEncoder.h"
#include "zxLoader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

TzxSegmentSpec PlayableSegment(int32_t w, int32_t h, int32_t frames, uint8_t seed) {
  TzxSegmentSpec s = SampleSegment(TzxPacking::Lzma);
  s.Width = w;
  s.Height = h;
  s.FrameCount = frames;
  s.Video.clear();
  s.CursorTrack.clear();
  TzxFrameEncoder encoder(w, h, 32);
  for (int32_t k = 0; k < frames; ++k) {
    const TzxBytes picture(size_t(w) * size_t(h) * 4, uint8_t(seed + k));
    encoder.AppendFrame(s.Video, picture.data(), size_t(w) * 4, picture.size());
    for (int32_t t = 0; t < 3; ++t)
      AppendCursorSample(s.CursorTrack, uint16_t(k % 2), uint16_t(t), uint16_t(k));
  }
  return s;
}

TzxRun RunZxtool(const std::string &args, const TzxTestDir &dir) {
  std::string cmd = std::string(ZXTOOL) + " " + args + " 2>" + dir.File("err.txt");
  FILE *p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    out.append(buf, n);
  int status = pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string ErrorText(const TzxTestDir &dir) {
  TzxBytes b = ReadWholeFile(dir.File("err.txt"));
  return std::string(b.begin(), b.end());
}

TzxToolProcess::TzxToolProcess(const std::vector<std::string> &args, const TzxTestDir &dir,
                               const std::vector<std::string> &env, bool pipeInput) {
  std::vector<std::string> variables;
  for (char **e = environ; *e != nullptr; ++e) {
    const std::string v = *e;
    bool replaced = false;
    for (const auto &n : env)
      replaced = replaced || v.compare(0, n.find('=') + 1, n, 0, n.find('=') + 1) == 0;
    if (!replaced) variables.push_back(v);
  }
  variables.insert(variables.end(), env.begin(), env.end());
  std::vector<char *> envp, argv = {const_cast<char *>(ZXTOOL)};
  for (auto &v : variables)
    envp.push_back(v.data());
  envp.push_back(nullptr);
  std::vector<std::string> copies = args;
  for (auto &a : copies)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  int fds[2] = {-1, -1};
  if (pipeInput && ::pipe2(fds, O_CLOEXEC) != 0) throw EzxError("pipe failed");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (pipeInput)
    posix_spawn_file_actions_adddup2(&fa, fds[0], 0);
  else
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  const std::string err = dir.File("err.txt");
  posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int rc = posix_spawn(&FPid, ZXTOOL, &fa, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  if (pipeInput) {
    ::close(fds[0]);
    FInput = fds[1];
  }
  if (rc != 0) {
    FPid = -1;
    CloseInput();
    throw EzxError(Format("Cannot start %s: %s", ZXTOOL, std::strerror(rc)));
  }
}

TzxToolProcess::~TzxToolProcess() {
  CloseInput();
  if (FPid > 0) {
    ::kill(FPid, SIGKILL);
    while (::waitpid(FPid, &FStatus, 0) < 0 && errno == EINTR) {
    }
  }
}

bool TzxToolProcess::Write(const std::vector<uint8_t> &data) {
  std::signal(SIGPIPE, SIG_IGN);
  for (size_t done = 0; done < data.size();) {
    const ssize_t n = ::write(FInput, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

void TzxToolProcess::CloseInput() {
  if (FInput >= 0) ::close(FInput);
  FInput = -1;
}

void TzxToolProcess::Signal(int signal) {
  if (FPid > 0) ::kill(FPid, signal);
}

bool TzxToolProcess::Running() {
  if (FPid > 0 && ::waitpid(FPid, &FStatus, WNOHANG) == FPid) FPid = -1;
  return FPid > 0;
}

bool TzxToolProcess::Wait(int &code, double limitSeconds) {
  if (!WaitFor([this] { return !Running(); }, limitSeconds)) return false;
  code = WIFEXITED(FStatus) ? WEXITSTATUS(FStatus) : -1;
  return true;
}

std::unique_ptr<TzxLoadedFilm> LoadTestFilm(const std::string &film) {
  auto l = std::make_unique<TzxLoadedFilm>();
  TzxFileStream f(film, fmOpenRead | fmShareDenyNone);
  EXPECT_TRUE(LoadFilm(&f, l->List));
  return l;
}

bool WaitFor(const std::function<bool()> &what, double limitSeconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
  while (!what()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::string Probe(const std::vector<std::string> &query, const std::string &file) {
  std::vector<std::string> args{"ffprobe", "-v", "error"};
  args.insert(args.end(), query.begin(), query.end());
  args.insert(args.end(), {"-of", "csv=p=0", file});
  std::string out, err;
  if (RunProgram(args, out, err) != 0) ADD_FAILURE() << "ffprobe " << file << ": " << err;
  return out;
}

double ProbedDuration(const std::string &file) {
  return std::atof(Probe({"-show_entries", "format=duration"}, file).c_str());
}
