// Byte strings as the cryptographic library passes them around.
#pragma once

#include <cstdint>

// A view of bytes: a pointer and a 32-bit count. A span never owns its bytes
// unless the function that fills it says so (span_array_release frees those).
// An entry with a null pointer, or (where a caller says so) a count of 0, is
// "absent".
struct ByteSpan {
    uint8_t* data = nullptr;
    uint32_t length = 0;
};
