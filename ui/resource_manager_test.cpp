#include "ui/resource_manager.h"

#include <gtest/gtest.h>

#include "base/pelmar_error.h"
#include "base/text_convert.h"
#include "base/win/gdiplus_include.h"
#include "ui/ui_test_support.h"

namespace pelmar {
namespace {

using test::ScratchDir;

const char kUnpackFailed[] = "资源解压失败";
const char kCacheDirMissing[] = "创建缓存路径失败";
const char kPictureMissing[] = "获取指定资源失败";

struct SkinFile {
  const wchar_t* name;
  unsigned width, height;
};
// Every picture of the skin with its pixel size, in sorted order.
const SkinFile kSkin[] = {
    {L"custom_btn_back_hover.png", 32, 32},
    {L"custom_btn_back_normal.png", 32, 32},
    {L"custom_btn_back_press.png", 32, 32},
    {L"error_icon.png", 60, 60},
    {L"global_btn_close_hover.png", 32, 32},
    {L"global_btn_close_normal.png", 32, 32},
    {L"inquire_icon.png", 60, 60},
    {L"install_banner.png", 1200, 604},
    {L"logo.png", 240, 240},
    {L"main_bg.png", 1200, 800},
    {L"main_checkbox_deselect.png", 32, 32},
    {L"main_checkbox_select.png", 32, 32},
    {L"main_word_custom_hover.png", 32, 32},
    {L"main_word_custom_normal.png", 32, 32},
    {L"main_word_custom_press.png", 32, 32},
};

std::string StatusOf(const RecordingEventSink& log) {
  for (const auto& e : log.Events()) {
    if (e.name == "vResourceStatus") return e.strings.at("resource_status");
  }
  return "<none>";
}

class ResourceManagerTest : public testing::Test {
 protected:
  std::wstring Images() const { return cache_.Join(L"images"); }
  std::wstring Archive() const { return cache_.Join(L"Resource.zip"); }

  // A complete skin unpacked by one manager, copied as the files of a cache folder.
  void PopulateImages(std::size_t count) {
    ScratchDir source;
    RecordingEventSink quiet;
    { CResourceManager full(source.path(), &quiet); }
    CreateDirectoryW(Images().c_str(), nullptr);
    for (std::size_t i = 0; i < count; ++i) {
      const std::wstring from = source.Join(std::wstring(L"images\\") + kSkin[i].name);
      ASSERT_TRUE(CopyFileW(from.c_str(), (Images() + L"\\" + kSkin[i].name).c_str(), FALSE));
    }
  }

  ScratchDir cache_;
  RecordingEventSink log_;
};

TEST_F(ResourceManagerTest, FreshCacheUnpacksTheResource) {
  CResourceManager mgr(cache_.path(), &log_);
  EXPECT_EQ((std::vector<std::string>{"vResourceMgrStart", "vResourceStatus"}), log_.Names());
  EXPECT_EQ("创建资源成功", StatusOf(log_));
  EXPECT_TRUE(test::FileExists(Archive()));
  ASSERT_EQ(kSkinFileCount, mgr.entries().size());
  for (std::size_t i = 0; i < kSkinFileCount; ++i) {
    SCOPED_TRACE(Utf8FromWide(kSkin[i].name));
    // Sorted by name; the path is the unpacked file.
    EXPECT_EQ(kSkin[i].name, mgr.entries()[i]->fileName);
    EXPECT_EQ(Images() + L"\\" + kSkin[i].name, mgr.entries()[i]->path);
    EXPECT_TRUE(test::FileExists(mgr.entries()[i]->path));
  }
}

TEST_F(ResourceManagerTest, EveryPictureDecodesAtItsSizeOnceAndLazily) {
  CResourceManager mgr(cache_.path(), &log_);
  for (const auto& entry : mgr.entries()) EXPECT_EQ(nullptr, entry->image);
  for (const SkinFile& f : kSkin) {
    SCOPED_TRACE(Utf8FromWide(f.name));
    Gdiplus::Image* image = mgr.GetImage(f.name);
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(Gdiplus::Ok, image->GetLastStatus());
    EXPECT_EQ(f.width, image->GetWidth());
    EXPECT_EQ(f.height, image->GetHeight());
    EXPECT_EQ(image, mgr.GetImage(f.name));
  }
  EXPECT_TRUE(test::ErrorTexts(log_).empty());
  // No picture holds its file open: the run cache can be removed at the quit
  // while the pictures still live (and they still draw).
  for (const auto& entry : mgr.entries()) {
    SCOPED_TRACE(Utf8FromWide(entry->fileName));
    EXPECT_TRUE(DeleteFileW(entry->path.c_str())) << GetLastError();
    EXPECT_EQ(Gdiplus::Ok, entry->image->GetLastStatus());
  }
  test::Dib dib(64, 64);
  Gdiplus::Graphics g(dib.dc());
  EXPECT_EQ(Gdiplus::Ok, g.DrawImage(mgr.GetImage(kSkin[0].name), 0, 0, 64, 64));
}

TEST_F(ResourceManagerTest, UnknownNamesAreReportedAndCaseMatters) {
  CResourceManager mgr(cache_.path(), &log_);
  EXPECT_EQ(nullptr, mgr.GetImage(nullptr));
  EXPECT_TRUE(test::ErrorTexts(log_).empty());  // a null name is not reported
  const wchar_t* unknown[] = {
      L"LOGO.png", L"logo", L"", L"zzz.png", L"aaa.png", L"main_bg.png ", L"images\\logo.png"};
  for (const wchar_t* name : unknown) {
    SCOPED_TRACE(Utf8FromWide(name));
    EXPECT_EQ(nullptr, mgr.GetImage(name));
  }
  EXPECT_EQ(std::vector<std::string>(std::size(unknown), kPictureMissing), test::ErrorTexts(log_));
}

TEST_F(ResourceManagerTest, PopulatedCacheIsUsedWithoutExtracting) {
  PopulateImages(kSkinFileCount);
  CResourceManager mgr(cache_.path(), &log_);
  EXPECT_EQ(kSkinFileCount, mgr.entries().size());
  EXPECT_FALSE(test::FileExists(Archive()));
  EXPECT_TRUE(test::ErrorTexts(log_).empty());
  EXPECT_EQ("创建资源成功", StatusOf(log_));
}

TEST_F(ResourceManagerTest, PartialSkinIsReportedAndAccepted) {
  PopulateImages(14);  // the last name of the sorted list is missing
  CResourceManager mgr(cache_.path(), &log_);
  EXPECT_EQ(14u, mgr.entries().size());
  EXPECT_FALSE(test::FileExists(Archive()));
  EXPECT_EQ(std::vector<std::string>{kPictureMissing}, test::ErrorTexts(log_));
  EXPECT_EQ("创建资源成功", StatusOf(log_));
  EXPECT_NE(nullptr, mgr.GetImage(kSkin[13].name));
  EXPECT_EQ(nullptr, mgr.GetImage(kSkin[14].name));
}

TEST_F(ResourceManagerTest, CachedArchiveIsUnpackedFirst) {
  // A cached archive with one good picture wins over the resource.
  ScratchDir source;
  { CResourceManager full(source.path(), &log_); }
  const std::string logo = test::ReadFileBytes(source.Join(L"images\\logo.png"));
  ASSERT_FALSE(logo.empty());
  ASSERT_TRUE(test::WriteFileBytes(Archive(), test::MakeStoredZip({{"logo.png", logo}})));
  log_.Clear();
  CResourceManager mgr(cache_.path(), &log_);
  ASSERT_EQ(1u, mgr.entries().size());
  EXPECT_EQ(L"logo.png", mgr.entries()[0]->fileName);
  EXPECT_EQ(std::vector<std::string>{kPictureMissing}, test::ErrorTexts(log_));  // 1 of 15
  ASSERT_NE(nullptr, mgr.GetImage(L"logo.png"));
  EXPECT_EQ(240u, mgr.GetImage(L"logo.png")->GetWidth());
}

struct BadArchiveCase {
  const char* what;
  std::vector<std::pair<std::string, std::string>> entries;
  const char* outsideName;  // a file the archive must not create next to the cache, or null
};

const BadArchiveCase kBadArchives[] = {
    {"zero-length entry", {{"logo.png", "x"}, {"empty.png", ""}}, nullptr},
    {"parent directory", {{"../escaped.png", "x"}}, "escaped.png"},
    {"parent directory, backslash", {{"..\\escaped2.png", "x"}}, "escaped2.png"},
    {"sub-folder", {{"sub/inner.png", "x"}}, nullptr},
    {"absolute path", {{"/tmp/pelmar_ui_absolute.png", "x"}}, nullptr},
    {"drive", {{"C:evil.png", "x"}}, nullptr},
    {"not an archive", {}, nullptr},
};

TEST_F(ResourceManagerTest, BadCachedArchiveFallsBackToTheResource) {
  for (const BadArchiveCase& c : kBadArchives) {
    SCOPED_TRACE(c.what);
    ScratchDir parent;
    const std::wstring cache = parent.Join(L"cache");
    CreateDirectoryW(cache.c_str(), nullptr);
    const std::string bytes =
        c.entries.empty() ? std::string("PK\x05\x06 broken") : test::MakeStoredZip(c.entries);
    ASSERT_TRUE(test::WriteFileBytes(cache + L"\\Resource.zip", bytes));
    RecordingEventSink log;
    CResourceManager mgr(cache, &log);
    EXPECT_EQ(std::vector<std::string>{kUnpackFailed}, test::ErrorTexts(log));
    EXPECT_EQ("创建资源成功", StatusOf(log));
    // The resource's archive replaced the bad one and was unpacked in full.
    EXPECT_NE(bytes, test::ReadFileBytes(cache + L"\\Resource.zip"));
    EXPECT_NE(nullptr, mgr.GetImage(L"main_bg.png"));
    // Nothing landed outside the images folder.
    EXPECT_EQ((std::vector<std::wstring>{L"Resource.zip"}), test::ListFiles(cache));
    EXPECT_EQ((std::vector<std::wstring>{}), test::ListFiles(parent.path()));
    if (c.outsideName) {
      EXPECT_FALSE(test::FileExists(parent.Join(WideFromUtf8(c.outsideName))));
    }
    EXPECT_FALSE(test::FileExists(L"Z:\\tmp\\pelmar_ui_absolute.png"));
    EXPECT_FALSE(test::FileExists(cache + L"\\images\\sub\\inner.png"));
  }
}

TEST_F(ResourceManagerTest, NoSourceFailsWithItsReports) {
  // A module without the skin resource and an empty cache folder.
  HMODULE noSkin = GetModuleHandleW(L"kernel32.dll");
  try {
    CResourceManager mgr(cache_.path(), &log_, noSkin);
    ADD_FAILURE() << "constructed without any source";
  } catch (const PelmarError& e) {
    EXPECT_STREQ("load resource error", e.what());
  }
  EXPECT_EQ(std::vector<std::string>{kUnpackFailed}, test::ErrorTexts(log_));
  EXPECT_EQ("创建资源失败", StatusOf(log_));
  EXPECT_EQ("vResourceStatus", log_.Names().back());
}

TEST_F(ResourceManagerTest, EmptyCachePathIsReportedAndNothingIsWrittenHere) {
  const std::wstring here = test::ExecutableFolder();
  EXPECT_THROW(CResourceManager(L"", &log_), PelmarError);
  EXPECT_EQ(kCacheDirMissing, test::ErrorTexts(log_).front());
  EXPECT_EQ("创建资源失败", StatusOf(log_));
  EXPECT_FALSE(test::FileExists(L"Resource.zip"));
  EXPECT_FALSE(test::FileExists(here + L"\\Resource.zip"));
  // The factory turns every failure into null.
  EXPECT_EQ(nullptr, CreateResourceManager(L"", &log_));
}

TEST_F(ResourceManagerTest, MissingCacheFolderCannotHoldImages) {
  try {
    CResourceManager mgr(cache_.Join(L"does\\not\\exist"), &log_);
    ADD_FAILURE() << "constructed without a folder";
  } catch (const PelmarError& e) {
    EXPECT_STREQ("make dir failed", e.what());
  }
  EXPECT_EQ(nullptr, CreateResourceManager(cache_.Join(L"does\\not\\exist"), &log_));
}

TEST_F(ResourceManagerTest, FactoryOwnsNothingTheCallerDeletes) {
  IResourceMgr* mgr = CreateResourceManager(cache_.path(), &log_);
  ASSERT_NE(nullptr, mgr);
  EXPECT_NE(nullptr, mgr->GetImage(L"logo.png"));
  delete mgr;  // through the interface's virtual destructor
}

}  // namespace
}  // namespace pelmar
