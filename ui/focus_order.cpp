#include "ui/focus_order.h"

#include <algorithm>

namespace pelmar {
namespace {

const FocusCandidate* Find(const std::vector<FocusCandidate>& candidates, int index) {
  for (const FocusCandidate& c : candidates) {
    if (c.index == index) return &c;
  }
  return nullptr;
}

bool Pressable(const FocusCandidate* c) {
  return c != nullptr && c->visible && c->enabled &&
         (c->type == kTypeButton || c->type == kTypeCheckbox);
}

}  // namespace

bool TakesKeyboardFocus(const FocusCandidate& c) {
  if (!c.visible) return false;
  if (c.type == kTypeButton) return c.enabled;
  return c.type == kTypeCheckbox || c.type == kTypeEdit;
}

std::vector<int> FocusOrder(const std::vector<FocusCandidate>& candidates) {
  std::vector<FocusCandidate> reachable;
  for (const FocusCandidate& c : candidates) {
    if (TakesKeyboardFocus(c)) reachable.push_back(c);
  }
  std::stable_sort(
      reachable.begin(), reachable.end(),
      [](const FocusCandidate& a, const FocusCandidate& b) { return a.rect.top < b.rect.top; });
  std::vector<std::vector<FocusCandidate>> rows;
  for (const FocusCandidate& c : reachable) {
    const int centre = (c.rect.top + c.rect.bottom) / 2;
    if (!rows.empty()) {
      const UiRect& first = rows.back().front().rect;
      if (centre >= first.top && centre < first.bottom) {
        rows.back().push_back(c);
        continue;
      }
    }
    rows.push_back({c});
  }
  std::vector<int> order;
  for (std::vector<FocusCandidate>& row : rows) {
    std::stable_sort(row.begin(), row.end(), [](const FocusCandidate& a, const FocusCandidate& b) {
      return a.rect.left < b.rect.left;
    });
    for (const FocusCandidate& c : row) order.push_back(c.index);
  }
  return order;
}

int NextFocus(const std::vector<int>& order, int current, bool forward) {
  if (order.empty()) return -1;
  const auto at = std::find(order.begin(), order.end(), current);
  if (at == order.end()) return forward ? order.front() : order.back();
  const int n = static_cast<int>(order.size());
  const int pos = static_cast<int>(at - order.begin());
  return order[static_cast<size_t>((pos + (forward ? 1 : n - 1)) % n)];
}

KeyOutcome ResolveKey(KeyName key, bool shift, const std::vector<FocusCandidate>& candidates,
                      int focused, const KeyRoles& roles) {
  const FocusCandidate* current = Find(candidates, focused);
  switch (key) {
    case KeyName::kTab: {
      const int next = NextFocus(FocusOrder(candidates), focused, !shift);
      if (next < 0) return {};
      return {KeyOutcome::kMoveFocus, next};
    }
    case KeyName::kEnter:
      if (Pressable(current) && current->type == kTypeButton) {
        return {KeyOutcome::kPress, current->index};
      }
      if (const FocusCandidate* main = Find(candidates, roles.mainIndex);
          Pressable(main) && main->type == kTypeButton) {
        return {KeyOutcome::kPress, main->index};
      }
      return {};
    case KeyName::kSpace:
      if (Pressable(current)) return {KeyOutcome::kPress, current->index};
      return {};
    case KeyName::kEscape:
      if (const FocusCandidate* close = Find(candidates, roles.closeIndex); Pressable(close)) {
        return {KeyOutcome::kPress, close->index};
      }
      if (roles.escapeClosesWindow) return {KeyOutcome::kCloseWindow, -1};
      return {};
    case KeyName::kOther:
      break;
  }
  return {};
}

}  // namespace pelmar
