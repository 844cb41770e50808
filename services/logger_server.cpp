#include "services/logger_server.h"

#include <ctime>
#include <exception>
#include <utility>

#include "base/ansi_path.h"
#include "base/pelmar_error.h"
#include "net/parse_url.h"
#include "services/sdk_binding.h"

namespace pelmar {

namespace {

// Field numbers of the SDK's records.
constexpr int kLaunchKindField = 1;
constexpr int kLaunchFirstStringField = 2;
constexpr int kPageCodeField = 10;
constexpr int kActionCodeField = 11;
constexpr int kPageExtraField = 12;
constexpr int kLifecycleKindField = 50;
constexpr int kLifecycleFirstStringField = 51;
constexpr int kLifecycleFileField = 55;

int64_t SystemNowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace

CLoggerServer::CLoggerServer() : CLoggerServer(SdkBinder(&CSdkBinding::Bind)) {}

CLoggerServer::CLoggerServer(const SdkBinder& binder, std::function<int64_t()> nowSeconds)
    : nowSeconds_(nowSeconds ? std::move(nowSeconds) : &SystemNowSeconds) {
  Bind(binder);
}

CLoggerServer::~CLoggerServer() {
  std::lock_guard<CXMutex> lock(sdkMutex_);
  utility_.reset();
  collector_.reset();
  runAsUser_.reset();
  if (core_ && core_->handle && core_->free) {
    (void)core_->free(core_->handle);
    core_->handle = nullptr;
  }
  core_.reset();
}

void CLoggerServer::Bind(const SdkBinder& binder) {
  if (!binder) return;
  VekTables tables;
  try {
    binder(tables, &CLoggerServer::OnCrash, this);
  } catch (const std::exception&) {
    // The installer runs on without analytics; what was bound stays usable.
  }
  std::lock_guard<CXMutex> lock(sdkMutex_);
  sdkPath_ = std::move(tables.sdkPath);
  companionPath_ = std::move(tables.companionPath);
  core_ = std::move(tables.core);
  collector_ = std::move(tables.collector);
  utility_ = std::move(tables.utility);
  runAsUser_ = std::move(tables.runAsUser);
}

int32_t CLoggerServer::EventId(int64_t nowSeconds, uint32_t counter) {
  int64_t seconds = nowSeconds % 10000000;
  if (seconds < 0) seconds += 10000000;
  return static_cast<int32_t>(seconds * 100 + counter % 100);
}

CLoggerServer::PendingProperties CLoggerServer::SnapshotProperties() {
  std::lock_guard<std::recursive_mutex> lock(propsMutex_);
  auto it = pending_.find(std::this_thread::get_id());
  return it == pending_.end() ? PendingProperties() : it->second;
}

bool CLoggerServer::SendRecord(int type, const std::function<void(VekRecord)>& writeFields) {
  std::lock_guard<CXMutex> lock(sdkMutex_);
  if (!collector_ || !core_ || !core_->handle) return false;
  const VekCollectorTable& c = *collector_;
  VekRecord record = nullptr;
  if (c.create(core_->handle, type, &record) != 0) return false;
  // A commit the SDK refused (disk full, spool unwritable) is not reported as
  // sent; a failure while writing the fields (out of memory) drops the record.
  bool committed = false;
  try {
    writeFields(record);
    committed = c.commit(record) == 0;
  } catch (const std::exception&) {
  }
  (void)c.free(record);
  return committed;
}

bool CLoggerServer::SendPageAction(const std::string& page, const std::string& action,
                                   const std::string& extra) {
  return SendRecord(kVekRecordPageAction, [&](VekRecord record) {
    const std::pair<int, const std::string*> fields[] = {
        {kPageCodeField, &page}, {kActionCodeField, &action}, {kPageExtraField, &extra}};
    for (const auto& [field, text] : fields) {
      if (text->empty()) continue;
      (void)collector_->writeData(record, field, text->data(), static_cast<int>(text->size()));
    }
  });
}

bool CLoggerServer::SendLifecycle(int kind, const std::string& code1, const std::string& code2,
                                  const std::string& code3, const std::string& code4,
                                  std::vector<std::string> files) {
  return SendRecord(kVekRecordLifecycle, [&](VekRecord record) {
    const VekCollectorTable& c = *collector_;
    (void)c.writeInt(record, kLifecycleKindField, kind);
    const std::string* codes[] = {&code1, &code2, &code3, &code4};
    for (int i = 0; i < 4; ++i) {
      if (codes[i]->empty()) continue;
      (void)c.writeData(record, kLifecycleFirstStringField + i, codes[i]->data(),
                        static_cast<int>(codes[i]->size()));
    }
    for (const std::string& path : files) {
      if (path.empty() || !IsRegularFile(WideFromAnsi(path))) continue;
      (void)c.writeData(record, kLifecycleFileField, path.data(), static_cast<int>(path.size()));
    }
  });
}

bool CLoggerServer::SendLaunch(int kind, const std::string& s1, const std::string& s2,
                               const std::string& s3) {
  return SendRecord(kVekRecordLaunch, [&](VekRecord record) {
    const VekCollectorTable& c = *collector_;
    (void)c.writeInt(record, kLaunchKindField, kind);
    const std::string* texts[] = {&s1, &s2, &s3};
    for (int i = 0; i < 3; ++i) {
      if (texts[i]->empty()) continue;
      (void)c.writeData(record, kLaunchFirstStringField + i, texts[i]->data(),
                        static_cast<int>(texts[i]->size()));
    }
  });
}

bool CLoggerServer::SendEvent(const std::string& name) {
  // Copied before the SDK lock so the property lock is never held around it.
  PendingProperties props;
  try {
    props = SnapshotProperties();
  } catch (const std::exception&) {
    return false;
  }
  return SendRecord(kVekRecordEvent, [&](VekRecord record) {
    const VekCollectorTable& c = *collector_;
    const int32_t id = EventId(nowSeconds_(), eventCounter_);
    ++eventCounter_;
    (void)c.writeEvent(record, name.c_str(), id);
    for (const auto& [key, value] : props.ints)
      (void)c.writeIntProperty(record, key.c_str(), value);
    for (const auto& [key, value] : props.bools)
      (void)c.writeBoolProperty(record, key.c_str(), value ? 1 : 0);
    for (const auto& [key, value] : props.strings)
      (void)c.writeStringProperty(record, key.c_str(), value.c_str());
  });
}

void CLoggerServer::ClearProperties() {
  std::lock_guard<std::recursive_mutex> lock(propsMutex_);
  pending_.erase(std::this_thread::get_id());
}

void CLoggerServer::SetIntProperty(const std::string& key, int32_t value) {
  std::lock_guard<std::recursive_mutex> lock(propsMutex_);
  pending_[std::this_thread::get_id()].ints.emplace(key, value);
}

void CLoggerServer::SetBoolProperty(const std::string& key, bool value) {
  std::lock_guard<std::recursive_mutex> lock(propsMutex_);
  pending_[std::this_thread::get_id()].bools.emplace(key, value);
}

void CLoggerServer::SetStringProperty(const std::string& key, const std::string& value) {
  std::lock_guard<std::recursive_mutex> lock(propsMutex_);
  pending_[std::this_thread::get_id()].strings.emplace(key, value);
}

std::string CLoggerServer::CallUtility(
    const std::function<char*(const VekUtilityTable&, int*)>& call) {
  std::lock_guard<CXMutex> lock(sdkMutex_);
  if (!utility_) return {};
  try {
    int length = 0;
    char* buffer = call(*utility_, &length);
    if (!buffer) return {};
    std::string out;
    if (length > 0) out.assign(buffer, static_cast<size_t>(length));
    if (utility_->dataFree) utility_->dataFree(buffer);
    return out;
  } catch (const std::exception&) {
    return {};
  }
}

std::string CLoggerServer::BuildHttpData(const std::string& path, const std::string& body) {
  return CallUtility([&](const VekUtilityTable& u, int* length) -> char* {
    if (!u.buildHttpData) return nullptr;
    return u.buildHttpData(path.c_str(), body.data(), static_cast<int>(body.size()), length, 0,
                           "/v1.1");
  });
}

std::string CLoggerServer::DecryptData(const std::string& body) {
  return CallUtility([&](const VekUtilityTable& u, int* length) -> char* {
    if (!u.decryptData) return nullptr;
    return u.decryptData(body.data(), static_cast<int>(body.size()), length);
  });
}

namespace {
// The identifier buffers are NUL-terminated texts without a length.
char* WithTextLength(char* text, int* length) {
  if (text) {
    size_t n = 0;
    while (text[n] != '\0' && n < 4096) ++n;
    *length = static_cast<int>(n);
  }
  return text;
}
}  // namespace

std::string CLoggerServer::GetMid() {
  return CallUtility([&](const VekUtilityTable& u, int* length) -> char* {
    return u.mid ? WithTextLength(u.mid(), length) : nullptr;
  });
}

std::string CLoggerServer::GetMidEx(int value) {
  return CallUtility([&](const VekUtilityTable& u, int* length) -> char* {
    return u.midEx ? WithTextLength(u.midEx(value), length) : nullptr;
  });
}

bool CLoggerServer::Reinit() {
  std::lock_guard<CXMutex> lock(sdkMutex_);
  try {
    if (!core_) throw PelmarError("VEK not init");
    if (!core_->handle) CSdkBinding::SetUp(*core_, &CLoggerServer::OnCrash, this);
  } catch (const std::exception&) {
  }
  return false;
}

void CLoggerServer::ReleaseHandle() {
  std::lock_guard<CXMutex> lock(sdkMutex_);
  if (core_ && core_->handle && core_->free) {
    (void)core_->free(core_->handle);
    core_->handle = nullptr;
  }
}

bool CLoggerServer::OpenUrl(const std::string& url) {
  VekOpenUrlFn open = nullptr;
  {
    // The table pointer is read under the lock; the shell call runs without it.
    std::lock_guard<CXMutex> lock(sdkMutex_);
    if (utility_) open = utility_->openUrl;
  }
  // The opener runs with the installer's rights: an address from a server or
  // a redirect must never name a program or a file share.
  if (!open || !IsPlainHttpAddress(url)) return false;
  (void)open(url.c_str());
  return true;
}

int CLoggerServer::RunAsUser(const std::string& verb, const std::string& fileUtf8, const char* a3,
                             const char* a4, const char* a5) {
  if (!runAsUser_ || !*runAsUser_ || verb.empty() || fileUtf8.empty()) return 0;
  return (*runAsUser_)(verb.c_str(), fileUtf8.c_str(), a3, a4, a5);
}

void VEK_CALL CLoggerServer::OnCrash(void* context, const wchar_t* dumpPath) {
  auto* self = static_cast<CLoggerServer*>(context);
  if (!self) return;
  const std::string path = dumpPath ? AnsiFromWide(dumpPath) : std::string();
  self->SendLifecycle(1, "0001", "0001", "", "", {path});
  self->SendLifecycle(4, "0001", "0002", "", "", {});
  self->ClearProperties();
  self->SendEvent("vSoftDump");
  self->ClearProperties();
  self->SetStringProperty("event_name",
                          /* 软件崩溃 */ "\xE8\xBD\xAF\xE4\xBB\xB6\xE5\xB4\xA9\xE6\xBA\x83");
  self->SendEvent("vSoftQuit");
}

bool ILoggerServer::Send(const Event& event) {
  ClearProperties();
  for (const EventProperty& p : event.properties()) {
    switch (p.kind) {
      case EventProperty::kInt:
        SetIntProperty(p.key, p.intValue);
        break;
      case EventProperty::kBool:
        SetBoolProperty(p.key, p.boolValue);
        break;
      case EventProperty::kString:
        SetStringProperty(p.key, p.stringValue);
        break;
    }
  }
  return SendEvent(event.name());
}

ILoggerServer* GetLogger() {
  static CLoggerServer logger;
  return &logger;
}

}  // namespace pelmar
