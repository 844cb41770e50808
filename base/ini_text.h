#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// The text of an INI file held as its lines, so that writing one key keeps
// every other line (comments, other sections, lines it cannot read) as it was.
// Sections and keys match without regard to ASCII case, values lose the
// blanks around them and one pair of enclosing quotes, as the platform's
// private-profile reader does. UTF-8 text; a leading byte-order mark is
// kept apart and written back.
class IniText {
 public:
  // Larger files are not ours to rewrite; the reader treats them as absent.
  static constexpr size_t kMaxBytes = 1 << 20;
  // Longest line read; longer lines are kept but never match.
  static constexpr size_t kMaxLineBytes = 64 * 1024;

  IniText() = default;
  explicit IniText(std::string_view text);

  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // Replaces the key's line or adds one (and the section when missing). Line
  // breaks inside the value become blanks so a value cannot add lines.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  std::string Text() const;

 private:
  // Index of the section's header line, or npos.
  size_t FindSection(std::string_view section) const;

  std::vector<std::string> lines_;
  bool byte_order_mark_ = false;
};

}  // namespace pelmar
