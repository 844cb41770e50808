#include "base/startup_trace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "temp_dir.h"

namespace pelmar {
namespace {

using testing::TempDir;

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(StartupTrace, MarksAreWrittenInOrderAndReadBack) {
  TempDir dir;
  const std::filesystem::path file = dir.path() / "trace.txt";
  {
    CStartupTrace trace(file.u8string());
    ASSERT_TRUE(trace.enabled());
    trace.Mark("entry");
    trace.Mark("picture", "main_bg.png");
    // A tab or line break in a detail must not split the mark.
    trace.Mark("picture", "odd\tname\r\n.png");
    // Read while the trace is still open: each mark is on disk at once.
    const std::vector<StartupMark> marks = CStartupTrace::Parse(ReadAll(file));
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_EQ(marks[0].step, "entry");
    EXPECT_EQ(marks[1].step, "picture main_bg.png");
    EXPECT_EQ(marks[2].step, "picture odd name  .png");
    EXPECT_GT(marks[0].ms, 0.0);
    EXPECT_LE(marks[0].ms, marks[1].ms);
    EXPECT_LE(marks[1].ms, marks[2].ms);
    EXPECT_GT(marks[2].peakWorkingSet, 0u);
    EXPECT_GE(marks[2].peakWorkingSet, marks[2].workingSet);
  }
  // A second trace into the same file appends.
  CStartupTrace again(file.u8string());
  again.Mark("second run");
  const std::vector<StartupMark> marks = CStartupTrace::Parse(ReadAll(file));
  ASSERT_EQ(marks.size(), 4u);
  EXPECT_EQ(marks[3].step, "second run");
}

TEST(StartupTrace, WithoutAUsablePathNothingIsMarked) {
  TempDir dir;
  CStartupTrace none("");
  EXPECT_FALSE(none.enabled());
  none.Mark("entry");  // must not crash or write anywhere
  CStartupTrace unopenable((dir.path() / "missing folder" / "trace.txt").u8string());
  EXPECT_FALSE(unopenable.enabled());
  unopenable.Mark("entry");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing folder"));
}

TEST(StartupTrace, MarksFromManyThreadsStayWholeLines) {
  TempDir dir;
  const std::filesystem::path file = dir.path() / "trace.txt";
  constexpr int kThreads = 4;
  constexpr int kMarks = 200;
  {
    CStartupTrace trace(file.u8string());
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&trace, t] {
        for (int i = 0; i < kMarks; ++i) trace.Mark("worker", std::to_string(t));
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  const std::vector<StartupMark> marks = CStartupTrace::Parse(ReadAll(file));
  ASSERT_EQ(marks.size(), static_cast<size_t>(kThreads * kMarks));
  std::vector<int> perThread(kThreads, 0);
  for (const StartupMark& m : marks) {
    ASSERT_EQ(m.step.rfind("worker ", 0), 0u) << m.step;
    ++perThread.at(std::stoi(m.step.substr(7)));
  }
  for (int count : perThread) EXPECT_EQ(count, kMarks);
}

TEST(StartupTrace, ParseKeepsOnlyWholeMarks) {
  struct Case {
    const char* why;
    const char* text;
    std::vector<std::string> steps;
  };
  const Case cases[] = {
      {"one mark", "entry\t12.5\t100\t200\n", {"entry"}},
      {"a torn last line is still being written", "entry\t1\t2\t3\nsdk\t4\t5", {"entry"}},
      {"too few fields", "entry\t1\t2\n", {}},
      {"too many fields", "entry\t1\t2\t3\t4\n", {}},
      {"an empty step", "\t1\t2\t3\n", {}},
      {"a time that is not a number", "entry\tsoon\t2\t3\n", {}},
      {"a negative time", "entry\t-1\t2\t3\n", {}},
      {"an endless time", "entry\tinf\t2\t3\n", {}},
      {"a working set with a sign", "entry\t1\t-2\t3\n", {}},
      {"a working set too long for 64 bits", "entry\t1\t123456789012345678901\t3\n", {}},
      {"a bad line between good ones", "a\t1\t2\t3\nb\tx\t2\t3\nc\t4\t5\t6\n", {"a", "c"}},
      {"empty text", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    std::vector<std::string> steps;
    for (const StartupMark& m : CStartupTrace::Parse(c.text)) steps.push_back(m.step);
    EXPECT_EQ(steps, c.steps);
  }
  const std::vector<StartupMark> one = CStartupTrace::Parse("entry\t12.5\t100\t200\n");
  ASSERT_EQ(one.size(), 1u);
  EXPECT_DOUBLE_EQ(one[0].ms, 12.5);
  EXPECT_EQ(one[0].workingSet, 100u);
  EXPECT_EQ(one[0].peakWorkingSet, 200u);
}

}  // namespace
}  // namespace pelmar
