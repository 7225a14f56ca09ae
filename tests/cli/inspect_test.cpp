// The inspect report built in process: clean files at several sizes, each
// fault with its sentence and exit code 1, unreadable input with exit 2.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "cli/inspect_report.h"
#include "crypto/keyfile/keyfile.h"
#include "crypto/request/request.h"
#include "tests/request/test_keys.h"

namespace {

struct Files {
    std::string request;
    std::string key;
};

// A request and its key file from the deterministic key of `bits` and `seed`.
Files make_files(uint32_t bits, uint32_t seed, bool attributes, const std::string& password) {
    const test_keys::KeyPair& pair = test_keys::generate(bits, seed);
    SubjectComponents components{};
    AttributeSlots slots{};
    std::string org = "EMPRESA \xD1U\xD1O";
    std::string challenge = "impugna";
    components[0] =
        ByteSpan{reinterpret_cast<uint8_t*>(org.data()), static_cast<uint32_t>(org.size())};
    if (attributes)
        slots[SLOT_CHALLENGE_PASSWORD] = ByteSpan{reinterpret_cast<uint8_t*>(challenge.data()),
                                                  static_cast<uint32_t>(challenge.size())};
    std::string request(REQ_BUFFER_SIZE, '\0');
    uint32_t len = 0;
    EXPECT_EQ(req_build_request(reinterpret_cast<uint8_t*>(request.data()), &len, ALG_MD5_WITH_RSA,
                                components, &pair.public_key, &pair.private_key, slots),
              STATUS_BUILT);
    request.resize(len);
    std::string key(KEYFILE_BUFFER_SIZE, '\0');
    uint32_t key_len = 0;
    EXPECT_EQ(keyfile_protect_private_key(
                  reinterpret_cast<uint8_t*>(key.data()), &key_len, ALG_PBE_MD5_DES_CBC, 1,
                  reinterpret_cast<const uint8_t*>(password.data()),
                  static_cast<uint32_t>(password.size()), &pair.private_key),
              KEYFILE_OK);
    key.resize(key_len);
    return {request, key};
}

bool has_problem(const cli::InspectReport& r, const std::string& utf8) {
    for (const std::string& p : r.problems)
        if (p == utf8)
            return true;
    return false;
}

TEST(Inspect, OwnFilesInspectClean) {
    for (uint32_t bits : {508u, 1025u, 2048u}) {
        for (bool attributes : {false, true}) {
            for (bool trailer : {false, true}) {
                SCOPED_TRACE(std::to_string(bits) + (attributes ? " attributes" : "") +
                             (trailer ? " trailer" : ""));
                Files f = make_files(bits, 1, attributes, "Clave2026");
                if (trailer)
                    f.request += "DATOS\r\nDN_O=EMPRESA\r\nDN_C=MX";
                const cli::InspectReport r = cli::InspectFiles(f.request, &f.key, "Clave2026");
                EXPECT_EQ(r.exit_code, 0) << cli::RenderText(r);
                EXPECT_EQ(r.signature, cli::CheckState::Valid);
                EXPECT_EQ(r.key, cli::CheckState::Valid);
                EXPECT_EQ(r.key_bits, bits);
                ASSERT_EQ(r.subject.size(), 1u);
                EXPECT_EQ(r.subject[0].first, "Raz\xC3\xB3n social");
                EXPECT_EQ(r.subject[0].second, "EMPRESA \xC3\x91U\xC3\x91O");
                EXPECT_EQ(r.has_trailer, trailer);
                if (trailer) {
                    const std::vector<std::string> lines = {"DATOS", "DN_O=EMPRESA", "DN_C=MX"};
                    EXPECT_EQ(r.trailer, lines);
                }
                EXPECT_EQ(r.attributes.size(), attributes ? 1u : 0u);
                const std::string json = cli::RenderJson(r);
                EXPECT_EQ(json.find("impugna\""), std::string::npos) << "challenge value shown";
            }
        }
    }
}

TEST(Inspect, EachFaultHasItsSentence) {
    const Files good = make_files(1024, 2, true, "correcta");
    const Files other = make_files(1024, 3, true, "correcta");
    const std::string sig_bad =
        "La firma de la solicitud no es v\xC3\xA1lida: el archivo fue "
        "alterado o est\xC3\xA1 da\xC3\xB1"
        "ado.";
    struct Case {
        const char* name;
        std::string request;
        std::string key;
        std::string password;
        std::string sentence;
    };
    std::string flipped_signature = good.request;
    flipped_signature[flipped_signature.size() - 3] ^= 0x01;
    std::string flipped_subject = good.request;
    const size_t org = flipped_subject.find("EMPRESA");
    ASSERT_NE(org, std::string::npos);
    flipped_subject[org] ^= 0x01;
    std::vector<Case> cases = {
        {"flipped signature byte", flipped_signature, good.key, "correcta", sig_bad},
        {"flipped subject byte", flipped_subject, good.key, "correcta", sig_bad},
        {"key of another request", good.request, other.key, "correcta",
         "La llave privada no corresponde a esta solicitud."},
        {"key given as the request", good.key, good.key, "correcta",
         "Este archivo es una llave privada: no lo env\xC3\xAD"
         "es."},
        {"request given as the key", good.request, good.request, "correcta",
         "El archivo de llave es una solicitud, no una llave privada."},
    };
    // Wrong passwords, enough of them that some pass the padding check.
    for (int i = 0; i < 600; ++i)
        cases.push_back({"wrong password", good.request, good.key, "mala" + std::to_string(i),
                         "La clave de acceso no abre la llave privada."});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.password);
        const cli::InspectReport r = cli::InspectFiles(c.request, &c.key, c.password);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_TRUE(has_problem(r, c.sentence)) << cli::RenderText(r);
    }
}

// Cut at every length, or random bytes: exit code 2 (or 1 where the start
// still reads as a key), never a crash; the sanitizer build runs this too.
TEST(Inspect, MalformedInputIsUnreadable) {
    const Files good = make_files(1024, 4, true, "x");
    for (size_t n = 0; n < good.request.size(); ++n) {
        const cli::InspectReport r = cli::InspectFiles(good.request.substr(0, n), nullptr, "");
        EXPECT_EQ(r.exit_code, 2) << n << " bytes";
    }
    for (size_t n = 0; n < good.key.size(); ++n) {
        const std::string cut = good.key.substr(0, n);
        const cli::InspectReport r = cli::InspectFiles(good.request, &cut, "x");
        EXPECT_EQ(r.exit_code, 2) << n << " key bytes";
    }
    std::mt19937 random(15);
    for (int i = 0; i < 300; ++i) {
        std::string bytes(random() % 600, '\0');
        for (char& b : bytes)
            b = static_cast<char>(random());
        if (i % 2 == 0 && !bytes.empty())
            bytes[0] = 0x30;  // a SEQUENCE, to get past the first byte
        EXPECT_EQ(cli::InspectFiles(bytes, nullptr, "").exit_code, 2);
        EXPECT_EQ(cli::InspectFiles(good.request, &bytes, "x").exit_code, 2);
    }
}

}  // namespace
