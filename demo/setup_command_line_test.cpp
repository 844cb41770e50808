#include "demo/setup_command_line.h"

#include <gtest/gtest.h>

namespace pelmar::demo {
namespace {

struct LineCase {
  const wchar_t* arguments;
  SetupLineError error;
  const wchar_t* directory;  // expected when accepted
  bool noExperience;
};

const LineCase kLineCases[] = {
    // What the installer writes, with and without the experience switch.
    {L" /SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=\"C:\\Program "
     L"Files\\Pelmar\\Morvantile\"",
     SetupLineError::kNone, L"C:\\Program Files\\Pelmar\\Morvantile", false},
    {L" /SILENT /VERYSILENT /SP- /noicons -noexperience -nowelcome /DIR=\"D:\\m\"",
     SetupLineError::kNone, L"D:\\m", true},
    // Case and order do not matter; extra blanks do not either.
    {L"  /dir=\"D:\\m\"\t-NOWELCOME /noIcons  /sp- /verysilent /silent ", SetupLineError::kNone,
     L"D:\\m", false},
    // An unquoted directory without blanks.
    {L"/SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=D:\\m", SetupLineError::kNone, L"D:\\m",
     false},
    // Anything the installer never writes.
    {L"/SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=\"D:\\m\" /TASKS=x",
     SetupLineError::kUnknownSwitch, nullptr, false},
    {L"/SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=\"D:\\m\" extra",
     SetupLineError::kUnknownSwitch, nullptr, false},
    {L"/SILENT /VERYSILENT /SP- /noicons /nowelcome /DIR=\"D:\\m\"", SetupLineError::kUnknownSwitch,
     nullptr, false},
    {L"/SILENT /SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=\"D:\\m\"",
     SetupLineError::kRepeatedSwitch, nullptr, false},
    {L"/SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=\"D:\\m\" /DIR=\"E:\\m\"",
     SetupLineError::kRepeatedSwitch, nullptr, false},
    {L"/SILENT /VERYSILENT /SP- /noicons -nowelcome", SetupLineError::kMissingSwitch, nullptr,
     false},
    {L"/VERYSILENT /SP- /noicons -nowelcome /DIR=\"D:\\m\"", SetupLineError::kMissingSwitch,
     nullptr, false},
    {L"", SetupLineError::kMissingSwitch, nullptr, false},
    // A directory that is empty or unclosed.
    {L"/SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=\"\"", SetupLineError::kBadDirectory,
     nullptr, false},
    {L"/SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=", SetupLineError::kBadDirectory, nullptr,
     false},
    {L"/SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=\"D:\\m", SetupLineError::kBadDirectory,
     nullptr, false},
    // Quotes only group blanks, as in any Windows argument: the whole word
    // may be quoted (a shell does that), and text may follow a quote.
    {L"/SILENT /VERYSILENT /SP- /noicons -nowelcome \"/DIR=D:\\a b\"", SetupLineError::kNone,
     L"D:\\a b", false},
    {L"/SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=\"D:\\m\"x", SetupLineError::kNone,
     L"D:\\mx", false},
    {L"/SILENT /VERYSILENT /SP- \"/noicons\" -nowelcome /DIR=D:\\m", SetupLineError::kNone,
     L"D:\\m", false},
    {L"/SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=\"D:\\a b\" \"/SILENT",
     SetupLineError::kUnknownSwitch, nullptr, false},
    {L"/SILENT /VERYSILENT /SP- /noicons \"-nowelcome /DIR=D:\\m", SetupLineError::kUnknownSwitch,
     nullptr, false},
};

class SetupLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(SetupLineTest, AcceptsOnlyTheInstallersLine) {
  const LineCase& c = GetParam();
  SetupRequest request;
  request.directory = L"untouched";
  EXPECT_EQ(ParseSetupArguments(c.arguments, &request), c.error);
  if (c.error == SetupLineError::kNone) {
    EXPECT_EQ(request.directory, c.directory);
    EXPECT_EQ(request.noExperience, c.noExperience);
  } else {
    EXPECT_EQ(request.directory, L"untouched");  // a refused line changes nothing
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, SetupLineTest, ::testing::ValuesIn(kLineCases));

TEST(SetupLineTest, ProgramNameIsSkipped) {
  const struct {
    const wchar_t* line;
    const wchar_t* arguments;
  } cases[] = {
      {L"\"C:\\a b\\setup.exe\" /SILENT", L" /SILENT"},
      {L"C:\\ab\\setup.exe /SILENT", L" /SILENT"},
      {L"  setup.exe", L""},
      {L"\"C:\\a b\\setup.exe", L""},  // unclosed quote: nothing follows
      {L"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.line)));
    EXPECT_EQ(ArgumentsAfterProgram(c.line), std::wstring_view(c.arguments));
  }
}

}  // namespace
}  // namespace pelmar::demo
