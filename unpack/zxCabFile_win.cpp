// The cabinet reader's file procedures and file-system calls on Win32.
#include "zxCabFile.h"

#include "zxHandles_win.h"

#include <cstdlib>

namespace {

HANDLE H(INT_PTR hf) {
  return reinterpret_cast<HANDLE>(hf);
}

void RecordError() {
  LastFileError = static_cast<int32_t>(GetLastError());
}

} // namespace

FNALLOC(CabAlloc) {
  return std::malloc(cb);
}

FNFREE(CabFree) {
  std::free(pv);
}

FNOPEN(CabOpen) {
  (void)pmode;
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  switch (oflag & cabOpenAccessMask) {
  case 0: access = GENERIC_READ; break;
  case 1: access = GENERIC_WRITE; break;
  default: break;
  }
  const bool create = (oflag & cabOpenCreate) != 0;
  DWORD disposition;
  if (create && (oflag & cabOpenExclusive) != 0)
    disposition = CREATE_NEW;
  else if ((oflag & cabOpenTruncate) != 0)
    disposition = create ? CREATE_ALWAYS : TRUNCATE_EXISTING;
  else
    disposition = create ? OPEN_ALWAYS : OPEN_EXISTING;
  DWORD flags =
      create && (oflag & cabOpenShortLived) != 0 ? FILE_ATTRIBUTE_TEMPORARY : FILE_ATTRIBUTE_NORMAL;
  if ((oflag & cabOpenRandom) != 0) flags |= FILE_FLAG_RANDOM_ACCESS;
  if ((oflag & cabOpenSequential) != 0) flags |= FILE_FLAG_SEQUENTIAL_SCAN;
  if (create && (oflag & cabOpenTemporary) != 0) flags |= FILE_FLAG_DELETE_ON_CLOSE;

  HANDLE h = CreateFileA(pszFile, access, FILE_SHARE_READ, nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    RecordError();
    return -1;
  }
  if ((oflag & cabOpenAppend) != 0) {
    SetLastError(NO_ERROR);
    if (SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
      RecordError();
      CloseHandle(h);
      return -1;
    }
  }
  return reinterpret_cast<INT_PTR>(h);
}

FNREAD(CabRead) {
  DWORD n = 0;
  if (!ReadFile(H(hf), pv, cb, &n, nullptr)) {
    RecordError();
    return static_cast<UINT>(-1);
  }
  return n;
}

FNWRITE(CabWrite) {
  DWORD n = 0;
  if (!WriteFile(H(hf), pv, cb, &n, nullptr)) {
    RecordError();
    return static_cast<UINT>(-1);
  }
  return n;
}

FNCLOSE(CabClose) {
  if (!CloseHandle(H(hf))) {
    RecordError();
    return -1;
  }
  return 0;
}

FNSEEK(CabSeek) {
  // The origins 0, 1 and 2 are FILE_BEGIN, FILE_CURRENT and FILE_END.
  SetLastError(NO_ERROR);
  DWORD pos = SetFilePointer(H(hf), dist, nullptr, static_cast<DWORD>(seektype));
  if (pos == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    RecordError();
    return -1;
  }
  return static_cast<LONG>(pos);
}

bool IsReadOnlyFile(const std::string &path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (a & FILE_ATTRIBUTE_READONLY) != 0;
}

void ClearReadOnly(const std::string &path) {
  DWORD a = GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return;
  a &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(path.c_str(), a != 0 ? a : FILE_ATTRIBUTE_NORMAL);
}

void SetFileTimes(const std::string &path, uint16_t date, uint16_t time, uint16_t attributes) {
  {
    TzxFileHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
      RecordError();
      return;
    }
    FILETIME local, utc;
    if (DosDateTimeToFileTime(date, time, &local) && LocalFileTimeToFileTime(&local, &utc))
      SetFileTime(file.Get(), &utc, nullptr, &utc);
  }
  // Read-only, hidden, system and archive.
  DWORD a = attributes & 0x27u;
  SetFileAttributesA(path.c_str(), a != 0 ? a : FILE_ATTRIBUTE_NORMAL);
}

bool CreateOneDirectory(const std::string &path, bool &exists) {
  exists = false;
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  exists = GetLastError() == ERROR_ALREADY_EXISTS;
  return false;
}

std::string ExpandFileName(const std::string &path) {
  char buffer[MAX_PATH * 2];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (n == 0 || n >= sizeof buffer) return path;
  return std::string(buffer, n);
}

bool SameFileName(const std::string &a, const std::string &b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

std::string CabText(unsigned id, const char *builtIn) {
  char buffer[256];
  int n = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string(builtIn);
}
