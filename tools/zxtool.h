// The subcommands of zxtool and what they share.
#pragma once

#include "zxClasses.h"
#include "zxMessages.h"

#include <string>
#include <vector>

// Each subcommand takes its arguments (after the subcommand's name) and
// returns the exit code; errors are raised as exceptions.
int CommandInfo(const std::vector<std::string> &args);
int CommandSample(const std::vector<std::string> &args);
int CommandPack(const std::vector<std::string> &args);
int CommandExtract(const std::vector<std::string> &args);
int CommandExport(const std::vector<std::string> &args);
int CommandMake(const std::vector<std::string> &args);
int CommandBench(const std::vector<std::string> &args);

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
// Loads a film file, or the film of a self-playing executable, through the
// player's loader into list (inside a session); throws EzxError with the
// reason when nothing playable comes out.
void LoadFilmFile(const std::string &name, TSegmentList &list, const TzxToolSession &session);

// Text of the Windows-1252 code page as UTF-8.
std::string AnsiToUtf8(const std::string &s);
// A JSON string literal.
std::string JsonString(const std::string &utf8);
