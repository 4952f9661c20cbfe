// The command line: window size and position, the start segment and
// whether the player closes when the film ends.
//
//   FileName.exe [-size {FULLSCREEN|MAX|MIN|{w h}} [-pos {C|{{L|R|x} {T|B|y}}}]]
//                [-segm N] [-closeonfinish] [FILM.zxf]
//
// Options start with "/" or "-" and are case-insensitive; values follow
// their option as separate arguments. An argument that is neither names the
// film to play (the first one that names an existing file), so that films
// open from a file manager.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int32_t MinWindowWidth = 600;
inline constexpr int32_t MinWindowHeight = 400;

// Show modes of the window.
enum : uint8_t { CmdShowNormal = 0, CmdShowMaximised = 2 };

struct TzxCmdOptions {
  int32_t CmdLeft = 0;
  int32_t CmdTop = 0;
  int32_t CmdWidth = MinWindowWidth;
  int32_t CmdHeight = MinWindowHeight;
  int32_t CmdSegment = 1; // counted from 1
  uint8_t CmdShowMode = CmdShowNormal;
  bool CmdFullScreen = false;
  // Only ever set by a parse: the shell keeps its own flag and raises it
  // when this is true.
  bool CloseOnFinish = false;
  int32_t CmdScreenWidth = 0;
  int32_t CmdScreenHeight = 0;
  // The film named on the command line, as given; empty when none.
  std::string FilmPath;

  // Help boxes requested, all before any error.
  int32_t HelpRequests = 0;
  // A value that had to be a number was not one; parsing stopped there and
  // the bounds were not applied.
  bool WrongCommandLine = false;

  // Index of the segment opened at start; -1 (nothing) for a start
  // segment below 1.
  int32_t StartSegmentIndex() const { return CmdSegment > 0 ? CmdSegment - 1 : -1; }
};

// Splits a command line as the C run-time of the platform does: blanks
// separate arguments, double quotation marks group (a doubled one inside
// quotes is a literal mark), and backslashes escape a quotation mark that
// follows them. The program path that leads the line is not returned.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Whether a name is that of an existing file; FileExists when not given.
using TzxFileTest = std::function<bool(const std::string &name)>;

// Reads the arguments (program path excluded) on a screen of the given size.
TzxCmdOptions ParseArguments(const std::vector<std::string> &args, int32_t screenWidth,
                             int32_t screenHeight, const TzxFileTest &isFile = nullptr);

// The whole command line, program path first.
TzxCmdOptions ParseCommandLine(std::string_view commandLine, int32_t screenWidth,
                               int32_t screenHeight, const TzxFileTest &isFile = nullptr);

// Whole decimal number with optional sign, within 32 bits; false otherwise.
bool TryStrToInt(std::string_view s, int32_t &value);

// The help box's text and caption; fileName is the executable's file name.
std::string CommandLineHelpText(const std::string &fileName);
inline constexpr const char *CommandLineHelpCaption = "reDiridi command line";
// The error box's texts when the string table does not give them.
inline constexpr const char *WrongCommandLineText = "Wrong command line";
inline constexpr const char *WrongCommandLineCaption = "Error";

// Shows the boxes a parse asked for, in order: the help boxes, then the
// error box with the given texts.
void ShowCommandLineBoxes(const TzxCmdOptions &options, const std::string &fileName,
                          const std::string &errorText = WrongCommandLineText,
                          const std::string &errorCaption = WrongCommandLineCaption);
