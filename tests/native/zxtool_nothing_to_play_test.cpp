// A segment that the loader lists with nothing to play is passed over, as
// the player passes over it: the others export and decode, with one warning
// for it; asked for alone, it fails with its reason.
#include "zxToolTesting.h"

#include "zxFfmpegPipe.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// The in-process LZMA coder says what is wrong with the noise.
const char *const NotUnpacked =
    "its payload could not be unpacked (its LZMA data is damaged after 0 decoded bytes)";
const char *const UnknownPacking =
    "its payload is packed in a way this player does not know (kind 1)";

// A segment whose LZMA payload is noise.
TzxSegmentSpec GarbageSegment() {
  TzxSegmentSpec s = PlayableSegment(7, 5, 2);
  TzxBytes noise(300);
  for (size_t i = 0; i < noise.size(); ++i)
    noise[i] = uint8_t(i * 131 + (i >> 2));
  s.Packed = noise;
  return s;
}

// A segment packed in a kind the player does not know.
TzxSegmentSpec UnknownSegment() {
  TzxSegmentSpec s = PlayableSegment(7, 5, 2);
  s.Flags = 0x1000;
  s.Packing = TzxPacking::Raw;
  return s;
}

std::string WriteFilm(const TzxTestDir &dir, const std::string &name,
                      const std::vector<TzxSegmentSpec> &segments) {
  std::vector<TzxFilmEntry> entries(segments.size());
  for (size_t i = 0; i < segments.size(); ++i)
    entries[i].Segment = segments[i];
  WriteWholeFile(dir.File(name), BuildFilm(entries));
  return dir.File(name);
}

std::string Warning(int segment, const std::string &reason) {
  return Format("zxtool: warning: segment %d has nothing to play: %s\n", segment, reason.c_str());
}

// The segment numbers of --hash lines, one per frame.
std::string HashedSegments(const std::string &lines) {
  std::istringstream in(lines);
  std::string numbers;
  for (std::string line; std::getline(in, line);)
    numbers += line.substr(0, line.find(' ')) + " ";
  return numbers;
}

} // namespace

TEST(ZxtoolNothingToPlay, TheOtherSegmentsExportWithAWarningForEach) {
  TzxTestDir dir;
  const std::string film = WriteFilm(
      dir, "gaps.zxf",
      {PlayableSegment(7, 5, 2), UnknownSegment(), GarbageSegment(), PlayableSegment(7, 5, 2, 50)});
  const std::string warnings = Warning(2, UnknownPacking) + Warning(3, NotUnpacked);

  TzxRun r = RunZxtool("export " + film + " --hash", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(HashedSegments(r.Out), "1 1 4 4 ");
  EXPECT_EQ(ErrorText(dir), warnings);
  const std::string all = r.Out;

  // Segment 4 alone is what the whole film gave for it, without a word.
  r = RunZxtool("export " + film + " --hash --segment 4", dir);
  EXPECT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(r.Out, all.substr(all.find("\n4 ") + 1));
  EXPECT_EQ(ErrorText(dir), "");

  // Pictures come from the first segment; the later ones do not matter.
  r = RunZxtool("export " + film + " " + dir.File("one.rgb"), dir);
  EXPECT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir).find("warning"), std::string::npos) << ErrorText(dir);

  r = RunZxtool("bench --passes 1 " + film, dir);
  EXPECT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ErrorText(dir), warnings);
  EXPECT_NE(r.Out.find("  segment 3:   nothing to play: " + std::string(NotUnpacked)),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find(", 4 segments, 4 frames"), std::string::npos) << r.Out;

  // Asked for by number, such a segment is the failure.
  for (const std::string &command :
       {"export " + film + " --hash --segment 3",
        "export " + film + " " + dir.File("three.rgb") + " --segment 3",
        "bench --passes 1 --segment 3 " + film}) {
    r = RunZxtool(command, dir);
    EXPECT_EQ(r.Code, 1) << command;
    EXPECT_EQ(r.Out, "") << command;
    EXPECT_EQ(ErrorText(dir),
              "zxtool: segment 3 of " + film + " has nothing to play: " + NotUnpacked + "\n")
        << command;
  }
  EXPECT_FALSE(FileExists(dir.File("three.rgb")));
}

TEST(ZxtoolNothingToPlay, PicturesComeFromTheFirstSegmentThatHasSome) {
  TzxTestDir dir;
  const std::string film =
      WriteFilm(dir, "late.zxf", {GarbageSegment(), PlayableSegment(7, 5, 2, 50)});
  const TzxRun second = RunZxtool("export " + film + " - --segment 2", dir);
  ASSERT_EQ(second.Code, 0) << ErrorText(dir);
  const TzxRun r = RunZxtool("export " + film + " -", dir);
  EXPECT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(r.Out, second.Out);
  EXPECT_EQ(ErrorText(dir), Warning(1, NotUnpacked) + "zxtool: " + film +
                                " has 2 segments; exported segment 2 (choose with --segment N, or "
                                "--segment all for the whole film)\n");
}

TEST(ZxtoolNothingToPlay, AFilmOfNothingToPlayFailsInOneLine) {
  TzxTestDir dir;
  const std::string one = WriteFilm(dir, "one.zxf", {GarbageSegment()});
  const std::string two = WriteFilm(dir, "two.zxf", {UnknownSegment(), GarbageSegment()});
  const struct {
    std::string Args, Error;
  } cases[] = {
      {"export " + one + " --hash", "segment 1 of " + one + " has nothing to play: " + NotUnpacked},
      {"export " + one + " " + dir.File("out.mp4"),
       "segment 1 of " + one + " has nothing to play: " + NotUnpacked},
      {"export " + two + " --hash",
       two + " has nothing to play: segment 1: " + UnknownPacking + "; segment 2: " + NotUnpacked},
      {"export " + two + " " + dir.File("out"),
       two + " has nothing to play: segment 1: " + UnknownPacking + "; segment 2: " + NotUnpacked},
  };
  for (const auto &c : cases) {
    const TzxRun r = RunZxtool(c.Args, dir);
    EXPECT_EQ(r.Code, 1) << c.Args;
    EXPECT_EQ(ErrorText(dir), "zxtool: " + c.Error + "\n") << c.Args;
  }
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"err.txt", "one.zxf", "two.zxf"}));
}

TEST(ZxtoolEndsEarly, ASegmentWhoseRecordsRunOutEndsThereAsInThePlayer) {
  TzxTestDir dir;
  // Three records for five frames, then a segment that plays whole; and a
  // film whose second record has a length below 8.
  TzxSegmentSpec shortOne = PlayableSegment(7, 5, 3);
  shortOne.FrameCount = 5;
  TzxSegmentSpec damaged = PlayableSegment(7, 5, 3, 20);
  const size_t second = size_t(GetLE32(damaged.Video.data()));
  PutLE32(damaged.Video.data() + second, 5);
  const std::string film = WriteFilm(dir, "short.zxf", {shortOne, PlayableSegment(7, 5, 2, 50)});
  const std::string broken = WriteFilm(dir, "broken.zxf", {damaged});

  TzxRun r = RunZxtool("export " + film + " --hash", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(HashedSegments(r.Out), "1 1 1 2 2 ");
  EXPECT_EQ(ErrorText(dir),
            "zxtool: warning: segment 1 ends early: its video data holds 3 of its 5 frames\n");

  r = RunZxtool("export " + broken + " --hash", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(HashedSegments(r.Out), "1 ");
  EXPECT_EQ(ErrorText(dir), Format("zxtool: warning: segment 1 ends early: its video data holds 1 "
                                   "of its 3 frames: the frame record at byte %d gives its length "
                                   "as 5, below 8\n",
                                   int(second)));

  // A range that starts behind the records has no frame of that segment.
  r = RunZxtool("export " + film + " --hash --segment 1 --from 4f", dir);
  EXPECT_EQ(r.Out, "");
  EXPECT_NE(ErrorText(dir).find("ends early"), std::string::npos) << ErrorText(dir);

  // A video of the whole film holds the last picture until the next
  // segment, so that its sound stays in step: 5 + 2 frames.
  r = RunZxtool("export " + film + " " + dir.File("all.rgb") + " --segment all", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(ReadWholeFile(dir.File("all.rgb")).size(), size_t(7 * 5 * 3) * 5);
  r = RunZxtool("export " + film + " " + dir.File("all.mkv") + " --segment all --lossless", dir);
  ASSERT_EQ(r.Code, 0) << ErrorText(dir);
  EXPECT_EQ(
      Probe({"-select_streams", "v:0", "-count_frames", "-show_entries", "stream=nb_read_frames"},
            dir.File("all.mkv")),
      "7\n");
}
