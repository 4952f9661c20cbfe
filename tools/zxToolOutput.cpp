#include "zxToolOutput.h"

#include "zxClasses.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::atomic<int> Serial{0};

std::string StagingSuffix() {
  return Format(".%ld.%d.part", static_cast<long>(::getpid()), Serial.fetch_add(1));
}

// Checks a pattern: one conversion %d with optional zero flag and width,
// %% for a percent sign, nothing else.
bool CheckPattern(const std::string &pattern, bool &hasNumber) {
  hasNumber = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    ++i;
    if (i < pattern.size() && pattern[i] == '%') continue;
    if (i < pattern.size() && pattern[i] == '0') ++i;
    size_t digits = 0;
    while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9' && digits < 2)
      ++i, ++digits;
    if (i >= pattern.size() || pattern[i] != 'd' || hasNumber) return false;
    hasNumber = true;
  }
  return true;
}

} // namespace

// ------------------------------------------------------------ one file

TzxOutputFile::TzxOutputFile(std::string finalName) : FFinalName(std::move(finalName)) {
  fs::path p(FFinalName);
  FTempName = (p.parent_path() / ("." + p.filename().string() + StagingSuffix())).string();
}

TzxOutputFile::~TzxOutputFile() {
  if (!FCommitted) DeleteFileName(FTempName);
}

void TzxOutputFile::Commit() {
  std::error_code ec;
  fs::rename(FTempName, FFinalName, ec);
  if (ec) throw EzxError(Format("Cannot write %s: %s", FFinalName.c_str(), ec.message().c_str()));
  FCommitted = true;
}

// ----------------------------------------------------------- many files

TzxOutputFiles::TzxOutputFiles(const std::string &dir) : FDir(dir.empty() ? "." : dir) {
  std::error_code ec;
  fs::path target(FDir);
  if (fs::exists(target, ec)) {
    if (!fs::is_directory(target, ec))
      throw EzxError(Format("%s exists and is not a directory", FDir.c_str()));
  } else {
    // Remember the topmost directory that will be made, to remove it again.
    fs::path top = fs::absolute(target, ec);
    while (top.has_parent_path() && !fs::exists(top.parent_path(), ec) && top.parent_path() != top)
      top = top.parent_path();
    fs::create_directories(target, ec);
    if (ec)
      throw EzxError(
          Format("Cannot create the directory %s: %s", FDir.c_str(), ec.message().c_str()));
    FCreated = top.string();
  }
  FStaging = (target / (".zxtool" + StagingSuffix())).string();
  fs::create_directory(FStaging, ec);
  if (ec) throw EzxError(Format("Cannot write into %s: %s", FDir.c_str(), ec.message().c_str()));
}

TzxOutputFiles::~TzxOutputFiles() {
  std::error_code ec;
  fs::remove_all(FStaging, ec);
  if (!FCommitted && !FCreated.empty()) fs::remove_all(FCreated, ec);
}

std::string TzxOutputFiles::Add(const std::string &fileName) {
  std::string staged = (fs::path(FStaging) / fileName).string();
  FFiles.emplace_back(staged, (fs::path(FDir) / fileName).string());
  return staged;
}

void TzxOutputFiles::Commit() {
  for (const auto &[staged, final] : FFiles) {
    std::error_code ec;
    fs::rename(staged, final, ec);
    if (ec) throw EzxError(Format("Cannot write %s: %s", final.c_str(), ec.message().c_str()));
  }
  FCommitted = true;
}

bool IsNumberPattern(const std::string &pattern) {
  bool number = false;
  return CheckPattern(pattern, number) && number;
}

std::string PatternName(const std::string &pattern, int64_t n) {
  if (!IsNumberPattern(pattern))
    throw EzxError(
        Format("%s is not a file name pattern with one number such as %%06d", pattern.c_str()));
  std::string format;
  for (size_t i = 0; i < pattern.size(); ++i) {
    format += pattern[i];
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] != '%') {
      while (pattern[i + 1] != 'd')
        format += pattern[++i];
      format += "lld";
      ++i;
    } else if (pattern[i] == '%') {
      format += pattern[++i];
    }
  }
  int size = std::snprintf(nullptr, 0, format.c_str(), static_cast<long long>(n));
  std::string out(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(out.data(), out.size(), format.c_str(), static_cast<long long>(n));
  out.resize(static_cast<size_t>(size));
  return out;
}
