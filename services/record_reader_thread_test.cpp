#include "services/record_reader_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/pelmar_error.h"
#include "net/net_test_support.h"
#include "server_records_test_server.h"

namespace pelmar {
namespace {

using testing::ScriptedHttpServer;
using testing::WaitUntil;

// What the keeper was told, on the reader's thread; read after the join.
struct Kept : IRecordKeeper<std::string> {
  void Store(const std::string& record) override { outcome = "stored " + record; }
  void Finish() override { outcome = "finished"; }
  void Fail(const std::string& text) override { outcome = "failed " + text; }
  std::string outcome;
};

enum class Ending {
  kRecord,
  kNothing,
  kStopped,
  kFailedValue,
  kPelmarError,
  kOtherException,
  kNotAnException
};

class ScriptedSource : public IRecordSource<std::string> {
 public:
  explicit ScriptedSource(Ending ending) : ending_(ending) {}
  RecordRead Read(CServerExchange&, CStopToken&, std::string* record) override {
    switch (ending_) {
      case Ending::kRecord:
        *record = "r1";
        return RecordRead::Record();
      case Ending::kNothing:
        return RecordRead::Nothing();
      case Ending::kStopped:
        *record = "half read";  // a stopped read keeps nothing
        return RecordRead::Stopped();
      case Ending::kFailedValue:
        *record = "half read";  // nor does a failed one
        return RecordRead::Failed("parse decrypt data error");
      case Ending::kPelmarError:
        throw PelmarError("member not exist");
      case Ending::kOtherException:
        // As the JSON library's conversion errors do.
        throw std::runtime_error("conversion error");
      case Ending::kNotAnException:
        throw 7;
    }
    return RecordRead::Nothing();
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
      // A stop is a value of its own; the keeper hears the stop's text.
      {Ending::kStopped, "failed user cancel", 1},
      {Ending::kFailedValue, "failed parse decrypt data error", 1},
      // What a library throws inside a read still ends it as a failure.
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

// A source that waits in the reader's one wait until the stop wakes it.
class PausingSource : public IRecordSource<std::string> {
 public:
  RecordRead Read(CServerExchange&, CStopToken& stop, std::string*) override {
    constexpr uint32_t kLongerThanAnyTest = 600000;
    return stop.WaitFor(kLongerThanAnyTest) ? RecordRead::Nothing() : RecordRead::Stopped();
  }
};

// A source whose one exchange goes to a server that reads the request and
// never answers, with a time limit no test waits for: only the stop ends it.
class SilentServerSource : public IRecordSource<std::string> {
 public:
  explicit SilentServerSource(uint16_t port) : port_(port) {}
  RecordRead Read(CServerExchange& exchange, CStopToken& stop, std::string* record) override {
    const ExchangeResult answer =
        exchange.Get(stop, {"127.0.0.1", port_}, 10 * 60 * 1000, "127.0.0.1", "/r", 1024);
    outcome = answer.outcome;
    if (answer.Stopped()) return RecordRead::Stopped();
    *record = answer.body;
    return RecordRead::Record();
  }
  std::atomic<ExchangeOutcome> outcome{ExchangeOutcome::kAnswered};

 private:
  uint16_t port_;
};

class RecordReaderStopTest : public testing::NetTest {};

TEST_F(RecordReaderStopTest, AStopEndsAReadInAnyWaitAsStopped) {
  ScriptedHttpServer silent([](int, const std::string&) { return ScriptedHttpServer::kHang; });
  const struct {
    const char* what;
    bool quitStop;  // StopWithin, as the quit does; else destruction's StopAndJoin
    bool blockedOnServer;
  } cases[] = {
      {"paused, stopped by the quit", true, false},
      {"paused, stopped by destruction", false, false},
      {"blocked on a silent server, stopped by the quit", true, true},
      {"blocked on a silent server, stopped by destruction", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Kept kept;
    const int asked = silent.Requests();
    auto* source = c.blockedOnServer ? new SilentServerSource(silent.Port()) : nullptr;
    std::unique_ptr<IRecordSource<std::string>> owned(source);
    if (!source) owned = std::make_unique<PausingSource>();
    auto reader = std::make_unique<CRecordReaderThread<std::string>>(&kept, std::move(owned));
    if (c.blockedOnServer) {
      ASSERT_TRUE(WaitUntil([&] { return silent.Requests() > asked; }));
    }
    if (c.quitStop) {
      // Far below the exchange's own limit: only the stop can end it.
      ASSERT_TRUE(reader->StopWithin(60000));
    } else {
      reader->StopAndJoin();
    }
    EXPECT_FALSE(reader->IsRunning());
    EXPECT_EQ(reader->ExitCode(), 1u);
    EXPECT_EQ(kept.outcome, "failed user cancel");
    if (source) EXPECT_EQ(source->outcome.load(), ExchangeOutcome::kStopped);
  }
}

}  // namespace
}  // namespace pelmar
