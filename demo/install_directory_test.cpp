#include "demo/install_directory.h"

#include <gtest/gtest.h>

namespace pelmar::demo {
namespace {

struct DirectoryCase {
  const wchar_t* value;
  const wchar_t* resolved;  // empty: refused
};

const DirectoryCase kCases[] = {
    {L"C:\\Program Files (x86)\\Pelmar\\Morvantile",
     L"C:\\Program Files (x86)\\Pelmar\\Morvantile"},
    {L"C:\\", L"C:\\"},
    {L"d:/games//Morvantile/", L"d:\\games\\Morvantile"},
    {L"C:\\a\\.\\b\\..\\c", L"C:\\a\\c"},
    // ".." is resolved first: the product goes where the text really leads.
    {L"C:\\Pelmar\\Morvantile\\..\\..\\Windows", L"C:\\Windows"},
    {L"C:\\a\\..", L"C:\\"},
    // Above the drive root.
    {L"C:\\..", L""},
    {L"C:\\a\\..\\..\\b", L""},
    // Relative in every Windows sense.
    {L"", L""},
    {L"Morvantile", L""},
    {L"..\\Morvantile", L""},
    {L"\\Morvantile", L""},
    {L"C:Morvantile", L""},
    {L"C:", L""},
    {L"\\\\server\\share\\m", L""},
    {L"\\\\?\\C:\\m", L""},
    // Names Windows would change or refuse.
    {L"C:\\a\\b.", L""},
    {L"C:\\a\\...\\b", L""},
    {L"C:\\a \\b", L""},
    {L"C:\\a\\b:c", L""},
    {L"C:\\a\\b*", L""},
    {L"C:\\a\\b\"", L""},
    {L"C:\\a\\b\x01", L""},
};

class InstallDirectoryTest : public ::testing::TestWithParam<DirectoryCase> {};

TEST_P(InstallDirectoryTest, ResolvesOrRefuses) {
  EXPECT_EQ(ResolveInstallDirectory(GetParam().value), GetParam().resolved);
}

INSTANTIATE_TEST_SUITE_P(Values, InstallDirectoryTest, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace pelmar::demo
