#include "net/tcp_http.h"

#include <algorithm>
#include <vector>

#include "base/pelmar_error.h"
#include "net/chunked_decoder.h"

namespace pelmar {
namespace {
// A chunked body is received in pieces of at most this size.
constexpr size_t kChunkReceiveBytes = 64 * 1024;
// What the HEAD query and the download say they are.
constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)";
}  // namespace

CTCPHttp::CTCPHttp(const std::string& host, uint16_t port) {
  ResolveHostWithFallback(*this, host, port);
}

std::string CTCPHttp::BuildGetRequest(const std::string& host, const std::string& path) {
  std::string r = "GET " + path + " HTTP/1.1\r\n";
  if (!host.empty()) r += "Host: " + host + "\r\n";
  r += "Connection: close\r\n\r\n";
  return r;
}

std::string CTCPHttp::BuildHeadRequest(const std::string& host, const std::string& path) {
  std::string r = "HEAD " + path + " HTTP/1.1\r\n";
  if (!host.empty()) r += "Host:" + host + "\r\n";
  r += "Accept:*/*\r\n";
  r += std::string("User-Agent:") + kUserAgent + "\r\n";
  r += "Connection:close\r\n";
  r += "\r\n";
  return r;
}

std::string CTCPHttp::BuildRangeRequest(const std::string& host, const std::string& path,
                                        int64_t first, int64_t last) {
  std::string r = "GET " + path + " HTTP/1.1\r\n";
  r += "Host:" + host + "\r\n";
  r += "Accept:*/*\r\n";
  r += "Range:bytes=" + std::to_string(first) + "-" + std::to_string(last) + "\r\n";
  r += std::string("User-Agent:") + kUserAgent + "\r\n";
  r += "Connection:close\r\n";
  r += "\r\n";
  return r;
}

std::string CTCPHttp::BuildPostRequest(const std::string& host, const std::string& path,
                                       int64_t body_length) {
  std::string r = "POST " + path + " HTTP/1.1\r\n";
  if (!host.empty()) r += "Host: " + host + "\r\n";
  r += "Content-Type: multipart/form-data; boundary=" + HttpForm::Boundary().substr(2) + "\r\n";
  r += "Content-Length: " + std::to_string(body_length) + "\r\n";
  r += "Connection: close\r\n\r\n";
  return r;
}

std::string CTCPHttp::HttpGet(const std::string& host, const std::string& path,
                              size_t max_body_bytes) {
  Connect();
  return GetConnected(host, path, max_body_bytes);
}

std::string CTCPHttp::GetConnected(const std::string& host, const std::string& path,
                                   size_t max_body_bytes) {
  SendAll(BuildGetRequest(host, path));
  const HttpResponseHeader header = ReadResponseHeader();
  if (header.status != "200") return {};
  return ReadBody(header, max_body_bytes);
}

HttpResponseHeader CTCPHttp::HttpHead(const std::string& host, const std::string& path) {
  Connect();
  SendAll(BuildHeadRequest(host, path));
  return ReadResponseHeader();
}

std::string CTCPHttp::HttpPostForm(const std::string& host, const std::string& path, HttpForm& form,
                                   size_t max_body_bytes) {
  Connect();
  return PostFormConnected(host, path, form, max_body_bytes);
}

std::string CTCPHttp::PostFormConnected(const std::string& host, const std::string& path,
                                        HttpForm& form, size_t max_body_bytes) {
  (void)form.Prepare();
  SendAll(BuildPostRequest(host, path, form.TotalLength()));
  std::string piece;
  // One piece per part plus nothing more: bounded by the number of fields.
  while (form.NextPiece(&piece)) {
    if (!piece.empty()) SendAll(piece);
  }
  return ReadBody(ReadResponseHeader(), max_body_bytes);
}

std::string CTCPHttp::HttpSendRaw(const std::string& request, size_t max_body_bytes) {
  Connect();
  return SendRawConnected(request, max_body_bytes);
}

std::string CTCPHttp::SendRawConnected(const std::string& request, size_t max_body_bytes) {
  SendAll(request);
  return ReadBody(ReadResponseHeader(), max_body_bytes);
}

HttpResponseHeader CTCPHttp::ReadResponseHeader() {
  CResponseHeaderReader reader;
  // One byte per receive so nothing after the header is taken off the
  // connection; at most kMaxResponseHeaderBytes rounds.
  while (!reader.IsComplete()) {
    char byte;
    RecvExact(&byte, 1);
    (void)reader.Feed(&byte, 1);
  }
  return reader.Parse();
}

HttpResponseHeader CTCPHttp::ReadResponseHeader(std::chrono::steady_clock::time_point deadline) {
  CResponseHeaderReader reader;
  while (!reader.IsComplete()) {
    const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                               deadline - std::chrono::steady_clock::now())
                               .count();
    if (left <= 0) throw PelmarError("socket recv failed");
    // Only shortened near the deadline, so a healthy answer costs no extra calls.
    if (ReceiveTimeout() < 0 || left < ReceiveTimeout()) {
      (void)SetTimeouts(static_cast<int>(left), SendTimeout());
    }
    char byte;
    RecvExact(&byte, 1);
    (void)reader.Feed(&byte, 1);
  }
  return reader.Parse();
}

std::string CTCPHttp::ReadBody(const HttpResponseHeader& header, size_t max_bytes) {
  const size_t cap = std::min(max_bytes, kMaxHttpBodyBytes);
  std::vector<char> buffer(kChunkReceiveBytes);
  std::string body;
  if (header.contentLength > 0) {
    // A peer may announce any length: a body over the cap is refused before
    // reading, and the buffer only grows by what has really arrived.
    if (static_cast<uint64_t>(header.contentLength) > cap)
      throw PelmarError("Read body stream error");
    const auto length = static_cast<size_t>(header.contentLength);
    while (body.size() < length) {
      const size_t want = std::min(length - body.size(), buffer.size());
      RecvExact(buffer.data(), want);
      body.append(buffer.data(), want);
    }
    return body;
  }
  if (header.contentLength < 0) throw PelmarError("Read body stream error");

  CChunkedDecoder decoder;
  // Each round consumes at least one byte and the body is capped, so the
  // loop ends; a peer that stops sending ends it through the receive limit.
  while (decoder.GetStatus() == CChunkedDecoder::Status::kNeedMore) {
    // Never more than one byte past the cap, so a chunk announcing more
    // than the cap is refused once the cap is passed.
    const size_t want = std::min({decoder.BytesWanted(), buffer.size(), cap - body.size() + 1});
    RecvExact(buffer.data(), want);
    (void)decoder.Feed(buffer.data(), want, &body);
    if (body.size() > cap) throw PelmarError("Read body stream error");
  }
  if (decoder.GetStatus() == CChunkedDecoder::Status::kError)
    throw PelmarError("Read body stream error");
  return body;
}

}  // namespace pelmar
