// Natively the adapters come from sysfs: interfaces with a device link are the
// physical ones (the device list), every other one with a 6-byte address is
// the adapter list. The bus is the device's subsystem.
#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "services/machine_identity.h"

namespace pelmar::machine_identity_internal {
namespace {

constexpr int kMaxInterfaces = 255;
const char kNetRoot[] = "/sys/class/net/";

std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string ParseMac(const std::string& text) {
  unsigned v[6];
  if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x", &v[0], &v[1], &v[2], &v[3], &v[4],
                  &v[5]) != 6) {
    return std::string();
  }
  uint8_t bytes[6];
  for (int i = 0; i < 6; ++i) bytes[i] = static_cast<uint8_t>(v[i]);
  return FormatHardwareAddress(bytes, 6);
}

int BusOfSubsystem(const std::string& link) {
  char target[PATH_MAX] = {};
  const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return kBusOther;
  std::string name(target, static_cast<size_t>(n));
  name = name.substr(name.find_last_of('/') + 1);
  if (name == "pci") return kBusPci;
  if (name == "isa") return kBusIsa;
  if (name == "usb") return kBusUsb;
  return kBusOther;
}

// Calls visit(name, has_device) for each interface, in directory order.
template <typename Visit>
void ForEachInterface(Visit visit) {
  DIR* dir = opendir(kNetRoot);
  if (dir == nullptr) return;
  int seen = 0;
  while (dirent* entry = readdir(dir)) {
    if (++seen > kMaxInterfaces) break;
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || name == "lo") continue;
    const bool has_device = access((kNetRoot + name + "/device").c_str(), F_OK) == 0;
    visit(name, has_device);
  }
  closedir(dir);
}

}  // namespace

std::vector<AdapterCandidate> CollectDeviceList() {
  std::vector<AdapterCandidate> list;
  ForEachInterface([&](const std::string& name, bool has_device) {
    if (!has_device) return;
    const std::string base = kNetRoot + name;
    // The permanent address where the kernel exposes one, else the current one.
    std::string address = ParseMac(ReadLine(base + "/permaddr"));
    if (address.empty()) address = ParseMac(ReadLine(base + "/address"));
    if (!address.empty()) list.push_back({address, BusOfSubsystem(base + "/device/subsystem")});
  });
  return list;
}

std::vector<AdapterCandidate> CollectAdapterList() {
  std::vector<AdapterCandidate> list;
  ForEachInterface([&](const std::string& name, bool) {
    const std::string address = ParseMac(ReadLine(kNetRoot + name + "/address"));
    if (!address.empty()) list.push_back({address, kBusOther});
  });
  return list;
}

// The kernel lists the "hypervisor" CPU flag inside a guest.
bool RunningInVirtualMachine() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  for (int i = 0; i < 4096 && std::getline(in, line); ++i) {
    if (line.compare(0, 5, "flags") == 0) return line.find(" hypervisor") != std::string::npos;
  }
  return false;
}

}  // namespace pelmar::machine_identity_internal
