// The FDI contract as the reader relies on it: the same notifications, in
// the same order and with the same fields, from cabinet.dll (Win32, under
// Wine) and from the libmspack implementation (native).
#include "CabIntf.h"
#include "zxCabFile.h"
#include "zxCabTesting.h"
#include "zxCabWriter.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct TEvent {
  int Type;
  std::string S1, S2, S3;
  int32_t Cb = 0;
  uint16_t Date = 0, Time = 0, Attributes = 0, Folder = 0, SetID = 0, Cabinet = 0;
  int Error = 0;

  bool operator==(const TEvent &) const = default;
};

std::ostream &operator<<(std::ostream &os, const TEvent &e) {
  static const char *const names[] = {"CABINET_INFO",    "PARTIAL_FILE", "COPY_FILE",
                                      "CLOSE_FILE_INFO", "NEXT_CABINET", "ENUMERATE"};
  os << (e.Type >= 0 && e.Type < 6 ? names[e.Type] : "?") << "(" << e.S1 << "|" << e.S2 << "|"
     << e.S3 << " cb=" << e.Cb << " date=" << e.Date << " time=" << e.Time
     << " attr=" << e.Attributes << " folder=" << e.Folder << " set=" << e.SetID
     << " cab=" << e.Cabinet << " fdie=" << e.Error << ")";
  return os;
}

// Records every notification; extracts files into a directory of its own
// through the reader's file procedures.
struct TRecorder {
  std::string Directory;
  std::vector<TEvent> Events;
  std::vector<INT_PTR> OpenHandles;
  std::string SkipName;  // answered with 0
  std::string AbortName; // answered with -1
  bool GiveUpOnMissingNext = true;
};

std::string Text(const char *s) {
  return s != nullptr ? s : "";
}

FNFDINOTIFY(Record) {
  auto &r = *static_cast<TRecorder *>(pfdin->pv);
  TEvent e{static_cast<int>(fdint), Text(pfdin->psz1), {}, {}};
  switch (fdint) {
  case fdintCABINET_INFO:
    e.S2 = Text(pfdin->psz2);
    e.S3 = Text(pfdin->psz3);
    e.SetID = pfdin->setID;
    e.Cabinet = pfdin->iCabinet;
    break;
  case fdintPARTIAL_FILE:
    e.S2 = Text(pfdin->psz2);
    e.S3 = Text(pfdin->psz3);
    break;
  case fdintCOPY_FILE:
    e.Cb = pfdin->cb;
    e.Date = pfdin->date;
    e.Time = pfdin->time;
    e.Attributes = pfdin->attribs;
    e.Folder = pfdin->iFolder;
    break;
  case fdintCLOSE_FILE_INFO:
    e.Cb = pfdin->cb;
    e.Date = pfdin->date;
    e.Time = pfdin->time;
    e.Attributes = pfdin->attribs;
    break;
  case fdintNEXT_CABINET:
    e.S2 = Text(pfdin->psz2);
    e.S3 = Text(pfdin->psz3);
    e.Error = pfdin->fdie;
    break;
  default: break;
  }
  r.Events.push_back(e);

  switch (fdint) {
  case fdintCOPY_FILE: {
    if (e.S1 == r.SkipName) return 0;
    if (e.S1 == r.AbortName) return -1;
    std::string target = r.Directory + e.S1;
    INT_PTR hf = CabOpen(target.data(), 0x8121, 0x180);
    if (hf != -1) r.OpenHandles.push_back(hf);
    return hf;
  }
  case fdintCLOSE_FILE_INFO: {
    EXPECT_EQ(r.OpenHandles.empty() ? -2 : r.OpenHandles.back(), pfdin->hf)
        << "the handle of the last copy comes back";
    if (!r.OpenHandles.empty()) r.OpenHandles.pop_back();
    CabClose(pfdin->hf);
    return TRUE;
  }
  case fdintNEXT_CABINET: return pfdin->fdie != FDIERROR_NONE && r.GiveUpOnMissingNext ? -1 : 0;
  default: return 0;
  }
}

class TFdiTest : public ::testing::Test {
protected:
  TzxTestDir Dir;
  ERF Error{};
  HFDI Context = nullptr;
  TRecorder Recorder;

  void SetUp() override {
    Context = FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek,
                        cpuUNKNOWN, &Error);
    ASSERT_NE(Context, nullptr);
    Recorder.Directory = Dir.Path();
  }
  void TearDown() override {
    if (Context != nullptr) {
      EXPECT_TRUE(FDIDestroy(Context));
    }
  }
  void Restart() {
    Recorder = TRecorder();
    Recorder.Directory = Dir.Path();
    Error = ERF{};
  }

  bool Copy(const std::string &name) {
    std::string n = name, path = Dir.Path();
    return FDICopy(Context, n.data(), path.data(), 0, Record, nullptr, &Recorder) != FALSE;
  }
  void Put(const std::string &name, const TzxBytes &bytes) {
    WriteWholeFile(Dir.File(name), bytes);
  }
};

TEvent CabinetInfo(const std::string &next, const std::string &disk, const std::string &path,
                   uint16_t setID, uint16_t index) {
  TEvent e{fdintCABINET_INFO, next, disk, path};
  e.SetID = setID;
  e.Cabinet = index;
  return e;
}

TEvent CopyFile(const TRawFile &f) {
  TEvent e{fdintCOPY_FILE, f.Name, {}, {}};
  e.Cb = static_cast<int32_t>(f.Size);
  e.Date = f.Date;
  e.Time = f.Time;
  e.Attributes = f.Attributes;
  e.Folder = f.Folder;
  return e;
}

TEvent CloseFile(const TRawFile &f) {
  TEvent e{fdintCLOSE_FILE_INFO, f.Name, {}, {}};
  e.Date = f.Date;
  e.Time = f.Time;
  e.Attributes = f.Attributes;
  return e;
}

TRawCabinet TwoFiles() {
  TRawCabinet cab = StoredCabinet({{"a.txt", Bytes("alpha")}, {"b.txt", Bytes("beta!")}});
  cab.Files[0].Date = (40 << 9) | (2 << 5) | 29;
  cab.Files[0].Time = (8 << 11) | (7 << 5) | 6;
  cab.Files[0].Attributes = 0x21;
  cab.Files[1].Attributes = 0x02;
  cab.NextName = "next.cab";
  cab.NextDisk = "Disk 2";
  cab.SetID = 0x1357;
  return cab;
}

} // namespace

TEST_F(TFdiTest, NotifiesCabinetThenEachFileCopiedAndClosed) {
  TRawCabinet cab = TwoFiles();
  Put("set.cab", BuildRawCabinet(cab));
  ASSERT_TRUE(Copy("set.cab"));

  std::vector<TEvent> expected = {
      CabinetInfo("next.cab", "Disk 2", Dir.Path(), 0x1357, 0),
      CopyFile(cab.Files[0]),
      CloseFile(cab.Files[0]),
      CopyFile(cab.Files[1]),
      CloseFile(cab.Files[1]),
  };
  EXPECT_EQ(Recorder.Events, expected);
  EXPECT_EQ(ReadWholeFile(Dir.File("a.txt")), Bytes("alpha"));
  EXPECT_EQ(ReadWholeFile(Dir.File("b.txt")), Bytes("beta!"));
}

TEST_F(TFdiTest, SkippedFileIsNotClosedAndAbortFailsTheCopy) {
  TRawCabinet cab = TwoFiles();
  Put("set.cab", BuildRawCabinet(cab));
  Recorder.SkipName = "a.txt";
  ASSERT_TRUE(Copy("set.cab"));
  ASSERT_EQ(Recorder.Events.size(), 4u);
  EXPECT_EQ(Recorder.Events[2], CopyFile(cab.Files[1]));
  EXPECT_FALSE(FileExists(Dir.File("a.txt")));

  Restart();
  Recorder.AbortName = "a.txt";
  EXPECT_FALSE(Copy("set.cab"));
  EXPECT_EQ(Error.erfOper, FDIERROR_USER_ABORT);
  EXPECT_TRUE(Error.fError);
  EXPECT_EQ(Recorder.Events.size(), 2u) << "nothing after the aborted copy";
}

TEST_F(TFdiTest, CabinetsThatCannotBeOpenedOrReadReportTheirErrors) {
  EXPECT_FALSE(Copy("missing.cab"));
  EXPECT_EQ(Error.erfOper, FDIERROR_CABINET_NOT_FOUND);
  EXPECT_TRUE(Error.fError);

  Error = ERF{};
  Put("text.cab", Bytes("not a cabinet, just some text that is long enough to read"));
  EXPECT_FALSE(Copy("text.cab"));
  EXPECT_EQ(Error.erfOper, FDIERROR_NOT_A_CABINET);

  Error = ERF{};
  TzxBytes future = BuildRawCabinet(TwoFiles());
  future[25] = 2; // version 2.0
  Put("future.cab", future);
  EXPECT_FALSE(Copy("future.cab"));
  EXPECT_EQ(Error.erfOper, FDIERROR_UNKNOWN_CABINET_VERSION);
  EXPECT_TRUE(Recorder.Events.empty());
}

TEST_F(TFdiTest, IsCabinetReadsTheHeaderFromAnOpenFile) {
  Put("made.cab", PackCabinet({{"x", Bytes("xx")}, {"y", Bytes("yyy")}, {"z", {}}}, true));
  Put("text.cab", Bytes("MSCX and then nothing useful at all, but long enough"));
  std::string made = Dir.File("made.cab"), text = Dir.File("text.cab");

  INT_PTR hf = CabOpen(made.data(), 0x8000, 0);
  ASSERT_NE(hf, -1);
  FDICABINETINFO info{};
  EXPECT_TRUE(FDIIsCabinet(Context, hf, &info));
  CabClose(hf);
  EXPECT_EQ(info.cFiles, 3);
  EXPECT_EQ(info.cFolders, 1);
  EXPECT_EQ(info.cbCabinet, static_cast<int32_t>(ReadWholeFile(made).size()));
  EXPECT_FALSE(info.hasprev);

  hf = CabOpen(text.data(), 0x8000, 0);
  ASSERT_NE(hf, -1);
  EXPECT_FALSE(FDIIsCabinet(Context, hf, &info));
  CabClose(hf);
}

TEST_F(TFdiTest, FileGoingOnInTheNextCabinetAsksForIt) {
  // a.txt fills the first block; the second block, b.txt, is split
  // between the cabinets.
  TzxBytes a = Bytes("AAAA"), b = Bytes("0123456789"), c = Bytes("CC");
  TRawCabinet one;
  one.NextName = "two.cab";
  one.NextDisk = "Second";
  one.Folders.push_back({{{a, 4}, {TzxBytes(b.begin(), b.begin() + 6), 0}}});
  one.Files.push_back({"a.txt", 4, 0, 0});
  one.Files.push_back({"b.txt", 10, 4, 0xFFFE});
  TRawCabinet two;
  two.Index = 1;
  two.PreviousName = "one.cab";
  two.PreviousDisk = "First";
  two.Folders.push_back({{{TzxBytes(b.begin() + 6, b.end()), 10}}});
  two.Folders.push_back({{{c, 2}}});
  two.Files.push_back({"b.txt", 10, 4, 0xFFFD});
  two.Files.push_back({"c.txt", 2, 0, 1});
  Put("one.cab", BuildRawCabinet(one));
  Put("two.cab", BuildRawCabinet(two));

  ASSERT_TRUE(Copy("one.cab"));
  TEvent next{fdintNEXT_CABINET, "two.cab", "Second", Dir.Path()};
  std::vector<TEvent> expected = {
      CabinetInfo("two.cab", "Second", Dir.Path(), one.SetID, 0),
      CopyFile(one.Files[0]),
      CloseFile(one.Files[0]),
      CopyFile(one.Files[1]),
      next,
      CabinetInfo("", "", Dir.Path(), two.SetID, 1),
      CloseFile(one.Files[1]),
  };
  EXPECT_EQ(Recorder.Events, expected);
  EXPECT_EQ(ReadWholeFile(Dir.File("b.txt")), b);

  Restart();
  ASSERT_TRUE(Copy("two.cab"));
  expected = {
      CabinetInfo("", "", Dir.Path(), two.SetID, 1),
      TEvent{fdintPARTIAL_FILE, "b.txt", "one.cab", "First"},
      CopyFile(two.Files[1]),
      CloseFile(two.Files[1]),
  };
  EXPECT_EQ(Recorder.Events, expected);
  EXPECT_EQ(ReadWholeFile(Dir.File("c.txt")), c);

  // Without two.cab: asked again with the error, then given up.
  DeleteFileName(Dir.File("two.cab"));
  Restart();
  EXPECT_FALSE(Copy("one.cab"));
  EXPECT_EQ(Error.erfOper, FDIERROR_USER_ABORT);
  TEvent missing = next;
  missing.Error = FDIERROR_CABINET_NOT_FOUND;
  ASSERT_EQ(Recorder.Events.size(), 7u);
  EXPECT_EQ(Recorder.Events[4], next);
  EXPECT_EQ(Recorder.Events[5], missing);
  EXPECT_EQ(Recorder.Events[6].Type, fdintCLOSE_FILE_INFO) << "the handle still comes back";
}
