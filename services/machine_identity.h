#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// The machine identity: the hardware address of one network adapter, chosen so
// that the same physical adapter wins on every run ("%02X-%02X-..." form, 17
// characters; empty when no adapter qualifies). Computed once per process;
// safe to call from any thread.
std::string MachineIdentity();

// Bus of an adapter candidate, in order of preference.
enum BusType : int { kBusPci = 1, kBusIsa = 2, kBusUsb = 3, kBusOther = 4 };

struct AdapterCandidate {
  std::string address;  // "00-1A-2B-3C-4D-5E"
  int bus = kBusOther;
};

// Six address bytes as upper-case hex joined by "-"; empty when the length is
// not 6 or all bytes are zero (such an address never becomes a candidate).
std::string FormatHardwareAddress(const uint8_t* bytes, size_t length);

// Bus from a device instance id ("PCI\\VEN_8086..."): compared after upper-casing
// ASCII letters.
int BusFromDeviceInstanceId(std::string_view instance_id);

// Bus from an adapter's "PnpInstanceID" registry value as UTF-8: compared
// case-sensitively, so "pci\\..." counts as other.
int BusFromPnpInstanceId(std::string_view value);

// For PCI, then ISA, USB and other: the first device-list candidate of that
// bus, else the first adapter-list one. Empty without candidates.
std::string ChooseMachineIdentity(const std::vector<AdapterCandidate>& device_list,
                                  const std::vector<AdapterCandidate>& adapter_list);

namespace machine_identity_internal {
// Platform bodies (machine_identity_win.cpp / machine_identity_posix.cpp).
// Physical devices of the device-setup interface, in discovery order.
std::vector<AdapterCandidate> CollectDeviceList();
// The plain adapter list, in list order.
std::vector<AdapterCandidate> CollectAdapterList();
// True inside a virtual machine, where the device list is skipped.
bool RunningInVirtualMachine();
}  // namespace machine_identity_internal

}  // namespace pelmar
