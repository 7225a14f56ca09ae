#include "crypto/request/request.h"

#include <new>

#include "crypto/common/mem.h"
#include "crypto/der/oid.h"
#include "crypto/request/key_encoding.h"
#include "crypto/request/req_sign.h"

uint32_t req_write_request_info(DerWriter* w, uint8_t version, const SubjectComponents& components,
                                AlgorithmCode key_code, const RsaPublicKey* public_key,
                                const AttributeSlots& slots) {
    // Backwards: attributes, public key, subject, version, header. The
    // attributes element is not optional in a request: with no attribute to
    // carry it is written empty (A0 00), which strict readers insist on.
    DerState before_attributes;
    der_save(w, &before_attributes);
    uint32_t body = req_write_attributes(w, slots);
    if (body == 0) {
        der_restore(w, &before_attributes);
        body = der_write_header(w, DER_CONTEXT_0, 0);
        if (body == 0) {
            return 0;
        }
    }
    const uint32_t key_info = rsa_write_public_key_info(w, key_code, public_key);
    if (key_info == 0) {
        return 0;
    }
    body += key_info;
    const uint32_t subject = req_write_subject_name(w, components);
    if (subject == 0) {
        return 0;
    }
    body += subject;
    ByteSpan version_span{&version, 1};
    const uint32_t version_size = der_write_integer(w, &version_span, 1);
    if (version_size == 0) {
        return 0;
    }
    body += version_size;
    const uint32_t header = der_write_header(w, DER_SEQUENCE, body);
    return header == 0 ? 0 : header + body;
}

namespace {

// Writes the signed request in front of the (empty) writer over the request
// buffer: signature, its BIT STRING header, the signature algorithm, the
// information bytes, the outer header.
uint32_t write_signed_request(DerWriter* w, AlgorithmCode signature_code, const ByteSpan& info,
                              uint8_t* signature, uint32_t signature_len) {
    const uint32_t bits = der_prepend(w, ByteSpan{signature, signature_len});
    if (bits == 0) {
        return 0;
    }
    const uint32_t bit_header = der_write_element(w, DER_BIT_STRING, ByteSpan{nullptr, bits});
    if (bit_header == 0) {
        return 0;
    }
    const uint32_t algorithm = der_write_algorithm_id(w, signature_code);
    if (algorithm == 0) {
        return 0;
    }
    const uint32_t info_size = der_prepend(w, info);
    if (info_size == 0) {
        return 0;
    }
    const uint32_t body = info_size + algorithm + bit_header + bits;
    const uint32_t header = der_write_header(w, DER_SEQUENCE, body);
    return header == 0 ? 0 : header + body;
}

}  // namespace

uint32_t req_assemble_signed(DerWriter* w, uint8_t* request_buffer, uint32_t capacity,
                             AlgorithmCode signature_code, const SubjectComponents& components,
                             const RsaPublicKey* public_key, const RsaPrivateKey* private_key,
                             const AttributeSlots& slots, uint8_t* info_buffer) {
    der_init(w, info_buffer, capacity);
    const uint32_t info_size = req_write_request_info(w, 0, components, ALG_RSA, public_key, slots);
    if (info_size == 0) {
        return 0;
    }
    if (private_key == nullptr) {
        return info_size;
    }
    // The information stays where it is in its buffer; the span points at it.
    ByteSpan info{nullptr, capacity};
    if (der_take(w, &info) != info_size) {
        return 0;
    }
    uint8_t signature[RSA_MAX_MODULUS_LEN];
    uint32_t signature_len = 0;
    uint32_t total = 0;
    if (req_sign(w, signature_code, info.data, info.length, private_key, signature,
                 &signature_len) != 0) {
        der_init(w, request_buffer, capacity);
        total = write_signed_request(w, signature_code, info, signature, signature_len);
    }
    mem_wipe(signature);
    return total;
}

Status req_build_request(uint8_t* out, uint32_t* out_len, AlgorithmCode signature_code,
                         const SubjectComponents& components, const RsaPublicKey* public_key,
                         const RsaPrivateKey* private_key, const AttributeSlots& slots) {
    if (out == nullptr || out_len == nullptr || public_key == nullptr) {
        if (out_len != nullptr) {
            *out_len = 0;
        }
        return STATUS_REQUEST_FAILED;
    }
    uint8_t* request_buffer = new (std::nothrow) uint8_t[REQ_BUFFER_SIZE];
    uint8_t* info_buffer = new (std::nothrow) uint8_t[REQ_BUFFER_SIZE];
    if (request_buffer == nullptr || info_buffer == nullptr) {
        delete[] request_buffer;
        delete[] info_buffer;
        return STATUS_NO_MEMORY;
    }

    DerWriter w;
    *out_len = 0;
    Status status = STATUS_REQUEST_FAILED;
    if (req_assemble_signed(&w, request_buffer, REQ_BUFFER_SIZE, signature_code, components,
                            public_key, private_key, slots, info_buffer) != 0) {
        ByteSpan request{nullptr, REQ_BUFFER_SIZE};
        const uint32_t size = der_take(&w, &request);
        if (size != 0) {
            mem_copy(out, request.data, size);
            *out_len = size;
            status = STATUS_BUILT;
        }
    }
    delete[] request_buffer;
    delete[] info_buffer;
    return status;
}
