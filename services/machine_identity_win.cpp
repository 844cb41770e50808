// Adapter discovery through the device-setup interface (physical network
// devices, asked for their burnt-in address through NDIS) and through the
// IP Helper adapter list, with the bus read from the network class registry.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <setupapi.h>
#include <cpuid.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/text_convert.h"
#include "base/win/scoped_handle.h"
#include "services/machine_identity.h"
#include "base/win/system_api.h"

namespace pelmar::machine_identity_internal {
namespace {

// {AD498944-762F-11D0-8DCB-00C04FC3358C}: the NDIS LAN device interface class.
const GUID kNdisLanClass = {
    0xAD498944, 0x762F, 0x11D0, {0x8D, 0xCB, 0x00, 0xC0, 0x4F, 0xC3, 0x35, 0x8C}};
// From the driver kit's ntddndis.h, which MinGW does not ship for user mode.
constexpr DWORD kIoctlNdisQueryGlobalStats = 0x00170002;
constexpr DWORD kOidPermanentAddress = 0x01010101;
constexpr DWORD kOidCurrentAddress = 0x01010102;
constexpr DWORD kPropertyLocationPaths = 35;  // SPDRP_LOCATION_PATHS
constexpr int kMaxDevices = 255;

struct DeviceInfoSet {
  HDEVINFO set;
  ~DeviceInfoSet() {
    if (set != INVALID_HANDLE_VALUE) sys::SetupDiDestroyDeviceInfoList(set);
  }
};

// Asks the driver for one address OID; the text is empty on failure or zeros.
std::string QueryAddress(HANDLE device, DWORD oid) {
  uint8_t out[260] = {};
  DWORD returned = 0;
  if (!DeviceIoControl(device, kIoctlNdisQueryGlobalStats, &oid, sizeof oid, out, sizeof out,
                       &returned, nullptr) ||
      returned < 6) {
    return std::string();
  }
  return FormatHardwareAddress(out, 6);
}

std::wstring DevicePath(HDEVINFO set, DWORD index) {
  SP_DEVICE_INTERFACE_DATA iface = {};
  iface.cbSize = sizeof iface;
  if (!sys::SetupDiEnumDeviceInterfaces(set, nullptr, &kNdisLanClass, index, &iface)) return {};
  DWORD needed = 0;
  sys::SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &needed, nullptr);
  if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return {};
  std::vector<uint8_t> buffer(needed);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  if (!sys::SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, needed, nullptr, nullptr))
    return {};
  return detail->DevicePath;
}

}  // namespace

std::vector<AdapterCandidate> CollectDeviceList() {
  std::vector<AdapterCandidate> list;
  DeviceInfoSet devices{sys::SetupDiGetClassDevsW(&kNdisLanClass, nullptr, nullptr,
                                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)};
  if (devices.set == INVALID_HANDLE_VALUE) return list;
  for (DWORD index = 0; index < kMaxDevices; ++index) {
    SP_DEVINFO_DATA info = {};
    info.cbSize = sizeof info;
    if (!sys::SetupDiEnumDeviceInfo(devices.set, index, &info)) break;

    // Only devices with a physical location are real adapters.
    wchar_t location[260] = {};
    DWORD type = 0;
    if (!sys::SetupDiGetDeviceRegistryPropertyW(devices.set, &info, kPropertyLocationPaths, &type,
                                                reinterpret_cast<BYTE*>(location),
                                                sizeof location - sizeof(wchar_t), nullptr) ||
        location[0] == L'\0') {
      continue;
    }
    wchar_t instance_id[512] = {};
    if (!sys::SetupDiGetDeviceInstanceIdW(devices.set, &info, instance_id, 511, nullptr) ||
        wcslen(instance_id) <= 2) {
      continue;
    }
    const int bus = BusFromDeviceInstanceId(Utf8FromWide(instance_id));

    const std::wstring path = DevicePath(devices.set, index);
    if (path.empty()) continue;
    win::ScopedHandle device(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device) continue;
    std::string address = QueryAddress(device.get(), kOidPermanentAddress);
    // Some drivers report a zero burnt-in address but a real current one.
    if (address.empty()) address = QueryAddress(device.get(), kOidCurrentAddress);
    if (!address.empty()) list.push_back({address, bus});
  }
  return list;
}

namespace {
int BusOfAdapter(const char* adapter_name) {
  win::ScopedRegKey network;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                    L"SYSTEM\\CurrentControlSet\\Control\\Network\\"
                    L"{4D36E972-E325-11CE-BFC1-08002BE10318}",
                    0, KEY_READ, network.receive()) != ERROR_SUCCESS) {
    return kBusOther;
  }
  win::ScopedRegKey connection;
  const std::wstring sub = WideFromUtf8(adapter_name) + L"\\Connection";
  if (RegOpenKeyExW(network.get(), sub.c_str(), 0, KEY_READ, connection.receive()) !=
      ERROR_SUCCESS) {
    return kBusOther;
  }
  wchar_t value[1024] = {};
  DWORD size = sizeof value - sizeof(wchar_t);  // room for a terminator we add
  DWORD type = 0;
  if (RegQueryValueExW(connection.get(), L"PnpInstanceID", nullptr, &type,
                       reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
      size < 7) {
    return kBusOther;
  }
  value[size / sizeof(wchar_t)] = L'\0';
  return BusFromPnpInstanceId(Utf8FromWide(value));
}
}  // namespace

std::vector<AdapterCandidate> CollectAdapterList() {
  std::vector<AdapterCandidate> list;
  ULONG size = 0;
  if (sys::GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return list;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
  if (!buffer) return list;
  auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get());
  if (sys::GetAdaptersInfo(adapters, &size) != ERROR_SUCCESS) return list;
  for (const IP_ADAPTER_INFO* a = adapters; a != nullptr; a = a->Next) {
    if (a->AddressLength != 6) continue;
    const std::string address = FormatHardwareAddress(a->Address, 6);
    if (address.empty()) continue;
    list.push_back({address, BusOfAdapter(a->AdapterName)});
  }
  return list;
}

// A hypervisor announces itself in CPUID leaf 1 (ECX bit 31). Windows with
// virtualisation-based security runs on a hypervisor too, as its root
// partition: there the hypervisor is "Microsoft Hv" and leaf 0x40000003
// grants the CreatePartitions privilege (EBX bit 0), which no guest has.
bool RunningInVirtualMachine() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  if ((c & (1u << 31)) == 0) return false;
  __cpuid(0x40000000, a, b, c, d);
  char vendor[13] = {};
  std::memcpy(vendor, &b, 4);
  std::memcpy(vendor + 4, &c, 4);
  std::memcpy(vendor + 8, &d, 4);
  if (std::strcmp(vendor, "Microsoft Hv") == 0 && a >= 0x40000003) {
    __cpuid(0x40000003, a, b, c, d);
    if (b & 1u) return false;  // the root partition: physical hardware
  }
  return true;
}

}  // namespace pelmar::machine_identity_internal
