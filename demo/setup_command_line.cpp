#include "demo/setup_command_line.h"

#include <array>
#include <cwctype>

namespace pelmar::demo {
namespace {

constexpr std::wstring_view kDirPrefix = L"/DIR=";

struct KnownSwitch {
  std::wstring_view name;
  bool required;
};

// The installer's switches, in the order it writes them.
constexpr std::array<KnownSwitch, 6> kSwitches{{
    {L"/SILENT", true},
    {L"/VERYSILENT", true},
    {L"/SP-", true},
    {L"/noicons", true},
    {L"-noexperience", false},
    {L"-nowelcome", true},
}};
constexpr size_t kNoExperienceIndex = 4;

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t'; }

bool SameIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

bool StartsIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && SameIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// One word: up to the next blank outside double quotes. Returns its end.
size_t WordEnd(std::wstring_view text, size_t start) {
  bool quoted = false;
  size_t i = start;
  for (; i < text.size(); ++i) {
    if (text[i] == L'"') quoted = !quoted;
    if (!quoted && IsSpace(text[i])) break;
  }
  return i;
}

// A word with its double quotes removed, as the Windows argument rules read
// it: a quote only groups blanks into the word. False for an unclosed quote.
bool Unquote(std::wstring_view word, std::wstring* text) {
  bool quoted = false;
  text->clear();
  for (wchar_t c : word) {
    if (c == L'"') {
      quoted = !quoted;
    } else {
      text->push_back(c);
    }
  }
  return !quoted;
}

}  // namespace

std::wstring_view ArgumentsAfterProgram(std::wstring_view command_line) {
  size_t i = 0;
  while (i < command_line.size() && IsSpace(command_line[i])) ++i;
  if (i < command_line.size() && command_line[i] == L'"') {
    const size_t close = command_line.find(L'"', i + 1);
    i = close == std::wstring_view::npos ? command_line.size() : close + 1;
  }
  while (i < command_line.size() && !IsSpace(command_line[i])) ++i;
  return command_line.substr(i);
}

SetupLineError ParseSetupArguments(std::wstring_view arguments, SetupRequest* request) {
  std::array<bool, kSwitches.size()> seen{};
  bool seen_dir = false;
  SetupRequest parsed;
  size_t i = 0;
  while (true) {
    while (i < arguments.size() && IsSpace(arguments[i])) ++i;
    if (i >= arguments.size()) break;
    const size_t end = WordEnd(arguments, i);
    std::wstring word;
    const bool closed = Unquote(arguments.substr(i, end - i), &word);
    i = end;
    if (StartsIgnoringCase(word, kDirPrefix)) {
      if (seen_dir) return SetupLineError::kRepeatedSwitch;
      seen_dir = true;
      parsed.directory = word.substr(kDirPrefix.size());
      if (!closed || parsed.directory.empty()) return SetupLineError::kBadDirectory;
      continue;
    }
    if (!closed) return SetupLineError::kUnknownSwitch;
    size_t k = 0;
    while (k < kSwitches.size() && !SameIgnoringCase(word, kSwitches[k].name)) ++k;
    if (k == kSwitches.size()) return SetupLineError::kUnknownSwitch;
    if (seen[k]) return SetupLineError::kRepeatedSwitch;
    seen[k] = true;
  }
  for (size_t k = 0; k < kSwitches.size(); ++k) {
    if (kSwitches[k].required && !seen[k]) return SetupLineError::kMissingSwitch;
  }
  if (!seen_dir) return SetupLineError::kMissingSwitch;
  parsed.noExperience = seen[kNoExperienceIndex];
  *request = std::move(parsed);
  return SetupLineError::kNone;
}

}  // namespace pelmar::demo
