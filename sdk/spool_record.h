#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pelmar::vek {

// What the SDK knows about the run when a record is committed.
struct RecordContext {
  std::string uid;  // 32 lower-case hex characters, unique per record
  std::string appId;
  std::string appName;
  std::string mid;
  int64_t timeMs = 0;  // milliseconds since 1970
};

// One record under construction (vekCLTCreate .. vekCLTCommit).
class SpoolRecord {
 public:
  explicit SpoolRecord(int type) : type_(type) {}

  int type() const { return type_; }
  void WriteInt(int field, int value);           // a repeated field keeps the last value
  void WriteData(int field, std::string bytes);  // repeated fields are all kept
  void WriteEvent(std::string name, int eventId);
  // Properties keep their order; a key already written is ignored.
  void WriteIntProperty(const std::string& key, int value);
  void WriteBoolProperty(const std::string& key, bool value);
  void WriteStringProperty(const std::string& key, std::string value);

  // One JSON object without a line break (non-UTF-8 property bytes become
  // U+FFFD so the line stays valid JSON).
  std::string ToJsonLine(const RecordContext& context) const;

 private:
  enum class PropKind { kInt, kBool, kString };
  struct Prop {
    std::string key;
    PropKind kind;
    int intValue = 0;
    std::string text;
  };
  bool HasProp(const std::string& key) const;

  int type_;
  std::vector<std::pair<int, int>> ints_;
  std::vector<std::pair<int, std::string>> data_;
  bool hasEvent_ = false;
  std::string event_;
  int eventId_ = 0;
  std::vector<Prop> props_;
};

// `text` as a JSON string literal (with quotes).
std::string JsonQuote(const std::string& text);

}  // namespace pelmar::vek
