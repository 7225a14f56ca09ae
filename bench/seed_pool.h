// The benchmarks' deterministic seeds: seed i feeds the pool 64 updates of
// four bytes, the big-endian numbers 64*i to 64*i + 63 (the rule of the RSA
// tests too, so a seed names the same key pair everywhere).
#pragma once

#include <cstdint>

#include "crypto/rsa/rand.h"

inline void seed_pool(RandomPool* pool, uint32_t seed) {
    rand_init(pool);
    for (uint32_t j = 0; j < 64; ++j) {
        uint32_t v = seed * 64 + j;
        uint8_t bytes[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
        rand_update(pool, bytes, 4);
    }
}
