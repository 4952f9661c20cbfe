// What zxtool's commands write: outputs that appear whole or not at all,
// and file names from patterns.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One output file written under a temporary name beside its final one and
// renamed at Commit. Destroyed before Commit, it removes the temporary file.
class TzxOutputFile {
public:
  explicit TzxOutputFile(std::string finalName);
  ~TzxOutputFile();
  TzxOutputFile(const TzxOutputFile &) = delete;
  TzxOutputFile &operator=(const TzxOutputFile &) = delete;

  // Where to write meanwhile.
  const std::string &TempName() const { return FTempName; }
  const std::string &FinalName() const { return FFinalName; }
  // Renames the temporary file to the final name; throws EzxError.
  void Commit();

private:
  std::string FFinalName;
  std::string FTempName;
  bool FCommitted = false;
};

// Many output files in one directory (a directory of frames, or the files a
// %d pattern names): written into a hidden staging directory inside the
// target directory and moved into place at Commit. Destroyed before
// Commit, it removes the staging directory and any directory it created.
class TzxOutputFiles {
public:
  // dir: the directory the files go to (created when missing).
  explicit TzxOutputFiles(const std::string &dir);
  ~TzxOutputFiles();
  TzxOutputFiles(const TzxOutputFiles &) = delete;
  TzxOutputFiles &operator=(const TzxOutputFiles &) = delete;

  // The staging name for a file whose final name (inside dir) is fileName.
  std::string Add(const std::string &fileName);
  void Commit();

private:
  std::string FDir;
  std::string FStaging;
  std::string FCreated; // the topmost directory made for the output, if any
  std::vector<std::pair<std::string, std::string>> FFiles;
  bool FCommitted = false;
};

// A file name from a printf-style pattern with one integer conversion
// (%d, %06d, ...). Throws EzxError for patterns with anything else.
std::string PatternName(const std::string &pattern, int64_t n);
bool IsNumberPattern(const std::string &pattern);
