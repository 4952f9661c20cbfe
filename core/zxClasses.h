// Streams, the string list and temporary file names: the small building
// blocks shared by the film loader, the unpackers and the playback engine.
//
// Everything here is portable. The operating-system parts (file handles,
// the temporary path, the clock) live in zxFile_win.cpp / zxFile_posix.cpp.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

// Base of every error the player raises: an exception carrying a message text.
class EzxError : public std::exception {
public:
  explicit EzxError(std::string message) : FMessage(std::move(message)) {}
  const char *what() const noexcept override { return FMessage.c_str(); }
  const std::string &Message() const { return FMessage; }

protected:
  void SetMessage(std::string message) { FMessage = std::move(message); }

private:
  std::string FMessage;
};

// An operating-system call failed; the text is the system's own message.
class EzxOSError : public EzxError {
public:
  EzxOSError(int32_t code, const std::string &message) : EzxError(message), FCode(code) {}
  int32_t Code() const { return FCode; }

private:
  int32_t FCode;
};

// A write stopped short: the disk is full, or the file cannot grow.
class EzxWriteError : public EzxError {
public:
  using EzxError::EzxError;
};

// Little-endian integers in byte buffers, as every file format here stores them.
inline int32_t GetLE32(const uint8_t *p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t GetLE16(const uint8_t *p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline void PutLE32(uint8_t *p, int32_t v) {
  auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(u >> (8 * i));
}

// printf-style formatting into a std::string.
std::string Format(const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Abstract stream: position, size, reads and writes counted from the start.
class TzxStream {
public:
  virtual ~TzxStream() = default;
  TzxStream() = default;
  TzxStream(const TzxStream &) = delete;
  TzxStream &operator=(const TzxStream &) = delete;

  virtual int32_t Position() = 0;
  virtual void Seek(int32_t pos) = 0;
  virtual int32_t Size() = 0;
  virtual int32_t Read(void *buffer, int32_t n) = 0;
  virtual int32_t Write(const void *buffer, int32_t n) = 0;
  virtual void ReadBuffer(void *buffer, int32_t n) = 0;
  // Writes all n bytes; throws EzxWriteError when the stream takes fewer.
  void WriteBuffer(const void *buffer, int32_t n);

  // Copies n bytes from source's current position (n = 0: the whole source
  // from its start) through one transfer buffer of at most 61,440 bytes;
  // throws EzxWriteError when this stream takes fewer.
  int32_t CopyFrom(TzxStream &source, int32_t n);

  static constexpr int32_t CopyBufferSize = 61440;
};

// Modes of TzxFileStream.
enum : uint32_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFFFF,
};

// A stream over an operating-system file, without buffering of its own:
// code that reads the handle directly sees the same position.
class TzxFileStream : public TzxStream {
public:
  // Throws EzxError when the file cannot be opened or created.
  TzxFileStream(const std::string &fileName, uint32_t mode);
  ~TzxFileStream() override;

  int32_t Position() override;
  void Seek(int32_t pos) override;
  int32_t Size() override;
  int32_t Read(void *buffer, int32_t n) override;
  int32_t Write(const void *buffer, int32_t n) override;
  void ReadBuffer(void *buffer, int32_t n) override;

  const std::string &FileName() const { return FFileName; }
  intptr_t Handle() const { return FHandle; }

private:
  intptr_t FHandle;
  std::string FFileName;
};

// A growable in-memory stream.
class TzxMemoryStream : public TzxStream {
public:
  TzxMemoryStream();

  int32_t Position() override { return FPosition; }
  void Seek(int32_t pos) override;
  int32_t Size() override { return FSize; }
  int32_t Read(void *buffer, int32_t n) override;
  int32_t Write(const void *buffer, int32_t n) override;
  void ReadBuffer(void *buffer, int32_t n) override;

  void SetCapacity(int32_t n);
  int32_t Capacity() const { return static_cast<int32_t>(FBuffer.size()); }
  const uint8_t *Memory() const { return FBuffer.data(); }

private:
  std::vector<uint8_t> FBuffer;
  int32_t FPosition = 0;
  int32_t FSize = 0;
};

// A list of strings that splits text into lines and answers name=value lookups.
class TzxStringList {
public:
  int32_t Count() const { return FCount; }
  int32_t Add(const std::string &s);
  void Clear();
  void Delete(int32_t i);
  std::string Get(int32_t i) const;
  int32_t IndexOf(const std::string &s) const;
  std::string Values(const std::string &name) const;
  // The names of the name=value lines, in their order, as Values reads them.
  std::vector<std::string> Names() const;
  void SetText(const char *buffer, int32_t length);

private:
  int32_t FCount = 0;
  std::vector<std::string> FItems;
};

// The directory separator of the platform, and the platform's temporary path
// (ending with the separator). SetTempPathOverride lets tests and tools keep
// every temporary file in a directory of their own; empty restores the
// system's path.
extern const char PathDelim;
std::string TempPath();
void SetTempPathOverride(const std::string &dir);

// A file name in directory (empty: the temporary path) that does not exist
// at the moment of the call: prefix, the 17-digit local time stamp and the
// extension. The file is not created; no two calls of a process get the
// same name.
std::string MakeTempFileName(const std::string &ext, const std::string &dir,
                             const std::string &prefix);

// Small file-system helpers used across the player.
bool FileExists(const std::string &name);
bool DeleteFileName(const std::string &name);
std::string ExtractFileDir(const std::string &path); // without the trailing separator
std::string ExtractFileName(const std::string &path);

// Owns a temporary file by name: the file is deleted when the owner goes,
// on every path out of the code that made it.
class TzxTempFile {
public:
  TzxTempFile() = default;
  explicit TzxTempFile(std::string name) : FName(std::move(name)) {}
  ~TzxTempFile() { Remove(); }
  TzxTempFile(const TzxTempFile &) = delete;
  TzxTempFile &operator=(const TzxTempFile &) = delete;

  const std::string &Name() const { return FName; }
  void Reset(std::string name) {
    Remove();
    FName = std::move(name);
  }
  void Remove() {
    if (!FName.empty()) DeleteFileName(FName);
    FName.clear();
  }

private:
  std::string FName;
};

// Local date and time as the 17 digits "YYYYMMDDhhnnsszzz".
std::string LocalTimeStamp();

// The operating system's message text for an error code, without trailing
// blanks and points, and the last error code of the calling thread.
std::string SysErrorMessage(int32_t code);
int32_t LastOSError();
