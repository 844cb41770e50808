#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/win/gdiplus_include.h"

namespace pelmar {

// A GDI+ picture made from bytes in memory: GDI+ keeps its own reference to
// the memory stream for as long as the picture needs it, and no file stays
// open behind it. Null only when memory runs out; a picture GDI+ cannot read
// is still an object, whose status says so (and which draws nothing).
std::unique_ptr<Gdiplus::Image> PictureFromBytes(const std::string& bytes);

// The whole content of the file at `path`; false when it cannot be read.
// Bounded by `max_bytes`, so a huge file is refused rather than read.
[[nodiscard]] bool ReadWholeFile(const std::wstring& path, size_t max_bytes, std::string* bytes);

}  // namespace pelmar
