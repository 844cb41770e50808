#include "app/welcome_address.h"

#include <cstring>

#include "pages/page_rules.h"
#include "base/md5.h"
#include "net/url_component.h"

namespace pelmar {

std::string WelcomeSeparator(std::string_view address) {
  const size_t question = address.find('?');
  if (question == std::string_view::npos) return "?";
  if (question + 1 == address.size()) return "";
  const size_t ampersand = address.find('&');
  if (ampersand != std::string_view::npos && ampersand + 1 == address.size()) return "";
  return "&";
}

std::string EncodeQueryValue(std::string_view utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size() * 3);
  for (char ch : utf8) {
    const unsigned char c = static_cast<unsigned char>(ch);
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (alnum || (c != 0 && std::strchr("-_.!~*'()", c) != nullptr)) {
      out.push_back(static_cast<char>(c));
    } else if (c == ' ') {
      out.push_back('+');
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

std::string WithoutControlCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) continue;
    out.push_back(ch);
  }
  return out;
}

WelcomeAddress BuildWelcomeAddress(const WelcomeInputs& in) {
  WelcomeAddress result;
  const std::string server = WithoutControlCharacters(in.serverAddress);
  result.fromServer = !server.empty();
  std::string& a = result.address;
  a = result.fromServer ? server : in.defaultAddress;
  a += WelcomeSeparator(a);
  // The channel comes from the installer's file name, which anyone can rename.
  a += "_channel=" + EncodeUrlComponent(in.channel);
  a += "&_mid=" + in.mid;
  a += "&cam=" + in.machineHash;
  a += "&app_version=" + WithoutControlCharacters(in.appVersion);
  a += "&time_stamp=" + in.timeStamp;
  result.sessionId = Md5Text(a);
  a += "&session_id=" + result.sessionId;
  if (result.fromServer) {
    a += "&ad_account=" + WithoutControlCharacters(in.advertisingAccount);
    a += "&def_welcom_url=" + EncodeQueryValue(in.defaultAddress);
  }
  return result;
}

std::string DefaultWelcomeAddress() { return ProductWebSite() + "/welcome"; }

}  // namespace pelmar
