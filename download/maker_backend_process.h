#pragma once

// Test support: the maker backend (backend/maker_backend.py) started by a
// test on free loopback ports, with its fault switches and request log.

#include <cstdint>
#include <string>
#include <vector>

namespace pelmar::testing {

// One request the backend saw.
struct BackendRequest {
  std::string listener;  // address it arrived on
  std::string method;
  std::string path;
  std::string head;  // request line and header lines, byte for byte
  int status = 0;
};

class MakerBackendProcess {
 public:
  // Starts the server with a package of `package_size` bytes, listening on
  // 127.0.0.1 and 127.0.0.2 (the "other host" of redirects). Waits until its
  // ports are known; throws std::runtime_error when it does not come up.
  explicit MakerBackendProcess(int64_t package_size);
  ~MakerBackendProcess();
  MakerBackendProcess(const MakerBackendProcess&) = delete;
  MakerBackendProcess& operator=(const MakerBackendProcess&) = delete;

  uint16_t Port() const { return ports_[0]; }
  uint16_t OtherPort() const { return ports_[1]; }
  // "http://127.0.0.1:PORT" + path.
  std::string Url(const std::string& path) const;
  std::string OtherUrl(const std::string& path) const;

  // Replaces every fault rule (a JSON list); true when the server took it.
  bool SetFaults(const std::string& json_rules);
  bool ClearFaults() { return SetFaults("[]"); }
  // Empties the request log (and the rules given at start-up stay).
  bool Reset();
  std::vector<BackendRequest> Requests(const std::string& path_prefix = "");
  // MD5 of the served package as the server computed it.
  std::string PackageMd5();
  // Puts a file into the package folder (replacing the package of that name).
  bool WritePackage(const std::string& name, const std::string& bytes);
  // The package bytes as served.
  std::string ReadPackage(const std::string& name = "install.exe");

  // One HTTP exchange with the control endpoints; returns the body, or empty.
  std::string Exchange(const std::string& method, const std::string& path, const std::string& body,
                       int* status = nullptr);

 private:
  std::string dir_;  // Unix path of the server's folder
  std::vector<uint16_t> ports_;
};

// Platform bodies: run `command` through /bin/sh in the background, and a
// Unix path as this program opens it (a "Z:" path under Wine).
bool SpawnBackendShell(const std::string& command);
std::string LocalPathOf(const std::string& unix_path);

}  // namespace pelmar::testing
