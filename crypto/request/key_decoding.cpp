#include "crypto/request/key_decoding.h"

#include "crypto/common/algorithm.h"
#include "crypto/common/mem.h"
#include "crypto/der/der_reader.h"
#include "crypto/der/oid.h"

namespace {

// Reads the next INTEGER of `r` as a non-negative number into the `size`-byte
// array `out`, right-aligned.
Status read_number(DerReader* r, uint8_t* out, uint32_t size) {
    DerElement e;
    Status status = der_read_expect(r, DER_TAG_INTEGER, &e);
    if (status != STATUS_OK) {
        return status;
    }
    const uint8_t* bytes = nullptr;
    uint32_t count = 0;
    status = der_get_unsigned(&e, &bytes, &count);
    if (status != STATUS_OK) {
        return status;
    }
    if (count > size) {
        return STATUS_BAD_MODULUS_SIZE;
    }
    mem_fill(out, 0, size - count);
    mem_copy(out + size - count, bytes, count);
    return STATUS_OK;
}

// Reads the AlgorithmIdentifier of rsaEncryption with NULL parameters.
Status read_rsa_algorithm(DerReader* r) {
    DerElement algorithm, oid, parameters;
    DerReader inside;
    Status status = der_read_expect(r, DER_TAG_SEQUENCE, &algorithm);
    if (status == STATUS_OK) {
        status = der_enter(&algorithm, &inside);
    }
    if (status == STATUS_OK) {
        status = der_read_expect(&inside, DER_TAG_OID, &oid);
    }
    const uint8_t* octets = nullptr;
    uint32_t count = 0;
    if (status == STATUS_OK) {
        status = der_get_oid(&oid, &octets, &count);
    }
    if (status != STATUS_OK) {
        return status;
    }
    if (algorithm_for_oid(octets, count) != ALG_RSA) {
        return STATUS_NOT_RSA;
    }
    status = der_read_expect(&inside, DER_TAG_NULL, &parameters);
    if (status == STATUS_OK) {
        status = der_get_null(&parameters);
    }
    return status == STATUS_OK ? der_expect_end(&inside) : status;
}

Status read_public(const uint8_t* der, uint32_t len, RsaPublicKey* key) {
    DerReader top, inside;
    DerElement e;
    der_reader_init(&top, der, len);
    Status status = der_read_expect(&top, DER_TAG_SEQUENCE, &e);
    if (status == STATUS_OK) {
        status = der_expect_end(&top);
    }
    if (status == STATUS_OK) {
        status = der_enter(&e, &inside);
    }
    if (status == STATUS_OK) {
        status = read_number(&inside, key->modulus, RSA_MAX_MODULUS_LEN);
    }
    if (status == STATUS_OK) {
        status = read_number(&inside, key->public_exponent, RSA_MAX_MODULUS_LEN);
    }
    if (status == STATUS_OK) {
        status = der_expect_end(&inside);
    }
    if (status != STATUS_OK) {
        return status;
    }
    key->bits = static_cast<uint16_t>(key_number_bits(key->modulus, RSA_MAX_MODULUS_LEN));
    return key->bits == 0 ? STATUS_DER_BAD_VALUE : STATUS_OK;
}

Status read_public_info(const uint8_t* der, uint32_t len, RsaPublicKey* key) {
    DerReader top, inside;
    DerElement info, bits_element;
    der_reader_init(&top, der, len);
    Status status = der_read_expect(&top, DER_TAG_SEQUENCE, &info);
    if (status == STATUS_OK) {
        status = der_expect_end(&top);
    }
    if (status == STATUS_OK) {
        status = der_enter(&info, &inside);
    }
    if (status == STATUS_OK) {
        status = read_rsa_algorithm(&inside);
    }
    if (status == STATUS_OK) {
        status = der_read_expect(&inside, DER_TAG_BIT_STRING, &bits_element);
    }
    if (status == STATUS_OK) {
        status = der_expect_end(&inside);
    }
    const uint8_t* bits = nullptr;
    uint32_t count = 0;
    uint8_t unused = 0;
    if (status == STATUS_OK) {
        status = der_get_bit_string(&bits_element, &bits, &count, &unused);
    }
    if (status == STATUS_OK && unused != 0) {
        status = STATUS_DER_BAD_VALUE;
    }
    return status == STATUS_OK ? read_public(bits, count, key) : status;
}

Status read_private(const uint8_t* der, uint32_t len, RsaPrivateKey* key) {
    DerReader top, inside;
    DerElement e;
    der_reader_init(&top, der, len);
    Status status = der_read_expect(&top, DER_TAG_SEQUENCE, &e);
    if (status == STATUS_OK) {
        status = der_expect_end(&top);
    }
    if (status == STATUS_OK) {
        status = der_enter(&e, &inside);
    }
    DerElement version;
    uint32_t version_number = 1;
    if (status == STATUS_OK) {
        status = der_read_expect(&inside, DER_TAG_INTEGER, &version);
    }
    if (status == STATUS_OK) {
        status = der_get_uint32(&version, &version_number);
    }
    if (status == STATUS_OK && version_number != 0) {
        status = STATUS_DER_BAD_VALUE;
    }
    struct Field {
        uint8_t* out;
        uint32_t size;
    };
    const Field fields[] = {
        {key->modulus, RSA_MAX_MODULUS_LEN},
        {key->public_exponent, RSA_MAX_MODULUS_LEN},
        {key->private_exponent, RSA_MAX_MODULUS_LEN},
        {key->prime1, RSA_MAX_PRIME_LEN},
        {key->prime2, RSA_MAX_PRIME_LEN},
        {key->exponent1, RSA_MAX_PRIME_LEN},
        {key->exponent2, RSA_MAX_PRIME_LEN},
        {key->coefficient, RSA_MAX_PRIME_LEN},
    };
    for (const Field& field : fields) {
        if (status == STATUS_OK) {
            status = read_number(&inside, field.out, field.size);
        }
    }
    if (status == STATUS_OK) {
        status = der_expect_end(&inside);
    }
    if (status != STATUS_OK) {
        return status;
    }
    key->bits = static_cast<uint16_t>(key_number_bits(key->modulus, RSA_MAX_MODULUS_LEN));
    return key->bits == 0 ? STATUS_DER_BAD_VALUE : STATUS_OK;
}

Status read_private_info(const uint8_t* der, uint32_t len, RsaPrivateKey* key) {
    DerReader top, inside;
    DerElement info, version, octets;
    der_reader_init(&top, der, len);
    Status status = der_read_expect(&top, DER_TAG_SEQUENCE, &info);
    if (status == STATUS_OK) {
        status = der_expect_end(&top);
    }
    if (status == STATUS_OK) {
        status = der_enter(&info, &inside);
    }
    uint32_t version_number = 1;
    if (status == STATUS_OK) {
        status = der_read_expect(&inside, DER_TAG_INTEGER, &version);
    }
    if (status == STATUS_OK) {
        status = der_get_uint32(&version, &version_number);
    }
    if (status == STATUS_OK && version_number != 0) {
        status = STATUS_DER_BAD_VALUE;
    }
    if (status == STATUS_OK) {
        status = read_rsa_algorithm(&inside);
    }
    if (status == STATUS_OK) {
        status = der_read_expect(&inside, DER_TAG_OCTET_STRING, &octets);
    }
    if (status == STATUS_OK && der_next_is(&inside, der_context_constructed(0))) {
        DerElement attributes;
        status = der_read_element(&inside, &attributes);
    }
    if (status == STATUS_OK) {
        status = der_expect_end(&inside);
    }
    return status == STATUS_OK ? read_private(octets.value, octets.length, key) : status;
}

}  // namespace

uint32_t key_number_bits(const uint8_t* number, uint32_t len) {
    uint32_t i = 0;
    while (i < len && number[i] == 0) {
        ++i;
    }
    if (i == len) {
        return 0;
    }
    uint32_t bits = (len - i - 1) * 8;
    for (uint8_t top = number[i]; top != 0; top = static_cast<uint8_t>(top >> 1)) {
        ++bits;
    }
    return bits;
}

namespace {

// Runs one reader; a key record it failed to fill completely is wiped, so
// that no part of a private key stays behind in it.
template <typename Key>
Status read_or_wipe(Status (*read)(const uint8_t*, uint32_t, Key*), const uint8_t* der,
                    uint32_t len, Key* key) {
    const Status status = read(der, len, key);
    if (status != STATUS_OK) {
        mem_wipe(*key);
    }
    return status;
}

}  // namespace

Status rsa_read_public_key(const uint8_t* der, uint32_t len, RsaPublicKey* key) {
    return read_or_wipe(read_public, der, len, key);
}

Status rsa_read_public_key_info(const uint8_t* der, uint32_t len, RsaPublicKey* key) {
    return read_or_wipe(read_public_info, der, len, key);
}

Status rsa_read_private_key(const uint8_t* der, uint32_t len, RsaPrivateKey* key) {
    return read_or_wipe(read_private, der, len, key);
}

Status rsa_read_private_key_info(const uint8_t* der, uint32_t len, RsaPrivateKey* key) {
    return read_or_wipe(read_private_info, der, len, key);
}
