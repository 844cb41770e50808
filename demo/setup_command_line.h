#pragma once

#include <string>
#include <string_view>

namespace pelmar::demo {

// What the installer asks of the setup program. The installer always passes
// the same switches; anything else on the line is a caller we do not know,
// and installing on its behalf could put the product where nobody expects.
struct SetupRequest {
  std::wstring directory;  // as given after "/DIR=", quotes removed
  bool noExperience = false;
};

enum class SetupLineError {
  kNone,
  kUnknownSwitch,   // a word that is not one of the installer's switches
  kRepeatedSwitch,  // a switch given twice
  kMissingSwitch,   // a required switch is absent
  kBadDirectory,    // "/DIR=" without a value, or with an unclosed quote
};

// Parses the arguments after the program name (switches compared without
// regard to case, as setup programs of this kind do). Exactly these are
// accepted, each once, in any order:
//   /SILENT /VERYSILENT /SP- /noicons [-noexperience] -nowelcome /DIR="<dir>"
[[nodiscard]] SetupLineError ParseSetupArguments(std::wstring_view arguments,
                                                 SetupRequest* request);

// The part of a full process command line after the program name, which may
// be quoted ("C:\a b\setup.exe" /SILENT ...).
std::wstring_view ArgumentsAfterProgram(std::wstring_view command_line);

}  // namespace pelmar::demo
