// Hands LZMA payloads to the LZMA coder, run as a child process with the
// command line  "TOOL" d|e "IN" "OUT"  and waited for in 10 ms steps.
//
// Packed payload (LZMA-alone format), passed through unchanged:
//   0  uint8   properties: (pb * 5 + lp) * 9 + lc
//   1  uint32  dictionary size
//   5  uint64  size of the decoded data
//   13 ...     compressed data
//
// On Win32 the coder is "lzma.exe", carried in the program's resources as a
// cabinet (resource "LZMA" of type "TLZMA") and unpacked into the temporary
// directory for each run. Elsewhere it is the system's lzma_alone.
#pragma once

#include <string>

// Unpacks the coder from the resources into dir (Win32; nothing elsewhere).
void ExtractLzmaTool(const std::string &dir);

// Runs the coder with command 'd' (decode) or 'e' (encode) on input, writing
// output. Returns false only when the coder cannot be started; a coder that
// fails leaves no output (what it wrote before failing is removed). Shows
// nothing.
bool RunLzmaTool(char command, const std::string &input, const std::string &output);

// A question asked at every 10 ms step of the wait for the coder (POSIX
// hand-off): once it answers true, the coder is killed and RunLzmaTool
// returns as for a coder that failed, leaving no output. zxtool asks
// whether the user has interrupted the command. Null (the default): the
// coder always runs to its end, as in the player.
void SetLzmaCancelCheck(bool (*cancelled)());
// Whether the check set says to stop.
bool LzmaCancelRequested();

// The film loader's hand-off: decodes packed into a new temporary file whose
// name is returned in output (the file may be missing if the coder failed).
// When the coder cannot be started, shows the decompressor error box and
// returns false.
bool UnpackLzmaPayload(const std::string &packed, std::string &output);

// Which coder runs: the override if set (on Win32 it then replaces the
// carried one); otherwise the carried lzma.exe on Win32, and elsewhere
// $ZX_LZMA_TOOL or else lzma_alone on the PATH.
void SetLzmaToolOverride(const std::string &path);
