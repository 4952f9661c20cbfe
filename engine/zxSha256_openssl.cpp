// SHA-256 through libcrypto's EVP interface, for native builds.
#include "zxSha256.h"

#include "zxClasses.h"

#include <openssl/evp.h>

namespace {

// libcrypto's SHA-256, fetched once.
const EVP_MD *Sha256() {
  static const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md(
      EVP_MD_fetch(nullptr, "SHA256", nullptr), &EVP_MD_free);
  if (!md) throw EzxError("SHA-256 is not available from libcrypto");
  return md.get();
}

void Check(int ok) {
  if (!ok) throw EzxError("SHA-256 through libcrypto failed");
}

} // namespace

struct TzxSha256::TState {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> Context{EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free};
};

TzxSha256::TzxSha256() : FState(std::make_unique<TState>()) {
  if (!FState->Context) throw std::bad_alloc();
  Reset();
}

TzxSha256::~TzxSha256() = default;

void TzxSha256::Reset() {
  Check(EVP_DigestInit_ex(FState->Context.get(), Sha256(), nullptr));
}

void TzxSha256::Update(const void *data, size_t size) {
  Check(EVP_DigestUpdate(FState->Context.get(), data, size));
}

TzxSha256::TDigest TzxSha256::Final() {
  TDigest out;
  unsigned int n = 0;
  Check(EVP_DigestFinal_ex(FState->Context.get(), out.data(), &n) && n == out.size());
  Reset();
  return out;
}

TzxSha256::TDigest TzxSha256::Digest(const void *data, size_t size) {
  TDigest out;
  unsigned int n = 0;
  Check(EVP_Digest(data, size, out.data(), &n, Sha256(), nullptr) && n == out.size());
  return out;
}
