#include "base/version_text.h"

#include <vector>

#include "base/number_text.h"
#include "base/text_split.h"

namespace pelmar {

bool VersionText::CoversEveryPartOf(const VersionText& wanted) const {
  const std::vector<std::string_view> ours = SplitDroppingEmpty(text_, '.');
  const std::vector<std::string_view> theirs = SplitDroppingEmpty(wanted.text_, '.');
  if (ours.empty() || ours.size() != theirs.size()) return false;
  for (size_t i = 0; i < ours.size(); ++i) {
    if (ParseDecimalLikeScanf(ours[i]) < ParseDecimalLikeScanf(theirs[i])) return false;
  }
  return true;
}

bool VersionText::IsReinstallOver(const VersionText& installed) const {
  if (text_.empty()) return false;
  const std::vector<std::string_view> ours = SplitKeepingEmpty(text_, '.');
  const std::vector<std::string_view> theirs = SplitKeepingEmpty(installed.text_, '.');
  const size_t count = ours.size() < theirs.size() ? ours.size() : theirs.size();
  for (size_t i = 0; i < count; ++i) {
    const int64_t p = ParseDecimalLikeScanf(ours[i]);
    const int64_t v = ParseDecimalLikeScanf(theirs[i]);
    if (p != v) return p < v;
  }
  return true;
}

}  // namespace pelmar
