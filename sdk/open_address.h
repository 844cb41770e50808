#pragma once

#include <string_view>

namespace pelmar::vek {

// Whether vekOpenUrl may hand `url` to the shell: "http://" (the scheme in
// any case) followed by a host, and no control character, space, quote or DEL
// anywhere. The shell's open verb runs whatever it is given with the caller's
// rights; a "file:" address, a path or a program name would start a program
// instead of showing a page, and "https" is left to a caller that can fetch it.
[[nodiscard]] bool IsOpenableAddress(std::string_view url);

}  // namespace pelmar::vek
