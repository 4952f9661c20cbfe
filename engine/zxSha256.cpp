// What both implementations of SHA-256 share.
#include "zxSha256.h"

std::string TzxSha256::Hex(const TDigest &digest) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : digest) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

std::string Sha256Hex(const void *data, size_t size) {
  return TzxSha256::Hex(TzxSha256::Digest(data, size));
}
