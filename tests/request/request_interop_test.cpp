// OpenSSL reads our requests: it verifies each self-signature, finds in it the
// public key of the key file written for the same pair, and, signing the
// request information itself with the decrypted key, gets our signature byte
// for byte. Subject values carry accented ISO-8859-1 letters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/keyfile/keyfile.h"
#include "crypto/request/request.h"
#include "tests/request/openssl_reader.h"
#include "tests/request/test_keys.h"
#include "tests/support/process.h"
#include "tests/support/vectors.h"

namespace {

using test_keys::Bytes;
using testing_support::run;
using testing_support::TempDir;

// ISO-8859-1 text: Ó = D3, Ñ = D1, Ú = DA, Í = CD, É = C9.
const Bytes organisation = {0xD3, 'R', 'G', 'A', 'N', 'O', ' ', 0xD1, 'A', 'N', 'D', 0xDA};
const Bytes common_name = {'M', 'A', 'R', 0xCD, 'A', ' ', 'L', 0xD3, 'P', 'E', 'Z', ' '};
const Bytes street = {'R', 'E', 'F', 'O', 'R', 'M', 'A', ' ', '2',  '2', '2', '.',
                      ' ', 'C', 'O', 'L', '.', ' ', 'J', 'U', 0xC1, 'R', 'E', 'Z'};
const std::string country = "MX";
const std::string email = "maria.lopez@example.mx";
const std::string uid = "LOPM800101XYZ";
const std::string challenge = "reto1234";
const std::string dns_name = "example.mx";

ByteSpan span(const Bytes& b) {
    return ByteSpan{const_cast<uint8_t*>(b.data()), static_cast<uint32_t>(b.size())};
}
ByteSpan span(const std::string& s) {
    return ByteSpan{reinterpret_cast<uint8_t*>(const_cast<char*>(s.data())),
                    static_cast<uint32_t>(s.size())};
}

// The request for the key pair, with subject and attributes as the wizard
// fills them; slot 20 is built by req_build_alt_names.
Bytes build_request(const test_keys::KeyPair& key) {
    SubjectComponents c{};
    c[0] = span(organisation);
    c[2] = span(common_name);
    c[4] = span(street);
    c[6] = span(country);
    c[9] = span(uid);
    c[SUBJECT_EMAIL] = span(email);
    AttributeSlots s{};
    uint8_t number[4];
    u32_to_be_bytes(7, number);
    s[SLOT_CHALLENGE_PASSWORD] = span(challenge);
    s[SLOT_NUMBER] = ByteSpan{number, 4};
    uint8_t ip[4] = {10, 0, 0, 1};
    const ByteSpan names[ALT_NAME_COUNT] = {span(email), span(dns_name), {ip, 4}};
    EXPECT_EQ(req_build_alt_names(s, names), STATUS_BUILT);

    Bytes out(8192);
    uint32_t length = 0;
    EXPECT_EQ(req_build_request(out.data(), &length, ALG_MD5_WITH_RSA, c, &key.public_key,
                                &key.private_key, s),
              STATUS_BUILT);
    span_array_release(&s[SLOT_SUBJECT_ALT_NAME], 1);
    out.resize(length);
    return out;
}

Bytes protect(const RsaPrivateKey& key, const std::string& password) {
    Bytes out(8192);
    uint32_t length = 0;
    EXPECT_EQ(keyfile_protect_private_key(out.data(), &length, ALG_PBE_MD5_DES_CBC, 1,
                                          reinterpret_cast<const uint8_t*>(password.data()),
                                          static_cast<uint32_t>(password.size()), &key),
              KEYFILE_OK);
    out.resize(length);
    return out;
}

// Length of the DER element starting at `at`, header included.
size_t element_size(const Bytes& der, size_t at) {
    const uint8_t first = der[at + 1];
    if (first < 0x80) {
        return 2 + first;
    }
    size_t length = 0;
    const size_t octets = first & 0x7F;
    for (size_t i = 0; i < octets; ++i) {
        length = length * 256 + der[at + 2 + i];
    }
    return 2 + octets + length;
}

std::string run_text(const std::vector<std::string>& argv) {
    const auto result = run(argv);
    EXPECT_EQ(result.exit_code, 0) << argv[1] << ": " << openssl_reader::all_output(result);
    return result.out;
}

TEST(RequestInterop, OpenSslVerifiesAndReproducesTheSignature) {
    const std::string password = "Clave2026";
    for (const uint32_t bits : {508u, 1025u, 1536u, 2048u}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        const test_keys::KeyPair& key = test_keys::generate(bits, 5);
        const Bytes request = build_request(key);
        ASSERT_FALSE(request.empty());
        TempDir dir;
        const std::string req_file = dir.file("request.req");
        testing_support::write_file(req_file, request);

        // 1. The self-signature. OpenSSL 3.0 exits 0 even when it fails, and
        //    the verdict may go to either stream.
        const auto verify =
            run({"openssl", "req", "-inform", "DER", "-in", req_file, "-verify", "-noout"});
        const std::string verdict = openssl_reader::all_output(verify);
        EXPECT_NE(verdict.find("verify OK"), std::string::npos) << verdict;
        EXPECT_EQ(verdict.find("fail"), std::string::npos) << verdict;

        // 2. The key file of the same pair holds the request's public key.
        const Bytes private_key_info =
            openssl_reader::decrypt_key_file(dir, protect(key.private_key, password), password);
        ASSERT_FALSE(private_key_info.empty());
        const std::string key_file = dir.file("key.der");
        testing_support::write_file(key_file, private_key_info);
        const std::string from_request =
            run_text({"openssl", "req", "-inform", "DER", "-in", req_file, "-noout", "-pubkey"});
        const std::string from_key =
            run_text({"openssl", "pkey", "-inform", "DER", "-in", key_file, "-pubout"});
        EXPECT_FALSE(from_key.empty());
        EXPECT_EQ(from_request, from_key);

        // 3. OpenSSL's own signature over our request information equals ours.
        const size_t info_size = element_size(request, 4);
        const std::string info_file = dir.file("info.der");
        testing_support::write_file(info_file, test_keys::slice(request, 4, info_size));
        const std::string signature_file = dir.file("signature");
        run_text({"openssl", "dgst", "-md5", "-sign", key_file, "-keyform", "DER", "-out",
                  signature_file, info_file});
        const Bytes theirs = testing_support::read_file(signature_file);
        const uint32_t k = (bits + 7) / 8;
        ASSERT_EQ(theirs.size(), k);
        EXPECT_EQ(vectors::to_hex(test_keys::slice(request, request.size() - k, k)),
                  vectors::to_hex(theirs));
    }
}

// GnuTLS reads requests strictly: the attributes element must be there even
// when it is empty. Requests with and without attributes are read, and it
// finds the key size and the signature algorithm in them.
TEST(RequestInterop, GnuTlsReadsRequestsWithAndWithoutAttributes) {
    for (const uint32_t bits : {508u, 1025u, 2048u}) {
        const test_keys::KeyPair& key = test_keys::generate(bits, 5);
        SubjectComponents plain{};
        plain[0] = span(organisation);
        plain[6] = span(country);
        Bytes without(8192);
        uint32_t length = 0;
        ASSERT_EQ(req_build_request(without.data(), &length, ALG_MD5_WITH_RSA, plain,
                                    &key.public_key, &key.private_key, AttributeSlots{}),
                  STATUS_BUILT);
        without.resize(length);
        for (const auto& [what, request] :
             {std::pair{"without attributes", without}, {"with attributes", build_request(key)}}) {
            SCOPED_TRACE(std::to_string(bits) + " bits, " + what);
            TempDir dir;
            const std::string file = dir.file("request.req");
            testing_support::write_file(file, request);
            const auto info = run({"certtool", "--crq-info", "--inder", "--infile", file});
            ASSERT_EQ(info.exit_code, 0) << info.out << info.err;
            EXPECT_NE(info.out.find("Modulus (bits " + std::to_string(bits) + ")"),
                      std::string::npos)
                << info.out;
            EXPECT_NE(info.out.find("Signature Algorithm: RSA-MD5"), std::string::npos) << info.out;
        }
    }
}

// The check above is not vacuous: one changed signature bit and OpenSSL no
// longer says "verify OK".
TEST(RequestInterop, ChangedSignatureIsRejected) {
    const test_keys::KeyPair& key = test_keys::generate(1024, 5);
    Bytes request = build_request(key);
    request[request.size() - 10] ^= 0x01;
    TempDir dir;
    const std::string req_file = dir.file("request.req");
    testing_support::write_file(req_file, request);
    const auto verify =
        run({"openssl", "req", "-inform", "DER", "-in", req_file, "-verify", "-noout"});
    const std::string verdict = openssl_reader::all_output(verify);
    EXPECT_EQ(verdict.find("verify OK"), std::string::npos) << verdict;
}

// ISO-8859-1 bytes as UTF-8 text.
std::string utf8(const Bytes& latin1) {
    std::string out;
    for (const uint8_t b : latin1) {
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

// OpenSSL reads the subject with our bytes: it shows the accented ISO-8859-1
// letters as the same letters (in UTF-8), and the e-mail, written last,
// first (RFC 2253 lists the RDNs last to first).
TEST(RequestInterop, SubjectAsOpenSslReadsIt) {
    const test_keys::KeyPair& key = test_keys::generate(1024, 5);
    TempDir dir;
    const std::string req_file = dir.file("request.req");
    testing_support::write_file(req_file, build_request(key));
    const std::string subject = run_text({"openssl", "req", "-inform", "DER", "-in", req_file,
                                          "-noout", "-subject", "-nameopt", "RFC2253,-esc_msb"});
    // The common name's trailing space comes back escaped.
    const std::string cn = utf8(Bytes(common_name.begin(), common_name.end() - 1)) + "\\ ";
    const std::string expected = "subject=emailAddress=" + email + ",O=" + utf8(organisation) +
                                 ",CN=" + cn + ",street=" + utf8(street) + ",C=MX,";
    EXPECT_EQ(subject.find(expected), 0u) << subject;
}

}  // namespace
