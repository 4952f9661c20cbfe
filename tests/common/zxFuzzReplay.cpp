// main of the NAME_replay programs (see zxFuzzing.h).
#include "zxFuzzing.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

bool WriteSeeds(const fs::path &dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  std::vector<TzxFuzzSeed> seeds;
  try {
    seeds = FuzzSeeds();
  } catch (const std::exception &e) {
    std::fprintf(stderr, "the seeds cannot be made: %s\n", e.what());
    return false;
  }
  for (const TzxFuzzSeed &s : seeds) {
    std::ofstream out(dir / ("seed-" + s.Name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(s.Bytes.data()),
              static_cast<std::streamsize>(s.Bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write seed %s into %s\n", s.Name.c_str(), dir.c_str());
      return false;
    }
  }
  std::fprintf(stderr, "%zu seeds written into %s\n", seeds.size(), dir.c_str());
  return true;
}

bool RunFile(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // A copy of exactly the input's size, so that a read past its end is one
  // that the address sanitizer sees.
  std::vector<uint8_t> data(bytes.begin(), bytes.end());
  try {
    LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
  } catch (const std::exception &e) {
    std::fprintf(stderr, "%s raised %s\n", file.c_str(), e.what());
    return false;
  }
  return true;
}

} // namespace

int main(int argc, char **argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--write-seeds" && i + 1 < argc) {
      if (!WriteSeeds(argv[++i])) return 1;
    } else {
      inputs.emplace_back(a);
    }
  }
  size_t runs = 0;
  for (const fs::path &p : inputs) {
    std::vector<fs::path> files;
    if (fs::is_directory(p)) {
      for (const auto &e : fs::directory_iterator(p))
        if (e.is_regular_file()) files.push_back(e.path());
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(p);
    }
    for (const fs::path &f : files) {
      if (!RunFile(f)) return 1;
      ++runs;
    }
  }
  std::fprintf(stderr, "%zu inputs ran\n", runs);
  return 0;
}
