// Fuzz target of the cabinet reader through the cabinet library's contract
// (libmspack behind FDI here): the input is a cabinet file, listed and
// extracted into a directory of its own. Whatever the input, the reader ends
// with a result or an EzxError, and nothing is written outside that
// directory. Seeds: cabinets assembled in code (stored folders, directories,
// hostile names, a set that names itself as its successor, a damaged file
// table) and MSZIP cabinets from the cabinet writer.
#include "zxCab.h"
#include "zxCabTesting.h"
#include "zxCabWriter.h"
#include "zxFuzzing.h"
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

std::vector<TzxFuzzSeed> FuzzSeeds() {
  std::vector<TzxFuzzSeed> seeds;
  TzxBytes noise(3000);
  for (size_t i = 0; i < noise.size(); ++i)
    noise[i] = static_cast<uint8_t>(i * 131 + (i >> 5));
  seeds.push_back(
      {"mszip", PackCabinet({{"a.txt", Bytes("hello cabinet\n")}, {"b.bin", noise}}, true)});
  seeds.push_back({"stored", PackCabinet({{"payload.bin", noise}}, false)});

  TRawCabinet tree = StoredCabinet({{"dir\\sub\\f.txt", Bytes("in a directory")},
                                    {"..\\outside.txt", Bytes("never extracted")},
                                    {"plain.txt", Bytes("plain")}});
  tree.Files[2].Attributes = 0x21; // read-only
  seeds.push_back({"names", BuildRawCabinet(tree)});

  TRawCabinet set = StoredCabinet({{"first.bin", Bytes("first part")}});
  set.NextName = "input.cab";
  set.NextDisk = "disk 2";
  set.Files[0].Folder = 0xFFFE; // goes on in the next cabinet
  seeds.push_back({"set", BuildRawCabinet(set)});

  TRawCabinet two = StoredCabinet({{"x.bin", Bytes("folder zero")}});
  TRawFolder second;
  second.Blocks.push_back({Bytes("folder one"), 10});
  two.Folders.push_back(second);
  TRawFile y;
  y.Name = "y.bin";
  y.Size = 10;
  y.Folder = 1;
  two.Files.push_back(y);
  seeds.push_back({"folders", BuildRawCabinet(two)});

  TRawCabinet damaged = StoredCabinet({{"z.bin", Bytes("zzz")}});
  damaged.FirstFileOffset = 20;
  seeds.push_back({"damaged", BuildRawCabinet(damaged)});
  return seeds;
}
