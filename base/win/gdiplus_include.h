#pragma once

// GDI+ needs the COM stream declarations that WIN32_LEAN_AND_MEAN leaves out,
// and its headers use min and max, which NOMINMAX hides.
#include <windows.h>
#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>
