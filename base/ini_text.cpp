#include "base/ini_text.h"

namespace pelmar {
namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The section name of a "[name]" line, or nullopt for other lines.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// Whether a line inside a section sets `key`; `value` receives its raw value.
bool LineSetsKey(std::string_view line, std::string_view key, std::string_view* value) {
  if (line.size() > IniText::kMaxLineBytes) return false;
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  if (!EqualNoCase(Trim(line.substr(0, eq)), key)) return false;
  if (value != nullptr) *value = line.substr(eq + 1);
  return true;
}

}  // namespace

IniText::IniText(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
    byte_order_mark_ = true;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    start = end + 1;
  }
}

size_t IniText::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].size() > kMaxLineBytes) continue;
    const auto name = SectionOf(lines_[i]);
    if (name && EqualNoCase(*name, section)) return i;
  }
  return kNone;
}

std::optional<std::string> IniText::Get(std::string_view section, std::string_view key) const {
  const size_t header = FindSection(section);
  if (header == kNone) return std::nullopt;
  for (size_t i = header + 1; i < lines_.size(); ++i) {
    if (lines_[i].size() <= kMaxLineBytes && SectionOf(lines_[i])) break;
    std::string_view raw;
    if (LineSetsKey(lines_[i], key, &raw)) {
      raw = Trim(raw);
      if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') &&
          raw.back() == raw.front()) {
        raw = raw.substr(1, raw.size() - 2);
      }
      return std::string(raw);
    }
  }
  return std::nullopt;
}

void IniText::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string line(key);
  line.push_back('=');
  for (char c : value) line.push_back(c == '\r' || c == '\n' ? ' ' : c);

  size_t header = FindSection(section);
  if (header == kNone) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(std::move(line));
    return;
  }
  size_t last_in_section = header;
  for (size_t i = header + 1; i < lines_.size(); ++i) {
    if (lines_[i].size() <= kMaxLineBytes && SectionOf(lines_[i])) break;
    if (LineSetsKey(lines_[i], key, nullptr)) {
      lines_[i] = std::move(line);
      return;
    }
    if (!Trim(lines_[i]).empty()) last_in_section = i;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last_in_section + 1), std::move(line));
}

std::string IniText::Text() const {
  // The mark goes back where it was, so a second mark behind it stays text.
  std::string text = byte_order_mark_ ? "\xEF\xBB\xBF" : "";
  for (const auto& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace pelmar
