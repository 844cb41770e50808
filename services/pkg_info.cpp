#include "services/pkg_info.h"

#include <json/json.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>

#include "base/styled_json_writer.h"
#include "pelmar_config.h"
#include "services/lenient_json.h"
#include "services/logger_server.h"
#include "services/read_pkg_info_thread.h"

namespace pelmar {

namespace {

constexpr const char* kDefaultVersion = "0.9.0.1";

}  // namespace

std::string BuildPkgRequestBody(const std::string& versionUtf8) {
  Json::Value root(Json::objectValue);
  root["app_id"] = config::kAppId;
  Json::Value seed(Json::objectValue);
  seed["dependency"] = "";
  seed["hardware"] = "";
  seed["network"] = "";
  seed["system"] = "";
  root["seed"] = seed;
  root["version"] = versionUtf8.empty() ? std::string(kDefaultVersion) : versionUtf8;
  // The server takes the styled layout the installer has always sent.
  return StyledJsonWriter::Write(root);
}

std::string OpenPkgEnvelope(std::string_view body, std::string* data) {
  Json::Value root;
  if (body.size() > kMaxPkgRecordBytes || !ParseLenientJson(body, &root)) return "Json parse error";
  if (!root.isObject() || !root.isMember("code") || !root.isMember("data") ||
      !IsJsonIntegerZero(root["code"])) {
    return "member doesn't exit";
  }
  try {
    *data = root["data"].asString();
  } catch (const Json::Exception& e) {
    return e.what();
  }
  return {};
}

int64_t PkgSizeFromText(std::string_view text, int64_t fallback) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  bool digits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    digits = true;
    const int d = text[i] - '0';
    if (value > (std::numeric_limits<int64_t>::max() - d) / 10) {
      value = std::numeric_limits<int64_t>::max();  // saturates like "%lld"
      break;
    }
    value = value * 10 + d;
  }
  // A negative size would make every later space check pass; the default is
  // the safer answer.
  if (!digits || negative || value == 0) return fallback;
  return value;
}

std::string ParsePkgPayload(std::string_view payload, PkgRecord* record) {
  if (payload.empty()) return "decrypt data empty";
  Json::Value root;
  if (payload.size() > kMaxPkgRecordBytes || !ParseLenientJson(payload, &root))
    return "parse decrypt data error";
  if (!root.isObject() || !root.isMember("info") || !root.isMember("urls"))
    return "member not exist";
  const Json::Value& urls = root["urls"];
  if (!urls.isArray()) return "member not exist";
  if (urls.size() > kMaxPkgUrls) return "too many urls";

  PkgRecord fresh;
  // Values of the wrong JSON type leave as the library's conversion errors.
  try {
    const Json::Value& info = root["info"];
    if (info.isMember("package_name")) fresh.packageName = info["package_name"].asString();
    if (info.isMember("version")) fresh.version = info["version"].asString();
    if (info.isMember("size"))
      fresh.size = PkgSizeFromText(info["size"].asString(), kDefaultPackageSize);
    if (info.isMember("origin_size"))
      fresh.originSize = PkgSizeFromText(info["origin_size"].asString(), kDefaultOriginSize);
    if (info.isMember("md5")) fresh.md5 = info["md5"].asString();
    const Json::Value& statement = root[kPkgReleaseStatementMember];
    const Json::Value& signature = root[kPkgReleaseSignatureMember];
    if (statement.isString() && signature.isString()) {
      fresh.releaseStatement = statement.asString();
      fresh.releaseSignature = signature.asString();
    }
    fresh.urls.reserve(urls.size());
    for (Json::ArrayIndex i = 0; i < urls.size(); ++i) {
      const Json::Value& u = urls[i];
      PkgUrlEntry entry;
      entry.id = u["id"].asInt();
      entry.url = u["url"].asString();
      entry.rank = u["rank"].asUInt();
      fresh.urls.push_back(std::move(entry));
    }
  } catch (const Json::Exception& e) {
    return e.what();
  }
  *record = std::move(fresh);
  return {};
}

void SortUrlsByRank(std::vector<PkgUrlEntry>* urls) {
  // A stable sort, highest rank first, orders exactly as the neighbour-
  // swapping bubble sort does, without its quadratic cost.
  std::stable_sort(urls->begin(), urls->end(),
                   [](const PkgUrlEntry& a, const PkgUrlEntry& b) { return a.rank > b.rank; });
}

PkgInfoSettings DefaultPkgInfoSettings() {
  PkgInfoSettings s;
  s.supportHost = {config::kSupport.host, static_cast<uint16_t>(config::kSupport.port)};
  s.supportIp = {config::kSupportIp, static_cast<uint16_t>(config::kSupport.port)};
  // The logger is made first so it outlives this record at process exit.
  ILoggerServer* logger = GetLogger();
  s.buildRequest = [logger](const std::string& path, const std::string& body) {
    return logger->BuildHttpData(path, body);
  };
  s.openPayload = [logger](const std::string& data) { return logger->DecryptData(data); };
  s.version = InstallerVersionForRequests;
  return s;
}

CPkgInfo::CPkgInfo(PkgInfoSettings settings) {
  reader_ = std::make_unique<CReadPkgInfoThread>(this, std::move(settings));
}

CPkgInfo::~CPkgInfo() { reader_.reset(); }

void CPkgInfo::RequestStop() { reader_->RequestStop(); }

void CPkgInfo::StopReader() { reader_->StopAndJoin(); }

bool CPkgInfo::StopReaderWithin(int milliseconds) {
  const bool ended = reader_->StopWithin(milliseconds);
  abandoned_.store(!ended);
  return ended;
}

int64_t CPkgInfo::Size() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.size;
}

int64_t CPkgInfo::OriginSize() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.originSize;
}

std::string CPkgInfo::Version() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.version;
}

size_t CPkgInfo::UrlCount() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.urls.size();
}

std::string CPkgInfo::UrlAt(size_t index) {
  std::lock_guard<CXMutex> lock(mutex_);
  return index < record_.urls.size() ? record_.urls[index].url : std::string();
}

std::string CPkgInfo::Md5() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.md5;
}

std::string CPkgInfo::ReleaseStatement() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.releaseStatement;
}

std::string CPkgInfo::ReleaseSignature() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.releaseSignature;
}

void CPkgInfo::Reset() {
  std::lock_guard<CXMutex> lock(mutex_);
  record_.packageName.clear();
  record_.version.clear();
  record_.md5.clear();
  record_.releaseStatement.clear();
  record_.releaseSignature.clear();
  record_.size = 0;
  record_.originSize = 0;
  record_.urls.clear();
}

std::string CPkgInfo::LastFailure() {
  std::lock_guard<CXMutex> lock(mutex_);
  return failure_;
}

void CPkgInfo::Store(const PkgRecord& record) {
  {
    std::lock_guard<CXMutex> lock(mutex_);
    record_ = record;
    SortUrlsByRank(&record_.urls);
  }
  status_.store(1);
}

void CPkgInfo::Fail(const std::string& text) {
  {
    std::lock_guard<CXMutex> lock(mutex_);
    failure_ = text;
  }
  status_.store(2);
}

namespace {
// Set once the process record exists; read by the stop function, which must
// not create it.
std::atomic<CPkgInfo*> g_instance{nullptr};

// An abandoned record still has a running reader that uses it: it is left
// to the process exit, which ends that thread, rather than freed under it.
struct RecordDeleter {
  void operator()(CPkgInfo* record) const {
    if (!record->Abandoned()) delete record;
  }
};

}  // namespace

IPkgInfo* GetPkgInfo() {
  // Guarded static: made once, stopped and joined at process exit.
  static const std::unique_ptr<CPkgInfo, RecordDeleter> instance = []() {
    try {
      return std::unique_ptr<CPkgInfo, RecordDeleter>(new CPkgInfo());
    } catch (...) {
      return std::unique_ptr<CPkgInfo, RecordDeleter>();
    }
  }();
  g_instance.store(instance.get());
  return instance.get();
}

bool StopPkgInfoReader(int milliseconds) {
  CPkgInfo* instance = g_instance.load();
  return instance == nullptr || instance->StopReaderWithin(milliseconds);
}

}  // namespace pelmar
