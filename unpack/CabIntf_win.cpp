// Binds cabinet.dll at run time. The reader calls FDICreate, FDIIsCabinet,
// FDICopy and FDIDestroy as <fdi.h> declares them; these definitions
// forward to the library's own entry points, loading it on the first
// FDICreate. The library is freed when the program ends.
#include "CabIntf.h"

#include "zxHandles_win.h"
#include "zxMessages.h"

#include <array>

namespace {

// Lookup order of the entry points; all nine must be present, although the
// compression (FCI) functions are not used by the reader.
constexpr std::array<const char *, 9> EntryNames = {
    "FCICreate", "FCIAddFile",   "FCIFlushCabinet", "FCIFlushFolder", "FCIDestroy",
    "FDICreate", "FDIIsCabinet", "FDICopy",         "FDIDestroy",
};
enum { epFDICreate = 5, epFDIIsCabinet, epFDICopy, epFDIDestroy };

using TFDICreate = decltype(&::FDICreate);
using TFDIIsCabinet = decltype(&::FDIIsCabinet);
using TFDICopy = decltype(&::FDICopy);
using TFDIDestroy = decltype(&::FDIDestroy);

struct TCabinetLibrary {
  TzxModule Module;
  std::array<FARPROC, EntryNames.size()> Entries{};
  bool Valid = false;

  void Reset() {
    Entries.fill(nullptr);
    Valid = false;
    Module.Close();
  }
  template <typename T> T Entry(int index) const {
    // Through void (*)() so that the compiler accepts the change of type.
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(Entries[index]));
  }
};

TCabinetLibrary &Library() {
  static TCabinetLibrary library;
  return library;
}

void BindCabinetLibrary() {
  TCabinetLibrary &lib = Library();
  HMODULE module = LoadLibraryA("cabinet.dll");
  if (module == nullptr) {
    ShowMessageBox(TzxBoxOwner::None, "Cabinet.dll not found", "Error", zxMB_OK);
    return;
  }
  lib.Module.Attach(module);
  try {
    bool complete = true;
    for (size_t i = 0; i < EntryNames.size(); ++i) {
      lib.Entries[i] = GetProcAddress(module, EntryNames[i]);
      if (lib.Entries[i] == nullptr) complete = false;
    }
    lib.Valid = complete;
    if (!complete) ShowMessageBox(TzxBoxOwner::None, "Cabinet.dll is invalid", "Error", zxMB_OK);
  } catch (...) {
    lib.Reset();
    throw;
  }
}

} // namespace

// An unloadable or incomplete library gives no context; the error record is
// left as the caller cleared it.
HFDI DIAMONDAPI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread,
                          PFNWRITE pfnwrite, PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType,
                          PERF perf) {
  TCabinetLibrary &lib = Library();
  if (!lib.Module) BindCabinetLibrary();
  if (!lib.Valid) return nullptr;
  return lib.Entry<TFDICreate>(epFDICreate)(pfnalloc, pfnfree, pfnopen, pfnread, pfnwrite, pfnclose,
                                            pfnseek, cpuType, perf);
}

WINBOOL DIAMONDAPI FDIIsCabinet(HFDI hfdi, INT_PTR hf, PFDICABINETINFO pfdici) {
  TCabinetLibrary &lib = Library();
  if (!lib.Valid) return FALSE;
  return lib.Entry<TFDIIsCabinet>(epFDIIsCabinet)(hfdi, hf, pfdici);
}

WINBOOL DIAMONDAPI FDICopy(HFDI hfdi, char *pszCabinet, char *pszCabPath, int flags,
                           PFNFDINOTIFY pfnfdin, PFNFDIDECRYPT pfnfdid, void *pvUser) {
  TCabinetLibrary &lib = Library();
  if (!lib.Valid) return FALSE;
  return lib.Entry<TFDICopy>(epFDICopy)(hfdi, pszCabinet, pszCabPath, flags, pfnfdin, pfnfdid,
                                        pvUser);
}

WINBOOL DIAMONDAPI FDIDestroy(HFDI hfdi) {
  TCabinetLibrary &lib = Library();
  if (!lib.Valid) return FALSE;
  return lib.Entry<TFDIDestroy>(epFDIDestroy)(hfdi);
}
