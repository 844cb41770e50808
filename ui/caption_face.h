#pragma once

#include <string>

namespace pelmar {

// The face a caption is drawn with: the designed face when the system has it;
// otherwise the first of the fallbacks
// (the system's user-interface face, the generic sans-serif face, then the
// installed faces that declare Chinese) that has them. Answers are kept per
// face and caption. User-interface thread only.
std::wstring CaptionFace(const std::wstring& designed, const std::wstring& caption);

// Whether the system itself has `face` (not a substitute it would pick).
bool FaceExists(const std::wstring& face);

}  // namespace pelmar
