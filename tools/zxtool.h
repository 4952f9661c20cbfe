// The subcommands of zxtool and what they share.
#pragma once

#include "zxClasses.h"
#include "zxFilmWriter.h"
#include "zxFrameDecoder.h"
#include "zxLoader.h"
#include "zxMessages.h"
#include "zxToolArgs.h"
#include "zxToolOutput.h"

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

  // For commands that write files: -y/--overwrite and -n/--no-overwrite,
  // as FFmpeg takes them (without either an existing file is refused with
  // a line naming it; -n refuses without one).
  void OverwriteOptions();
  // After Parse: what outputs may replace, by those options; the command
  // adds its inputs.
  TzxOutputRules OutputRules() const;

  // Reads the arguments that follow the subcommand's name. Returns false
  // when the usage text was asked for: it has been printed then.
  bool Parse(const std::vector<std::string> &args);

private:
  bool FOverwrite = false, FNoOverwrite = false;
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
  // The private directory, ending with the separator.
  const std::string &Dir() const { return FDir; }

private:
  std::string FDir;
  std::vector<TzxMessageBox> FBoxes;
};

// Ctrl-C, termination requests and a lost terminal (SIGINT, SIGTERM, SIGHUP)
// are noted instead of ending the process, so that a command ends through its
// usual error path (CheckInterrupted) and removes what it has written.
void CatchInterrupts();
// The signal that came, 0 before one.
int InterruptSignal();
// Raises EzxError once the user has interrupted the command (Ctrl-C or a
// termination request); long loops call it so that the command leaves
// through its error path and removes what it has written.
void CheckInterrupted();

// A film as every command takes it: a film file, a self-playing executable
// (the player's program with the film behind it), or "-": a film piped into
// standard input, copied into the session's directory first.
struct TzxFilmInput {
  std::string Name;           // as the user wrote it; "standard input" for "-"
  std::string Path;           // the file that holds its bytes
  bool Program = false;       // a self-playing executable
  TExecutableTrailer Trailer; // where a program keeps the film and its language block
  int64_t Base = 0;           // the film's first byte in Path
  int64_t Size = 0;           // the film's length in bytes
};
// Finds the film in the file named name (or standard input). Throws
// EzxError: a file that cannot be read, "NAME is a program that carries no
// film", standard input that is a terminal or holds more than a film can.
TzxFilmInput OpenFilm(const std::string &name, const TzxToolSession &session);

// The film's bytes (behind the program of a self-playing executable).
TzxBytes ReadFilmBytes(const TzxFilmInput &film);

// Loads the film through the player's loader into list (inside a session).
// Throws EzxError with the reason when the loader refuses it, and, unless
// emptyAllowed, when no segment comes out of it.
void LoadFilmFile(const TzxFilmInput &film, TSegmentList &list, const TzxToolSession &session,
                  bool emptyAllowed = false);

// A loaded segment's number as zxtool prints it and --segment takes it: its
// place in the film's directory, from 1, as the player numbers it.
int32_t SegmentNumber(const TSegmentInfo &segment);
// The index in list of the segment numbered number; throws EzxError naming
// the numbers the film has when none is.
int32_t FindSegment(const TSegmentList &list, int32_t number, const std::string &filmName);

// The frame rate the player shows a segment of a whole rate at (its record
// keeps the stored rate rounded): 0 counts as its 100 ms clock.
double PlayingRate(uint8_t roundedFps);

// Why a loaded segment has nothing to play ("its payload could not be
// unpacked", ...), as the player passes it over; empty when it has frames.
std::string NothingToPlay(const TSegmentInfo &segment);
// The warning that a segment is left out, for standard error:
// "zxtool: warning: segment 2 has nothing to play: REASON".
std::string NothingToPlayWarning(const TSegmentInfo &segment);
// The failure of a command asked for that segment alone.
EzxError NothingToPlayError(const TSegmentInfo &segment, const std::string &filmName);

// Plays a segment's palette track through all its frames, so that an 8-bit
// segment after it starts from the colours the player has when it gets
// there (the player's one colour table lives on from segment to segment).
void PlayPalette(TSegmentInfo &segment, TzxPalette &palette);

// Text of the Windows-1252 code page as UTF-8.
// Characters 0x80 .. 0x9F of Windows-1252 (the code page of titles and
// language texts); 0 marks the five unassigned codes.
extern const uint16_t Windows1252High[32];
std::string AnsiToUtf8(const std::string &s);
// A JSON string literal.
std::string JsonString(const std::string &utf8);
