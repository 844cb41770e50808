// A file only administrators may write, as the elevated installer makes its
// partial download: the access list read back after creation, and the
// sharing that keeps other writers out while the handle lives.
//
// Wine stores an access list with the file and gives it back as set, which
// is what these tests read; it does not enforce it against the user who runs
// it (every Wine process is that user with the same rights), so no test here
// can show a same-user process being refused by the list itself. Only the
// sharing mode is enforced between handles, and that is tested.
#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/admin_only_file.h"
#include "base/file_stream.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

// The file's owner and access list as security descriptor text, read by
// path, independently of the handle the code under test holds.
std::wstring DescriptorText(const std::wstring& path) {
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  (void)GetFileSecurityW(path.c_str(), what, nullptr, 0, &size);
  std::string buffer(size, '\0');
  if (size == 0 || !GetFileSecurityW(path.c_str(), what, buffer.data(), size, &size)) return L"";
  LPWSTR text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer.data(), SDDL_REVISION_1, what,
                                                            &text, nullptr)) {
    return L"";
  }
  std::wstring out = text;
  LocalFree(text);
  return out;
}

bool CanOpen(const std::wstring& path, DWORD access) {
  HANDLE h =
      CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

struct ListCase {
  const char* why;
  bool adminOnly;
  bool leftover;  // a file with other bytes and the folder's list is there first
};

class AdminOnlyFileWinTest : public ::testing::TestWithParam<ListCase> {};

const ListCase kListCases[] = {
    {"asked for, new file: the protected list is set and read back", true, false},
    {"asked for, a leftover file: removed, so its list does not carry over", true, true},
    {"not asked for: the folder's list, never taken as administrators-only", false, false},
    {"not asked for, a leftover file: made anew all the same", false, true},
};

TEST_P(AdminOnlyFileWinTest, ListReadBackAfterCreation) {
  const ListCase& c = GetParam();
  SCOPED_TRACE(c.why);
  testing::TempDir dir;
  const std::wstring path = dir.File(L"setup.exe.part");
  if (c.leftover) {
    std::ofstream(std::filesystem::path(path), std::ios::binary) << "left from before";
  }
  const CreatedFile created = CreateFileKeptFromWriters(path, c.adminOnly);
  ASSERT_NE(created.file, kNoFile);
  CFileStream stream(created.file);
  EXPECT_EQ(stream.GetSize(), 0) << "a leftover file's bytes stayed";
  const std::wstring text = DescriptorText(path);
  ASSERT_FALSE(text.empty());
  SCOPED_TRACE(::testing::PrintToString(std::string(text.begin(), text.end())));
  // Administrators and SYSTEM full control, everyone read and execute, the
  // owner's implicit rights cut to reading the list: nothing else.
  const bool listed = text.find(L"D:P") != std::wstring::npos &&
                      text.find(L"(A;;FA;;;BA)") != std::wstring::npos &&
                      text.find(L"(A;;FA;;;SY)") != std::wstring::npos &&
                      text.find(L";;;WD)") != std::wstring::npos &&
                      text.find(L"(A;;RC;;;OW)") != std::wstring::npos &&
                      std::count(text.begin(), text.end(), L'(') == 4;
  // Wine keeps the list only where the Unix file system takes extended
  // attributes, else it makes one up from the file's mode; either way the
  // answer must be what the file really has, never a claim.
  std::printf("access list %s: %ls\n", listed ? "kept" : "not kept", text.c_str());
  EXPECT_EQ(created.adminOnly, c.adminOnly && listed);
  EXPECT_EQ(OnlyAdministratorsWrite(created.file), listed);
  if (!c.adminOnly) EXPECT_FALSE(listed);
  // The writer's own handle writes; nobody else opens the file for writing,
  // deleting or renaming while it lives, yet it can be read.
  EXPECT_EQ(stream.Write("bytes", 5), 5);
  EXPECT_FALSE(CanOpen(path, GENERIC_WRITE));
  EXPECT_FALSE(CanOpen(path, DELETE));
  EXPECT_FALSE(DeleteFileW(path.c_str()));
  EXPECT_TRUE(CanOpen(path, GENERIC_READ));
}

INSTANTIATE_TEST_SUITE_P(Lists, AdminOnlyFileWinTest, ::testing::ValuesIn(kListCases));

TEST(AdminOnlyFileWinTest, AFileSomeoneHoldsForWritingIsNotMade) {
  testing::TempDir dir;
  const std::wstring path = dir.File(L"setup.exe.part");
  std::ofstream(std::filesystem::path(path), std::ios::binary) << "theirs";
  HANDLE theirs = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(theirs, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileKeptFromWriters(path, true).file, kNoFile);
  CloseHandle(theirs);
  const CreatedFile created = CreateFileKeptFromWriters(path, true);
  EXPECT_NE(created.file, kNoFile);
  CFileStream closes(created.file);
}

}  // namespace
}  // namespace pelmar
