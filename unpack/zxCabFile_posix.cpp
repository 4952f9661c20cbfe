// The cabinet reader's file procedures and file-system calls on POSIX
// systems. File descriptors stand in for handles; like TzxFileStream, opens
// take advisory locks so that "others may only read" holds between the
// player's own opens. The read-only attribute maps to the write permission.
#include "zxCabFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Fd(INT_PTR hf) {
  return static_cast<int>(hf);
}

void RecordError() {
  LastFileError = errno;
}

constexpr mode_t WriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

} // namespace

FNALLOC(CabAlloc) {
  return std::malloc(cb);
}

FNFREE(CabFree) {
  std::free(pv);
}

FNOPEN(CabOpen) {
  (void)pmode;
  int flags = O_RDWR;
  switch (oflag & cabOpenAccessMask) {
  case 0: flags = O_RDONLY; break;
  case 1: flags = O_WRONLY; break;
  default: break;
  }
  const bool create = (oflag & cabOpenCreate) != 0;
  if (create && (oflag & cabOpenExclusive) != 0)
    flags |= O_CREAT | O_EXCL;
  else if ((oflag & cabOpenTruncate) != 0)
    flags |= create ? O_CREAT | O_TRUNC : O_TRUNC;
  else if (create)
    flags |= O_CREAT;

  int fd = ::open(pszFile, flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    RecordError();
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    LastFileError = EISDIR;
    ::close(fd);
    return -1;
  }
  // Readers share the file; a writer keeps everyone else out.
  if (::flock(fd, ((flags & O_ACCMODE) == O_RDONLY ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    RecordError();
    ::close(fd);
    return -1;
  }
  if (create && (oflag & cabOpenTemporary) != 0) ::unlink(pszFile); // gone once closed
  if ((oflag & cabOpenRandom) != 0) ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  if ((oflag & cabOpenSequential) != 0) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  if ((oflag & cabOpenAppend) != 0 && ::lseek(fd, 0, SEEK_END) < 0) {
    RecordError();
    ::close(fd);
    return -1;
  }
  return fd;
}

FNREAD(CabRead) {
  auto *p = static_cast<char *>(pv);
  UINT done = 0;
  while (done < cb) {
    ssize_t r = ::read(Fd(hf), p + done, cb - done);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      RecordError();
      return static_cast<UINT>(-1);
    }
    if (r == 0) break;
    done += static_cast<UINT>(r);
  }
  return done;
}

FNWRITE(CabWrite) {
  auto *p = static_cast<const char *>(pv);
  UINT done = 0;
  while (done < cb) {
    ssize_t r = ::write(Fd(hf), p + done, cb - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      RecordError();
      return static_cast<UINT>(-1);
    }
    done += static_cast<UINT>(r);
  }
  return done;
}

FNCLOSE(CabClose) {
  if (::close(Fd(hf)) != 0) {
    RecordError();
    return -1;
  }
  return 0;
}

FNSEEK(CabSeek) {
  int whence = SEEK_SET;
  switch (seektype) {
  case 0: whence = SEEK_SET; break;
  case 1: whence = SEEK_CUR; break;
  case 2: whence = SEEK_END; break;
  default: LastFileError = EINVAL; return -1;
  }
  off_t pos = ::lseek(Fd(hf), dist, whence);
  if (pos < 0) {
    RecordError();
    return -1;
  }
  if (pos > INT32_MAX) {
    LastFileError = EOVERFLOW;
    return -1;
  }
  return static_cast<int32_t>(pos);
}

bool IsReadOnlyFile(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && (st.st_mode & WriteBits) == 0;
}

void ClearReadOnly(const std::string &path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

void SetFileTimes(const std::string &path, uint16_t date, uint16_t time, uint16_t attributes) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    RecordError();
    return;
  }
  // FAT date: bits 9-15 years since 1980, 5-8 month, 0-4 day;
  // FAT time: bits 11-15 hours, 5-10 minutes, 0-4 seconds / 2. Local time.
  struct tm t {};
  t.tm_year = 80 + (date >> 9);
  t.tm_mon = ((date >> 5) & 0x0F) - 1;
  t.tm_mday = date & 0x1F;
  t.tm_hour = time >> 11;
  t.tm_min = (time >> 5) & 0x3F;
  t.tm_sec = (time & 0x1F) * 2;
  t.tm_isdst = -1;
  if (t.tm_mon >= 0 && t.tm_mon < 12 && t.tm_mday >= 1 && t.tm_hour < 24 && t.tm_min < 60 &&
      t.tm_sec < 60) {
    time_t when = ::mktime(&t);
    if (when != static_cast<time_t>(-1)) {
      struct timespec times[2];
      times[0].tv_sec = 0;
      times[0].tv_nsec = UTIME_OMIT; // the last access stays
      times[1].tv_sec = when;
      times[1].tv_nsec = 0;
      ::futimens(fd, times);
    }
  }
  ::close(fd);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  mode_t mode = st.st_mode & 07777;
  if ((attributes & 0x01) != 0)
    mode &= ~WriteBits;
  else
    mode |= S_IWUSR;
  ::chmod(path.c_str(), mode);
}

bool CreateOneDirectory(const std::string &path, bool &exists) {
  exists = false;
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  struct stat st {};
  exists = errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return false;
}

std::string ExpandFileName(const std::string &path) {
  if (char *real = ::realpath(path.c_str(), nullptr)) {
    std::string s(real);
    std::free(real);
    return s;
  }
  if (!path.empty() && path.front() == '/') return path;
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) == nullptr) return path;
  std::string dir(cwd);
  return dir.back() == '/' ? dir + path : dir + '/' + path;
}

bool SameFileName(const std::string &a, const std::string &b) {
  return a == b;
}

std::string CabText(unsigned, const char *builtIn) {
  return builtIn;
}
