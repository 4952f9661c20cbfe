// FDICreate, FDIIsCabinet, FDICopy and FDIDestroy over libmspack, for the
// builds that have no cabinet.dll. The contract is the library's:
//
// - every allocation goes through the caller's allocate and release
//   procedures, every file access through its open, read, write, close and
//   seek procedures; handles are the caller's INT_PTR values;
// - FDICopy reads the cabinet header itself, announces the cabinet
//   (fdintCABINET_INFO: next cabinet, next disk, cabinet path), then walks
//   the file table in order: a file continued from an earlier cabinet gets
//   fdintPARTIAL_FILE, every other one fdintCOPY_FILE; for a handle
//   returned there the file is decompressed into it (a file that goes on in
//   the next cabinet first asks for that one with fdintNEXT_CABINET) and
//   handed back with fdintCLOSE_FILE_INFO, which closes it;
// - failures fill the caller's error record with an FDIERROR code.
//
// libmspack does the decompression. It sees the caller's procedures through
// an mspack_system; the target handle of a file is passed to it under a
// reserved name, so that the library writes into the handle the caller
// opened instead of opening a file of its own.
#include "CabIntf.h"

#include <mspack.h>

#include <cstddef>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr uint32_t ContextMagic = 0x4644497A;

// Open flags and seek origins of the run-time library, as the caller's
// procedures take them.
constexpr int OpenReadBinary = 0x8000;
constexpr int OpenWriteBinary = 0x8000 | 0x0100 | 0x0200 | 0x0001; // create, truncate
constexpr int PermissionReadWrite = 0x0180;
constexpr int SeekSet = 0;
constexpr int SeekCur = 1;

// Raw folder indices of files that do not lie in one cabinet.
constexpr uint16_t ContinuedFromPrevious = 0xFFFD;
constexpr uint16_t ContinuedToNext = 0xFFFE;
constexpr uint16_t ContinuedBoth = 0xFFFF;

// Strings in a cabinet header are at most 255 bytes by the format; longer
// ones are accepted up to this length.
constexpr size_t MaxHeaderString = 1024;
// How often a missing continuation cabinet is asked for again.
constexpr int MaxNextCabinetAttempts = 8;

struct TContext;

// What libmspack holds as an mspack_file.
struct TFile {
  TContext *Context;
  INT_PTR Handle;
  bool Owned; // false: the caller's target handle, closed by the caller
};

struct TContext {
  uint32_t Magic = ContextMagic;
  PFNALLOC Alloc;
  PFNFREE Free;
  PFNOPEN Open;
  PFNREAD Read;
  PFNWRITE Write;
  PFNCLOSE Close;
  PFNSEEK Seek;
  PERF Error;
  mspack_system System{};
  mscab_decompressor *Cab = nullptr;
  INT_PTR Target = -1; // the handle that the next write-open yields

  void Fail(int code) {
    if (Error == nullptr) return;
    Error->erfOper = code;
    Error->erfType = 0;
    Error->fError = TRUE;
  }
};

// The reserved name under which libmspack opens the current target.
char TargetName[] = "";

// libmspack hands its decompressors a copy of the mspack_system, so the
// procedures that get no file find their context here instead: the
// context of the FDI call running on this thread.
thread_local TContext *ActiveContext = nullptr;

class TActive {
public:
  explicit TActive(TContext *c) : FPrevious(ActiveContext) { ActiveContext = c; }
  ~TActive() { ActiveContext = FPrevious; }
  TActive(const TActive &) = delete;
  TActive &operator=(const TActive &) = delete;

private:
  TContext *FPrevious;
};

TContext *ContextOf(HFDI hfdi) {
  auto *c = static_cast<TContext *>(hfdi);
  return c != nullptr && c->Magic == ContextMagic ? c : nullptr;
}

// ---- mspack_system over the caller's procedures ----

// Blocks carry their context in front, since release gets no context.
constexpr size_t BlockHeader = alignof(std::max_align_t) > sizeof(TContext *)
                                   ? alignof(std::max_align_t)
                                   : sizeof(TContext *);

void *SysAlloc(mspack_system *, size_t bytes) {
  TContext *c = ActiveContext;
  if (c == nullptr || bytes > UINT32_MAX - BlockHeader) return nullptr;
  auto *block = static_cast<unsigned char *>(c->Alloc(static_cast<ULONG>(bytes + BlockHeader)));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &c, sizeof c);
  return block + BlockHeader;
}

void SysFree(void *ptr) {
  if (ptr == nullptr) return;
  unsigned char *block = static_cast<unsigned char *>(ptr) - BlockHeader;
  TContext *c = nullptr;
  std::memcpy(&c, block, sizeof c);
  c->Free(block);
}

mspack_file *SysOpen(mspack_system *self, const char *filename, int mode) {
  TContext *c = ActiveContext;
  if (c == nullptr) return nullptr;
  INT_PTR handle = -1;
  bool owned = true;
  if (filename == TargetName) {
    handle = c->Target;
    owned = false;
  } else if (mode == MSPACK_SYS_OPEN_READ || mode == MSPACK_SYS_OPEN_WRITE) {
    handle = c->Open(const_cast<char *>(filename),
                     mode == MSPACK_SYS_OPEN_READ ? OpenReadBinary : OpenWriteBinary,
                     PermissionReadWrite);
  }
  if (handle == -1) return nullptr;
  auto *file = static_cast<TFile *>(SysAlloc(self, sizeof(TFile)));
  if (file == nullptr) {
    if (owned) c->Close(handle);
    return nullptr;
  }
  *file = TFile{c, handle, owned};
  return reinterpret_cast<mspack_file *>(file);
}

void SysClose(mspack_file *f) {
  auto *file = reinterpret_cast<TFile *>(f);
  if (file == nullptr) return;
  if (file->Owned) file->Context->Close(file->Handle);
  SysFree(file);
}

int SysRead(mspack_file *f, void *buffer, int bytes) {
  auto *file = reinterpret_cast<TFile *>(f);
  if (bytes < 0) return -1;
  UINT n = file->Context->Read(file->Handle, buffer, static_cast<UINT>(bytes));
  return n == static_cast<UINT>(-1) ? -1 : static_cast<int>(n);
}

int SysWrite(mspack_file *f, void *buffer, int bytes) {
  auto *file = reinterpret_cast<TFile *>(f);
  if (bytes < 0) return -1;
  UINT n = file->Context->Write(file->Handle, buffer, static_cast<UINT>(bytes));
  return n == static_cast<UINT>(-1) ? -1 : static_cast<int>(n);
}

int SysSeek(mspack_file *f, off_t offset, int mode) {
  auto *file = reinterpret_cast<TFile *>(f);
  if (offset < INT32_MIN || offset > INT32_MAX) return 1;
  // MSPACK_SYS_SEEK_START, _CUR and _END are 0, 1 and 2, as the origins.
  return file->Context->Seek(file->Handle, static_cast<int32_t>(offset), mode) == -1 ? 1 : 0;
}

off_t SysTell(mspack_file *f) {
  auto *file = reinterpret_cast<TFile *>(f);
  return file->Context->Seek(file->Handle, 0, SeekCur);
}

void SysMessage(mspack_file *, const char *, ...) {}

void SysCopy(void *src, void *dest, size_t bytes) {
  std::memmove(dest, src, bytes);
}

// ---- the cabinet header, read through the caller's procedures ----

uint16_t GetU16(const unsigned char *p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t GetU32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

struct TFileEntry {
  uint32_t Size;
  uint16_t Folder; // raw index, including the continuation values
  uint16_t Date;
  uint16_t Time;
  uint16_t Attributes;
  std::string Name;
};

// CFHEADER (36 bytes):
//   0 "MSCF", 8 uint32 cabinet size, 16 uint32 offset of the first file
//   entry, 24 uint8 minor version, 25 uint8 major version, 26 uint16
//   folders, 28 uint16 files, 30 uint16 flags (1 previous cabinet, 2 next
//   cabinet, 4 reserve present), 32 uint16 set id, 34 uint16 cabinet index;
// with flag 4: uint16 header reserve, uint8 folder reserve, uint8 data
//   reserve, then the header reserve;
// with flag 1: previous cabinet name and disk, zero-terminated;
// with flag 2: next cabinet name and disk, zero-terminated;
// then the folders (8 bytes each plus the folder reserve: uint32 data
// offset, uint16 blocks, uint16 compression type) and the file entries.
struct THeader {
  int32_t Size = 0;
  uint16_t Folders = 0;
  uint16_t Files = 0;
  uint16_t Flags = 0;
  uint16_t SetID = 0;
  uint16_t Index = 0;
  uint8_t FolderReserve = 0;
  std::string PreviousName, PreviousDisk, NextName, NextDisk;
  std::vector<uint16_t> CompressionTypes; // one per folder
  std::vector<TFileEntry> Entries;
};

constexpr uint16_t FlagPrevious = 1;
constexpr uint16_t FlagNext = 2;
constexpr uint16_t FlagReserve = 4;

bool ReadExactly(TContext &c, INT_PTR hf, void *buffer, UINT n) {
  return c.Read(hf, buffer, n) == n;
}

bool ReadString(TContext &c, INT_PTR hf, std::string &s) {
  s.clear();
  int32_t start = c.Seek(hf, 0, SeekCur);
  if (start == -1) return false;
  char chunk[256];
  while (s.size() < MaxHeaderString) {
    UINT n = c.Read(hf, chunk, sizeof chunk);
    if (n == 0 || n == static_cast<UINT>(-1)) return false;
    const void *zero = std::memchr(chunk, 0, n);
    if (zero != nullptr) {
      s.append(chunk, static_cast<const char *>(zero) - chunk);
      break;
    }
    s.append(chunk, n);
  }
  if (s.size() >= MaxHeaderString) return false;
  return c.Seek(hf, start + static_cast<int32_t>(s.size()) + 1, SeekSet) != -1;
}

// The fixed header and the cabinet names, from the handle's position.
// Returns an FDIERROR code.
int ReadHeader(TContext &c, INT_PTR hf, THeader &h) {
  unsigned char b[36];
  if (!ReadExactly(c, hf, b, sizeof b) || std::memcmp(b, "MSCF", 4) != 0)
    return FDIERROR_NOT_A_CABINET;
  uint8_t minor = b[24], major = b[25];
  if (major > 1 || (major == 1 && minor > 3)) return FDIERROR_UNKNOWN_CABINET_VERSION;
  h.Size = static_cast<int32_t>(GetU32(b + 8));
  h.Folders = GetU16(b + 26);
  h.Files = GetU16(b + 28);
  h.Flags = GetU16(b + 30);
  h.SetID = GetU16(b + 32);
  h.Index = GetU16(b + 34);
  if ((h.Flags & FlagReserve) != 0) {
    unsigned char r[4];
    if (!ReadExactly(c, hf, r, sizeof r)) return FDIERROR_CORRUPT_CABINET;
    h.FolderReserve = r[2];
    uint16_t headerReserve = GetU16(r);
    if (headerReserve != 0 && c.Seek(hf, headerReserve, SeekCur) == -1)
      return FDIERROR_CORRUPT_CABINET;
  }
  if ((h.Flags & FlagPrevious) != 0 &&
      (!ReadString(c, hf, h.PreviousName) || !ReadString(c, hf, h.PreviousDisk)))
    return FDIERROR_CORRUPT_CABINET;
  if ((h.Flags & FlagNext) != 0 &&
      (!ReadString(c, hf, h.NextName) || !ReadString(c, hf, h.NextDisk)))
    return FDIERROR_CORRUPT_CABINET;
  return FDIERROR_NONE;
}

// The folders and the file table, which follow the header.
int ReadTables(TContext &c, INT_PTR hf, THeader &h) {
  h.CompressionTypes.clear();
  for (uint16_t i = 0; i < h.Folders; ++i) {
    unsigned char f[8];
    if (!ReadExactly(c, hf, f, sizeof f)) return FDIERROR_CORRUPT_CABINET;
    if (h.FolderReserve != 0 && c.Seek(hf, h.FolderReserve, SeekCur) == -1)
      return FDIERROR_CORRUPT_CABINET;
    h.CompressionTypes.push_back(GetU16(f + 6));
  }
  h.Entries.clear();
  for (uint16_t i = 0; i < h.Files; ++i) {
    unsigned char e[16];
    TFileEntry entry;
    if (!ReadExactly(c, hf, e, sizeof e) || !ReadString(c, hf, entry.Name))
      return FDIERROR_CORRUPT_CABINET;
    entry.Size = GetU32(e);
    entry.Folder = GetU16(e + 8);
    entry.Date = GetU16(e + 10);
    entry.Time = GetU16(e + 12);
    entry.Attributes = GetU16(e + 14);
    if (entry.Folder < ContinuedFromPrevious && entry.Folder >= h.Folders)
      return FDIERROR_CORRUPT_CABINET;
    h.Entries.push_back(std::move(entry));
  }
  return FDIERROR_NONE;
}

int ReadWholeHeader(TContext &c, const std::string &path, THeader &h) {
  INT_PTR hf = c.Open(const_cast<char *>(path.c_str()), OpenReadBinary, PermissionReadWrite);
  if (hf == -1) return FDIERROR_CABINET_NOT_FOUND;
  int error = ReadHeader(c, hf, h);
  if (error == FDIERROR_NONE) error = ReadTables(c, hf, h);
  c.Close(hf);
  return error;
}

int FdiErrorOf(int mspackError) {
  switch (mspackError) {
  case MSPACK_ERR_OK: return FDIERROR_NONE;
  case MSPACK_ERR_OPEN: return FDIERROR_CABINET_NOT_FOUND;
  case MSPACK_ERR_SIGNATURE: return FDIERROR_NOT_A_CABINET;
  case MSPACK_ERR_NOMEMORY: return FDIERROR_ALLOC_FAIL;
  case MSPACK_ERR_WRITE: return FDIERROR_TARGET_FILE;
  default: return FDIERROR_CORRUPT_CABINET;
  }
}

bool KnownCompression(uint16_t type) {
  return (type & 0x000F) <= 3;
}

// ---- one FDICopy ----

class TCopy {
public:
  TCopy(TContext &c, const char *name, const char *path, PFNFDINOTIFY notify, void *user)
      : C(c), CabPath(path != nullptr ? path : ""), Notify(notify), User(user) {
    Names.push_back(CabPath + (name != nullptr ? name : ""));
  }
  ~TCopy() {
    if (Cabinet != nullptr) C.Cab->close(C.Cab, Cabinet);
  }
  TCopy(const TCopy &) = delete;
  TCopy &operator=(const TCopy &) = delete;

  int Run();

private:
  TContext &C;
  std::string CabPath;
  PFNFDINOTIFY Notify;
  void *User;
  std::deque<std::string> Names; // cabinet paths libmspack keeps pointers to
  mscabd_cabinet *Cabinet = nullptr;
  THeader First;
  THeader Last;        // the last cabinet joined to the first one
  bool Joined = false; // the successors the first cabinet needs are joined
  std::string Empty;

  INT_PTR Send(FDINOTIFICATIONTYPE type, FDINOTIFICATION &n) {
    n.pv = User;
    return Notify(type, &n);
  }
  char *Text(std::string &s) { return s.data(); }
  int CabinetInfo(THeader &h);
  int JoinSuccessors();
  int JoinNext();
  int CopyFile(TFileEntry &entry, mscabd_file *file);
};

int TCopy::CabinetInfo(THeader &h) {
  FDINOTIFICATION n{};
  n.psz1 = Text(h.NextName);
  n.psz2 = Text(h.NextDisk);
  n.psz3 = Text(CabPath);
  n.setID = h.SetID;
  n.iCabinet = h.Index;
  return Send(fdintCABINET_INFO, n) == -1 ? FDIERROR_USER_ABORT : FDIERROR_NONE;
}

// Asks for the successor of the last joined cabinet until it is found and
// joined, or the notification gives up.
int TCopy::JoinNext() {
  if ((Last.Flags & FlagNext) == 0 || Last.NextName.empty()) return FDIERROR_CORRUPT_CABINET;
  char path[CB_MAX_CAB_PATH] = {};
  if (CabPath.size() < sizeof path) std::memcpy(path, CabPath.data(), CabPath.size());
  FDINOTIFICATION n{};
  n.psz1 = Text(Last.NextName);
  n.psz2 = Text(Last.NextDisk);
  n.psz3 = path;
  n.fdie = FDIERROR_NONE;
  for (int attempt = 0;; ++attempt) {
    if (Send(fdintNEXT_CABINET, n) != 0) return FDIERROR_USER_ABORT;
    if (attempt == MaxNextCabinetAttempts) return n.fdie;
    path[sizeof path - 1] = '\0';
    std::string dir(path);
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
    std::string full = dir + Last.NextName;

    THeader next;
    int error = ReadWholeHeader(C, full, next);
    if (error == FDIERROR_NONE && (next.SetID != Last.SetID || next.Index != Last.Index + 1))
      error = FDIERROR_WRONG_CABINET;
    if (error != FDIERROR_NONE) {
      n.fdie = static_cast<FDIERROR>(error);
      continue;
    }
    Names.push_back(full);
    mscabd_cabinet *cab = C.Cab->open(C.Cab, Names.back().c_str());
    if (cab == nullptr) {
      n.fdie = static_cast<FDIERROR>(FdiErrorOf(C.Cab->last_error(C.Cab)));
      continue;
    }
    if (C.Cab->append(C.Cab, Cabinet, cab) != MSPACK_ERR_OK) {
      C.Cab->close(C.Cab, cab);
      n.fdie = FDIERROR_WRONG_CABINET;
      continue;
    }
    Last = std::move(next);
    return CabinetInfo(Last);
  }
}

// Joins the cabinets that the first cabinet's last folder runs on into.
int TCopy::JoinSuccessors() {
  if (Joined) return FDIERROR_NONE;
  for (;;) {
    int error = JoinNext();
    if (error != FDIERROR_NONE) return error;
    bool goesOn = false;
    for (const TFileEntry &e : Last.Entries)
      if (e.Folder == ContinuedBoth) goesOn = true;
    if (!goesOn) break;
  }
  Joined = true;
  return FDIERROR_NONE;
}

int TCopy::CopyFile(TFileEntry &entry, mscabd_file *file) {
  FDINOTIFICATION n{};
  n.psz1 = Text(entry.Name);
  n.cb = static_cast<int32_t>(entry.Size);
  n.date = entry.Date;
  n.time = entry.Time;
  n.attribs = entry.Attributes;
  n.iFolder = entry.Folder;
  INT_PTR hf = Send(fdintCOPY_FILE, n);
  if (hf == -1) return FDIERROR_USER_ABORT;
  if (hf == 0) return FDIERROR_NONE; // skipped

  int error = FDIERROR_NONE;
  if (entry.Folder == ContinuedToNext) error = JoinSuccessors();
  if (error == FDIERROR_NONE) {
    C.Target = hf;
    error = FdiErrorOf(C.Cab->extract(C.Cab, file, TargetName));
    C.Target = -1;
  }

  // The handle goes back to the caller in any case; it closes it.
  FDINOTIFICATION done{};
  done.psz1 = Text(entry.Name);
  done.hf = hf;
  done.cb = (entry.Attributes & _A_EXEC) != 0 ? 1 : 0;
  done.date = entry.Date;
  done.time = entry.Time;
  done.attribs = entry.Attributes;
  done.iFolder = entry.Folder;
  Send(fdintCLOSE_FILE_INFO, done);
  return error;
}

int TCopy::Run() {
  int error = ReadWholeHeader(C, Names.front(), First);
  if (error != FDIERROR_NONE) return error;
  for (uint16_t type : First.CompressionTypes)
    if (!KnownCompression(type)) return FDIERROR_BAD_COMPR_TYPE;

  error = CabinetInfo(First);
  if (error != FDIERROR_NONE) return error;

  Cabinet = C.Cab->open(C.Cab, Names.front().c_str());
  if (Cabinet == nullptr) return FdiErrorOf(C.Cab->last_error(C.Cab));
  // libmspack lists the same table; pair its entries with the raw ones
  // before a join appends the successors' files to its list.
  std::vector<mscabd_file *> files;
  for (mscabd_file *f = Cabinet->files; f != nullptr; f = f->next)
    files.push_back(f);
  if (files.size() != First.Entries.size()) return FDIERROR_CORRUPT_CABINET;
  Last = First;

  for (size_t i = 0; i < files.size(); ++i) {
    TFileEntry &entry = First.Entries[i];
    if (entry.Folder == ContinuedFromPrevious || entry.Folder == ContinuedBoth) {
      FDINOTIFICATION n{};
      n.psz1 = Text(entry.Name);
      n.psz2 = Text(First.PreviousName);
      n.psz3 = Text(First.PreviousDisk);
      if (Send(fdintPARTIAL_FILE, n) == -1) return FDIERROR_USER_ABORT;
      continue;
    }
    error = CopyFile(entry, files[i]);
    if (error != FDIERROR_NONE) return error;
  }
  return FDIERROR_NONE;
}

} // namespace

HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread,
               PFNWRITE pfnwrite, PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, PERF perf) {
  (void)cpuType; // no processor-specific code to choose
  auto fail = [perf](int code) -> HFDI {
    if (perf != nullptr) *perf = ERF{code, 0, TRUE};
    return nullptr;
  };
  if (pfnalloc == nullptr || pfnfree == nullptr || pfnopen == nullptr || pfnread == nullptr ||
      pfnwrite == nullptr || pfnclose == nullptr || pfnseek == nullptr)
    return fail(FDIERROR_NONE);
  int selfTest = MSPACK_ERR_OK;
  MSPACK_SYS_SELFTEST(selfTest);
  if (selfTest != MSPACK_ERR_OK) return fail(FDIERROR_ALLOC_FAIL);

  void *memory = pfnalloc(sizeof(TContext));
  if (memory == nullptr) return fail(FDIERROR_ALLOC_FAIL);
  auto *c = new (memory) TContext;
  TActive active(c);
  c->Alloc = pfnalloc;
  c->Free = pfnfree;
  c->Open = pfnopen;
  c->Read = pfnread;
  c->Write = pfnwrite;
  c->Close = pfnclose;
  c->Seek = pfnseek;
  c->Error = perf;
  mspack_system &s = c->System;
  s.open = SysOpen;
  s.close = SysClose;
  s.read = SysRead;
  s.write = SysWrite;
  s.seek = SysSeek;
  s.tell = SysTell;
  s.message = SysMessage;
  s.alloc = SysAlloc;
  s.free = SysFree;
  s.copy = SysCopy;
  s.null_ptr = nullptr;
  c->Cab = mspack_create_cab_decompressor(&s);
  if (c->Cab == nullptr) {
    c->~TContext();
    pfnfree(memory);
    return fail(FDIERROR_ALLOC_FAIL);
  }
  return c;
}

BOOL FDIIsCabinet(HFDI hfdi, INT_PTR hf, PFDICABINETINFO pfdici) {
  TContext *c = ContextOf(hfdi);
  if (c == nullptr || pfdici == nullptr) return FALSE;
  THeader h;
  if (ReadHeader(*c, hf, h) != FDIERROR_NONE) return FALSE;
  pfdici->cbCabinet = h.Size;
  pfdici->cFolders = h.Folders;
  pfdici->cFiles = h.Files;
  pfdici->setID = h.SetID;
  pfdici->iCabinet = h.Index;
  pfdici->fReserve = (h.Flags & FlagReserve) != 0;
  pfdici->hasprev = (h.Flags & FlagPrevious) != 0;
  pfdici->hasnext = FALSE; // as cabinet.dll reports it
  return TRUE;
}

BOOL FDICopy(HFDI hfdi, char *pszCabinet, char *pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
             PFNFDIDECRYPT pfnfdid, void *pvUser) {
  (void)flags;
  (void)pfnfdid; // no encrypted cabinets
  TContext *c = ContextOf(hfdi);
  if (c == nullptr || pfnfdin == nullptr) return FALSE;
  TActive active(c);
  int error;
  try {
    TCopy copy(*c, pszCabinet, pszCabPath, pfnfdin, pvUser);
    error = copy.Run();
  } catch (const std::bad_alloc &) {
    error = FDIERROR_ALLOC_FAIL;
  }
  if (error == FDIERROR_NONE) return TRUE;
  c->Fail(error);
  return FALSE;
}

BOOL FDIDestroy(HFDI hfdi) {
  TContext *c = ContextOf(hfdi);
  if (c == nullptr) return FALSE;
  {
    TActive active(c);
    mspack_destroy_cab_decompressor(c->Cab);
  }
  PFNFREE release = c->Free;
  c->Magic = 0;
  c->~TContext();
  release(c);
  return TRUE;
}
