#include "crypto/common/mem.h"

void mem_fill(void* dst, uint8_t value, uint32_t len) {
    volatile uint8_t* p = static_cast<volatile uint8_t*>(dst);
    for (uint32_t i = 0; i < len; ++i) {
        p[i] = value;
    }
}

void mem_copy(void* dst, const void* src, uint32_t len) {
    uint8_t* d = static_cast<uint8_t*>(dst);
    const uint8_t* s = static_cast<const uint8_t*>(src);
    for (uint32_t i = 0; i < len; ++i) {
        d[i] = s[i];
    }
}
