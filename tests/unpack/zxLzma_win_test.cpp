// The carried LZMA coder as the player runs it: a child process unpacked
// from the program's resources for each run.
#include "zxFilmWriter.h"
#include "zxLzma.h"
#include "zxTesting.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// Names in the temporary directory that a coder run leaves behind.
std::vector<std::string> CoderLeftovers() {
  std::vector<std::string> names;
  for (const char *pattern : {"zxS_*", "lzma.exe"}) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((TempPath() + pattern).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) continue;
    do
      names.push_back(found.cFileName);
    while (FindNextFileA(h, &found));
    FindClose(h);
  }
  return names;
}

} // namespace

TEST(LzmaHandOff, RunsAtTheSameTimeEachUseACoderOfTheirOwn) {
  TzxTestDir dir;
  TzxBytes plain(200000);
  for (size_t i = 0; i < plain.size(); ++i)
    plain[i] = static_cast<uint8_t>(i % 251 < 100 ? 0 : i * 7);
  WriteWholeFile(dir.File("plain.bin"), plain);
  ASSERT_TRUE(RunLzmaTool('e', dir.File("plain.bin"), dir.File("packed.lzma"), nullptr));
  const std::vector<std::string> before = CoderLeftovers();

  // Two players loading at once: each run unpacks, starts and deletes its
  // own copy of the coder, so none finds another's half written or gone.
  auto decode = [&dir, &plain](int who, int &failures) {
    for (int i = 0; i < 6; ++i) {
      const std::string out = dir.File("out" + std::to_string(who) + "-" + std::to_string(i));
      if (!RunLzmaTool('d', dir.File("packed.lzma"), out, nullptr) || !FileExists(out) ||
          ReadWholeFile(out) != plain)
        ++failures;
    }
  };
  int failuresA = 0, failuresB = 0;
  std::thread a(decode, 0, std::ref(failuresA)), b(decode, 1, std::ref(failuresB));
  a.join();
  b.join();
  EXPECT_EQ(failuresA + failuresB, 0);
  EXPECT_EQ(CoderLeftovers(), before) << "the coders and their directories are gone";
}
