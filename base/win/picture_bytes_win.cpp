#include "base/win/picture_bytes.h"

#include <algorithm>

#include "base/win/scoped_handle.h"

namespace pelmar {
namespace {

// The shell's memory stream (exported by ordinal only on older systems).
using CreateMemStreamFn = IStream*(WINAPI*)(const BYTE*, UINT);

IStream* CreateMemoryStream(const std::string& bytes) {
  static const CreateMemStreamFn create = [] {
    HMODULE shlwapi = LoadLibraryW(L"shlwapi.dll");
    return shlwapi ? reinterpret_cast<CreateMemStreamFn>(
                         reinterpret_cast<void*>(GetProcAddress(shlwapi, MAKEINTRESOURCEA(12))))
                   : nullptr;
  }();
  if (!create || bytes.size() > 0xFFFFFFFFu) return nullptr;
  return create(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
}

}  // namespace

std::unique_ptr<Gdiplus::Image> PictureFromBytes(const std::string& bytes) {
  IStream* stream = CreateMemoryStream(bytes);
  if (!stream) return nullptr;
  std::unique_ptr<Gdiplus::Image> image(Gdiplus::Image::FromStream(stream));
  stream->Release();
  return image;
}

bool ReadWholeFile(const std::wstring& path, size_t max_bytes, std::string* bytes) {
  win::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > max_bytes) {
    return false;
  }
  std::string content(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < content.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 20));
    if (!ReadFile(file.get(), &content[done], want, &got, nullptr) || got == 0) return false;
    done += got;
  }
  *bytes = std::move(content);
  return true;
}

}  // namespace pelmar
