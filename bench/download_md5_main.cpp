// download_md5: the MD5 text of a file as the download controller computes
// it, for comparing with md5sum in bench/download_bench.sh.
#include <cstdio>

#include "base/md5.h"
#include "base/text_convert.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: download_md5 FILE\n");
    return 2;
  }
  const std::string digest = pelmar::Md5OfFile(pelmar::WideFromUtf8(argv[1]));
  if (digest.empty()) return 1;
  std::printf("%s  %s\n", digest.c_str(), argv[1]);
  return 0;
}
