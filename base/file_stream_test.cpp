#include "base/file_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "base/pelmar_error.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

using testing::TempDir;

struct StreamDeleter {
  void operator()(CFileStream* s) const { s->Release(); }
};
using StreamPtr = std::unique_ptr<CFileStream, StreamDeleter>;

StreamPtr Open(uint32_t mode, const std::wstring& path) {
  return StreamPtr(new CFileStream(OpenFileStream(mode, path)));
}

StreamPtr CreateWith(const std::wstring& path, const std::string& bytes) {
  StreamPtr s = Open(kModeCreate, path);
  EXPECT_EQ(s->Write(bytes.data(), static_cast<uint32_t>(bytes.size())),
            static_cast<int32_t>(bytes.size()));
  return s;
}

TEST(FileStream, ReadAtEndReturnsMinusOneAndSetsEofUntilWriteOrSeek) {
  TempDir dir;
  StreamPtr s = CreateWith(dir.File(L"a b.bin"), "hello");
  ASSERT_EQ(s->SeekTo(0), 0);
  char buf[16];
  EXPECT_EQ(s->Read(buf, sizeof buf), 5);
  EXPECT_FALSE(s->IsEof());
  EXPECT_EQ(s->Read(buf, sizeof buf), -1);
  EXPECT_TRUE(s->IsEof());
  EXPECT_EQ(s->Write("!", 1), 1);  // a write clears the flag
  EXPECT_FALSE(s->IsEof());
  EXPECT_EQ(s->Read(buf, sizeof buf), -1);
  EXPECT_TRUE(s->IsEof());
  EXPECT_EQ(s->Seek(0, IPelmarStream::kFromStart), 0);  // so does a seek
  EXPECT_FALSE(s->IsEof());
}

TEST(FileStream, NoBufferOrNoCountReadsAndWritesNothing) {
  TempDir dir;
  StreamPtr s = CreateWith(dir.File(L"x"), "abc");
  char buf[4];
  EXPECT_EQ(s->Read(nullptr, 4), 0);
  EXPECT_EQ(s->Read(buf, 0), 0);
  EXPECT_EQ(s->Write(nullptr, 4), 0);
  EXPECT_EQ(s->Write(buf, 0), 0);
  EXPECT_EQ(s->GetSize(), 3);
}

TEST(FileStream, GetSizeKeepsPositionAndSetSizeRewinds) {
  TempDir dir;
  StreamPtr s = CreateWith(dir.File(L"size.bin"), std::string(100, 'x'));
  ASSERT_EQ(s->SeekTo(40), 40);
  EXPECT_EQ(s->GetSize(), 100);
  EXPECT_EQ(s->Tell(), 40);
  EXPECT_TRUE(s->SetSize(10));
  EXPECT_EQ(s->Tell(), 0);
  EXPECT_EQ(s->GetSize(), 10);
  // Growing beyond 4 GiB needs 64-bit positions all the way down.
  const int64_t big = (int64_t{1} << 32) + 7;
  EXPECT_TRUE(s->SetSize(big));
  EXPECT_EQ(s->GetSize(), big);
  EXPECT_EQ(s->SeekTo(big - 1), big - 1);
  EXPECT_EQ(s->Seek(-2, IPelmarStream::kFromEnd), big - 2);
}

TEST(FileStream, SeekWithBadOriginOrBeforeStartFails) {
  TempDir dir;
  StreamPtr s = CreateWith(dir.File(L"s"), "abc");
  EXPECT_EQ(s->Seek(0, 7), -1);
  EXPECT_EQ(s->Seek(-10, IPelmarStream::kFromStart), -1);
}

TEST(FileStream, ModeWords) {
  TempDir dir;
  const std::wstring path = dir.File(L"\u6587\u4ef6 with a long name component .txt");
  CreateWith(path, "data");
  const struct {
    uint32_t mode;
    bool handle;
  } cases[] = {
      {0x03, false},  // access 3 is invalid: no handle, no error
      {0x50, false},  // sharing 5 is invalid
      {0xF2, false},  // sharing 15 is invalid
      {0x40, true},   // read, others read and write
      {0x42, true},   // read and write, shared
      {0x01, true},   // write only
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    NativeFile f = OpenFileStream(c.mode, path);
    EXPECT_EQ(f != kNoFile, c.handle);
    CFileStream close_it(f);
  }
  StreamPtr reader = Open(kModeReadShared, path);
  char buf[8] = {};
  EXPECT_EQ(reader->Read(buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "data");
}

TEST(FileStream, OpenFailuresRaiseTheirTexts) {
  TempDir dir;
  const struct {
    uint32_t mode;
    std::wstring path;
    const char* text;
  } cases[] = {
      {kModeCreate, L"", "filename can't be empty"},
      {kModeCreate, dir.File(L"missing folder/new.bin"), "PelmarFileCreate failed"},
      {kModeReadShared, dir.File(L"missing.bin"), "PelmarFileOpen failed"},
      {kModeReadShared, L"", "PelmarFileOpen failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      CFileStream leak_guard(OpenFileStream(c.mode, c.path));
      ADD_FAILURE() << "no error raised";
    } catch (const PelmarError& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
  }
}

TEST(FileStream, CreateTruncatesAnExistingFile) {
  TempDir dir;
  const std::wstring path = dir.File(L"t.bin");
  CreateWith(path, "longer content");
  StreamPtr again = Open(kModeCreate, path);
  EXPECT_EQ(again->GetSize(), 0);
}

TEST(FileStream, TimesOfAFreshFileAreNowAndConsistent) {
  TempDir dir;
  StreamPtr s = CreateWith(dir.File(L"times.bin"), "x");
  int64_t created = 0, accessed = 0, written = 0;
  ASSERT_TRUE(s->GetTimes(&created, &accessed, &written));
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  EXPECT_LE(created, now + 1);
  EXPECT_GT(created, now - 120);
  EXPECT_LE(created, written);  // created and last written in the same run
  EXPECT_LE(written - created, 2);
}

TEST(FileStream, ClosedStreamReportsFailure) {
  CFileStream none(kNoFile);
  int64_t t;
  EXPECT_FALSE(none.GetTimes(&t, &t, &t));
  EXPECT_EQ(none.Tell(), -1);
  EXPECT_EQ(none.GetSize(), -1);
  EXPECT_FALSE(none.SetSize(1));
}

TEST(FileTime, ConvertsFrom1601HundredNanoseconds) {
  EXPECT_EQ(UnixSecondsFromFileTime(116444736000000000ULL), 0);
  EXPECT_EQ(UnixSecondsFromFileTime(116444736000000000ULL + 15 * 10000000ULL + 9999999), 15);
  // 2026-12-10 00:00:00 UTC
  EXPECT_EQ(UnixSecondsFromFileTime(116444736000000000ULL + 1796860800ULL * 10000000ULL),
            1796860800);
}

}  // namespace
}  // namespace pelmar
