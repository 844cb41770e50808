#include <cstdlib>
#include <string>

#include "download/maker_backend_process.h"

namespace pelmar::testing {

bool SpawnBackendShell(const std::string& command) {
  // The shell returns at once; the command goes on in the background.
  std::string line = "/bin/sh -c '";
  for (char c : command) {
    if (c == '\'') {
      line += "'\\''";
    } else {
      line += c;
    }
  }
  line += "' </dev/null >/dev/null 2>&1 &";
  return std::system(line.c_str()) == 0;
}

std::string LocalPathOf(const std::string& unix_path) { return unix_path; }

}  // namespace pelmar::testing
