#include "crypto/cipher/des_core.h"

namespace {

// The eight S-boxes of FIPS 46-3, each as four rows of sixteen 4-bit values.
// For a 6-bit input b1..b6 the row is b1b6 and the column b2b3b4b5.
constexpr uint8_t SBOX[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  //
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8,  //
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,  //
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,  //
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,   //
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,  //
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  //
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,  //
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,  //
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,  //
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,   //
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,   //
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,   //
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,   //
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,  //
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,  //
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,   //
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,   //
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,  //
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,  //
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,  //
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,  //
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,  //
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,  //
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11},
};

// The permutation P: output bit i (from 1, most significant first) is input
// bit P[i - 1] of the 32 S-box output bits, S-box 1's four bits first.
constexpr uint8_t P[32] = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,  //
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25,
};

constexpr uint32_t rotl(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

constexpr uint32_t rotr(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

// Each S-box combined with P: SP[s][i] is S-box s+1 applied to the 6-bit
// input i, its four bits put in their place among the 32 and permuted by P,
// and rotated left by one bit, because the halves of the block are kept
// rotated that way during the rounds. A round's Feistel function is then the
// XOR of eight lookups.
struct SpTables {
    uint32_t t[8][64];
};

constexpr SpTables make_sp_tables() {
    SpTables sp{};
    for (int s = 0; s < 8; ++s) {
        for (int i = 0; i < 64; ++i) {
            int row = ((i >> 4) & 2) | (i & 1);
            int column = (i >> 1) & 15;
            uint32_t before = uint32_t{SBOX[s][16 * row + column]} << (28 - 4 * s);
            uint32_t after = 0;
            for (int bit = 0; bit < 32; ++bit) {
                after |= ((before >> (32 - P[bit])) & 1) << (31 - bit);
            }
            sp.t[s][i] = rotl(after, 1);
        }
    }
    return sp;
}

constexpr SpTables SP = make_sp_tables();

// Exchanges the bits of `b` under `mask` with those of `a` shifted right by
// `shift`: one step of the initial (and final) permutation.
inline void exchange(uint32_t& a, uint32_t& b, int shift, uint32_t mask) {
    uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

// The Feistel function of one round XORed into `target`. `half` is the other
// half, rotated left by one bit, which lines its bits up so that the
// expansion E needs no work of its own: rotated right by four more bits, the
// groups for S-boxes 1, 3, 5 and 7 sit in the low six bits of its four bytes;
// unrotated, those for S-boxes 2, 4, 6 and 8 do.
inline void feistel_round(uint32_t& target, uint32_t half, const uint32_t* key) {
    uint32_t t = rotr(half, 4) ^ key[0];
    target ^= SP.t[6][t & 0x3F];
    target ^= SP.t[4][(t >> 8) & 0x3F];
    target ^= SP.t[2][(t >> 16) & 0x3F];
    target ^= SP.t[0][(t >> 24) & 0x3F];
    t = half ^ key[1];
    target ^= SP.t[7][t & 0x3F];
    target ^= SP.t[5][(t >> 8) & 0x3F];
    target ^= SP.t[3][(t >> 16) & 0x3F];
    target ^= SP.t[1][(t >> 24) & 0x3F];
}

}  // namespace

void des_block(uint32_t block[2], const uint32_t round_keys[32]) {
    uint32_t left = block[0];
    uint32_t right = block[1];

    // Initial permutation: four masked exchanges, then a fifth between two
    // one-bit rotations. Afterwards the words hold the FIPS 46-3 halves L0
    // and R0, each rotated left by one bit.
    exchange(left, right, 4, 0x0F0F0F0F);
    exchange(left, right, 16, 0x0000FFFF);
    exchange(right, left, 2, 0x33333333);
    exchange(right, left, 8, 0x00FF00FF);
    right = rotl(right, 1);
    uint32_t t = (left ^ right) & 0xAAAAAAAA;
    left ^= t;
    right ^= t;
    left = rotl(left, 1);

    // Sixteen rounds, two per pass, so the halves never move between words.
    for (int r = 0; r < 16; r += 2) {
        feistel_round(left, right, round_keys + 2 * r);
        feistel_round(right, left, round_keys + 2 * r + 2);
    }

    // The final permutation takes R16 L16 (the halves swapped): the same
    // exchanges undone in reverse order, with the words' roles swapped.
    right = rotr(right, 1);
    t = (left ^ right) & 0xAAAAAAAA;
    right ^= t;
    left ^= t;
    left = rotr(left, 1);
    exchange(left, right, 8, 0x00FF00FF);
    exchange(left, right, 2, 0x33333333);
    exchange(right, left, 16, 0x0000FFFF);
    exchange(right, left, 4, 0x0F0F0F0F);

    block[0] = right;
    block[1] = left;
}
