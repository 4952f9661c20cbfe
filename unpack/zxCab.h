// Lists and extracts Microsoft cabinet files through the FDI interface:
// Windows' cabinet.dll on Win32, the same contract over libmspack elsewhere.
#pragma once

#include "zxClasses.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

// A failed cabinet library call.
class EzxCabinet : public EzxError {
public:
  EzxCabinet(int32_t errorCode, int32_t systemError, bool hasError);
  int32_t ErrorCode() const { return FErrorCode; }
  int32_t SystemError() const { return FSystemError; }
  bool HasError() const { return FHasError; }
  bool CompressionSide() const { return FCompressionSide; }

private:
  int32_t FErrorCode;
  int32_t FSystemError;
  bool FHasError;
  bool FCompressionSide = false;
};

// Joins path parts with exactly one separator between them. Natively the
// separator is '/', and the backslashes that cabinet member names use
// between directories become '/' as well.
std::string JoinPath(std::initializer_list<std::string> parts);
// Creates a directory and every missing parent; failures are not reported.
void CreateDirectoryPath(const std::string &path);
// Whether a member name stays inside the directory it is extracted to: not
// empty, not absolute, no drive or stream colon, no ".." component.
bool IsSafeMemberPath(const std::string &name);

// What the cabinet library reports about a cabinet's header.
struct TzxCabinetInfo {
  int32_t Size = 0; // length of the cabinet file
  uint16_t Folders = 0;
  uint16_t Files = 0;
  uint16_t SetID = 0;
  uint16_t Index = 0; // position in its set, 0-based
  bool HasReserve = false;
  bool HasPrevious = false;
};

enum : uint32_t {
  cabFirstCabinetOnly = 1, // Extract: do not follow continuation cabinets
  cabKeepReadOnly = 2,     // leave existing read-only targets alone
};

class TzxCabReader {
public:
  // Called once per member, in file-table order; setting stop ends the walk.
  using TListHandler = std::function<void(TzxCabReader &reader, const std::string &name,
                                          uint32_t size, uint16_t folder, uint16_t date,
                                          uint16_t time, uint16_t attributes, bool &stop)>;

  TzxCabReader();
  ~TzxCabReader();
  TzxCabReader(const TzxCabReader &) = delete;
  TzxCabReader &operator=(const TzxCabReader &) = delete;

  // Raises EzxOSError when the file cannot be opened.
  bool IsCabinet(const std::string &fileName);
  bool IsCabinet(const std::string &fileName, TzxCabinetInfo &info);
  bool ListFiles(const std::string &fileName, const TListHandler &handler);
  void Extract(const std::string &cabFile, const std::string &targetDir, uint32_t options);

  uint32_t Options() const { return FOptions; }
  void SetOptions(uint32_t options) { FOptions = options; }

  struct TState; // the library context and the state of a running Extract

private:
  std::unique_ptr<TState> FState;
  uint32_t FOptions = 0;
};
