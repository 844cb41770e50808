#pragma once

namespace pelmar {

// Makes every later library load of this process look in the system folder
// only: never in the folder the installer was started from (a Downloads
// folder anyone's download may drop a DLL into) nor the current one. Uses
// SetDefaultDllDirectories where the system has it (resolved at run time:
// Windows XP and Vista without the update lack it), else removes the current
// folder from the search. True when the search is restricted to System32.
bool RestrictLibrarySearchToSystem();

}  // namespace pelmar
