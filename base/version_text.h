#pragma once

#include <string>
#include <string_view>

namespace pelmar {

// A product version as other programs write it: parts separated by ".", each
// part read like "%lld" (text that is no number counts as 0). The installer
// asks two different questions of such versions, and each has its own rule
// for empty parts and for versions of different length.
class VersionText {
 public:
  explicit VersionText(std::string_view text) : text_(text) {}

  const std::string& text() const { return text_; }

  // Whether this version (a stored setup program's) may stand in for `wanted`:
  // both have the same, non-zero number of non-empty parts and none of ours
  // is smaller than the part of `wanted` at the same place. Not an ordering:
  // it goes part by part, so 2.0 against 1.5 is false.
  bool CoversEveryPartOf(const VersionText& wanted) const;

  // Whether installing this (package) version over `installed` repairs rather
  // than upgrades: the parts both have (empty parts count, as 0) are compared
  // from the first; the first that differs decides (ours smaller: a
  // reinstall), all equal (or none compared) is a reinstall. An empty package
  // version is never a reinstall.
  bool IsReinstallOver(const VersionText& installed) const;

 private:
  std::string text_;
};

}  // namespace pelmar
