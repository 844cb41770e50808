#include "app/launch_rules.h"

#include <gtest/gtest.h>

#include <limits>

namespace pelmar {
namespace {

TEST(LaunchRulesTest, SoftPackageName) {
  const struct {
    const char* path;
    const char* name;
  } kCases[] = {
      {"C:\\Downloads\\install_huawei00.exe", "install_huawei00"},
      {"C:\\a b\\\xE5\xAE\x89\xE8\xA3\x85.exe", "\xE5\xAE\x89\xE8\xA3\x85"},  // non-ASCII name
      {"C:\\x\\setup.EXE", "setup"},
      {"C:\\x\\.exe", ""},  // nothing before the extension
      {"C:\\x\\ab", ""},    // shorter than four characters
      {"install.exe", ""},  // no backslash
      {"C:\\x\\", ""},      // nothing after the last backslash
      {"C:\\a\\b\\c_d.dat", "c_d"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(SoftPackageNameFromPath(c.path), c.name);
  }
}

TEST(LaunchRulesTest, ChannelFromName) {
  const struct {
    const char* name;
    const char* channel;
  } kCases[] = {
      {"install_huawei00", "huawei00"},
      {"setup_Uabcdefgh12", "abcdefgh"},  // "U" skipped, then cut to 8
      {"install", ""},                    // no underscore
      {"install_", ""},                   // underscore last
      {"install_U", ""},                  // underscore and a single U
      {"a_xyz", "xyz"},
      {"a_123456789", "12345678"},  // longer than 8
      {"a_b_c_d", "b_c_d"},         // several underscores: the first counts
      {"__x", "_x"},
      {"a__Ux", "_Ux"},  // the U rule only right after the first "_"
      {"a_u12", "u12"},  // lower-case u is kept
      {"_abc", "abc"},   // underscore first
      {"a_UU", "U"},
      // Multi-byte UTF-8: 8 bytes would cut the third character (3 bytes
      // each), which is dropped whole; an exact fit is kept.
      {"a_\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97", "\xE4\xB8\xAD\xE6\x96\x87"},
      {"a_ab\xE4\xB8\xAD\xE6\x96\x87x", "ab\xE4\xB8\xAD\xE6\x96\x87"},
      {"a_\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"},
      {"a_x\xF0\x9F\x98\x80\xF0\x9F\x98\x80", "x\xF0\x9F\x98\x80"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string channel = ChannelFromPackageName(c.name);
    EXPECT_EQ(channel, c.channel);
    EXPECT_LE(channel.size(), kMaxChannelBytes);
  }
}

TEST(LaunchRulesTest, ChannelFromVersion) {
  const struct {
    const char* version;
    const char* expected;  // with name channel "fromname"
  } kCases[] = {
      {"3.96.0.1", "tengxun0"},   {"3.97.0.1", "qihu3600"},
      {"1.98.2.3", "jinshan0"},   {"0.99.0.0", "huawei00"},
      {"3.95.0.1", "fromname"},   {"3.100.0.1", "fromname"},
      {"3.97.0", "fromname"},                                 // three parts
      {"3.97.0.1.5", "fromname"},                             // five parts
      {"", "fromname"},           {"3.097.0.1", "qihu3600"},  // decimal with a leading zero
      {"3.97x.0.1", "qihu3600"},                              // leading digits count
      {"3.x97.0.1", "fromname"},  {"3..0.1", "fromname"},
      {"a.99.b.c", "huawei00"},  // only the second part is read
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.version);
    EXPECT_EQ(ChannelFromVersion(c.version, "fromname"), c.expected);
  }
  EXPECT_EQ(ChannelFromVersion("1.0.0.1", ""), "");
}

TEST(LaunchRulesTest, DownloadTime) {
  EXPECT_EQ(DownloadTimeFromTimes(1000, 1042), 42);
  EXPECT_EQ(DownloadTimeFromTimes(1000, 1000), 0);
  EXPECT_EQ(DownloadTimeFromTimes(1000, 999), 0);
  EXPECT_EQ(DownloadTimeFromTimes(std::numeric_limits<int64_t>::min(),
                                  std::numeric_limits<int64_t>::max()),
            0);
}

TEST(LaunchRulesTest, ReinstallDecision) {
  const struct {
    const char* package;
    const char* installed;
    bool reinstall;
  } kCases[] = {
      {"2.1.0.5", "2.1.0.5", true},   // same version
      {"2.1.1.0", "2.1.0.5", false},  // upgrade
      {"2.0.9.9", "2.1.0.5", true},   // older package
      {"2.1", "2.1.0.5", true},       // only two components compared
      {"", "2.1.0.5", false},         // no package version: never a reinstall
      {"", "", false},                // neither
      {"3", "", true},                // an empty installed version has no components
      {"3.1", "", true},              // nothing compared is "all equal"
      {"10.0", "9.9", false},         // numeric, not text order
      {"x.1", "0.1", true},           // not a number counts as 0
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.package) + " vs " + c.installed);
    EXPECT_EQ(IsReinstallVersion(c.package, c.installed), c.reinstall);
  }
}

}  // namespace
}  // namespace pelmar
