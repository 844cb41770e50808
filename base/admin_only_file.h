#pragma once

#include <string>

#include "base/file_stream.h"

namespace pelmar {

// A file this process has just created for writing.
struct CreatedFile {
  NativeFile file = kNoFile;  // read and write; others may only read
  // Its access list lets only Administrators and SYSTEM write, rename or
  // delete it (read back from the handle, not assumed).
  bool adminOnly = false;
};

// Whether this process has administrator rights that the other processes of
// its user lack (elevated under UAC), so a file only Administrators may
// write is out of their reach. False where that split does not exist:
// without UAC, with UAC off (every process of an administrator is one), and
// on other systems.
bool RunsElevatedApartFromUser();

// Creates `path` anew for reading and writing: a file already there is
// removed first (its access list must not carry over), and while the handle
// lives others may read the file but never write, rename or delete it. With
// `admin_only`, the file gets a protected access list: Administrators and
// SYSTEM may do anything, everyone else only read and execute, and the
// owner's implicit right to change the list is taken away. `adminOnly` in
// the result says whether that list is what the file has; where it could not
// be set the file is still made, without it. kNoFile when no file could be
// made.
CreatedFile CreateFileKeptFromWriters(const std::wstring& path, bool admin_only);

// Whether the access list of the open file lets nobody but Administrators
// and SYSTEM write it, rename it, delete it or change the list, and is
// protected from inheriting more. Always false on other systems.
bool OnlyAdministratorsWrite(NativeFile file);

}  // namespace pelmar
