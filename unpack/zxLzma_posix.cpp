// The coder is the system's lzma_alone, started with posix_spawn and polled
// with waitpid every 10 ms, like the Win32 hand-off polls its child; a
// cancel check that answers true kills it.
#include "zxLzma.h"

#include "zxClasses.h"
#include "zxSpawn_posix.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

std::string &ToolOverride() {
  static std::string path;
  return path;
}

std::string FindOnPath(const std::string &name) {
  const char *path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = end > start ? dirs.substr(start, end - start) : std::string(".");
    candidate.append("/").append(name);
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

std::string LocateTool() {
  if (!ToolOverride().empty()) return ToolOverride();
  const char *env = std::getenv("ZX_LZMA_TOOL");
  if (env != nullptr && *env != '\0') return env;
  return FindOnPath("lzma_alone");
}

} // namespace

void SetLzmaToolOverride(const std::string &path) {
  ToolOverride() = path;
}

void ExtractLzmaTool(const std::string &) {}

bool RunLzmaTool(char command, const std::string &input, const std::string &output) {
  std::string tool = LocateTool();
  if (tool.empty()) return false;

  // The coder's banner and progress must not mix with our own output.
  TzxSpawnActions fa;
  posix_spawn_file_actions_addopen(&fa.Actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa.Actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa.Actions, 2, "/dev/null", O_WRONLY, 0);

  char cmd[2] = {command, '\0'};
  char *argv[] = {tool.data(), cmd, const_cast<char *>(input.c_str()),
                  const_cast<char *>(output.c_str()), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, tool.c_str(), &fa.Actions, nullptr, argv, environ) != 0) return false;

  int status = 0;
  // Poll every 10 ms; a process descriptor lets the wait end as soon as
  // the coder does instead of at the next step.
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  for (;;) {
    if (pidfd >= 0) {
      struct pollfd p {
        pidfd, POLLIN, 0
      };
      ::poll(&p, 1, 10);
    } else {
      ::usleep(10000);
    }
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0 && errno != EINTR) {
      status = -1;
      break;
    }
    if (LzmaCancelRequested()) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      status = -1;
      break;
    }
  }
  if (pidfd >= 0) ::close(pidfd);
  // A coder that failed may have left part of its output: none is better.
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) DeleteFileName(output);
  return true;
}
