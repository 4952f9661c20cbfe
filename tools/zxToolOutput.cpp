#include "zxToolOutput.h"

#include "zxClasses.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
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

// Gives a staged file its final name: over a file of that name only when
// the rules allow it, checked in the same step where the file system can.
void MoveIntoPlace(const std::string &staged, const std::string &final,
                   const TzxOutputRules &rules) {
  rules.Check(final);
  if (rules.Overwrite != TzxOverwrite::Replace) {
    if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, final.c_str(), RENAME_NOREPLACE) == 0)
      return;
    const int err = errno;
    if (err == EEXIST) rules.Check(final); // it has appeared meanwhile: throws
    if (err != EINVAL && err != ENOSYS)
      throw EzxError(Format("Cannot write %s: %s", final.c_str(), std::strerror(err)));
    // The file system cannot refuse a rename for us: the check above stands.
  }
  std::error_code ec;
  fs::rename(staged, final, ec);
  if (ec) throw EzxError(Format("Cannot write %s: %s", final.c_str(), ec.message().c_str()));
}

} // namespace

// ---------------------------------------------------------------- rules

void TzxOutputRules::AddInput(const std::string &name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) == 0) FInputs.push_back({st.st_dev, st.st_ino, name});
}

void TzxOutputRules::Check(const std::string &name) const {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return; // nothing there to lose
  for (const TInput &in : FInputs) {
    if (in.Device != st.st_dev || in.Inode != st.st_ino) continue;
    if (in.Name == name)
      throw EzxOutputRefused(
          Format("%s is an input of this command; an output never replaces an input", name.c_str()),
          false);
    throw EzxOutputRefused(Format("%s is the input %s (the same file); an output never "
                                  "replaces an input",
                                  name.c_str(), in.Name.c_str()),
                           false);
  }
  if (S_ISDIR(st.st_mode))
    throw EzxOutputRefused(Format("%s is a directory, not a file to write", name.c_str()), false);
  if (Overwrite == TzxOverwrite::Replace) return;
  throw EzxOutputRefused(Format("%s already exists; add -y to replace it", name.c_str()),
                         Overwrite == TzxOverwrite::RefuseQuietly);
}

bool SameFile(const std::string &a, const std::string &b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  const fs::path first = fs::weakly_canonical(a, ec);
  if (ec) return false;
  const fs::path second = fs::weakly_canonical(b, ec);
  return !ec && first == second;
}

// ------------------------------------------------------------ one file

TzxOutputFile::TzxOutputFile(std::string finalName, const TzxOutputRules &rules)
    : FFinalName(std::move(finalName)), FRules(rules) {
  FRules.Check(FFinalName);
  fs::path p(FFinalName);
  FTempName = (p.parent_path() / ("." + p.filename().string() + StagingSuffix())).string();
}

TzxOutputFile::~TzxOutputFile() {
  if (!FCommitted) DeleteFileName(FTempName);
}

void TzxOutputFile::Commit() {
  MoveIntoPlace(FTempName, FFinalName, FRules);
  FCommitted = true;
}

// ----------------------------------------------------------- many files

TzxOutputFiles::TzxOutputFiles(const std::string &dir, const TzxOutputRules &rules)
    : FDir(dir.empty() ? "." : dir), FRules(rules) {
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
  const std::string final = (fs::path(FDir) / fileName).string();
  FRules.Check(final);
  FFiles.emplace_back(staged, final);
  return staged;
}

void TzxOutputFiles::Commit() {
  for (const auto &[staged, final] : FFiles)
    MoveIntoPlace(staged, final, FRules);
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
