#include "ui/resource_manager.h"

#include <algorithm>

#include "base/event_sink.h"
#include "base/file_stream.h"
#include "base/pelmar_error.h"
#include "base/win/scoped_handle.h"
#include "base/zip_extract.h"
#include "base/win/gdiplus_include.h"
#include "base/win/picture_bytes.h"

namespace pelmar {
namespace {

// Report texts ("error_status" / "resource_status"), UTF-8.
constexpr char kUnpackFailed[] = "资源解压失败";
constexpr char kCacheDirMissing[] = "创建缓存路径失败";
constexpr char kPictureMissing[] = "获取指定资源失败";
constexpr char kCreated[] = "创建资源成功";
constexpr char kCreateFailed[] = "创建资源失败";

std::wstring Join(const std::wstring& folder, const wchar_t* name) {
  if (folder.empty()) return name;
  const wchar_t last = folder.back();
  if (last == L'\\' || last == L'/') return folder + name;
  return folder + L"\\" + name;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

class CResourceManager::GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, background thread
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiplusSession() {
    if (ok_) Gdiplus::GdiplusShutdown(token_);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

SkinImageEntry::~SkinImageEntry() = default;

CResourceManager::CResourceManager(const std::wstring& runCacheDir, IEventSink* events,
                                   void* module)
    : cacheDir_(runCacheDir),
      events_(events ? events : ProcessEventSink()),
      module_(module ? module : GetModuleHandleW(nullptr)) {
  (void)events_->Send(Event("vResourceMgrStart"));

  gdiplus_ = std::make_unique<GdiplusSession>();
  // Without a cache directory there is nowhere to look or unpack: the sources
  // that read the folder fail instead of using the current directory.
  if (!cacheDir_.empty()) imagesDir_ = Join(cacheDir_, L"images");

  const bool loaded = Scan() || UnpackCachedArchive() || ExtractFromResource();
  if (loaded) {
    ReportStatus(kCreated);
    return;
  }
  ReportStatus(kCreateFailed);
  throw PelmarError("load resource error");
}

CResourceManager::~CResourceManager() {
  entries_.clear();
  gdiplus_.reset();
}

void CResourceManager::ReportError(const char* utf8Text) {
  (void)events_->Send(Event("vResourceError").SetString("error_status", utf8Text));
}

void CResourceManager::ReportStatus(const char* utf8Text) {
  (void)events_->Send(Event("vResourceStatus").SetString("resource_status", utf8Text));
}

bool CResourceManager::Scan() {
  if (imagesDir_.empty()) return false;
  entries_.clear();
  if (!IsDirectory(imagesDir_)) {
    if (!CreateDirectoryW(imagesDir_.c_str(), nullptr)) throw PelmarError("make dir failed");
    return false;
  }
  WIN32_FIND_DATAW found;
  const std::wstring pattern = Join(imagesDir_, L"*");
  win::ScopedFindHandle find(FindFirstFileW(pattern.c_str(), &found));
  if (find) {
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      auto entry = std::make_unique<SkinImageEntry>();
      entry->fileName = found.cFileName;
      entry->path = Join(imagesDir_, found.cFileName);
      entries_.push_back(std::move(entry));
    } while (FindNextFileW(find.get(), &found));
  }
  if (entries_.size() != kSkinFileCount) ReportError(kPictureMissing);
  if (entries_.empty()) {
    ReportError(kPictureMissing);
    return false;
  }
  // Ordinal UTF-16 order, which GetImage's binary search relies on.
  std::sort(entries_.begin(), entries_.end(),
            [](const std::unique_ptr<SkinImageEntry>& a, const std::unique_ptr<SkinImageEntry>& b) {
              return a->fileName < b->fileName;
            });
  return true;
}

bool CResourceManager::UnpackCachedArchive() {
  if (cacheDir_.empty()) return false;
  const std::wstring archive = Join(cacheDir_, L"Resource.zip");
  if (FileSize(archive) <= 0) return false;
  if (ExtractZipFile(imagesDir_, archive) != 0) {
    ReportError(kUnpackFailed);
    return false;
  }
  return Scan();
}

bool CResourceManager::ExtractFromResource() {
  if (cacheDir_.empty()) ReportError(kCacheDirMissing);
  HMODULE module = static_cast<HMODULE>(module_);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kSkinResourceId), kSkinResourceType);
  const DWORD size = found ? SizeofResource(module, found) : 0;
  HGLOBAL loaded = size ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) {
    ReportError(kUnpackFailed);
    return false;
  }
  int32_t written = 0;
  if (!cacheDir_.empty()) {
    try {
      CFileStream file(OpenFileStream(kModeCreate, Join(cacheDir_, L"Resource.zip")));
      written = file.Write(bytes, size);
    } catch (const PelmarError&) {
      written = 0;
    }
  }
  if (written < 1) ReportError(kUnpackFailed);
  // Resources of a loaded module need no release on Win32; the handle stays valid.
  return UnpackCachedArchive();
}

Gdiplus::Image* CResourceManager::GetImage(const wchar_t* name) {
  if (!name) return nullptr;
  const std::wstring key(name);
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                             [](const std::unique_ptr<SkinImageEntry>& entry,
                                const std::wstring& k) { return entry->fileName < k; });
  if (it == entries_.end() || (*it)->fileName != key) {
    ReportError(kPictureMissing);
    return nullptr;
  }
  SkinImageEntry& entry = **it;
  if (!entry.image) {
    // Decoded from memory, so no skin file stays open: the run cache can be
    // removed at the quit even when the window is left to the process exit.
    // A file GDI+ cannot decode still gives an image object, which draws nothing.
    std::string bytes;
    if (ReadWholeFile(entry.path, kMaxSkinPictureBytes, &bytes)) {
      entry.image = PictureFromBytes(bytes);
    } else {
      entry.image.reset(
          new Gdiplus::Image(entry.path.c_str()));  // GdipAlloc: null when out of memory
    }
    if (!entry.image) {
      ReportError(kPictureMissing);
      return nullptr;
    }
  }
  return entry.image.get();
}

IResourceMgr* CreateResourceManager(const std::wstring& runCacheDir, IEventSink* events) {
  try {
    return new CResourceManager(runCacheDir, events);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace pelmar
