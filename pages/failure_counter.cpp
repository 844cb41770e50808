#include "pages/failure_counter.h"

namespace pelmar {

CFailureCounter& CFailureCounter::Downloads() {
  static CFailureCounter counter;
  return counter;
}

CFailureCounter& CFailureCounter::Setups() {
  static CFailureCounter counter;
  return counter;
}

}  // namespace pelmar
