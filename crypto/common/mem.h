// The library's own byte fill and byte copy.
#pragma once

#include <cstdint>

// Sets `len` bytes at `dst` to `value`. Every byte is stored through a
// volatile pointer, so a fill with 0 that wipes a secret right before the
// buffer goes out of scope is never removed by the optimiser.
void mem_fill(void* dst, uint8_t value, uint32_t len);

// Copies `len` bytes from `src` to `dst`, lowest address first. Overlapping
// areas are allowed only when `dst` is at or below `src`.
void mem_copy(void* dst, const void* src, uint32_t len);

// Wipes a whole object or array: mem_fill(&x, 0, sizeof x).
template <typename T>
inline void mem_wipe(T& object) {
    mem_fill(&object, 0, static_cast<uint32_t>(sizeof object));
}
