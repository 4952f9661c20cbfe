// Helpers of the cabinet tests: cabinets assembled byte by byte (for what
// a cabinet maker will not write: hostile names, sets, broken tables) and
// the file properties the reader sets, read back portably.
#pragma once

#include "zxFilmWriter.h"

#include <cstdint>
#include <string>
#include <vector>

struct TRawBlock {
  TzxBytes Data;
  uint16_t Uncompressed; // 0: the block goes on in the next cabinet
};

struct TRawFolder {
  std::vector<TRawBlock> Blocks;
  uint16_t Compression = 0; // stored
};

struct TRawFile {
  std::string Name;
  uint32_t Size = 0;
  uint32_t Offset = 0; // in the folder's uncompressed data
  uint16_t Folder = 0;
  uint16_t Date = 0x5821; // 2024-01-01
  uint16_t Time = 0x6000; // 12:00:00
  uint16_t Attributes = 0x20;
};

struct TRawCabinet {
  std::string PreviousName, PreviousDisk;
  std::string NextName, NextDisk;
  uint16_t SetID = 0x4D5A;
  uint16_t Index = 0;
  std::vector<TRawFolder> Folders;
  std::vector<TRawFile> Files;
  int64_t FirstFileOffset = -1; // -1: where the file table really starts
};

// The cabinet's bytes in the published layout (version 1.3, no checksums).
TzxBytes BuildRawCabinet(const TRawCabinet &cab);

// A one-folder stored cabinet of the given members, in order.
TRawCabinet StoredCabinet(const std::vector<std::pair<std::string, TzxBytes>> &members);

TzxBytes Bytes(const std::string &text);
// The name with the platform's separator instead of backslashes.
std::string NativePath(const std::string &path);

// The file's last-write time as a local FAT date and time.
bool FileDosDateTime(const std::string &path, uint16_t &date, uint16_t &time);
bool IsReadOnly(const std::string &path);
void SetReadOnly(const std::string &path, bool readOnly);
bool DirectoryExists(const std::string &path);
