// stamp_version <exe> <version>: gives an executable another product version.
#include <windows.h>

#include <cstdio>

#include "app/version_stamp.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: stamp_version <exe> <version>\n");
    return 2;
  }
  if (!pelmar::StampProductVersion(argv[1], argv[2])) {
    std::fprintf(stderr, "stamp_version: could not write the version resource\n");
    return 1;
  }
  return 0;
}
