// Linked into each shipped Windows module (install.exe, the SDK modules) and
// the size reference. The C++ runtime's own handler for an exception nobody
// catches names the exception on stderr before it aborts, and brings the
// demangler and formatted output with it: about 77 KB in every module. These
// modules have no console, so that text reaches no one; the abort, which is
// all that happened that mattered, stays.
#include <cstdlib>

namespace __gnu_cxx {

// Takes the place of the runtime's definition, so its object is not linked.
void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
