// SHA-256 written out, for the Win32 build.
#include "zxSha256.h"

#include <cstring>

struct TzxSha256::TState {
  std::array<uint32_t, 8> H{};
  uint8_t Buffer[64] = {};
  size_t Buffered = 0;
  uint64_t Length = 0; // bytes

  void Block(const uint8_t *p);
};

namespace {

constexpr uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t Rotr(uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

} // namespace

TzxSha256::TzxSha256() : FState(std::make_unique<TState>()) {
  Reset();
}

TzxSha256::~TzxSha256() = default;

void TzxSha256::Reset() {
  FState->H = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
               0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  FState->Buffered = 0;
  FState->Length = 0;
}

void TzxSha256::TState::Block(const uint8_t *p) {
  uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 |
           uint32_t(p[4 * i + 3]);
  for (int i = 16; i < 64; ++i) {
    const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = H[0], b = H[1], c = H[2], d = H[3];
  uint32_t e = H[4], f = H[5], g = H[6], h = H[7];
  for (int i = 0; i < 64; ++i) {
    const uint32_t s1 = Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25);
    const uint32_t ch = (e & f) ^ (~e & g);
    const uint32_t t1 = h + s1 + ch + K[i] + w[i];
    const uint32_t s0 = Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22);
    const uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
    const uint32_t t2 = s0 + maj;
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  H[0] += a;
  H[1] += b;
  H[2] += c;
  H[3] += d;
  H[4] += e;
  H[5] += f;
  H[6] += g;
  H[7] += h;
}

void TzxSha256::Update(const void *data, size_t size) {
  TState &st = *FState;
  const uint8_t *p = static_cast<const uint8_t *>(data);
  st.Length += size;
  if (st.Buffered > 0) {
    const size_t n = size < 64 - st.Buffered ? size : 64 - st.Buffered;
    std::memcpy(st.Buffer + st.Buffered, p, n);
    st.Buffered += n;
    p += n;
    size -= n;
    if (st.Buffered < 64) return;
    st.Block(st.Buffer);
    st.Buffered = 0;
  }
  for (; size >= 64; p += 64, size -= 64)
    st.Block(p);
  if (size > 0) std::memcpy(st.Buffer, p, size);
  st.Buffered = size;
}

TzxSha256::TDigest TzxSha256::Final() {
  const uint64_t bits = FState->Length * 8;
  const uint8_t one = 0x80;
  Update(&one, 1);
  const uint8_t zero[64] = {};
  const size_t buffered = FState->Buffered;
  Update(zero, (buffered <= 56 ? 56 - buffered : 120 - buffered));
  uint8_t length[8];
  for (int i = 0; i < 8; ++i)
    length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Update(length, 8);
  TDigest out;
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 4; ++j)
      out[4 * i + j] = static_cast<uint8_t>(FState->H[i] >> (24 - 8 * j));
  Reset();
  return out;
}

TzxSha256::TDigest TzxSha256::Digest(const void *data, size_t size) {
  TzxSha256 h;
  h.Update(data, size);
  return h.Final();
}
