// The random byte generator: a deterministic generator whose 128-bit state
// absorbs seed material through MD5 and which produces output only after at
// least 256 seed bytes have been fed. Output blocks are MD5 of the state; the
// state steps by one after each block.
//
// The record is plain data: copying it by value duplicates the generator. A
// pool has one user at a time; the functions keep no other state.
#pragma once

#include <cstdint>

#include "crypto/common/status.h"

constexpr uint32_t RAND_SEED_BYTES = 256;

struct RandomPool {
    uint32_t bytes_needed;      // seed bytes still required before output; never below 0
    uint8_t state[16];          // 128-bit big-endian number, byte 15 least significant
    uint32_t output_available;  // bytes at the end of `output` not handed out yet (0 to 16)
    uint8_t output[16];         // the current output block
};                              // 40 bytes

// Starts an unseeded pool: state zero, no output available, 256 seed bytes
// needed. The old output bytes stay in the record but are never handed out.
// Returns STATUS_OK.
Status rand_init(RandomPool* pool);

// Absorbs `len` seed bytes (0 allowed; `data` may then be null): the state
// becomes state + MD5(data) modulo 2^128, and `bytes_needed` goes down by len,
// stopping at 0. One digest per call, so the same bytes fed in one call or in
// several give different states. Bytes of the current output block not yet
// handed out are still delivered before the new state shows. Returns STATUS_OK.
Status rand_update(RandomPool* pool, const uint8_t* data, uint32_t len);

// Stores how many seed bytes are still needed in *needed. Returns STATUS_OK.
Status rand_bytes_needed(uint32_t* needed, const RandomPool* pool);

// Writes `len` random bytes to `out`. Returns STATUS_OK, or STATUS_NOT_SEEDED
// (1032) without writing anything or changing the pool while seed bytes are
// still needed. `len` 0 on a seeded pool changes nothing.
Status rand_generate(uint8_t* out, uint32_t len, RandomPool* pool);
