#include "services/sdk_binding.h"

#include <mutex>

#include "base/pelmar_error.h"
#include "pelmar_config.h"

namespace pelmar {

namespace {

constexpr const char* kAppKey = "7d2e94b1c0a85f63e19b4d07a2c6f358";
constexpr const char* kAppName = "win_installer";
constexpr const char* kSensorPath = "/sa?project=production";
constexpr int kMidVersion = 1;

// The SDK's key pair (RSA-2048, Base64 DER): SubjectPublicKeyInfo and PKCS#1.
constexpr const char* kPublicKey =
    "MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEAxE6rmFFB97Ulo2QrwwntUatCQ+"
    "r6NLtudiMW1wDjLdTjvPh1FwWN5+UjtNiAkWFVZDMKuN2Sgn1SN778DdIsDS988Jvxq/"
    "whME8E4DIwk8MOfwANWyZS7V3FekHpGMxxobUg1L7SbVDpBiLzWXhllp5p/"
    "RTeysu6bjg4O8OVY8S35oXf3tJeIbETmRcnYMUB3P5qsY7pQgpBJuTTL33Nl6TD+"
    "mf8B4LPvDc2TDIiXmDUOLcARpJX8TuIBEBj9Yb1AI38VxuTwzQvJpP/atJuTTqP/X78TsynfphGR/"
    "zLh1yZPeRwapkQnnBG+ar1l+rTCThwidmM7Vnq46qgtVL8CwIDAQAB";
constexpr const char* kPrivateKey =
    "MIIEogIBAAKCAQEAxE6rmFFB97Ulo2QrwwntUatCQ+r6NLtudiMW1wDjLdTjvPh1FwWN5+"
    "UjtNiAkWFVZDMKuN2Sgn1SN778DdIsDS988Jvxq/"
    "whME8E4DIwk8MOfwANWyZS7V3FekHpGMxxobUg1L7SbVDpBiLzWXhllp5p/"
    "RTeysu6bjg4O8OVY8S35oXf3tJeIbETmRcnYMUB3P5qsY7pQgpBJuTTL33Nl6TD+"
    "mf8B4LPvDc2TDIiXmDUOLcARpJX8TuIBEBj9Yb1AI38VxuTwzQvJpP/atJuTTqP/X78TsynfphGR/"
    "zLh1yZPeRwapkQnnBG+ar1l+rTCThwidmM7Vnq46qgtVL8CwIDAQABAoIBAEKSb0zTWay4aNA1O0YESs/"
    "kZS+FM17IpVg45Bj7uw8i4CyIkaTCBHK82VQOC+"
    "PBf2TgjmVM9s970nMHOJEzUi8SiKtMJzPs6BBq67tgKesiPftBuEXOBFds8nhYe8UmJ+"
    "7v7vdW0yOxSaUEG0SfOMxQYp8qAbgCSPHx7NgPpszTJB7VCWgFpr69I6e0Ai39eeZhw4lIpm8VO0wKehTQPN1LJSGihqPL"
    "Q6qDjVyt6S+JRmC/"
    "pPgOXpX6nxsEnDHkxzHo+y9lut9NAyh3hXCdilLJdONEOC+KeUS00IOnGhlnhDhAHIQ48HPYRyRu6fHzYM80/"
    "Du1Ah9j63vLpGL+UHkCgYEA8MbxaJDyCDsDH/GQFyYUnfQeDy9qSCh2SH3DUASd6mAkBlm2XlfAMrZ/"
    "vGBI0kdrZTZwyqymC4+LLyKbdzGwo7Bb5G4lB6m8KlR+rdfccwHrpDPCIgnt/c9gzB0fo3MM/"
    "smWMi5qVEMCyIuzgWxPwPV0YzbQ7KbPG245oP3fAS8CgYEA0Lf3+9AjmFjgNtgPJR+6YM0hzo4hutjTE7/KX4CvJQz/"
    "0fLwtiMEGkQlELVVUu37Xd52ebPTCtNRKxlrnhlUB7mK2rUhao6dKTDTvptwUinTjKvD4p9rzUw5qcef2Jthy6QpVCyR1W"
    "yMIiVsDUPcMBOJrrPytU3JcyQJzVDKo+UCgYBg5U7la99bHJSHWGlKR5LodgNazRQSceYYCjR9kT4Twhj9TUEs+"
    "ldokTUalAz6Qq+fjacaiRxRbrTuhRjXgPG7DhAM/557VP1ac6J/"
    "R216Av3XmNS5ahGSoNAtlFLVLkm+h1WgYDl+K3GFT2Mv5Gy8FIuAGeE+"
    "O2sBePxMI56JFQKBgCaf5ORUwEGRMOz1Ttgv5u3DCF6RLuzE80rUUz8ZMVBJ942Cx8js8fVqZvGQnRmbsMjOQl6DSKrYME"
    "0phyDazxIe4/"
    "NVUbnGao8U2hqL6V1LIDsIDlgB6JE1afZhWtNa7d4howRQuywjyksHYdeSl0zOUMxjwKaMnpsQMEAuk1GBAoGARs/"
    "hOQhQy5M1kdMNFyh1b8wiW1tKcJf6DDKU5Mmd5i7mz0Jey3+whp6KeouA4VjnRDXUfz99c0B/"
    "Mfmx0JQ8EmybWBDEBVMX8Keu6gLsiQ0La3ageb/flpzkxLxtnN5aWYlE/"
    "b4y7IYeueUS4MfQAMxThH10rHvTkjCIfaq7SWc=";

std::mutex& LocationsMutex() {
  static std::mutex m;
  return m;
}
SdkLocations& StoredLocations() {
  static SdkLocations locations;
  return locations;
}

}  // namespace

void CSdkBinding::SetLocations(const SdkLocations& locations) {
  std::lock_guard<std::mutex> lock(LocationsMutex());
  StoredLocations() = locations;
}

SdkLocations CSdkBinding::Locations() {
  std::lock_guard<std::mutex> lock(LocationsMutex());
  return StoredLocations();
}

void CSdkBinding::SetUp(VekCoreTable& core, VekCrashHandler handler, void* context) {
  VekHandle handle = nullptr;
  if (core.create(&handle) != 0 || !handle) throw PelmarError("create VEK handle failed");
  core.handle = handle;
  if (core.setApplyKey(handle, config::kAppId, kAppKey) != 0) throw PelmarError("SetAppkey failed");
  if (core.setAppInfo(handle, kAppName, 0, 0) != 0) throw PelmarError("SetAppInfo failed");
  if (core.setHostInfo(handle, config::kSupport.host, config::kSupport.port) != 0)
    throw PelmarError("SetHostInfo failed");
  if (core.setSensorUrl(handle, kSensorPath) != 0) throw PelmarError("SetSensorUrl failed");
  if (core.setMidVersion) (void)core.setMidVersion(handle, kMidVersion);
  (void)core.setPubCertificate(handle, kPublicKey);
  (void)core.setPriCertificate(handle, kPrivateKey);
  if (core.enableCrashReport) (void)core.enableCrashReport(handle, handler, context);
}

}  // namespace pelmar
