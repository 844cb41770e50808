#include "download/download_test_support.h"

namespace pelmar::testing {

MakerBackendProcess& BackendTest::SharedBackend() {
  static MakerBackendProcess backend(kPackageBytes);
  return backend;
}

}  // namespace pelmar::testing
