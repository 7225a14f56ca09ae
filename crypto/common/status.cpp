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
        default:
            return "unknown status";
    }
}
