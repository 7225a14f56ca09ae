#include "crypto/common/status.h"

const char* status_text(Status status) {
    switch (status) {
        case STATUS_OK:
            return "success";
        case STATUS_RANGE:
            return "prime search out of range, or RSA input not below the modulus";
        case STATUS_BAD_DIGEST:
            return "unsupported digest algorithm";
        case STATUS_BAD_LENGTH:
            return "input too long for the RSA block, or DES-CBC length not a multiple of 8";
        case STATUS_BAD_MODULUS_SIZE:
            return "modulus size outside 508 to 2048 bits";
        case STATUS_NOT_SEEDED:
            return "random generator not yet seeded with 256 bytes";
        case STATUS_BUILT:
            return "built";
        case STATUS_NO_MEMORY:
            return "no working buffer could be obtained";
        case STATUS_REQUEST_FAILED:
            return "building or signing the request failed";
        case STATUS_SIGNATURE_INVALID:
            return "signature does not match";
        case STATUS_KEY_MODULUS_MISMATCH:
            return "private key: modulus is not the product of the primes";
        case STATUS_KEY_EXPONENT_MISMATCH:
            return "private key: exponents are not inverse modulo p-1 and q-1";
        case STATUS_KEY_CRT_MISMATCH:
            return "private key: CRT exponents or coefficient wrong";
        case STATUS_NOT_RSA:
            return "key algorithm is not rsaEncryption";
        case STATUS_DER_TRUNCATED:
            return "DER: input ends inside an element";
        case STATUS_DER_INDEFINITE_LENGTH:
            return "DER: indefinite length";
        case STATUS_DER_LENGTH_TOO_LONG:
            return "DER: length of more than four octets";
        case STATUS_DER_NON_MINIMAL_LENGTH:
            return "DER: length not in its shortest form";
        case STATUS_DER_TRAILING_DATA:
            return "DER: bytes after the last element";
        case STATUS_DER_UNEXPECTED_TAG:
            return "DER: unexpected tag";
        case STATUS_DER_BAD_VALUE:
            return "DER: contents break the rules of their type";
        case STATUS_DER_TOO_MANY:
            return "DER: more entries than the reader holds";
        case STATUS_PEM_NOT_FOUND:
            return "PEM: no BEGIN and END lines with one label";
        case STATUS_BASE64_BAD:
            return "Base64: bad character or padding";
        case STATUS_BASE64_NO_ROOM:
            return "Base64: output does not fit";
        default:
            return "unknown status";
    }
}
