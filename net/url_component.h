#pragma once

#include <string>
#include <string_view>

namespace pelmar {

// Text that is not ours (the channel read from the installer's own file name)
// becomes one component of an address: every byte except the unreserved ones
// (letters, digits, "-", ".", "_", "~") is written as "%XX" (upper case), so
// that "#", "?", "&", "/", "%", a space or a control character can neither
// end the component, start a fragment or a new query key, nor break the
// request line. Unreserved text, like every channel we hand out, is unchanged.
std::string EncodeUrlComponent(std::string_view text);

}  // namespace pelmar
