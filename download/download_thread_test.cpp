#include "base/testing/wait_until.h"
#include "download/download_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/pelmar_error.h"
#include "download/download_events.h"
#include "loopback_server.h"
#include "net/net_test_support.h"

namespace pelmar {
namespace {

using testing::LoopbackTcpServer;
using testing::ReadUntil;
using testing::SendText;

// The bytes served: every offset gives a different byte pattern so a shifted
// or repeated block cannot pass for the right one.
std::string MakeFile(size_t size) {
  std::string data(size, '\0');
  uint32_t x = 2463534242u;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    data[i] = static_cast<char>(x);
  }
  return data;
}

// A real range writer over memory: records every write and can refuse.
class MemoryWriter : public IRangeWriter {
 public:
  explicit MemoryWriter(size_t size) : data_(size, '\0'), written_(size, false) {}
  bool WriteRange(int32_t count, int32_t index, const char* data, int64_t offset) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_;
    last_index_ = index;
    if (refuse_ || offset < 0 || offset + count > static_cast<int64_t>(data_.size())) return false;
    for (int32_t i = 0; i < count; ++i) {
      if (written_[offset + i]) ++overwrites_;
      written_[offset + i] = true;
      data_[offset + i] = data[i];
    }
    bytes_ += count;
    return true;
  }
  void Refuse() { refuse_ = true; }
  std::string Data(int64_t first, int64_t last) {
    std::lock_guard<std::mutex> lock(mutex_);
    return data_.substr(first, last - first + 1);
  }
  int64_t Bytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
  }
  int Overwrites() {
    std::lock_guard<std::mutex> lock(mutex_);
    return overwrites_;
  }
  int LastIndex() {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_index_;
  }

 private:
  std::mutex mutex_;
  std::string data_;
  std::vector<bool> written_;
  int64_t bytes_ = 0;
  int calls_ = 0;
  int overwrites_ = 0;
  int last_index_ = -1;
  bool refuse_ = false;
};

// How one connection is answered.
struct Answer {
  enum Kind {
    kServe,       // 206 for the asked range
    kDropAfter,   // 206 header and `n` data bytes, then close
    kWhole,       // 200 with the whole file
    kShift,       // 206 for the range shifted by `n` bytes
    kExtra,       // 206 and `n` bytes more than asked
    kShort,       // 206 for only the first `n` bytes asked
    kRedirect,    // 302 to `location` (%PORT% is the second server's port)
    kStall,       // 206 header and `n` data bytes, then silence for `ms`
    kByteByByte,  // 206 sent one byte per send
    kNotFound,    // 404
    kHugeHeader,  // 206 whose header never ends within the bound
  } kind = kServe;
  int64_t n = 0;
  std::string location;
  int ms = 0;
};

// Answers connections in order by `answers`, later ones by kServe, and keeps
// every request text.
class RangeServer {
 public:
  RangeServer(std::string file, std::vector<Answer> answers)
      : file_(std::move(file)),
        answers_(std::move(answers)),
        server_([this](SocketHandle s) { Serve(s); }) {}

  uint16_t Port() const { return server_.Port(); }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  void SetRedirectPort(uint16_t port) { redirect_port_ = port; }

 private:
  void Serve(SocketHandle s) {
    const std::string request = ReadUntil(s, "\r\n\r\n", 8192);
    Answer answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const size_t index = requests_.size();
      requests_.push_back(request);
      if (index < answers_.size()) answer = answers_[index];
    }
    int64_t first = 0, last = static_cast<int64_t>(file_.size()) - 1;
    const size_t at = request.find("Range:bytes=");
    if (at != std::string::npos) {
      first = std::stoll(request.substr(at + 12));
      last = std::stoll(request.substr(request.find('-', at) + 1));
    }
    const auto header206 = [&](int64_t a, int64_t b) {
      return "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(b - a + 1) +
             "\r\nContent-Range: bytes " + std::to_string(a) + "-" + std::to_string(b) + "/" +
             std::to_string(file_.size()) + "\r\n\r\n";
    };
    const auto slice = [&](int64_t a, int64_t b) { return file_.substr(a, b - a + 1); };
    switch (answer.kind) {
      case Answer::kServe:
        (void)SendText(s, header206(first, last) + slice(first, last));
        break;
      case Answer::kDropAfter:
        (void)SendText(s, header206(first, last) + slice(first, first + answer.n - 1));
        break;
      case Answer::kWhole:
        (void)SendText(s, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(file_.size()) +
                              "\r\n\r\n" + file_);
        break;
      case Answer::kShift:
        (void)SendText(s, header206(first + answer.n, last) + slice(first + answer.n, last));
        break;
      case Answer::kExtra:
        (void)SendText(s, header206(first, last) + slice(first, last) + std::string(answer.n, 'X'));
        break;
      case Answer::kShort:
        (void)SendText(s,
                       header206(first, first + answer.n - 1) + slice(first, first + answer.n - 1));
        break;
      case Answer::kRedirect: {
        std::string location = answer.location;
        const size_t p = location.find("%PORT%");
        if (p != std::string::npos) location.replace(p, 6, std::to_string(redirect_port_));
        (void)SendText(s, "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\n\r\n");
        break;
      }
      case Answer::kStall:
        (void)SendText(s, header206(first, last) + slice(first, first + answer.n - 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(answer.ms));
        break;
      case Answer::kByteByByte: {
        const std::string all = header206(first, last) + slice(first, last);
        for (char c : all) {
          if (!SendText(s, std::string(1, c))) break;
        }
        break;
      }
      case Answer::kNotFound:
        (void)SendText(s, "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!");
        break;
      case Answer::kHugeHeader:
        (void)SendText(s, "HTTP/1.1 206 Partial Content\r\nX-Pad: " + std::string(8000, 'p') +
                              "\r\n\r\n" + slice(first, last));
        break;
    }
  }

  std::string file_;
  std::vector<Answer> answers_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  uint16_t redirect_port_ = 0;
  LoopbackTcpServer server_;  // last: its thread uses the members above
};

std::string RangeLine(const std::string& request) {
  const size_t at = request.find("Range:");
  return at == std::string::npos ? "" : request.substr(at, request.find("\r\n", at) - at);
}

std::string HostLine(const std::string& request) {
  const size_t at = request.find("Host:");
  return at == std::string::npos ? "" : request.substr(at, request.find("\r\n", at) - at);
}

class DownloadThreadTest : public testing::NetTest {
 protected:
  static DownloadTimings Fast() {
    DownloadTimings t;
    t.betweenAttemptsMs = 20;
    return t;
  }
  // Runs one thread to its end (bounded by the attempt limit) and returns its state.
  int32_t RunToEnd(CDownloadThread& thread) {
    EXPECT_TRUE(testing::WaitUntil([&] { return !thread.IsRunning(); }));
    return thread.GetState();
  }
  // The "error_status" of every download error; the thread's own carry its
  // error type, the URL split failure the query's.
  std::vector<std::string> ErrorStatuses() {
    std::vector<std::string> out;
    for (const auto& e : logger_.EventsNamed("vSoftDownloadError")) {
      const std::string status = e.strings.at("error_status");
      EXPECT_EQ(e.strings.at("error_type"),
                status == "初始化失败" ? kQueryErrorType : std::string(kThreadErrorType));
      out.push_back(status);
    }
    return out;
  }
};

TEST_F(DownloadThreadTest, RequestTextIsExact) {
  const std::string file = MakeFile(100);
  RangeServer server(file, {});
  MemoryWriter writer(file.size());
  {
    CDownloadThread thread("http://127.0.0.1:" + std::to_string(server.Port()) + "/a/b.exe?x=1",
                           2000, 20, 5, 5, &writer, 1, Fast());
    EXPECT_EQ(RunToEnd(thread), CDownloadThread::kComplete);
  }
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0],
            "GET /a/b.exe?x=1 HTTP/1.1\r\n"
            "Host:127.0.0.1\r\n"
            "Accept:*/*\r\n"
            "Range:bytes=5-5\r\n"
            "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
            "Connection:close\r\n"
            "\r\n");
  EXPECT_EQ(writer.Data(5, 5), file.substr(5, 1));
  EXPECT_EQ(writer.Bytes(), 1);
  EXPECT_EQ(writer.LastIndex(), 1);
}

// One scripted fault and what the thread must make of it.
struct FaultCase {
  const char* why;
  std::vector<Answer> answers;
  int64_t first, last;  // the range asked
  int attempt_limit;
  int32_t state;
  // The Range lines of the requests, in order.
  std::vector<std::string> ranges;
  std::vector<std::string> events;  // "error_status" of the download errors
  int timeout_ms = 2000;
  int pause_ms = 20;  // between attempts
};

class DownloadThreadFaultTest : public DownloadThreadTest,
                                public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DownloadThreadFaultTest, EndsWithTheExactBytesOrFails) {
  const FaultCase& c = GetParam();
  const std::string file = MakeFile(300000);
  RangeServer server(file, c.answers);
  MemoryWriter writer(file.size());
  {
    DownloadTimings timings = Fast();
    timings.betweenAttemptsMs = c.pause_ms;
    CDownloadThread thread("http://127.0.0.1:" + std::to_string(server.Port()) + "/f.exe",
                           c.timeout_ms, c.attempt_limit, c.first, c.last, &writer, 0, timings);
    EXPECT_EQ(RunToEnd(thread), c.state);
  }
  std::vector<std::string> ranges;
  for (const std::string& r : server.Requests()) ranges.push_back(RangeLine(r));
  EXPECT_EQ(ranges, c.ranges);
  EXPECT_EQ(ErrorStatuses(), c.events);
  EXPECT_EQ(writer.Overwrites(), 0);
  // Whatever was written is exactly the file's bytes at those offsets, and
  // a complete range is all there.
  const int64_t written = writer.Bytes();
  EXPECT_LE(written, c.last - c.first + 1);
  EXPECT_EQ(writer.Data(c.first, c.first + written - 1), file.substr(c.first, written));
  if (c.state == CDownloadThread::kComplete) {
    EXPECT_EQ(written, c.last - c.first + 1);
  }
}

const FaultCase kFaultCases[] = {
    {"plain range",
     {},
     1000,
     150999,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=1000-150999"},
     {}},
    {"dropped mid-range resumes from the receive position",
     {{Answer::kDropAfter, 70000}},
     1000,
     150999,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=1000-150999", "Range:bytes=71000-150999"},
     {}},
    {"drop before any data byte",
     {{Answer::kDropAfter, 0}},
     0,
     99,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=0-99", "Range:bytes=0-99"},
     {}},
    {"whole-file answer writes nothing and is retried",
     {{Answer::kWhole}},
     1000,
     1999,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=1000-1999", "Range:bytes=1000-1999"},
     {}},
    {"a server that always ignores ranges ends in failure, not a corrupt range",
     {{Answer::kWhole}, {Answer::kWhole}, {Answer::kWhole}},
     1000,
     1999,
     3,
     CDownloadThread::kFailed,
     {"Range:bytes=1000-1999", "Range:bytes=1000-1999", "Range:bytes=1000-1999"},
     {"重试超过最大次数"}},
    {"a shifted range writes nothing",
     {{Answer::kShift, 1}},
     1000,
     1999,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=1000-1999", "Range:bytes=1000-1999"},
     {}},
    {"bytes past the range end are not written",
     {{Answer::kExtra, 5000}},
     1000,
     1999,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=1000-1999"},
     {}},
    {"a shorter answer is kept and the rest asked for",
     {{Answer::kShort, 10}},
     1000,
     1999,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=1000-1999", "Range:bytes=1010-1999"},
     {}},
    // The test server answers one connection at a time, so the pause after
    // the timed-out attempt outlasts the stall. The time limit leaves room
    // for a loaded machine (Wine) to deliver the first 100 bytes in time.
    {"a stall past the time limit ends the attempt; the next resumes",
     {{Answer::kStall, 100, "", 2500}},
     0,
     9999,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=0-9999", "Range:bytes=100-9999"},
     {},
     1000,
     3000},
    {"a header arriving byte by byte is never data",
     {{Answer::kByteByByte}},
     7,
     2006,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=7-2006"},
     {}},
    {"an error status writes nothing",
     {{Answer::kNotFound}},
     0,
     99,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=0-99", "Range:bytes=0-99"},
     {}},
    {"a header without end within the bound writes nothing",
     {{Answer::kHugeHeader}},
     0,
     99,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=0-99", "Range:bytes=0-99"},
     {}},
    {"a full buffer is written in blocks and the range completes",
     {},
     0,
     299999,
     20,
     CDownloadThread::kComplete,
     {"Range:bytes=0-299999"},
     {}},
};
INSTANTIATE_TEST_SUITE_P(Cases, DownloadThreadFaultTest, ::testing::ValuesIn(kFaultCases));

TEST_F(DownloadThreadTest, RedirectToAnotherHostNamesItInTheHostLine) {
  const std::string file = MakeFile(5000);
  RangeServer target(file, {});
  // "localhost" is another host text than the first URL's dotted address.
  RangeServer first(file, {{Answer::kRedirect, 0, "http://localhost:%PORT%/moved/f.exe"}});
  first.SetRedirectPort(target.Port());
  MemoryWriter writer(file.size());
  {
    CDownloadThread thread("http://127.0.0.1:" + std::to_string(first.Port()) + "/f.exe", 2000, 20,
                           100, 4999, &writer, 0, Fast());
    EXPECT_EQ(RunToEnd(thread), CDownloadThread::kComplete);
  }
  ASSERT_EQ(first.Requests().size(), 1u);
  ASSERT_EQ(target.Requests().size(), 1u);
  const std::string moved = target.Requests()[0];
  EXPECT_EQ(moved.substr(0, moved.find("\r\n")), "GET /moved/f.exe HTTP/1.1");
  EXPECT_EQ(HostLine(moved), "Host:localhost");
  EXPECT_EQ(RangeLine(moved), "Range:bytes=100-4999");
  EXPECT_EQ(writer.Data(100, 4999), file.substr(100));
}

TEST_F(DownloadThreadTest, RedirectWithoutHostFailsTheThread) {
  const std::string file = MakeFile(100);
  RangeServer server(file, {{Answer::kRedirect, 0, "/relative/only"}});
  MemoryWriter writer(file.size());
  {
    CDownloadThread thread("http://127.0.0.1:" + std::to_string(server.Port()) + "/f.exe", 2000, 20,
                           0, 99, &writer, 0, Fast());
    EXPECT_EQ(RunToEnd(thread), CDownloadThread::kFailed);
  }
  EXPECT_EQ(ErrorStatuses(), std::vector<std::string>{"初始化失败"});
  EXPECT_EQ(writer.Bytes(), 0);
}

TEST_F(DownloadThreadTest, WriteFailureFailsWithItsEvent) {
  const std::string file = MakeFile(100);
  RangeServer server(file, {});
  MemoryWriter writer(file.size());
  writer.Refuse();
  {
    CDownloadThread thread("http://127.0.0.1:" + std::to_string(server.Port()) + "/f.exe", 2000, 20,
                           0, 99, &writer, 0, Fast());
    EXPECT_EQ(RunToEnd(thread), CDownloadThread::kFailed);
  }
  EXPECT_EQ(ErrorStatuses(), std::vector<std::string>{"写文件出错"});
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(DownloadThreadTest, ElevenConnectFailuresInARowFail) {
  uint16_t closed_port = 0;
  {
    // A port that was just free: nothing listens there.
    CSocket s(SockOpenTcp());
    ASSERT_TRUE(SockBind(s.Get(), LoopbackAddress(), 0));
    closed_port = SockLocalPort(s.Get());
  }
  MemoryWriter writer(10);
  {
    CDownloadThread thread("http://127.0.0.1:" + std::to_string(closed_port) + "/f.exe", 2000, 20,
                           0, 9, &writer, 0, Fast());
    EXPECT_EQ(RunToEnd(thread), CDownloadThread::kFailed);
  }
  EXPECT_EQ(ErrorStatuses(), std::vector<std::string>{"连接错误"});
}

TEST_F(DownloadThreadTest, UnsplittableUrlFailsConstruction) {
  MemoryWriter writer(10);
  EXPECT_THROW(CDownloadThread("http://nopath", 2000, 20, 0, 9, &writer, 0), PelmarError);
}

TEST_F(DownloadThreadTest, CancelBetweenAttemptsEndsTheThread) {
  const std::string file = MakeFile(100);
  // Every answer is refused, so the thread spends its time waiting between
  // attempts (500 ms each, 20 attempts: ten seconds if the cancel were lost).
  std::vector<Answer> answers(20, Answer{Answer::kWhole});
  RangeServer server(file, answers);
  MemoryWriter writer(file.size());
  {
    CDownloadThread thread("http://127.0.0.1:" + std::to_string(server.Port()) + "/f.exe", 2000, 20,
                           0, 99, &writer, 0);
    EXPECT_TRUE(testing::WaitUntil([&] { return !server.Requests().empty(); }));
  }  // the destructor cancels and waits
  EXPECT_LE(server.Requests().size(), 2u);
  EXPECT_TRUE(ErrorStatuses().empty());
  EXPECT_EQ(writer.Bytes(), 0);
}

// A connect towards an address that drops every packet would last minutes;
// the owner's cancel ends it, and the thread reports nothing.
TEST_F(DownloadThreadTest, CancelEndsAConnectThatHangs) {
  testing::LoopbackBlackHole hole;
  ASSERT_NE(hole.Port(), 0);
  MemoryWriter writer(10);
  std::atomic<bool> destroyed{false};
  std::thread owner([&] {
    {
      CDownloadThread thread("http://127.0.0.1:" + std::to_string(hole.Port()) + "/f.exe", 2000, 20,
                             0, 9, &writer, 0, Fast());
      std::this_thread::sleep_for(std::chrono::milliseconds(300));  // inside its connect
      EXPECT_EQ(thread.GetState(), CDownloadThread::kWorking);
    }  // the destructor cancels and waits
    destroyed.store(true);
  });
  // A guard against a hang, far below the system's own connect limit.
  const bool ended =
      testing::WaitUntil([&] { return destroyed.load(); }, std::chrono::milliseconds(15000));
  ASSERT_TRUE(ended) << "the cancel did not reach the connect";
  owner.join();
  EXPECT_TRUE(ErrorStatuses().empty());
  EXPECT_EQ(writer.Bytes(), 0);
}

}  // namespace
}  // namespace pelmar
