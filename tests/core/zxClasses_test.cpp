#include "zxClasses.h"
#include "zxTesting.h"
#include "zxTexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace {

// A memory stream that remembers the size of every ReadBuffer call.
class TRecordingStream : public TzxMemoryStream {
public:
  void ReadBuffer(void *buffer, int32_t n) override {
    Calls.push_back(n);
    TzxMemoryStream::ReadBuffer(buffer, n);
  }
  std::vector<int32_t> Calls;
};

void Fill(TzxStream &s, int32_t n) {
  std::vector<uint8_t> bytes(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i)
    bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 31);
  s.Write(bytes.data(), n);
}

} // namespace

TEST(Streams, CopyFromMovesChunksOfAtMost61440Bytes) {
  TRecordingStream source;
  Fill(source, 200000);
  source.Seek(0);
  TzxMemoryStream target;
  EXPECT_EQ(target.CopyFrom(source, 200000), 200000);
  EXPECT_EQ(source.Calls, (std::vector<int32_t>{61440, 61440, 61440, 15680}));
  ASSERT_EQ(target.Size(), 200000);
  EXPECT_EQ(std::memcmp(target.Memory(), source.Memory(), 200000), 0);
}

TEST(Streams, CopyFromZeroCopiesTheWholeSourceFromItsStart) {
  TzxMemoryStream source;
  Fill(source, 5000);
  source.Seek(4000);
  TzxMemoryStream target;
  EXPECT_EQ(target.CopyFrom(source, 0), 5000);
  EXPECT_EQ(target.Size(), 5000);
  EXPECT_EQ(std::memcmp(target.Memory(), source.Memory(), 5000), 0);
}

TEST(Streams, CopyFromAShortSourceFails) {
  TzxMemoryStream source;
  Fill(source, 100);
  source.Seek(0);
  TzxMemoryStream target;
  EXPECT_THROW(target.CopyFrom(source, 101), EzxError);
}

TEST(Streams, ATargetThatTakesFewerBytesFails) {
  // A file on a full disk: writes stop short after 70,000 bytes.
  class TFullStream : public TzxMemoryStream {
  public:
    int32_t Write(const void *buffer, int32_t n) override {
      return TzxMemoryStream::Write(buffer, std::min(n, 70000 - Size()));
    }
  };
  TzxMemoryStream source;
  Fill(source, 100000);
  source.Seek(0);
  TFullStream target;
  EXPECT_THROW(target.CopyFrom(source, 100000), EzxWriteError);
  EXPECT_THROW(target.WriteBuffer("x", 1), EzxWriteError);
  target.WriteBuffer("x", 0); // nothing to write is no failure
}

TEST(Streams, MemoryStreamSeekReadAndGrowth) {
  TzxMemoryStream s;
  EXPECT_EQ(s.Capacity(), 1024);
  s.Seek(0); // an empty stream cannot be positioned
  EXPECT_EQ(s.Position(), 0);
  Fill(s, 10);
  s.Seek(9);
  EXPECT_EQ(s.Position(), 9);
  s.Seek(10);
  EXPECT_EQ(s.Position(), 9);
  s.Seek(-1);
  EXPECT_EQ(s.Position(), 9);
  s.Seek(8);
  uint8_t buf[5];
  EXPECT_EQ(s.Read(buf, 5), 2);
  EXPECT_EQ(s.Read(buf, -1), 0);

  TzxMemoryStream g;
  Fill(g, 1500);
  EXPECT_EQ(g.Capacity(), 2524);
  EXPECT_EQ(g.Size(), 1500);
  EXPECT_EQ(g.Write(buf, 0), 0);
}

TEST(Streams, ReadBufferErrors) {
  TzxMemoryStream m;
  m.ReadBuffer(nullptr, 0); // never fails
  uint8_t b[4];
  try {
    m.ReadBuffer(b, 4);
    FAIL() << "no error";
  } catch (const EzxError &e) {
    EXPECT_STREQ(e.what(), "Cannot read buffer");
  }

  TzxTestDir dir;
  std::string name = dir.File("short.bin");
  {
    TzxFileStream f(name, fmCreate);
    f.Write("abc", 3);
  }
  TzxFileStream f(name, fmOpenRead);
  f.ReadBuffer(b, 0);
  try {
    f.ReadBuffer(b, 4);
    FAIL() << "no error";
  } catch (const EzxError &e) {
    EXPECT_EQ(e.Message(), "Cannot read file " + name);
  }
}

TEST(Streams, FileStreamSharesOnePositionAndHonoursSharing) {
  TzxTestDir dir;
  std::string name = dir.File("a.bin");
  {
    TzxFileStream f(name, fmCreate);
    Fill(f, 100);
    EXPECT_EQ(f.Position(), 100);
    EXPECT_EQ(f.Size(), 100);
    f.Seek(10);
    EXPECT_EQ(f.Size(), 100); // size leaves the position alone
    EXPECT_EQ(f.Position(), 10);
    // Nobody else may open a file being created.
    EXPECT_THROW(TzxFileStream(name, fmOpenRead | fmShareDenyNone), EzxError);
  }
  {
    TzxFileStream a(name, fmOpenRead | fmShareDenyWrite);
    TzxFileStream b(name, fmOpenRead | fmShareDenyWrite);    // readers side by side
    EXPECT_THROW(TzxFileStream(name, fmOpenRead), EzxError); // exclusive
  }
  {
    TzxFileStream a(name, fmOpenRead);
    EXPECT_THROW(TzxFileStream(name, fmOpenRead | fmShareDenyWrite), EzxError);
  }
  EXPECT_THROW(TzxFileStream(dir.File("missing.bin"), fmOpenRead), EzxError);
}

TEST(StringList, SetTextSplitsLines) {
  TzxStringList l;
  const char text[] = "A=1\r\nB=2";
  l.SetText(text, 8);
  ASSERT_EQ(l.Count(), 2);
  EXPECT_EQ(l.Get(0), "A=1");
  EXPECT_EQ(l.Get(1), "B=2");

  TzxStringList z;
  const char zero[] = {'X', '=', '1', '\0', 'Y', '=', '2'};
  z.SetText(zero, 7);
  ASSERT_EQ(z.Count(), 2);
  EXPECT_EQ(z.Get(1), "Y=2");

  TzxStringList e;
  const char ends[] = "A=1\r\n\r\nB=2\r\n";
  e.SetText(ends, static_cast<int32_t>(std::strlen(ends)));
  ASSERT_EQ(e.Count(), 2); // the empty line starts the next entry
  EXPECT_EQ(e.Get(1), "\r\nB=2");
  EXPECT_EQ(e.Values("B"), "2");
  e.SetText(nullptr, 5);
  e.SetText(ends, 0);
  EXPECT_EQ(e.Count(), 2);
}

TEST(StringList, ValuesTrimsAndComparesNamesWithoutCase) {
  TzxStringList l;
  l.Add("Error");
  l.Add(" Error = Fehler ");
  l.Add("error=Zweiter");
  EXPECT_EQ(l.Values("error"), "Fehler");
  EXPECT_EQ(l.Values(""), "");
  EXPECT_EQ(l.Values("Warning"), "");
  EXPECT_EQ(l.Get(-1), "");
  EXPECT_EQ(l.Get(3), "");
  EXPECT_EQ(l.IndexOf("error=Zweiter"), 2);
  EXPECT_EQ(l.IndexOf("ERROR=Zweiter"), -1);
  l.Delete(7);
  l.Delete(0);
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.Get(0), " Error = Fehler ");
}

TEST(TempNames, NamesCarryPrefixStampAndExtensionAndAvoidExistingFiles) {
  TzxTestDir dir;
  std::string a = MakeTempFileName("cab", "", "zxS_");
  ASSERT_EQ(a.rfind(dir.Path(), 0), 0u);
  std::string name = a.substr(dir.Path().size());
  ASSERT_EQ(name.size(), 4u + 17u + 4u) << name;
  EXPECT_EQ(name.substr(0, 4), "zxS_");
  EXPECT_EQ(name.substr(21), ".cab");
  for (char c : name.substr(4, 17))
    EXPECT_TRUE(c >= '0' && c <= '9') << name;

  { TzxFileStream f(a, fmCreate); }
  for (int i = 0; i < 50; ++i)
    EXPECT_NE(MakeTempFileName("cab", dir.Path(), "zxS_"), a);
}

TEST(TempNames, ThreadsAskingAtOnceNeverShareAName) {
  TzxTestDir dir;
  std::vector<std::string> names[2];
  auto ask = [&dir](std::vector<std::string> &into) {
    for (int i = 0; i < 20; ++i)
      into.push_back(MakeTempFileName("cab", dir.Path(), "zxS_"));
  };
  std::thread a(ask, std::ref(names[0])), b(ask, std::ref(names[1]));
  a.join();
  b.join();
  std::vector<std::string> all = names[0];
  all.insert(all.end(), names[1].begin(), names[1].end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "a name given twice";
}

TEST(Texts, FormatTextFillsOnlyItsOwnPlaceholder) {
  EXPECT_EQ(FormatText("Segment %d need reDiridi of other version to play\r", 3),
            "Segment 3 need reDiridi of other version to play\r");
  // A translated text can never act as a format of its own.
  EXPECT_EQ(FormatText("%s %n %d%% %d", 7), "%s %n 7% %d");
  EXPECT_EQ(FormatText("Cannot open file %s", std::string("C:\\a%d.zxf")),
            "Cannot open file C:\\a%d.zxf");
}

// The playback clock's thread shows its debug boxes while the main window's
// thread shows its own: every box reaches the hook and is counted once.
TEST(MessageBoxThreads, BoxesOfTwoThreadsAreAllCounted) {
  std::atomic<int32_t> hooked{0};
  TzxMessageHook previous = SetMessageHook([&hooked](const TzxMessageBox &box) {
    if (box.Caption == "Debug" || box.Caption == "Error") ++hooked;
    return 1;
  });
  const int32_t before = MessageBoxesShown();
  auto show = [](const char *caption) {
    for (int i = 0; i < 500; ++i)
      ShowMessageBox(TzxBoxOwner::None, "box", caption, zxMB_ICONERROR);
  };
  std::thread clock(show, "Debug");
  show("Error");
  clock.join();
  SetMessageHook(previous);
  EXPECT_EQ(hooked.load(), 1000);
  EXPECT_EQ(MessageBoxesShown() - before, 1000);
}
