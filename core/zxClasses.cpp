#include "zxClasses.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

std::string Format(const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

// ---------------------------------------------------------------- TzxStream

void TzxStream::WriteBuffer(const void *buffer, int32_t n) {
  if (n <= 0) return;
  const int32_t written = Write(buffer, n);
  if (written != n) throw EzxWriteError(Format("only %d of %d bytes could be written", written, n));
}

int32_t TzxStream::CopyFrom(TzxStream &source, int32_t n) {
  if (n == 0) {
    source.Seek(0);
    n = source.Size();
  }
  if (n <= 0) return n;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(n, CopyBufferSize)));
  int32_t remaining = n;
  while (remaining > 0) {
    int32_t chunk = std::min(remaining, static_cast<int32_t>(buffer.size()));
    source.ReadBuffer(buffer.data(), chunk);
    WriteBuffer(buffer.data(), chunk);
    remaining -= chunk;
  }
  return n;
}

// ---------------------------------------------------------- TzxMemoryStream

TzxMemoryStream::TzxMemoryStream() : FBuffer(1024) {}

void TzxMemoryStream::Seek(int32_t pos) {
  // The end itself is not a valid target, so an empty stream cannot move.
  if (pos >= 0 && pos < FSize) FPosition = pos;
}

int32_t TzxMemoryStream::Read(void *buffer, int32_t n) {
  if (n < 0 || FSize == 0) return 0;
  int32_t count = std::min(n, FSize - FPosition);
  if (count <= 0) return 0;
  std::memcpy(buffer, FBuffer.data() + FPosition, static_cast<size_t>(count));
  FPosition += count;
  return count;
}

int32_t TzxMemoryStream::Write(const void *buffer, int32_t n) {
  if (n <= 0) return 0;
  int64_t end = static_cast<int64_t>(FPosition) + n;
  if (end + 1024 > INT32_MAX) return 0;
  if (end > Capacity()) FBuffer.resize(static_cast<size_t>(end + 1024));
  std::memcpy(FBuffer.data() + FPosition, buffer, static_cast<size_t>(n));
  FPosition += n;
  FSize = std::max(FSize, FPosition);
  return n;
}

void TzxMemoryStream::ReadBuffer(void *buffer, int32_t n) {
  if (n != 0 && Read(buffer, n) < n) throw EzxError("Cannot read buffer");
}

void TzxMemoryStream::SetCapacity(int32_t n) {
  if (n < 0) n = 0;
  FBuffer.resize(static_cast<size_t>(n));
  FSize = std::min(FSize, n);
  FPosition = std::min(FPosition, n);
}

// ------------------------------------------------------------ TzxFileStream

void TzxFileStream::ReadBuffer(void *buffer, int32_t n) {
  if (n != 0 && Read(buffer, n) < n)
    throw EzxError(Format("Cannot read file %s", FFileName.c_str()));
}

// ------------------------------------------------------------ TzxStringList

int32_t TzxStringList::Add(const std::string &s) {
  if (FCount == static_cast<int32_t>(FItems.size())) FItems.resize(FItems.size() + 16);
  FItems[static_cast<size_t>(FCount)] = s;
  return FCount++;
}

void TzxStringList::Clear() {
  FItems.clear();
  FItems.shrink_to_fit();
  FCount = 0;
}

void TzxStringList::Delete(int32_t i) {
  if (i < 0 || i >= FCount) return;
  FItems.erase(FItems.begin() + i);
  FItems.emplace_back();
  --FCount;
}

std::string TzxStringList::Get(int32_t i) const {
  if (i < 0 || i >= FCount) return {};
  return FItems[static_cast<size_t>(i)];
}

int32_t TzxStringList::IndexOf(const std::string &s) const {
  for (int32_t i = 0; i < FCount; ++i)
    if (FItems[static_cast<size_t>(i)] == s) return i;
  return -1;
}

namespace {

std::string Trim(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32)
    ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32)
    --e;
  return s.substr(b, e - b);
}

bool SameTextAnsi(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

} // namespace

std::string TzxStringList::Values(const std::string &name) const {
  if (name.empty()) return {};
  for (int32_t i = 0; i < FCount; ++i) {
    const std::string &line = FItems[static_cast<size_t>(i)];
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (SameTextAnsi(Trim(line.substr(0, eq)), name)) return Trim(line.substr(eq + 1));
  }
  return {};
}

std::vector<std::string> TzxStringList::Names() const {
  std::vector<std::string> names;
  for (int32_t i = 0; i < FCount; ++i) {
    const std::string &line = FItems[static_cast<size_t>(i)];
    const size_t eq = line.find('=');
    if (eq != std::string::npos) names.push_back(Trim(line.substr(0, eq)));
  }
  return names;
}

void TzxStringList::SetText(const char *buffer, int32_t length) {
  if (buffer == nullptr || length <= 0) return;
  bool inLine = false;
  int32_t start = 0;
  for (int32_t i = 0; i < length; ++i) {
    char c = buffer[i];
    if (!inLine) {
      if (c == '\n') continue;
      inLine = true;
      start = i;
      // A carriage return that starts a line belongs to that line.
      continue;
    }
    if (c == '\r' || c == '\0') {
      Add(std::string(buffer + start, static_cast<size_t>(i - start)));
      inLine = false;
    }
  }
  if (inLine) Add(std::string(buffer + start, static_cast<size_t>(length - start)));
}

// ------------------------------------------------------------------- names

std::string MakeTempFileName(const std::string &ext, const std::string &dir,
                             const std::string &prefix) {
  std::string d = dir.empty() ? TempPath() : dir;
  if (d.empty() || d.back() != PathDelim) d += PathDelim;
  // Two threads asking within one millisecond would get the same free name
  // and then write over each other's file: a name is given out once.
  static std::mutex lock;
  static std::string last;
  std::lock_guard<std::mutex> hold(lock);
  for (;;) {
    std::string name =
        Format("%s%s%s.%s", d.c_str(), prefix.c_str(), LocalTimeStamp().c_str(), ext.c_str());
    if (name != last && !FileExists(name)) {
      last = name;
      return name;
    }
  }
}

std::string ExtractFileDir(const std::string &path) {
  size_t p = path.find_last_of(PathDelim == '\\' ? "\\/:" : "/");
  if (p == std::string::npos) return {};
  return path.substr(0, p);
}

std::string ExtractFileName(const std::string &path) {
  size_t p = path.find_last_of(PathDelim == '\\' ? "\\/:" : "/");
  return p == std::string::npos ? path : path.substr(p + 1);
}
