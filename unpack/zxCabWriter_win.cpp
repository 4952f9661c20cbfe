// Cabinets made with cabinet.dll's FCI functions, entirely in memory: the
// members, the library's temporary files and the cabinet itself are files
// of a small in-memory file system that the FCI procedures work on.
#include "zxCabWriter.h"

#include "zxClasses.h"
#include "zxHandles_win.h"

#include <fci.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

namespace {

using TzxBytes = std::vector<uint8_t>;

constexpr const char *CabinetName = "out.cab";

// Open flags of the run-time library, as FCI passes them.
constexpr int OpenCreate = 0x0100;
constexpr int OpenTruncate = 0x0200;
constexpr int OpenExclusive = 0x0400;

class TMemoryFiles {
public:
  explicit TMemoryFiles(const std::vector<TzxCabMember> &members) : FMembers(members) {}

  INT_PTR Open(const std::string &name, int oflag, int &err) {
    auto it = FFiles.find(name);
    if (it == FFiles.end()) {
      if ((oflag & OpenCreate) == 0) return Fail(err, ENOENT);
      it = FFiles.emplace(name, std::make_shared<TzxBytes>()).first;
    } else if ((oflag & OpenCreate) != 0 && (oflag & OpenExclusive) != 0) {
      return Fail(err, EEXIST);
    } else if ((oflag & OpenTruncate) != 0) {
      it->second->clear();
    }
    return Add(it->second);
  }
  // The source of a member, named by its index.
  INT_PTR OpenMember(const std::string &key, uint16_t &date, uint16_t &time, uint16_t &attributes,
                     int &err) {
    size_t i = std::strtoul(key.c_str(), nullptr, 10);
    if (i >= FMembers.size()) return Fail(err, ENOENT);
    const TzxCabMember &m = FMembers[i];
    date = m.Date;
    time = m.Time;
    attributes = m.Attributes;
    return Add(std::make_shared<TzxBytes>(m.Data));
  }
  UINT Read(INT_PTR hf, void *buffer, UINT n, int &err) {
    TOpen *f = Find(hf, err);
    if (f == nullptr) return static_cast<UINT>(-1);
    size_t available = f->Pos < f->Data->size() ? f->Data->size() - f->Pos : 0;
    size_t count = std::min<size_t>(n, available);
    if (count > 0) std::memcpy(buffer, f->Data->data() + f->Pos, count);
    f->Pos += count;
    return static_cast<UINT>(count);
  }
  UINT Write(INT_PTR hf, const void *buffer, UINT n, int &err) {
    TOpen *f = Find(hf, err);
    if (f == nullptr) return static_cast<UINT>(-1);
    if (f->Data->size() < f->Pos + n) f->Data->resize(f->Pos + n);
    if (n > 0) std::memcpy(f->Data->data() + f->Pos, buffer, n);
    f->Pos += n;
    return n;
  }
  int Close(INT_PTR hf, int &err) {
    if (FOpen.erase(hf) == 0) return Fail(err, EBADF);
    return 0;
  }
  LONG Seek(INT_PTR hf, LONG dist, int origin, int &err) {
    TOpen *f = Find(hf, err);
    if (f == nullptr) return -1;
    int64_t base = origin == 0   ? 0
                   : origin == 1 ? static_cast<int64_t>(f->Pos)
                                 : static_cast<int64_t>(f->Data->size());
    int64_t pos = base + dist;
    if (pos < 0 || pos > INT32_MAX) return Fail(err, EINVAL);
    f->Pos = static_cast<size_t>(pos);
    return static_cast<LONG>(pos);
  }
  int Delete(const std::string &name, int &err) {
    if (FFiles.erase(name) == 0) return Fail(err, ENOENT);
    return 0;
  }
  std::string TempName() { return Format("zxfci%d.tmp", ++FTempCount); }
  TzxBytes Contents(const std::string &name) const {
    auto it = FFiles.find(name);
    return it != FFiles.end() ? *it->second : TzxBytes();
  }

private:
  struct TOpen {
    std::shared_ptr<TzxBytes> Data;
    size_t Pos;
  };
  const std::vector<TzxCabMember> &FMembers;
  std::map<std::string, std::shared_ptr<TzxBytes>> FFiles;
  std::map<INT_PTR, TOpen> FOpen;
  INT_PTR FNextHandle = 1; // never 0 or -1
  int FTempCount = 0;

  static int Fail(int &err, int code) {
    err = code;
    return -1;
  }
  INT_PTR Add(std::shared_ptr<TzxBytes> data) {
    INT_PTR hf = FNextHandle++;
    FOpen.emplace(hf, TOpen{std::move(data), 0});
    return hf;
  }
  TOpen *Find(INT_PTR hf, int &err) {
    auto it = FOpen.find(hf);
    if (it == FOpen.end()) {
      err = EBADF;
      return nullptr;
    }
    return &it->second;
  }
};

TMemoryFiles &Files(void *pv) {
  return *static_cast<TMemoryFiles *>(pv);
}

// No exception may cross into the library: a failure is an error result.
template <typename R, typename F> R Guard(int *err, R failed, F f) {
  try {
    return f();
  } catch (...) {
    *err = ENOMEM;
    return failed;
  }
}

FNFCIALLOC(Alloc) {
  return std::malloc(cb);
}
FNFCIFREE(Free) {
  std::free(memory);
}

FNFCIOPEN(Open) {
  (void)pmode;
  return Guard(err, INT_PTR(-1), [&] { return Files(pv).Open(pszFile, oflag, *err); });
}
FNFCIREAD(Read) {
  return Guard(err, UINT(-1), [&] { return Files(pv).Read(hf, memory, cb, *err); });
}
FNFCIWRITE(Write) {
  return Guard(err, UINT(-1), [&] { return Files(pv).Write(hf, memory, cb, *err); });
}
FNFCICLOSE(Close) {
  return Guard(err, -1, [&] { return Files(pv).Close(hf, *err); });
}
FNFCISEEK(Seek) {
  return Guard(err, LONG(-1), [&] { return Files(pv).Seek(hf, dist, seektype, *err); });
}
FNFCIDELETE(Delete) {
  return Guard(err, -1, [&] { return Files(pv).Delete(pszFile, *err); });
}
FNFCIGETTEMPFILE(GetTempFile) {
  try {
    std::string name = Files(pv).TempName();
    if (name.size() >= static_cast<size_t>(cbTempName)) return FALSE;
    std::memcpy(pszTempName, name.c_str(), name.size() + 1);
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}
FNFCIGETOPENINFO(GetOpenInfo) {
  return Guard(err, INT_PTR(-1),
               [&] { return Files(pv).OpenMember(pszName, *pdate, *ptime, *pattribs, *err); });
}
FNFCIFILEPLACED(FilePlaced) {
  (void)pccab, (void)pszFile, (void)cbFile, (void)fContinuation, (void)pv;
  return 0;
}
FNFCIGETNEXTCABINET(GetNextCabinet) {
  (void)pccab, (void)cbPrevCab, (void)pv;
  return FALSE; // one cabinet only
}
FNFCISTATUS(Status) {
  (void)typeStatus, (void)cb1, (void)cb2, (void)pv;
  return 0;
}

template <typename T> T Entry(HMODULE module, const char *name) {
  FARPROC p = GetProcAddress(module, name);
  if (p == nullptr) throw EzxError(Format("Cannot make cabinet: cabinet.dll has no %s", name));
  return reinterpret_cast<T>(reinterpret_cast<void (*)()>(p));
}

} // namespace

std::vector<uint8_t> PackCabinet(const std::vector<TzxCabMember> &members, bool compress) {
  TzxModule module(LoadLibraryA("cabinet.dll"));
  if (!module) throw EzxError("Cannot make cabinet: cabinet.dll not found");
  auto create = Entry<decltype(&::FCICreate)>(module.Get(), "FCICreate");
  auto addFile = Entry<decltype(&::FCIAddFile)>(module.Get(), "FCIAddFile");
  auto flush = Entry<decltype(&::FCIFlushCabinet)>(module.Get(), "FCIFlushCabinet");
  auto destroy = Entry<decltype(&::FCIDestroy)>(module.Get(), "FCIDestroy");

  TMemoryFiles files(members);
  ERF error{};
  CCAB cab{};
  cab.cb = 0x7FFFFFFF;
  cab.cbFolderThresh = 0x7FFFFFFF;
  cab.setID = 0x4D5A;
  std::strcpy(cab.szCab, CabinetName);
  auto fail = [&](const char *what) {
    return EzxError(
        Format("Cannot make cabinet: %s failed with FCI error %d", what, error.erfOper));
  };

  HFCI fci = create(&error, FilePlaced, Alloc, Free, Open, Read, Write, Close, Seek, Delete,
                    GetTempFile, &cab, &files);
  if (fci == nullptr) throw fail("FCICreate");
  struct TDestroy {
    decltype(destroy) Destroy;
    HFCI Context;
    ~TDestroy() { Destroy(Context); }
  } destroyer{destroy, fci};

  for (size_t i = 0; i < members.size(); ++i) {
    std::string source = std::to_string(i);
    std::string name = members[i].Name;
    if (!addFile(fci, source.data(), name.data(), FALSE, GetNextCabinet, Status, GetOpenInfo,
                 compress ? tcompTYPE_MSZIP : tcompTYPE_NONE))
      throw fail("FCIAddFile");
  }
  if (!flush(fci, FALSE, GetNextCabinet, Status)) throw fail("FCIFlushCabinet");
  return files.Contents(CabinetName);
}
