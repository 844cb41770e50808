#include "base/zip_extract.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/text_convert.h"

namespace pelmar {
namespace {

namespace fs = std::filesystem;

// Builds ZIP archives byte by byte, so tests can also write the damaged and
// hostile ones no archiver would produce.
struct Entry {
  std::string name;
  std::string data;
  bool deflate = false;
  int64_t declaredSize = -1;  // uncompressed size in the headers; -1: real size
  bool badCrc = false;
};

void Put16(std::string& out, uint32_t v) {
  out += char(v & 0xff);
  out += char((v >> 8) & 0xff);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xffff);
  Put16(out, v >> 16);
}

std::string RawDeflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string BuildZip(const std::vector<Entry>& entries) {
  std::string out, central;
  for (const Entry& e : entries) {
    const uint32_t offset = static_cast<uint32_t>(out.size());
    uint32_t crc =
        crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
    if (e.badCrc) crc ^= 1;
    const std::string stored = e.deflate ? RawDeflate(e.data) : e.data;
    const uint32_t size = e.declaredSize >= 0 ? static_cast<uint32_t>(e.declaredSize)
                                              : static_cast<uint32_t>(e.data.size());
    const uint16_t method = e.deflate ? 8 : 0;
    std::string common;
    Put16(common, 20);  // version needed
    Put16(common, 0);   // flags
    Put16(common, method);
    Put16(common, 0);     // time
    Put16(common, 0x21);  // date
    Put32(common, crc);
    Put32(common, static_cast<uint32_t>(stored.size()));
    Put32(common, size);
    Put16(common, static_cast<uint16_t>(e.name.size()));
    Put16(common, 0);  // extra length
    Put32(out, 0x04034b50);
    out += common + e.name + stored;
    Put32(central, 0x02014b50);
    Put16(central, 20);  // version made by
    central += common;
    Put16(central, 0);  // comment length
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    Put32(central, 0);  // external attributes
    Put32(central, offset);
    central += e.name;
  }
  const uint32_t centralOffset = static_cast<uint32_t>(out.size());
  out += central;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint16_t>(entries.size()));
  Put16(out, static_cast<uint16_t>(entries.size()));
  Put32(out, static_cast<uint32_t>(central.size()));
  Put32(out, centralOffset);
  Put16(out, 0);
  return out;
}

class ZipExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("zip_extract_" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "out");
  }
  void TearDown() override { fs::remove_all(root_); }
  std::wstring Out() const { return WideFromUtf8((root_ / "out").string()); }
  std::vector<std::string> OutFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root_)) {
      if (e.is_regular_file() && e.path().parent_path() != root_) {
        names.push_back(fs::relative(e.path(), root_).generic_string());
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path root_;
};

TEST_F(ZipExtractTest, ExtractsStoredAndDeflatedEntriesFromFileAndMemory) {
  const std::string big(100000, 'z');
  const std::string zip = BuildZip({{"Vek.dll", "MZ dll bytes"},
                                    {"Vek.exe", big, true},
                                    {"\xe4\xb8\xad.png", std::string("\x89PNG\0\1", 6)}});
  const fs::path archive = root_ / "Vek.zip";
  std::ofstream(archive, std::ios::binary) << zip;
  for (bool fromFile : {true, false}) {
    SCOPED_TRACE(fromFile);
    fs::remove_all(root_ / "out");
    fs::create_directories(root_ / "out");
    const int r = fromFile ? ExtractZipFile(Out(), WideFromUtf8(archive.string()))
                           : ExtractZipBuffer(Out(), zip.data(), zip.size());
    ASSERT_EQ(r, 0);
    EXPECT_EQ(Read(root_ / "out" / "Vek.dll"), "MZ dll bytes");
    EXPECT_EQ(Read(root_ / "out" / "Vek.exe"), big);
    EXPECT_EQ(Read(root_ / "out" / "\xe4\xb8\xad.png"), std::string("\x89PNG\0\1", 6));
  }
  // A trailing separator on the folder is the same folder.
  EXPECT_EQ(ExtractZipBuffer(Out() + L"/", zip.data(), zip.size()), 0);
}

TEST_F(ZipExtractTest, RefusesNamesThatLeaveTheFolder) {
  const std::string names[] = {"../evil.dll",  "..",         ".",
                               "a/b.dll",      "a\\b.dll",   "/abs.dll",
                               "\\abs.dll",    "C:evil.dll", "C:\\evil.dll",
                               "x.dll:stream", "dir/",       "trailing.",
                               "trailing ",    "CON",        "nul.txt",
                               "com1.png",     "LPT9",       std::string("nul\0x", 5),
                               "tab\tname",    "what?.png"};
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(IsSafeZipEntryName(name));
    const std::string zip = BuildZip({{"first.txt", "ok"}, {name, "payload"}});
    EXPECT_EQ(ExtractZipBuffer(Out(), zip.data(), zip.size()), -1);
  }
  // Nothing ever landed outside the destination folder.
  for (const auto& f : OutFiles()) EXPECT_EQ(f.rfind("out/", 0), 0u) << f;
  for (const std::string ok : {"Vek.dll", "a..b", ".hidden", "con1.png", "COM.png", "LPT10"})
    EXPECT_TRUE(IsSafeZipEntryName(ok)) << ok;
}

struct DamageCase {
  const char* what;
  std::vector<Entry> entries;
};

TEST_F(ZipExtractTest, DamagedArchivesFailAtTheFirstBadEntry) {
  const DamageCase cases[] = {
      {"empty entry", {{"first.txt", "ok"}, {"empty.txt", ""}}},
      {"absurd size", {{"first.txt", "ok"}, {"huge.bin", "tiny", false, 0x7fffffff}}},
      {"size just over the limit",
       {{"first.txt", "ok"}, {"big.bin", "tiny", false, int64_t(kMaxZipEntrySize) + 1}}},
      {"declared larger than data", {{"first.txt", "ok"}, {"short.bin", "tiny", false, 10}}},
      {"declared smaller than data", {{"first.txt", "ok"}, {"long.bin", "tiny data", true, 4}}},
      {"crc mismatch", {{"first.txt", "ok"}, {"crc.bin", "data", false, -1, true}}},
      {"crc mismatch deflated", {{"first.txt", "ok"}, {"crc.bin", "data", true, -1, true}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_ / "out");
    fs::create_directories(root_ / "out");
    const std::string zip = BuildZip(c.entries);
    EXPECT_EQ(ExtractZipBuffer(Out(), zip.data(), zip.size()), -1);
    // The entries before the bad one were written.
    EXPECT_EQ(Read(root_ / "out" / "first.txt"), "ok");
  }
}

TEST_F(ZipExtractTest, UnusableArgumentsAndArchives) {
  const std::string zip = BuildZip({{"a.txt", "a"}});
  const std::string noEntries = BuildZip({});
  EXPECT_EQ(ExtractZipBuffer(L"", zip.data(), zip.size()), -1);
  EXPECT_EQ(ExtractZipBuffer(Out(), nullptr, 10), -1);
  EXPECT_EQ(ExtractZipBuffer(Out(), zip.data(), 0), -1);
  EXPECT_EQ(ExtractZipBuffer(Out(), noEntries.data(), noEntries.size()), -1);
  EXPECT_EQ(ExtractZipFile(L"", L"x.zip"), -1);
  EXPECT_EQ(ExtractZipFile(Out(), L""), -1);
  EXPECT_EQ(ExtractZipFile(Out(), WideFromUtf8((root_ / "missing.zip").string())), -1);
  // Every truncation of a valid archive fails cleanly.
  for (size_t n = 1; n < zip.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(ExtractZipBuffer(Out(), zip.data(), n), -1);
  }
  std::vector<Entry> many;
  for (uint32_t i = 0; i <= kMaxZipEntries; ++i) many.push_back({"f" + std::to_string(i), "x"});
  const std::string tooMany = BuildZip(many);
  EXPECT_EQ(ExtractZipBuffer(Out(), tooMany.data(), tooMany.size()), -1);
}

}  // namespace
}  // namespace pelmar
