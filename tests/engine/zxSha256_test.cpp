#include "zxSha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(Sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc", 3),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(Sha256Hex(two.data(), two.size()),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // 55, 56 and 64 bytes: the padding needs one block, two blocks, one more.
  EXPECT_EQ(Sha256Hex(std::string(55, 'a').data(), 55),
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(Sha256Hex(std::string(56, 'a').data(), 56),
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
  EXPECT_EQ(Sha256Hex(std::string(64, 'a').data(), 64),
            "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

TEST(Sha256, PiecesGiveTheSameDigestAsTheWhole) {
  const std::string million(1000000, 'a');
  TzxSha256 h;
  for (size_t at = 0, step = 1; at < million.size(); at += step, step = step * 3 % 1000 + 1)
    h.Update(million.data() + at, std::min(step, million.size() - at));
  const std::string digest = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
  EXPECT_EQ(TzxSha256::Hex(h.Final()), digest);
  EXPECT_EQ(Sha256Hex(million.data(), million.size()), digest); // in one piece
  // Final resets: the next digest starts afresh.
  h.Update("abc", 3);
  EXPECT_EQ(TzxSha256::Hex(h.Final()), Sha256Hex("abc", 3));
}
