#include "services/machine_identity.h"

#include <gtest/gtest.h>

#include <cctype>

namespace pelmar {
namespace {

const char kPciA[] = "00-1A-2B-3C-4D-01";
const char kPciB[] = "00-1A-2B-3C-4D-02";
const char kUsbA[] = "00-1A-2B-3C-4D-03";
const char kUsbB[] = "00-1A-2B-3C-4D-04";
const char kIsa[] = "00-1A-2B-3C-4D-05";
const char kOther[] = "00-1A-2B-3C-4D-06";

struct ChoiceCase {
  const char* what;
  std::vector<AdapterCandidate> devices;
  std::vector<AdapterCandidate> adapters;
  const char* expected;
};

TEST(MachineIdentityTest, ChoiceOrder) {
  const ChoiceCase kCases[] = {
      {"nothing found", {}, {}, ""},
      {"the same USB adapter in both lists: the device list wins",
       {{kUsbA, kBusUsb}},
       {{kUsbB, kBusUsb}},
       kUsbA},
      {"PCI in the adapter list beats USB in the device list",
       {{kUsbA, kBusUsb}},
       {{kPciA, kBusPci}},
       kPciA},
      {"ISA beats USB and other", {{kOther, kBusOther}, {kUsbA, kBusUsb}}, {{kIsa, kBusIsa}}, kIsa},
      {"first of a bus in list order", {{kPciA, kBusPci}, {kPciB, kBusPci}}, {}, kPciA},
      {"adapter list only, other bus", {}, {{kOther, kBusOther}, {kUsbB, kBusUsb}}, kUsbB},
      {"device list preferred within a bus", {{kPciB, kBusPci}}, {{kPciA, kBusPci}}, kPciB},
      {"only other", {}, {{kOther, kBusOther}}, kOther},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ChooseMachineIdentity(c.devices, c.adapters), c.expected);
  }
}

TEST(MachineIdentityTest, AddressFormat) {
  const uint8_t mac[6] = {0x00, 0x0c, 0x29, 0xab, 0xcd, 0xef};
  EXPECT_EQ(FormatHardwareAddress(mac, 6), "00-0C-29-AB-CD-EF");
  const uint8_t zeros[6] = {};
  EXPECT_EQ(FormatHardwareAddress(zeros, 6), "");
  EXPECT_EQ(FormatHardwareAddress(mac, 5), "");
  EXPECT_EQ(FormatHardwareAddress(nullptr, 6), "");
}

TEST(MachineIdentityTest, BusClassification) {
  struct Case {
    const char* id;
    int device_bus;  // instance ids: case-insensitive
    int pnp_bus;     // registry values: case-sensitive
  };
  const Case kCases[] = {
      {"PCI\\VEN_8086&DEV_100E", kBusPci, kBusPci},
      {"pci\\ven_8086&dev_100e", kBusPci, kBusOther},
      {"ISA\\PNP0A03", kBusIsa, kBusIsa},
      {"usb\\VID_0B95&PID_1790", kBusUsb, kBusOther},
      {"USB\\VID_0B95&PID_1790", kBusUsb, kBusUsb},
      {"ROOT\\NET\\0000", kBusOther, kBusOther},
      {"PC", kBusOther, kBusOther},
      {"", kBusOther, kBusOther},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(BusFromDeviceInstanceId(c.id), c.device_bus);
    EXPECT_EQ(BusFromPnpInstanceId(c.id), c.pnp_bus);
  }
}

// On the machine the test runs on: the identity is what the choice gives for
// the lists the platform finds, it has the fixed form, and it is stable.
TEST(MachineIdentityTest, RealMachine) {
  const std::string first = MachineIdentity();
  EXPECT_EQ(MachineIdentity(), first);
  std::vector<AdapterCandidate> devices;
  if (!machine_identity_internal::RunningInVirtualMachine()) {
    devices = machine_identity_internal::CollectDeviceList();
  }
  std::vector<AdapterCandidate> adapters = machine_identity_internal::CollectAdapterList();
  EXPECT_EQ(first, ChooseMachineIdentity(devices, adapters));
  for (const auto* list : {&devices, &adapters}) {
    for (const auto& c : *list) {
      ASSERT_EQ(c.address.size(), 17u) << c.address;
      for (size_t i = 0; i < 17; ++i) {
        const char ch = c.address[i];
        if (i % 3 == 2) {
          EXPECT_EQ(ch, '-') << c.address;
        } else {
          EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(ch)) && !std::islower(ch))
              << c.address;
        }
      }
      EXPECT_GE(c.bus, kBusPci);
      EXPECT_LE(c.bus, kBusOther);
    }
  }
  std::printf("machine identity: \"%s\" (%zu device, %zu adapter candidates)\n", first.c_str(),
              devices.size(), adapters.size());
}

}  // namespace
}  // namespace pelmar
