#include "base/zip_extract.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

#include "base/ansi_path.h"
#include "base/file_stream.h"
#include "base/file_system.h"

namespace pelmar {

namespace {

// Copy buffer of one entry read.
constexpr unsigned kCopyBufferSize = 2048;
// Longest stored name accepted; the carried files have short names.
constexpr unsigned kMaxEntryNameLength = 255;
// Largest archive read into memory from a file.
constexpr int64_t kMaxArchiveSize = 256ll * 1024 * 1024;

// minizip reads the archive through these callbacks, from memory, so that a
// wide path never has to pass through minizip's narrow file names.
struct MemoryArchive {
  const unsigned char* data = nullptr;
  uLong size = 0;
  uLong position = 0;
  // minizip reads a missing header byte as a success unless the stream
  // reports an error, so a read cut short by the end is one.
  bool shortRead = false;
};

voidpf ZCALLBACK MemOpen(voidpf opaque, const char*, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  auto* archive = static_cast<MemoryArchive*>(opaque);
  archive->position = 0;
  return archive;
}

uLong ZCALLBACK MemRead(voidpf, voidpf stream, void* buf, uLong size) {
  auto* archive = static_cast<MemoryArchive*>(stream);
  const uLong left = archive->size - archive->position;
  const uLong n = size < left ? size : left;
  if (n) std::memcpy(buf, archive->data + archive->position, n);
  archive->position += n;
  if (n < size) archive->shortRead = true;
  return n;
}

uLong ZCALLBACK MemWrite(voidpf, voidpf, const void*, uLong) { return 0; }

long ZCALLBACK MemTell(voidpf, voidpf stream) {
  return static_cast<long>(static_cast<MemoryArchive*>(stream)->position);
}

long ZCALLBACK MemSeek(voidpf, voidpf stream, uLong offset, int origin) {
  auto* archive = static_cast<MemoryArchive*>(stream);
  uLong base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      base = 0;
      break;
    case ZLIB_FILEFUNC_SEEK_CUR:
      base = archive->position;
      break;
    case ZLIB_FILEFUNC_SEEK_END:
      base = archive->size;
      break;
    default:
      return -1;
  }
  if (offset > archive->size - base) return -1;
  archive->position = base + offset;
  return 0;
}

int ZCALLBACK MemClose(voidpf, voidpf) { return 0; }
int ZCALLBACK MemError(voidpf, voidpf stream) {
  return static_cast<MemoryArchive*>(stream)->shortRead ? 1 : 0;
}

struct UnzCloser {
  void operator()(void* zip) const { unzClose(zip); }
};
using UnzFile = std::unique_ptr<void, UnzCloser>;

struct StreamReleaser {
  void operator()(IPelmarStream* stream) const { stream->Release(); }
};
using StreamPtr = std::unique_ptr<IPelmarStream, StreamReleaser>;

std::wstring FolderWithSeparator(const std::wstring& folder) {
  if (folder.back() == L'\\' || folder.back() == L'/') return folder;
  return folder + kPathSeparator;
}

// Copies the current (already opened) entry into `path`; false on any fault.
bool CopyEntry(unzFile zip, const std::wstring& path, uint64_t declared) {
  StreamPtr out;
  try {
    NativeFile file = OpenFileStream(kModeCreate, path);
    if (file == kNoFile) return false;
    out.reset(new CFileStream(file));
  } catch (...) {
    return false;
  }
  std::vector<char> buffer(kCopyBufferSize);
  uint64_t written = 0;
  // Bounded: every turn consumes at least one byte of a declared, capped size.
  while (written < declared) {
    const int n = unzReadCurrentFile(zip, buffer.data(), kCopyBufferSize);
    if (n <= 0) return false;
    written += static_cast<uint64_t>(n);
    if (written > declared) return false;
    if (out->Write(buffer.data(), static_cast<uint32_t>(n)) != n) return false;
  }
  // The entry must end where its header said, with a matching CRC.
  char extra = 0;
  if (unzReadCurrentFile(zip, &extra, 1) != 0) return false;
  return true;
}

int ExtractOpened(const std::wstring& destFolder, unzFile zip) {
  unz_global_info global{};
  if (unzGetGlobalInfo(zip, &global) != UNZ_OK) return -1;
  if (global.number_entry == 0 || global.number_entry > kMaxZipEntries) return -1;
  const std::wstring folder = FolderWithSeparator(destFolder);

  int status = unzGoToFirstFile(zip);
  for (uLong index = 0; index < global.number_entry; ++index) {
    if (status != UNZ_OK) return -1;
    unz_file_info info{};
    char name[kMaxEntryNameLength + 1] = {};
    if (unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
      return -1;
    if (info.size_filename > kMaxEntryNameLength) return -1;
    const std::string stored(name, info.size_filename);
    if (!IsSafeZipEntryName(stored)) return -1;
    if (info.uncompressed_size == 0 || info.uncompressed_size > kMaxZipEntrySize) return -1;
    if (unzOpenCurrentFile(zip) != UNZ_OK) return -1;
    const bool copied = CopyEntry(zip, folder + WideFromAnsi(stored), info.uncompressed_size);
    const int closed = unzCloseCurrentFile(zip);  // UNZ_CRCERROR on a damaged entry
    if (!copied || closed != UNZ_OK) return -1;
    status = unzGoToNextFile(zip);
  }
  return 0;
}

}  // namespace

bool IsSafeZipEntryName(const std::string& name) {
  if (name.empty() || name.size() > kMaxEntryNameLength) return false;
  if (name == "." || name == "..") return false;
  for (unsigned char c : name) {
    // Directory parts, drives and streams ("C:x", "a:b"), and characters no
    // Windows file name may hold.
    if (c < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
        c == '<' || c == '>' || c == '|')
      return false;
  }
  // Windows drops trailing dots and spaces, which would make "..." or "a. "
  // name something other than what was checked.
  const char last = name.back();
  if (last == '.' || last == ' ') return false;
  // Device names ("CON", "nul.txt", "COM1.png") open a device, not a file.
  std::string stem = name.substr(0, name.find('.'));
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices)
    if (stem == device) return false;
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
      stem[3] >= '0' && stem[3] <= '9')
    return false;
  return true;
}

int ExtractZipBuffer(const std::wstring& destFolder, const void* data, size_t size) {
  if (destFolder.empty() || !data || size == 0) return -1;
  if (size > static_cast<size_t>(kMaxArchiveSize)) return -1;
  MemoryArchive archive;
  archive.data = static_cast<const unsigned char*>(data);
  archive.size = static_cast<uLong>(size);
  zlib_filefunc_def functions{};
  functions.zopen_file = &MemOpen;
  functions.zread_file = &MemRead;
  functions.zwrite_file = &MemWrite;
  functions.ztell_file = &MemTell;
  functions.zseek_file = &MemSeek;
  functions.zclose_file = &MemClose;
  functions.zerror_file = &MemError;
  functions.opaque = &archive;
  UnzFile zip(unzOpen2("memory", &functions));
  if (!zip) return -1;
  return ExtractOpened(destFolder, zip.get());
}

int ExtractZipFile(const std::wstring& destFolder, const std::wstring& archivePath) {
  if (destFolder.empty() || archivePath.empty()) return -1;
  std::vector<unsigned char> bytes;
  try {
    NativeFile file = OpenFileStream(kModeReadShared, archivePath);
    if (file == kNoFile) return -1;
    StreamPtr in(new CFileStream(file));
    const int64_t size = in->GetSize();
    if (size <= 0 || size > kMaxArchiveSize) return -1;
    bytes.resize(static_cast<size_t>(size));
    size_t got = 0;
    // Bounded: each turn reads at least one byte or stops.
    while (got < bytes.size()) {
      const uint32_t want = static_cast<uint32_t>(std::min<size_t>(bytes.size() - got, 1 << 20));
      const int32_t n = in->Read(bytes.data() + got, want);
      if (n <= 0) return -1;
      got += static_cast<size_t>(n);
    }
  } catch (...) {
    return -1;
  }
  return ExtractZipBuffer(destFolder, bytes.data(), bytes.size());
}

}  // namespace pelmar
