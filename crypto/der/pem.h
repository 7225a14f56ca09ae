// Base64 and PEM reading: the text form other tools give requests and keys.
//
//   -----BEGIN CERTIFICATE REQUEST-----
//   MIICvDCCAaQCAQAwdzELMAkGA1UEBhMCTVgx...      Base64 of the DER, in lines
//   ...
//   -----END CERTIFICATE REQUEST-----
//
// Text before the BEGIN line and after the END line is ignored, as PEM
// readers do (explanatory text often stands there).
#pragma once

#include <cstdint>

#include "crypto/common/status.h"

// Statuses: STATUS_PEM_NOT_FOUND, STATUS_BASE64_* in crypto/common/status.h.

// Where a PEM block lies: the label between "BEGIN " and the dashes, and the
// Base64 text between the BEGIN and END lines. Views into the input.
struct PemBlock {
    const uint8_t* label;
    uint32_t label_length;
    const uint8_t* body;
    uint32_t body_length;
};

// Finds the first PEM block in `text` (`length` bytes). Returns STATUS_OK or
// STATUS_PEM_NOT_FOUND.
Status pem_find(const uint8_t* text, uint32_t length, PemBlock* block);

// True when the block's label is exactly `label` (a NUL-terminated string).
bool pem_label_is(const PemBlock* block, const char* label);

// Decodes Base64 `in` (`in_length` bytes; spaces, tabs, CR and LF anywhere
// are skipped) into `out`, which has room for `capacity` bytes, and stores
// the count in *out_length. The text must be whole groups of four
// characters, with "=" or "==" only at the very end. Returns STATUS_OK,
// STATUS_BASE64_BAD or STATUS_BASE64_NO_ROOM (out may then hold part of the
// bytes).
Status base64_decode(const uint8_t* in, uint32_t in_length, uint8_t* out, uint32_t capacity,
                     uint32_t* out_length);
