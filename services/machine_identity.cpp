#include "services/machine_identity.h"

#include <cstdio>
#include <mutex>

namespace pelmar {

std::string FormatHardwareAddress(const uint8_t* bytes, size_t length) {
  if (bytes == nullptr || length != 6) return std::string();
  bool all_zero = true;
  for (size_t i = 0; i < 6; ++i) all_zero = all_zero && bytes[i] == 0;
  if (all_zero) return std::string();
  char text[18];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", bytes[0], bytes[1], bytes[2],
                bytes[3], bytes[4], bytes[5]);
  return text;
}

namespace {
int BusFromPrefix(std::string_view text) {
  if (text.substr(0, 3) == "PCI") return kBusPci;
  if (text.substr(0, 3) == "ISA") return kBusIsa;
  if (text.substr(0, 3) == "USB") return kBusUsb;
  return kBusOther;
}
}  // namespace

int BusFromDeviceInstanceId(std::string_view instance_id) {
  std::string upper(instance_id.substr(0, 3));
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return BusFromPrefix(upper);
}

int BusFromPnpInstanceId(std::string_view value) { return BusFromPrefix(value); }

std::string ChooseMachineIdentity(const std::vector<AdapterCandidate>& device_list,
                                  const std::vector<AdapterCandidate>& adapter_list) {
  for (int bus = kBusPci; bus <= kBusOther; ++bus) {
    for (const auto* list : {&device_list, &adapter_list}) {
      for (const auto& candidate : *list) {
        if (candidate.bus == bus && !candidate.address.empty()) return candidate.address;
      }
    }
  }
  return std::string();
}

std::string MachineIdentity() {
  static std::once_flag once;
  static std::string identity;
  std::call_once(once, [] {
    // Whatever goes wrong, the identity stays empty and is not computed again.
    try {
      std::vector<AdapterCandidate> devices;
      if (!machine_identity_internal::RunningInVirtualMachine()) {
        devices = machine_identity_internal::CollectDeviceList();
      }
      identity = ChooseMachineIdentity(devices, machine_identity_internal::CollectAdapterList());
    } catch (...) {
      identity.clear();
    }
  });
  return identity;
}

}  // namespace pelmar
