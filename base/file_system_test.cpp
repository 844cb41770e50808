#include "base/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/text_convert.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

std::filesystem::path Fs(const std::wstring& path) {
  return std::filesystem::u8path(Utf8FromWide(path));
}

std::wstring Join(std::wstring a, const std::wstring& b) { return a + kPathSeparator + b; }

TEST(FileSystemTest, ExistsAndCreate) {
  testing::TempDir dir;
  // Spaces, non-ASCII and a long component (the whole path stays below the
  // classic 260-character limit).
  const std::wstring long_name(120, L'n');
  const std::wstring deep = Join(Join(Join(dir.Wide(), L"a b"), L"\x5B89\x88C5 \x00E9"), long_name);
  EXPECT_FALSE(DirectoryExists(deep));
  EXPECT_TRUE(CreateDirectories(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_FALSE(FileExists(deep));
  EXPECT_TRUE(CreateDirectories(deep + kPathSeparator));  // exists already; trailing separator

  const std::wstring file = Join(deep, L"f \x6587.txt");
  std::ofstream(Fs(file)) << "x";
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  // A file in the way of a level fails the creation.
  EXPECT_FALSE(CreateDirectories(Join(file, L"sub")));
  EXPECT_FALSE(FileExists(L""));
  EXPECT_FALSE(DirectoryExists(L""));
  EXPECT_FALSE(CreateDirectories(L""));
}

TEST(FileSystemTest, RemoveTree) {
  testing::TempDir dir;
  const std::wstring root = Join(dir.Wide(), L"PelmarPkg_123");
  ASSERT_TRUE(CreateDirectories(Join(Join(root, L"skin"), L"\x5B50 dir")));
  std::ofstream(Fs(Join(root, L"a.png"))) << "a";
  std::ofstream(Fs(Join(Join(root, L"skin"), L"b.png"))) << "b";
  std::ofstream(Fs(Join(Join(Join(root, L"skin"), L"\x5B50 dir"), L"c"))) << "c";
  EXPECT_TRUE(RemoveDirectoryTree(root + kPathSeparator));
  EXPECT_FALSE(DirectoryExists(root));
  EXPECT_TRUE(DirectoryExists(dir.Wide()));
  EXPECT_FALSE(RemoveDirectoryTree(root));  // gone already
}

TEST(FileSystemTest, FreeSpaceAndDataDirectories) {
  testing::TempDir dir;
  EXPECT_GT(FreeSpace(dir.Wide()), 0u);
  EXPECT_EQ(FreeSpace(L""), 0u);

  const std::wstring maker = MakerDataDirectory();
  ASSERT_FALSE(maker.empty());
  EXPECT_EQ(maker.back(), kPathSeparator);
  EXPECT_TRUE(DirectoryExists(maker));
  EXPECT_EQ(maker.substr(maker.size() - 10), std::wstring(L"PelmarPkg") + kPathSeparator);
  EXPECT_EQ(MakerDataDirectory(), maker);  // cached
  EXPECT_EQ(ProductDataDirectory(), maker + L"MORVANTILE" + kPathSeparator);

  const std::wstring self = ModulePath();
  EXPECT_TRUE(FileExists(self)) << Utf8FromWide(self);
}

}  // namespace
}  // namespace pelmar
