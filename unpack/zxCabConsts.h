// String-table identifiers of the cabinet reader's texts. Shared by the
// reader and resources/cabinet.rc, so it holds nothing but definitions.
#pragma once

// The texts of the FDI error codes 0 to 11 are IDS_CAB_ERROR + code.
#define IDS_CAB_ERROR 0xF100
#define IDS_CAB_ERROR_NONE 0xF100
#define IDS_CAB_ERROR_CABINET_NOT_FOUND 0xF101
#define IDS_CAB_ERROR_NOT_A_CABINET 0xF102
#define IDS_CAB_ERROR_UNKNOWN_CABINET_VERSION 0xF103
#define IDS_CAB_ERROR_CORRUPT_CABINET 0xF104
#define IDS_CAB_ERROR_ALLOC_FAIL 0xF105
#define IDS_CAB_ERROR_BAD_COMPR_TYPE 0xF106
#define IDS_CAB_ERROR_MDI_FAIL 0xF107
#define IDS_CAB_ERROR_TARGET_FILE 0xF108
#define IDS_CAB_ERROR_RESERVE_MISMATCH 0xF109
#define IDS_CAB_ERROR_WRONG_CABINET 0xF10A
#define IDS_CAB_ERROR_USER_ABORT 0xF10B
#define IDS_CAB_FDI_ERROR 0xF10C
#define IDS_CAB_SEEK_FAILED 0xF10D
