// Makes Microsoft cabinets: for the film writer and for tests. Natively
// through gcab, on Win32 through cabinet.dll's FCI functions.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TzxCabMember {
  std::string Name; // as stored in the cabinet; a backslash separates directories
  std::vector<uint8_t> Data;
  uint16_t Date = 0x5821;     // FAT date, local: 2024-01-01
  uint16_t Time = 0x6000;     // FAT time, local: 12:00:00
  uint16_t Attributes = 0x20; // archive
};

// One cabinet with the members in the order given, MSZIP-compressed or
// stored. Throws EzxError when it cannot be made.
std::vector<uint8_t> PackCabinet(const std::vector<TzxCabMember> &members, bool compress);
