// The step functions of SHA-1 and SHA-0, which share them: only the message
// schedule differs between the two. Internal to crypto/digest.
#pragma once

#include <cstdint>

#include "crypto/digest/block64.h"

// One step: e += (a <<< 5) + f(b, c, d) + k + w, then b = b <<< 30. The caller
// renames the five variables from step to step (the next step's a is this
// step's e, its b this step's a, and so on) instead of moving them.
//   steps  0-19: f = Ch(b, c, d),     k = 0x5a827999
//   steps 20-39: f = b ^ c ^ d,       k = 0x6ed9eba1
//   steps 40-59: f = Maj(b, c, d),    k = 0x8f1bbcdc
//   steps 60-79: f = b ^ c ^ d,       k = 0xca62c1d6
inline void sha_step1(uint32_t a, uint32_t& b, uint32_t c, uint32_t d, uint32_t& e, uint32_t w) {
    e += rotl32(a, 5) + ((b & c) | (~b & d)) + 0x5a827999 + w;
    b = rotl32(b, 30);
}
inline void sha_step2(uint32_t a, uint32_t& b, uint32_t c, uint32_t d, uint32_t& e, uint32_t w) {
    e += rotl32(a, 5) + (b ^ c ^ d) + 0x6ed9eba1 + w;
    b = rotl32(b, 30);
}
inline void sha_step3(uint32_t a, uint32_t& b, uint32_t c, uint32_t d, uint32_t& e, uint32_t w) {
    e += rotl32(a, 5) + ((b & c) | (b & d) | (c & d)) + 0x8f1bbcdc + w;
    b = rotl32(b, 30);
}
inline void sha_step4(uint32_t a, uint32_t& b, uint32_t c, uint32_t d, uint32_t& e, uint32_t w) {
    e += rotl32(a, 5) + (b ^ c ^ d) + 0xca62c1d6 + w;
    b = rotl32(b, 30);
}
