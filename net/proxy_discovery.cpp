#include "net/proxy_discovery.h"

#include "base/number_text.h"

namespace pelmar {

ProxyChoice ParseProxyList(std::string_view list) {
  ProxyChoice choice;
  size_t start = 0;
  for (size_t i = 0; i <= list.size(); ++i) {
    if (i < list.size() && list[i] != ';') continue;
    std::string_view entry = list.substr(start, i - start);
    start = i + 1;
    if (entry.empty()) continue;
    std::string_view scheme;
    const size_t equals = entry.find('=');
    if (equals != std::string_view::npos) {
      scheme = entry.substr(0, equals);
      entry.remove_prefix(equals + 1);
    }
    const size_t colon = entry.find(':');
    const std::string_view host = entry.substr(0, colon);
    if (host.empty()) continue;
    if (!scheme.empty() && scheme != "http") continue;
    const int64_t port =
        colon == std::string_view::npos ? 0 : ParseDecimalLikeScanf(entry.substr(colon + 1));
    choice.type = 1;
    choice.host = std::string(host);
    choice.port = static_cast<uint16_t>(static_cast<uint64_t>(port) & 0xFFFF);
  }
  return choice;
}

}  // namespace pelmar
