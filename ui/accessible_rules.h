#pragma once

#include <string>
#include <vector>

namespace pelmar {

// What a screen reader is told a widget is.
enum class AccessRole {
  kNone,
  kPushButton,
  kCheckBox,
  kLink,
  kStaticText,
  kEditText,
  kProgressBar
};

// What the accessibility tree needs to know of one resource of a view.
struct AccessSource {
  int index = 0;  // in the view's list
  int type = 0;
  bool visible = true;
  bool transparentFill = false;  // a button drawn as bare text reads as a link
  std::wstring caption;          // button, check box or text
};

// The role of a resource: buttons (links when they are bare captions), check
// boxes, texts with something to read, the edit field and the progress bar;
// kNone for pictures, layouts, blank texts and anything hidden.
AccessRole RoleOf(const AccessSource& source);

// The list indices that get a child in the tree, in list order. A child's id
// is its position here plus one (0 is the window itself).
std::vector<int> AccessibleChildren(const std::vector<AccessSource>& sources);
int ChildIdOf(const std::vector<int>& children, int index);
// The list index of child `childId`, or -1.
int IndexOfChild(const std::vector<int>& children, long childId);

// A child's name: its caption without surrounding blanks; a close button,
// which shows only a cross, is named "关闭".
std::wstring AccessibleName(const AccessSource& source, bool isCloseButton);

// The name of the edit field at `index`: the nearest visible text before it
// in the list (its label, without the colon); empty when there is none.
std::wstring LabelFor(const std::vector<AccessSource>& sources, int index);

}  // namespace pelmar
