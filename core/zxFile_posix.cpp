// POSIX side of the stream and file helpers: file descriptors stand in for
// Win32 handles, and advisory locks give the same sharing behaviour between
// the opens of one process and of other processes.
#include "zxClasses.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

const char PathDelim = '/';

namespace {

std::string &TempOverride() {
  static std::string dir;
  return dir;
}

} // namespace

std::string TempPath() {
  std::string dir = TempOverride();
  if (dir.empty()) {
    const char *env = std::getenv("TMPDIR");
    dir = (env != nullptr && *env != '\0') ? env : "/tmp";
  }
  if (dir.back() != '/') dir += '/';
  return dir;
}

void SetTempPathOverride(const std::string &dir) {
  TempOverride() = dir;
}

TzxFileStream::TzxFileStream(const std::string &fileName, uint32_t mode)
    : FHandle(-1), FFileName(fileName) {
  int flags = 0;
  int lock = LOCK_EX;
  if (mode == fmCreate) {
    flags = O_RDWR | O_CREAT | O_TRUNC;
  } else {
    switch (mode & 3) {
    case 0: flags = O_RDONLY; break;
    case 1: flags = O_WRONLY; break;
    default: flags = O_RDWR; break;
    }
    // Sharing opens hold a shared lock, so that an exclusive holder keeps
    // them out and they keep an exclusive opener out, as on Windows.
    unsigned share = (mode >> 4) & 0xF;
    lock = share >= 2 && share <= 4 ? LOCK_SH : LOCK_EX;
  }
  int fd = ::open(fileName.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) {
    int err = errno;
    throw EzxOSError(err, Format("Cannot %s file %s. %s", mode == fmCreate ? "create" : "open",
                                 fileName.c_str(), std::strerror(err)));
  }
  if (::flock(fd, lock | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    throw EzxOSError(
        err, Format("Cannot open file %s. The file is in use by another stream", fileName.c_str()));
  }
  FHandle = fd;
}

TzxFileStream::~TzxFileStream() {
  if (FHandle >= 0) ::close(static_cast<int>(FHandle));
}

int32_t TzxFileStream::Position() {
  off_t p = ::lseek(static_cast<int>(FHandle), 0, SEEK_CUR);
  return p < 0 ? -1 : static_cast<int32_t>(p);
}

void TzxFileStream::Seek(int32_t pos) {
  ::lseek(static_cast<int>(FHandle), pos, SEEK_SET);
}

int32_t TzxFileStream::Size() {
  struct stat st {};
  if (::fstat(static_cast<int>(FHandle), &st) != 0) return 0;
  return st.st_size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(st.st_size);
}

int32_t TzxFileStream::Read(void *buffer, int32_t n) {
  if (n <= 0) return 0;
  auto *p = static_cast<char *>(buffer);
  int32_t done = 0;
  while (done < n) {
    ssize_t r = ::read(static_cast<int>(FHandle), p + done, static_cast<size_t>(n - done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return 0;
    if (r == 0) break;
    done += static_cast<int32_t>(r);
  }
  return done;
}

int32_t TzxFileStream::Write(const void *buffer, int32_t n) {
  if (n <= 0) return 0;
  auto *p = static_cast<const char *>(buffer);
  int32_t done = 0;
  while (done < n) {
    ssize_t r = ::write(static_cast<int>(FHandle), p + done, static_cast<size_t>(n - done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return 0;
    done += static_cast<int32_t>(r);
  }
  return done;
}

bool FileExists(const std::string &name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DeleteFileName(const std::string &name) {
  return ::unlink(name.c_str()) == 0;
}

std::string LocalTimeStamp() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t {};
  localtime_r(&ts.tv_sec, &t);
  return Format("%04d%02d%02d%02d%02d%02d%03d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

std::string SysErrorMessage(int32_t code) {
  std::string s = std::strerror(code);
  while (!s.empty() && (static_cast<unsigned char>(s.back()) <= 32 || s.back() == '.'))
    s.pop_back();
  return s;
}

int32_t LastOSError() {
  return errno;
}
