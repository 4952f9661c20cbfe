// What zxtool's commands write: outputs that appear whole or not at all,
// and file names from patterns.
#pragma once

#include "zxClasses.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// What an output does to a file of its name that exists already.
enum class TzxOverwrite {
  Refuse,        // refuses, naming the file and -y
  Replace,       // replaces it (-y)
  RefuseQuietly, // refuses without a word (-n)
};

// An output that may not be written where it was asked for.
class EzxOutputRefused : public EzxError {
public:
  EzxOutputRefused(const std::string &message, bool quiet) : EzxError(message), FQuiet(quiet) {}
  // Nothing is to be said (-n).
  bool Quiet() const { return FQuiet; }

private:
  bool FQuiet;
};

// Which files a command's outputs may replace: existing ones as Overwrite
// says, the command's inputs never, whatever it says.
class TzxOutputRules {
public:
  TzxOverwrite Overwrite = TzxOverwrite::Refuse;

  // A file the command reads; an output is refused when it is that file,
  // by whatever path or hard link. Names of no file are left out.
  void AddInput(const std::string &name);
  // Throws EzxOutputRefused when the output name may not be written.
  void Check(const std::string &name) const;

private:
  struct TInput {
    dev_t Device;
    ino_t Inode;
    std::string Name;
  };
  std::vector<TInput> FInputs;
};

// Whether two names stand for one file: the same file when both exist (by
// any path or hard link), else the same path once resolved.
bool SameFile(const std::string &a, const std::string &b);

// One output file written under a temporary name beside its final one and
// renamed at Commit. Destroyed before Commit, it removes the temporary file.
// The rules are checked at once and again at Commit, which never replaces
// a file unless they allow it (one may have appeared meanwhile).
class TzxOutputFile {
public:
  TzxOutputFile(std::string finalName, const TzxOutputRules &rules);
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
  TzxOutputRules FRules;
  bool FCommitted = false;
};

// Many output files in one directory (a directory of frames, or the files a
// %d pattern names): written into a hidden staging directory inside the
// target directory and moved into place at Commit. Destroyed before
// Commit, it removes the staging directory and any directory it created.
// Each file's final name is checked against the rules as it is added.
class TzxOutputFiles {
public:
  // dir: the directory the files go to (created when missing).
  TzxOutputFiles(const std::string &dir, const TzxOutputRules &rules);
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
  TzxOutputRules FRules;
  bool FCommitted = false;
};

// A file name from a printf-style pattern with one integer conversion
// (%d, %06d, ...). Throws EzxError for patterns with anything else.
std::string PatternName(const std::string &pattern, int64_t n);
bool IsNumberPattern(const std::string &pattern);
