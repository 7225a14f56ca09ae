// Published RSA signatures (NIST SigGen, PKCS#1 v1.5 with SHA-1) check the
// modular exponentiation at full size: the encoded message raised to d modulo
// n is S, and S raised to e gives the encoded message back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "crypto/bignum/bignum.h"
#include "crypto/bignum/bn_mont.h"
#include "crypto/digest/sha1.h"
#include "tests/support/vectors.h"

namespace {

using vectors::Bytes;

// EMSA-PKCS1-v1_5 with SHA-1: 00 01 FF..FF 00 || DigestInfo prefix || SHA-1(msg).
Bytes encode_sha1_block(const Bytes& msg, size_t k) {
    Sha1Context ctx;
    sha1_init(&ctx);
    sha1_update(&ctx, msg.data(), static_cast<uint32_t>(msg.size()));
    uint8_t digest[20];
    sha1_final(digest, &ctx);
    Bytes t = vectors::from_hex("3021300906052b0e03021a05000414");
    t.insert(t.end(), digest, digest + 20);
    // Made at its full size at once: growing a two-byte vector makes GCC 12
    // at -O3 report a false -Warray-bounds.
    Bytes em(k, 0xFF);
    em[0] = 0x00;
    em[1] = 0x01;
    em[k - t.size() - 1] = 0x00;
    std::copy(t.begin(), t.end(), em.end() - static_cast<std::ptrdiff_t>(t.size()));
    return em;
}

Bytes mod_exp_bytes(const Bytes& base, const Bytes& exponent, const Bytes& modulus) {
    BnDigit b[BN_MAX_DIGITS], c[BN_MAX_DIGITS], d[BN_MAX_DIGITS], a[BN_MAX_DIGITS];
    bn_decode(b, BN_MAX_DIGITS, base.data(), static_cast<uint32_t>(base.size()));
    bn_decode(c, BN_MAX_DIGITS, exponent.data(), static_cast<uint32_t>(exponent.size()));
    bn_decode(d, BN_MAX_DIGITS, modulus.data(), static_cast<uint32_t>(modulus.size()));
    uint32_t nd = bn_digits(d, BN_MAX_DIGITS);
    bn_mod_exp(a, b, c, bn_digits(c, BN_MAX_DIGITS), d, nd);
    Bytes out(modulus.size());
    bn_encode(out.data(), static_cast<uint32_t>(out.size()), a, nd);
    return out;
}

TEST(NistSigGen, ModularExponentiationReproducesSignatures) {
    std::vector<vectors::Record> records = vectors::read_records("rsa/SigGen15_186-2_SHA1.txt");
    Bytes n, e, d;
    int checked = 0;
    for (const vectors::Record& rec : records) {
        if (rec.has("n"))
            n = rec.bytes("n");
        if (rec.has("e"))
            e = rec.bytes("e");
        if (rec.has("d"))
            d = rec.bytes("d");
        if (!rec.has("S") || n.size() * 8 > 2048)
            continue;
        // Only a couple of records per modulus: every one costs two full
        // exponentiations on the plain path.
        if (checked % 10 >= 2) {
            ++checked;
            continue;
        }
        ++checked;
        Bytes em = encode_sha1_block(rec.bytes("Msg"), n.size());
        Bytes s = rec.bytes("S");
        EXPECT_EQ(vectors::to_hex(mod_exp_bytes(em, d, n)), vectors::to_hex(s)) << rec.where();
        EXPECT_EQ(vectors::to_hex(mod_exp_bytes(s, e, n)), vectors::to_hex(em)) << rec.where();
    }
    EXPECT_EQ(checked, 30);  // 10 records each for 1024, 1536 and 2048 bits
}

// The Montgomery exponentiation on every record (it is fast enough), on both
// sets of machine routines where the processor has the ADX one.
TEST(NistSigGen, MontgomeryExponentiationReproducesEverySignature) {
    std::vector<vectors::Record> records = vectors::read_records("rsa/SigGen15_186-2_SHA1.txt");
    const BnMontKernels initial = bn_mont_kernels();
    for (BnMontKernels kernels : {BnMontKernels::Portable, BnMontKernels::Adx}) {
        if (!bn_mont_use_kernels(kernels))
            continue;
        Bytes n, e, d;
        int checked = 0;
        for (const vectors::Record& rec : records) {
            if (rec.has("n"))
                n = rec.bytes("n");
            if (rec.has("e"))
                e = rec.bytes("e");
            if (rec.has("d"))
                d = rec.bytes("d");
            if (!rec.has("S") || n.size() * 8 > 2048)
                continue;
            ++checked;
            BnDigit b[BN_MAX_DIGITS], c[BN_MAX_DIGITS], m[BN_MAX_DIGITS], a[BN_MAX_DIGITS];
            Bytes em = encode_sha1_block(rec.bytes("Msg"), n.size());
            bn_decode(b, BN_MAX_DIGITS, em.data(), static_cast<uint32_t>(em.size()));
            bn_decode(c, BN_MAX_DIGITS, d.data(), static_cast<uint32_t>(d.size()));
            bn_decode(m, BN_MAX_DIGITS, n.data(), static_cast<uint32_t>(n.size()));
            uint32_t nd = bn_digits(m, BN_MAX_DIGITS);
            bn_mod_exp_odd(a, b, c, bn_digits(c, BN_MAX_DIGITS), m, nd);
            Bytes s(n.size());
            bn_encode(s.data(), static_cast<uint32_t>(s.size()), a, nd);
            EXPECT_EQ(vectors::to_hex(s), vectors::to_hex(rec.bytes("S")))
                << rec.where() << (kernels == BnMontKernels::Adx ? " ADX" : " portable");
        }
        EXPECT_EQ(checked, 30);
    }
    ASSERT_TRUE(bn_mont_use_kernels(initial));
}

}  // namespace
