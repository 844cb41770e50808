#include "pages/install_target.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/text_convert.h"

namespace pelmar {
namespace {

// Two volumes by drive letter; every other path is on no local volume.
class Volumes {
 public:
  uint64_t FreeOf(const std::wstring& path) {
    asked.push_back(path);
    const auto it = free.find(path.substr(0, 2));
    return it == free.end() ? 0 : it->second;
  }
  std::map<std::wstring, uint64_t> free{{L"C:", 1000}, {L"D:", 501}};
  std::vector<std::wstring> asked;
};

TEST(InstallTargetTest, ChecksThePackageAgainstTheVolumeOfThePath) {
  const struct {
    int64_t required;
    const wchar_t* path;
    uint64_t free;
    bool roomy;
  } cases[] = {
      {500, L"D:\\Games\\Pelmar\\Morvantile", 501, true},
      {501, L"D:\\Games", 501, false},  // exactly the free bytes: no room
      {999, L"C:\\Program Files", 1000, true},
      {1000, L"C:\\", 1000, false},
      {0, L"E:\\Games", 0, false},        // no such volume
      {-5, L"D:\\Games", 501, true},      // an unknown size counts as 0
      {INT64_MAX, L"C:\\", 1000, false},  // no volume has room for this
      {0, L"", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8FromWide(c.path) + " needs " + std::to_string(c.required));
    Volumes volumes;
    const CInstallTarget target([&] { return c.required; },
                                [&](const std::wstring& p) { return volumes.FreeOf(p); });
    const SpaceCheck check = target.CheckSpace(c.path);
    EXPECT_EQ(check.requiredBytes, c.required);
    EXPECT_EQ(check.freeBytes, c.free);
    EXPECT_EQ(check.roomy, c.roomy);
    EXPECT_EQ(volumes.asked, std::vector<std::wstring>{c.path});
  }
}

TEST(InstallTargetTest, OneDirectoryAskedAfreshEachTime) {
  Volumes volumes;
  int64_t required = 100;
  CInstallTarget target([&] { return required; },
                        [&](const std::wstring& p) { return volumes.FreeOf(p); });
  EXPECT_EQ(target.path(), L"");
  EXPECT_FALSE(target.CheckSpace().roomy);  // no directory yet

  target.SetPath(L"D:\\Games\\Pelmar\\Morvantile");
  EXPECT_EQ(target.path(), L"D:\\Games\\Pelmar\\Morvantile");
  EXPECT_TRUE(target.CheckSpace().roomy);
  // The package record arrives with a larger size: the next check sees it.
  required = 600;
  EXPECT_FALSE(target.CheckSpace().roomy);
  EXPECT_TRUE(target.CheckSpace(L"C:\\Other").roomy);  // another path leaves the target alone
  EXPECT_EQ(target.path(), L"D:\\Games\\Pelmar\\Morvantile");
  // The volume fills up between two checks.
  volumes.free[L"C:"] = 600;
  EXPECT_FALSE(target.CheckSpace(L"C:\\Other").roomy);
  EXPECT_EQ(volumes.asked, (std::vector<std::wstring>{L"", L"D:\\Games\\Pelmar\\Morvantile",
                                                      L"D:\\Games\\Pelmar\\Morvantile",
                                                      L"C:\\Other", L"C:\\Other"}));
}

TEST(InstallTargetTest, WithoutQueriesThereIsNoRoom) {
  const CInstallTarget target(nullptr, nullptr);
  const SpaceCheck check = target.CheckSpace(L"C:\\");
  EXPECT_EQ(check.requiredBytes, 0);
  EXPECT_EQ(check.freeBytes, 0u);
  EXPECT_FALSE(check.roomy);
}

}  // namespace
}  // namespace pelmar
