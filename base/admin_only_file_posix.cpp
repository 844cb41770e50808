#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/admin_only_file.h"
#include "base/text_convert.h"

namespace pelmar {

// Here every process of a user may write what the user owns, and an
// administrator's other processes are administrators too: no file is out of
// reach of the user's own processes, so nothing is ever relied on as such.
bool RunsElevatedApartFromUser() { return false; }

CreatedFile CreateFileKeptFromWriters(const std::wstring& path, bool admin_only) {
  const std::string name = Utf8FromWide(path);
  (void)unlink(name.c_str());
  // Readable by others where an administrator's file would be, else the
  // owner's alone; a link put in the file's place is not followed.
  const mode_t mode = admin_only ? 0644 : 0600;
  const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  CreatedFile created;
  if (fd >= 0) created.file = static_cast<NativeFile>(fd);
  return created;
}

bool OnlyAdministratorsWrite(NativeFile) { return false; }

}  // namespace pelmar
