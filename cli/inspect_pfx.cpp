#include "cli/inspect_pfx.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "cli/certificates.h"
#include "cli/key_open.h"
#include "cli/password.h"
#include "cli/terminal.h"
#include "crypto/common/mem.h"
#include "crypto/pkcs12/pfx_read.h"
#include "crypto/rsa/rsa_verify.h"
#include "platform/files.h"
#include "platform/latin1.h"
#include "platform/wipe.h"

namespace cli {

namespace {

using platform::Latin1ToUtf8;

struct Report {
    int exit_code = 0;
    std::string text;  // UTF-8
    nlohmann::json json = nlohmann::json::object();
    std::vector<std::string> problems;  // UTF-8

    void Fail(const std::string& latin1) {
        problems.push_back(Latin1ToUtf8(latin1));
        if (exit_code == 0)
            exit_code = 1;
    }
};

void Print(const Report& r, bool json) {
    std::string out;
    if (json) {
        nlohmann::json j = r.json;
        j["exit_code"] = r.exit_code;
        j["problems"] = r.problems;
        out = j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    } else {
        out = r.text;
        for (const std::string& p : r.problems)
            out += p + "\n";
        if (r.exit_code == 0)
            out += Latin1ToUtf8("Todo lo comprobado es v\xE1lido.\n");
    }
    const std::string text = LocaleIsUtf8() ? out : platform::Utf8ToLatin1(out);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

int Unreadable(const std::string& latin1, bool json) {
    if (json) {
        Report r;
        r.exit_code = 2;
        r.json["error"] = Latin1ToUtf8(latin1);
        Print(r, true);
    } else {
        Notice(latin1);
    }
    return 2;
}

// The certificates' facts into the report; the end-entity's validity today.
void DescribeAll(const ParsedCertificates& parsed, Report& r) {
    const std::time_t now = std::time(nullptr);
    r.json["certificates"] = nlohmann::json::array();
    for (size_t i = 0; i < parsed.size(); ++i) {
        const CertificateFacts f = DescribeCertificate(parsed, i, now);
        r.text +=
            RenderCertificate(parsed.size() == 1 ? "Certificado:"
                                                 : "Certificado " + std::to_string(i + 1) + " de " +
                                                       std::to_string(parsed.size()) + ":",
                              f);
        r.json["certificates"].push_back(nlohmann::json::parse(CertificateJson(f)));
        if (f.signature == CheckState::Invalid)
            r.Fail("La firma del certificado " + platform::Utf8ToLatin1(f.subject) +
                   " no es v\xE1lida: fue alterado o no lo emiti\xF3 su emisor.");
        if (i == 0 && f.validity > 0)
            r.Fail("El certificado venci\xF3 el " + platform::Utf8ToLatin1(f.not_after) + ".");
        if (i == 0 && f.validity < 0)
            r.Fail("El certificado a\xFAn no es v\xE1lido: lo ser\xE1 desde el " +
                   platform::Utf8ToLatin1(f.not_before) + ".");
    }
}

// Which certificate the key belongs to, into the report.
void MatchKey(const ParsedCertificates& parsed, const RsaPrivateKey& key, Report& r) {
    for (const auto& cert : parsed) {
        if (CertificateMatchesKey(*cert, key)) {
            r.text += Latin1ToUtf8("Llave privada: corresponde al certificado\n");
            r.json["private_key"] = {{"status", "valid"}, {"matches_certificate", true}};
            return;
        }
    }
    r.json["private_key"] = {{"status", "invalid"}, {"matches_certificate", false}};
    r.Fail("El certificado no corresponde a esta llave privada.");
}

int InspectCertificates(const std::vector<std::string>& ders, const std::string& format,
                        const std::string* key_path, bool json) {
    ParsedCertificates parsed;
    if (!ParseCertificates(ders, parsed))
        return Unreadable(
            "Un certificado del archivo est\xE1 da\xF1"
            "ado.",
            json);
    Report r;
    r.json["type"] = "certificate";
    r.json["format"] = format;
    r.text += "Archivo de certificados (" + format + ", " + std::to_string(ders.size()) +
              (ders.size() == 1 ? " certificado)\n" : " certificados)\n");
    DescribeAll(parsed, r);
    if (key_path != nullptr) {
        std::string key_bytes;
        if (!platform::ReadWholeFile(*key_path, key_bytes))
            return Unreadable(
                "No se pudo leer el archivo " + platform::Utf8ToLatin1(*key_path) + ".", json);
        std::string password, problem;
        platform::WipeOnExit wipe;
        wipe.Add(password);
        if (!ReadPassword(password))
            return 2;
        auto key = std::make_unique<RsaPrivateKey>();
        const KeyOpen opened = OpenKeyFile(key_bytes, password, key.get(), problem);
        if (opened == KeyOpen::Unreadable)
            return Unreadable(problem, json);
        if (opened == KeyOpen::Refused) {
            r.json["private_key"] = {{"status", "invalid"}};
            r.Fail(problem);
        } else {
            MatchKey(parsed, *key, r);
        }
        mem_wipe(*key);
    }
    Print(r, json);
    return r.exit_code;
}

std::string SchemeName(uint32_t kind, AlgorithmCode prf, uint32_t cipher) {
    if (kind == PFX_SCHEME_SHA_3DES)
        return "pbeWithSHAAnd3-KeyTripleDES-CBC";
    if (kind == PFX_SCHEME_PBES2)
        return std::string("PBES2 (PBKDF2-HMAC-") + (prf == ALG_SHA256 ? "SHA-256" : "SHA-1") +
               ", " + (cipher == PFX_CIPHER_AES256_CBC ? "AES-256-CBC" : "DES-EDE3-CBC") + ")";
    return "sin cifrar";
}

struct ContentsHolder {
    PfxContents contents{};
    ~ContentsHolder() { pfx_release(&contents); }
};

int InspectPfx(const std::string& bytes, bool json) {
    std::string password;
    platform::WipeOnExit wipe;
    wipe.Add(password);
    if (!ReadPassword(password))
        return 2;
    auto holder = std::make_unique<ContentsHolder>();
    PfxContents& c = holder->contents;
    const Status status = pfx_read(reinterpret_cast<const uint8_t*>(bytes.data()),
                                   static_cast<uint32_t>(bytes.size()),
                                   reinterpret_cast<const uint8_t*>(password.data()),
                                   static_cast<uint32_t>(password.size()), &c);
    Report r;
    r.json["type"] = "pkcs12";
    r.text += "Archivo PKCS#12 (" + std::to_string(bytes.size()) + " bytes)\n";
    if (status == PFX_READ_WRONG_PASSWORD) {
        r.Fail("La clave no abre el archivo PKCS#12.");
        Print(r, json);
        return r.exit_code;
    }
    if (status != PFX_READ_OK)
        return Unreadable(
            "El archivo PKCS#12 usa una protecci\xF3n o un contenido que este programa no abre.",
            json);
    const std::string mac = c.mac_digest == ALG_SHA256 ? "HMAC-SHA-256" : "HMAC-SHA-1";
    const std::string key_scheme = SchemeName(c.key_scheme, c.key_prf, c.key_cipher);
    const std::string cert_scheme =
        SchemeName(c.certificate_scheme, c.certificate_prf, c.certificate_cipher);
    r.text += Latin1ToUtf8("  Integridad: ") + mac + ", " + std::to_string(c.mac_iterations) +
              " iteraciones\n";
    r.text += "  Llave: " + key_scheme + "\n";
    r.text += "  Certificados: " + cert_scheme + "\n";
    r.json["mac"] = {{"algorithm", mac}, {"iterations", c.mac_iterations}};
    r.json["key_protection"] = key_scheme;
    r.json["certificate_protection"] = cert_scheme;
    r.json["certificate_count"] = c.certificate_count;
    if (!c.has_key) {
        r.Fail("El archivo PKCS#12 no contiene una llave privada.");
    } else if (rsa_check_private_key(&c.key) != STATUS_OK) {
        r.Fail(
            "La llave privada del archivo est\xE1 da\xF1"
            "ada: sus n\xFAmeros no concuerdan.");
    } else {
        r.text += Latin1ToUtf8("  Llave privada: RSA de ") + std::to_string(c.key.bits) +
                  " bits, coherente\n";
        r.json["private_key_bits"] = c.key.bits;
    }
    std::vector<std::string> ders;
    for (uint32_t i = 0; i < c.certificate_count; ++i)
        ders.emplace_back(reinterpret_cast<const char*>(c.certificates[i].data),
                          c.certificates[i].length);
    ParsedCertificates parsed;
    if (ders.empty()) {
        r.Fail("El archivo PKCS#12 no contiene certificados.");
    } else if (!ParseCertificates(ders, parsed)) {
        r.Fail(
            "Un certificado del archivo PKCS#12 est\xE1 da\xF1"
            "ado.");
    } else {
        DescribeAll(parsed, r);
        if (c.has_key)
            MatchKey(parsed, c.key, r);
    }
    Print(r, json);
    return r.exit_code;
}

}  // namespace

int InspectCertificateOrPfx(const std::string& bytes, const std::string* key_path, bool json) {
    std::vector<std::string> ders;
    std::string format, problem;
    if (ReadCertificates(bytes, ders, format, problem))
        return InspectCertificates(ders, format, key_path, json);
    if (!problem.empty())
        return Unreadable(problem, json);
    // Any password tells a PKCS#12 file from other bytes: only the structure
    // is looked at before the MAC.
    auto probe = std::make_unique<PfxContents>();
    const Status status = pfx_read(reinterpret_cast<const uint8_t*>(bytes.data()),
                                   static_cast<uint32_t>(bytes.size()), nullptr, 0, probe.get());
    pfx_release(probe.get());
    if (status == PFX_READ_NOT_PFX)
        return -1;
    if (key_path != nullptr)
        return Unreadable("--key no se usa con un archivo PKCS#12: la llave va dentro.", json);
    return InspectPfx(bytes, json);
}

}  // namespace cli
