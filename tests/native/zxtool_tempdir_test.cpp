// zxtool with a temporary directory that is full or read-only: each is
// named as the cause, and nothing is left in it. The directories are small
// tmpfs mounts; where mounting is not allowed the tests are skipped.
#include "zxFilmWriter.h"
#include "zxToolTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/mount.h>

namespace {

// A tmpfs mounted at a directory of the test's own, unmounted at the end.
class TSmallMount {
public:
  TSmallMount(const TzxTestDir &dir, const std::string &name, const char *options,
              unsigned long flags = 0)
      : FPath(dir.File(name)) {
    std::filesystem::create_directories(FPath);
    FMounted = ::mount("tmpfs", FPath.c_str(), "tmpfs", flags, options) == 0;
  }
  ~TSmallMount() {
    if (FMounted) ::umount2(FPath.c_str(), MNT_DETACH);
  }
  TSmallMount(const TSmallMount &) = delete;
  TSmallMount &operator=(const TSmallMount &) = delete;

  bool Mounted() const { return FMounted; }
  const std::string &Path() const { return FPath; }
  bool Empty() const { return std::filesystem::is_empty(FPath); }

private:
  std::string FPath;
  bool FMounted = false;
};

// A film of one segment whose packed payload is small or large, as asked,
// and whose video is large either way.
std::string WriteFilm(const TzxTestDir &dir, bool largePacked) {
  TzxFilmEntry e;
  e.Segment = SampleSegment(TzxPacking::Lzma);
  e.Segment.Video.assign(400000, 0);
  uint32_t x = 2463534242u; // xorshift: bytes that do not pack
  if (largePacked)
    for (uint8_t &b : e.Segment.Video) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      b = static_cast<uint8_t>(x);
    }
  const std::string name = dir.File(largePacked ? "noise.zxf" : "zeros.zxf");
  WriteWholeFile(name, BuildFilm({e}));
  return name;
}

// The film of zeros, its LZMA header saying nothing of the decoded size: no
// check can refuse it before the coder fills the disk. (The data, coded for
// a known size, lacks the end marker such a stream needs; the disk is full
// long before the coder could find that out.)
std::string WriteFilmOfUnknownSize(const TzxTestDir &dir) {
  TzxFilmEntry e;
  e.Segment = SampleSegment(TzxPacking::Lzma);
  e.Segment.Video.assign(400000, 0);
  TzxBytes packed = PackPayload(BuildUnpackedPayload(e.Segment), TzxPacking::Lzma);
  std::fill(packed.begin() + 5, packed.begin() + 13, 0xFF);
  e.Segment.Packed = packed;
  const std::string name = dir.File("unknown.zxf");
  WriteWholeFile(name, BuildFilm({e}));
  return name;
}

TEST(ZxtoolTempDir, FullOrReadOnlyIsNamed) {
  TzxTestDir dir;
  TSmallMount full(dir, "full", "size=64k");
  TSmallMount readOnly(dir, "read-only", "size=1m", MS_RDONLY);
  if (!full.Mounted() || !readOnly.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string zeros = WriteFilm(dir, false), noise = WriteFilm(dir, true);
  const std::string unknown = WriteFilmOfUnknownSize(dir);
  struct TCase {
    const TSmallMount &Temp;
    std::string Film, Command, Expect;
  } cases[] = {
      {full, zeros, "info", "Segment 1: its unpacked payload of "},
      {full, zeros, "export --hash", "does not fit in the temporary directory"},
      {full, noise, "info", "Segment 1: the temporary directory "},
      {full, noise, "info", "has no room for its files (the disk is full)"},
      {full, unknown, "info", "Segment 1: the temporary directory "},
      {full, unknown, "export --hash", "has no room for its files (the disk is full)"},
      {readOnly, zeros, "info", "cannot take zxtool's working files: Read-only file system"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Command + " " + c.Film + " in " + c.Temp.Path());
    const std::string before = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", c.Temp.Path().c_str(), 1);
    const TzxRun run = RunZxtool(c.Command + " " + c.Film, dir);
    if (before.empty())
      ::unsetenv("TMPDIR");
    else
      ::setenv("TMPDIR", before.c_str(), 1);
    EXPECT_EQ(run.Code, 1);
    const std::string err = ErrorText(dir);
    EXPECT_NE(err.find(c.Expect), std::string::npos) << err;
    if (&c.Temp == &full) { // the film's own fault, not zxtool's
      EXPECT_NE(err.find(c.Film), std::string::npos) << err;
    }
    EXPECT_TRUE(c.Temp.Empty());
  }
}

} // namespace
