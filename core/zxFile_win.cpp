// Win32 side of the stream and file helpers.
#include "zxClasses.h"

#include <windows.h>

const char PathDelim = '\\';

namespace {

std::string &TempOverride() {
  static std::string dir;
  return dir;
}

HANDLE H(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

} // namespace

std::string TempPath() {
  std::string dir = TempOverride();
  if (dir.empty()) {
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(MAX_PATH, buf);
    dir.assign(buf, n);
  }
  if (dir.empty() || dir.back() != '\\') dir += '\\';
  return dir;
}

void SetTempPathOverride(const std::string &dir) {
  TempOverride() = dir;
}

TzxFileStream::TzxFileStream(const std::string &fileName, uint32_t mode)
    : FHandle(reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE)), FFileName(fileName) {
  HANDLE h;
  if (mode == fmCreate) {
    h = CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  } else {
    static const DWORD access[4] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE,
                                    GENERIC_READ | GENERIC_WRITE};
    static const DWORD share[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE};
    DWORD s = (mode >> 4) & 0xF;
    h = CreateFileA(fileName.c_str(), access[mode & 3], s < 5 ? share[s] : 0, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    throw EzxOSError(static_cast<int32_t>(err),
                     Format("Cannot %s file %s. %s", mode == fmCreate ? "create" : "open",
                            fileName.c_str(), SysErrorMessage(static_cast<int32_t>(err)).c_str()));
  }
  FHandle = reinterpret_cast<intptr_t>(h);
}

TzxFileStream::~TzxFileStream() {
  if (H(FHandle) != INVALID_HANDLE_VALUE) CloseHandle(H(FHandle));
}

int32_t TzxFileStream::Position() {
  return static_cast<int32_t>(SetFilePointer(H(FHandle), 0, nullptr, FILE_CURRENT));
}

void TzxFileStream::Seek(int32_t pos) {
  SetFilePointer(H(FHandle), pos, nullptr, FILE_BEGIN);
}

int32_t TzxFileStream::Size() {
  DWORD size = GetFileSize(H(FHandle), nullptr);
  return size == INVALID_FILE_SIZE || size > INT32_MAX ? 0 : static_cast<int32_t>(size);
}

int32_t TzxFileStream::Read(void *buffer, int32_t n) {
  DWORD done = 0;
  if (n <= 0 || !ReadFile(H(FHandle), buffer, static_cast<DWORD>(n), &done, nullptr)) return 0;
  return static_cast<int32_t>(done);
}

int32_t TzxFileStream::Write(const void *buffer, int32_t n) {
  DWORD done = 0;
  if (n <= 0 || !WriteFile(H(FHandle), buffer, static_cast<DWORD>(n), &done, nullptr)) return 0;
  return static_cast<int32_t>(done);
}

bool FileExists(const std::string &name) {
  DWORD a = GetFileAttributesA(name.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DeleteFileName(const std::string &name) {
  return DeleteFileA(name.c_str()) != 0;
}

std::string LocalTimeStamp() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return Format("%04u%02u%02u%02u%02u%02u%03u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond, t.wMilliseconds);
}

std::string SysErrorMessage(int32_t code) {
  char buf[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, buf, sizeof buf, nullptr);
  while (n > 0 && (static_cast<unsigned char>(buf[n - 1]) <= 32 || buf[n - 1] == '.'))
    --n;
  return std::string(buf, n);
}

int32_t LastOSError() {
  return static_cast<int32_t>(GetLastError());
}
