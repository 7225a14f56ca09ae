// The tick count: milliseconds since the program started, from a clock that
// never goes back. It wraps around after about 49 days, as a 32-bit tick
// count does.
#pragma once

#include <cstdint>

namespace platform {

uint32_t TickCount();

}  // namespace platform
