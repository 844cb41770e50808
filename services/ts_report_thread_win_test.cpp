#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "server_records_test_server.h"
#include "services/ts_report_thread.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

using testing::HttpAnswer;
using testing::ScriptedHttpServer;
using testing::TempDir;
using testing::WaitUntil;

// The test library is built beside the test program.
std::filesystem::path BuiltUserIdLibrary() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path() / L"TSUID.dll";
}

// Owner and access list: the administrators own it and alone may change
// it; everybody may read and run it.
constexpr wchar_t kAdministratorsOnly[] =
    L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)";
// Everybody may change it, as in a folder of the user's.
constexpr wchar_t kAnybodyChanges[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)";

bool SetAccess(const std::filesystem::path& path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return false;
  }
  const BOOL set = SetFileSecurityW(
      path.c_str(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor);
  LocalFree(descriptor);
  return set != FALSE;
}

class UserIdLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(BuiltUserIdLibrary())); }
  // The library in a folder only administrators can change (or, with
  // `sddl`, as that access list says).
  void Install(const wchar_t* sddl = kAdministratorsOnly) {
    std::filesystem::copy_file(BuiltUserIdLibrary(), folder_.path() / L"TSUID.dll");
    ASSERT_TRUE(SetAccess(folder_.path() / L"TSUID.dll", sddl));
    ASSERT_TRUE(SetAccess(folder_.path(), sddl));
  }
  void TearDown() override {
    // Back to an ordinary folder, so the scratch folder can go.
    (void)SetAccess(folder_.path(), kAnybodyChanges);
    (void)SetAccess(folder_.path() / L"TSUID.dll", kAnybodyChanges);
  }
  // Loaded modules of this process named TSUID.dll.
  static bool Loaded() { return GetModuleHandleW(L"TSUID.dll") != nullptr; }

  TempDir folder_;
};

TEST_F(UserIdLibraryTest, ReadsTheIdAndUnloadsTheLibrary) {
  Install();
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide()), "5e0f1d2c3b4a59687766554433221100");
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide() + L"\\"), "5e0f1d2c3b4a59687766554433221100");
  EXPECT_FALSE(Loaded());
}

// The installer carries no copy of this library to check: one in a folder
// others can change is never loaded.
TEST_F(UserIdLibraryTest, ALibraryOthersCanChangeIsNeverLoaded) {
  Install(kAnybodyChanges);
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide()), "");
  EXPECT_FALSE(Loaded());
}

TEST_F(UserIdLibraryTest, AnIdFillingTheWholeBufferIsCutBeforeItsEnd) {
  Install();
  SetEnvironmentVariableA("PELMAR_TSUID_FILL", "1");
  const std::string id = ReadUserIdLibrary(folder_.Wide());
  SetEnvironmentVariableA("PELMAR_TSUID_FILL", nullptr);
  EXPECT_EQ(id, std::string(kTSUidBufferSize - 1, 'f'));
}

TEST_F(UserIdLibraryTest, MissingLibraryOrADirectoryOfThatNameGivesNoId) {
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide()), "");
  std::filesystem::create_directory(folder_.path() / L"TSUID.dll");
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide()), "");
  EXPECT_FALSE(Loaded());
}

TEST_F(UserIdLibraryTest, ReportCarriesTheLibrarysIdAndNoLibraryMeansNoRequest) {
  ScriptedHttpServer server(
      [](int, const std::string&) { return HttpAnswer(200, R"({"code": 0})"); });
  auto settings = [&] {
    TSReportSettings s;
    s.attribution = {"127.0.0.1", server.Port()};
    s.hostText = "tessel.test";
    s.retryPauseMs = 5;
    const std::wstring folder = folder_.Wide();
    s.userId = [folder] { return ReadUserIdLibrary(folder); };
    s.appName = [] { return std::string("Morvantile"); };
    s.channel = [] { return std::string("c"); };
    s.machineHash = [] { return std::string("h"); };
    s.mid = [] { return std::string("m"); };
    s.version = [] { return std::string("1.0.0.1"); };
    return s;
  };
  {
    CTSReportThread report(settings());
    ASSERT_TRUE(WaitUntil([&] { return !report.IsRunning(); }));
    EXPECT_EQ(report.LastFailure(), "get uid or product_name failed");
  }
  EXPECT_EQ(server.Requests(), 0);

  Install();
  CTSReportThread report(settings());
  ASSERT_TRUE(WaitUntil([&] { return !report.IsRunning(); }));
  EXPECT_EQ(report.ExitCode(), 0u) << report.LastFailure();
  ASSERT_EQ(server.Requests(), 1);
  EXPECT_NE(server.Received()[0].find("name=\"uid\"\r\n\r\n5e0f1d2c3b4a59687766554433221100\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace pelmar
