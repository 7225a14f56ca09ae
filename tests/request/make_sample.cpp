// Writes a sample request and key file for anyone to inspect:
//
//   make_sample <folder>
//
// creates <folder>/sample.req (DER PKCS#10, md5WithRSAEncryption) and
// <folder>/sample.key (DER PKCS#8, pbeWithMD5AndDES-CBC under the password
// below) from a 2048-bit key pair. The random pool is seeded with fixed text,
// so every run writes the same two files.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crypto/keyfile/keyfile.h"
#include "crypto/request/request.h"
#include "crypto/rsa/rand.h"
#include "crypto/rsa/rsa_keygen.h"

namespace {

const char* const password = "Muestra2026";

ByteSpan text(const char* s) {
    return ByteSpan{reinterpret_cast<uint8_t*>(const_cast<char*>(s)),
                    static_cast<uint32_t>(std::strlen(s))};
}

bool write_file(const std::filesystem::path& path, const uint8_t* data, uint32_t length) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), length);
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample <folder>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);

    // A fixed seed: 256 bytes of repeated text.
    RandomPool pool;
    rand_init(&pool);
    const std::string seed = "reqwiz sample request, fixed seed. ";
    for (uint32_t fed = 0; fed < RAND_SEED_BYTES; fed += static_cast<uint32_t>(seed.size())) {
        rand_update(&pool, reinterpret_cast<const uint8_t*>(seed.data()),
                    static_cast<uint32_t>(seed.size()));
    }
    static RsaPublicKey public_key;
    static RsaPrivateKey private_key;
    const RsaKeySpec key_spec{2048, 1};
    if (rsa_generate_key_pair(&public_key, &private_key, &key_spec, &pool) != STATUS_OK) {
        std::fprintf(stderr, "make_sample: key generation failed\n");
        return 1;
    }

    // Subject and attributes as the wizard fills them; accented letters in
    // ISO-8859-1.
    SubjectComponents components{};
    components[0] = text("EMPRESA DE PRUEBA S.A.");
    components[2] = text(
        "MAR\xCD"
        "A L\xD3PEZ GARC\xCD"
        "A");
    components[4] = text("REFORMA 222 4. CENTRO");
    components[5] = text("06600");
    components[6] = text("MX");
    components[7] = text("CIUDAD DE M\xC9XICO");
    components[8] = text("CUAUHT\xC9MOC");
    components[9] = text("LOGM800101XYZ");
    components[SUBJECT_EMAIL] = text("maria.lopez@example.mx");
    AttributeSlots slots{};
    slots[SLOT_CHALLENGE_PASSWORD] = text("reto1234");
    uint8_t number[4];
    u32_to_be_bytes(1, number);
    slots[SLOT_NUMBER] = ByteSpan{number, 4};
    uint8_t ip[4] = {10, 0, 0, 1};
    const ByteSpan names[ALT_NAME_COUNT] = {text("maria.lopez@example.mx"), {}, {ip, 4}};
    req_build_alt_names(slots, names);

    std::vector<uint8_t> key_area(8192), request_area(8192);
    uint32_t key_length = 0, request_length = 0;
    const Status key_status =
        keyfile_protect_private_key(key_area.data(), &key_length, ALG_PBE_MD5_DES_CBC, 1,
                                    reinterpret_cast<const uint8_t*>(password),
                                    static_cast<uint32_t>(std::strlen(password)), &private_key);
    const Status request_status =
        req_build_request(request_area.data(), &request_length, ALG_MD5_WITH_RSA, components,
                          &public_key, &private_key, slots);
    span_array_release(&slots[SLOT_SUBJECT_ALT_NAME], 1);
    std::memset(&private_key, 0, sizeof private_key);
    if (key_status != KEYFILE_OK || request_status != STATUS_BUILT) {
        std::fprintf(stderr, "make_sample: key file status %u, request status %u\n", key_status,
                     request_status);
        return 1;
    }

    const std::filesystem::path req_path = folder / "sample.req";
    const std::filesystem::path key_path = folder / "sample.key";
    if (!write_file(req_path, request_area.data(), request_length) ||
        !write_file(key_path, key_area.data(), key_length)) {
        std::fprintf(stderr, "make_sample: cannot write into %s\n", folder.c_str());
        return 1;
    }
    std::filesystem::permissions(
        key_path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, error);
    std::printf("%s (%u bytes)\n%s (%u bytes), password %s\n\n", req_path.c_str(), request_length,
                key_path.c_str(), key_length, password);
    std::printf("openssl req -inform DER -in %s -noout -text -verify -nameopt RFC2253,-esc_msb\n",
                req_path.c_str());
    std::printf(
        "openssl pkcs8 -inform DER -in %s -passin pass:%s -provider legacy "
        "-provider default | openssl rsa -noout -text -check\n",
        key_path.c_str(), password);
    return 0;
}
