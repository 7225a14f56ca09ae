// The DER writer: every DER byte the library produces goes through it.
//
// The writer fills a caller's buffer from its end towards its start. An
// encoder writes the last element of a structure first and each header after
// its contents, once their length is known, so no length is measured in
// advance and no byte is ever moved:
//
//     SEQUENCE { a, b, c }:   write c, write b, write a, then the header
//                             over the sum of their sizes.
//
//     data[0 .. position-1]          data[position .. capacity-1]
//     +--------------------------+---------------------------------+
//     |  free (written next)     |  the encoding so far            |
//     +--------------------------+---------------------------------+
//
// Every encoder built on the writer returns the number of bytes it added in
// front of what was there, and 0 when it failed. The only failure is running
// out of room at the front of the buffer; there is no rollback, so a failed
// call leaves a partly written element in front and the caller abandons the
// whole encoding (or restores a state it saved with der_save).
#pragma once

#include <cstdint>

#include "crypto/common/bytes.h"

// Size of the work area that belongs to each writer. The request signer
// points the writer at the start of it for an intermediate encoding.
constexpr uint32_t DER_SCRATCH_SIZE = 6400;

// The output context. The encoding built so far is always
// data[position .. capacity-1]; position == capacity means it holds nothing.
// The writer never allocates or frees `data`.
struct DerWriter {
    uint8_t* data;
    uint32_t capacity;
    uint32_t position;
    uint8_t scratch[DER_SCRATCH_SIZE];
};

// A copy of a writer's three buffer fields, for der_save / der_restore.
struct DerState {
    uint8_t* data;
    uint32_t capacity;
    uint32_t position;
};

// Tag arguments. The tag argument is the identifier octet itself, except that
// 16 (SEQUENCE) and 17 (SET) get the constructed bit 0x20 added by the writer
// (they come out as 30 and 31). Every other value is written unchanged, so
// context-specific tags are passed complete.
constexpr uint8_t DER_INTEGER = 2;
constexpr uint8_t DER_BIT_STRING = 3;
constexpr uint8_t DER_OCTET_STRING = 4;
constexpr uint8_t DER_NULL = 5;
constexpr uint8_t DER_OID = 6;
constexpr uint8_t DER_SEQUENCE = 16;
constexpr uint8_t DER_SET = 17;
constexpr uint8_t DER_PRINTABLE_STRING = 19;
constexpr uint8_t DER_IA5_STRING = 22;
constexpr uint8_t DER_CONTEXT_0 = 0xA0;            // [0] constructed: request attributes
constexpr uint8_t DER_CONTEXT_1_PRIMITIVE = 0x81;  // [1] primitive: e-mail name
constexpr uint8_t DER_CONTEXT_2_PRIMITIVE = 0x82;  // [2] primitive: DNS name
constexpr uint8_t DER_CONTEXT_7_PRIMITIVE = 0x87;  // [7] primitive: IP address

// Points the writer at `capacity` bytes at `buffer` and empties it
// (position = capacity). Also re-points a writer in the middle of a task; the
// scratch area is not touched. `buffer` may be null only when capacity is 0.
void der_init(DerWriter* w, uint8_t* buffer, uint32_t capacity);

// Copies the writer's data, capacity and position into `state`.
void der_save(const DerWriter* w, DerState* state);

// Copies data, capacity and position back from `state`. Everything written
// after the save is discarded: the bytes stay in the buffer, outside the
// encoding, and later writes overwrite them.
void der_restore(DerWriter* w, const DerState* state);

// Prepends span.length bytes from span.data, keeping their order. Returns
// span.length, or 0 when the bytes did not all fit. Bytes are copied from the
// last one backwards, each after checking that position is above 0; on
// failure the bytes already placed stay and position stays where it got to.
// An empty span writes nothing and returns 0, which callers treat as failure.
// span.data must not lie in data[0 .. position-1] (the free part).
uint32_t der_prepend(DerWriter* w, const ByteSpan& span);

// Prepends one byte. Returns 1, or 0 when position is 0.
uint32_t der_prepend_byte(DerWriter* w, uint8_t byte);

// Hands out the finished encoding. On entry span->length is the most bytes
// the caller wants (callers pass the buffer's capacity). Returns 0 and leaves
// *span unchanged when nothing is written (position >= capacity). Otherwise
// sets span->data to data + position and span->length to the smaller of the
// requested length and capacity - position, advances position by that
// length and returns it. After taking everything the writer is empty. The
// span is a view into the writer's buffer, valid as long as the buffer is.
uint32_t der_take(DerWriter* w, ByteSpan* span);

// Prepends identifier and length octets only: the identifier octet for `tag`
// (see the tag constants) and the definite length, one octet below 128,
// otherwise 0x80 + n followed by the n big-endian octets of the length, n the
// smallest count from 1 to 4 that holds it. Returns the header size, 2 to 6,
// or 0 when it did not fit.
uint32_t der_write_header(DerWriter* w, uint8_t tag, uint32_t length);

// Writes one element. What is prepended depends on the tag:
//  - DER_SEQUENCE, DER_SET, DER_INTEGER: the contents are already in front
//    (for INTEGER, put there by der_write_integer); span.length is their
//    length and only the header is prepended. Returns the header size.
//  - DER_BIT_STRING: the bits are already in front; prepends the
//    unused-bits octet 00 and a header with length span.length + 1. Returns
//    the header size + 1 (the caller adds the span.length bytes of bits).
//    A span.length of 0xFFFFFFFF has no 32-bit element length and fails
//    before anything is written.
//  - any other tag: prepends the span's bytes (none when span.length is 0)
//    and then the header. Returns header size + span.length. An empty span
//    gives an empty element, e.g. 05 00 for DER_NULL.
// Returns 0 when something did not fit. span.data is read only for the
// primitive tags (the last group) and must then not lie in the free part of
// the buffer.
uint32_t der_write_element(DerWriter* w, uint8_t tag, const ByteSpan& span);

// Writes an INTEGER from the unsigned big-endian number in span->data,
// span->length bytes. Leading 00 bytes are dropped (all-zero input keeps its
// last byte); when no_sign_byte is 0 and the first kept byte has its top bit
// set, a 00 sign byte is put in front so the value stays positive. With
// no_sign_byte non-zero no sign byte is ever added: pass it only for values
// known to be below 0x80 in their first byte.
//
//     00 00 80 01, no_sign_byte 0  ->  02 03 00 80 01
//     00 00 80 01, no_sign_byte 1  ->  02 02 80 01
//     00 00 00                     ->  02 01 00
//
// Returns the contents length + header size, or 0. Side effect: once the
// contents are all in place, span->length is set to their count (sign byte
// included), so a caller that reuses the span sets its length again; if the
// contents did not fit, span->length is left as it was. An empty input
// (span->length 0) is not a number: nothing is written and 0 is returned.
// span->data must not lie in the free part of the buffer.
uint32_t der_write_integer(DerWriter* w, ByteSpan* span, int no_sign_byte);
