// Password-based encryption, PKCS#5 version 1.5 (PBES1): DES-CBC under a key
// and initialisation vector derived from the password with PBKDF1.
//
// The salt is not random: it is the first 8 bytes of H(password || plaintext),
// so the same plaintext protected twice under the same password gives the
// same ciphertext, byte for byte.
#pragma once

#include <cstdint>

#include "crypto/common/algorithm.h"
#include "crypto/common/bytes.h"
#include "crypto/common/status.h"

constexpr uint32_t PBE_SALT_LEN = 8;
constexpr uint32_t PBE_BLOCK_LEN = 8;

// Encrypts `plaintext` under `password` (password_len bytes taken as they are,
// no terminator; may be empty, `password` then may be null) with the scheme
// `algorithm`: ALG_PBE_MD2_DES_CBC (104, digest MD2) or ALG_PBE_MD5_DES_CBC
// (105, digest MD5). With H that digest:
//
//   salt = first 8 bytes of H(password || plaintext)
//   T    = H(password || salt), then T = H(T) another iterations - 1 times
//   DES key = T[0..7] (odd parity set), IV = T[8..15]
//   padding: n = 8 - (plaintext length mod 8) bytes of value n, 1 to 8
//
//   plaintext.data:  [plaintext ........][n n .. n]     n written in place
//   ciphertext.data: [DES-CBC of the padded plaintext]   length + n bytes
//
// `plaintext.data` must have room for plaintext.length + 8 bytes: the padding
// is written there. On entry ciphertext.length is the room at ciphertext.data;
// it must be at least the padded length. The two buffers may be the same
// (encryption in place) but must not otherwise overlap. `salt` receives the
// 8-byte salt.
// Returns the ciphertext length, also stored in ciphertext->length, or 0 when
// the algorithm is not 104 or 105 (checked before any digest), `iterations`
// is 0, the ciphertext room is too small, or a digest failed; ciphertext->length
// is then unchanged. The DES context, the derived key, IV and every digest
// value are wiped on every path.
uint32_t pbe_encrypt(const ByteSpan& plaintext, ByteSpan* ciphertext, AlgorithmCode algorithm,
                     uint32_t iterations, uint8_t salt[PBE_SALT_LEN], const uint8_t* password,
                     uint32_t password_len);

// Statuses of pbe_decrypt.
constexpr Status PBE_OK = 0;
// The parameters are refused: another scheme, iterations 0, a ciphertext
// that is empty or not whole blocks.
constexpr Status PBE_FAILED = 1;
// The decrypted text does not end in 1 to 8 bytes of its own count: the
// password (or the file) is wrong. About one wrong password in 256 still
// ends in a valid padding by chance, so a caller checks the text as well.
constexpr Status PBE_BAD_PADDING = 2;

// Decrypts `ciphertext` under `password` with the scheme `algorithm` (104 or
// 105, any iteration count from 1) and the given salt, deriving key and IV as
// pbe_encrypt does, into `plaintext` (room for ciphertext.length bytes; it
// may be ciphertext.data itself), and stores the length without padding in
// *plaintext_len. On PBE_BAD_PADDING `plaintext` holds the whole decrypted
// text and the caller wipes it. The DES context, the derived key, IV and every
// digest value are wiped on every path.
Status pbe_decrypt(const ByteSpan& ciphertext, uint8_t* plaintext, uint32_t* plaintext_len,
                   AlgorithmCode algorithm, uint32_t iterations, const uint8_t salt[PBE_SALT_LEN],
                   const uint8_t* password, uint32_t password_len);
