#include <windows.h>
#include <winhttp.h>

#include "base/text_convert.h"
#include "net/proxy_discovery.h"
#include "base/win/system_api.h"

namespace pelmar {
namespace {

// WinHTTP hands out strings the caller must free with GlobalFree.
class CGlobalString {
 public:
  CGlobalString() = default;
  ~CGlobalString() {
    if (text_ != nullptr) GlobalFree(text_);
  }
  CGlobalString(const CGlobalString&) = delete;
  CGlobalString& operator=(const CGlobalString&) = delete;
  LPWSTR* Out() { return &text_; }
  LPWSTR Get() const { return text_; }
  bool IsSet() const { return text_ != nullptr && text_[0] != L'\0'; }

 private:
  LPWSTR text_ = nullptr;
};

class CInternetHandle {
 public:
  explicit CInternetHandle(HINTERNET h) : h_(h) {}
  ~CInternetHandle() {
    if (h_ != nullptr) sys::WinHttpCloseHandle(h_);
  }
  CInternetHandle(const CInternetHandle&) = delete;
  CInternetHandle& operator=(const CInternetHandle&) = delete;
  HINTERNET Get() const { return h_; }

 private:
  HINTERNET h_;
};

// Runs the automatic configuration script for the URL. Returns the proxy
// list it names; empty when it says direct or cannot be evaluated.
std::string ProxyFromScript(LPCWSTR script_url, const std::string& url) {
  CInternetHandle session(sys::WinHttpOpen(L"", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                           WINHTTP_NO_PROXY_BYPASS, 0));
  if (session.Get() == nullptr) return {};
  WINHTTP_AUTOPROXY_OPTIONS options{};
  options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
  options.lpszAutoConfigUrl = script_url;
  options.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO info{};
  const std::wstring wide_url = WideFromUtf8(url);
  if (!sys::WinHttpGetProxyForUrl(session.Get(), wide_url.c_str(), &options, &info)) return {};
  CGlobalString proxy, bypass;
  *proxy.Out() = info.lpszProxy;
  *bypass.Out() = info.lpszProxyBypass;
  if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || !proxy.IsSet()) return {};
  return Utf8FromWide(proxy.Get());
}

}  // namespace

std::string SystemProxyListForUrl(const std::string& url) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!sys::WinHttpGetIEProxyConfigForCurrentUser(&config)) return {};
  CGlobalString script, manual, bypass;
  *script.Out() = config.lpszAutoConfigUrl;
  *manual.Out() = config.lpszProxy;
  *bypass.Out() = config.lpszProxyBypass;
  // The automatic-detection flag is not used: only an explicit script counts.
  if (script.IsSet()) return ProxyFromScript(script.Get(), url);
  if (manual.IsSet()) return Utf8FromWide(manual.Get());
  return {};
}

}  // namespace pelmar
