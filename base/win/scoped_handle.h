#pragma once

// Owners for the Windows handle kinds the installer uses, so that every
// early return closes what was opened. Windows files only.

#include <windows.h>
#include <objbase.h>

namespace pelmar::win {

// Owns one value of a handle kind described by `Traits` (Type, Invalid(),
// IsValid(value), Close(value)). Move-only.
template <typename Traits>
class ScopedObject {
 public:
  using Type = typename Traits::Type;

  ScopedObject() = default;
  explicit ScopedObject(Type value) : value_(value) {}
  ~ScopedObject() { reset(); }
  ScopedObject(ScopedObject&& other) noexcept : value_(other.release()) {}
  ScopedObject& operator=(ScopedObject&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedObject(const ScopedObject&) = delete;
  ScopedObject& operator=(const ScopedObject&) = delete;

  Type get() const { return value_; }
  bool valid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return valid(); }

  // Closes the value held (if any) and holds `value` instead.
  void reset(Type value = Traits::Invalid()) {
    if (Traits::IsValid(value_)) Traits::Close(value_);
    value_ = value;
  }
  // Gives the value up without closing it.
  [[nodiscard]] Type release() {
    const Type value = value_;
    value_ = Traits::Invalid();
    return value;
  }
  // For functions that return the handle through a pointer: closes the value
  // held and returns where the new one goes.
  Type* receive() {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

// Kernel objects: files, processes, threads, mutexes, snapshots. Creation
// functions fail with either null or INVALID_HANDLE_VALUE; neither is closed.
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
using ScopedHandle = ScopedObject<KernelHandleTraits>;

struct RegistryKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type key) { return key != nullptr; }
  static void Close(Type key) { ::RegCloseKey(key); }
};
using ScopedRegKey = ScopedObject<RegistryKeyTraits>;

// FindFirstFile's search handle (closed with FindClose, not CloseHandle).
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::FindClose(h); }
};
using ScopedFindHandle = ScopedObject<FindHandleTraits>;

// FindFirstVolume's search handle (FindVolumeClose).
struct FindVolumeHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::FindVolumeClose(h); }
};
using ScopedFindVolumeHandle = ScopedObject<FindVolumeHandleTraits>;

// A library loaded with LoadLibrary (FreeLibrary).
struct LibraryTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type module) { return module != nullptr; }
  static void Close(Type module) { ::FreeLibrary(module); }
};
using ScopedLibrary = ScopedObject<LibraryTraits>;

// Memory the shell or COM hands over to be freed with CoTaskMemFree (item
// lists from the folder dialog, for one).
template <typename T>
struct CoTaskMemTraits {
  using Type = T*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static void Close(Type p) { ::CoTaskMemFree(p); }
};
template <typename T>
using ScopedCoTaskMem = ScopedObject<CoTaskMemTraits<T>>;

// A device context made by CreateCompatibleDC / CreateDC (DeleteDC).
struct CreatedDcTraits {
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type dc) { return dc != nullptr; }
  static void Close(Type dc) { ::DeleteDC(dc); }
};
using ScopedCreatedDc = ScopedObject<CreatedDcTraits>;

// A GDI object (bitmap, font, brush, pen) of type `T`, deleted with
// DeleteObject. It must not be selected into a device context then.
template <typename T>
struct GdiObjectTraits {
  using Type = T;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type object) { return object != nullptr; }
  static void Close(Type object) { ::DeleteObject(object); }
};
template <typename T>
using ScopedGdiObject = ScopedObject<GdiObjectTraits<T>>;

// A window's (or the screen's) device context from GetDC, given back with
// ReleaseDC to the same window.
class ScopedGetDc {
 public:
  explicit ScopedGetDc(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
  ~ScopedGetDc() {
    if (dc_ != nullptr) ::ReleaseDC(hwnd_, dc_);
  }
  ScopedGetDc(const ScopedGetDc&) = delete;
  ScopedGetDc& operator=(const ScopedGetDc&) = delete;

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// Selects `object` into `dc` and selects the previous object back at the end
// of the scope (before the object itself may be deleted).
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~ScopedSelectObject() {
    if (ok()) ::SelectObject(dc_, old_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

  // False when the selection failed (nothing to restore).
  bool ok() const { return old_ != nullptr && old_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace pelmar::win
