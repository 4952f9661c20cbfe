// The subcommands of zxtool and what they share.
#pragma once

#include "zxClasses.h"
#include "zxMessages.h"
#include "zxToolArgs.h"

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

// Each subcommand takes its arguments (after the subcommand's name) and
// returns the exit code; errors are raised as exceptions: EzxUsageError for
// a command line it does not take (exit code 2), any other for a failure
// (exit code 1). "--help" or "-h" prints its usage text with every option.
int CommandInfo(const std::vector<std::string> &args);
int CommandSample(const std::vector<std::string> &args);
int CommandPack(const std::vector<std::string> &args);
int CommandExtract(const std::vector<std::string> &args);
int CommandExport(const std::vector<std::string> &args);
int CommandMake(const std::vector<std::string> &args);
int CommandBench(const std::vector<std::string> &args);

// The command line of one subcommand, read by CLI11: options as --opt VALUE
// or --opt=VALUE, -h and --help for the usage text. Anything it does not
// take is an EzxUsageError.
class TzxCommandLine : public CLI::App {
public:
  // name: the subcommand's; description: the first lines of its usage text.
  TzxCommandLine(const std::string &name, const std::string &description);
  // Paragraphs printed after the options.
  void Notes(const std::string &text);
  // --progress and --no-progress, for commands with long steps.
  void ProgressOptions();

  // Reads the arguments that follow the subcommand's name. Returns false
  // when the usage text was asked for: it has been printed then.
  bool Parse(const std::vector<std::string> &args);

private:
  const CLI::Option *FProgress = nullptr, *FNoProgress = nullptr;
};

// What the usage texts say about segment numbers and times.
extern const char *const SegmentNumbering;
extern const char *const TimeSyntax;

// For the length of a command: a private temporary directory that is
// removed with everything in it, and message boxes collected instead of
// shown.
class TzxToolSession {
public:
  TzxToolSession();
  ~TzxToolSession();
  TzxToolSession(const TzxToolSession &) = delete;
  TzxToolSession &operator=(const TzxToolSession &) = delete;

  const std::vector<TzxMessageBox> &Boxes() const { return FBoxes; }

private:
  std::string FDir;
  std::vector<TzxMessageBox> FBoxes;
};

// Raises EzxError once the user has interrupted the command (Ctrl-C or a
// termination request); long loops call it so that the command leaves
// through its error path and removes what it has written.
void CheckInterrupted();

class TSegmentList;
struct TSegmentInfo;
// Loads a film file, or the film of a self-playing executable, through the
// player's loader into list (inside a session); throws EzxError with the
// reason when nothing playable comes out.
void LoadFilmFile(const std::string &name, TSegmentList &list, const TzxToolSession &session);

// A loaded segment's number as zxtool prints it and --segment takes it: its
// place in the film's directory, from 1, as the player numbers it.
int32_t SegmentNumber(const TSegmentInfo &segment);
// The index in list of the segment numbered number; throws EzxError naming
// the numbers the film has when none is.
int32_t FindSegment(const TSegmentList &list, int32_t number, const std::string &filmName);

// Text of the Windows-1252 code page as UTF-8.
std::string AnsiToUtf8(const std::string &s);
// A JSON string literal.
std::string JsonString(const std::string &utf8);
