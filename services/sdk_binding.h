#pragma once

#include <string>

#include "services/vek_tables.h"

namespace pelmar {

// Where the SDK is unpacked and where its archive is written first. Start-up
// sets them before the first GetLogger; unset, the maker data directory is
// "PelmarPkg\" under the roaming application data and the archive goes to the
// temporary folder.
struct SdkLocations {
  std::wstring runCacheDir;   // with trailing separator; receives "Vek.zip"
  std::wstring makerDataDir;  // with trailing separator; receives "Vek\"
};

// Extracts the SDK from the installer's resources and binds it.
class CSdkBinding {
 public:
  static void SetLocations(const SdkLocations& locations);
  static SdkLocations Locations();

  // Writes the archive, unpacks it, loads and binds both libraries and sets
  // the SDK up. Throws PelmarError with the failing step's text; what was
  // bound before the failure stays in `tables`. Natively there is no SDK:
  // throws "Load VEK.dll failed" with nothing bound.
  static void Bind(VekTables& tables, VekCrashHandler handler, void* context);

  // Creates the handle and runs the setters in order on an already bound core
  // table (also used to re-initialise). Throws on the first failure.
  static void SetUp(VekCoreTable& core, VekCrashHandler handler, void* context);
};

}  // namespace pelmar
