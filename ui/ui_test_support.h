#pragma once

// Helpers shared by the Windows tests of the user interface: what the UI
// reported (with the shared event recorder), a ZIP writer for hand-made archives, a scratch
// folder, a 32-bit DIB to draw into, and the X tools run from inside Wine.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/testing/recording_event_sink.h"

namespace pelmar {
namespace test {

// The "error_status" texts of the "vResourceError" events, in order.
std::vector<std::string> ErrorTexts(const RecordingEventSink& events);

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

// Dispatches every message waiting for this thread's windows.
void PumpPendingMessages();

// Waits for `done` with a deadline (base/testing/wait_until.h), keeping this
// thread's windows answering; WaitUntil waits the same without pumping.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 60000);
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 60000);

}  // namespace test
}  // namespace pelmar
