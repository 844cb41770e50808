// The package exchange as the product makes it under Windows: the request
// built and the payload opened by the real Vek.dll (built beside this test),
// the record served by the maker backend that ctest starts for the run.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "server_records_test_server.h"
#include "services/logger_server.h"
#include "services/pkg_info.h"
#include "services/sdk_binding.h"
#include "services/ts_report_thread.h"

namespace pelmar {
namespace {

using testing::WaitUntil;

std::filesystem::path TestProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path();
}

// The backend fixture writes its port into the build tree (a Unix path,
// reached through Wine's drive Z:).
uint16_t BackendPort() {
  std::wstring path = L"Z:" + std::filesystem::u8path(PELMAR_BACKEND_PORT_FILE).wstring();
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  std::ifstream in{std::filesystem::path(path)};
  int port = 0;
  in >> port;
  return static_cast<uint16_t>(port > 0 && port < 65536 ? port : 0);
}

template <typename Fn>
Fn Proc(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Binds the built Vek.dll the way the product does, minus the archive.
void BindBuiltSdk(VekTables& tables, VekCrashHandler, void*) {
  const std::wstring dll = (TestProgramFolder() / L"Vek.dll").wstring();
  HMODULE sdk = LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!sdk) return;
  auto core = std::make_unique<VekCoreTable>();
  core->create = Proc<VekCreateFn>(sdk, "vekCreate");
  core->setApplyKey = Proc<VekSetApplyKeyFn>(sdk, "vekSetApplyKey");
  core->setAppInfo = Proc<VekSetAppInfoFn>(sdk, "vekSetAppInfo");
  core->setHostInfo = Proc<VekSetHostInfoFn>(sdk, "vekSetHostInfo");
  core->setSensorUrl = Proc<VekSetSensorUrlFn>(sdk, "vekSetSensorUrl");
  core->setPubCertificate = Proc<VekSetCertificateFn>(sdk, "vekSetPubCertificate");
  core->setPriCertificate = Proc<VekSetCertificateFn>(sdk, "vekSetPriCcertificate");
  core->free = Proc<VekFreeFn>(sdk, "vekFree");
  if (!core->create || !core->setApplyKey || !core->setAppInfo || !core->setHostInfo ||
      !core->setSensorUrl || !core->setPubCertificate || !core->setPriCertificate) {
    return;
  }
  tables.core = std::move(core);
  CSdkBinding::SetUp(*tables.core, nullptr, nullptr);
  auto utility = std::make_unique<VekUtilityTable>();
  utility->buildHttpData = Proc<VekBuildHttpDataFn>(sdk, "vekBuildHttpData");
  utility->decryptData = Proc<VekDecryptDataFn>(sdk, "vekDecryptData");
  utility->dataFree = Proc<VekDataFreeFn>(sdk, "vekDataFree");
  utility->mid = Proc<VekMidFn>(sdk, "vekMid");
  tables.utility = std::move(utility);
}

class SdkEnvelopeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartSockets());
    port_ = BackendPort();
    ASSERT_NE(port_, 0) << "the maker backend fixture is not running (run through ctest)";
    logger_ = std::make_unique<CLoggerServer>(BindBuiltSdk);
    ASSERT_FALSE(logger_->BuildHttpData(kPkgIndexPath, "{}").empty()) << "Vek.dll not bound";
  }

  PkgInfoSettings Settings() {
    PkgInfoSettings s;
    s.supportHost = {"127.0.0.1", port_};
    s.supportIp = {"127.0.0.1", port_};
    s.retryPauseMs = 5;
    CLoggerServer* logger = logger_.get();
    s.buildRequest = [logger](const std::string& path, const std::string& body) {
      return logger->BuildHttpData(path, body);
    };
    s.openPayload = [logger](const std::string& data) { return logger->DecryptData(data); };
    s.version = InstallerVersionForRequests;
    return s;
  }

  uint16_t port_ = 0;
  std::unique_ptr<CLoggerServer> logger_;
};

TEST_F(SdkEnvelopeTest, RecordArrivesThroughTheRealSdk) {
  CPkgInfo info(Settings());
  ASSERT_TRUE(WaitUntil([&] { return info.Status() != 0; }));
  ASSERT_EQ(info.Status(), 1) << info.LastFailure();
  EXPECT_EQ(info.Md5().size(), 32u);
  EXPECT_FALSE(info.Version().empty());
  ASSERT_GE(info.UrlCount(), 1u);
  EXPECT_EQ(info.UrlAt(0).rfind("http://", 0), 0u);
}

TEST_F(SdkEnvelopeTest, SdkRefusesAlteredSeals) {
  // What the backend would send, altered on the way: the SDK must not open it.
  const std::string request = logger_->BuildHttpData(kPkgIndexPath, BuildPkgRequestBody(""));
  ASSERT_FALSE(request.empty());
  CServerExchange exchange;
  CStopToken stop;
  const ExchangeResult answer =
      exchange.SendRaw(stop, {"127.0.0.1", port_}, 5000, request, kMaxPkgRecordBytes);
  ASSERT_TRUE(answer.Answered()) << answer.failure;
  std::string sealed;
  ASSERT_EQ(OpenPkgEnvelope(answer.body, &sealed), "");
  ASSERT_FALSE(logger_->DecryptData(sealed).empty());
  for (size_t at : {size_t{0}, sealed.size() / 2, sealed.size() - 1}) {
    SCOPED_TRACE(at);
    std::string altered = sealed;
    altered[at] = altered[at] == '0' ? '1' : '0';
    EXPECT_EQ(logger_->DecryptData(altered), "");
  }
}

}  // namespace
}  // namespace pelmar
