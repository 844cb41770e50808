// The hold on Windows (under Wine): while a file is held, nobody may write,
// rename, replace or delete it, yet it can still be read and started; and a
// file someone holds open for writing cannot be held.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/held_file.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

void Write(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool CanOpen(const std::wstring& path, DWORD access, DWORD share) {
  HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

TEST(HeldFileWinTest, NobodyWritesRenamesOrDeletesAHeldFile) {
  testing::TempDir dir;
  const std::wstring path = dir.File(L"setup.exe");
  const std::wstring other = dir.File(L"other.exe");
  const std::wstring moved = dir.File(L"moved.exe");
  Write(path, "checked bytes");
  Write(other, "other bytes");
  {
    auto held = CHeldFile::Open(path);
    ASSERT_NE(held, nullptr);
    EXPECT_FALSE(CanOpen(path, GENERIC_WRITE, kShareAll));
    EXPECT_FALSE(CanOpen(path, FILE_APPEND_DATA, kShareAll));
    EXPECT_FALSE(CanOpen(path, DELETE, kShareAll));
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    EXPECT_FALSE(MoveFileExW(path.c_str(), moved.c_str(), 0));
    EXPECT_FALSE(MoveFileExW(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(CopyFileW(other.c_str(), path.c_str(), FALSE));
    // Reading (as process creation does) stays possible.
    EXPECT_TRUE(CanOpen(path, GENERIC_READ, kShareAll));
    EXPECT_TRUE(CanOpen(path, GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ | FILE_SHARE_DELETE));
    EXPECT_TRUE(held->IsNamedBy(path));
  }
  // Released: the file is an ordinary file again.
  EXPECT_TRUE(MoveFileExW(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
}

TEST(HeldFileWinTest, AFileOpenForWritingCannotBeHeld) {
  testing::TempDir dir;
  const std::wstring path = dir.File(L"setup.exe");
  Write(path, "bytes");
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CHeldFile::Open(path), nullptr);
  CloseHandle(writer);
  EXPECT_NE(CHeldFile::Open(path), nullptr);
}

}  // namespace
}  // namespace pelmar
