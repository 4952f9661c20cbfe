// The in-process LZMA coder (native builds): the format it writes and reads,
// the bounds it keeps, and how a run ends when it is stopped or the disk is
// full.
#include "zxLzma.h"
#include "zxTesting.h"

#include <gtest/gtest.h>
#include <lzma.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TzxBytes Noise(size_t n, uint32_t seed) {
  TzxBytes b(n);
  for (auto &c : b)
    c = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  return b;
}

// Runs of zeros, text-like stretches and noise, as payloads hold them.
TzxBytes Mixed(size_t n) {
  TzxBytes b = Noise(n, 7);
  for (size_t i = 0; i < n; ++i) {
    const size_t part = i / 4096 % 3;
    if (part == 0) b[i] = 0;
    if (part == 1) b[i] = static_cast<uint8_t>('a' + b[i] % 8);
  }
  return b;
}

uint64_t GetLE(const TzxBytes &b, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = v << 8 | b[at + size_t(i)];
  return v;
}

void PutLE(TzxBytes &b, size_t at, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    b[at + size_t(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// What a run gave: its output, if it left one, and what it said.
struct TResult {
  std::optional<TzxBytes> Output;
  std::string Failure;
  std::vector<std::pair<int64_t, int64_t>> Reports; // progress: read, written
};

TResult Code(const TzxTestDir &dir, char command, const TzxBytes &input, int64_t limit = -1) {
  const std::string in = dir.File("in.bin"), out = dir.File("out.bin");
  WriteWholeFile(in, input);
  TResult result;
  TzxLzmaRun run;
  run.Limit = limit;
  run.Progress = [&](int64_t read, int64_t written) { result.Reports.push_back({read, written}); };
  EXPECT_TRUE(RunLzmaTool(command, in, out, &run));
  result.Failure = run.Failure;
  if (FileExists(out)) result.Output = ReadWholeFile(out);
  EXPECT_EQ(result.Output.has_value(), result.Failure.empty()) << result.Failure;
  DeleteFileName(in);
  DeleteFileName(out);
  return result;
}

TzxBytes Encode(const TzxTestDir &dir, const TzxBytes &data) {
  TResult r = Code(dir, 'e', data);
  return r.Output ? *r.Output : TzxBytes{};
}

// The stream liblzma's encoder of the format writes: the size unknown, an
// end marker closing the data (as other tools write it).
TzxBytes WithEndMarker(const TzxBytes &data) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 1);
  lzma_stream s = LZMA_STREAM_INIT;
  EXPECT_EQ(lzma_alone_encoder(&s, &options), LZMA_OK);
  TzxBytes out(data.size() + data.size() / 2 + 1024);
  s.next_in = data.data();
  s.avail_in = data.size();
  s.next_out = out.data();
  s.avail_out = out.size();
  EXPECT_EQ(lzma_code(&s, LZMA_FINISH), LZMA_STREAM_END);
  out.resize(out.size() - s.avail_out);
  lzma_end(&s);
  return out;
}

// Whether the system has the SDK's own coder (lzma_alone).
bool HaveSdkCoder() {
  return std::system("command -v lzma_alone >/dev/null 2>&1") == 0;
}

bool SdkCoder(char command, const std::string &in, const std::string &out) {
  const std::string line =
      Format("lzma_alone %c '%s' '%s' >/dev/null 2>&1", command, in.c_str(), out.c_str());
  return std::system(line.c_str()) == 0;
}

} // namespace

TEST(LzmaCoder, RoundTripsWithTheHeaderOfTheSdkCoder) {
  TzxTestDir dir;
  for (size_t size :
       {size_t(0), size_t(1), size_t(65535), size_t(65536), size_t(65537), size_t(300000)}) {
    SCOPED_TRACE(size);
    const TzxBytes data = Mixed(size);
    const TzxBytes packed = Encode(dir, data);
    ASSERT_GE(packed.size(), 13u);
    EXPECT_EQ(packed[0], 0x5D);                  // lc 3, lp 0, pb 2
    EXPECT_EQ(GetLE(packed, 1, 4), 1u << 23);    // 8 MiB
    EXPECT_EQ(GetLE(packed, 5, 8), data.size()); // the real size, not "unknown"
    TResult back = Code(dir, 'd', packed, static_cast<int64_t>(size));
    ASSERT_TRUE(back.Output) << back.Failure;
    EXPECT_TRUE(*back.Output == data);
  }
}

TEST(LzmaCoder, SpeaksWithTheSdkCoder) {
  if (!HaveSdkCoder()) GTEST_SKIP() << "lzma_alone is not on the PATH";
  TzxTestDir dir;
  const TzxBytes data = Mixed(200000);
  // What this coder writes, the SDK's decodes, with the same header as its
  // own encoder writes...
  WriteWholeFile(dir.File("ours.lzma"), Encode(dir, data));
  ASSERT_TRUE(SdkCoder('d', dir.File("ours.lzma"), dir.File("ours.bin")));
  EXPECT_TRUE(ReadWholeFile(dir.File("ours.bin")) == data);
  WriteWholeFile(dir.File("data.bin"), data);
  ASSERT_TRUE(SdkCoder('e', dir.File("data.bin"), dir.File("sdk.lzma")));
  const TzxBytes sdk = ReadWholeFile(dir.File("sdk.lzma"));
  const TzxBytes ours = ReadWholeFile(dir.File("ours.lzma"));
  EXPECT_EQ(TzxBytes(sdk.begin(), sdk.begin() + 13), TzxBytes(ours.begin(), ours.begin() + 13));
  // ... and what the SDK's writes, this one decodes.
  TResult back = Code(dir, 'd', sdk);
  ASSERT_TRUE(back.Output) << back.Failure;
  EXPECT_TRUE(*back.Output == data);
}

TEST(LzmaCoder, ReadsEndMarkersWithAndWithoutAKnownSize) {
  TzxTestDir dir;
  const TzxBytes data = Mixed(100000);
  TzxBytes marked = WithEndMarker(data);
  ASSERT_EQ(GetLE(marked, 5, 8), UINT64_MAX);
  TResult a = Code(dir, 'd', marked);
  ASSERT_TRUE(a.Output) << a.Failure;
  EXPECT_TRUE(*a.Output == data);
  PutLE(marked, 5, data.size(), 8); // the size written in, the marker kept
  TResult b = Code(dir, 'd', marked);
  ASSERT_TRUE(b.Output) << b.Failure;
  EXPECT_TRUE(*b.Output == data);
}

TEST(LzmaBounds, OutputStopsAtTheLimit) {
  TzxTestDir dir;
  const TzxBytes zeros(300000, 0);
  TzxBytes known = Encode(dir, zeros);
  TzxBytes announcing = known;
  PutLE(announcing, 5, 4ull << 30, 8); // 4 GiB announced, 300,000 bytes coded
  for (const TzxBytes *packed : {&known, &announcing}) {
    TResult r = Code(dir, 'd', *packed, 100000);
    EXPECT_FALSE(r.Output);
    EXPECT_NE(r.Failure.find("more than the 100000 bytes"), std::string::npos) << r.Failure;
    ASSERT_FALSE(r.Reports.empty());
    for (const auto &[read, written] : r.Reports)
      EXPECT_LE(written, 100000);
  }
  // Unknown size: only the limit and the end marker bound the output.
  const TzxBytes marked = WithEndMarker(zeros);
  EXPECT_NE(Code(dir, 'd', marked, 299999).Failure.find("more than the 299999"), std::string::npos);
  EXPECT_TRUE(Code(dir, 'd', marked, 300000).Output);
}

TEST(LzmaBounds, DamagedOrShortDataLeavesNoOutput) {
  TzxTestDir dir;
  const TzxBytes data = Mixed(100000);
  const TzxBytes good = Encode(dir, data);
  struct TCase {
    const char *Name;
    TzxBytes Packed;
    const char *Expect;
  } cases[] = {
      {"cut in half", TzxBytes(good.begin(), good.begin() + good.size() / 2),
       "its LZMA data ends after "},
      {"too short for a header", TzxBytes(good.begin(), good.begin() + 12),
       "shorter than the 13-byte header"},
      {"announcing more", good, "of the 10000000 decoded bytes it announces"},
      {"bad properties", good, "its LZMA properties byte 225 "},
      {"noise after the header", good, "its LZMA data is damaged after "},
      {"no end marker for an unknown size", good, "without an end marker"},
  };
  PutLE(cases[2].Packed, 5, 10000000, 8);
  cases[3].Packed[0] = 225;
  const TzxBytes noise = Noise(good.size() - 13, 3);
  std::copy(noise.begin(), noise.end(), cases[4].Packed.begin() + 13);
  PutLE(cases[5].Packed, 5, UINT64_MAX, 8);
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TResult r = Code(dir, 'd', c.Packed);
    EXPECT_FALSE(r.Output);
    EXPECT_NE(r.Failure.find(c.Expect), std::string::npos) << r.Failure;
  }
  EXPECT_EQ(dir.Files(), std::vector<std::string>{});
}

// The sanitizers reserve terabytes of address space: no address-space
// limit can stand under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZX_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZX_SANITIZED 1
#endif
#endif

#ifndef ZX_SANITIZED
// A header asking for a dictionary of 4 GiB costs no more memory than the
// data needs: the decoder runs in an address space of 256 MiB more than
// the test program has.
TEST(LzmaBounds, AHugeDictionaryIsCutToTheData) {
  TzxTestDir dir;
  const TzxBytes data = Mixed(100000);
  TzxBytes known = Encode(dir, data);
  PutLE(known, 1, 0xFFFFFFFF, 4);
  TzxBytes marked = WithEndMarker(data);
  PutLE(marked, 1, 0xFFFFFFFF, 4);
  auto decode = [&](const TzxBytes &packed, int64_t limit) {
    unsigned long pages = 0; // the process's present size, from its own statistics
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
      std::fclose(f);
    }
    rlimit space{};
    getrlimit(RLIMIT_AS, &space);
    space.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(256) << 20);
    setrlimit(RLIMIT_AS, &space);
    TResult r = Code(dir, 'd', packed, limit);
    std::exit(r.Output && *r.Output == data ? 0 : 1);
  };
  EXPECT_EXIT(decode(known, -1), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(decode(marked, 200000), ::testing::ExitedWithCode(0), "");
}
#endif

namespace {

bool Cancel = false;

// For its length, the coder's cancel check answers what Cancel says.
struct TCancelCheck {
  TCancelCheck() {
    Cancel = false;
    SetLzmaCancelCheck([] { return Cancel; });
  }
  ~TCancelCheck() { SetLzmaCancelCheck(nullptr); }
  TCancelCheck(const TCancelCheck &) = delete;
  TCancelCheck &operator=(const TCancelCheck &) = delete;
};

} // namespace

TEST(LzmaRun, AStoppedRunLeavesNoOutput) {
  TzxTestDir dir;
  const TzxBytes data = Noise(1 << 20, 5);
  const TzxBytes packed = Encode(dir, data);
  TCancelCheck cancel; // set at the first progress report
  for (char command : {'e', 'd'}) {
    SCOPED_TRACE(command);
    const std::string in = dir.File("in.bin"), out = dir.File("out.bin");
    WriteWholeFile(in, command == 'e' ? data : packed);
    TzxLzmaRun run;
    int64_t lastRead = 0;
    run.Progress = [&](int64_t read, int64_t) {
      lastRead = read;
      Cancel = true;
    };
    Cancel = false;
    EXPECT_TRUE(RunLzmaTool(command, in, out, &run));
    EXPECT_FALSE(run.Failure.empty());
    EXPECT_FALSE(FileExists(out));
    EXPECT_LT(lastRead, static_cast<int64_t>(command == 'e' ? data.size() : packed.size()));
  }
}

TEST(LzmaRun, ProgressCountsWhatWasReadAndWritten) {
  TzxTestDir dir;
  const TzxBytes data = Mixed(500000);
  for (char command : {'e', 'd'}) {
    SCOPED_TRACE(command);
    const TzxBytes input = command == 'e' ? data : Encode(dir, data);
    TResult r = Code(dir, command, input);
    ASSERT_TRUE(r.Output) << r.Failure;
    ASSERT_GT(r.Reports.size(), 1u);
    for (size_t i = 1; i < r.Reports.size(); ++i) {
      EXPECT_GE(r.Reports[i].first, r.Reports[i - 1].first);
      EXPECT_GE(r.Reports[i].second, r.Reports[i - 1].second);
    }
    EXPECT_EQ(r.Reports.back().first, static_cast<int64_t>(input.size()));
    // The encoder's last report comes before its header gets the size,
    // which changes no length.
    EXPECT_EQ(r.Reports.back().second, static_cast<int64_t>(r.Output->size()));
  }
}

TEST(LzmaRun, AFullDiskIsAWriteErrorAndLeavesNothing) {
  TzxTestDir dir;
  const std::string small = dir.File("small");
  fs::create_directories(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here";
  struct TUnmount {
    std::string Path;
    ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
  } unmount{small};
  const TzxBytes noise = Noise(300000, 9);
  WriteWholeFile(dir.File("noise.bin"), noise);
  WriteWholeFile(dir.File("zeros.lzma"), Encode(dir, TzxBytes(1 << 20, 0)));
  EXPECT_THROW(RunLzmaTool('e', dir.File("noise.bin"), small + "/out.lzma"), EzxWriteError);
  EXPECT_THROW(RunLzmaTool('d', dir.File("zeros.lzma"), small + "/out.bin"), EzxWriteError);
  EXPECT_TRUE(fs::is_empty(small));
}
