#include "crypto/cipher/aes.h"

#include "crypto/common/mem.h"

namespace {

// Multiplication by x in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
constexpr uint8_t xtime(uint8_t a) {
    return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) != 0 ? 0x1B : 0));
}

constexpr uint8_t gf_mul(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    while (b != 0) {
        if ((b & 1) != 0) {
            product ^= a;
        }
        a = xtime(a);
        b = static_cast<uint8_t>(b >> 1);
    }
    return product;
}

// The S-box and its inverse, computed as the standard defines them: the
// multiplicative inverse in GF(2^8) (0 for 0), a^254, followed by the affine
// map b ^ rotl(b,1) ^ rotl(b,2) ^ rotl(b,3) ^ rotl(b,4) ^ 0x63.
struct SboxTables {
    uint8_t forward[256];
    uint8_t inverse[256];
};

constexpr uint8_t rotl8(uint8_t x, int n) {
    return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr SboxTables make_sboxes() {
    SboxTables t{};
    for (int i = 0; i < 256; ++i) {
        const uint8_t a = static_cast<uint8_t>(i);
        uint8_t inv = 1;
        for (int k = 0; k < 254; ++k) {
            inv = gf_mul(inv, a);
        }
        if (a == 0) {
            inv = 0;
        }
        const uint8_t s = static_cast<uint8_t>(inv ^ rotl8(inv, 1) ^ rotl8(inv, 2) ^ rotl8(inv, 3) ^
                                               rotl8(inv, 4) ^ 0x63);
        t.forward[i] = s;
        t.inverse[s] = a;
    }
    return t;
}

constexpr SboxTables kSbox = make_sboxes();

// The state is the 16 bytes of a block in input order: byte 4c + r is row r
// of column c.
void add_round_key(uint8_t s[16], const uint8_t k[16]) {
    for (int i = 0; i < 16; ++i) {
        s[i] ^= k[i];
    }
}

void sub_bytes(uint8_t s[16], const uint8_t* box) {
    for (int i = 0; i < 16; ++i) {
        s[i] = box[s[i]];
    }
}

// Row r moves r columns to the left (to the right for the inverse).
void shift_rows(uint8_t s[16], bool inverse) {
    uint8_t t[16];
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            const int from = inverse ? (c - r + 4) % 4 : (c + r) % 4;
            t[4 * c + r] = s[4 * from + r];
        }
    }
    mem_copy(s, t, 16);
    mem_wipe(t);
}

// Each column times the fixed polynomial {03}x^3 + {01}x^2 + {01}x + {02}
// (the inverse: {0B}x^3 + {0D}x^2 + {09}x + {0E}), modulo x^4 + 1.
void mix_columns(uint8_t s[16], bool inverse) {
    const uint8_t m0 = inverse ? 0x0E : 2, m1 = inverse ? 0x0B : 3, m2 = inverse ? 0x0D : 1,
                  m3 = inverse ? 0x09 : 1;
    for (int c = 0; c < 4; ++c) {
        uint8_t* col = s + 4 * c;
        const uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = gf_mul(a0, m0) ^ gf_mul(a1, m1) ^ gf_mul(a2, m2) ^ gf_mul(a3, m3);
        col[1] = gf_mul(a0, m3) ^ gf_mul(a1, m0) ^ gf_mul(a2, m1) ^ gf_mul(a3, m2);
        col[2] = gf_mul(a0, m2) ^ gf_mul(a1, m3) ^ gf_mul(a2, m0) ^ gf_mul(a3, m1);
        col[3] = gf_mul(a0, m1) ^ gf_mul(a1, m2) ^ gf_mul(a2, m3) ^ gf_mul(a3, m0);
    }
}

void encrypt_block(uint8_t s[16], const uint8_t keys[15][16]) {
    add_round_key(s, keys[0]);
    for (int round = 1; round < 14; ++round) {
        sub_bytes(s, kSbox.forward);
        shift_rows(s, false);
        mix_columns(s, false);
        add_round_key(s, keys[round]);
    }
    sub_bytes(s, kSbox.forward);
    shift_rows(s, false);
    add_round_key(s, keys[14]);
}

void decrypt_block(uint8_t s[16], const uint8_t keys[15][16]) {
    add_round_key(s, keys[14]);
    for (int round = 13; round > 0; --round) {
        shift_rows(s, true);
        sub_bytes(s, kSbox.inverse);
        add_round_key(s, keys[round]);
        mix_columns(s, true);
    }
    shift_rows(s, true);
    sub_bytes(s, kSbox.inverse);
    add_round_key(s, keys[0]);
}

// The AES-256 key expansion: 60 four-byte words, Nk = 8. Word i is word
// i - 8 xor a transform of word i - 1: RotWord, SubWord and the round
// constant every eighth word, SubWord alone four words later.
void expand_key(uint8_t round_keys[15][16], const uint8_t key[32]) {
    uint8_t w[60][4];
    mem_copy(w, key, 32);
    uint8_t rcon = 1;
    for (int i = 8; i < 60; ++i) {
        uint8_t t[4] = {w[i - 1][0], w[i - 1][1], w[i - 1][2], w[i - 1][3]};
        if (i % 8 == 0) {
            const uint8_t first = t[0];
            t[0] = static_cast<uint8_t>(kSbox.forward[t[1]] ^ rcon);
            t[1] = kSbox.forward[t[2]];
            t[2] = kSbox.forward[t[3]];
            t[3] = kSbox.forward[first];
            rcon = xtime(rcon);
        } else if (i % 8 == 4) {
            for (uint8_t& b : t) {
                b = kSbox.forward[b];
            }
        }
        for (int k = 0; k < 4; ++k) {
            w[i][k] = w[i - 8][k] ^ t[k];
        }
        mem_wipe(t);
    }
    mem_copy(round_keys, w, 240);
    mem_wipe(w);
}

}  // namespace

void aes256_cbc_init(AesCbcContext* ctx, const uint8_t key[32], const uint8_t iv[16],
                     int32_t encrypt) {
    ctx->encrypt = encrypt;
    mem_copy(ctx->chain, iv, AES_BLOCK_LEN);
    expand_key(ctx->round_keys, key);
}

Status aes256_cbc_update(AesCbcContext* ctx, uint8_t* output, const uint8_t* input, uint32_t len) {
    if (len % AES_BLOCK_LEN != 0) {
        return STATUS_BAD_LENGTH;
    }
    uint8_t block[16];
    uint8_t ciphertext[16];
    for (uint32_t offset = 0; offset < len; offset += AES_BLOCK_LEN) {
        mem_copy(block, input + offset, AES_BLOCK_LEN);
        if (ctx->encrypt != 0) {
            for (int i = 0; i < 16; ++i) {
                block[i] ^= ctx->chain[i];
            }
            encrypt_block(block, ctx->round_keys);
            mem_copy(ctx->chain, block, AES_BLOCK_LEN);
        } else {
            mem_copy(ciphertext, block, AES_BLOCK_LEN);
            decrypt_block(block, ctx->round_keys);
            for (int i = 0; i < 16; ++i) {
                block[i] ^= ctx->chain[i];
            }
            mem_copy(ctx->chain, ciphertext, AES_BLOCK_LEN);
        }
        mem_copy(output + offset, block, AES_BLOCK_LEN);
    }
    mem_wipe(block);
    mem_wipe(ciphertext);
    return STATUS_OK;
}
