// SHA-256 (FIPS 180-4), for checksums of rendered pictures.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class TzxSha256 {
public:
  using TDigest = std::array<uint8_t, 32>;

  TzxSha256() { Reset(); }
  void Reset();
  void Update(const void *data, size_t size);
  // The digest of everything given since the last Reset; resets afterwards.
  TDigest Final();

  static TDigest Digest(const void *data, size_t size);
  static std::string Hex(const TDigest &digest);

private:
  void Block(const uint8_t *p);

  std::array<uint32_t, 8> FState{};
  uint8_t FBuffer[64] = {};
  size_t FBuffered = 0;
  uint64_t FLength = 0; // bytes
};

// Lower-case hexadecimal SHA-256 of a byte range.
std::string Sha256Hex(const void *data, size_t size);
