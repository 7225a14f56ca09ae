// The DES block function and key schedule under the CBC layer. Internal to the
// cipher area (and its tests); other areas use crypto/cipher/des.h.
//
// Inside the cipher a block is two 32-bit words loaded big-endian: bytes 0 to 3
// form word 0 with byte 0 most significant, bytes 4 to 7 form word 1.
#pragma once

#include <cstdint>

// Expands the 8-byte `key` into the 16 round keys, written to `round_keys` as
// two words per round in the order the rounds use them: encryption order when
// `encrypt` is nonzero, otherwise that order reversed (so that des_block then
// decrypts). The parity bits (the lowest bit of each key byte) are ignored.
//
// Each round key is stored pre-arranged for des_block: word 0 holds the 6-bit
// key groups for S-boxes 1, 3, 5 and 7, word 1 those for S-boxes 2, 4, 6 and 8,
// one group in the low six bits of each byte, most significant byte first.
// The schedule's own work arrays are wiped before it returns.
void des_key_schedule(uint32_t round_keys[32], const uint8_t key[8], int32_t encrypt);

// Runs one block, given as two words, through the 16 rounds with
// `round_keys` from des_key_schedule, in place. With encryption-order keys the
// result is FIPS 46-3 encryption; with reversed keys it is decryption.
void des_block(uint32_t block[2], const uint32_t round_keys[32]);

// Bytes 0..3 of an 8-byte block form word 0 with byte 0 most significant,
// bytes 4..7 form word 1.
inline void des_load_block(uint32_t block[2], const uint8_t* bytes) {
    for (int w = 0; w < 2; ++w) {
        const uint8_t* b = bytes + 4 * w;
        block[w] = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) |
                   uint32_t{b[3]};
    }
}

inline void des_store_block(uint8_t* bytes, const uint32_t block[2]) {
    for (int w = 0; w < 2; ++w) {
        uint8_t* b = bytes + 4 * w;
        b[0] = static_cast<uint8_t>(block[w] >> 24);
        b[1] = static_cast<uint8_t>(block[w] >> 16);
        b[2] = static_cast<uint8_t>(block[w] >> 8);
        b[3] = static_cast<uint8_t>(block[w]);
    }
}
