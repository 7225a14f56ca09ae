#include "crypto/cipher/des_core.h"
#include "crypto/common/mem.h"

namespace {

// Tables of FIPS 46-3. Bits are numbered from 1, bit 1 being the most
// significant bit of the first byte.

// Permuted choice 1: the 56 key bits kept, as the two 28-bit halves C and D.
// Bits 8, 16, ..., 64 (the lowest bit of every byte) are the parity bits and
// never appear.
constexpr uint8_t PC1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,  //
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,  //
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,  //
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4,
};

// Permuted choice 2: the 48 bits of a round key, from the 56 rotated bits,
// in eight 6-bit groups (one per S-box).
constexpr uint8_t PC2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,  //
    23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,   //
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,  //
    44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32,
};

// How far each half has been rotated left by round 1 to 16 (the per-round
// shifts 1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1 added up).
constexpr uint8_t ROTATION[16] = {1, 2, 4, 6, 8, 10, 12, 14, 15, 17, 19, 21, 23, 25, 27, 28};

}  // namespace

void des_key_schedule(uint32_t round_keys[32], const uint8_t key[8], int32_t encrypt) {
    uint8_t selected[56];     // one bit per byte: C in 0..27, D in 28..55
    uint8_t rotated[56];      // C and D rotated for the current round
    uint8_t raw_keys[16][8];  // the 6-bit groups of each round key, S-box 1 first

    for (int i = 0; i < 56; ++i) {
        int bit = PC1[i] - 1;
        selected[i] = static_cast<uint8_t>((key[bit >> 3] >> (7 - (bit & 7))) & 1);
    }

    for (int round = 0; round < 16; ++round) {
        int shift = ROTATION[round];
        for (int i = 0; i < 28; ++i) {
            int from = (i + shift) % 28;
            rotated[i] = selected[from];
            rotated[28 + i] = selected[28 + from];
        }
        for (int group = 0; group < 8; ++group) {
            uint8_t value = 0;
            for (int b = 0; b < 6; ++b) {
                value = static_cast<uint8_t>((value << 1) | rotated[PC2[6 * group + b] - 1]);
            }
            raw_keys[round][group] = value;
        }
    }

    // Round key layout, per round (groups g1..g8, six bits each, in the low
    // bits of their byte):
    //
    //   word 0:  | 00 g1 | 00 g3 | 00 g5 | 00 g7 |
    //   word 1:  | 00 g2 | 00 g4 | 00 g6 | 00 g8 |
    //            bit 31                     bit 0
    //
    // Decryption runs the same rounds with the round keys in reverse order.
    for (int round = 0; round < 16; ++round) {
        const uint8_t* g = raw_keys[round];
        int slot = encrypt != 0 ? round : 15 - round;
        round_keys[2 * slot] = (uint32_t{g[0]} << 24) | (uint32_t{g[2]} << 16) |
                               (uint32_t{g[4]} << 8) | uint32_t{g[6]};
        round_keys[2 * slot + 1] = (uint32_t{g[1]} << 24) | (uint32_t{g[3]} << 16) |
                                   (uint32_t{g[5]} << 8) | uint32_t{g[7]};
    }

    mem_wipe(selected);
    mem_wipe(rotated);
    mem_wipe(raw_keys);
}
