// Deterministic seeding of a random pool for the RSA tests: seed i feeds 64
// updates of four bytes, the big-endian numbers 64*i to 64*i + 63 (the same
// rule as bench_keygen, so a seed there names the same key pair here).
#pragma once

#include <cstdint>

#include "crypto/rsa/rand.h"

inline RandomPool seeded_pool(uint32_t seed) {
    RandomPool pool;
    rand_init(&pool);
    for (uint32_t j = 0; j < 64; ++j) {
        uint32_t v = seed * 64 + j;
        uint8_t bytes[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
        rand_update(&pool, bytes, 4);
    }
    return pool;
}
