// The coder in this process, over liblzma. Both directions go block by
// block between two files, so that no payload is ever held whole: decoding
// feeds liblzma's decoder of the LZMA-alone format, encoding its raw LZMA1
// encoder behind a header of our own.
#include "zxLzma.h"

#include "zxClasses.h"

#include <lzma.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t BlockSize = size_t(1) << 16;
constexpr size_t HeaderSize = 13;
// What the SDK's coder writes by default, and what the player's carried
// coder has always been given: lc 3, lp 0, pb 2, an 8 MiB dictionary.
constexpr uint32_t DictionarySize = uint32_t(1) << 23;
constexpr uint32_t LiteralContextBits = 3, LiteralPositionBits = 0, PositionBits = 2;
constexpr uint32_t SmallestDictionary = 4096; // liblzma takes no smaller one

TzxLzmaCoder CoderOverride = nullptr;

uint64_t GetLE(const uint8_t *p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = v << 8 | p[i];
  return v;
}

void PutLE(uint8_t *p, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Owns a file descriptor.
class TFd {
public:
  explicit TFd(int fd) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd &) = delete;
  TFd &operator=(const TFd &) = delete;

  int Get() const { return FFd; }
  // Closes it; false when the system reports a failure of the writes it
  // had kept.
  bool Close() {
    const int fd = FFd;
    FFd = -1;
    return fd < 0 || ::close(fd) == 0;
  }

private:
  int FFd;
};

// Owns a liblzma stream and the coder state behind it.
struct TLzmaStream {
  lzma_stream S = LZMA_STREAM_INIT;
  TLzmaStream() = default;
  ~TLzmaStream() { lzma_end(&S); }
  TLzmaStream(const TLzmaStream &) = delete;
  TLzmaStream &operator=(const TLzmaStream &) = delete;
};

// The input of a run, read in blocks.
class TInput {
public:
  explicit TInput(const std::string &name)
      : FName(name), FFd(::open(name.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (FFd.Get() < 0)
      throw EzxError(Format("Cannot open %s: %s", name.c_str(), SysErrorMessage(errno).c_str()));
  }
  // Reads up to n bytes; fewer only at the end of the file.
  size_t Read(uint8_t *p, size_t n) {
    size_t got = 0;
    while (got < n) {
      const ssize_t r = ::read(FFd.Get(), p + got, n - got);
      if (r == 0) break;
      if (r < 0) {
        if (errno == EINTR) continue; // a signal, which the cancel check sees next
        throw EzxError(Format("Cannot read %s: %s", FName.c_str(), SysErrorMessage(errno).c_str()));
      }
      got += static_cast<size_t>(r);
    }
    FRead += static_cast<int64_t>(got);
    return got;
  }
  int64_t BytesRead() const { return FRead; }

private:
  std::string FName;
  TFd FFd;
  int64_t FRead = 0;
};

// The output of a run: created at its start and removed again unless the
// run ends with Keep.
class TOutput {
public:
  explicit TOutput(const std::string &name)
      : FName(name), FFd(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {
    if (FFd.Get() < 0) Fail("Cannot create");
  }
  ~TOutput() {
    if (FKept) return;
    FFd.Close();
    DeleteFileName(FName);
  }
  TOutput(const TOutput &) = delete;
  TOutput &operator=(const TOutput &) = delete;

  void Write(const uint8_t *p, size_t n) {
    WriteAt(p, n, FWritten);
    FWritten += static_cast<int64_t>(n);
  }
  // Writes n bytes at offset, which must lie within what was written.
  void WriteAt(const uint8_t *p, size_t n, int64_t offset) {
    while (n > 0) {
      const ssize_t r = ::pwrite(FFd.Get(), p, n, static_cast<off_t>(offset));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        if (r == 0) errno = ENOSPC;
        Fail("Cannot write");
      }
      p += r;
      n -= static_cast<size_t>(r);
      offset += r;
    }
  }
  int64_t Written() const { return FWritten; }
  void Keep() {
    if (!FFd.Close()) Fail("Cannot write");
    FKept = true;
  }

private:
  // Raises the error of the last system call: EzxWriteError when the file
  // system has no room (or the file may grow no further), EzxError else.
  [[noreturn]] void Fail(const char *what) const {
    const int code = errno;
    const std::string message =
        Format("%s %s: %s", what, FName.c_str(), SysErrorMessage(code).c_str());
    if (code == ENOSPC || code == EDQUOT || code == EFBIG) throw EzxWriteError(message);
    throw EzxError(message);
  }

  std::string FName;
  TFd FFd;
  int64_t FWritten = 0;
  bool FKept = false;
};

void Report(const TzxLzmaRun &run, const TInput &in, const lzma_stream &s, const TOutput &out) {
  if (run.Progress) run.Progress(in.BytesRead() - static_cast<int64_t>(s.avail_in), out.Written());
}

std::string Interrupted() {
  return "the run was stopped";
}

// What a decoder's return code says about the data.
std::string DecodeFailure(lzma_ret r, const uint8_t *header, int64_t written) {
  const uint64_t announced = GetLE(header + 5, 8);
  switch (r) {
  case LZMA_FORMAT_ERROR:
  case LZMA_OPTIONS_ERROR:
    if (header[0] >= 9 * 5 * 5)
      return Format("its LZMA properties byte %u is not valid", header[0]);
    // The SDK's coder would take these; liblzma takes lc + lp up to 4.
    return Format("its LZMA properties lc %d, lp %d, pb %d are beyond what this coder takes, "
                  "lc + lp at most 4",
                  header[0] % 9, header[0] / 9 % 5, header[0] / 45);
  case LZMA_MEM_ERROR:
    return Format("there is no memory for its LZMA dictionary of %llu bytes",
                  static_cast<unsigned long long>(GetLE(header + 1, 4)));
  case LZMA_BUF_ERROR:
    if (announced == UINT64_MAX)
      return Format("its LZMA data ends after %lld decoded bytes, without an end marker",
                    static_cast<long long>(written));
    return Format("its LZMA data ends after %lld of the %llu decoded bytes it announces",
                  static_cast<long long>(written), static_cast<unsigned long long>(announced));
  case LZMA_DATA_ERROR:
  default:
    return Format("its LZMA data is damaged after %lld decoded bytes",
                  static_cast<long long>(written));
  }
}

// Decodes in into out; returns why it failed, or nothing.
std::string Decode(TInput &in, TOutput &out, const TzxLzmaRun &run) {
  uint8_t header[HeaderSize];
  const size_t got = in.Read(header, HeaderSize);
  if (got < HeaderSize)
    return Format("its LZMA data of %zu bytes is shorter than the 13-byte header", got);
  // The decoder takes as much memory as the dictionary the header asks
  // for, and needs no more than the data it decodes: where the output is
  // bounded, by the size announced or by the caller, a larger dictionary
  // is cut down to it. Every distance the data can name still lies inside.
  uint64_t most = GetLE(header + 5, 8);
  if (run.Limit >= 0) most = std::min(most, static_cast<uint64_t>(run.Limit));
  if (GetLE(header + 1, 4) > most)
    PutLE(header + 1, std::max<uint64_t>(most, SmallestDictionary), 4);

  TLzmaStream z;
  if (lzma_alone_decoder(&z.S, UINT64_MAX) != LZMA_OK)
    throw EzxError("No memory for the LZMA coder");
  std::vector<uint8_t> inBlock(BlockSize), outBlock(BlockSize);
  z.S.next_in = header;
  z.S.avail_in = HeaderSize;
  bool atEnd = false;
  for (;;) {
    if (z.S.avail_in == 0 && !atEnd) {
      z.S.next_in = inBlock.data();
      z.S.avail_in = in.Read(inBlock.data(), inBlock.size());
      atEnd = z.S.avail_in == 0;
    }
    z.S.next_out = outBlock.data();
    z.S.avail_out = outBlock.size();
    const lzma_ret r = lzma_code(&z.S, atEnd ? LZMA_FINISH : LZMA_RUN);
    const size_t produced = outBlock.size() - z.S.avail_out;
    if (run.Limit >= 0 && static_cast<uint64_t>(out.Written()) + produced > uint64_t(run.Limit))
      return Format("it unpacks to more than the %lld bytes it may take",
                    static_cast<long long>(run.Limit));
    out.Write(outBlock.data(), produced);
    Report(run, in, z.S, out);
    if (r == LZMA_STREAM_END) return {};
    if (r != LZMA_OK) return DecodeFailure(r, header, out.Written());
    if (LzmaCancelRequested()) return Interrupted();
  }
}

// Encodes in into out as the SDK's coder does: its header with the real
// size (filled in at the end, once it is known), no end marker.
std::string Encode(TInput &in, TOutput &out, const TzxLzmaRun &run) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, 6)) throw EzxError("The LZMA coder has no settings");
  options.dict_size = DictionarySize;
  options.lc = LiteralContextBits;
  options.lp = LiteralPositionBits;
  options.pb = PositionBits;
  options.mode = LZMA_MODE_NORMAL;
  options.nice_len = 128;
  options.mf = LZMA_MF_BT4;
  options.depth = 0;
  options.ext_flags = 0; // no end marker
  lzma_set_ext_size(options, UINT64_MAX);
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  TLzmaStream z;
  if (lzma_raw_encoder(&z.S, filters) != LZMA_OK) throw EzxError("No memory for the LZMA coder");

  uint8_t header[HeaderSize];
  header[0] =
      static_cast<uint8_t>((PositionBits * 5 + LiteralPositionBits) * 9 + LiteralContextBits);
  PutLE(header + 1, DictionarySize, 4);
  PutLE(header + 5, 0, 8);
  out.Write(header, HeaderSize);

  std::vector<uint8_t> inBlock(BlockSize), outBlock(BlockSize);
  bool atEnd = false;
  for (;;) {
    if (z.S.avail_in == 0 && !atEnd) {
      z.S.next_in = inBlock.data();
      z.S.avail_in = in.Read(inBlock.data(), inBlock.size());
      atEnd = z.S.avail_in < inBlock.size();
    }
    z.S.next_out = outBlock.data();
    z.S.avail_out = outBlock.size();
    const lzma_ret r = lzma_code(&z.S, atEnd ? LZMA_FINISH : LZMA_RUN);
    out.Write(outBlock.data(), outBlock.size() - z.S.avail_out);
    Report(run, in, z.S, out);
    if (r == LZMA_STREAM_END) break;
    if (r == LZMA_MEM_ERROR) throw EzxError("No memory for the LZMA coder");
    if (r != LZMA_OK) return Format("the LZMA coder failed (code %d)", static_cast<int>(r));
    if (LzmaCancelRequested()) return Interrupted();
  }
  PutLE(header + 5, static_cast<uint64_t>(in.BytesRead()), 8);
  out.WriteAt(header, HeaderSize, 0);
  return {};
}

} // namespace

void SetLzmaCoderOverride(TzxLzmaCoder coder) {
  CoderOverride = coder;
}

void ExtractLzmaTool(const std::string &) {}

bool RunLzmaTool(char command, const std::string &input, const std::string &output,
                 TzxLzmaRun *run) {
  if (CoderOverride != nullptr) return CoderOverride(command, input, output, run);
  TzxLzmaRun own;
  TzxLzmaRun &r = run != nullptr ? *run : own;
  r.Failure.clear();
  if (command != 'd' && command != 'e') {
    r.Failure = Format("the LZMA coder has no command '%c'", command);
    return true;
  }
  TInput in(input);
  TOutput out(output);
  r.Failure = LzmaCancelRequested() ? Interrupted()
              : command == 'e'      ? Encode(in, out, r)
                                    : Decode(in, out, r);
  if (r.Failure.empty()) out.Keep();
  return true;
}
