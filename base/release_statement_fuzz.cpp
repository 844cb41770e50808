// Any bytes read as a release statement, and as the detached form: the
// parser either refuses or gives a statement whose canonical text is exactly
// the input (so nothing it accepts can mean two things), and the signature
// check never accepts what no pinned key signed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/release_check.h"
#include "base/release_statement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  pelmar::ReleaseStatement statement;
  if (pelmar::ParseReleaseStatement(text, &statement) == pelmar::ReleaseParseError::kNone) {
    if (pelmar::FormatReleaseStatement(statement) != text) __builtin_trap();
    if (statement.expiresAt <= statement.signedAt || statement.size <= 0) __builtin_trap();
  }
  pelmar::SignedReleaseText release;
  if (pelmar::SplitDetachedRelease(text, &release)) {
    if (pelmar::JoinDetachedRelease(release) != text) __builtin_trap();
    pelmar::ReleaseTrust trust;
    trust.keys.push_back(pelmar::MakerPublicKey{});  // the all-zero key: signs nothing
    trust.product = "morvantile";
    const pelmar::ReleaseVerdict v = pelmar::CheckSignedRelease(release, trust, nullptr);
    if (v == pelmar::ReleaseVerdict::kValid) __builtin_trap();
  }
  return 0;
}
