#include "zxCab.h"
#include "zxCabTesting.h"
#include "zxCabWriter.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct TListed {
  std::string Name;
  uint32_t Size;
  uint16_t Folder, Date, Time, Attributes;
};

class TCabTest : public ::testing::Test {
protected:
  TzxTestDir Dir;

  std::string Put(const std::string &name, const TzxBytes &bytes) {
    WriteWholeFile(Dir.File(name), bytes);
    return Dir.File(name);
  }
  std::string Target() const { return Dir.File("out"); }
  std::string InTarget(const std::string &name) const {
    return Target() + PathDelim + NativePath(name);
  }
  // Every file below the target directory, with '/' between directories.
  std::vector<std::string> Extracted() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : fs::recursive_directory_iterator(Target(), ec))
      if (e.is_regular_file()) names.push_back(fs::relative(e.path(), Target()).generic_string());
    std::sort(names.begin(), names.end());
    return names;
  }
  void Extract(const std::string &cab, uint32_t options = 0) {
    TzxCabReader reader;
    reader.Extract(cab, Target(), options);
  }
  std::vector<TListed> List(const std::string &cab, size_t stopAfter = SIZE_MAX,
                            bool *result = nullptr) {
    std::vector<TListed> listed;
    TzxCabReader reader;
    bool ok = reader.ListFiles(cab, [&](TzxCabReader &, const std::string &name, uint32_t size,
                                        uint16_t folder, uint16_t date, uint16_t time,
                                        uint16_t attributes, bool &stop) {
      EXPECT_FALSE(stop) << "the stop flag starts false";
      listed.push_back({name, size, folder, date, time, attributes});
      stop = listed.size() >= stopAfter;
    });
    if (result != nullptr) *result = ok;
    return listed;
  }
};

TzxBytes Pattern(size_t n, uint8_t seed) {
  TzxBytes b(n);
  for (size_t i = 0; i < n; ++i)
    b[i] = static_cast<uint8_t>(seed + i * 31 + (i >> 7));
  return b;
}

// 2021-06-15 13:45:30 and 1999-12-31 23:59:58 as FAT date and time.
constexpr uint16_t June2021 = (41 << 9) | (6 << 5) | 15;
constexpr uint16_t QuarterToTwo = (13 << 11) | (45 << 5) | 15;
constexpr uint16_t Eve1999 = (19 << 9) | (12 << 5) | 31;
constexpr uint16_t Midnight = (23 << 11) | (59 << 5) | 29;

} // namespace

// ---- extraction ----

TEST_F(TCabTest, OneMemberCarriesItsDateTimeAndAttributes) {
  TzxCabMember m{"payload.bin", Pattern(70000, 3)};
  m.Date = June2021;
  m.Time = QuarterToTwo;
  m.Attributes = 0x21; // read-only, archive
  for (bool compress : {true, false}) {
    SCOPED_TRACE(compress ? "MSZIP" : "stored");
    std::string cab = Put("one.cab", PackCabinet({m}, compress));
    Extract(cab);

    std::string file = InTarget("payload.bin");
    EXPECT_EQ(Extracted(), std::vector<std::string>{"payload.bin"});
    EXPECT_EQ(ReadWholeFile(file), m.Data);
    uint16_t date = 0, time = 0;
    ASSERT_TRUE(FileDosDateTime(file, date, time));
    EXPECT_EQ(date, June2021);
    EXPECT_EQ(time, QuarterToTwo);
    EXPECT_TRUE(IsReadOnly(file));
    SetReadOnly(file, false);
    DeleteFileName(file);
  }
}

TEST_F(TCabTest, MemberInSubdirectoriesCreatesThem) {
  std::string cab =
      Put("sub.cab",
          PackCabinet({{"top.bin", Bytes("top")}, {"sub\\deeper\\a.bin", Bytes("deep")}}, true));
  ASSERT_FALSE(DirectoryExists(Target()));
  Extract(cab);
  EXPECT_TRUE(DirectoryExists(InTarget("sub\\deeper")));
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"sub/deeper/a.bin", "top.bin"}));
  EXPECT_EQ(ReadWholeFile(InTarget("sub\\deeper\\a.bin")), Bytes("deep"));
}

TEST_F(TCabTest, OverwritesALongerReadOnlyFileFromItsStart) {
  fs::create_directories(Target());
  std::string file = InTarget("payload.bin");
  WriteWholeFile(file, Bytes("0123456789ABCDEF"));
  SetReadOnly(file, true);
  std::string cab = Put("new.cab", PackCabinet({{"payload.bin", Bytes("xyz")}}, true));

  Extract(cab);
  // The read-only attribute was cleared to write; the old tail stays.
  EXPECT_EQ(ReadWholeFile(file), Bytes("xyz3456789ABCDEF"));
  EXPECT_FALSE(IsReadOnly(file)) << "the member's attributes (archive only) were applied";
}

TEST_F(TCabTest, KeepReadOnlyOptionLeavesReadOnlyTargetsAlone) {
  fs::create_directories(Target());
  std::string file = InTarget("payload.bin");
  WriteWholeFile(file, Bytes("old contents"));
  SetReadOnly(file, true);
  std::string cab =
      Put("new.cab",
          PackCabinet({{"payload.bin", Bytes("new")}, {"other.bin", Bytes("other")}}, false));
  TzxCabReader reader;
  reader.SetOptions(cabKeepReadOnly);
  reader.Extract(cab, Target(), 0);

  EXPECT_EQ(ReadWholeFile(file), Bytes("old contents"));
  EXPECT_TRUE(IsReadOnly(file));
  EXPECT_EQ(ReadWholeFile(InTarget("other.bin")), Bytes("other"));
  SetReadOnly(file, false);
}

TEST_F(TCabTest, WriterKeepsManyMembersAndLargeDataApart) {
  std::vector<TzxCabMember> members;
  for (int i = 0; i < 5; ++i)
    members.push_back({"m" + std::to_string(i) + ".bin", Pattern(i * 40000 + 1, uint8_t(i))});
  members.push_back({"empty.bin", {}});
  for (bool compress : {true, false}) {
    SCOPED_TRACE(compress ? "MSZIP" : "stored");
    std::string cab = Put("many.cab", PackCabinet(members, compress));
    Extract(cab);
    for (const TzxCabMember &m : members)
      EXPECT_EQ(ReadWholeFile(InTarget(m.Name)), m.Data) << m.Name;
    fs::remove_all(Target());
  }
}

// ---- listing ----

TEST_F(TCabTest, ListsMembersInTableOrderUntilStopped) {
  std::vector<TzxCabMember> members = {
      {"c.bin", Bytes("ccc")}, {"a.bin", Bytes("aaaaa")}, {"b.bin", Bytes("bbbbbbb")}};
  members[0].Date = Eve1999;
  members[0].Time = Midnight;
  members[1].Attributes = 0x01;
  members[2].Attributes = 0x22;
  std::string cab = Put("three.cab", PackCabinet(members, true));

  bool ok = false;
  std::vector<TListed> all = List(cab, SIZE_MAX, &ok);
  EXPECT_TRUE(ok);
  ASSERT_EQ(all.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(members[i].Name);
    EXPECT_EQ(all[i].Name, members[i].Name);
    EXPECT_EQ(all[i].Size, members[i].Data.size());
    EXPECT_EQ(all[i].Folder, 0);
    EXPECT_EQ(all[i].Date, members[i].Date);
    EXPECT_EQ(all[i].Time, members[i].Time);
    EXPECT_EQ(all[i].Attributes, members[i].Attributes);
  }

  std::vector<TListed> first = List(cab, 1, &ok);
  EXPECT_TRUE(ok);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].Name, "c.bin");
}

TEST_F(TCabTest, FileThatIsNotACabinetIsNeitherListedNorExtracted) {
  std::string plain = Put("plain.cab", Bytes("This is a text file, not a cabinet at all.\n"));
  bool ok = true;
  EXPECT_TRUE(List(plain, SIZE_MAX, &ok).empty());
  EXPECT_FALSE(ok);

  EXPECT_NO_THROW(Extract(plain));
  EXPECT_TRUE(Extracted().empty());
  EXPECT_EQ(Dir.Files(), std::vector<std::string>{"plain.cab"});

  TzxCabReader reader;
  EXPECT_THROW(reader.IsCabinet(Dir.File("missing.cab")), EzxOSError);
  EXPECT_NO_THROW(reader.Extract(Dir.File("missing.cab"), Target(), 0));
}

TEST_F(TCabTest, DamagedFileTablesRaiseTheirErrors) {
  TzxCabReader reader;
  auto list = [&](const std::string &cab) {
    return reader.ListFiles(cab, [](TzxCabReader &, const std::string &, uint32_t, uint16_t,
                                    uint16_t, uint16_t, uint16_t, bool &) {});
  };
  auto messageOf = [&](const std::string &cab) -> std::string {
    try {
      list(cab);
    } catch (const EzxError &e) {
      return e.Message();
    }
    return "(no error)";
  };

  TRawCabinet cab = StoredCabinet({{"a.bin", Bytes("abc")}});
  cab.FirstFileOffset = 0x80000000u; // a negative position
  EXPECT_EQ(messageOf(Put("seek.cab", BuildRawCabinet(cab))),
            "Failure setting file stream position");

  cab.FirstFileOffset = 100000; // past the end
  EXPECT_NE(messageOf(Put("short.cab", BuildRawCabinet(cab))).find("Cannot read file"),
            std::string::npos);

  TRawCabinet longName = StoredCabinet({{std::string(781, 'n'), Bytes("abc")}});
  EXPECT_EQ(messageOf(Put("long.cab", BuildRawCabinet(longName))),
            "Cabinet file does not have the correct format");
  TRawCabinet fits = StoredCabinet({{std::string(780, 'n'), Bytes("abc")}});
  EXPECT_TRUE(list(Put("fits.cab", BuildRawCabinet(fits))));
}

// ---- names and paths ----

TEST(CabPaths, JoinPathPutsOneSeparatorBetweenParts) {
  EXPECT_EQ(JoinPath({"D:\\Work\\", "\\a.bin"}), NativePath("D:\\Work\\a.bin"));
  EXPECT_EQ(JoinPath({"D:\\Work", "a.bin"}), NativePath("D:\\Work\\a.bin"));
  EXPECT_EQ(JoinPath({"D:\\Work\\", "a.bin"}), NativePath("D:\\Work\\a.bin"));
  EXPECT_EQ(JoinPath({"", "D:\\Work", "", "sub\\a.bin"}), NativePath("D:\\Work\\sub\\a.bin"));
  EXPECT_EQ(JoinPath({"a.bin"}), "a.bin");
  EXPECT_EQ(JoinPath({"", ""}), "");
}

TEST(CabPaths, MemberNamesThatLeaveTheTargetAreUnsafe) {
  for (const char *name : {"payload.bin", "sub\\a.bin", "sub/a.bin", "a..b", "..a", "a..",
                           ".\\a.bin", "sub\\.\\a.bin"})
    EXPECT_TRUE(IsSafeMemberPath(name)) << name;
  for (const char *name :
       {"", "..", "..\\evil", "../evil", "sub\\..\\..\\evil", "sub\\..", "\\abs", "/abs",
        "\\\\server\\share\\x", "C:\\x", "C:x", "a:b", "...\\x", ".. \\x", "sub\\. .\\x"})
    EXPECT_FALSE(IsSafeMemberPath(name)) << name;
}

TEST_F(TCabTest, MembersThatWouldEscapeAreSkipped) {
  TRawCabinet raw = StoredCabinet({{"..\\evil1.txt", Bytes("1")},
                                   {"sub\\..\\..\\evil2.txt", Bytes("2")},
                                   {"good.txt", Bytes("good")},
                                   {"..\\..\\evil3.txt", Bytes("3")},
                                   {"C:evil4.txt", Bytes("4")},
                                   {"\\evil5.txt", Bytes("5")},
                                   {"sub\\fine.txt", Bytes("fine")}});
  std::string cab = Put("hostile.cab", BuildRawCabinet(raw));
  EXPECT_EQ(List(cab).size(), raw.Files.size()) << "listing reports every name";

  std::string deep = Target() + PathDelim + "deep";
  TzxCabReader reader;
  EXPECT_NO_THROW(reader.Extract(cab, deep, 0));

  EXPECT_EQ(Extracted(), (std::vector<std::string>{"deep/good.txt", "deep/sub/fine.txt"}));
  EXPECT_EQ(Dir.Files(), (std::vector<std::string>{"hostile.cab", "out/"}));
  EXPECT_FALSE(FileExists(std::string(1, PathDelim) + "evil5.txt"));
}

// ---- errors ----

TEST(CabErrors, MessagesNameTheCodes) {
  EzxCabinet alloc(5, 0, true);
  EXPECT_EQ(alloc.Message(), "Could not allocate enough memory [0x0005]");
  EXPECT_EQ(alloc.ErrorCode(), 5);
  EXPECT_TRUE(alloc.HasError());
  EXPECT_FALSE(alloc.CompressionSide());

  EXPECT_EQ(EzxCabinet(5, 0, false).Message(), "FDI error");
  EXPECT_EQ(EzxCabinet(4, 2, false).Message(), "FDI error") << "no system part without error";
  EXPECT_EQ(EzxCabinet(99, 0, true).Message(), "FDI error [0x0063]");
  EXPECT_EQ(EzxCabinet(0x12345, 0, true).Message(), "FDI error [0x12345]");
  EXPECT_EQ(EzxCabinet(8, 5, true).Message(),
            "Failure writing to target file [0x0008].\r\n" + SysErrorMessage(5) + " [0x0005].");

  const char *texts[] = {"No error",
                         "Cabinet not found",
                         "Cabinet file does not have the correct format",
                         "Cabinet file has an unknown version number",
                         "Cabinet file is corrupt",
                         "Could not allocate enough memory",
                         "Unknown compression type in a cabinet folder",
                         "Failure decompressing data from a cabinet file",
                         "Failure writing to target file",
                         "Cabinets in a set do not have the same RESERVE sizes",
                         "Cabinet returned on fdintNEXT_CABINET is incorrect",
                         "FDI aborted"};
  for (int code = 0; code < 12; ++code)
    EXPECT_EQ(EzxCabinet(code, 0, true).Message(),
              std::string(texts[code]) + Format(" [0x%04X]", code));
}

// ---- cabinet sets ----

namespace {

TRawCabinet InSet(TRawCabinet cab, uint16_t index, const std::string &previous,
                  const std::string &next) {
  cab.Index = index;
  cab.PreviousName = previous;
  cab.PreviousDisk = previous.empty() ? "" : "Disk " + std::to_string(index);
  cab.NextName = next;
  cab.NextDisk = next.empty() ? "" : "Disk " + std::to_string(index + 2);
  return cab;
}

} // namespace

TEST_F(TCabTest, MissingContinuationCabinetEndsTheExtraction) {
  std::string cab =
      Put("one.cab",
          BuildRawCabinet(InSet(StoredCabinet({{"a.txt", Bytes("a")}}), 0, "", "missing.cab")));
  EXPECT_NO_THROW(Extract(cab));
  EXPECT_EQ(Extracted(), std::vector<std::string>{"a.txt"});
}

TEST_F(TCabTest, FollowsTheNamedSuccessorOnlyWhenAsked) {
  Put("one.cab", BuildRawCabinet(InSet(StoredCabinet({{"a.txt", Bytes("a")}}), 0, "", "two.cab")));
  Put("two.cab", BuildRawCabinet(InSet(StoredCabinet({{"b.txt", Bytes("b")}}), 1, "one.cab", "")));
  Extract(Dir.File("one.cab"));
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"a.txt", "b.txt"}));

  fs::remove_all(Target());
  Extract(Dir.File("one.cab"), cabFirstCabinetOnly);
  EXPECT_EQ(Extracted(), std::vector<std::string>{"a.txt"});
}

TEST_F(TCabTest, SuccessorsThatLeadBackEndTheExtraction) {
  // one -> two -> one, and a cabinet naming itself in another spelling.
  Put("one.cab", BuildRawCabinet(InSet(StoredCabinet({{"a.txt", Bytes("a")}}), 0, "", "two.cab")));
  Put("two.cab",
      BuildRawCabinet(InSet(StoredCabinet({{"b.txt", Bytes("b")}}), 1, "one.cab", "one.cab")));
  Put("self.cab",
      BuildRawCabinet(InSet(StoredCabinet({{"s.txt", Bytes("s")}}), 0, "", ".\\self.cab")));
  Extract(Dir.File("one.cab"));
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"a.txt", "b.txt"}));
  Extract(Dir.File("self.cab"));
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"a.txt", "b.txt", "s.txt"}));
}

TEST_F(TCabTest, SuccessorOutsideTheCabinetDirectoryIsNotFollowed) {
  fs::create_directories(Dir.File("cabs"));
  Put("two.cab", BuildRawCabinet(InSet(StoredCabinet({{"b.txt", Bytes("b")}}), 1, "one.cab", "")));
  std::string one = Dir.File("cabs") + PathDelim + "one.cab";
  WriteWholeFile(
      one, BuildRawCabinet(InSet(StoredCabinet({{"a.txt", Bytes("a")}}), 0, "", "..\\two.cab")));
  Extract(one);
  EXPECT_EQ(Extracted(), std::vector<std::string>{"a.txt"});
}

namespace {

// A set of two stored cabinets: a.txt and the first part of b.txt in
// one.cab, the rest of b.txt and c.txt (a folder of its own) in two.cab.
// The block that holds b.txt is split between the cabinets.
void PutSpanningSet(const std::string &dir) {
  TzxBytes a = Bytes("AAAA"), b = Pattern(3000, 7), c = Bytes("CCCCCC");
  TRawCabinet one = InSet({}, 0, "", "two.cab");
  one.Folders.push_back({{{a, uint16_t(a.size())}, {TzxBytes(b.begin(), b.begin() + 1000), 0}}});
  one.Files.push_back({"a.txt", uint32_t(a.size()), 0, 0});
  one.Files.push_back({"b.txt", uint32_t(b.size()), uint32_t(a.size()), 0xFFFE});

  TRawCabinet two = InSet({}, 1, "one.cab", "");
  two.Folders.push_back({{{TzxBytes(b.begin() + 1000, b.end()), uint16_t(b.size())}}});
  two.Folders.push_back({{{c, uint16_t(c.size())}}});
  two.Files.push_back({"b.txt", uint32_t(b.size()), uint32_t(a.size()), 0xFFFD});
  two.Files.push_back({"c.txt", uint32_t(c.size()), 0, 1});

  WriteWholeFile(dir + "one.cab", BuildRawCabinet(one));
  WriteWholeFile(dir + "two.cab", BuildRawCabinet(two));
}

} // namespace

TEST_F(TCabTest, FileSpanningTwoCabinetsIsJoined) {
  PutSpanningSet(Dir.Path());
  Extract(Dir.File("one.cab"));
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(ReadWholeFile(InTarget("a.txt")), Bytes("AAAA"));
  EXPECT_EQ(ReadWholeFile(InTarget("b.txt")), Pattern(3000, 7));
  EXPECT_EQ(ReadWholeFile(InTarget("c.txt")), Bytes("CCCCCC"));

  // The library still reads two.cab for the rest of b.txt.
  fs::remove_all(Target());
  Extract(Dir.File("one.cab"), cabFirstCabinetOnly);
  EXPECT_EQ(Extracted(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(TCabTest, SpanningFileWithoutItsSecondCabinetStopsQuietly) {
  PutSpanningSet(Dir.Path());
  DeleteFileName(Dir.File("two.cab"));
  EXPECT_NO_THROW(Extract(Dir.File("one.cab")));
  EXPECT_EQ(ReadWholeFile(InTarget("a.txt")), Bytes("AAAA"));
  EXPECT_FALSE(FileExists(InTarget("c.txt")));
}
