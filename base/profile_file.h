#pragma once

#include <string>

namespace pelmar {

// A private profile (INI) file: the platform's profile functions on Windows,
// IniText over a UTF-8 file natively. Both read back the same keys.
class ProfileFile {
 public:
  // Longest value read, in characters.
  static constexpr size_t kMaxValueChars = 1023;

  explicit ProfileFile(std::wstring path) : path_(std::move(path)) {}

  const std::wstring& path() const { return path_; }
  // The value, or empty when the file, section or key is missing.
  std::wstring Read(const std::wstring& section, const std::wstring& key) const;
  // Writes at once. Fails (false) when the file's directory does not exist;
  // callers that treat the file as a mirror may ignore that.
  bool Write(const std::wstring& section, const std::wstring& key, const std::wstring& value) const;

 private:
  std::wstring path_;
};

}  // namespace pelmar
