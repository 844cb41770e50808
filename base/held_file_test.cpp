#include "base/held_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/download_digests.h"
#include "base/file_system.h"
#include "base/text_convert.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

namespace fs = std::filesystem;

void Write(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(fs::u8path(Utf8FromWide(path)), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(HeldFileTest, ReadsWhatItHolds) {
  testing::TempDir dir;
  const std::wstring path = dir.File(L"setup.exe");
  const std::string bytes = "MZ" + std::string(200000, 'q');
  Write(path, bytes);
  auto held = CHeldFile::Open(path);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->Path(), path);
  EXPECT_TRUE(held->IsNamedBy(path));
  std::string read(bytes.size() + 10, '\0');
  size_t total = 0;
  for (int64_t n; (n = held->Read(&read[total], read.size() - total)) > 0;) {
    total += static_cast<size_t>(n);
  }
  EXPECT_EQ(read.substr(0, total), bytes);
  ASSERT_TRUE(held->Rewind());
  char first[2];
  EXPECT_EQ(held->Read(first, 2), 2);
  EXPECT_EQ(std::string(first, 2), "MZ");
}

TEST(HeldFileTest, RefusesWhatIsNoPlainFile) {
  testing::TempDir dir;
  EXPECT_EQ(CHeldFile::Open(L""), nullptr);
  EXPECT_EQ(CHeldFile::Open(dir.File(L"missing.exe")), nullptr);
  EXPECT_EQ(CHeldFile::Open(dir.Wide()), nullptr);
}

TEST(HeldFileTest, AnotherFileUnderTheNameIsNotTheHeldOne) {
  testing::TempDir dir;
  const std::wstring path = dir.File(L"setup.exe");
  const std::wstring other = dir.File(L"other.exe");
  Write(path, "held");
  Write(other, "other");
  auto held = CHeldFile::Open(path);
  ASSERT_NE(held, nullptr);
  EXPECT_FALSE(held->IsNamedBy(other));
  EXPECT_FALSE(held->IsNamedBy(dir.File(L"missing.exe")));
  EXPECT_FALSE(held->IsNamedBy(dir.Wide()));
}

TEST(DownloadDigestsTest, BothDigestsInOnePass) {
  testing::TempDir dir;
  const std::wstring path = dir.File(L"setup.exe");
  Write(path, "abc");
  auto held = CHeldFile::Open(path);
  ASSERT_NE(held, nullptr);
  CDownloadDigests digests;
  ASSERT_TRUE(DigestHeldFile(*held, &digests));
  EXPECT_EQ(digests.Size(), 3);
  EXPECT_EQ(digests.Md5(), "900150983cd24fb0d6963f7d28e17f72");
  // FIPS 180-2, appendix B.1.
  EXPECT_EQ(LowerHex(digests.Sha256().data(), digests.Sha256().size()),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(DownloadDigestsTest, PiecesGiveTheDigestsOfTheWhole) {
  // Two blocks of FIPS 180-2, appendix B.2, fed in every split.
  const std::string text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  for (size_t split = 0; split <= text.size(); ++split) {
    CDownloadDigests digests;
    digests.Update(text.data(), split);
    digests.Update(text.data() + split, text.size() - split);
    digests.Finish();
    EXPECT_EQ(LowerHex(digests.Sha256().data(), digests.Sha256().size()),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1")
        << split;
    EXPECT_EQ(digests.Md5(), Md5Text(text));
  }
}

TEST(DownloadDigestsTest, NoBytesGiveNoMd5Text) {
  CDownloadDigests digests;
  digests.Finish();
  EXPECT_EQ(digests.Size(), 0);
  EXPECT_EQ(digests.Md5(), "");
  EXPECT_EQ(LowerHex(digests.Sha256().data(), digests.Sha256().size()),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace pelmar
