// Removing a folder of ours when somebody has put a junction in its place:
// the junction goes, what it points to stays.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/text_convert.h"
#include "base/win/scoped_handle.h"
#include "base/testing/wait_until.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

// The mount-point reparse data a junction holds (not in every header set).
struct MountPointBuffer {
  DWORD tag;
  WORD dataLength;
  WORD reserved;
  WORD substituteOffset;
  WORD substituteLength;
  WORD printOffset;
  WORD printLength;
  wchar_t paths[1];
};

// Makes `link` (a new, empty folder) a junction to the folder `target`.
bool MakeJunction(const std::wstring& link, const std::wstring& target) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
  win::ScopedHandle dir(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
  if (!dir) return false;
  const std::wstring substitute = L"\\??\\" + target;
  const size_t substituteBytes = substitute.size() * sizeof(wchar_t);
  const size_t printBytes = target.size() * sizeof(wchar_t);
  std::vector<BYTE> buffer(sizeof(MountPointBuffer) + substituteBytes + printBytes + 8);
  auto* data = reinterpret_cast<MountPointBuffer*>(buffer.data());
  data->tag = IO_REPARSE_TAG_MOUNT_POINT;
  data->substituteOffset = 0;
  data->substituteLength = static_cast<WORD>(substituteBytes);
  data->printOffset = static_cast<WORD>(substituteBytes + sizeof(wchar_t));
  data->printLength = static_cast<WORD>(printBytes);
  memcpy(data->paths, substitute.c_str(), substituteBytes + sizeof(wchar_t));
  memcpy(reinterpret_cast<BYTE*>(data->paths) + data->printOffset, target.c_str(),
         printBytes + sizeof(wchar_t));
  data->dataLength =
      static_cast<WORD>(4 * sizeof(WORD) + substituteBytes + printBytes + 2 * sizeof(wchar_t));
  const DWORD total = static_cast<DWORD>(8 + data->dataLength);
  DWORD returned = 0;
  return DeviceIoControl(dir.get(), FSCTL_SET_REPARSE_POINT, data, total, nullptr, 0, &returned,
                         nullptr) != FALSE;
}

std::wstring Join(const std::wstring& a, const wchar_t* b) { return a + L"\\" + b; }

// Wine before 9 has no reparse points: there a link to a folder is a
// symbolic link of the host's file system, which Wine follows like a
// junction. Made with the host's "ln"; false where that is not possible.
std::string HostPath(const std::wstring& path) {
  using UnixNameFn = char*(CDECL*)(const wchar_t*);
  const auto unix_name = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unix_name == nullptr) return {};
  char* name = unix_name(path.c_str());
  if (name == nullptr) return {};
  std::string out(name);
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}

// Runs a host shell command from inside Wine; true when it exited with 0.
bool RunHost(const std::string& script, const std::wstring& marker_path) {
  const std::string marker = HostPath(marker_path);
  if (marker.empty()) return false;
  const std::string line = script + "; echo $? > '" + marker + "'";
  std::wstring command = L"/bin/sh -c \"" + WideFromUtf8(line) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  std::string status;
  const bool written = testing::WaitUntil(
      [&] {
        std::ifstream in{std::filesystem::path(marker_path)};
        return static_cast<bool>(std::getline(in, status));
      },
      std::chrono::seconds(20));
  if (!written) return false;
  DeleteFileW(marker_path.c_str());
  return status == "0";
}

bool MakeHostLink(const std::wstring& link, const std::wstring& target) {
  const std::string from = HostPath(target), to = HostPath(link);
  if (from.empty() || to.empty()) return false;
  return RunHost("ln -s '" + from + "' '" + to + "'", link + L".status");
}

// Removes a host link itself (the test's own clean-up).
void RemoveHostLink(const std::wstring& link) {
  const std::string path = HostPath(link);
  if (!path.empty())
    (void)RunHost("[ ! -L '" + path + "' ] || rm '" + path + "'", link + L".status");
}

// A junction where the system has them, else the host's link; `host` tells
// which it is.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target, bool* host) {
  *host = false;
  if (MakeJunction(link, target)) return true;
  RemoveDirectoryW(link.c_str());
  *host = true;
  return MakeHostLink(link, target);
}

class JunctionRemovalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target_ = Join(dir_.Wide(), L"precious");
    ASSERT_TRUE(CreateDirectoryW(target_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Join(target_, L"sub").c_str(), nullptr));
    std::ofstream(std::filesystem::path(Join(target_, L"keep.txt"))) << "keep";
    std::ofstream(std::filesystem::path(Join(Join(target_, L"sub"), L"deep.txt"))) << "deep";
  }
  void TearDown() override {
    // A link left behind must not lead the scratch folder's removal into
    // the target.
    for (const wchar_t* link : {L"PelmarPkg_cache\\images", L"PelmarPkg_cache"}) {
      const std::wstring path = Join(dir_.Wide(), link);
      if (hostLink_) {
        RemoveHostLink(path);
      } else if (!RemoveDirectoryW(path.c_str())) {
        DeleteFileW(path.c_str());
      }
    }
  }
  void ExpectTargetWhole() {
    EXPECT_TRUE(FileExists(Join(target_, L"keep.txt")));
    EXPECT_TRUE(FileExists(Join(Join(target_, L"sub"), L"deep.txt")));
  }

  testing::TempDir dir_;
  std::wstring target_;
  // Wine before 9 has no junctions: the host's link stands in, which Wine
  // cannot remove itself (only not follow).
  bool hostLink_ = false;
};

// The run cache folder swapped for a junction before the installer ends.
TEST_F(JunctionRemovalTest, JunctionInPlaceOfTheFolderIsRemovedNotFollowed) {
  const std::wstring cache = Join(dir_.Wide(), L"PelmarPkg_cache");
  ASSERT_TRUE(MakeFolderLink(cache, target_, &hostLink_)) << "links: error " << GetLastError();
  ASSERT_TRUE(FileExists(Join(cache, L"keep.txt")));  // the link leads there
  (void)RemoveDirectoryTree(cache + L"\\");
  if (!hostLink_) EXPECT_FALSE(DirectoryExists(cache));
  ExpectTargetWhole();
}

// A junction inside the folder: the folder goes, the junction with it, and
// what it points to stays.
TEST_F(JunctionRemovalTest, JunctionInsideTheFolderIsRemovedNotFollowed) {
  const std::wstring cache = Join(dir_.Wide(), L"PelmarPkg_cache");
  ASSERT_TRUE(CreateDirectoryW(cache.c_str(), nullptr));
  std::ofstream(std::filesystem::path(Join(cache, L"a.png"))) << "a";
  ASSERT_TRUE(MakeFolderLink(Join(cache, L"images"), target_, &hostLink_))
      << "error " << GetLastError();
  const bool removed = RemoveDirectoryTree(cache);
  if (!hostLink_) {
    EXPECT_TRUE(removed);
    EXPECT_FALSE(DirectoryExists(cache));
  }
  EXPECT_FALSE(FileExists(Join(cache, L"a.png")));
  ExpectTargetWhole();
}

}  // namespace
}  // namespace pelmar
