#include "app/version_stamp.h"

#include "base/number_text.h"
#include "base/text_convert.h"

namespace pelmar {
namespace {

using Bytes = std::vector<uint8_t>;

void PutWord(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutDword(Bytes& out, uint32_t v) {
  PutWord(out, static_cast<uint16_t>(v));
  PutWord(out, static_cast<uint16_t>(v >> 16));
}
void PutText(Bytes& out, const std::wstring& text) {  // UTF-16LE with terminator
  for (wchar_t c : text) PutWord(out, static_cast<uint16_t>(c));
  PutWord(out, 0);
}
void Align(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

// One block: length, value length, type, key, value, children, each part
// starting on a 32-bit boundary.
Bytes Block(const std::wstring& key, const Bytes& value, uint16_t value_length, uint16_t type,
            const std::vector<Bytes>& children) {
  Bytes out;
  PutWord(out, 0);
  PutWord(out, value_length);
  PutWord(out, type);
  PutText(out, key);
  Align(out);
  out.insert(out.end(), value.begin(), value.end());
  for (const auto& child : children) {
    Align(out);
    out.insert(out.end(), child.begin(), child.end());
  }
  out[0] = static_cast<uint8_t>(out.size());
  out[1] = static_cast<uint8_t>(out.size() >> 8);
  return out;
}

Bytes StringBlock(const std::wstring& key, const std::wstring& text) {
  Bytes value;
  PutText(value, text);
  return Block(key, value, static_cast<uint16_t>(text.size() + 1), 1, {});
}

}  // namespace

std::vector<uint8_t> BuildVersionResource(const std::wstring& version) {
  // Numeric parts for the fixed information; missing parts are 0.
  uint16_t parts[4] = {};
  const std::string narrow = Utf8FromWide(version);
  size_t start = 0;
  for (int i = 0; i < 4 && start <= narrow.size(); ++i) {
    size_t dot = narrow.find('.', start);
    if (dot == std::string::npos) dot = narrow.size();
    parts[i] = static_cast<uint16_t>(ParseDecimalLikeScanf(narrow.substr(start, dot - start)));
    start = dot + 1;
  }
  const uint32_t ms = (uint32_t{parts[0]} << 16) | parts[1];
  const uint32_t ls = (uint32_t{parts[2]} << 16) | parts[3];
  Bytes fixed;
  PutDword(fixed, 0xFEEF04BD);  // signature
  PutDword(fixed, 0x00010000);  // structure version
  PutDword(fixed, ms);          // file version
  PutDword(fixed, ls);
  PutDword(fixed, ms);  // product version
  PutDword(fixed, ls);
  PutDword(fixed, 0x3F);        // flags mask
  PutDword(fixed, 0);           // flags
  PutDword(fixed, 0x00040004);  // VOS_NT_WINDOWS32
  PutDword(fixed, 1);           // VFT_APP
  PutDword(fixed, 0);
  PutDword(fixed, 0);  // date
  PutDword(fixed, 0);

  const Bytes table =
      Block(L"040904b0", {}, 0, 1,
            {StringBlock(L"FileVersion", version), StringBlock(L"ProductVersion", version)});
  const Bytes strings = Block(L"StringFileInfo", {}, 0, 1, {table});
  Bytes translation;
  PutWord(translation, 0x0409);
  PutWord(translation, 0x04B0);
  const Bytes var = Block(L"Translation", translation, 4, 0, {});
  const Bytes vars = Block(L"VarFileInfo", {}, 0, 1, {var});
  return Block(L"VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), 0, {strings, vars});
}

}  // namespace pelmar
