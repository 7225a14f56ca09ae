// One entry point for every supported message digest, selected by its
// algorithm code:
//
//   code  algorithm  digest length
//   2     MD2        16
//   3     SHA-0      20
//   4     MD4        16
//   5     MD5        16
//   6     SHA-1      20
//   7     SHA-256    32
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/status.h"
#include "crypto/digest/md2.h"
#include "crypto/digest/md4.h"
#include "crypto/digest/md5.h"
#include "crypto/digest/sha0.h"
#include "crypto/digest/sha1.h"
#include "crypto/digest/sha256.h"

// The state of one digest computation of any supported algorithm. The caller
// owns it, usually on the stack.
//   algorithm  the code given to digest_init, whatever its value
//   state      the selected algorithm's context
struct DigestContext {
    uint32_t algorithm;
    union {
        Md2Context md2;
        Md4Context md4;
        Md5Context md5;
        Sha1Context sha1;
        Sha0Context sha0;
        Sha256Context sha256;
    } state;
};

// Room for the longest digest (SHA-256).
constexpr uint32_t DIGEST_MAX_LEN = 32;

// Stores `algorithm` in ctx->algorithm, whatever it is, and for codes 2 to 7
// starts that algorithm's computation. Returns STATUS_OK, or
// STATUS_BAD_DIGEST for any other code (the state is then left untouched, and
// every later digest_update and digest_final on this context fails the same
// way).
Status digest_init(DigestContext* ctx, AlgorithmCode algorithm);

// Feeds `len` bytes (0 allowed; `data` may then be null) to the algorithm
// named by ctx->algorithm. Returns STATUS_OK, or STATUS_BAD_DIGEST when that
// code is not 2 to 7 (nothing is fed).
Status digest_update(DigestContext* ctx, const uint8_t* data, uint32_t len);

// First stores the digest length in *digest_len: 20 for codes 3 and 6, 32 for
// code 7, 16 for every other code, an unsupported one included. For a supported code it
// then finishes the computation, writes the digest to `digest` (room for
// *digest_len bytes; DIGEST_MAX_LEN always suffices), zeroes the algorithm's
// state and returns STATUS_OK; ctx->algorithm is kept, and digest_init must be
// called before the context is used again. For an unsupported code it writes
// nothing to `digest` and returns STATUS_BAD_DIGEST.
Status digest_final(DigestContext* ctx, uint8_t* digest, uint32_t* digest_len);
