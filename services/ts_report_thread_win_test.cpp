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

// The tests of reading the id judge the folder as if only administrators
// could change it: Wine derives every file's owner and access list from the
// host's file modes, so no folder there is one of the administrators'. How
// an access list is judged is tested on its own below.
bool AsAdministratorsOnly(const std::wstring&) { return true; }

class UserIdLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(BuiltUserIdLibrary())); }
  void Install() {
    std::filesystem::copy_file(BuiltUserIdLibrary(), folder_.path() / L"TSUID.dll");
  }
  // Loaded modules of this process named TSUID.dll.
  static bool Loaded() { return GetModuleHandleW(L"TSUID.dll") != nullptr; }

  TempDir folder_;
};

TEST_F(UserIdLibraryTest, ReadsTheIdAndUnloadsTheLibrary) {
  Install();
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide(), AsAdministratorsOnly),
            "5e0f1d2c3b4a59687766554433221100");
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide() + L"\\", AsAdministratorsOnly),
            "5e0f1d2c3b4a59687766554433221100");
  EXPECT_FALSE(Loaded());
}

// The installer carries no copy of this library to check: one in a folder
// of the user's (a scratch folder here, as the SDK folder is) is never loaded.
TEST_F(UserIdLibraryTest, ALibraryOthersCanChangeIsNeverLoaded) {
  Install();
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide()), "");
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide() + L"\\"), "");
  EXPECT_FALSE(Loaded());
  // The same library where the judge allows it is read: only the judge said no.
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide(), AsAdministratorsOnly),
            "5e0f1d2c3b4a59687766554433221100");
}

TEST(UserIdLibraryAccessTest, OnlyAdministratorsMayChangeIt) {
  const struct {
    const char* what;
    const wchar_t* descriptor;
    bool only;
  } kCases[] = {
      {"administrators own and change it, everybody reads",
       L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)", true},
      {"owned by the system", L"O:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)", true},
      {"the installer service owns it",
       L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:P(A;;FA;;;BA)", true},
      {"users may add files", L"O:BAD:P(A;;FA;;;BA)(A;;0x1200a9;;;BU)(A;;0x2;;;BU)", false},
      {"everybody may change it", L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)", false},
      {"a user owns it (and may rewrite its list)", L"O:S-1-5-21-1-2-3-1000D:P(A;;FA;;;BA)", false},
      {"authenticated users may delete it", L"O:BAD:P(A;;FA;;;BA)(A;;SD;;;AU)", false},
      {"no access list: everybody may", L"O:BA", false},
      {"an inherit-only entry for users does not apply here",
       L"O:BAD:P(A;;FA;;;BA)(A;OICIIO;FA;;;BU)", true},
      {"a denial is no allowance", L"O:BAD:P(A;;FA;;;BA)(D;;FA;;;WD)", true},
      {"not a descriptor", L"garbage", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(OnlyAdministratorsChange(c.descriptor), c.only);
  }
}

TEST_F(UserIdLibraryTest, AnIdFillingTheWholeBufferIsCutBeforeItsEnd) {
  Install();
  SetEnvironmentVariableA("PELMAR_TSUID_FILL", "1");
  const std::string id = ReadUserIdLibrary(folder_.Wide(), AsAdministratorsOnly);
  SetEnvironmentVariableA("PELMAR_TSUID_FILL", nullptr);
  EXPECT_EQ(id, std::string(kTSUidBufferSize - 1, 'f'));
}

TEST_F(UserIdLibraryTest, MissingLibraryOrADirectoryOfThatNameGivesNoId) {
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide(), AsAdministratorsOnly), "");
  std::filesystem::create_directory(folder_.path() / L"TSUID.dll");
  EXPECT_EQ(ReadUserIdLibrary(folder_.Wide(), AsAdministratorsOnly), "");
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
    s.userId = [folder] { return ReadUserIdLibrary(folder, AsAdministratorsOnly); };
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
