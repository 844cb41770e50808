#pragma once

#include <cstdint>

namespace pelmar {

// The current process's id (platform body).
uint32_t CurrentProcessId();

}  // namespace pelmar
