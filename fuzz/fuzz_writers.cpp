// The writers, driven by structure: random subject components, attribute
// slots, alternative names, key sizes, signature algorithms and passwords
// through the request and key-file builders. Every output must parse back
// with the system's own readers and say what went in; every buffer is
// exactly as large as the builder is promised, on the heap, so that a write
// past it is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "crypto/common/algorithm.h"
#include "crypto/der/der_reader.h"
#include "crypto/keyfile/keyfile.h"
#include "crypto/keyfile/keyfile_open.h"
#include "crypto/request/req_parse.h"
#include "crypto/request/req_subject.h"
#include "crypto/request/request.h"
#include "crypto/rsa/rand.h"
#include "crypto/rsa/rsa_keygen.h"
#include "fuzz/fuzz_support.h"

namespace {

struct KeyPair {
    RsaPublicKey public_key;
    RsaPrivateKey private_key;
};

// Key sizes from the smallest the generator makes to 1,024 bits: enough for
// every length form of the encodings, and quick to make once at start-up.
constexpr uint32_t kKeyBits[] = {508, 512, 520, 640, 767, 1024};
constexpr size_t kKeyCount = sizeof kKeyBits / sizeof kKeyBits[0];

const KeyPair& Key(size_t index) {
    static KeyPair keys[kKeyCount];
    static const bool made = [] {
        for (size_t k = 0; k < kKeyCount; ++k) {
            const uint32_t bits = kKeyBits[k];
            RandomPool pool;
            rand_init(&pool);
            for (uint32_t j = 0; j < 64; ++j) {
                const uint8_t seed[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(j), 7, 9};
                rand_update(&pool, seed, sizeof seed);
            }
            const RsaKeySpec spec{bits, bits != 640};
            if (rsa_generate_key_pair(&keys[k].public_key, &keys[k].private_key, &spec, &pool) !=
                STATUS_OK)
                fuzz::Fail("the fixed keys are made");
        }
        return true;
    }();
    (void)made;
    return keys[index];
}

ByteSpan NewSpan(const std::vector<uint8_t>& bytes) {
    ByteSpan span;
    span.data = new uint8_t[bytes.size() + 1];
    if (!bytes.empty())
        std::memcpy(span.data, bytes.data(), bytes.size());
    span.length = static_cast<uint32_t>(bytes.size());
    return span;
}

bool Present(const ByteSpan& span) {
    return span.data != nullptr && span.length != 0;
}

void CheckRequest(FuzzedDataProvider& input) {
    SubjectComponents components{};
    AttributeSlots slots{};
    uint32_t raw_bytes = 0;
    bool needs_failure = false;

    const uint32_t component_count = input.ConsumeIntegralInRange<uint32_t>(0, 20);
    for (uint32_t n = 0; n < component_count; ++n) {
        const uint32_t index =
            input.ConsumeIntegralInRange<uint32_t>(0, SUBJECT_COMPONENT_COUNT - 1);
        const std::vector<uint8_t> value =
            input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 300));
        span_array_release(&components[index], 1);
        components[index] = NewSpan(value);
    }
    for (uint32_t i = 0; i < SUBJECT_COMPONENT_COUNT; ++i) {
        if (!Present(components[i]))
            continue;
        raw_bytes += components[i].length + 16;
        needs_failure = needs_failure || i >= 15;
    }

    const uint32_t slot_count = input.ConsumeIntegralInRange<uint32_t>(0, 8);
    for (uint32_t n = 0; n < slot_count; ++n) {
        const uint32_t slot = input.ConsumeIntegralInRange<uint32_t>(0, ATTRIBUTE_SLOT_COUNT - 1);
        std::vector<uint8_t> value;
        if (slot == SLOT_NUMBER) {
            value.resize(4);
            u32_to_be_bytes(input.ConsumeIntegral<uint32_t>(), value.data());
        } else {
            value = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 200));
        }
        span_array_release(&slots[slot], 1);
        slots[slot] = NewSpan(value);
    }
    if (input.ConsumeBool()) {
        ByteSpan names[ALT_NAME_COUNT]{};
        std::vector<uint8_t> email =
            input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 120));
        std::vector<uint8_t> dns =
            input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 120));
        uint8_t ip[4];
        u32_to_be_bytes(input.ConsumeIntegral<uint32_t>(), ip);
        if (!email.empty())
            names[ALT_NAME_EMAIL] = {email.data(), static_cast<uint32_t>(email.size())};
        if (!dns.empty())
            names[ALT_NAME_DNS] = {dns.data(), static_cast<uint32_t>(dns.size())};
        if (input.ConsumeBool())
            names[ALT_NAME_IP] = {ip, 4};
        const ByteSpan before = slots[SLOT_SUBJECT_ALT_NAME];
        if (req_build_alt_names(slots, names) == STATUS_BUILT) {
            fuzz::Check(slots[SLOT_SUBJECT_ALT_NAME].length <= ALT_NAMES_MAX_SIZE,
                        "the alternative names fit their room");
            DerReader reader;
            DerElement e;
            der_reader_init(&reader, slots[SLOT_SUBJECT_ALT_NAME].data,
                            slots[SLOT_SUBJECT_ALT_NAME].length);
            fuzz::Check(
                der_read_expect(&reader, DER_TAG_SEQUENCE, &e) == STATUS_OK && der_at_end(&reader),
                "the alternative names are one DER SEQUENCE");
        } else {
            fuzz::Check(slots[SLOT_SUBJECT_ALT_NAME].data == before.data,
                        "a refused set of names leaves the slot alone");
        }
    }
    uint32_t slots_present = 0;
    bool attributes_fail = false;
    for (uint32_t s = 0; s < ATTRIBUTE_SLOT_COUNT; ++s) {
        if (slots[s].data == nullptr)
            continue;
        ++slots_present;
        raw_bytes += slots[s].length + 24;
        attributes_fail = attributes_fail || s == ATTRIBUTE_SLOT_COUNT - 1;
    }

    const AlgorithmCode codes[] = {ALG_MD5_WITH_RSA, 111, 101, 102, 5, 0};
    const AlgorithmCode code = codes[input.ConsumeIntegralInRange<size_t>(0, 5)];
    const bool signed_request = input.ConsumeIntegralInRange<int>(0, 7) != 0;
    const KeyPair& key = Key(input.ConsumeIntegralInRange<size_t>(0, kKeyCount - 1));

    std::unique_ptr<uint8_t[]> out(new uint8_t[REQ_BUFFER_SIZE]);
    uint32_t out_len = 12345;
    const Status built = req_build_request(out.get(), &out_len, code, components, &key.public_key,
                                           signed_request ? &key.private_key : nullptr, slots);
    const bool code_known = code == ALG_MD5_WITH_RSA || code == 111 || code == 101 || code == 102;
    if (built != STATUS_BUILT) {
        fuzz::Check(out_len == 0, "a failed build says 0 bytes");
        fuzz::Check(needs_failure || !code_known || raw_bytes > 2500,
                    "a small, valid request is built");
    } else {
        fuzz::Check(!needs_failure, "a component without attribute is refused");
        fuzz::Check(out_len > 0 && out_len <= REQ_BUFFER_SIZE, "the request fits its buffer");
        if (signed_request) {
            auto parsed = std::make_unique<ParsedRequest>();
            fuzz::Check(req_parse(out.get(), out_len, parsed.get()) == STATUS_OK,
                        "the request parses back");
            fuzz::Check(parsed->der_length == out_len, "the request is one element");
            uint32_t present = 0;
            for (uint32_t i = 0; i < SUBJECT_COMPONENT_COUNT; ++i)
                present += Present(components[i]) ? 1 : 0;
            fuzz::Check(parsed->name_count == present, "one name entry per component");
            for (uint32_t i = 0; i < SUBJECT_COMPONENT_COUNT; ++i) {
                if (!Present(components[i]) || i == SUBJECT_UNIQUE_IDENTIFIER)
                    continue;
                bool found = false;
                for (uint32_t n = 0; n < parsed->name_count && !found; ++n)
                    found = parsed->name[n].value_len == components[i].length &&
                            std::memcmp(parsed->name[n].value, components[i].data,
                                        components[i].length) == 0;
                fuzz::Check(found, "every component is in the name");
            }
            if (!attributes_fail && raw_bytes < 2500)
                fuzz::Check(parsed->attribute_count == slots_present,
                            "one attribute per present slot");
            fuzz::Check(parsed->key_status == STATUS_OK &&
                            std::memcmp(parsed->key.modulus, key.public_key.modulus,
                                        RSA_MAX_MODULUS_LEN) == 0,
                        "the request carries the key");
            const Status verified = req_verify_signature(parsed.get());
            if (code == ALG_MD5_WITH_RSA || code == 111)
                fuzz::Check(verified == STATUS_OK, "the signature verifies");
        } else {
            DerReader reader;
            DerElement e;
            der_reader_init(&reader, out.get(), out_len);
            fuzz::Check(
                der_read_expect(&reader, DER_TAG_SEQUENCE, &e) == STATUS_OK && der_at_end(&reader),
                "the unsigned information is one DER SEQUENCE");
        }
    }
    span_array_release(components, SUBJECT_COMPONENT_COUNT);
    span_array_release(slots, ATTRIBUTE_SLOT_COUNT);
}

void CheckKeyFile(FuzzedDataProvider& input) {
    const KeyPair& key = Key(input.ConsumeIntegralInRange<size_t>(0, kKeyCount - 1));
    const AlgorithmCode algorithm = input.ConsumeBool() ? ALG_PBE_MD5_DES_CBC : ALG_PBE_MD2_DES_CBC;
    const uint32_t iterations = input.ConsumeIntegralInRange<uint32_t>(0, 130);
    const std::vector<uint8_t> password =
        input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 80));

    std::unique_ptr<uint8_t[]> out(new uint8_t[KEYFILE_BUFFER_SIZE]);
    uint32_t out_len = 0;
    const Status status =
        keyfile_protect_private_key(out.get(), &out_len, algorithm, iterations, password.data(),
                                    static_cast<uint32_t>(password.size()), &key.private_key);
    const bool in_range =
        iterations >= KEYFILE_MIN_ITERATIONS && iterations <= KEYFILE_MAX_ITERATIONS;
    if (!in_range) {
        fuzz::Check(status == KEYFILE_FAILED, "an iteration count out of range is refused");
        return;
    }
    fuzz::Check(status == KEYFILE_OK, "the key is protected");
    fuzz::Check(out_len > 0 && out_len <= KEYFILE_BUFFER_SIZE, "the key file fits its buffer");

    auto opened = std::make_unique<RsaPrivateKey>();
    KeyFileInfo info;
    fuzz::Check(keyfile_open_private_key(out.get(), out_len, password.data(),
                                         static_cast<uint32_t>(password.size()), opened.get(),
                                         &info) == KEYFILE_OK,
                "the key file opens with its password");
    fuzz::Check(info.iterations == iterations && info.scheme == algorithm,
                "the envelope says how it was protected");
    fuzz::Check(std::memcmp(opened.get(), &key.private_key, sizeof(RsaPrivateKey)) == 0,
                "the key comes back whole");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool())
        CheckRequest(input);
    else
        CheckKeyFile(input);
    return 0;
}
