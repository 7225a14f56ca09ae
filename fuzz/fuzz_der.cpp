// The DER reader and what `reqwiz inspect` builds on it: any bytes walked as
// DER element by element with every value reader, read as a request, as each
// key encoding and as a key file, and inspected as a request file and as a
// key file (beside a request of the corpus whose key it may hold).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/inspect_report.h"
#include "crypto/common/mem.h"
#include "crypto/der/der_reader.h"
#include "crypto/der/pem.h"
#include "crypto/keyfile/keyfile.h"
#include "crypto/keyfile/keyfile_open.h"
#include "crypto/request/key_decoding.h"
#include "crypto/request/req_parse.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr char kPassword[] = "Clave2026";
// Opening a key file costs one digest per iteration; files of other tools
// carry thousands, and a count of millions is a slow input, not a fault.
constexpr uint32_t kMostIterations = 4096;

void Walk(DerReader* reader, int depth) {
    while (!der_at_end(reader)) {
        DerElement e;
        DerElement peeked;
        const Status peek = der_peek_element(reader, &peeked);
        if (der_read_element(reader, &e) != STATUS_OK) {
            fuzz::Check(peek != STATUS_OK, "peek and read agree");
            return;
        }
        fuzz::Check(peek == STATUS_OK && peeked.size == e.size, "peek and read agree");
        fuzz::Check(e.value + e.length == e.start + e.size, "the value ends the element");
        if ((e.tag & DER_CONSTRUCTED) != 0) {
            DerReader inner;
            if (depth < 64 && der_enter(&e, &inner) == STATUS_OK)
                Walk(&inner, depth + 1);
            continue;
        }
        const uint8_t* bytes = nullptr;
        uint32_t count = 0;
        uint32_t number = 0;
        bool flag = false;
        uint8_t unused = 0;
        DerTime time;
        (void)der_get_unsigned(&e, &bytes, &count);
        (void)der_get_uint32(&e, &number);
        (void)der_get_boolean(&e, &flag);
        (void)der_get_null(&e);
        (void)der_get_bit_string(&e, &bytes, &count, &unused);
        if (der_get_oid(&e, &bytes, &count) == STATUS_OK) {
            char text[128];
            const uint32_t written = der_oid_text(bytes, count, text, sizeof text);
            fuzz::Check(written < sizeof text, "the dotted form fits what it says");
        }
        (void)der_get_time(&e, &time);
    }
}

// The DER inside a PEM block of `bytes`, or `bytes` themselves.
std::string DerOf(const std::string& bytes) {
    PemBlock block;
    if (pem_find(reinterpret_cast<const uint8_t*>(bytes.data()),
                 static_cast<uint32_t>(bytes.size()), &block) != STATUS_OK)
        return bytes;
    std::string der(block.body_length, '\0');
    uint32_t length = 0;
    if (base64_decode(block.body, block.body_length, reinterpret_cast<uint8_t*>(der.data()),
                      static_cast<uint32_t>(der.size()), &length) != STATUS_OK)
        return bytes;
    der.resize(length);
    return der;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string corpus_request = fuzz::SourceFile("fuzz/corpus/der/request.req");
    const uint32_t len = static_cast<uint32_t>(size);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // An exact copy on the heap, so that a read past the end is caught.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
    mem_copy(exact.get(), data, len);

    DerReader top;
    der_reader_init(&top, exact.get(), len);
    Walk(&top, 0);

    auto request = std::make_unique<ParsedRequest>();
    if (req_parse(exact.get(), len, request.get()) == STATUS_OK) {
        fuzz::Check(request->der_length <= len, "the request lies inside the input");
        (void)req_verify_signature(request.get());
    }
    auto public_key = std::make_unique<RsaPublicKey>();
    auto private_key = std::make_unique<RsaPrivateKey>();
    (void)rsa_read_public_key(exact.get(), len, public_key.get());
    (void)rsa_read_public_key_info(exact.get(), len, public_key.get());
    (void)rsa_read_private_key(exact.get(), len, private_key.get());
    (void)rsa_read_private_key_info(exact.get(), len, private_key.get());

    KeyFileInfo info;
    bool openable = keyfile_read_info(exact.get(), len, &info) == KEYFILE_OK &&
                    info.iterations <= kMostIterations;
    if (openable) {
        (void)keyfile_open_private_key(exact.get(), len,
                                       reinterpret_cast<const uint8_t*>(kPassword),
                                       sizeof kPassword - 1, private_key.get(), &info);
    }

    const cli::InspectReport as_request = cli::InspectFiles(bytes, nullptr, kPassword);
    (void)cli::RenderText(as_request);
    (void)cli::RenderJson(as_request);

    const std::string der = DerOf(bytes);
    KeyFileInfo envelope;
    const Status status = keyfile_read_info(reinterpret_cast<const uint8_t*>(der.data()),
                                            static_cast<uint32_t>(der.size()), &envelope);
    if (status != KEYFILE_OK || envelope.iterations <= kMostIterations) {
        const cli::InspectReport as_key = cli::InspectFiles(corpus_request, &bytes, kPassword);
        (void)cli::RenderText(as_key);
        (void)cli::RenderJson(as_key);
    }
    return 0;
}
