#include "sdk/http_text.h"

#include <json/json.h>

#include <cctype>
#include <exception>
#include <memory>

#include "sdk/envelope.h"
#include "sdk/hmac_sha256.h"

namespace pelmar::vek {

namespace {

constexpr size_t kMaxHeaderBytes = 16 * 1024;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Decimal or hexadecimal digits only, with an upper bound; false on overflow.
bool ParseNumber(std::string_view s, int base, size_t limit, size_t* out) {
  if (s.empty()) return false;
  size_t v = 0;
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    int d = -1;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    if (d < 0) return false;
    v = v * base + d;
    if (v > limit) return false;
  }
  *out = v;
  return true;
}

bool Dechunk(std::string_view in, std::string* out) {
  size_t pos = 0;
  // Bounded: every turn consumes a size line.
  while (pos < in.size()) {
    const size_t eol = in.find("\r\n", pos);
    if (eol == std::string_view::npos) return false;
    std::string_view sizeText = in.substr(pos, eol - pos);
    const size_t semi = sizeText.find(';');
    if (semi != std::string_view::npos) sizeText = sizeText.substr(0, semi);
    size_t size = 0;
    if (!ParseNumber(Trim(sizeText), 16, kMaxAckResponse, &size)) return false;
    pos = eol + 2;
    if (size == 0) return true;  // trailers ignored
    if (in.size() - pos < size + 2) return false;
    out->append(in.data() + pos, size);
    pos += size;
    if (in.substr(pos, 2) != "\r\n") return false;
    pos += 2;
  }
  return false;  // no last chunk
}

}  // namespace

std::string HostHeader(const std::string& host, int port) {
  return port == 80 ? host : host + ":" + std::to_string(port);
}

std::string BuildSignedRequest(const std::string& host, int port, const std::string& appId,
                               const std::string& appKey, const std::string& version,
                               const std::string& path, std::string_view body) {
  const Digest256 mac = HmacSha256(appKey, body);
  std::string out = "POST " + version + path + " HTTP/1.1\r\n";
  out += "Host: " + HostHeader(host, port) + "\r\n";
  out += "Content-Type: application/json\r\n";
  out += "X-Vek-App: " + appId + "\r\n";
  out += "X-Vek-Sign: " + HexLower(mac.data(), mac.size()) + "\r\n";
  out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  out += "Connection: close\r\n\r\n";
  out.append(body.data(), body.size());
  return out;
}

std::string BuildUploadRequest(const std::string& host, int port, const std::string& appId,
                               const std::string& sensorPath, std::string_view body) {
  std::string out = "POST " + sensorPath + " HTTP/1.1\r\n";
  out += "Host: " + HostHeader(host, port) + "\r\n";
  out += "Content-Type: application/x-ndjson\r\n";
  out += "X-Vek-App: " + appId + "\r\n";
  out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  out += "Connection: close\r\n\r\n";
  out.append(body.data(), body.size());
  return out;
}

bool ParseUploadAck(std::string_view response, size_t* accepted) {
  if (response.size() > kMaxAckResponse) return false;
  const size_t headerEnd = response.find("\r\n\r\n");
  if (headerEnd == std::string_view::npos || headerEnd > kMaxHeaderBytes) return false;
  const std::string_view head = response.substr(0, headerEnd);
  std::string_view rest = response.substr(headerEnd + 4);

  size_t lineEnd = head.find("\r\n");
  const std::string_view statusLine = head.substr(0, lineEnd);
  // "HTTP/1.x 200 ..." exactly; other statuses are not acknowledgements.
  if (statusLine.size() < 12 || statusLine.substr(0, 7) != "HTTP/1." ||
      (statusLine.substr(8, 5) != " 200 " && statusLine.substr(8) != " 200"))
    return false;

  bool chunked = false;
  bool haveLength = false;
  size_t contentLength = 0;
  while (lineEnd != std::string_view::npos) {
    const size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    const std::string_view line = head.substr(
        start, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - start);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (EqualsNoCase(name, "Content-Length")) {
      if (haveLength || !ParseNumber(value, 10, kMaxAckResponse, &contentLength)) return false;
      haveLength = true;
    } else if (EqualsNoCase(name, "Transfer-Encoding")) {
      if (!EqualsNoCase(value, "chunked")) return false;
      chunked = true;
    }
  }

  std::string body;
  if (chunked) {
    if (!Dechunk(rest, &body)) return false;
  } else if (haveLength) {
    if (rest.size() < contentLength) return false;  // cut short
    body.assign(rest.data(), contentLength);
  } else {
    body.assign(rest.data(), rest.size());
  }

  Json::CharReaderBuilder builder;
  builder["failIfExtra"] = true;
  builder["stackLimit"] = 16;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  try {
    if (!reader->parse(body.data(), body.data() + body.size(), &value, &errors)) return false;
  } catch (const std::exception&) {
    return false;  // the reader throws past its nesting limit instead of failing
  }
  if (!value.isObject()) return false;
  const Json::Value& code = value["code"];
  const Json::Value& count = value["accepted"];
  if (!code.isInt() || code.asInt() != 0 || !count.isUInt()) return false;
  *accepted = count.asUInt();
  return true;
}

}  // namespace pelmar::vek
