#include "services/movie_rules.h"

#include <json/json.h>

#include <algorithm>
#include <memory>

#include "base/number_text.h"
#include "base/text_split.h"
#include "net/parse_url.h"
#include "services/lenient_json.h"

namespace pelmar {
namespace {

// Strict decimal 1..65535: digits only, no sign, no spaces.
bool ParsePort(std::string_view text, uint16_t* port) {
  constexpr size_t kMaxPortDigits = 5;
  uint64_t value = 0;
  if (!ParseDecimalDigits(text, kMaxPortDigits, &value)) return false;
  if (value == 0 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

std::string ExtractGifUrl(std::string_view body) {
  if (body.empty() || body.size() > kMaxInstallerConfigBytes) return {};
  Json::Value root;
  if (!ParseLenientJson(body, &root) || !root.isObject()) return {};
  const Json::Value& code = root["code"];
  if (!code.isString() || code.asString() != "server.success") return {};
  const Json::Value& data = root["data"];
  if (!data.isObject()) return {};
  const Json::Value& show = data["ProductsShow"];
  if (!show.isObject()) return {};
  const Json::Value& url = show["gif_url"];
  if (!url.isString()) return {};
  return url.asString();
}

bool SplitGifUrl(std::string_view url, GifLocation* location) {
  // The picture request is built from these fields: the same check as every
  // other address the installer asks for.
  if (!IsPlainHttpAddress(url)) return false;
  const std::vector<std::string_view> fields = SplitDroppingEmpty(url, '/');
  if (fields.size() < 3) return false;
  // Empty parts count here: "host:" and ":80" are malformed, not a bare host.
  const std::string_view hostField = fields[1];
  const size_t colon = hostField.find(':');
  GifLocation found;
  if (colon == std::string_view::npos) {
    found.host = std::string(hostField);
    found.port = 80;
  } else {
    if (hostField.find(':', colon + 1) != std::string_view::npos) return false;
    found.host = std::string(hostField.substr(0, colon));
    if (!ParsePort(hostField.substr(colon + 1), &found.port)) return false;
  }
  if (found.host.empty()) return false;
  for (size_t i = 2; i < fields.size(); ++i) {
    found.path += '/';
    found.path += fields[i];
  }
  *location = std::move(found);
  return true;
}

bool ReadGifScreenSize(std::string_view bytes, uint32_t* width, uint32_t* height) {
  static constexpr size_t kHeaderBytes = 10;  // signature, version, width, height
  if (bytes.size() < kHeaderBytes) return false;
  const std::string_view signature = bytes.substr(0, 6);
  if (signature != "GIF87a" && signature != "GIF89a") return false;
  const auto at = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]));
  };
  const uint32_t w = at(6) | at(7) << 8;
  const uint32_t h = at(8) | at(9) << 8;
  if (w == 0 || h == 0) return false;
  *width = w;
  *height = h;
  return true;
}

bool BannerWithinBounds(uint32_t width, uint32_t height, int frames) {
  if (width == 0 || height == 0 || frames < 1 || frames > kMaxBannerFrames) return false;
  return uint64_t{width} * height * static_cast<uint64_t>(frames) <= kMaxBannerPixels;
}

bool ReadFrameDelays(int frameCount, const void* value, size_t valueBytes,
                     std::vector<uint32_t>* delaysCs) {
  if (frameCount < 1 || frameCount > kMaxBannerFrames || value == nullptr) return false;
  const size_t needed = static_cast<size_t>(frameCount) * sizeof(uint32_t);
  if (valueBytes != needed) return false;
  std::vector<uint32_t> delays(static_cast<size_t>(frameCount));
  const auto* bytes = static_cast<const unsigned char*>(value);
  for (size_t i = 0; i < delays.size(); ++i) {
    const unsigned char* p = bytes + i * 4;
    uint32_t d = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    delays[i] = d < kMinFrameDelayCs ? kShortFrameDelayCs : std::min(d, kMaxFrameDelayCs);
  }
  *delaysCs = std::move(delays);
  return true;
}

}  // namespace pelmar
