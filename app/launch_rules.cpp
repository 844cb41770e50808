#include "app/launch_rules.h"

#include <limits>
#include <vector>

namespace pelmar {
namespace {

// An empty text has no components at all (not one empty component).
std::vector<std::string_view> SplitDots(std::string_view text) {
  std::vector<std::string_view> parts;
  if (text.empty()) return parts;
  size_t start = 0;
  for (;;) {
    const size_t dot = text.find('.', start);
    parts.push_back(text.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts;
}

}  // namespace

std::string SoftPackageNameFromPath(std::string_view module_path_utf8) {
  const size_t slash = module_path_utf8.rfind('\\');
  if (slash == std::string_view::npos) return std::string();
  std::string_view name = module_path_utf8.substr(slash + 1);
  name = name.size() > 4 ? name.substr(0, name.size() - 4) : std::string_view();
  return std::string(name);
}

std::string ChannelFromPackageName(std::string_view package_name) {
  const size_t p = package_name.find('_');
  if (p == std::string_view::npos || p + 1 >= package_name.size()) return std::string();
  size_t start = p + 1;
  if (package_name[start] == 'U') ++start;
  std::string_view channel = package_name.substr(start, kMaxChannelBytes);
  // The limit counts bytes; a cut inside a multi-byte character would send
  // invalid UTF-8 in every record and request, so the partial character goes.
  if (channel.size() == kMaxChannelBytes && start + kMaxChannelBytes < package_name.size()) {
    size_t end = channel.size();
    while (end > 0 && (static_cast<unsigned char>(package_name[start + end]) & 0xC0) == 0x80) --end;
    channel = channel.substr(0, end);
  }
  return std::string(channel);
}

std::string ChannelFromVersion(std::string_view product_version, std::string name_channel) {
  if (product_version.empty()) return name_channel;
  const auto parts = SplitDots(product_version);
  if (parts.size() != 4) return name_channel;
  switch (ParseLeadingInt64(parts[1])) {
    case 96:
      return "tengxun0";
    case 97:
      return "qihu3600";
    case 98:
      return "jinshan0";
    case 99:
      return "huawei00";
    default:
      return name_channel;
  }
}

int64_t DownloadTimeFromTimes(int64_t creation, int64_t last_write) {
  if (last_write <= creation) return 0;
  // Both come from 64-bit file times; guard the difference anyway.
  if (creation < 0 && last_write > std::numeric_limits<int64_t>::max() + creation) return 0;
  return last_write - creation;
}

int64_t ParseLeadingInt64(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint64_t value = 0;
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
  }
  if (negative)
    return value == (uint64_t{1} << 63) ? std::numeric_limits<int64_t>::min()
                                        : -static_cast<int64_t>(value);
  return static_cast<int64_t>(value);
}

bool IsReinstallVersion(std::string_view package_version, std::string_view installed_version) {
  if (package_version.empty()) return false;
  const auto package = SplitDots(package_version);
  const auto installed = SplitDots(installed_version);
  const size_t count = package.size() < installed.size() ? package.size() : installed.size();
  for (size_t i = 0; i < count; ++i) {
    const int64_t p = ParseLeadingInt64(package[i]);
    const int64_t v = ParseLeadingInt64(installed[i]);
    if (p != v) return p < v;
  }
  return true;
}

}  // namespace pelmar
