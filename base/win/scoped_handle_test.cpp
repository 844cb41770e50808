#include "base/win/scoped_handle.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace pelmar::win {
namespace {

bool IsOpenKernelHandle(HANDLE h) {
  DWORD flags = 0;
  return GetHandleInformation(h, &flags) != FALSE;
}

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(ScopedHandleTest, ClosesAtScopeEndAndNeverClosesTheFailureValues) {
  HANDLE raw = NewEvent();
  ASSERT_NE(raw, nullptr);
  {
    ScopedHandle owner(raw);
    EXPECT_TRUE(owner);
    EXPECT_EQ(owner.get(), raw);
    EXPECT_TRUE(IsOpenKernelHandle(raw));
  }
  EXPECT_FALSE(IsOpenKernelHandle(raw));

  // Both failure values of the creation functions count as "nothing held".
  EXPECT_FALSE(ScopedHandle(nullptr));
  EXPECT_FALSE(ScopedHandle(INVALID_HANDLE_VALUE));
}

TEST(ScopedHandleTest, MoveResetReleaseAndReceive) {
  HANDLE first = NewEvent();
  HANDLE second = NewEvent();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);

  ScopedHandle a(first);
  ScopedHandle b(std::move(a));
  EXPECT_FALSE(a);
  EXPECT_EQ(b.get(), first);

  ScopedHandle c(second);
  c = std::move(b);  // the handle c held is closed, first moves over
  EXPECT_FALSE(IsOpenKernelHandle(second));
  EXPECT_EQ(c.get(), first);

  HANDLE kept = c.release();
  EXPECT_FALSE(c);
  EXPECT_TRUE(IsOpenKernelHandle(kept));
  c.reset(kept);
  c.reset();
  EXPECT_FALSE(IsOpenKernelHandle(kept));

  HANDLE third = NewEvent();
  ScopedHandle d(third);
  *d.receive() = NewEvent();  // receive closes what was held first
  EXPECT_FALSE(IsOpenKernelHandle(third));
  EXPECT_TRUE(IsOpenKernelHandle(d.get()));
}

TEST(ScopedRegKeyTest, OpensThroughReceiveAndClosesTheKey) {
  HKEY raw = nullptr;
  {
    ScopedRegKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.receive()),
              ERROR_SUCCESS);
    raw = key.get();
    DWORD subkeys = 0;
    EXPECT_EQ(RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
  }
  DWORD subkeys = 0;
  EXPECT_NE(RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
}

TEST(ScopedFindHandleTest, ClosesTheSearch) {
  wchar_t folder[MAX_PATH] = {};
  ASSERT_NE(GetWindowsDirectoryW(folder, MAX_PATH), 0u);
  WIN32_FIND_DATAW entry;
  HANDLE raw = INVALID_HANDLE_VALUE;
  {
    ScopedFindHandle find(FindFirstFileW((std::wstring(folder) + L"\\*").c_str(), &entry));
    ASSERT_TRUE(find);
    raw = find.get();
    EXPECT_TRUE(FindNextFileW(raw, &entry));
  }
  SetLastError(0);
  EXPECT_FALSE(FindNextFileW(raw, &entry));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  ScopedFindHandle missing(FindFirstFileW(L"Z:\\no such folder here\\*", &entry));
  EXPECT_FALSE(missing);
}

TEST(ScopedLibraryTest, FreesTheLibraryItLoaded) {
  // A library this test program does not load otherwise, so its count is ours.
  constexpr wchar_t kName[] = L"hid.dll";
  ASSERT_EQ(GetModuleHandleW(kName), nullptr);
  {
    const ScopedLibrary library(LoadLibraryW(kName));
    ASSERT_TRUE(library);
    EXPECT_EQ(GetModuleHandleW(kName), library.get());
  }
  EXPECT_EQ(GetModuleHandleW(kName), nullptr);
  EXPECT_FALSE(ScopedLibrary(LoadLibraryW(L"no-such-library-here.dll")));
}

TEST(ScopedGdiTest, DeletesDcAndObjectsAndRestoresTheSelection) {
  HDC raw_dc = nullptr;
  HBITMAP raw_bitmap = nullptr;
  {
    ScopedGetDc screen(nullptr);
    ASSERT_TRUE(screen);
    ScopedCreatedDc dc(CreateCompatibleDC(screen.get()));
    ASSERT_TRUE(dc);
    raw_dc = dc.get();
    const HGDIOBJ original = GetCurrentObject(dc.get(), OBJ_BITMAP);
    ScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.get(), 4, 4));
    ASSERT_TRUE(bitmap);
    raw_bitmap = bitmap.get();
    {
      ScopedSelectObject selected(dc.get(), bitmap.get());
      EXPECT_TRUE(selected.ok());
      EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BITMAP), bitmap.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BITMAP), original);
    EXPECT_EQ(GetObjectType(raw_bitmap), static_cast<DWORD>(OBJ_BITMAP));
  }
  EXPECT_EQ(GetObjectType(raw_bitmap), 0u);
  EXPECT_EQ(GetObjectType(raw_dc), 0u);
}

}  // namespace
}  // namespace pelmar::win
