#include "CabIntf.h"

HFDI FDICreate(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK, int, PERF perf) {
  if (perf != nullptr) *perf = ERF{FDIERROR_ALLOC_FAIL, 0, TRUE};
  return nullptr;
}
BOOL FDIIsCabinet(HFDI, INT_PTR, PFDICABINETINFO) {
  return FALSE;
}
BOOL FDICopy(HFDI, char *, char *, int, PFNFDINOTIFY, PFNFDIDECRYPT, void *) {
  return FALSE;
}
BOOL FDIDestroy(HFDI) {
  return TRUE;
}
