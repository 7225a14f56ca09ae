#include "platform/tick_count.h"

#include <chrono>

namespace platform {

namespace {

// Read once while the program starts (static initialisation), so that the
// count runs from then on.
const std::chrono::steady_clock::time_point kProgramStart = std::chrono::steady_clock::now();

}  // namespace

uint32_t TickCount() {
    const auto elapsed = std::chrono::steady_clock::now() - kProgramStart;
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

}  // namespace platform
