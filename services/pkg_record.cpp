#include "services/pkg_record.h"

#include <json/json.h>

#include <algorithm>
#include <memory>

#include "base/number_text.h"
#include "base/styled_json_writer.h"
#include "pelmar_config.h"
#include "services/lenient_json.h"

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
  // A negative size would make every later space check pass; the default is
  // the safer answer, and so it is for 0 and for text without digits.
  const int64_t value = ParseDecimalLikeScanf(text);
  return value > 0 ? value : fallback;
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

PkgInfoSettings DefaultPkgInfoSettings(IRequestSealer* sealer) {
  PkgInfoSettings s;
  s.supportHost = {config::kSupport.host, static_cast<uint16_t>(config::kSupport.port)};
  s.supportIp = {config::kSupportIp, static_cast<uint16_t>(config::kSupport.port)};
  if (sealer != nullptr) {
    s.buildRequest = [sealer](const std::string& path, const std::string& body) {
      return sealer->BuildHttpData(path, body);
    };
    s.openPayload = [sealer](const std::string& data) { return sealer->DecryptData(data); };
  }
  s.version = InstallerVersionForRequests;
  return s;
}

}  // namespace pelmar
