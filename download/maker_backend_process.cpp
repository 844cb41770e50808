#include "download/maker_backend_process.h"

#include <json/json.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "net/socket_ops.h"

#ifndef PELMAR_SOURCE_DIR
#error "PELMAR_SOURCE_DIR must name the source tree"
#endif

namespace pelmar::testing {
namespace {

// Python needs a moment to start and bind.
constexpr int kStartWaitMs = 30000;
constexpr int kControlTimeoutMs = 10000;
// The test ends the server; this only ends one whose test crashed first.
constexpr int kServerLifetimeSeconds = 1800;
constexpr size_t kMaxControlAnswer = 64 << 20;

std::string ReadAll(const std::string& local_path) {
  std::ifstream in(local_path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Tag() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::system_clock::now().time_since_epoch().count();
  return std::to_string(stamp % 1000000000) + "_" + std::to_string(counter++);
}

Json::Value ParseJson(const std::string& text) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream in(text);
  if (!Json::parseFromStream(builder, in, &value, &errors)) return Json::Value();
  return value;
}

}  // namespace

MakerBackendProcess::MakerBackendProcess(int64_t package_size) {
  if (!StartSockets()) throw std::runtime_error("sockets unavailable");
  dir_ = "/tmp/pelmar-download-backend-" + Tag();
  const std::string source = PELMAR_SOURCE_DIR;
  const std::string command =
      "mkdir -p '" + dir_ + "' && cd '" + dir_ + "' && echo $$ > pid && exec timeout " +
      std::to_string(kServerLifetimeSeconds) + " /usr/bin/python3 -B '" + source +
      "/backend/maker_backend.py' --data '" + dir_ + "/data' --listen 127.0.0.1:0 --listen " +
      "127.0.0.2:0 --port-file '" + dir_ + "/ports' --make-package " +
      std::to_string(package_size) + " > '" + dir_ + "/log' 2>&1";
  if (!SpawnBackendShell(command)) throw std::runtime_error("cannot start the backend");
  for (int waited = 0; waited < kStartWaitMs && ports_.size() < 2; waited += 50) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::istringstream lines(ReadAll(LocalPathOf(dir_ + "/ports")));
    std::vector<uint16_t> ports;
    for (int port; lines >> port;) ports.push_back(static_cast<uint16_t>(port));
    if (ports.size() >= 2) ports_ = ports;
  }
  if (ports_.size() < 2) throw std::runtime_error("backend did not start: " + dir_);
}

MakerBackendProcess::~MakerBackendProcess() {
  const std::string pid = ReadAll(LocalPathOf(dir_ + "/pid"));
  std::string digits;
  for (char c : pid) {
    if (c >= '0' && c <= '9') digits += c;
  }
  if (!digits.empty()) {
    // timeout passes the signal on to the server, which closes its listeners.
    (void)SpawnBackendShell("kill -TERM " + digits + "; sleep 2; rm -rf '" + dir_ + "'");
  }
}

std::string MakerBackendProcess::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(Port()) + path;
}

std::string MakerBackendProcess::OtherUrl(const std::string& path) const {
  return "http://127.0.0.2:" + std::to_string(OtherPort()) + path;
}

std::string MakerBackendProcess::Exchange(const std::string& method, const std::string& path,
                                          const std::string& body, int* status) {
  if (status != nullptr) *status = 0;
  CSocket s(SockOpenTcp());
  if (!s.IsValid()) return {};
  (void)SockSetRecvTimeout(s.Get(), kControlTimeoutMs);
  (void)SockSetSendTimeout(s.Get(), kControlTimeoutMs);
  if (SockConnect(s.Get(), LoopbackAddress(), HostToNet16(Port())) != SockError::kNone) return {};
  const std::string request =
      method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
      "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\nConnection: close\r\n\r\n" + body;
  for (size_t sent = 0; sent < request.size();) {
    const int n = SockSend(s.Get(), request.data() + sent,
                           static_cast<int>(std::min<size_t>(request.size() - sent, 65536)));
    if (n <= 0) return {};
    sent += static_cast<size_t>(n);
  }
  std::string answer;
  char buffer[65536];
  while (answer.size() < kMaxControlAnswer) {
    const int n = SockRecv(s.Get(), buffer, sizeof buffer);
    if (n <= 0) break;
    answer.append(buffer, static_cast<size_t>(n));
  }
  const size_t end = answer.find("\r\n\r\n");
  if (end == std::string::npos || answer.size() < 12) return {};
  if (status != nullptr) *status = std::atoi(answer.substr(9, 3).c_str());
  return answer.substr(end + 4);
}

bool MakerBackendProcess::SetFaults(const std::string& json_rules) {
  int status = 0;
  (void)Exchange("PUT", "/__faults", json_rules, &status);
  return status == 200;
}

bool MakerBackendProcess::Reset() {
  int status = 0;
  (void)Exchange("POST", "/__reset", "", &status);
  return status == 200;
}

std::vector<BackendRequest> MakerBackendProcess::Requests(const std::string& path_prefix) {
  const Json::Value all = ParseJson(Exchange("GET", "/__requests", ""));
  std::vector<BackendRequest> out;
  for (const Json::Value& r : all["requests"]) {
    BackendRequest req;
    req.listener = r["listener"].asString();
    req.method = r["method"].asString();
    req.path = r["path"].asString();
    req.head = r["head"].asString();
    req.status = r["status"].asInt();
    if (req.path.compare(0, path_prefix.size(), path_prefix) == 0) out.push_back(req);
  }
  return out;
}

std::string MakerBackendProcess::PackageMd5() {
  const Json::Value all = ParseJson(Exchange("GET", "/__packages", ""));
  const Json::Value& list = all.isMember("packages") ? all["packages"] : all;
  for (const Json::Value& p : list) {
    if (p["name"].asString() != "install.exe") continue;
    return p.isMember("real_md5") ? p["real_md5"].asString() : p["md5"].asString();
  }
  return {};
}

bool MakerBackendProcess::WritePackage(const std::string& name, const std::string& bytes) {
  std::ofstream out(LocalPathOf(dir_ + "/data/packages/" + name), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string MakerBackendProcess::ReadPackage(const std::string& name) {
  return ReadAll(LocalPathOf(dir_ + "/data/packages/" + name));
}

}  // namespace pelmar::testing
