#include "services/logger_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/pelmar_error.h"
#include "base/text_convert.h"
#include "services/sdk_binding.h"

namespace pelmar {
namespace {

// A recording SDK: every call lands in one global log, records are kept
// whole, so tests can compare what the logger asked of the SDK.
struct RecordedRecord {
  int type = 0;
  std::vector<std::string> fields;  // in call order
};

struct Recorder {
  std::mutex mutex;
  std::vector<std::string> calls;         // set-up and utility calls
  std::vector<RecordedRecord> committed;  // committed records, in commit order
  int createStatus = 0;                   // vekCLTCreate result
  int commitStatus = 0;                   // vekCLTCommit result
  int failSetter = -1;                    // index of the set-up call that fails
  int setupIndex = 0;
  int frees = 0;
  int handles = 0;
  std::vector<void*> outstanding;  // buffers not yet released
  const char* midText = "0123456789abcdef0123456789abcdef";
  VekCrashHandler crashHandler = nullptr;
  void* crashContext = nullptr;
};

Recorder* g_rec = nullptr;

void Log(const std::string& call) {
  std::lock_guard<std::mutex> lock(g_rec->mutex);
  g_rec->calls.push_back(call);
}

int Setup(const std::string& call) {
  std::lock_guard<std::mutex> lock(g_rec->mutex);
  g_rec->calls.push_back(call);
  return g_rec->setupIndex++ == g_rec->failSetter ? 7 : 0;
}

RecordedRecord* Rec(VekRecord r) { return static_cast<RecordedRecord*>(r); }

int VEK_CALL Create(VekHandle* out) {
  const int status = Setup("create");
  std::lock_guard<std::mutex> lock(g_rec->mutex);
  *out = reinterpret_cast<VekHandle>(static_cast<intptr_t>(++g_rec->handles));
  return status;
}
int VEK_CALL SetApplyKey(VekHandle, const char* id, const char* key) {
  return Setup(std::string("key ") + id + " " + key);
}
int VEK_CALL SetAppInfo(VekHandle, const char* name, int a, int b) {
  return Setup("app " + std::string(name) + " " + std::to_string(a) + " " + std::to_string(b));
}
int VEK_CALL SetHostInfo(VekHandle, const char* host, int port) {
  return Setup("host " + std::string(host) + " " + std::to_string(port));
}
int VEK_CALL SetSensorUrl(VekHandle, const char* path) {
  return Setup("sensor " + std::string(path));
}
int VEK_CALL SetPub(VekHandle, const char* k) { return Setup("pub " + std::to_string(strlen(k))); }
int VEK_CALL SetPri(VekHandle, const char* k) { return Setup("pri " + std::to_string(strlen(k))); }
int VEK_CALL SetMidVersion(VekHandle, int v) { return Setup("midversion " + std::to_string(v)); }
int VEK_CALL EnableCrash(VekHandle, VekCrashHandler handler, void* context) {
  {
    std::lock_guard<std::mutex> lock(g_rec->mutex);
    g_rec->crashHandler = handler;
    g_rec->crashContext = context;
  }
  return Setup("crash");
}
int VEK_CALL Free(VekHandle h) {
  Log("free " + std::to_string(reinterpret_cast<intptr_t>(h)));
  return 0;
}

int VEK_CALL CLTCreate(VekHandle, int type, VekRecord* out) {
  std::lock_guard<std::mutex> lock(g_rec->mutex);
  if (g_rec->createStatus != 0) return g_rec->createStatus;
  auto* r = new RecordedRecord;
  r->type = type;
  *out = r;
  return 0;
}
int VEK_CALL WriteEvent(VekRecord r, const char* name, int id) {
  Rec(r)->fields.push_back("event " + std::string(name) + " " + std::to_string(id));
  return 0;
}
int VEK_CALL WriteIntProp(VekRecord r, const char* k, int v) {
  Rec(r)->fields.push_back("i " + std::string(k) + "=" + std::to_string(v));
  return 0;
}
int VEK_CALL WriteBoolProp(VekRecord r, const char* k, unsigned char v) {
  Rec(r)->fields.push_back("b " + std::string(k) + "=" + std::to_string(v));
  return 0;
}
int VEK_CALL WriteStringProp(VekRecord r, const char* k, const char* v) {
  Rec(r)->fields.push_back("s " + std::string(k) + "=" + v);
  return 0;
}
int VEK_CALL WriteInt(VekRecord r, int field, int v) {
  Rec(r)->fields.push_back("int " + std::to_string(field) + "=" + std::to_string(v));
  return 0;
}
int VEK_CALL WriteData(VekRecord r, int field, const void* bytes, int length) {
  Rec(r)->fields.push_back("data " + std::to_string(field) + "=" +
                           std::string(static_cast<const char*>(bytes), length));
  return 0;
}
int VEK_CALL Commit(VekRecord r) {
  std::lock_guard<std::mutex> lock(g_rec->mutex);
  if (g_rec->commitStatus != 0) return g_rec->commitStatus;
  g_rec->committed.push_back(*Rec(r));
  return 0;
}
int VEK_CALL CLTFree(VekRecord r) {
  delete Rec(r);
  std::lock_guard<std::mutex> lock(g_rec->mutex);
  ++g_rec->frees;
  return 0;
}

char* Hand(const std::string& text, int* length) {
  char* buffer = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  if (length) *length = static_cast<int>(text.size());
  std::lock_guard<std::mutex> lock(g_rec->mutex);
  g_rec->outstanding.push_back(buffer);
  return buffer;
}
char* VEK_CALL BuildHttp(const char* path, const char* body, int length, int* out, int reserved,
                         const char* version) {
  Log("build " + std::string(path) + " " + std::to_string(reserved) + " " + version);
  if (std::string(path) == "/fail") return nullptr;
  return Hand(std::string(version) + path + "|" + std::string(body, length), out);
}
char* VEK_CALL Decrypt(const char* body, int length, int* out) {
  const std::string text(body, length);
  if (text == "bad") return nullptr;
  if (text == "empty") return Hand("", out);
  return Hand("plain:" + text, out);
}
void VEK_CALL DataFree(void* buffer) {
  std::lock_guard<std::mutex> lock(g_rec->mutex);
  auto& v = g_rec->outstanding;
  for (auto it = v.begin(); it != v.end(); ++it) {
    if (*it == buffer) {
      v.erase(it);
      std::free(buffer);
      return;
    }
  }
  ADD_FAILURE() << "freed a buffer the SDK did not hand out";
}
char* VEK_CALL Mid() { return g_rec->midText ? Hand(g_rec->midText, nullptr) : nullptr; }
char* VEK_CALL MidEx(int v) { return Hand("ex" + std::to_string(v), nullptr); }
int VEK_CALL OpenUrl(const char* url) {
  Log("open " + std::string(url));
  return 0;
}
int VEK_CALL RunAs(const char* verb, const char* file, const char* a3, const char*, const char*) {
  Log("runas " + std::string(verb) + " " + file + (a3 ? " a3" : ""));
  return 42;
}

enum BindLevel { kNothing, kCoreOnly, kFull };

SdkBinder Binder(BindLevel level) {
  return [level](VekTables& t, VekCrashHandler handler, void* context) {
    if (level == kNothing) throw PelmarError("Load VEK.dll failed");
    auto core = std::make_unique<VekCoreTable>();
    core->create = &Create;
    core->setApplyKey = &SetApplyKey;
    core->setAppInfo = &SetAppInfo;
    core->setHostInfo = &SetHostInfo;
    core->setSensorUrl = &SetSensorUrl;
    core->setPubCertificate = &SetPub;
    core->setPriCertificate = &SetPri;
    core->setMidVersion = &SetMidVersion;
    core->enableCrashReport = &EnableCrash;
    core->free = &Free;
    t.core = std::move(core);
    CSdkBinding::SetUp(*t.core, handler, context);
    if (level == kCoreOnly) throw PelmarError("Get vekCLTCreate address error");
    auto c = std::make_unique<VekCollectorTable>();
    *c = {&CLTCreate, &WriteEvent, &WriteIntProp, &WriteBoolProp, &WriteStringProp,
          &WriteInt,  &WriteData,  &Commit,       &CLTFree};
    t.collector = std::move(c);
    auto u = std::make_unique<VekUtilityTable>();
    *u = {&BuildHttp, &Decrypt, &DataFree, &Mid, &MidEx, &OpenUrl};
    t.utility = std::move(u);
    t.runAsUser = std::make_unique<ShellExecAsUserFn>(&RunAs);
  };
}

class LoggerServerTest : public ::testing::Test {
 protected:
  void SetUp() override { g_rec = &rec_; }
  void TearDown() override {
    EXPECT_TRUE(rec_.outstanding.empty()) << "SDK buffers not released";
    g_rec = nullptr;
  }
  std::unique_ptr<CLoggerServer> Make(BindLevel level = kFull, int64_t now = 1234567890) {
    return std::make_unique<CLoggerServer>(Binder(level), [now] { return now; });
  }
  std::vector<RecordedRecord> Committed() {
    std::lock_guard<std::mutex> lock(rec_.mutex);
    return rec_.committed;
  }

  Recorder rec_;
};

TEST_F(LoggerServerTest, SetUpRunsInOrder) {
  auto logger = Make();
  const std::vector<std::string> expected = {"create",
                                             "key 10001061 7d2e94b1c0a85f63e19b4d07a2c6f358",
                                             "app win_installer 0 0",
                                             "host localhost 18480",
                                             "sensor /sa?project=production",
                                             "midversion 1",
                                             "pub 392",
                                             "pri 1588",
                                             "crash"};
  ASSERT_GE(rec_.calls.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(rec_.calls.begin(), rec_.calls.begin() + expected.size()),
            expected);
  EXPECT_EQ(rec_.crashContext, logger.get());
  EXPECT_EQ(rec_.crashHandler, &CLoggerServer::OnCrash);
}

TEST_F(LoggerServerTest, FailingSetterAbortsAndLeavesLoggerInert) {
  // Index 3: vekSetHostInfo. The certificates and crash report never follow.
  rec_.failSetter = 3;
  auto logger = Make();
  EXPECT_EQ(rec_.calls.back(), "host localhost 18480");
  EXPECT_FALSE(logger->SendEvent("vSoftQuit"));
  EXPECT_TRUE(Committed().empty());
}

TEST_F(LoggerServerTest, PropertiesAreOrderedAndFirstValueWins) {
  auto logger = Make();
  logger->ClearProperties();
  logger->SetStringProperty("soft_package_name", "pkg");
  logger->SetStringProperty("install_type", "\xe5\xae\x89\xe8\xa3\x85\xe5\x99\xa8");
  logger->SetIntProperty("download_time", 5);
  logger->SetBoolProperty("is_first_install", true);
  logger->SetStringProperty("install_type", "second value is ignored");
  logger->SetIntProperty("download_time", 6);
  logger->SetBoolProperty("a_flag", false);
  ASSERT_TRUE(logger->SendEvent("pSoftInstall"));
  // Still pending: a second event carries the same set.
  ASSERT_TRUE(logger->SendEvent("again"));
  logger->ClearProperties();
  ASSERT_TRUE(logger->SendEvent("cleared"));

  const auto records = Committed();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].type, 6);
  EXPECT_EQ(
      records[0].fields,
      (std::vector<std::string>{
          "event pSoftInstall 456789000", "i download_time=5", "b a_flag=0", "b is_first_install=1",
          "s install_type=\xe5\xae\x89\xe8\xa3\x85\xe5\x99\xa8", "s soft_package_name=pkg"}));
  EXPECT_EQ(std::vector<std::string>(records[1].fields.begin() + 1, records[1].fields.end()),
            std::vector<std::string>(records[0].fields.begin() + 1, records[0].fields.end()));
  EXPECT_EQ(records[2].fields, std::vector<std::string>{"event cleared 456789002"});
  EXPECT_EQ(rec_.frees, 3);
}

// Events as the lower layers send them through the sink.
struct SinkCase {
  const char* what;
  Event event;
};

// Sets `event`'s properties by hand, the way the senders did before the sink.
void SendByHand(ILoggerServer& logger, const Event& event) {
  logger.ClearProperties();
  for (const EventProperty& p : event.properties()) {
    if (p.kind == EventProperty::kInt) logger.SetIntProperty(p.key, p.intValue);
    if (p.kind == EventProperty::kBool) logger.SetBoolProperty(p.key, p.boolValue);
    if (p.kind == EventProperty::kString) logger.SetStringProperty(p.key, p.stringValue);
  }
  ASSERT_TRUE(logger.SendEvent(event.name()));
}

TEST_F(LoggerServerTest, SinkEventsRecordExactlyWhatSettingByHandDid) {
  const SinkCase cases[] = {
      {"no properties", Event("vSoftDownloadStart")},
      {"strings", Event("vSoftDownloadError")
                      .SetString("error_type", "\xE4\xB8\x8B\xE8\xBD\xBD")
                      .SetString("error_status", "\xE5\xA4\xB1\xE8\xB4\xA5")},
      {"all kinds, out of key order", Event("vNetworkCheck")
                                          .SetString("network_type", "proxy")
                                          .SetInt("conn_type", 2)
                                          .SetBool("is_first_install", false)
                                          .SetString("host_name", "localhost")},
  };
  for (const SinkCase& c : cases) {
    SCOPED_TRACE(c.what);
    rec_.committed.clear();
    auto logger = Make();
    // Properties left pending by an earlier event must not leak into either.
    logger->SetStringProperty("left_over", "1");
    SendByHand(*logger, c.event);
    logger->SetStringProperty("left_over", "1");
    ASSERT_TRUE(logger->Send(c.event));
    const auto records = Committed();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].type, records[1].type);
    // The first field names the event and its id, which counts up per event.
    ASSERT_FALSE(records[1].fields.empty());
    EXPECT_EQ(records[1].fields[0].substr(0, records[1].fields[0].rfind(' ')),
              "event " + c.event.name());
    EXPECT_EQ(std::vector<std::string>(records[1].fields.begin() + 1, records[1].fields.end()),
              std::vector<std::string>(records[0].fields.begin() + 1, records[0].fields.end()));
  }
}

TEST_F(LoggerServerTest, EventIdsFollowClockAndCounter) {
  struct Case {
    int64_t now;
    int32_t firstId;
  } cases[] = {
      {1234567890, 456789000},  // seconds modulo 10,000,000, times 100
      {9999999, 999999900},     // largest seconds value stays within 32 bits
      {10000000, 0},            // wraps
      {0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.now);
    rec_.committed.clear();
    auto logger = Make(kFull, c.now);
    for (int i = 0; i < 101; ++i) ASSERT_TRUE(logger->SendEvent("e"));
    const auto records = Committed();
    ASSERT_EQ(records.size(), 101u);
    for (int i = 0; i < 101; ++i)
      EXPECT_EQ(records[i].fields[0], "event e " + std::to_string(c.firstId + i % 100));
  }
  EXPECT_EQ(CLoggerServer::EventId(1700000123, 205), 123 * 100 + 5);
}

struct FixedRecordCase {
  const char* name;
  std::function<bool(ILoggerServer&)> send;
  int type;
  std::vector<std::string> fields;
};

TEST_F(LoggerServerTest, FixedRecordsWriteTheirFields) {
  const FixedRecordCase cases[] = {
      {"launch", [](ILoggerServer& l) { return l.SendLaunch(1, "", "", ""); }, 1, {"int 1=1"}},
      {"launch strings",
       [](ILoggerServer& l) { return l.SendLaunch(3, "a", "", "c"); },
       1,
       {"int 1=3", "data 2=a", "data 4=c"}},
      {"page action",
       [](ILoggerServer& l) { return l.SendPageAction("0001", "0002", ""); },
       2,
       {"data 10=0001", "data 11=0002"}},
      {"page action extra",
       [](ILoggerServer& l) { return l.SendPageAction("0007", "0001", "x"); },
       2,
       {"data 10=0007", "data 11=0001", "data 12=x"}},
      {"start",
       [](ILoggerServer& l) { return l.SendLifecycle(4, "0001", "0001", "pkg", "", {}); },
       4,
       {"int 50=4", "data 51=0001", "data 52=0001", "data 53=pkg"}},
      {"quit",
       [](ILoggerServer& l) { return l.SendLifecycle(4, "0001", "0002", "", "", {}); },
       4,
       {"int 50=4", "data 51=0001", "data 52=0002"}},
      {"all codes",
       [](ILoggerServer& l) { return l.SendLifecycle(2, "a", "b", "c", "d", {}); },
       4,
       {"int 50=2", "data 51=a", "data 52=b", "data 53=c", "data 54=d"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    rec_.committed.clear();
    auto logger = Make();
    ASSERT_TRUE(c.send(*logger));
    const auto records = Committed();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].type, c.type);
    EXPECT_EQ(records[0].fields, c.fields);
  }
}

TEST_F(LoggerServerTest, LifecycleAttachesOnlyExistingFiles) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("logger_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "crash.dmp").string();
  std::ofstream(file) << "MDMP";
  const std::string missing = (dir / "missing.dmp").string();
  auto logger = Make();
  ASSERT_TRUE(logger->SendLifecycle(1, "0001", "0001", "", "", {missing, dir.string(), "", file}));
  const auto records = Committed();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].fields, (std::vector<std::string>{"int 50=1", "data 51=0001", "data 52=0001",
                                                         "data 55=" + file}));
  std::filesystem::remove_all(dir);
}

TEST_F(LoggerServerTest, CrashHandlerSendsItsRecords) {
  const auto dump =
      std::filesystem::temp_directory_path() / ("dump_" + std::to_string(::getpid()) + ".dmp");
  std::ofstream(dump.string()) << "MDMP";
  auto logger = Make();
  logger->SetIntProperty("left_over", 1);  // cleared by the handler
  ASSERT_NE(rec_.crashHandler, nullptr);
  rec_.crashHandler(rec_.crashContext, WideFromUtf8(dump.string()).c_str());
  const auto records = Committed();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].type, 4);
  EXPECT_EQ(records[0].fields, (std::vector<std::string>{"int 50=1", "data 51=0001", "data 52=0001",
                                                         "data 55=" + dump.string()}));
  EXPECT_EQ(records[1].fields,
            (std::vector<std::string>{"int 50=4", "data 51=0001", "data 52=0002"}));
  EXPECT_EQ(records[2].fields, std::vector<std::string>{"event vSoftDump 456789000"});
  EXPECT_EQ(
      records[3].fields,
      (std::vector<std::string>{"event vSoftQuit 456789001",
                                "s event_name=\xe8\xbd\xaf\xe4\xbb\xb6\xe5\xb4\xa9\xe6\xba\x83"}));
  std::filesystem::remove(dump);
}

TEST_F(LoggerServerTest, InertWithoutSdk) {
  for (BindLevel level : {kNothing, kCoreOnly}) {
    SCOPED_TRACE(level);
    auto logger = Make(level);
    logger->ClearProperties();
    logger->SetIntProperty("k", 1);
    logger->SetBoolProperty("b", true);
    logger->SetStringProperty("s", "v");
    EXPECT_FALSE(logger->SendEvent("e"));
    EXPECT_FALSE(logger->SendLaunch(1, "", "", ""));
    EXPECT_FALSE(logger->SendPageAction("0001", "0001", ""));
    EXPECT_FALSE(logger->SendLifecycle(4, "0001", "0002", "", "", {}));
    EXPECT_EQ(logger->BuildHttpData("/p", "{}"), "");
    EXPECT_EQ(logger->DecryptData("x"), "");
    EXPECT_EQ(logger->GetMid(), "");
    EXPECT_FALSE(logger->OpenUrl("http://127.0.0.1/"));
    EXPECT_EQ(logger->RunAsUser("open", "C:\\a.exe"), 0);
    EXPECT_FALSE(logger->Reinit());
    logger->ReleaseHandle();
  }
  EXPECT_TRUE(Committed().empty());
}

TEST_F(LoggerServerTest, FailedRecordCreationSendsNothing) {
  auto logger = Make();
  rec_.createStatus = 5;
  EXPECT_FALSE(logger->SendEvent("e"));
  EXPECT_FALSE(logger->SendLaunch(1, "", "", ""));
  EXPECT_EQ(rec_.frees, 0);
  rec_.createStatus = 0;
  EXPECT_TRUE(logger->SendEvent("e"));
  // A refused commit is not reported as sent; the record is still freed.
  rec_.commitStatus = 2;
  EXPECT_FALSE(logger->SendEvent("e"));
  EXPECT_FALSE(logger->SendPageAction("0001", "0001", ""));
  EXPECT_EQ(rec_.frees, 3);
}

TEST_F(LoggerServerTest, ReleasedStopsRecordsAndReinitRestoresThem) {
  auto logger = Make();
  logger->ReleaseHandle();
  EXPECT_EQ(rec_.calls.back(), "free 1");
  logger->ReleaseHandle();  // a second release frees nothing more
  EXPECT_EQ(rec_.calls.back(), "free 1");
  logger->ClearProperties();
  logger->SetBoolProperty("choose_join_plan", false);
  EXPECT_FALSE(logger->SendEvent("vSoftQuit"));
  EXPECT_FALSE(logger->SendLifecycle(4, "0001", "0002", "", "", {}));
  EXPECT_TRUE(Committed().empty());

  EXPECT_FALSE(logger->Reinit());  // always false, but sets the SDK up again
  EXPECT_EQ(rec_.calls.back(), "crash");
  EXPECT_TRUE(logger->SendEvent("after"));
  EXPECT_FALSE(logger->Reinit());  // handle present: nothing re-run
  EXPECT_EQ(rec_.calls.back(), "crash");
  logger.reset();  // destruction frees the new handle
  EXPECT_EQ(rec_.calls.back(), "free 2");
}

TEST_F(LoggerServerTest, UtilitiesCopyAndReleaseSdkBuffers) {
  auto logger = Make();
  const std::string body("{\"a\":\0}", 7);
  EXPECT_EQ(logger->BuildHttpData("/installer/package/index", body),
            "/v1.1/installer/package/index|" + body);
  EXPECT_EQ(rec_.calls.back(), "build /installer/package/index 0 /v1.1");
  EXPECT_EQ(logger->BuildHttpData("/fail", "x"), "");
  EXPECT_EQ(logger->DecryptData("sealed"), "plain:sealed");
  EXPECT_EQ(logger->DecryptData("bad"), "");
  EXPECT_EQ(logger->DecryptData("empty"), "");
  EXPECT_EQ(logger->GetMid(), "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(logger->GetMidEx(3), "ex3");
  rec_.midText = nullptr;
  EXPECT_EQ(logger->GetMid(), "");
  rec_.midText = "";
  EXPECT_EQ(logger->GetMid(), "");

  EXPECT_TRUE(logger->OpenUrl("http://127.0.0.1:1/welcome"));
  EXPECT_EQ(rec_.calls.back(), "open http://127.0.0.1:1/welcome");
  // Only a plain http address reaches the SDK's opener.
  for (const char* refused : {"", "file://host/share/x.exe", "file:///C:/x.exe", "https://h/p",
                              "C:\\Users\\Public\\x.exe", "http://h/a b", "http://h/\r\nX: 1"}) {
    SCOPED_TRACE(refused);
    EXPECT_FALSE(logger->OpenUrl(refused));
    EXPECT_EQ(rec_.calls.back(), "open http://127.0.0.1:1/welcome");
  }
  EXPECT_EQ(logger->RunAsUser("", "C:\\a.exe"), 0);
  EXPECT_EQ(logger->RunAsUser("open", ""), 0);
  EXPECT_EQ(logger->RunAsUser("open", "C:\\a.exe"), 42);
  EXPECT_EQ(rec_.calls.back(), "runas open C:\\a.exe");
}

// Several threads clear, set and send at the same moment; each event must
// carry exactly the properties its own thread set.
TEST_F(LoggerServerTest, ConcurrentSendersKeepTheirOwnProperties) {
  auto logger = Make();
  constexpr int kThreads = 6;
  constexpr int kEvents = 150;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < kEvents; ++i) {
        logger->ClearProperties();
        logger->SetStringProperty("sender", std::to_string(t));
        logger->SetIntProperty("n", i);
        if (t % 2) logger->SetBoolProperty("odd", true);
        logger->SendEvent("e" + std::to_string(t) + "_" + std::to_string(i));
      }
    });
  }
  go = true;
  for (auto& th : threads) th.join();
  const auto records = Committed();
  ASSERT_EQ(records.size(), static_cast<size_t>(kThreads * kEvents));
  for (const auto& r : records) {
    const std::string event = r.fields[0].substr(7, r.fields[0].find(' ', 7) - 7);
    const std::string t = event.substr(0, event.find('_'));
    const std::string i = event.substr(event.find('_') + 1);
    std::vector<std::string> expected = {r.fields[0], "i n=" + i};
    if (std::stoi(t) % 2) expected.push_back("b odd=1");
    expected.push_back("s sender=" + t);
    EXPECT_EQ(r.fields, expected);
  }
}

}  // namespace
}  // namespace pelmar
