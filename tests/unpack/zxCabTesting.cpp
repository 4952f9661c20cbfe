#include "zxCabTesting.h"

#include "zxClasses.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#include <sys/stat.h>
#endif

namespace {

void Put16(TzxBytes &b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(TzxBytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Append16(TzxBytes &b, uint16_t v) {
  b.resize(b.size() + 2);
  Put16(b, b.size() - 2, v);
}
void Append32(TzxBytes &b, uint32_t v) {
  b.resize(b.size() + 4);
  Put32(b, b.size() - 4, v);
}
void AppendString(TzxBytes &b, const std::string &s) {
  b.insert(b.end(), s.begin(), s.end());
  b.push_back(0);
}

} // namespace

TzxBytes BuildRawCabinet(const TRawCabinet &cab) {
  uint16_t flags = 0;
  if (!cab.PreviousName.empty()) flags |= 1;
  if (!cab.NextName.empty()) flags |= 2;

  TzxBytes b(36, 0);
  b[0] = 'M', b[1] = 'S', b[2] = 'C', b[3] = 'F';
  b[24] = 3; // version 1.3
  b[25] = 1;
  Put16(b, 26, static_cast<uint16_t>(cab.Folders.size()));
  Put16(b, 28, static_cast<uint16_t>(cab.Files.size()));
  Put16(b, 30, flags);
  Put16(b, 32, cab.SetID);
  Put16(b, 34, cab.Index);
  if ((flags & 1) != 0) {
    AppendString(b, cab.PreviousName);
    AppendString(b, cab.PreviousDisk);
  }
  if ((flags & 2) != 0) {
    AppendString(b, cab.NextName);
    AppendString(b, cab.NextDisk);
  }
  std::vector<size_t> folderAt;
  for (const TRawFolder &f : cab.Folders) {
    folderAt.push_back(b.size());
    Append32(b, 0); // data offset, filled in below
    Append16(b, static_cast<uint16_t>(f.Blocks.size()));
    Append16(b, f.Compression);
  }
  size_t firstFile = b.size();
  for (const TRawFile &f : cab.Files) {
    Append32(b, f.Size);
    Append32(b, f.Offset);
    Append16(b, f.Folder);
    Append16(b, f.Date);
    Append16(b, f.Time);
    Append16(b, f.Attributes);
    AppendString(b, f.Name);
  }
  for (size_t i = 0; i < cab.Folders.size(); ++i) {
    Put32(b, folderAt[i], static_cast<uint32_t>(b.size()));
    for (const TRawBlock &block : cab.Folders[i].Blocks) {
      Append32(b, 0); // no checksum
      Append16(b, static_cast<uint16_t>(block.Data.size()));
      Append16(b, block.Uncompressed);
      b.insert(b.end(), block.Data.begin(), block.Data.end());
    }
  }
  Put32(b, 8, static_cast<uint32_t>(b.size()));
  Put32(b, 16, static_cast<uint32_t>(cab.FirstFileOffset >= 0 ? cab.FirstFileOffset : firstFile));
  return b;
}

TRawCabinet StoredCabinet(const std::vector<std::pair<std::string, TzxBytes>> &members) {
  TRawCabinet cab;
  TzxBytes all;
  for (const auto &[name, data] : members) {
    TRawFile f;
    f.Name = name;
    f.Size = static_cast<uint32_t>(data.size());
    f.Offset = static_cast<uint32_t>(all.size());
    cab.Files.push_back(f);
    all.insert(all.end(), data.begin(), data.end());
  }
  TRawFolder folder;
  for (size_t at = 0; at < all.size(); at += 32768) {
    size_t n = std::min<size_t>(32768, all.size() - at);
    folder.Blocks.push_back(
        {TzxBytes(all.begin() + at, all.begin() + at + n), static_cast<uint16_t>(n)});
  }
  cab.Folders.push_back(folder);
  return cab;
}

TzxBytes Bytes(const std::string &text) {
  return TzxBytes(text.begin(), text.end());
}

std::string NativePath(const std::string &path) {
  std::string s = path;
  for (char &c : s)
    if (c == '\\') c = PathDelim;
  return s;
}

#ifdef _WIN32

bool FileDosDateTime(const std::string &path, uint16_t &date, uint16_t &time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  FILETIME local;
  WORD d = 0, t = 0;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, &d, &t))
    return false;
  date = d;
  time = t;
  return true;
}

bool IsReadOnly(const std::string &path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0;
}

void SetReadOnly(const std::string &path, bool readOnly) {
  SetFileAttributesA(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

bool DirectoryExists(const std::string &path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

#else

bool FileDosDateTime(const std::string &path, uint16_t &date, uint16_t &time) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  struct tm t {};
  if (localtime_r(&st.st_mtime, &t) == nullptr) return false;
  date = static_cast<uint16_t>((t.tm_year - 80) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
  time = static_cast<uint16_t>(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
  return true;
}

bool IsReadOnly(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

void SetReadOnly(const std::string &path, bool readOnly) {
  ::chmod(path.c_str(), readOnly ? 0444 : 0644);
}

bool DirectoryExists(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

#endif
