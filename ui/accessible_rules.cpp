#include "ui/accessible_rules.h"

#include "ui/view_geometry.h"

namespace pelmar {
namespace {

std::wstring Trimmed(const std::wstring& text) {
  const auto first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return {};
  const auto last = text.find_last_not_of(L" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

AccessRole RoleOf(const AccessSource& source) {
  if (!source.visible) return AccessRole::kNone;
  switch (source.type) {
    case kTypeButton:
      return source.transparentFill && !Trimmed(source.caption).empty() ? AccessRole::kLink
                                                                        : AccessRole::kPushButton;
    case kTypeCheckbox:
      return AccessRole::kCheckBox;
    case kTypeText:
      return Trimmed(source.caption).empty() ? AccessRole::kNone : AccessRole::kStaticText;
    case kTypeEdit:
      return AccessRole::kEditText;
    case kTypeProgress:
      return AccessRole::kProgressBar;
    default:
      return AccessRole::kNone;
  }
}

std::vector<int> AccessibleChildren(const std::vector<AccessSource>& sources) {
  std::vector<int> children;
  for (const AccessSource& s : sources) {
    if (RoleOf(s) != AccessRole::kNone) children.push_back(s.index);
  }
  return children;
}

int ChildIdOf(const std::vector<int>& children, int index) {
  for (size_t i = 0; i < children.size(); ++i) {
    if (children[i] == index) return static_cast<int>(i) + 1;
  }
  return 0;
}

int IndexOfChild(const std::vector<int>& children, long childId) {
  if (childId < 1 || childId > static_cast<long>(children.size())) return -1;
  return children[static_cast<size_t>(childId - 1)];
}

std::wstring AccessibleName(const AccessSource& source, bool isCloseButton) {
  std::wstring name = Trimmed(source.caption);
  if (name.empty() && isCloseButton) name = L"关闭";
  return name;
}

std::wstring LabelFor(const std::vector<AccessSource>& sources, int index) {
  std::wstring label;
  for (const AccessSource& s : sources) {
    if (s.index >= index) break;
    if (RoleOf(s) == AccessRole::kStaticText) label = Trimmed(s.caption);
  }
  while (!label.empty() && (label.back() == L':' || label.back() == L'\xFF1A')) label.pop_back();
  return Trimmed(label);
}

}  // namespace pelmar
