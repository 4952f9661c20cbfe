// The LZMA coder of packed payloads.
//
// Packed payload (LZMA-alone format):
//   0  uint8   properties: (pb * 5 + lp) * 9 + lc
//   1  uint32  dictionary size
//   5  uint64  size of the decoded data (all ones: unknown, an end marker
//              closes the data)
//   13 ...     compressed data
//
// On Win32 the coder is "lzma.exe", carried in the program's resources as a
// cabinet (resource "LZMA" of type "TLZMA"), unpacked into the temporary
// directory for each run and run as a child process with the command line
// "TOOL" d|e "IN" "OUT", waited for in 10 ms steps.
//
// Elsewhere the coder runs in this process (liblzma): it reads and writes in
// blocks, never holding a whole payload, and asks the cancel check between
// blocks. It encodes as the SDK's coder does by default (lc 3, lp 0, pb 2,
// a dictionary of 8 MiB, the real size in the header, no end marker).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// One run of the coder: what bounds it and who watches it (set by the
// caller), and why it failed (set by the coder).
struct TzxLzmaRun {
  // Decoding: the most bytes the output may take, -1 for no bound beyond
  // the size the payload's header announces. Output that would go beyond
  // it ends the run as a failure.
  int64_t Limit = -1;
  // Called after each block with the bytes read from the input and
  // written to the output so far (the in-process coder only: a child
  // process says nothing).
  std::function<void(int64_t read, int64_t written)> Progress;
  // After a failed run, what is wrong with the input, where the coder can
  // tell (the in-process coder can; a child process only fails); empty
  // otherwise.
  std::string Failure;
};

// Unpacks the coder from the resources into dir (Win32; nothing elsewhere).
void ExtractLzmaTool(const std::string &dir);

// Runs the coder with command 'd' (decode) or 'e' (encode) on input, writing
// output. Returns false only when the coder cannot be started; a coder that
// fails leaves no output (what it wrote before failing is removed). Shows
// nothing. The in-process coder raises EzxWriteError when the output
// cannot take what it writes (a full disk) and EzxError when the input
// cannot be read, leaving no output either way.
bool RunLzmaTool(char command, const std::string &input, const std::string &output,
                 TzxLzmaRun *run = nullptr);

// A question asked at every 10 ms step of the wait for a child coder, and
// between the blocks of the in-process one: once it answers true, the coder
// stops and RunLzmaTool returns as for a coder that failed, leaving no
// output. zxtool asks whether the user has interrupted the command. Null
// (the default): the coder always runs to its end, as in the player.
void SetLzmaCancelCheck(bool (*cancelled)());
// Whether the check set says to stop.
bool LzmaCancelRequested();

// The film loader's hand-off: decodes packed into a new temporary file whose
// name is returned in output (the file may be missing if the coder failed).
// When the coder cannot be started, shows the decompressor error box and
// returns false.
bool UnpackLzmaPayload(const std::string &packed, std::string &output, TzxLzmaRun *run = nullptr);

#ifdef _WIN32
// Which coder runs: the override if set, instead of the carried lzma.exe.
void SetLzmaToolOverride(const std::string &path);
#else
// A stand-in for the in-process coder, called by RunLzmaTool with its own
// arguments (tests and fuzz targets: a coder that cannot be started, or one
// that copies its input); null: the coder itself.
using TzxLzmaCoder = bool (*)(char command, const std::string &input, const std::string &output,
                              TzxLzmaRun *run);
void SetLzmaCoderOverride(TzxLzmaCoder coder);
#endif
