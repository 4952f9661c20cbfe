// zxtool ended by SIGINT, SIGTERM or SIGHUP: it says "interrupted", exits with 128 +
// the signal, and leaves neither output nor temporary files nor a child
// process behind, whatever step it was in.
#include "zxToolTesting.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Whether a file whose name ends in suffix lies anywhere under dir.
bool HasFileEndingIn(const std::string &dir, const std::string &suffix) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      return true;
  }
  return false;
}

// Processes whose command line names text (a child that works on files of the
// temporary directory would).
std::vector<std::string> ProcessesNaming(const std::string &text) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto &e : fs::directory_iterator("/proc", ec)) {
    const std::string pid = e.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    // Read as a stream: /proc gives its files no size.
    std::ifstream in(e.path().string() + "/cmdline", std::ios::binary);
    const std::string cmdline((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (cmdline.find(text) != std::string::npos) found.push_back(pid);
  }
  return found;
}

// Frames of noise, which the LZMA coder takes seconds over.
TzxBytes Noise(size_t n) {
  TzxBytes b(n);
  uint32_t seed = 99;
  for (auto &c : b)
    c = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  return b;
}

// What a run ended by a signal must leave: its code and message, no film
// and an empty temporary directory.
void ExpectCleanInterruption(TzxToolProcess &p, int signal, const TzxTestDir &dir,
                             const std::string &tmp) {
  int code = 0;
  if (!p.Wait(code)) {
    ADD_FAILURE() << "still running after the signal";
    p.Signal(SIGKILL);
    for (const std::string &pid : ProcessesNaming(tmp)) // a child it left
      ::kill(std::stoi(pid), SIGKILL);
    return;
  }
  EXPECT_EQ(code, 128 + signal);
  EXPECT_EQ(ErrorText(dir), "zxtool: interrupted\n");
  EXPECT_FALSE(fs::exists(dir.File("out.zxf")));
  std::vector<std::string> left;
  for (const auto &e : fs::recursive_directory_iterator(tmp))
    left.push_back(e.path().string());
  EXPECT_EQ(left, std::vector<std::string>{});
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"err.txt", "in.bgra", "tmp/"}));
  EXPECT_EQ(ProcessesNaming(tmp), std::vector<std::string>{});
}

} // namespace

TEST(ZxtoolInterrupt, TerminatedDuringTheLzmaStepLeavesNothing) {
  // A termination request, and the terminal going away.
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    TzxTestDir dir;
    const std::string tmp = dir.File("tmp");
    fs::create_directories(tmp);
    WriteWholeFile(dir.File("in.bgra"), Noise(size_t(320) * 240 * 4 * 40));
    TzxToolProcess p(
        {"make", "--raw", "320x240", "--input", dir.File("in.bgra"), "-o", dir.File("out.zxf")},
        dir, {"TMPDIR=" + tmp});
    // The coder has started once its output exists; noise keeps it busy
    // for seconds.
    ASSERT_TRUE(WaitFor([&] { return HasFileEndingIn(tmp, ".pak") || !p.Running(); }));
    ASSERT_TRUE(p.Running()) << ErrorText(dir);
    p.Signal(signal);
    ExpectCleanInterruption(p, signal, dir, tmp);
  }
}

TEST(ZxtoolInterrupt, InterruptedWhileReadingFramesLeavesNothing) {
  TzxTestDir dir;
  const std::string tmp = dir.File("tmp");
  fs::create_directories(tmp);
  WriteWholeFile(dir.File("in.bgra"), {});
  TzxToolProcess p({"make", "--raw", "64x64", "--input", "-", "-o", dir.File("out.zxf")}, dir,
                   {"TMPDIR=" + tmp}, true);
  ASSERT_TRUE(p.Write(Noise(64 * 64 * 4 * 3)));
  // Frames are being coded into the temporary video file; the tool waits
  // for more.
  ASSERT_TRUE(WaitFor([&] { return HasFileEndingIn(tmp, ".vid") || !p.Running(); }));
  ASSERT_TRUE(p.Running()) << ErrorText(dir);
  p.Signal(SIGINT);
  // Whether the signal came during the read or just before it, the end of
  // the input must not let the film be finished.
  p.CloseInput();
  ExpectCleanInterruption(p, SIGINT, dir, tmp);
}

TEST(ZxtoolInterrupt, ASoundConverterThatWouldNeverEndIsKilled) {
  // An ffmpeg that starts its output and then waits for ever, found first
  // on the PATH: the command can only end if it ends the converter.
  TzxTestDir dir;
  const std::string tmp = dir.File("tmp");
  fs::create_directories(tmp);
  fs::create_directories(dir.File("fake"));
  const std::string sound = dir.File("fake/tone.wav");
  ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i sine=duration=1 -y " + sound).c_str()), 0);
  const std::string script = "#!/bin/sh\nfor a; do out=$a; done\n: > \"$out\"\nexec tail -f "
                             "\"$out\"\n";
  WriteWholeFile(dir.File("fake/ffmpeg"), TzxBytes(script.begin(), script.end()));
  fs::permissions(dir.File("fake/ffmpeg"), fs::perms::owner_all);
  WriteWholeFile(dir.File("in.bgra"), Noise(8 * 8 * 4 * 2));
  const char *path = std::getenv("PATH");
  TzxToolProcess p({"make", "--raw", "8x8", "--input", dir.File("in.bgra"), "--sound", sound, "-o",
                    dir.File("out.zxf")},
                   dir, {"TMPDIR=" + tmp, "PATH=" + dir.File("fake") + ":" + (path ? path : "")});
  ASSERT_TRUE(WaitFor([&] { return HasFileEndingIn(tmp, ".mp3") || !p.Running(); }));
  ASSERT_TRUE(p.Running()) << ErrorText(dir);
  p.Signal(SIGTERM);
  fs::remove_all(dir.File("fake"));
  ExpectCleanInterruption(p, SIGTERM, dir, tmp);
}
