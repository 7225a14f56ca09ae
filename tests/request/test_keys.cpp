#include "tests/request/test_keys.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>

#include "crypto/request/key_encoding.h"
#include "crypto/rsa/rand.h"
#include "crypto/rsa/rsa_keygen.h"

namespace test_keys {

const KeyPair& generate(uint32_t bits, uint32_t seed) {
    static std::map<std::pair<uint32_t, uint32_t>, std::unique_ptr<KeyPair>> made;
    auto& slot = made[{bits, seed}];
    if (!slot) {
        RandomPool pool;
        rand_init(&pool);
        for (uint32_t j = 0; j < 64; ++j) {
            const uint32_t v = seed * 64 + j;
            const uint8_t bytes[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                                      static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
            rand_update(&pool, bytes, 4);
        }
        slot = std::make_unique<KeyPair>();
        const RsaKeySpec key_spec{bits, 1};
        EXPECT_EQ(rsa_generate_key_pair(&slot->public_key, &slot->private_key, &key_spec, &pool),
                  STATUS_OK)
            << bits << " bits, seed " << seed;
    }
    return *slot;
}

const KeyPair& with_private_key_info_size(uint32_t bits, uint32_t size) {
    for (uint32_t seed = 0; seed < 200; ++seed) {
        const KeyPair& pair = generate(bits, seed);
        if (private_key_info(pair.private_key).size() == size) {
            return pair;
        }
    }
    ADD_FAILURE() << "no " << bits << "-bit key with a PrivateKeyInfo of " << size << " bytes";
    return generate(bits, 0);
}

Bytes contents(DerWriter* w) {
    if (w->position >= w->capacity) {
        return {};
    }
    return Bytes(w->data + w->position, w->data + w->capacity);
}

Bytes private_key_info(const RsaPrivateKey& key) {
    Bytes buffer(4000);
    auto w = std::make_unique<DerWriter>();
    der_init(w.get(), buffer.data(), static_cast<uint32_t>(buffer.size()));
    const uint32_t n = rsa_write_private_key_info(w.get(), ALG_RSA, &key);
    EXPECT_NE(n, 0u);
    return contents(w.get());
}

Bytes slice(const Bytes& bytes, size_t offset, size_t count) {
    if (offset >= bytes.size()) {
        return {};
    }
    const size_t end = offset + count < bytes.size() ? offset + count : bytes.size();
    return Bytes(bytes.begin() + static_cast<long>(offset), bytes.begin() + static_cast<long>(end));
}

}  // namespace test_keys
