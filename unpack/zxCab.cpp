// The cabinet reader: lists a cabinet by walking its file table, and
// extracts it through the cabinet library's FDICopy, answering the
// library's notifications (target files, their times and attributes,
// continuation cabinets).
#include "zxCab.h"

#include "CabIntf.h"
#include "zxCabConsts.h"
#include "zxCabFile.h"

#include <cstring>
#include <vector>

int32_t LastFileError = 0;

struct TzxCabReader::TState {
  explicit TState(TzxCabReader &owner) : Owner(owner) {}

  TzxCabReader &Owner;
  HFDI Context = nullptr;
  std::string Cabinet;     // first cabinet of the running Extract, full path
  std::string Destination; // target directory, ending with the separator
  uint32_t ExtractOptions = 0;
  std::string NextCabinet; // successor named by the cabinet information
  std::string NextDisk;
  std::string CurrentCabinet;
  std::string RequestedCabinet; // successor the library asked for
  bool Requested = false;
  ERF Error{};
  TzxStringList OpenNames; // members open for writing
  TzxStringList OpenPaths; // their targets, same index

  bool KeepReadOnly() const { return ((Owner.Options() | ExtractOptions) & cabKeepReadOnly) != 0; }
};

namespace {

// The published cabinet format, as far as the listing reads it.
//
//   cabinet header, 36 bytes:
//     0  "MSCF"
//     16 int32   offset of the first file entry
//     28 uint16  number of file entries
//   file entry, 16 bytes, then the name up to and including a zero byte:
//     0  uint32  uncompressed size
//     4  uint32  offset of the data in its folder
//     8  uint16  folder index
//     10 uint16  date, 12 uint16 time (FAT format, local time)
//     14 uint16  attributes
constexpr int32_t CabHeaderSize = 36;
constexpr int32_t CabFileEntrySize = 16;
// The format allows names of 256 bytes; longer ones only come from damaged
// or crafted files and are refused.
constexpr size_t MaxMemberName = 780;

uint16_t GetU16(const uint8_t *p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t GetU32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

struct TErrorText {
  unsigned Id;
  const char *Text;
};
constexpr TErrorText ErrorTexts[] = {
    {IDS_CAB_ERROR_NONE, "No error"},
    {IDS_CAB_ERROR_CABINET_NOT_FOUND, "Cabinet not found"},
    {IDS_CAB_ERROR_NOT_A_CABINET, "Cabinet file does not have the correct format"},
    {IDS_CAB_ERROR_UNKNOWN_CABINET_VERSION, "Cabinet file has an unknown version number"},
    {IDS_CAB_ERROR_CORRUPT_CABINET, "Cabinet file is corrupt"},
    {IDS_CAB_ERROR_ALLOC_FAIL, "Could not allocate enough memory"},
    {IDS_CAB_ERROR_BAD_COMPR_TYPE, "Unknown compression type in a cabinet folder"},
    {IDS_CAB_ERROR_MDI_FAIL, "Failure decompressing data from a cabinet file"},
    {IDS_CAB_ERROR_TARGET_FILE, "Failure writing to target file"},
    {IDS_CAB_ERROR_RESERVE_MISMATCH, "Cabinets in a set do not have the same RESERVE sizes"},
    {IDS_CAB_ERROR_WRONG_CABINET, "Cabinet returned on fdintNEXT_CABINET is incorrect"},
    {IDS_CAB_ERROR_USER_ABORT, "FDI aborted"},
};
constexpr int32_t ErrorTextCount = static_cast<int32_t>(sizeof ErrorTexts / sizeof ErrorTexts[0]);

std::string FdiErrorText(int32_t code) {
  if (code >= 0 && code < ErrorTextCount)
    return CabText(ErrorTexts[code].Id, ErrorTexts[code].Text);
  return CabText(IDS_CAB_FDI_ERROR, "FDI error");
}

std::string CabinetMessage(int32_t errorCode, int32_t systemError, bool hasError) {
  if (!hasError) return CabText(IDS_CAB_FDI_ERROR, "FDI error");
  std::string s = FdiErrorText(errorCode) + Format(" [0x%04X]", static_cast<unsigned>(errorCode));
  if (systemError != 0)
    s += ".\r\n" + SysErrorMessage(systemError) +
         Format(" [0x%04X].", static_cast<unsigned>(systemError));
  return s;
}

bool IsDelimiter(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

std::string Text(const char *s) {
  return s != nullptr ? std::string(s) : std::string();
}

// Directory part of a path, with its trailing separator.
std::string DirectoryOf(const std::string &path) {
  size_t i = path.size();
  while (i > 0 && !IsDelimiter(path[i - 1])
#ifdef _WIN32
         && path[i - 1] != ':'
#endif
  )
    --i;
  return path.substr(0, i);
}

void Check(TzxCabReader::TState &s, bool ok) {
  if (ok) return;
  s.Error.erfType = LastFileError;
  throw EzxCabinet(s.Error.erfOper, s.Error.erfType, s.Error.fError != 0);
}

HFDI Context(TzxCabReader::TState &s) {
  if (s.Context == nullptr) {
    s.Error = ERF{};
    s.Context = FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek,
                          cpuUNKNOWN, &s.Error);
    Check(s, s.Context != nullptr);
  }
  return s.Context;
}

// A successor cabinet must lie beside the one that names it.
std::string Successor(const char *dir, const char *name) {
  std::string n = Text(name);
  if (n.empty() || !IsSafeMemberPath(n)) return {};
  return JoinPath({Text(dir), n});
}

INT_PTR CabinetInfo(TzxCabReader::TState &s, const FDINOTIFICATION &n) {
  if (!s.RequestedCabinet.empty()) s.CurrentCabinet = s.RequestedCabinet;
  s.NextCabinet = Successor(n.psz3, n.psz1);
  s.NextDisk = Text(n.psz2);
  return 0;
}

INT_PTR CopyFile(TzxCabReader::TState &s, const FDINOTIFICATION &n) {
  std::string name = Text(n.psz1);
  // Names that would leave the target directory are not extracted.
  if (!IsSafeMemberPath(name)) return 0;
  std::string target = JoinPath({s.Destination, name});
  if (target.empty()) return 0;
  CreateDirectoryPath(ExtractFileDir(target));
  if (IsReadOnlyFile(target)) {
    if (s.KeepReadOnly()) return 0;
    ClearReadOnly(target);
  }
  // Created when missing; an existing file is written over from its start.
  INT_PTR hf = CabOpen(target.data(), cabOpenBinary | cabOpenCreate | cabOpenSequential | 1, 0x180);
  if (hf == -1) return -1;
  try {
    s.OpenNames.Add(name);
    s.OpenPaths.Add(target);
  } catch (...) {
    CabClose(hf);
    throw;
  }
  return hf;
}

INT_PTR CloseFile(TzxCabReader::TState &s, const FDINOTIFICATION &n) {
  CabClose(n.hf);
  int32_t i = s.OpenNames.IndexOf(Text(n.psz1));
  if (i >= 0) {
    std::string target = s.OpenPaths.Get(i);
    s.OpenNames.Delete(i);
    s.OpenPaths.Delete(i);
    SetFileTimes(target, n.date, n.time, n.attribs);
  }
  return TRUE;
}

INT_PTR NextCabinet(TzxCabReader::TState &s, const FDINOTIFICATION &n) {
  std::string next = Successor(n.psz3, n.psz1);
  if (next.empty()) return -1;
  s.RequestedCabinet = next;
  s.Requested = true;
  return n.fdie != FDIERROR_NONE ? -1 : 0;
}

FNFDINOTIFY(NotifyProcedure) {
  LastFileError = 0;
  auto &s = *static_cast<TzxCabReader::TState *>(pfdin->pv);
  // Nothing may be thrown into the library: a failure aborts the copy.
  try {
    switch (fdint) {
    case fdintCABINET_INFO: return CabinetInfo(s, *pfdin);
    case fdintPARTIAL_FILE: s.OpenNames.IndexOf(Text(pfdin->psz1)); return 0;
    case fdintCOPY_FILE: return CopyFile(s, *pfdin);
    case fdintCLOSE_FILE_INFO: return CloseFile(s, *pfdin);
    case fdintNEXT_CABINET: return NextCabinet(s, *pfdin);
    default: return 0;
    }
  } catch (...) {
    return -1;
  }
}

// Closes a handle of the file procedures on every path out.
class TCabFileHandle {
public:
  explicit TCabFileHandle(INT_PTR hf) : FHandle(hf) {}
  ~TCabFileHandle() {
    if (FHandle != -1) CabClose(FHandle);
  }
  TCabFileHandle(const TCabFileHandle &) = delete;
  TCabFileHandle &operator=(const TCabFileHandle &) = delete;
  INT_PTR Get() const { return FHandle; }

private:
  INT_PTR FHandle;
};

} // namespace

EzxCabinet::EzxCabinet(int32_t errorCode, int32_t systemError, bool hasError)
    : EzxError(CabinetMessage(errorCode, systemError, hasError)), FErrorCode(errorCode),
      FSystemError(systemError), FHasError(hasError) {}

std::string JoinPath(std::initializer_list<std::string> parts) {
  std::string result;
  for (std::string part : parts) {
    if (part.empty()) continue;
#ifndef _WIN32
    for (char &c : part)
      if (c == '\\') c = '/';
#endif
    if (result.empty()) {
      result = part;
      continue;
    }
    bool endsWith = result.back() == PathDelim;
    bool beginsWith = part.front() == PathDelim;
    if (endsWith && beginsWith)
      result.pop_back();
    else if (!endsWith && !beginsWith)
      result += PathDelim;
    result += part;
  }
  return result;
}

void CreateDirectoryPath(const std::string &path) {
  if (path.empty()) return;
  bool exists = false;
  if (CreateOneDirectory(path, exists) || exists) return;
  size_t i = path.size() - 1; // the final character does not count
  while (i > 0 && !IsDelimiter(path[i - 1]))
    --i;
  if (i <= 1) return; // no separator, or nothing before it
  CreateDirectoryPath(path.substr(0, i - 1));
  CreateOneDirectory(path, exists);
}

bool IsSafeMemberPath(const std::string &name) {
  if (name.empty()) return false;
  if (name.front() == '\\' || name.front() == '/') return false; // absolute or UNC
  if (name.find(':') != std::string::npos) return false;         // drive or stream
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    // "..", and the names Windows reads as ".." once it has dropped
    // trailing points and blanks ("...", ".. ").
    if (part.size() >= 2 && part.find_first_not_of(". ") == std::string::npos) return false;
    start = end + 1;
  }
  return true;
}

TzxCabReader::TzxCabReader() : FState(std::make_unique<TState>(*this)) {}

TzxCabReader::~TzxCabReader() {
  // A destructor cannot raise; the context counts as gone either way.
  if (FState->Context != nullptr) FDIDestroy(FState->Context);
}

bool TzxCabReader::IsCabinet(const std::string &fileName) {
  TzxCabinetInfo info;
  return IsCabinet(fileName, info);
}

bool TzxCabReader::IsCabinet(const std::string &fileName, TzxCabinetInfo &info) {
  std::string name = fileName;
  TCabFileHandle file(CabOpen(name.data(), cabOpenBinary, 0));
  if (file.Get() == -1) throw EzxOSError(LastFileError, SysErrorMessage(LastFileError));
  FDICABINETINFO fdi{};
  bool result = FDIIsCabinet(Context(*FState), file.Get(), &fdi) != FALSE;
  info.Size = static_cast<int32_t>(fdi.cbCabinet);
  info.Folders = fdi.cFolders;
  info.Files = fdi.cFiles;
  info.SetID = fdi.setID;
  info.Index = fdi.iCabinet;
  info.HasReserve = fdi.fReserve != FALSE;
  info.HasPrevious = fdi.hasprev != FALSE;
  return result;
}

bool TzxCabReader::ListFiles(const std::string &fileName, const TListHandler &handler) {
  if (!IsCabinet(fileName)) return false;
  TzxFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  uint8_t header[CabHeaderSize];
  stream.ReadBuffer(header, CabHeaderSize);
  if (std::memcmp(header, "MSCF", 4) != 0) throw EzxError(FdiErrorText(FDIERROR_NOT_A_CABINET));
  auto firstEntry = static_cast<int32_t>(GetU32(header + 16));
  stream.Seek(firstEntry);
  if (stream.Position() != firstEntry)
    throw EzxError(CabText(IDS_CAB_SEEK_FAILED, "Failure setting file stream position"));
  uint16_t count = GetU16(header + 28);
  for (uint16_t i = 0; i < count; ++i) {
    uint8_t entry[CabFileEntrySize];
    stream.ReadBuffer(entry, CabFileEntrySize);
    std::string name;
    for (;;) {
      char c = 0;
      stream.ReadBuffer(&c, 1);
      if (c == '\0') break;
      if (name.size() >= MaxMemberName) throw EzxError(FdiErrorText(FDIERROR_NOT_A_CABINET));
      name += c;
    }
    bool stop = false;
    if (handler)
      handler(*this, name, GetU32(entry), GetU16(entry + 8), GetU16(entry + 10), GetU16(entry + 12),
              GetU16(entry + 14), stop);
    if (stop) break;
  }
  return true;
}

void TzxCabReader::Extract(const std::string &cabFile, const std::string &targetDir,
                           uint32_t options) {
  TState &s = *FState;
  s.Cabinet = ExpandFileName(cabFile);
  s.Destination = targetDir;
  if (!s.Destination.empty() && !IsDelimiter(s.Destination.back())) s.Destination += PathDelim;
  s.ExtractOptions = options;
  s.OpenNames.Clear();
  s.OpenPaths.Clear();

  // Cabinets already extracted: a set whose successors lead back to one of
  // them ends there instead of going round for ever.
  std::vector<std::string> done;
  std::string current = s.Cabinet;
  while (!current.empty()) {
    s.NextCabinet.clear();
    s.NextDisk.clear();
    s.RequestedCabinet.clear();
    s.Requested = false;
    s.CurrentCabinet = current;
    done.push_back(ExpandFileName(current));

    std::string dir = DirectoryOf(current);
    std::string name = current.substr(dir.size());
    // The library reports its failures through the notifications and the
    // error record; targets it could not write are simply missing.
    FDICopy(Context(s), name.data(), dir.data(), 0, NotifyProcedure, nullptr, &s);

    if (s.Requested)
      current = s.RequestedCabinet;
    else if (!SameFileName(s.NextCabinet, current))
      current = s.NextCabinet;
    else
      current.clear();

    if ((options & cabFirstCabinetOnly) != 0)
      current.clear();
    else if (!current.empty() && !FileExists(current))
      current.clear();
    for (const std::string &d : done)
      if (!current.empty() && SameFileName(d, ExpandFileName(current))) current.clear();
  }
}
