#include "base/download_digests.h"

#include <sodium.h>

#include <vector>

#include "base/held_file.h"

namespace pelmar {

struct CDownloadDigests::Sha256State {
  crypto_hash_sha256_state state;
};

CDownloadDigests::CDownloadDigests() : sha256_state_(std::make_unique<Sha256State>()) {
  // SHA-256 needs no library initialisation beyond its own state.
  crypto_hash_sha256_init(&sha256_state_->state);
}

CDownloadDigests::~CDownloadDigests() = default;

void CDownloadDigests::Update(const void* data, size_t size) {
  if (size == 0) return;
  md5_state_.Update(data, size);
  crypto_hash_sha256_update(&sha256_state_->state, static_cast<const unsigned char*>(data), size);
  size_ += static_cast<int64_t>(size);
}

void CDownloadDigests::Finish() {
  const std::string md5 = md5_state_.FinalText();
  md5_ = size_ > 0 ? md5 : std::string();
  crypto_hash_sha256_final(&sha256_state_->state, sha256_.data());
}

bool DigestHeldFile(CHeldFile& file, CDownloadDigests* digests) {
  if (!file.Rewind()) return false;
  std::vector<unsigned char> piece(kDigestPieceBytes);
  for (;;) {
    const int64_t got = file.Read(piece.data(), piece.size());
    if (got < 0) return false;
    if (got == 0) break;
    digests->Update(piece.data(), static_cast<size_t>(got));
  }
  digests->Finish();
  return true;
}

}  // namespace pelmar
