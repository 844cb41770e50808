#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Gdiplus {
class Image;
}

namespace pelmar {

class IEventSink;

// Skin pictures by file name, as the widgets see them.
class IResourceMgr {
 public:
  // A non-owning pointer to the decoded picture, or null. Valid until the
  // manager is destroyed.
  virtual Gdiplus::Image* GetImage(const wchar_t* name) = 0;
  virtual ~IResourceMgr() = default;
};

// The largest skin picture read; the skin's own are a few KiB.
inline constexpr size_t kMaxSkinPictureBytes = 16u << 20;

// One unpacked skin file; its picture is decoded on first request.
struct SkinImageEntry {
  std::wstring path;      // run cache directory \ "images" \ file name
  std::wstring fileName;  // the lookup key
  std::unique_ptr<Gdiplus::Image> image;
  ~SkinImageEntry();
};

// Unpacks the skin once per run into "<run cache>\images" and hands out the
// pictures. Starts GDI+ for the process and shuts it down at destruction, so
// it must outlive every widget holding one of its pictures. User-interface
// thread only.
class CResourceManager final : public IResourceMgr {
 public:
  // runCacheDir: the run's cache directory. events: where reports go (the
  // process's event sink when null). module: where resource "BinarySystem"/103 is
  // looked up (this executable when null). Raises PelmarError "make dir failed"
  // or "load resource error".
  explicit CResourceManager(const std::wstring& runCacheDir, IEventSink* events = nullptr,
                            void* module = nullptr);
  ~CResourceManager() override;
  CResourceManager(const CResourceManager&) = delete;
  CResourceManager& operator=(const CResourceManager&) = delete;

  Gdiplus::Image* GetImage(const wchar_t* name) override;

  // The index, sorted by file name (for tests and diagnostics).
  const std::vector<std::unique_ptr<SkinImageEntry>>& entries() const { return entries_; }

 private:
  class GdiplusSession;

  [[nodiscard]] bool Scan();
  [[nodiscard]] bool UnpackCachedArchive();
  [[nodiscard]] bool ExtractFromResource();
  void ReportError(const char* utf8Text);
  void ReportStatus(const char* utf8Text);

  std::wstring cacheDir_;
  std::wstring imagesDir_;
  IEventSink* events_;
  void* module_;
  // Declared before the entries so that GDI+ outlives every image.
  std::unique_ptr<GdiplusSession> gdiplus_;
  std::vector<std::unique_ptr<SkinImageEntry>> entries_;
};

// Creates the manager; null when construction failed in any way.
IResourceMgr* CreateResourceManager(const std::wstring& runCacheDir, IEventSink* events = nullptr);

// Resource type and id of the skin archive inside the installer.
inline constexpr wchar_t kSkinResourceType[] = L"BinarySystem";
inline constexpr int kSkinResourceId = 103;
// The number of pictures a complete skin holds.
inline constexpr std::size_t kSkinFileCount = 15;

}  // namespace pelmar
