// SHA-256 (FIPS 180-4), for checksums of rendered pictures. Native builds
// take libcrypto's (OpenSSL's EVP interface); the Win32 build has its own,
// portable one. Both answer the same tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TzxSha256 {
public:
  using TDigest = std::array<uint8_t, 32>;

  TzxSha256();
  ~TzxSha256();
  TzxSha256(const TzxSha256 &) = delete;
  TzxSha256 &operator=(const TzxSha256 &) = delete;

  void Reset();
  void Update(const void *data, size_t size);
  // The digest of everything given since the last Reset; resets afterwards.
  TDigest Final();

  static TDigest Digest(const void *data, size_t size);
  static std::string Hex(const TDigest &digest);

private:
  struct TState; // the implementation's
  std::unique_ptr<TState> FState;
};

// Lower-case hexadecimal SHA-256 of a byte range.
std::string Sha256Hex(const void *data, size_t size);
