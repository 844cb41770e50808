#include "net/tcp_http.h"

#include <algorithm>
#include <vector>

#include "base/pelmar_error.h"
#include "net/chunked_decoder.h"

namespace pelmar {
namespace {
// A chunked body is received in pieces of at most this size.
constexpr size_t kChunkReceiveBytes = 64 * 1024;
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
  r += "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n";
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

std::string CTCPHttp::HttpGet(const std::string& host, const std::string& path) {
  Connect();
  SendAll(BuildGetRequest(host, path));
  const HttpResponseHeader header = ReadResponseHeader();
  if (header.status != "200") return {};
  return ReadBody(header);
}

HttpResponseHeader CTCPHttp::HttpHead(const std::string& host, const std::string& path) {
  Connect();
  SendAll(BuildHeadRequest(host, path));
  return ReadResponseHeader();
}

std::string CTCPHttp::HttpPostForm(const std::string& host, const std::string& path,
                                   HttpForm& form) {
  (void)form.Prepare();
  const std::string request = BuildPostRequest(host, path, form.TotalLength());
  Connect();
  SendAll(request);
  std::string piece;
  // One piece per part plus nothing more: bounded by the number of fields.
  while (form.NextPiece(&piece)) {
    if (!piece.empty()) SendAll(piece);
  }
  return ReadBody(ReadResponseHeader());
}

std::string CTCPHttp::HttpSendRaw(const std::string& request) {
  Connect();
  SendAll(request);
  return ReadBody(ReadResponseHeader());
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

std::string CTCPHttp::ReadBody(const HttpResponseHeader& header) {
  if (header.contentLength > 0) {
    // The whole length is allocated at once, so it is bounded first: a peer
    // could name any length.
    if (static_cast<uint64_t>(header.contentLength) > kMaxHttpBodyBytes)
      throw PelmarError("Read body stream error");
    std::string body(static_cast<size_t>(header.contentLength), '\0');
    RecvExact(body.data(), body.size());
    return body;
  }
  if (header.contentLength < 0) throw PelmarError("Read body stream error");

  CChunkedDecoder decoder;
  std::string body;
  std::vector<char> buffer(kChunkReceiveBytes);
  // Each round consumes at least one byte and the body is capped, so the
  // loop ends; a peer that stops sending ends it through the receive limit.
  while (decoder.GetStatus() == CChunkedDecoder::Status::kNeedMore) {
    const size_t want = std::min(decoder.BytesWanted(), buffer.size());
    RecvExact(buffer.data(), want);
    (void)decoder.Feed(buffer.data(), want, &body);
  }
  if (decoder.GetStatus() == CChunkedDecoder::Status::kError)
    throw PelmarError("Read body stream error");
  return body;
}

}  // namespace pelmar
