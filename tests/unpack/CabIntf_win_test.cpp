// The run-time binding of cabinet.dll. A missing or incomplete library can
// only be arranged before the first FDICreate of a process, so these cases
// run in processes of their own (see CMakeLists.txt), chosen by
// ZX_CABINET_CASE; elsewhere they are skipped.
#include "CabIntf.h"
#include "zxCab.h"
#include "zxCabConsts.h"
#include "zxCabTesting.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

bool CaseIs(const char *name) {
  const char *c = std::getenv("ZX_CABINET_CASE");
  return c != nullptr && std::string(c) == name;
}

// Asks for a context twice; returns the messages of the errors raised.
std::vector<std::string> TryTwice(TzxTestDir &dir) {
  WriteWholeFile(dir.File("a.cab"), BuildRawCabinet(StoredCabinet({{"a.txt", Bytes("a")}})));
  std::vector<std::string> errors;
  for (int i = 0; i < 2; ++i) {
    TzxCabReader reader;
    try {
      reader.IsCabinet(dir.File("a.cab"));
      errors.push_back("(no error)");
    } catch (const EzxCabinet &e) {
      errors.push_back(e.Message());
    }
  }
  return errors;
}

void ExpectBoxes(const std::vector<TzxMessageBox> &boxes, const std::string &text, size_t n) {
  ASSERT_EQ(boxes.size(), n);
  for (const TzxMessageBox &b : boxes) {
    EXPECT_EQ(b.Owner, TzxBoxOwner::None);
    EXPECT_EQ(b.Text, text);
    EXPECT_EQ(b.Caption, "Error");
    EXPECT_EQ(b.Style, zxMB_OK);
  }
}

} // namespace

TEST(CabinetLibrary, MissingLibraryIsReportedOnEveryRequest) {
  if (!CaseIs("missing")) GTEST_SKIP() << "runs with cabinet.dll disabled";
  TzxTestDir dir;
  TzxBoxRecorder boxes;
  std::vector<std::string> errors = TryTwice(dir);
  EXPECT_EQ(errors, (std::vector<std::string>{"FDI error", "FDI error"}));
  ExpectBoxes(boxes.Boxes, "Cabinet.dll not found", 2);
}

TEST(CabinetLibrary, IncompleteLibraryIsReportedOnce) {
  if (!CaseIs("invalid")) GTEST_SKIP() << "runs with an incomplete cabinet.dll";
  // Loaded first by its path (fake\cabinet.dll beside the test program),
  // the module is what "cabinet.dll" names from then on.
  char exe[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, exe, sizeof exe), 0u);
  std::string fake = ExtractFileDir(exe) + "\\fake\\cabinet.dll";
  ASSERT_NE(LoadLibraryA(fake.c_str()), nullptr) << fake;
  TzxTestDir dir;
  TzxBoxRecorder boxes;
  std::vector<std::string> errors = TryTwice(dir);
  EXPECT_EQ(errors, (std::vector<std::string>{"FDI error", "FDI error"}));
  ExpectBoxes(boxes.Boxes, "Cabinet.dll is invalid", 1);
}

TEST(CabinetTexts, ComeFromTheStringTable) {
  char text[256] = {};
  ASSERT_GT(LoadStringA(GetModuleHandleA(nullptr), IDS_CAB_SEEK_FAILED, text, sizeof text), 0);
  EXPECT_STREQ(text, "Failure setting file stream position");
  ASSERT_GT(LoadStringA(GetModuleHandleA(nullptr), IDS_CAB_ERROR + 10, text, sizeof text), 0);
  EXPECT_STREQ(text, "Cabinet returned on fdintNEXT_CABINET is incorrect");
}
