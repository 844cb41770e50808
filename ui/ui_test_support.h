#pragma once

// Helpers shared by the Windows tests of the user interface: a logger that
// records what the UI reports, a ZIP writer for hand-made archives, a scratch
// folder, a 32-bit DIB to draw into, and the X tools run from inside Wine.

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "services/logger_server.h"

namespace pelmar {
namespace test {

// Keeps every event with the string properties pending when it was sent.
class RecordingLogger : public ILoggerServer {
 public:
  struct Event {
    std::string name;
    std::map<std::string, std::string> strings;
  };
  std::vector<Event> events;

  // Names of the events, in order.
  std::vector<std::string> Names() const;
  // The "error_status" texts of the "vResourceError" events, in order.
  std::vector<std::string> ErrorTexts() const;

  bool SendEvent(const std::string& name) override;
  void ClearProperties() override { pending_.clear(); }
  void SetStringProperty(const std::string& key, const std::string& value) override {
    pending_[key] = value;
  }
  void SetIntProperty(const std::string& key, int32_t value) override {
    pending_[key] = std::to_string(value);
  }
  void SetBoolProperty(const std::string& key, bool value) override {
    pending_[key] = value ? "true" : "false";
  }
  bool SendPageAction(const std::string&, const std::string&, const std::string&) override {
    return true;
  }
  bool SendLifecycle(int, const std::string&, const std::string&, const std::string&,
                     const std::string&, std::vector<std::string>) override {
    return true;
  }
  bool SendLaunch(int, const std::string&, const std::string&, const std::string&) override {
    return true;
  }
  std::string BuildHttpData(const std::string&, const std::string&) override { return {}; }
  std::string DecryptData(const std::string&) override { return {}; }
  std::string GetMid() override { return {}; }
  std::string GetMidEx(int) override { return {}; }
  bool Reinit() override { return false; }
  void ReleaseHandle() override {}
  bool OpenUrl(const std::string&) override { return false; }
  int RunAsUser(const std::string&, const std::string&, const char*, const char*,
                const char*) override {
    return 0;
  }

 private:
  std::map<std::string, std::string> pending_;
};

// A ZIP archive with stored (uncompressed) entries, names exactly as given.
std::string MakeStoredZip(const std::vector<std::pair<std::string, std::string>>& entries);

// A fresh folder under the temporary directory, removed with its files.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::wstring& path() const { return path_; }
  std::wstring Join(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
// File names (not folders) in `folder`, sorted.
std::vector<std::wstring> ListFiles(const std::wstring& folder);
void RemoveTree(const std::wstring& folder);

// A top-down 32-bit DIB selected into a memory DC, cleared to `background`.
class Dib {
 public:
  Dib(int width, int height, uint32_t background = 0xFFFFFFFF);
  ~Dib();
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;

  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // 0xAARRGGBB as stored (premultiplied where GDI+ blended).
  uint32_t Pixel(int x, int y) const;
  // Pixels inside [left, right) x [top, bottom) that differ from `colour`.
  int CountOther(int left, int top, int right, int bottom, uint32_t colour) const;
  // Saves as PNG through GDI+ (GDI+ must be running).
  bool SavePng(const std::wstring& path) const;

 private:
  int width_;
  int height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
};

// Runs a Unix shell command line from inside Wine and waits (bounded) until
// it finished. Wine starts Unix programs but cannot wait on them, so the
// command leaves a marker file behind. False when it did not finish in time
// or failed.
bool RunUnixCommand(const std::string& shellCommand, int timeoutMs = 20000);

// The folder the test executable lives in (the build's bin folder).
std::wstring ExecutableFolder();

}  // namespace test
}  // namespace pelmar
