// The File Decompression Interface (FDI) of the cabinet library.
//
// On Win32 the declarations are the platform's own <fdi.h>; CabIntf_win.cpp
// defines the four functions the reader calls, forwarding them to
// cabinet.dll, which it loads on the first FDICreate. Elsewhere this header
// declares the same types, values and functions, and CabIntf_mspack.cpp
// implements them over libmspack with the same contract: every allocation
// and every file access goes through the caller's procedures, and the
// caller sees the same notifications in the same order.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <fdi.h>

#else

#include <cstdint>

#define DIAMONDAPI

using INT_PTR = intptr_t;
using UINT = unsigned int;
using ULONG = uint32_t;
using USHORT = uint16_t;
using BOOL = int;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Error record filled by the library: operation error (FDIERROR), the
// operating-system error and whether an error occurred.
struct ERF {
  int erfOper;
  int erfType;
  BOOL fError;
};
using PERF = ERF *;

#define CB_MAX_FILENAME 256
#define CB_MAX_CABINET_NAME 256
#define CB_MAX_CAB_PATH 256
#define CB_MAX_DISK_NAME 256

enum FDIERROR {
  FDIERROR_NONE,
  FDIERROR_CABINET_NOT_FOUND,
  FDIERROR_NOT_A_CABINET,
  FDIERROR_UNKNOWN_CABINET_VERSION,
  FDIERROR_CORRUPT_CABINET,
  FDIERROR_ALLOC_FAIL,
  FDIERROR_BAD_COMPR_TYPE,
  FDIERROR_MDI_FAIL,
  FDIERROR_TARGET_FILE,
  FDIERROR_RESERVE_MISMATCH,
  FDIERROR_WRONG_CABINET,
  FDIERROR_USER_ABORT,
};

#define _A_NAME_IS_UTF 0x80
#define _A_EXEC 0x40

using HFDI = void *;

struct FDICABINETINFO {
  int32_t cbCabinet; // total length of the cabinet file
  USHORT cFolders;
  USHORT cFiles;
  USHORT setID;
  USHORT iCabinet; // position in the set, 0-based
  BOOL fReserve;   // the header has a reserved area
  BOOL hasprev;
  BOOL hasnext;
};
using PFDICABINETINFO = FDICABINETINFO *;

enum FDIDECRYPTTYPE { fdidtNEW_CABINET, fdidtNEW_FOLDER, fdidtDECRYPT };

struct FDIDECRYPT {
  FDIDECRYPTTYPE fdidt;
  void *pvUser;
};
using PFDIDECRYPT = FDIDECRYPT *;

typedef void *(DIAMONDAPI *PFNALLOC)(ULONG cb);
#define FNALLOC(fn) void *DIAMONDAPI fn(ULONG cb)
typedef void(DIAMONDAPI *PFNFREE)(void *pv);
#define FNFREE(fn) void DIAMONDAPI fn(void *pv)
typedef INT_PTR(DIAMONDAPI *PFNOPEN)(char *pszFile, int oflag, int pmode);
typedef UINT(DIAMONDAPI *PFNREAD)(INT_PTR hf, void *pv, UINT cb);
typedef UINT(DIAMONDAPI *PFNWRITE)(INT_PTR hf, void *pv, UINT cb);
typedef int(DIAMONDAPI *PFNCLOSE)(INT_PTR hf);
typedef int32_t(DIAMONDAPI *PFNSEEK)(INT_PTR hf, int32_t dist, int seektype);
#define FNOPEN(fn) INT_PTR DIAMONDAPI fn(char *pszFile, int oflag, int pmode)
#define FNREAD(fn) UINT DIAMONDAPI fn(INT_PTR hf, void *pv, UINT cb)
#define FNWRITE(fn) UINT DIAMONDAPI fn(INT_PTR hf, void *pv, UINT cb)
#define FNCLOSE(fn) int DIAMONDAPI fn(INT_PTR hf)
#define FNSEEK(fn) int32_t DIAMONDAPI fn(INT_PTR hf, int32_t dist, int seektype)

typedef int(DIAMONDAPI *PFNFDIDECRYPT)(PFDIDECRYPT pfdid);
#define FNFDIDECRYPT(fn) int DIAMONDAPI fn(PFDIDECRYPT pfdid)

struct FDINOTIFICATION {
  int32_t cb;
  char *psz1;
  char *psz2;
  char *psz3;
  void *pv;
  INT_PTR hf;
  USHORT date;
  USHORT time;
  USHORT attribs;
  USHORT setID;
  USHORT iCabinet;
  USHORT iFolder;
  FDIERROR fdie;
};
using PFDINOTIFICATION = FDINOTIFICATION *;

enum FDINOTIFICATIONTYPE {
  fdintCABINET_INFO,
  fdintPARTIAL_FILE,
  fdintCOPY_FILE,
  fdintCLOSE_FILE_INFO,
  fdintNEXT_CABINET,
  fdintENUMERATE,
};

typedef INT_PTR(DIAMONDAPI *PFNFDINOTIFY)(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin);
#define FNFDINOTIFY(fn) INT_PTR DIAMONDAPI fn(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin)

#define cpuUNKNOWN (-1)
#define cpu80286 (0)
#define cpu80386 (1)

HFDI DIAMONDAPI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread,
                          PFNWRITE pfnwrite, PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType,
                          PERF perf);
BOOL DIAMONDAPI FDIIsCabinet(HFDI hfdi, INT_PTR hf, PFDICABINETINFO pfdici);
BOOL DIAMONDAPI FDICopy(HFDI hfdi, char *pszCabinet, char *pszCabPath, int flags,
                        PFNFDINOTIFY pfnfdin, PFNFDIDECRYPT pfnfdid, void *pvUser);
BOOL DIAMONDAPI FDIDestroy(HFDI hfdi);

#endif
