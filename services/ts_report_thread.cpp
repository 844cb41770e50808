#include "services/ts_report_thread.h"

#include <json/json.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

#include "base/app_context.h"
#include "base/md5.h"
#include "net/http_form.h"
#include "pelmar_config.h"
#include "services/lenient_json.h"
#include "services/machine_identity.h"
#include "services/pkg_info.h"
#include "services/server_info.h"

namespace pelmar {

namespace {

bool IsJson(std::string_view text) {
  if (text.size() > kMaxTSAnswerBytes) return false;
  Json::Value root;
  return ParseLenientJson(text, &root);
}

std::string Call(const std::function<std::string()>& f) { return f ? f() : std::string(); }

}  // namespace

TSReportSettings DefaultTSReportSettings(IMachineIdSource* ids) {
  TSReportSettings s;
  s.attribution = {config::kAttribution.host, static_cast<uint16_t>(config::kAttribution.port)};
  s.hostText = config::kAttribution.host;
  s.channel = [] {
    AppContext* ctx = GetAppContext();
    if (!ctx) return std::string();
    std::lock_guard<CXMutex> lock(ctx->mutex);
    return ctx->channel;
  };
  s.userId = [] { return ReadUserIdLibrary(DefaultSdkFolder()); };
  s.appName = [] {
    IServerInfo* info = GetServerInfo();
    return info ? info->AppName() : std::string();
  };
  s.machineHash = [] { return Md5Text(MachineIdentity()); };
  s.mid = [ids] { return ids ? ids->GetMid() : std::string(); };
  s.version = InstallerVersionForRequests;
  return s;
}

CTSReportThread::CTSReportThread(TSReportSettings settings) : settings_(std::move(settings)) {
  // Without a thread there is no report; nobody waits for one.
  (void)worker_.Start([this](CStopToken& stop) { return Run(stop); });
}

CTSReportThread::~CTSReportThread() { StopAndJoin(); }

std::string CTSReportThread::LastFailure() {
  std::lock_guard<std::mutex> lock(failure_mutex_);
  return failure_;
}

uint32_t CTSReportThread::Run(CStopToken& stop) {
  std::string failure;
  try {
    failure = Report(stop);
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown error";
  }
  if (failure.empty()) return 0;
  std::lock_guard<std::mutex> lock(failure_mutex_);
  failure_ = failure;
  return 1;
}

std::string CTSReportThread::Report(CStopToken& stop) {
  const std::string channel = Call(settings_.channel);
  const std::string uid = Call(settings_.userId);
  const std::string appName = Call(settings_.appName);
  const std::string cam = Call(settings_.machineHash);
  if (uid.empty() || appName.empty()) return "get uid or product_name failed";

  HttpForm form;
  std::string version = Call(settings_.version);
  if (version.empty()) version = "0.9.0.1";
  form.AddField("app_version", version);
  form.AddField("product_name", appName);
  form.AddField("uid", uid);
  form.AddField("app_id", config::kAppId);
  form.AddField("cam", cam);
  form.AddField("mid", Call(settings_.mid));
  form.AddField("url_channel", channel);

  std::string body;
  for (int attempt = 0; attempt < kTSReportAttempts; ++attempt) {
    if (attempt > 0 && !stop.WaitFor(static_cast<uint32_t>(std::max(settings_.retryPauseMs, 0)))) {
      return kStoppedFailure;
    }
    // A failed exchange counts as an empty answer.
    body = exchange_
               .PostForm(stop, settings_.attribution, settings_.timeLimitMs, settings_.hostText,
                         kTSReportPath, form, kMaxTSAnswerBytes)
               .body;
    if (!body.empty()) break;
    if (stop.StopRequested()) return kStoppedFailure;
  }
  if (!IsJson(body)) return "parse decrypt data error";
  return {};
}

}  // namespace pelmar
