// Fuzz target of the cabinet reader: the input is a cabinet file, listed and
// extracted into a directory of its own. Whatever the input, the reader ends
// with a result or an EzxError, and nothing is written outside that
// directory.
#include "zxCab.h"
#include "zxMessages.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TSetup {
  std::string Dir;
  TSetup() {
    Dir = (fs::temp_directory_path() / ("zxcabfuzz_" + std::to_string(getpid()))).string() + "/";
    fs::create_directories(Dir);
    SetTempPathOverride(Dir);
    SetMessageHook([](const TzxMessageBox &) { return 1; });
  }
  ~TSetup() {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TSetup setup;
  const std::string cab = setup.Dir + "input.cab";
  const std::string out = setup.Dir + "out/";
  std::error_code ec;
  fs::remove_all(out, ec);
  fs::create_directories(out);
  if (FILE *f = std::fopen(cab.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  try {
    TzxCabReader reader;
    reader.ListFiles(cab, [](TzxCabReader &, const std::string &, uint32_t, uint16_t, uint16_t,
                             uint16_t, uint16_t, bool &) {});
    reader.Extract(cab, out, 0);
  } catch (const EzxError &) {
  }
  // Only the input and the output directory may be there.
  for (const auto &e : fs::directory_iterator(setup.Dir)) {
    const std::string name = e.path().filename().string();
    if (name != "input.cab" && name != "out") std::abort();
  }
  return 0;
}
