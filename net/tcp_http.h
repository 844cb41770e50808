#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "net/chunked_decoder.h"
#include "net/http_form.h"
#include "net/http_response_header.h"
#include "net/tcp_client.h"

namespace pelmar {

// The HTTP/1.1 client for every server exchange but the file download: one
// request per object and connection ("Connection: close"). Belongs to the
// thread that made it. Errors leave as PelmarError with their text.
class CTCPHttp : public CTCPClient {
 public:
  // Resolves the host (falling back to the own DNS client, see
  // ResolveHostWithFallback). Raises "Can't resolve host name".
  CTCPHttp(const std::string& host, uint16_t port);
  ~CTCPHttp() override = default;

  // Each body is read under the caller's cap (see ReadBody).
  // The body of a 200 answer; empty (body left unread) for any other status.
  std::string HttpGet(const std::string& host, const std::string& path,
                      size_t max_body_bytes = kMaxHttpBodyBytes);
  // The response header only.
  HttpResponseHeader HttpHead(const std::string& host, const std::string& path);
  // Posts the form; the response body whatever the status.
  std::string HttpPostForm(const std::string& host, const std::string& path, HttpForm& form,
                           size_t max_body_bytes = kMaxHttpBodyBytes);
  // Sends the caller's complete request; the response body whatever the status.
  std::string HttpSendRaw(const std::string& request, size_t max_body_bytes = kMaxHttpBodyBytes);

  // The same exchanges on the connection Connect() has already made, for an
  // owner that publishes the socket between the connect and the request (so
  // a stop can shut it down).
  std::string GetConnected(const std::string& host, const std::string& path, size_t max_body_bytes);
  std::string PostFormConnected(const std::string& host, const std::string& path, HttpForm& form,
                                size_t max_body_bytes);
  std::string SendRawConnected(const std::string& request, size_t max_body_bytes);

  // Reads the header one byte per receive until its blank line or
  // kMaxResponseHeaderBytes (the rest then stays on the connection).
  HttpResponseHeader ReadResponseHeader();
  // The same within an overall deadline: each receive waits at most until
  // it, so a peer trickling bytes just inside the receive limit cannot hold
  // the exchange. Raises "socket recv failed" when the deadline passes.
  HttpResponseHeader ReadResponseHeader(std::chrono::steady_clock::time_point deadline);
  // The body by Content-Length when above 0, else chunked. Raises "Read body
  // stream error" for a malformed chunk size, a negative Content-Length or a
  // body over `max_bytes` (itself never above kMaxHttpBodyBytes). The buffer
  // grows with what arrives, never with what the peer announces.
  std::string ReadBody(const HttpResponseHeader& header, size_t max_bytes);

  // The exact request texts; an empty host leaves the Host line out.
  static std::string BuildGetRequest(const std::string& host, const std::string& path);
  static std::string BuildHeadRequest(const std::string& host, const std::string& path);
  static std::string BuildPostRequest(const std::string& host, const std::string& path,
                                      int64_t body_length);
  // The download's ranged GET of bytes first..last (inclusive); the Host line
  // is always there.
  static std::string BuildRangeRequest(const std::string& host, const std::string& path,
                                       int64_t first, int64_t last);
};

}  // namespace pelmar
