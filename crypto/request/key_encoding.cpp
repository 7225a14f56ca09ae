#include "crypto/request/key_encoding.h"

#include "crypto/der/oid.h"

namespace {

// Writes one INTEGER from a fixed-size big-endian array of a key record. The
// writer only reads the bytes; the span type is not const because the same
// type carries writable buffers elsewhere.
uint32_t write_number(DerWriter* w, const uint8_t* number, uint32_t size) {
    ByteSpan span{const_cast<uint8_t*>(number), size};
    return der_write_integer(w, &span, 0);
}

// 02 01 00. `no_sign_byte` makes no difference for the value 0.
uint32_t write_version_zero(DerWriter* w, int no_sign_byte) {
    uint8_t zero = 0;
    ByteSpan span{&zero, 1};
    return der_write_integer(w, &span, no_sign_byte);
}

}  // namespace

uint32_t rsa_write_public_key(DerWriter* w, const RsaPublicKey* key) {
    // Backwards: exponent, modulus, SEQUENCE header, then the BIT STRING's
    // unused-bits octet and header over the SEQUENCE.
    const uint32_t exponent = write_number(w, key->public_exponent, RSA_MAX_MODULUS_LEN);
    if (exponent == 0) {
        return 0;
    }
    const uint32_t modulus = write_number(w, key->modulus, RSA_MAX_MODULUS_LEN);
    if (modulus == 0) {
        return 0;
    }
    const uint32_t header = der_write_header(w, DER_SEQUENCE, exponent + modulus);
    if (header == 0) {
        return 0;
    }
    const uint32_t sequence = header + exponent + modulus;
    const uint32_t bit_string = der_write_element(w, DER_BIT_STRING, ByteSpan{nullptr, sequence});
    return bit_string == 0 ? 0 : bit_string + sequence;
}

uint32_t rsa_write_public_key_info(DerWriter* w, AlgorithmCode code, const RsaPublicKey* key) {
    const uint32_t public_key = rsa_write_public_key(w, key);
    if (public_key == 0) {
        return 0;
    }
    const uint32_t algorithm = der_write_algorithm_id(w, code);
    if (algorithm == 0) {
        return 0;
    }
    const uint32_t header = der_write_header(w, DER_SEQUENCE, public_key + algorithm);
    return header == 0 ? 0 : header + public_key + algorithm;
}

uint32_t rsa_write_private_key(DerWriter* w, const RsaPrivateKey* key) {
    // The fields in reverse order of the encoding, the version last.
    const struct {
        const uint8_t* number;
        uint32_t size;
    } fields[] = {
        {key->coefficient, RSA_MAX_PRIME_LEN},
        {key->exponent2, RSA_MAX_PRIME_LEN},
        {key->exponent1, RSA_MAX_PRIME_LEN},
        {key->prime2, RSA_MAX_PRIME_LEN},
        {key->prime1, RSA_MAX_PRIME_LEN},
        {key->private_exponent, RSA_MAX_MODULUS_LEN},
        {key->public_exponent, RSA_MAX_MODULUS_LEN},
        {key->modulus, RSA_MAX_MODULUS_LEN},
    };
    uint32_t body = 0;
    for (const auto& field : fields) {
        const uint32_t n = write_number(w, field.number, field.size);
        if (n == 0) {
            return 0;
        }
        body += n;
    }
    const uint32_t version = write_version_zero(w, 0);
    if (version == 0) {
        return 0;
    }
    body += version;
    const uint32_t header = der_write_header(w, DER_SEQUENCE, body);
    return header == 0 ? 0 : header + body;
}

uint32_t rsa_write_private_key_info(DerWriter* w, AlgorithmCode code, const RsaPrivateKey* key) {
    // The RSAPrivateKey is written once and becomes the contents of the
    // OCTET STRING whose header goes in front of it.
    const uint32_t private_key = rsa_write_private_key(w, key);
    if (private_key == 0) {
        return 0;
    }
    const uint32_t octet_header = der_write_header(w, DER_OCTET_STRING, private_key);
    if (octet_header == 0) {
        return 0;
    }
    const uint32_t algorithm = der_write_algorithm_id(w, code);
    if (algorithm == 0) {
        return 0;
    }
    const uint32_t version = write_version_zero(w, 1);
    if (version == 0) {
        return 0;
    }
    const uint32_t body = version + algorithm + octet_header + private_key;
    const uint32_t header = der_write_header(w, DER_SEQUENCE, body);
    return header == 0 ? 0 : header + body;
}
