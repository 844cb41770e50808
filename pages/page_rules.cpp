#include "pages/page_rules.h"

#include <cstdio>

#include "base/path_rules.h"
#include "pelmar_config.h"
#include "pages/page_declaration.h"
#include "ui/view_geometry.h"
#include "ui/widget_style.h"

namespace pelmar {
namespace {

bool SetState(WidgetState* w, int state) {
  if (w->state == state) return false;
  w->state = state;
  return true;
}

bool SetVisible(WidgetState* w, bool visible) {
  if (w->visible == visible) return false;
  w->visible = visible;
  return true;
}

template <typename Fn>
void ForId(std::vector<WidgetState>* widgets, int id, Fn fn) {
  for (WidgetState& w : *widgets) {
    if (w.id == id) fn(w);
  }
}

}  // namespace

std::wstring SizeText(int64_t bytes) {
  static const struct {
    double limit;
    double unit;
    const char* format;
  } kUnits[] = {
      {1024.0, 1.0, "%.1f B"},
      {1048576.0, 1024.0, "%.1f KB"},
      {1073741824.0, 1048576.0, "%.1f MB"},
      {1099511627776.0, 1073741824.0, "%.1f GB"},
  };
  const double x = static_cast<double>(bytes);
  const char* format = "%.1f TB";
  double unit = 1099511627776.0;
  for (const auto& u : kUnits) {
    if (x <= u.limit) {
      format = u.format;
      unit = u.unit;
      break;
    }
  }
  // The page shows at most 30 characters; a 64-bit count needs fewer.
  char text[31];
  std::snprintf(text, sizeof text, format, x / unit);
  return std::wstring(text, text + std::char_traits<char>::length(text));
}

std::wstring WithProductSubPath(const std::wstring& path) {
  if (path.find(kProductSubPath) != std::wstring::npos) return path;
  std::wstring joined = path;
  while (!joined.empty() && (joined.back() == L'\\' || joined.back() == L'/')) joined.pop_back();
  if (path.size() == 3 && path[1] == L':') joined = path.substr(0, 2);  // "D:\" → "D:"
  joined += L'\\';
  joined += kProductSubPath;
  return joined;
}

bool UsableInstallPath(std::wstring_view path, std::wstring* canonical) {
  std::wstring resolved;
  if (!CanonicalInstallPath(path, &resolved) || resolved.size() > kMaxInstallPathChars) {
    return false;
  }
  *canonical = std::move(resolved);
  return true;
}

std::string ProductWebSite() {
  std::string base = "http://";
  base += config::kWeb.host;
  if (config::kWeb.port != 80) base += ":" + std::to_string(config::kWeb.port);
  return base;
}

std::string UserAgreementAddress(const std::string& mid) {
  return ProductWebSite() + "/terms/user-agreement?_mid=" + mid;
}

bool HasRoom(int64_t requiredBytes, uint64_t freeBytes) {
  const uint64_t required = requiredBytes < 0 ? 0 : static_cast<uint64_t>(requiredBytes);
  return required < freeBytes;
}

int StandardButtonState(bool hit, MouseEvent event) {
  if (!hit) return kStateNormal;
  switch (event) {
    case MouseEvent::kMove:
      return kStateHover;
    case MouseEvent::kPress:
      return kStatePressed;
    case MouseEvent::kClick:
      break;
  }
  return kStateNormal;
}

bool ApplyBeginStateRule(std::vector<WidgetState>* widgets, int hit, MouseEvent event,
                         BeginPageFlags* flags) {
  using namespace begin_ids;
  bool changed = false;
  for (int i = 0; i < static_cast<int>(widgets->size()); ++i) {
    WidgetState& w = (*widgets)[static_cast<size_t>(i)];
    const bool isHit = i == hit;
    switch (w.id) {
      case kInstall:
        if (flags->agreed && flags->spaceOk)
          changed |= SetState(&w, StandardButtonState(isHit, event));
        break;
      case kCustom:
        if (flags->agreed) changed |= SetState(&w, StandardButtonState(isHit, event));
        break;
      case kClose:
      case kAgreementLink:
        if (w.type == kTypeButton) changed |= SetState(&w, StandardButtonState(isHit, event));
        break;
      case kAgreement: {
        if (!isHit || event != MouseEvent::kClick || w.type != kTypeCheckbox) break;
        const bool agreed = !w.checked;
        w.checked = agreed;
        flags->agreed = agreed;
        changed = true;
        ForId(widgets, kHint, [&](WidgetState& h) { changed |= SetVisible(&h, !agreed); });
        if (flags->spaceOk) {
          ForId(widgets, kInstall, [&](WidgetState& b) {
            changed |= SetState(&b, agreed ? kStateNormal : kStateDisabled);
          });
        }
        ForId(widgets, kCustom, [&](WidgetState& b) {
          changed |= SetState(&b, agreed ? kStateNormal : kStateDisabled);
        });
        break;
      }
      default:
        break;
    }
  }
  return changed;
}

bool ApplyBeginSpaceOk(std::vector<WidgetState>* widgets, bool spaceOk, BeginPageFlags* flags) {
  if (flags->spaceOk == spaceOk) return false;
  flags->spaceOk = spaceOk;
  // Room on the drive alone does not make the button pressable while the
  // agreement is unticked.
  const int state = spaceOk && flags->agreed ? kStateNormal : kStateDisabled;
  bool changed = false;
  ForId(widgets, begin_ids::kInstall, [&](WidgetState& b) { changed |= SetState(&b, state); });
  return changed;
}

bool ApplyCustomStateRule(std::vector<WidgetState>* widgets, int hit, MouseEvent event,
                          bool spaceOk) {
  using namespace custom_ids;
  bool changed = false;
  for (int i = 0; i < static_cast<int>(widgets->size()); ++i) {
    WidgetState& w = (*widgets)[static_cast<size_t>(i)];
    const bool isHit = i == hit;
    switch (w.id) {
      case kBack:
      case kBrowse:
        if (w.type == kTypeButton) changed |= SetState(&w, StandardButtonState(isHit, event));
        break;
      case kInstall:
        if (spaceOk) changed |= SetState(&w, StandardButtonState(isHit, event));
        break;
      case kJoinPlan:
        if (isHit && event == MouseEvent::kClick && w.type == kTypeCheckbox) {
          w.checked = !w.checked;
          changed = true;
        }
        break;
      default:
        break;
    }
  }
  ForId(widgets, kInstall, [&](WidgetState& b) {
    if (spaceOk && b.state == kStateDisabled) changed |= SetState(&b, kStateNormal);
    if (!spaceOk) changed |= SetState(&b, kStateDisabled);
  });
  ForId(widgets, kDiskFull, [&](WidgetState& t) { changed |= SetVisible(&t, !spaceOk); });
  return changed;
}

bool ApplyButtonStateRule(std::vector<WidgetState>* widgets, int hit, MouseEvent event,
                          bool includeDisabled) {
  bool changed = false;
  for (int i = 0; i < static_cast<int>(widgets->size()); ++i) {
    WidgetState& w = (*widgets)[static_cast<size_t>(i)];
    if (w.type != kTypeButton) continue;
    if (w.state == kStateDisabled && !includeDisabled) continue;
    changed |= SetState(&w, StandardButtonState(i == hit, event));
  }
  return changed;
}

}  // namespace pelmar
