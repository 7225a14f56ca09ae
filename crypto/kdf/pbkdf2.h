// PBKDF2 (RFC 8018 section 5.2) with HMAC-SHA-1 or HMAC-SHA-256 as the
// pseudorandom function:
//
//   T_i = U_1 xor U_2 xor .. xor U_c,   U_1 = PRF(P, S || INT(i)),
//                                       U_j = PRF(P, U_{j-1})
//   DK  = T_1 || T_2 || ..  cut to dk_len bytes
//
// INT(i) is the block number as four big-endian bytes, from 1.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/status.h"

// Derives `dk_len` bytes (1 or more) into `dk` from `password` (password_len
// bytes as they are, 0 allowed) and `salt` (salt_len bytes, 0 allowed) with
// `iterations` (1 or more) rounds of HMAC with `digest` ALG_SHA1 or
// ALG_SHA256. `dk` must not overlap the inputs.
// Returns STATUS_OK; STATUS_BAD_DIGEST for another digest, STATUS_BAD_LENGTH
// for iterations or dk_len 0 (nothing is written then). Every intermediate,
// the keyed HMAC states included, is wiped.
Status pbkdf2_hmac(AlgorithmCode digest, const uint8_t* password, uint32_t password_len,
                   const uint8_t* salt, uint32_t salt_len, uint32_t iterations, uint8_t* dk,
                   uint32_t dk_len);
