#pragma once

// A page context for tests of the pages: records every event and page action
// the pages send, in order, and answers the machine id, URL opening and
// running as the desktop user without starting anything. Its install target
// needs no bytes and asks the real volumes.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/testing/recording_event_sink.h"
#include "pages/page_context.h"

namespace pelmar {

// Threads: any thread may send (the progress page's tick sends from its
// own); the lock guards the lists.
class RecordingPageContext : public IEventSink,
                             public IPageActionSink,
                             public IMachineIdSource,
                             public IUrlOpener,
                             public IUserLauncher,
                             public IRecordDelivery {
 public:
  // An event with its properties as text (integers in decimal, booleans
  // "true"/"false"); a page action as "page:<page>/<action>" with "extra".
  struct Record {
    std::string name;
    std::map<std::string, std::string> properties;
  };

  RecordingPageContext() {
    context_.events = this;
    context_.actions = this;
    context_.machineId = this;
    context_.urlOpener = this;
    context_.userLauncher = this;
    context_.delivery = this;
    context_.installTarget = &installTarget_;
  }
  RecordingPageContext(const RecordingPageContext&) = delete;
  RecordingPageContext& operator=(const RecordingPageContext&) = delete;

  // The context to hand the pages; its progress services may be changed.
  PageContext& context() { return context_; }
  CInstallTarget& installTarget() { return installTarget_; }

  std::vector<Record> Named(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Record> out;
    for (const Record& r : records_)
      if (r.name == name) out.push_back(r);
    return out;
  }
  std::vector<std::string> Names() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const Record& r : records_) out.push_back(r.name);
    return out;
  }
  std::vector<std::string> OpenedUrls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
  }

  bool Send(const Event& event) override {
    RecordingEventSink typed;
    (void)typed.Send(event);
    const RecordedEvent e = typed.Events().front();
    Record r{e.name, e.strings};
    for (const auto& [key, value] : e.ints) r.properties[key] = std::to_string(value);
    for (const auto& [key, value] : e.bools) r.properties[key] = value ? "true" : "false";
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(std::move(r));
    return true;
  }
  bool SendPageAction(const std::string& page, const std::string& action,
                      const std::string& extra) override {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back({"page:" + page + "/" + action, {{"extra", extra}}});
    return true;
  }
  std::string GetMid() override { return "test-mid"; }
  std::string GetMidEx(int) override { return "test-mid"; }
  bool OpenUrl(const std::string& url) override {
    std::lock_guard<std::mutex> lock(mutex_);
    opened_.push_back(url);
    return false;
  }
  int RunAsUser(const std::string&, const std::string&, const char*, const char*,
                const char*) override {
    return 0;
  }
  void ReleaseHandle() override {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back({"delivery released", {}});
  }

 private:
  CInstallTarget installTarget_{[] { return int64_t{0}; }, &FreeSpace};
  PageContext context_;
  std::mutex mutex_;
  std::vector<Record> records_;      // guarded by mutex_
  std::vector<std::string> opened_;  // guarded by mutex_
};

// One context for tests that draw and click pages without checking what
// they report.
inline PageContext& TestPageContext() {
  static RecordingPageContext pages;
  return pages.context();
}

}  // namespace pelmar
