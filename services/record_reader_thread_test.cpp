#include "services/record_reader_thread.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "base/pelmar_error.h"

namespace pelmar {
namespace {

// What the keeper was told, on the reader's thread; read after the join.
struct Kept : IRecordKeeper<std::string> {
  void Store(const std::string& record) override { outcome = "stored " + record; }
  void Finish() override { outcome = "finished"; }
  void Fail(const std::string& text) override { outcome = "failed " + text; }
  std::string outcome;
};

enum class Ending { kRecord, kNothing, kPelmarError, kOtherException, kNotAnException };

class ScriptedSource : public IRecordSource<std::string> {
 public:
  explicit ScriptedSource(Ending ending) : ending_(ending) {}
  bool Read(CServerExchange*, std::string* record) override {
    switch (ending_) {
      case Ending::kRecord:
        *record = "r1";
        return true;
      case Ending::kNothing:
        return false;
      case Ending::kPelmarError:
        throw PelmarError("member not exist");
      case Ending::kOtherException:
        throw std::runtime_error("conversion error");
      case Ending::kNotAnException:
        throw 7;
    }
    return false;
  }

 private:
  Ending ending_;
};

TEST(RecordReaderThreadTest, HandsEachEndingToTheKeeper) {
  const struct {
    Ending ending;
    const char* outcome;
    uint32_t exitCode;
  } cases[] = {
      {Ending::kRecord, "stored r1", 0},
      {Ending::kNothing, "finished", 0},
      {Ending::kPelmarError, "failed member not exist", 1},
      {Ending::kOtherException, "failed conversion error", 1},
      {Ending::kNotAnException, "failed unknown error", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outcome);
    Kept kept;
    CRecordReaderThread<std::string> reader(&kept, std::make_unique<ScriptedSource>(c.ending));
    // The scripted source never looks at the stop: the read ends the same.
    reader.StopAndJoin();
    EXPECT_FALSE(reader.IsRunning());
    EXPECT_EQ(reader.ExitCode(), c.exitCode);
    EXPECT_EQ(kept.outcome, c.outcome);
  }
}

// A source that waits in the exchange's pause until the stop wakes it.
class PausingSource : public IRecordSource<std::string> {
 public:
  bool Read(CServerExchange* exchange, std::string*) override {
    constexpr int kLongerThanAnyTest = 600000;
    if (!exchange->Pause(kLongerThanAnyTest)) throw PelmarError("user cancel");
    return false;
  }
};

TEST(RecordReaderThreadTest, AStopWakesAPausedReadWhichEndsAsCancelled) {
  Kept kept;
  CRecordReaderThread<std::string> reader(&kept, std::make_unique<PausingSource>());
  EXPECT_TRUE(reader.StopWithin(60000));
  EXPECT_EQ(kept.outcome, "failed user cancel");
}

}  // namespace
}  // namespace pelmar
