#include "sdk/hmac_sha256.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>

// The headers offer SHA-256 only when targeting Vista; XP SP3's AES provider
// has it too (the value is the documented one).
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)
#endif

namespace pelmar::vek {

namespace {

class Provider {
 public:
  Provider() {
    if (!CryptAcquireContextW(&handle_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
      handle_ = 0;
  }
  ~Provider() {
    if (handle_) CryptReleaseContext(handle_, 0);
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  HCRYPTPROV get() const { return handle_; }

 private:
  HCRYPTPROV handle_ = 0;
};

class Hash {
 public:
  explicit Hash(HCRYPTPROV provider) {
    if (!provider || !CryptCreateHash(provider, CALG_SHA_256, 0, 0, &handle_)) handle_ = 0;
  }
  ~Hash() {
    if (handle_) CryptDestroyHash(handle_);
  }
  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;
  bool ok() const { return handle_ != 0; }
  bool Update(const void* data, size_t size) {
    // CryptHashData takes a DWORD length; messages here are far below 4 GiB.
    return CryptHashData(handle_, static_cast<const BYTE*>(data), static_cast<DWORD>(size), 0);
  }
  bool Finish(Digest256* out) {
    DWORD size = static_cast<DWORD>(out->size());
    return CryptGetHashParam(handle_, HP_HASHVAL, out->data(), &size, 0) && size == out->size();
  }

 private:
  HCRYPTHASH handle_ = 0;
};

bool PlatformSha256(HCRYPTPROV provider, const void* a, size_t aSize, const void* b, size_t bSize,
                    Digest256* out) {
  Hash hash(provider);
  return hash.ok() && hash.Update(a, aSize) && hash.Update(b, bSize) && hash.Finish(out);
}

}  // namespace

Digest256 HmacSha256(std::string_view key, std::string_view message) {
  Provider provider;
  uint8_t block[64] = {};
  if (key.size() > 64) {
    Digest256 k{};
    if (!PlatformSha256(provider.get(), key.data(), key.size(), nullptr, 0, &k))
      return ReferenceHmacSha256(key, message);
    std::memcpy(block, k.data(), k.size());
  } else if (!key.empty()) {
    std::memcpy(block, key.data(), key.size());
  }
  uint8_t ipad[64], opad[64];
  for (int i = 0; i < 64; ++i) {
    ipad[i] = block[i] ^ 0x36;
    opad[i] = block[i] ^ 0x5c;
  }
  Digest256 inner{}, outer{};
  if (!PlatformSha256(provider.get(), ipad, 64, message.data(), message.size(), &inner) ||
      !PlatformSha256(provider.get(), opad, 64, inner.data(), inner.size(), &outer))
    return ReferenceHmacSha256(key, message);
  return outer;
}

}  // namespace pelmar::vek
