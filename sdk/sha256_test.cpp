#include "sdk/sha256.h"

#include <gtest/gtest.h>

#include <string>

#include "sdk/envelope.h"
#include "sdk/hmac_sha256.h"

namespace pelmar::vek {
namespace {

std::string Hex(const Digest256& d) { return HexLower(d.data(), d.size()); }

struct HashCase {
  std::string input;
  std::string digest;
};

TEST(Sha256Test, KnownDigests) {
  const HashCase cases[] = {
      // FIPS 180-4 examples and a message crossing the padding boundary.
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input.substr(0, 40));
    EXPECT_EQ(Hex(Sha256::Of(c.input)), c.digest);
    // The same bytes fed in uneven pieces give the same digest.
    Sha256 h;
    size_t pos = 0, step = 1;
    while (pos < c.input.size()) {
      const size_t n = std::min(step, c.input.size() - pos);
      h.Update(c.input.data() + pos, n);
      pos += n;
      step = step * 3 + 1;
    }
    EXPECT_EQ(Hex(h.Finish()), c.digest);
  }
}

struct HmacCase {
  std::string key;
  std::string message;
  std::string mac;
};

TEST(Sha256Test, HmacVectors) {
  const HmacCase cases[] = {
      // RFC 4231 test cases 1, 2 and 6 (key longer than a block).
      {std::string(20, '\x0b'), "Hi There",
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {"Jefe", "what do ya want for nothing?",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(Hex(ReferenceHmacSha256(c.key, c.message)), c.mac);
    // The platform's computation agrees with the reference.
    EXPECT_EQ(Hex(HmacSha256(c.key, c.message)), c.mac);
  }
}

}  // namespace
}  // namespace pelmar::vek
