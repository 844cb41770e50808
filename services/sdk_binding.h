#pragma once

#include <string>

#include "services/vek_tables.h"

namespace pelmar {

// Where the SDK is unpacked. Start-up sets them before the first GetLogger;
// unset, the maker data directory is "PelmarPkg\" under the roaming
// application data. The archive is unpacked from the installer's resources in
// memory: nothing is written to the run cache directory any more.
struct SdkLocations {
  std::wstring runCacheDir;   // with trailing separator
  std::wstring makerDataDir;  // with trailing separator; receives "Vek\"
};

// Extracts the SDK from the installer's resources and binds it.
class CSdkBinding {
 public:
  static void SetLocations(const SdkLocations& locations);
  static SdkLocations Locations();

  // Checks the modules already unpacked against the digests of the ones the
  // installer carries (unpacking its own where any differs), loads and binds
  // both libraries and sets
  // the SDK up. Throws PelmarError with the failing step's text; what was
  // bound before the failure stays in `tables`. Natively there is no SDK:
  // throws "Load VEK.dll failed" with nothing bound.
  static void Bind(VekTables& tables, VekCrashHandler handler, void* context);

  // Creates the handle and runs the setters in order on an already bound core
  // table (also used to re-initialise). Throws on the first failure.
  static void SetUp(VekCoreTable& core, VekCrashHandler handler, void* context);
};

}  // namespace pelmar
