// The operating-system side of the cabinet reader: the memory and file
// procedures handed to the cabinet library, and the few file-system calls
// the notifications need. zxCabFile_win.cpp and zxCabFile_posix.cpp.
#pragma once

#include "CabIntf.h"

#include <cstdint>
#include <string>

// The last operating-system error code recorded by the file procedures;
// cleared at the start of every notification.
extern int32_t LastFileError;

// The run-time library's open flags, as the cabinet library passes them.
enum : int {
  cabOpenAccessMask = 0x0003, // 0 read, 1 write, 2 or 3 read and write
  cabOpenAppend = 0x0008,
  cabOpenRandom = 0x0010,
  cabOpenSequential = 0x0020,
  cabOpenTemporary = 0x0040,
  cabOpenCreate = 0x0100,
  cabOpenTruncate = 0x0200,
  cabOpenExclusive = 0x0400,
  cabOpenShortLived = 0x1000,
  cabOpenBinary = 0x8000,
};

FNALLOC(CabAlloc);
FNFREE(CabFree);
FNOPEN(CabOpen);
FNREAD(CabRead);
FNWRITE(CabWrite);
FNCLOSE(CabClose);
FNSEEK(CabSeek);

// An existing file (not a directory) that may not be written.
bool IsReadOnlyFile(const std::string &path);
void ClearReadOnly(const std::string &path);
// Gives an extracted file the cabinet's date, time (local, FAT format) and
// attributes. Failures are recorded in LastFileError, not reported.
void SetFileTimes(const std::string &path, uint16_t date, uint16_t time, uint16_t attributes);
// Creates one directory; on failure tells whether it was there already.
bool CreateOneDirectory(const std::string &path, bool &exists);
// The absolute form of a file name, for comparing names of cabinets.
std::string ExpandFileName(const std::string &path);
// Whether two file names denote the same file by the platform's rules of case.
bool SameFileName(const std::string &a, const std::string &b);
// A text from the program's string table, or the built-in one.
std::string CabText(unsigned id, const char *builtIn);
