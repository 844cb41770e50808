#include "app/launch_rules.h"

#include <limits>

#include "base/number_text.h"
#include "base/text_split.h"
#include "base/version_text.h"

namespace pelmar {

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
  const auto parts = SplitKeepingEmpty(product_version, '.');
  if (parts.size() != 4) return name_channel;
  switch (ParseDecimalLikeScanf(parts[1])) {
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

bool IsReinstallVersion(std::string_view package_version, std::string_view installed_version) {
  return VersionText(package_version).IsReinstallOver(VersionText(installed_version));
}

}  // namespace pelmar
