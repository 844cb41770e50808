#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "pages/install_target.h"

namespace pelmar {

class IEventSink;

// Windows queries of volumes, the operating system, processes and the
// registry. The operating system's version and the registry reads are in
// base/win/os_version.h and base/win/registry_read.h. None raises: failures give an empty text, 0
// or false. The file-system part shared with the native build is in file_system.h.

// The root ("C:\\") of the local volume with the most free space where a
// directory can be created; the maker data directory, else the system drive,
// when none qualifies.
std::wstring BestVolumeRoot();

// Where the 32-bit product installs: "Program Files (x86)" on 64-bit Windows
// (from either build), the one program-files folder elsewhere.
std::wstring ProgramFilesFolder();

// A directory where `target`'s free-space check finds room: the
// program-files folder, else the best volume root. Empty when neither has
// room, which is reported as "vInstallPathError" to `events`.
std::wstring DefaultInstallLocation(const CInstallTarget& target, IEventSink& events);

// The mount paths ("C:\\", "D:\\mnt\\") of a volume name. The list is read
// into a growing buffer a bounded number of times; a list that still does not
// fit gives what the platform filled in, never a stall.
std::vector<std::wstring> VolumeMountPaths(const std::wstring& volume_name);

// Every mount path of every local volume, in enumeration order.
std::vector<std::wstring> AllVolumeMountPaths();

// The parent of a process; false when the process is not found.
[[nodiscard]] bool ParentProcessId(DWORD pid, DWORD* parent);
// Full path of a process's executable; false when it cannot be read.
[[nodiscard]] bool ProcessImagePath(DWORD pid, std::wstring* path);

struct ProcessEntry {
  DWORD pid;
  std::wstring exe_name;
};
// Running processes whose executable name the predicate accepts.
std::vector<ProcessEntry> ProcessesMatching(const std::function<bool(const std::wstring&)>& accept);

}  // namespace pelmar
