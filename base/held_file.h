#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pelmar {

// Which file a path named at one moment: its volume and file number.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity& o) const { return volume == o.volume && index == o.index; }
};

// The identity of the plain file `path` names, read without opening it for
// data (so no sharing mode refuses it); false for none, a directory or a link.
[[nodiscard]] bool IdentifyFile(const std::wstring& path, FileIdentity* identity);

// A file opened for reading and held open, so that the bytes checked are
// the bytes later started. On Windows it is opened with sharing that lets
// others read (and execute) it but never write, rename or delete it while it
// is held: from its digest until the setup process has been created nobody
// can swap it. A link or junction in the file's place is refused, so the
// path names the held file itself. On other systems the hold is advisory
// (the product runs on Windows; the native build shares the logic).
//
// Threads: one owner at a time.
class CHeldFile {
 public:
  // Opens and holds `path`; null when it cannot be held: missing, a
  // directory or a link, or open elsewhere with write or delete access.
  static std::unique_ptr<CHeldFile> Open(const std::wstring& path);
  ~CHeldFile();
  CHeldFile(const CHeldFile&) = delete;
  CHeldFile& operator=(const CHeldFile&) = delete;

  const std::wstring& Path() const { return path_; }
  // Reads up to `size` bytes from the current position: the count read, 0
  // at the end, -1 on an error.
  int64_t Read(void* buffer, size_t size);
  // Back to the first byte; false on an error.
  bool Rewind();
  // Whether `path` still names this very file (same volume and file number);
  // false for a link in its place.
  bool IsNamedBy(const std::wstring& path) const;
  // Whether this is the file that had `identity` (a file written and then
  // held is the same file only if nobody put another in its place).
  bool Is(const FileIdentity& identity) const;

 private:
  struct Native;
  CHeldFile(std::wstring path, std::unique_ptr<Native> native);

  std::wstring path_;
  std::unique_ptr<Native> native_;
};

}  // namespace pelmar
