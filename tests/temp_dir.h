#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "base/text_convert.h"

namespace pelmar::testing {

// A fresh folder for one test, removed with everything in it afterwards. Its
// name holds a space and non-ASCII characters so every path test covers them.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    // Built from UTF-8 so no locale is involved on either platform.
    const std::string name = "pelmar test \xE6\xB5\x8B\xE8\xAF\x95 " + std::to_string(stamp) + "_" +
                             std::to_string(counter++);
    path_ = std::filesystem::temp_directory_path() / std::filesystem::u8path(name);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::wstring Wide() const { return WideFromUtf8(path_.u8string()); }
  std::wstring File(const std::wstring& name) const { return Wide() + kSeparator + name; }

#ifdef _WIN32
  static constexpr const wchar_t* kSeparator = L"\\";
#else
  static constexpr const wchar_t* kSeparator = L"/";
#endif

 private:
  std::filesystem::path path_;
};

}  // namespace pelmar::testing
