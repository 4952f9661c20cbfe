#include "zxLoader.h"
#include "zxCab.h"
#include "zxCabWriter.h"
#include "zxLzma.h"
#include "zxTesting.h"
#include "zxTexts.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Loads film bytes from a file, as the Load command does.
struct TLoad {
  TzxTestDir Dir;
  TzxBoxRecorder Boxes;
  TSegmentList List;
  std::vector<int32_t> Selected;

  TLoad() {
    SetSegmentSelector([this](int32_t i) { Selected.push_back(i); });
  }
  ~TLoad() {
    List.Clear();
    SetSegmentSelector(nullptr);
  }

  bool Load(const TzxBytes &film) {
    WriteWholeFile(Dir.File("film.zxf"), film);
    TzxFileStream f(Dir.File("film.zxf"), fmOpenRead);
    return LoadFilm(&f, List);
  }
  // Everything in the temporary directory except the film itself.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names = Dir.Files();
    std::erase(names, "film.zxf");
    return names;
  }
};

// A segment that the loader lists but does not unpack (compression kind 1).
TzxSegmentSpec Unpacked(uint8_t version = 1) {
  TzxSegmentSpec s;
  s.Version = version;
  s.Width = 3;
  s.Height = 2;
  s.Flags = 0x1000;
  s.Packing = TzxPacking::Raw;
  s.Video = {1, 2, 3};
  return s;
}

std::string TitleOf(const TSegmentInfo &r) {
  return r.TitleText();
}

} // namespace

TEST(Trailer, SampleArithmeticAndLanguageBlockWithoutFilm) {
  // 523,482 bytes ending in F = 368,338 with L = 0: the film starts at 155,140.
  TzxMemoryStream exe;
  TzxBytes bytes(523482, 0);
  int32_t f = 368338;
  std::memcpy(&bytes[523478], &f, 4);
  exe.Write(bytes.data(), static_cast<int32_t>(bytes.size()));
  TExecutableTrailer t = ReadExecutableTrailer(exe);
  EXPECT_EQ(t.FilmBase, 155140);
  EXPECT_EQ(t.FilmSize, 368338);
  EXPECT_EQ(t.LanguageOffset, -1);

  // F = 0: no film, and the language block's size sits at E - 8.
  TzxBytes player(100, 'P');
  TzxBytes noFilm = BuildExecutable(player, {}, "Error=Fehler\r\n");
  TzxMemoryStream s;
  s.Write(noFilm.data(), static_cast<int32_t>(noFilm.size()));
  t = ReadExecutableTrailer(s);
  EXPECT_EQ(t.FilmBase, -1);
  EXPECT_EQ(t.LanguageOffset, 100);
  EXPECT_EQ(t.LanguageSize, 14);

  TzxTestDir dir;
  WriteWholeFile(dir.File("p.exe"), noFilm);
  std::vector<char> block = ReadLanguageBlock(dir.File("p.exe"));
  EXPECT_EQ(std::string(block.begin(), block.end()), "Error=Fehler\r\n");
  EXPECT_TRUE(ReadLanguageBlock(dir.File("missing.exe")).empty());
}

TEST(Trailer, SizesThatDoNotFitTheFileMeanNoTrailer) {
  TzxBytes exe(64, 'P');
  AppendInt32(exe, 1000); // L beyond the start of the file
  AppendInt32(exe, 0);
  TzxMemoryStream s;
  s.Write(exe.data(), static_cast<int32_t>(exe.size()));
  EXPECT_EQ(ReadExecutableTrailer(s).LanguageOffset, -1);

  TzxBytes lying(64, 'P');
  AppendInt32(lying, 0x7FFFFFF0); // F larger than the file
  TzxMemoryStream t;
  t.Write(lying.data(), static_cast<int32_t>(lying.size()));
  EXPECT_EQ(ReadExecutableTrailer(t).FilmBase, -1);
  EXPECT_FALSE(LoadEmbeddedFilm(&t, *std::make_unique<TSegmentList>()));

  TzxBytes negative(64, 'P');
  AppendInt32(negative, -5);
  TzxMemoryStream n;
  n.Write(negative.data(), static_cast<int32_t>(negative.size()));
  EXPECT_EQ(ReadExecutableTrailer(n).FilmBase, -1);
}

TEST(Trailer, AFilmOrLanguageBlockInsideTheProgramIsNone) {
  // A program without a trailer ends in its own bytes: read as F, they
  // would place a "film" inside the program image.
  TzxBytes program = FakeProgram();
  PutLE32(&program[396], 100); // film at 296, inside the section at 300..400
  TzxMemoryStream s;
  s.Write(program.data(), static_cast<int32_t>(program.size()));
  EXPECT_EQ(ProgramImageEnd(s), 400);
  EXPECT_EQ(ReadExecutableTrailer(s).FilmBase, -1);
  EXPECT_FALSE(LoadEmbeddedFilm(&s, *std::make_unique<TSegmentList>()));
  // F = 0 with an L that reaches into the program: no language block.
  TzxBytes lang = FakeProgram();
  AppendInt32(lang, 5);
  AppendInt32(lang, 0);
  TzxMemoryStream l;
  l.Write(lang.data(), static_cast<int32_t>(lang.size()));
  EXPECT_EQ(ReadExecutableTrailer(l).LanguageOffset, -1);
  // Behind the program both are found.
  const TzxBytes packed = BuildExecutable(FakeProgram(), BuildFilm({}, 1), "Error=X");
  TzxMemoryStream p;
  p.Write(packed.data(), static_cast<int32_t>(packed.size()));
  const TExecutableTrailer t = ReadExecutableTrailer(p);
  EXPECT_EQ(t.LanguageOffset, 400);
  EXPECT_EQ(t.FilmBase, 400 + 7 + 4);
  // Not a program (a film file, a stub cut short): nothing to stay out of.
  const TzxBytes stub(packed.begin(), packed.begin() + 80);
  TzxMemoryStream n;
  n.Write(stub.data(), static_cast<int32_t>(stub.size()));
  EXPECT_EQ(ProgramImageEnd(n), -1);
}

TEST(Loader, EmptyOrMissingDirectoryLoadsNothing) {
  TLoad l;
  EXPECT_FALSE(LoadFilm(nullptr, l.List));
  EXPECT_FALSE(l.Load(BuildFilm({}, 0)));
  EXPECT_FALSE(l.Load(BuildFilm({}, -3)));
  EXPECT_FALSE(l.Load({1, 0})); // the count itself is cut short
  EXPECT_EQ(l.List.Count(), 0);
  EXPECT_TRUE(l.Boxes.Boxes.empty());
  EXPECT_TRUE(l.Selected.empty());
  EXPECT_TRUE(l.Leftovers().empty());
}

TEST(Loader, LzmaSegmentIsUnpackedWhole) {
  TLoad l;
  TzxSegmentSpec s = SampleSegment(TzxPacking::Lzma);
  s.PaletteTrack = {2, 0, 1, 2, 3, 0, 5, 6, 7, 0};
  s.Sound = {0xFF, 0xF3, 0x40, 0xC4, 1, 2, 3};
  s.Flags |= sfSoundMp3;
  TzxFilmEntry e;
  e.Segment = s;
  ASSERT_TRUE(l.Load(BuildFilm({e})));
  ASSERT_EQ(l.List.Count(), 1);
  const TSegmentInfo &r = *l.List.Get(0);
  EXPECT_EQ(r.Width, 7);
  EXPECT_EQ(r.Height, 5);
  EXPECT_EQ(r.BitsPerPixel, 32);
  EXPECT_EQ(r.FramesPerSecond, 12); // 12.5 rounds to the even neighbour
  EXPECT_EQ(r.FrameCount, 2);
  EXPECT_EQ(r.Flags, s.Flags);
  EXPECT_EQ(TitleOf(r), "Sample");
  ASSERT_EQ(r.Cursors->Count(), 2);
  EXPECT_TRUE(r.Cursors->Get(0)->Valid());
  EXPECT_TRUE(r.Cursors->Get(1)->Monochrome());
  ASSERT_EQ(r.VideoStream->Size(), 300);
  TzxBytes video(300);
  r.VideoStream->Seek(0);
  r.VideoStream->ReadBuffer(video.data(), 300);
  EXPECT_EQ(video, s.Video);
  EXPECT_EQ(r.CursorTrack->Size(), 36);
  EXPECT_EQ(r.PaletteTrack->Size(), 10);
  EXPECT_EQ(TzxBytes(r.PaletteTrack->Memory(), r.PaletteTrack->Memory() + 10), s.PaletteTrack);
  ASSERT_FALSE(r.SoundFileName.empty());
  EXPECT_EQ(ReadWholeFile(r.SoundFileName), s.Sound);
  EXPECT_EQ(r.SoundStream, nullptr);
  EXPECT_EQ(l.Selected, (std::vector<int32_t>{0}));
  EXPECT_TRUE(l.Boxes.Boxes.empty());

  // Only the video file and the sound file remain, and Clear takes them.
  std::vector<std::string> left = l.Leftovers();
  EXPECT_EQ(left.size(), 2u);
  EXPECT_EQ(CountEnding(left, ".~zxflm"), 1);
  EXPECT_EQ(CountEnding(left, ".mp3"), 1);
  l.List.Clear();
  EXPECT_TRUE(l.Leftovers().empty());
}

TEST(Loader, VersionWarningsCountEveryEntryAndShareOneBox) {
  TLoad l;
  std::vector<TzxFilmEntry> entries(5);
  entries[0].Segment = Unpacked();
  entries[1].Segment = Unpacked(2);
  entries[2].Segment = Unpacked(3);
  entries[3].Kind = 7; // skipped without a word
  entries[3].Raw = {9, 9, 9};
  entries[4].Segment = Unpacked();
  ASSERT_TRUE(l.Load(BuildFilm(entries)));
  EXPECT_EQ(l.List.Count(), 2);
  EXPECT_EQ(l.List.Get(1)->EntryIndex, 4);
  ASSERT_EQ(l.Boxes.Boxes.size(), 1u);
  const TzxMessageBox &box = l.Boxes.Boxes[0];
  EXPECT_EQ(box.Text, "Segment 2 need reDiridi of other version to play\r"
                      "Segment 3 need reDiridi of other version to play\r");
  EXPECT_EQ(box.Caption, "Warning");
  EXPECT_EQ(box.Style, static_cast<uint32_t>(zxMB_ICONWARNING));
  EXPECT_EQ(box.Owner, TzxBoxOwner::None);

  TLoad m;
  std::vector<TzxFilmEntry> other(2);
  other[0].Kind = 2;
  other[0].Raw = {1};
  other[1].Segment = Unpacked(3);
  ASSERT_TRUE(m.Load(BuildFilm(other))); // entries exist, whatever became of them
  EXPECT_EQ(m.List.Count(), 0);
  ASSERT_EQ(m.Boxes.Boxes.size(), 1u);
  EXPECT_EQ(m.Boxes.Boxes[0].Text, "Segment 2 need reDiridi of other version to play\r");
  EXPECT_TRUE(m.Selected.empty());
}

TEST(Loader, UnknownCompressionAndSoundKindsLeaveEmptyParts) {
  TLoad l;
  std::vector<TzxFilmEntry> entries(3);
  entries[0].Segment = Unpacked(); // kind 1: listed, nothing to play
  entries[0].Segment.Sound = {1, 2, 3};
  entries[0].Segment.Flags |= 0x200; // sound kind 2: bytes are not used
  entries[1].Segment = SampleSegment(TzxPacking::Lzma);
  entries[1].Segment.Flags |= sfSoundMp3;
  entries[1].Segment.SoundSize = 0; // MP3 kind but no bytes
  entries[1].Segment.Cursors.clear();
  entries[1].Segment.Video.clear();
  entries[1].Segment.CursorTrack.clear();
  entries[2].Segment = Unpacked();
  entries[2].Segment.Flags = 0x3000 | sfSoundMp3;
  entries[2].Segment.Sound = {0xFF, 0xFB};
  ASSERT_TRUE(l.Load(BuildFilm(entries)));
  ASSERT_EQ(l.List.Count(), 3);
  for (int i = 0; i < 2; ++i) {
    const TSegmentInfo &r = *l.List.Get(i);
    EXPECT_EQ(r.Cursors->Count(), 0);
    EXPECT_EQ(r.VideoStream->Size(), 0);
    EXPECT_EQ(r.CursorTrack->Size(), 0);
    EXPECT_EQ(r.PaletteTrack->Size(), 0);
    EXPECT_TRUE(r.SoundFileName.empty()) << i;
  }
  EXPECT_EQ(TitleOf(*l.List.Get(1)), "Sample");
  EXPECT_EQ(l.List.Get(0)->Width, 3);
  // Sound does not depend on the payload being unpacked.
  EXPECT_EQ(ReadWholeFile(l.List.Get(2)->SoundFileName), (TzxBytes{0xFF, 0xFB}));
  std::vector<std::string> left = l.Leftovers();
  EXPECT_EQ(left.size(), 4u);
  EXPECT_EQ(CountEnding(left, ".~zxflm"), 3);
}

TEST(Loader, EmbeddedFilmWithLanguageBlock) {
  TLoad l;
  TzxFilmEntry e;
  e.Segment = Unpacked();
  TzxBytes film = BuildFilm({e});
  TzxBytes exe = BuildExecutable(TzxBytes(4096, 'M'), film, "Warning = Achtung\r\n");
  WriteWholeFile(l.Dir.File("player.exe"), exe);
  {
    TzxFileStream s(l.Dir.File("player.exe"), fmOpenRead | fmShareDenyWrite);
    EXPECT_TRUE(LoadEmbeddedFilm(&s, l.List));
  }
  EXPECT_EQ(l.List.Count(), 1);
  std::vector<char> block = ReadLanguageBlock(l.Dir.File("player.exe"));
  EXPECT_EQ(std::string(block.begin(), block.end()), "Warning = Achtung\r\n");
  EXPECT_FALSE(LoadEmbeddedFilm(nullptr, l.List));

  TzxBytes player, back;
  std::string language;
  SplitExecutable(exe, player, back, language);
  EXPECT_EQ(player, TzxBytes(4096, 'M'));
  EXPECT_EQ(back, film);
  EXPECT_EQ(language, "Warning = Achtung\r\n");
}

// Only the child process of Win32 can be missing; elsewhere a stand-in
// coder says it cannot be started.
void SetMissingCoder(const TzxTestDir &dir, bool missing) {
#ifdef _WIN32
  SetLzmaToolOverride(missing ? dir.File("no-such-coder") : std::string());
#else
  (void)dir;
  SetLzmaCoderOverride(
      missing ? [](char, const std::string &, const std::string &, TzxLzmaRun *) { return false; }
              : TzxLzmaCoder{});
#endif
}

TEST(Loader, MissingCoderEndsTheLoadAtOnce) {
  TLoad l;
  SetMissingCoder(l.Dir, true);
  std::vector<TzxFilmEntry> entries(4);
  entries[0].Segment = Unpacked();
  entries[1].Segment = Unpacked();
  entries[1].Segment.Flags = sfCompressionLzma;
  entries[1].Segment.Packed = TzxBytes{0x5D, 0, 0, 0, 1};
  entries[2].Segment = Unpacked(2); // would be a warning, but is never read
  entries[3].Segment = Unpacked();
  bool result = l.Load(BuildFilm(entries));
  SetMissingCoder(l.Dir, false);
  EXPECT_FALSE(result);
  EXPECT_EQ(l.List.Count(), 2); // the segment being unpacked stays
  ASSERT_EQ(l.Boxes.Boxes.size(), 1u);
  EXPECT_EQ(l.Boxes.Boxes[0].Text, "Video decompressor error");
  EXPECT_EQ(l.Boxes.Boxes[0].Caption, "Error");
  EXPECT_EQ(l.Boxes.Boxes[0].Owner, TzxBoxOwner::MainWindow);
  EXPECT_TRUE(l.Selected.empty());
  EXPECT_EQ(CountEnding(l.Leftovers(), ".~zxflm"), 2);
  EXPECT_EQ(l.Leftovers().size(), 2u);
}

TEST(Loader, CoderFailureLeavesTheSegmentEmpty) {
  TLoad l;
  TzxFilmEntry e;
  e.Segment = Unpacked();
  e.Segment.Flags = sfCompressionLzma;
  e.Segment.Packed = TzxBytes(40, 0xEE); // not an LZMA stream
  ASSERT_TRUE(l.Load(BuildFilm({e})));
  ASSERT_EQ(l.List.Count(), 1);
  EXPECT_EQ(l.List.Get(0)->VideoStream->Size(), 0);
  EXPECT_EQ(l.Leftovers().size(), 1u);
}

#ifndef _WIN32
// The coder in this process stops where the header's sizes end (the child
// coder of Win32 cannot be stopped there): a payload that unpacks to more,
// here megabytes of zeros, is named and leaves only the segment's own file.
TEST(Loader, AnLzmaPayloadBeyondItsHeadersSizesIsStopped) {
  TLoad l;
  TzxFilmEntry e;
  e.Segment = SampleSegment(TzxPacking::Lzma);
  e.Segment.Cursors.clear(); // the bound: title, video and tracks
  TzxBytes payload = BuildUnpackedPayload(e.Segment);
  payload.resize(payload.size() + (4 << 20));
  e.Segment.Packed = PackPayload(payload, TzxPacking::Lzma);
  ASSERT_TRUE(l.Load(BuildFilm({e})));
  ASSERT_EQ(l.List.Count(), 1);
  EXPECT_EQ(l.List.Get(0)->NothingToPlay.rfind(
                "its payload could not be unpacked (it unpacks to more than the ", 0),
            0u)
      << l.List.Get(0)->NothingToPlay;
  EXPECT_EQ(l.Leftovers().size(), 1u);
}
#endif

// Films that lie about themselves end the load with a message that says
// what is wrong; nothing but the listed segments' files stays behind.
TEST(Loader, LyingSizesAreRefusedWithAClearError) {
  struct TCase {
    const char *Expect;
    std::function<void(TzxFilmEntry &)> Break;
  } cases[] = {
      {"title size 300", [](TzxFilmEntry &e) { e.Segment.TitleSize = 300; }},
      {"title size -1", [](TzxFilmEntry &e) { e.Segment.TitleSize = -1; }},
      {"2000000000 cursor records", [](TzxFilmEntry &e) { e.Segment.CursorCount = 2000000000; }},
      {"the video data needs 100000 bytes", [](TzxFilmEntry &e) { e.Segment.VideoSize = 100000; }},
      {"packed payload", [](TzxFilmEntry &e) { e.Segment.PackedSize = 1 << 30; }},
      {"packed payload", [](TzxFilmEntry &e) { e.Segment.PackedOffset = -100; }},
      {"the sound", [](TzxFilmEntry &e) { e.Segment.SoundOffset = 1 << 29; }},
      {"the header", [](TzxFilmEntry &e) { e.Offset = 1 << 30; }},
      {"the header", [](TzxFilmEntry &e) { e.Offset = -4; }},
  };
  for (const auto &c : cases) {
    TLoad l;
    TzxFilmEntry e;
    e.Segment = SampleSegment(TzxPacking::Lzma);
    e.Segment.Sound = {1, 2, 3, 4};
    e.Segment.Flags |= sfSoundMp3;
    c.Break(e);
    try {
      l.Load(BuildFilm({e}));
      ADD_FAILURE() << "no error for " << c.Expect;
    } catch (const EzxError &err) {
      EXPECT_NE(err.Message().find(c.Expect), std::string::npos) << err.Message();
      EXPECT_NE(err.Message().find("Segment 1"), std::string::npos) << err.Message();
    }
    EXPECT_EQ(l.List.Count(), 0) << c.Expect; // no half-read record stays
    EXPECT_EQ(l.Leftovers().size(), 0u) << c.Expect;
  }
}

TEST(Loader, SegmentsThatShareBytesAreRefused) {
  TzxFilmEntry a;
  a.Segment = SampleSegment(TzxPacking::Lzma);
  a.Segment.Sound = {1, 2, 3, 4};
  a.Segment.Flags |= sfSoundMp3;
  TzxFilmEntry b = a;
  const TzxBytes plain = BuildFilm({a, b});
  const int32_t first = GetLE32(plain.data() + 4), second = GetLE32(plain.data() + 10);
  const int32_t firstPayload = first + GetLE32(plain.data() + first + 42);
  {
    TLoad l; // segments side by side share no byte
    EXPECT_TRUE(l.Load(plain));
    EXPECT_EQ(l.List.Count(), 2);
  }
  struct TCase {
    const char *Expect;
    std::function<void(TzxFilmEntry &)> Break;
  } cases[] = {
      {"Segment 2: its packed payload lies in the bytes of segment 1",
       [&](TzxFilmEntry &e) { e.Offset = first; }},
      {"Segment 2: its sound lies in the bytes of segment 1",
       [&](TzxFilmEntry &e) { e.Segment.SoundOffset = firstPayload + 10 - second; }},
  };
  for (const auto &c : cases) {
    TLoad l;
    TzxFilmEntry broken = b;
    c.Break(broken);
    try {
      l.Load(BuildFilm({a, broken}));
      ADD_FAILURE() << "no error for " << c.Expect;
    } catch (const EzxError &err) {
      EXPECT_NE(err.Message().find(c.Expect), std::string::npos) << err.Message();
    }
    EXPECT_EQ(l.List.Count(), 1) << c.Expect; // the first segment stays
    l.List.Clear();
    EXPECT_EQ(l.Leftovers().size(), 0u) << c.Expect;
  }
}

TEST(Loader, DirectoryLongerThanTheFilmIsRefused) {
  TLoad l;
  TzxFilmEntry e;
  e.Segment = Unpacked();
  EXPECT_THROW(l.Load(BuildFilm({e}, 1000000)), EzxError);
  EXPECT_EQ(l.List.Count(), 0);
}

TEST(Loader, BadCursorRecordKeepsItsPlaceAndThePayloadInStep) {
  TLoad l;
  TzxFilmEntry e;
  e.Segment = SampleSegment(TzxPacking::Lzma);
  TzxCursorRecord bad = MakeColourCursor(4, 4, 0, 0, TzxBytes(64));
  bad.Colour.Width = 400; // 64 bytes cannot hold 400 x 4 pixels
  e.Segment.Cursors.insert(e.Segment.Cursors.begin(), EncodeCursorRecord(bad));
  e.Segment.Title = std::string(200, 'T');
  e.Segment.TitleSize = 256; // a full title field, padded with the next bytes' worth
  // Keep the payload in step: the title field is 256 bytes long.
  TzxBytes payload = BuildUnpackedPayload(e.Segment);
  payload.insert(payload.begin() + 4 + 201, 55, 0);
  e.Segment.Packed = PackPayload(payload, TzxPacking::Lzma);
  ASSERT_TRUE(l.Load(BuildFilm({e})));
  const TSegmentInfo &r = *l.List.Get(0);
  ASSERT_EQ(r.Cursors->Count(), 3);
  EXPECT_FALSE(r.Cursors->Get(0)->Valid());
  EXPECT_TRUE(r.Cursors->Get(1)->Valid());
  EXPECT_EQ(TitleOf(r), std::string(200, 'T'));
  TzxBytes video(300);
  r.VideoStream->Seek(0);
  r.VideoStream->ReadBuffer(video.data(), 300);
  EXPECT_EQ(video, e.Segment.Video);
}

TEST(Loader, TitleLengthNeverExceedsItsField) {
  TLoad l;
  TzxFilmEntry e;
  e.Segment = Unpacked();
  e.Segment.Flags = sfCompressionLzma;
  e.Segment.Title = "abcdef";
  e.Segment.TitleSize = 3; // length byte 6, but only 2 characters in the field
  e.Segment.Video.clear();
  TzxBytes payload = BuildUnpackedPayload(e.Segment);
  payload.erase(payload.begin() + 7, payload.begin() + 11);
  e.Segment.Packed = PackPayload(payload, TzxPacking::Lzma);
  ASSERT_TRUE(l.Load(BuildFilm({e})));
  EXPECT_EQ(TitleOf(*l.List.Get(0)), "ab");
}

TEST(Loader, NoTemporaryFileMeansAClearErrorAndNothingLeft) {
  TLoad l;
  TzxFilmEntry e;
  e.Segment = Unpacked();
  TzxBytes film = BuildFilm({e});
  WriteWholeFile(l.Dir.File("film.zxf"), film);
  TzxFileStream f(l.Dir.File("film.zxf"), fmOpenRead);
  SetTempPathOverride(l.Dir.File("gone") + PathDelim);
  SetVideoTempDirectory(l.Dir.File("gone") + PathDelim);
  try {
    LoadFilm(&f, l.List);
    ADD_FAILURE() << "no error";
  } catch (const EzxError &err) {
    // The directory is named as the cause, not a file that could not be made.
    EXPECT_NE(err.Message().find("The temporary directory " + l.Dir.File("gone") + PathDelim +
                                 " cannot take the film's files"),
              std::string::npos)
        << err.Message();
  }
  SetTempPathOverride(l.Dir.Path());
  SetVideoTempDirectory(l.Dir.Path());
  EXPECT_EQ(l.List.Count(), 0);
  EXPECT_TRUE(l.Leftovers().empty());
}

TEST(Loader, FrameRateRounding) {
  EXPECT_EQ(RoundFramesPerSecond(12.5f), 12);
  EXPECT_EQ(RoundFramesPerSecond(13.5f), 14);
  EXPECT_EQ(RoundFramesPerSecond(10.0f), 10);
  EXPECT_EQ(RoundFramesPerSecond(0.4f), 0);
  EXPECT_EQ(RoundFramesPerSecond(-3.0f), 0);
  EXPECT_EQ(RoundFramesPerSecond(1000.0f), 255);
  EXPECT_EQ(RoundFramesPerSecond(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(Loader, CabinetSegmentIsUnpackedWhole) {
  TLoad l;
  std::vector<TzxFilmEntry> entries(2);
  entries[0].Segment = SampleSegment(TzxPacking::Cabinet);
  entries[0].Segment.Sound = {0xFF, 0xF3, 0x40, 0xC4};
  entries[0].Segment.Flags |= sfSoundMp3;
  entries[1].Segment = SampleSegment(TzxPacking::CabinetStored);
  const TzxFilmEntry &e = entries[0];
  ASSERT_TRUE(l.Load(BuildFilm(entries)));
  ASSERT_EQ(l.List.Count(), 2);
  EXPECT_EQ(l.List.Get(1)->VideoStream->Size(), 300);
  EXPECT_EQ(l.List.Get(1)->Cursors->Count(), 2);
  const TSegmentInfo &r = *l.List.Get(0);
  EXPECT_EQ(TitleOf(r), "Sample");
  EXPECT_EQ(r.Cursors->Count(), 2);
  TzxBytes video(300);
  r.VideoStream->Seek(0);
  r.VideoStream->ReadBuffer(video.data(), 300);
  EXPECT_EQ(video, e.Segment.Video);
  EXPECT_EQ(r.CursorTrack->Size(), 36);
  EXPECT_EQ(LastCabFileName, "payload.bin");
  std::vector<std::string> left = l.Leftovers();
  EXPECT_EQ(left.size(), 3u);
  EXPECT_EQ(CountEnding(left, ".~zxflm"), 2);
  EXPECT_EQ(CountEnding(left, ".mp3"), 1);
}

TEST(Loader, CabinetMembersStayInTheirOwnDirectory) {
  TLoad l;
  // The payload is the last member listed; the others are extracted too,
  // and none of them may outlive the load or touch other temporary files.
  TzxSegmentSpec s = SampleSegment(TzxPacking::Cabinet);
  TzxBytes payload = BuildUnpackedPayload(s);
  WriteWholeFile(l.Dir.File("readme.txt"), {'k', 'e', 'e', 'p'});
  std::vector<TzxFilmEntry> entries(3);
  entries[0].Segment = s;
  entries[0].Segment.Packed =
      PackCabinet({{"readme.txt", {'x'}}, {"sub\\data.bin", payload}}, true);
  // Not a cabinet at all, and a cabinet whose payload would climb out.
  entries[1].Segment = s;
  entries[1].Segment.Packed = TzxBytes(200, 0x11);
  entries[2].Segment = s;
  entries[2].Segment.Packed = PackCabinet({{"..\\readme.txt", payload}}, false);
  ASSERT_TRUE(l.Load(BuildFilm(entries)));
  ASSERT_EQ(l.List.Count(), 3);
  EXPECT_EQ(TitleOf(*l.List.Get(0)), "Sample");
  EXPECT_EQ(l.List.Get(0)->VideoStream->Size(), 300);
  for (int i = 1; i < 3; ++i) {
    EXPECT_EQ(TitleOf(*l.List.Get(i)), "") << i;
    EXPECT_EQ(l.List.Get(i)->VideoStream->Size(), 0) << i;
  }
  EXPECT_EQ(ReadWholeFile(l.Dir.File("readme.txt")), (TzxBytes{'k', 'e', 'e', 'p'}));
  std::vector<std::string> left = l.Leftovers();
  std::erase(left, "readme.txt");
  EXPECT_EQ(left.size(), 3u);
  EXPECT_EQ(CountEnding(left, ".~zxflm"), 3);
}
