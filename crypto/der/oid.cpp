#include "crypto/der/oid.h"

#include "crypto/common/mem.h"

namespace {

struct AlgorithmOid {
    AlgorithmCode code;
    uint8_t length;
    uint8_t octets[OID_MAX_LEN];
};

// Contents octets only. 2A = 1.2, 86 48 = 840, 86 F7 0D = 113549; 2B = 1.3.
const AlgorithmOid kAlgorithms[] = {
    {ALG_MD2, 8, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x02}},        // 1.2.840.113549.2.2
    {ALG_MD4, 8, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x04}},        // 1.2.840.113549.2.4
    {ALG_MD5, 8, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05}},        // 1.2.840.113549.2.5
    {ALG_SHA1, 5, {0x2B, 0x0E, 0x03, 0x02, 0x1A}},                         // 1.3.14.3.2.26
    {ALG_RSA, 9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01}},  // 1.2.840.113549.1.1.1
    {ALG_MD2_WITH_RSA, 9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x02}},     // ...1.1.2
    {ALG_MD4_WITH_RSA, 9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x03}},     // ...1.1.3
    {ALG_MD5_WITH_RSA, 9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x04}},     // ...1.1.4
    {ALG_PBE_MD2_DES_CBC, 9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x05, 0x01}},  // ...1.5.1
    {ALG_PBE_MD5_DES_CBC, 9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x05, 0x03}},  // ...1.5.3
    {ALG_DES_CBC, 5, {0x2B, 0x0E, 0x03, 0x02, 0x07}},                // 1.3.14.3.2.7
    {ALG_RC4, 8, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x03, 0x04}},  // 1.2.840.113549.3.4
    {ALG_PBE_SHA_RC2_40, 10, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x01, 0x06}},
    {ALG_PBE_SHA_RC2_128, 10, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x01, 0x05}},
    {ALG_PBE_SHA_3DES, 10, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x01, 0x03}},
    {ALG_SHA1_WITH_RSA, 9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x05}},  // ...1.1.5
    {ALG_DES_EDE3_CBC, 8, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x03, 0x07}},  // ...113549.3.7
    // 60 86 48 01 65 03 04 02 01 = 2.16.840.1.101.3.4.2.1
    {ALG_SHA256, 9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01}},
    {ALG_SHA256_WITH_RSA, 9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B}},  // ...1.1.11
};

struct TypeOid {
    uint8_t length;
    uint8_t octets[9];
};

// 55 04 xx = 2.5.4.xx (X.520 attribute types); 2A 86 48 86 F7 0D 01 09 xx =
// 1.2.840.113549.1.9.xx (PKCS#9).
const TypeOid kNameComponents[] = {
    {3, {0x55, 0x04, 0x0A}},                                      // 0 organizationName
    {3, {0x55, 0x04, 0x0B}},                                      // 1 organizationalUnitName
    {3, {0x55, 0x04, 0x03}},                                      // 2 commonName
    {3, {0x55, 0x04, 0x0C}},                                      // 3 title
    {3, {0x55, 0x04, 0x09}},                                      // 4 streetAddress
    {3, {0x55, 0x04, 0x11}},                                      // 5 postalCode
    {3, {0x55, 0x04, 0x06}},                                      // 6 countryName
    {3, {0x55, 0x04, 0x08}},                                      // 7 stateOrProvinceName
    {3, {0x55, 0x04, 0x07}},                                      // 8 localityName
    {3, {0x55, 0x04, 0x2D}},                                      // 9 uniqueIdentifier
    {3, {0x55, 0x04, 0x05}},                                      // 10 serialNumber
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01}},  // 11 emailAddress
    {3, {0x55, 0x04, 0x0F}},                                      // 12 businessCategory
    {3, {0x55, 0x04, 0x14}},                                      // 13 telephoneNumber
    {3, {0x55, 0x04, 0x17}},                                      // 14 facsimileTelephoneNumber
};

// Request attribute slots. 60 86 48 01 86 F8 42 = 2.16.840.1.113730 (the
// browser certificate extensions); 75 88 5D 8F 0B = 2.37.1117.1931;
// 55 1D xx = 2.5.29.xx (X.509 extensions); 2B 06 01 05 05 07 = 1.3.6.1.5.5.7.
const TypeOid kSlots[] = {
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01}},  // 0 emailAddress
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x07}},  // 1 challengePassword
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x09}},  // 2 extendedCertificateAttributes
    {3, {0x2B, 0x0F, 0x01}},                                      // 3 1.3.15.1
    {3, {0x2B, 0x0F, 0x02}},                                      // 4 1.3.15.2
    {9, {0x60, 0x86, 0x48, 0x01, 0x86, 0xF8, 0x42, 0x01, 0x01}},  // 5 certificate type
    {9, {0x60, 0x86, 0x48, 0x01, 0x86, 0xF8, 0x42, 0x01, 0x0D}},  // 6 comment
    {9, {0x60, 0x86, 0x48, 0x01, 0x86, 0xF8, 0x42, 0x01, 0x0C}},  // 7 SSL server name
    {6, {0x75, 0x88, 0x5D, 0x8F, 0x0B, 0x03}},                    // 8 2.37.1117.1931.3
    {6, {0x75, 0x88, 0x5D, 0x8F, 0x0B, 0x05}},                    // 9 2.37.1117.1931.5
    {6, {0x75, 0x88, 0x5D, 0x8F, 0x0B, 0x07}},                    // 10 2.37.1117.1931.7
    {6, {0x75, 0x88, 0x5D, 0x8F, 0x0B, 0x0D}},                    // 11 2.37.1117.1931.13
    {6, {0x75, 0x88, 0x5D, 0x8F, 0x0B, 0x17}},                    // 12 2.37.1117.1931.23
    {6, {0x75, 0x88, 0x5D, 0x8F, 0x0B, 0x1D}},                    // 13 2.37.1117.1931.29
    {6, {0x75, 0x88, 0x5D, 0x8F, 0x0B, 0x1F}},                    // 14 2.37.1117.1931.31
    {3, {0x55, 0x1D, 0x0F}},                                      // 15 keyUsage
    {3, {0x55, 0x1D, 0x13}},                                      // 16 basicConstraints
    {3, {0x55, 0x1D, 0x25}},                                      // 17 extKeyUsage
    {3, {0x55, 0x1D, 0x20}},                                      // 18 certificatePolicies
    {3, {0x55, 0x1D, 0x1F}},                                      // 19 cRLDistributionPoints
    {3, {0x55, 0x1D, 0x11}},                                      // 20 subjectAltName
    {3, {0x55, 0x1D, 0x12}},                                      // 21 issuerAltName
    {8, {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x01, 0x01}},        // 22 authorityInfoAccess
    {9, {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x30, 0x01, 0x05}},  // 23 OCSP no-check
};

template <typename T, uint32_t N>
constexpr uint32_t count_of(const T (&)[N]) {
    return N;
}

bool same_octets(const uint8_t* a, uint32_t a_len, const uint8_t* b, uint32_t b_len) {
    if (a_len != b_len) {
        return false;
    }
    for (uint32_t i = 0; i < a_len; ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

int find_type(const TypeOid* table, uint32_t entries, const uint8_t* octets, uint32_t len) {
    for (uint32_t i = 0; i < entries; ++i) {
        if (same_octets(table[i].octets, table[i].length, octets, len)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int copy_type(const TypeOid* table, uint32_t entries, uint32_t index, uint8_t out[9]) {
    if (index >= entries) {
        return -1;
    }
    mem_copy(out, table[index].octets, table[index].length);
    return table[index].length;
}

}  // namespace

int oid_for_algorithm(AlgorithmCode code, uint8_t out[OID_MAX_LEN], uint32_t* out_len) {
    for (const AlgorithmOid& entry : kAlgorithms) {
        if (entry.code == code) {
            mem_copy(out, entry.octets, entry.length);
            *out_len = entry.length;
            return 0;
        }
    }
    return 1;
}

int oid_for_name_component(uint32_t index, uint8_t out[9]) {
    return copy_type(kNameComponents, count_of(kNameComponents), index, out);
}

int oid_for_slot(uint32_t slot, uint8_t out[9]) {
    return copy_type(kSlots, count_of(kSlots), slot, out);
}

AlgorithmCode algorithm_for_oid(const uint8_t* octets, uint32_t len) {
    for (const AlgorithmOid& entry : kAlgorithms) {
        if (same_octets(entry.octets, entry.length, octets, len)) {
            return entry.code;
        }
    }
    return 0;
}

int name_component_for_oid(const uint8_t* octets, uint32_t len) {
    return find_type(kNameComponents, count_of(kNameComponents), octets, len);
}

int slot_for_oid(const uint8_t* octets, uint32_t len) {
    return find_type(kSlots, count_of(kSlots), octets, len);
}

uint32_t der_write_algorithm_id(DerWriter* w, AlgorithmCode code) {
    //   30 [len]
    //      06 [n] [identifier]
    //      05 00
    uint8_t oid[OID_MAX_LEN];
    uint32_t oid_len = 0;
    if (oid_for_algorithm(code, oid, &oid_len) != 0) {
        return 0;
    }
    const uint32_t parameters = der_write_element(w, DER_NULL, ByteSpan{});
    if (parameters == 0) {
        return 0;
    }
    const uint32_t algorithm = der_write_element(w, DER_OID, ByteSpan{oid, oid_len});
    if (algorithm == 0) {
        return 0;
    }
    const uint32_t body = parameters + algorithm;
    const uint32_t header = der_write_header(w, DER_SEQUENCE, body);
    return header == 0 ? 0 : header + body;
}
