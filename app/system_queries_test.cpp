#include "app/system_queries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/path_rules.h"
#include "base/testing/recording_event_sink.h"
#include "base/text_convert.h"
#include "product_bitness.h"

namespace pelmar {
namespace {

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

TEST(SystemQueriesTest, VolumesOfThePrefix) {
  const auto paths = AllVolumeMountPaths();
  ASSERT_FALSE(paths.empty());
  EXPECT_NE(std::find(paths.begin(), paths.end(), L"C:\\"), paths.end());
  for (const auto& p : paths) {
    SCOPED_TRACE(Utf8FromWide(p));
    EXPECT_EQ(p.back(), L'\\');
  }

  const std::wstring best = BestVolumeRoot();
  ASSERT_FALSE(best.empty());
  EXPECT_EQ(best.back(), L'\\');
  // The chosen root has the most room: every volume of the project's prefix
  // takes a folder (C: and the host's root as Z:). Free space moves while
  // other programs write, hence the margin.
  const uint64_t kMargin = uint64_t{1} << 30;
  const uint64_t best_free = FreeSpace(best);
  EXPECT_GT(best_free, 0u);
  uint64_t most = 0;
  for (const auto& p : paths) most = std::max(most, FreeSpace(p));
  EXPECT_LE(best_free, most + kMargin);
  EXPECT_GE(best_free + kMargin, most);
  // The probe folder does not stay behind.
  EXPECT_FALSE(DirectoryExists(best + L"PelmarPkg") && best != L"C:\\");
}

TEST(SystemQueriesTest, FreeSpaceByDriveType) {
  EXPECT_GT(FreeSpace(L"C:\\"), 0u);
  // Measured on the path's volume. Other programs write meanwhile, so the two
  // looks agree only within a margin.
  const uint64_t kMargin = uint64_t{1} << 30;
  const uint64_t in_dir = FreeSpace(L"C:\\Windows");
  const uint64_t at_root = FreeSpace(L"C:\\");
  EXPECT_LE(in_dir, at_root + kMargin);
  EXPECT_LE(at_root, in_dir + kMargin);
  // A letter no drive uses: unknown type, 0.
  std::wstring unused;
  const DWORD drives = GetLogicalDrives();
  for (wchar_t letter = L'Q'; letter <= L'Y' && unused.empty(); ++letter) {
    if ((drives & (1u << (letter - L'A'))) == 0) unused = std::wstring(1, letter) + L":\\";
  }
  ASSERT_FALSE(unused.empty());
  EXPECT_EQ(FreeSpace(unused + L"dir"), 0u);
}

TEST(SystemQueriesTest, DefaultInstallLocation) {
  RecordingEventSink events;
  const CInstallTarget nothing_needed([] { return int64_t{0}; }, &FreeSpace);
  const std::wstring location = DefaultInstallLocation(nothing_needed, events);
  EXPECT_FALSE(location.empty());
  EXPECT_TRUE(DirectoryExists(location));
  // Where the 32-bit product goes, from either build.
  EXPECT_EQ(Lower(location), Lower(test::kProductProgramFiles))
      << Utf8FromWide(location) << " in the " << test::kBuildName;
  EXPECT_EQ(Lower(ProgramFilesFolder()), Lower(test::kProductProgramFiles));
  EXPECT_TRUE(events.Events().empty());

  // No volume has room for this: empty, and the failure is reported.
  const CInstallTarget too_big([] { return INT64_MAX; }, &FreeSpace);
  EXPECT_EQ(DefaultInstallLocation(too_big, events), L"");
  const auto reported = events.Events();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].name, "vInstallPathError");
  EXPECT_EQ(
      reported[0].strings,
      (std::map<std::string, std::string>{{"error_status",
                                           "\xE6\x9C\x80\xE5\xA4\xA7\xE7\xA3\x81\xE7\x9B\x98"
                                           "\xE7\xA9\xBA\xE9\x97\xB4\xE4\xB8\x8D\xE8\xB6\xB3"}}));
  EXPECT_TRUE(reported[0].ints.empty());
  EXPECT_TRUE(reported[0].bools.empty());
}

TEST(SystemQueriesTest, Processes) {
  const std::wstring self = ModulePath();
  std::wstring image;
  ASSERT_TRUE(ProcessImagePath(GetCurrentProcessId(), &image));
  EXPECT_EQ(Lower(image), Lower(self));

  // A suspended child of ours: its parent is this process.
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  std::wstring command = L"\"" + self + L"\" --gtest_list_tests";
  ASSERT_TRUE(CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, FALSE,
                             CREATE_SUSPENDED, nullptr, nullptr, &startup, &child));
  DWORD parent = 0;
  EXPECT_TRUE(ParentProcessId(child.dwProcessId, &parent));
  EXPECT_EQ(parent, GetCurrentProcessId());
  std::wstring child_image;
  EXPECT_TRUE(ProcessImagePath(child.dwProcessId, &child_image));
  EXPECT_EQ(Lower(child_image), Lower(self));
  const std::wstring name = Lower(FileNameOf(self));
  const auto matching =
      ProcessesMatching([&](const std::wstring& exe) { return Lower(exe) == name; });
  const auto has = [&](DWORD pid) {
    return std::any_of(matching.begin(), matching.end(),
                       [&](const ProcessEntry& e) { return e.pid == pid; });
  };
  EXPECT_TRUE(has(GetCurrentProcessId()));
  EXPECT_TRUE(has(child.dwProcessId));
  TerminateProcess(child.hProcess, 0);
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);

  EXPECT_FALSE(ParentProcessId(0xFFFFFFF0u, &parent));
  EXPECT_FALSE(ProcessImagePath(0xFFFFFFF0u, &image));
  std::function<bool(const std::wstring&)> never = [](const std::wstring&) { return false; };
  EXPECT_FALSE(never(L"rpcss.exe"));
  const auto none = ProcessesMatching([](const std::wstring&) { return false; });
  for (const auto& e : none) ADD_FAILURE() << e.pid << " " << Utf8FromWide(e.exe_name);
  for (const auto& e : none) ADD_FAILURE() << e.pid << " " << Utf8FromWide(e.exe_name);
}

TEST(SystemQueriesTest, MountPathsOfUnknownVolume) {
  EXPECT_TRUE(VolumeMountPaths(L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\").empty());
}

}  // namespace
}  // namespace pelmar
