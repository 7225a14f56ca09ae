// HMAC (RFC 2104, FIPS 198-1) over SHA-1 or SHA-256, the two digests with a
// 64-byte block that the PKCS#12 file and PBKDF2 use:
//
//   HMAC(K, m) = H((K0 xor opad) || H((K0 xor ipad) || m))
//
//   K0 = K padded with zeros to 64 bytes, or H(K) padded so when K is
//   longer than 64 bytes; ipad = 36 36 .. 36, opad = 5C 5C .. 5C.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/status.h"
#include "crypto/digest/digest.h"

constexpr uint32_t HMAC_BLOCK_LEN = 64;

// The state of one MAC computation: the inner digest already fed
// K0 xor ipad, and the outer one already fed K0 xor opad. It holds values
// derived from the key; hmac_final wipes it, and a caller that abandons a
// computation wipes it with mem_wipe.
struct HmacContext {
    DigestContext inner;
    DigestContext outer;
};

// Starts a MAC under `key` (key_len bytes, 0 allowed; `key` may then be null)
// with `digest` ALG_SHA1 (6) or ALG_SHA256 (7). Returns STATUS_OK, or
// STATUS_BAD_DIGEST for any other code (the context is then wiped). The
// padded key is wiped before returning.
Status hmac_init(HmacContext* ctx, AlgorithmCode digest, const uint8_t* key, uint32_t key_len);

// Feeds `len` message bytes (0 allowed; `data` may then be null). The MAC
// depends only on the concatenation of everything fed, however it is split.
void hmac_update(HmacContext* ctx, const uint8_t* data, uint32_t len);

// Writes the MAC (20 or 32 bytes; DIGEST_MAX_LEN always suffices) to `mac`
// and its length to *mac_len, then wipes the whole context. `mac` may be
// anywhere outside `ctx`.
void hmac_final(HmacContext* ctx, uint8_t mac[DIGEST_MAX_LEN], uint32_t* mac_len);

// The MAC of one message in one call: init, update, final. Same statuses as
// hmac_init; nothing is written to `mac` on failure.
Status hmac_oneshot(AlgorithmCode digest, const uint8_t* key, uint32_t key_len, const uint8_t* data,
                    uint32_t len, uint8_t mac[DIGEST_MAX_LEN], uint32_t* mac_len);
