#include "cli/certificates.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/der_text.h"
#include "crypto/der/pem.h"
#include "crypto/request/req_sign.h"
#include "crypto/x509/pkcs7.h"
#include "platform/latin1.h"

namespace cli {

namespace {

const uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

uint32_t Size(const std::string& s) {
    return static_cast<uint32_t>(s.size());
}

// The short names people know the name attributes by.
struct ShortName {
    const char* dotted;
    const char* name;
};
const ShortName kShortNames[] = {
    {"2.5.4.3", "CN"},
    {"2.5.4.6", "C"},
    {"2.5.4.7", "L"},
    {"2.5.4.8", "ST"},
    {"2.5.4.9", "street"},
    {"2.5.4.10", "O"},
    {"2.5.4.11", "OU"},
    {"2.5.4.5", "serialNumber"},
    {"2.5.4.12", "title"},
    {"2.5.4.15", "businessCategory"},
    {"2.5.4.17", "postalCode"},
    {"2.5.4.20", "telephoneNumber"},
    {"2.5.4.45", "x500UniqueIdentifier"},
    {"1.2.840.113549.1.9.1", "emailAddress"},
};

std::string NameText(const CertName& name, std::string* common_name) {
    std::string out;
    for (uint32_t i = 0; i < name.count; ++i) {
        const CertNameEntry& e = name.entries[i];
        std::string type = Dotted(e.type, e.type_len);
        for (const ShortName& s : kShortNames) {
            if (type == s.dotted) {
                type = s.name;
                break;
            }
        }
        const std::string value = ValueText(e.value_tag, e.value, e.value_len);
        if (common_name != nullptr && type == "CN")
            *common_name = value;
        if (!out.empty())
            out += ", ";
        out += type + "=" + value;
    }
    return out;
}

// Decodes every PEM block of `text` with one of the labels into `ders`.
void PemBlocks(const std::string& text, std::vector<std::string>& ders,
               std::vector<std::string>& labels) {
    size_t at = 0;
    while (at < text.size()) {
        PemBlock block;
        if (pem_find(Bytes(text) + at, static_cast<uint32_t>(text.size() - at), &block) !=
            STATUS_OK)
            return;
        std::string der(block.body_length, '\0');
        uint32_t length = 0;
        if (base64_decode(block.body, block.body_length, reinterpret_cast<uint8_t*>(der.data()),
                          block.body_length, &length) != STATUS_OK)
            return;
        der.resize(length);
        ders.push_back(der);
        labels.emplace_back(reinterpret_cast<const char*>(block.label), block.label_length);
        // Past this block's END line.
        const size_t end = text.find(
            "-----END", static_cast<size_t>(block.body + block.body_length - Bytes(text)));
        if (end == std::string::npos)
            return;
        at = end + 8;
    }
}

bool IsCertificate(const std::string& der) {
    auto cert = std::make_unique<ParsedCertificate>();
    return cert_parse(Bytes(der), Size(der), cert.get()) == STATUS_OK &&
           cert->der_len == der.size();
}

bool FromPkcs7(const std::string& der, std::vector<std::string>& ders) {
    Pkcs7Certificate certs[PKCS7_MAX_CERTIFICATES];
    uint32_t count = 0;
    if (pkcs7_read_certificates(Bytes(der), Size(der), certs, &count) != STATUS_OK)
        return false;
    for (uint32_t i = 0; i < count; ++i)
        ders.emplace_back(reinterpret_cast<const char*>(certs[i].der), certs[i].len);
    return true;
}

}  // namespace

bool ReadCertificates(const std::string& bytes, std::vector<std::string>& ders, std::string& format,
                      std::string& problem) {
    ders.clear();
    problem.clear();
    if (IsCertificate(bytes)) {
        ders.push_back(bytes);
        format = "DER";
        return true;
    }
    if (FromPkcs7(bytes, ders)) {
        format = "PKCS#7 DER";
    } else {
        std::vector<std::string> blocks, labels;
        PemBlocks(bytes, blocks, labels);
        for (size_t i = 0; i < blocks.size(); ++i) {
            if (labels[i] == "CERTIFICATE" || labels[i] == "X509 CERTIFICATE" ||
                labels[i] == "TRUSTED CERTIFICATE") {
                ders.push_back(blocks[i]);
                format = "PEM";
            } else if (labels[i] == "PKCS7" && FromPkcs7(blocks[i], ders)) {
                format = "PKCS#7 PEM";
            }
        }
        if (ders.empty())
            return false;
    }
    if (ders.empty()) {
        problem = "El paquete PKCS#7 no contiene certificados.";
        return false;
    }
    for (const std::string& der : ders) {
        if (!IsCertificate(der)) {
            problem =
                "Un certificado del archivo est\xE1 da\xF1"
                "ado o no es X.509.";
            ders.clear();
            return false;
        }
    }
    return true;
}

bool ParseCertificates(const std::vector<std::string>& ders, ParsedCertificates& parsed) {
    parsed.clear();
    for (const std::string& der : ders) {
        auto cert = std::make_unique<ParsedCertificate>();
        if (cert_parse(Bytes(der), Size(der), cert.get()) != STATUS_OK)
            return false;
        parsed.push_back(std::move(cert));
    }
    return true;
}

std::string TimeText(const DerTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

DerTime DerTimeOf(std::time_t now) {
    std::tm parts{};
    gmtime_r(&now, &parts);
    return DerTime{
        static_cast<uint32_t>(parts.tm_year + 1900), static_cast<uint32_t>(parts.tm_mon + 1),
        static_cast<uint32_t>(parts.tm_mday),        static_cast<uint32_t>(parts.tm_hour),
        static_cast<uint32_t>(parts.tm_min),         static_cast<uint32_t>(parts.tm_sec)};
}

CertificateFacts DescribeCertificate(const ParsedCertificates& all, size_t index, std::time_t now) {
    const ParsedCertificate& c = *all[index];
    CertificateFacts f;
    f.subject = NameText(c.subject, &f.common_name);
    f.issuer = NameText(c.issuer, nullptr);
    f.serial = Hex(c.serial, c.serial_len, ":");
    f.not_before = TimeText(c.not_before);
    f.not_after = TimeText(c.not_after);
    const DerTime today = DerTimeOf(now);
    f.validity = cert_compare_time(&today, &c.not_before) < 0  ? -1
                 : cert_compare_time(&today, &c.not_after) > 0 ? 1
                                                               : 0;
    uint8_t digest[32];
    uint32_t digest_len = 0;
    if (digest_oneshot(digest, &digest_len, c.der, c.der_len, ALG_SHA256) == STATUS_OK)
        f.fingerprint = Hex(digest, digest_len, ":");
    f.key_algorithm = OidName(c.key_algorithm, c.key_algorithm_len);
    if (c.key_status == STATUS_OK)
        f.key_bits = c.key.bits;
    f.signature_algorithm = OidName(c.signature_algorithm, c.signature_algorithm_len);

    const ParsedCertificate* issuer = nullptr;
    for (const auto& other : all) {
        if (cert_same_name(&c.issuer, &other->subject)) {
            issuer = other.get();
            break;
        }
    }
    if (issuer == nullptr) {
        f.signature_note =
            platform::Latin1ToUtf8("no comprobada: el emisor no est\xE1 en el archivo");
    } else if (issuer->key_status != STATUS_OK) {
        f.signature_note = platform::Latin1ToUtf8(
            "no comprobada: la llave del emisor no es RSA de hasta 2048 bits");
    } else {
        const Status status = cert_verify_signature(&c, &issuer->key);
        if (status == STATUS_OK) {
            f.signature = CheckState::Valid;
            f.signature_note =
                issuer == &c ? "autofirmado" : "por " + NameText(issuer->subject, nullptr);
        } else if (status == STATUS_SIGNATURE_INVALID) {
            f.signature = CheckState::Invalid;
        } else {
            f.signature_note = "algoritmo de firma no comprobado por este programa";
        }
    }
    return f;
}

std::string RenderCertificate(const std::string& title, const CertificateFacts& f) {
    using platform::Latin1ToUtf8;
    std::string out = title + "\n";
    out += "  Sujeto: " + f.subject + "\n";
    out += "  Emisor: " + f.issuer + "\n";
    out += Latin1ToUtf8("  N\xFAmero de serie: ") + f.serial + "\n";
    out += Latin1ToUtf8("  V\xE1lido desde: ") + f.not_before + "\n";
    out += Latin1ToUtf8("  V\xE1lido hasta: ") + f.not_after +
           (f.validity > 0   ? Latin1ToUtf8(" (vencido)")
            : f.validity < 0 ? Latin1ToUtf8(" (a\xFAn no es v\xE1lido)")
                             : std::string()) +
           "\n";
    out += "  Huella SHA-256: " + f.fingerprint + "\n";
    out += Latin1ToUtf8(
               "  Llave p\xFA"
               "blica: ") +
           f.key_algorithm;
    if (f.key_bits != 0)
        out += " de " + std::to_string(f.key_bits) + " bits";
    out += "\n";
    out += "  Firma: " + f.signature_algorithm + ", ";
    if (f.signature == CheckState::Valid)
        out += Latin1ToUtf8("v\xE1lida (") + f.signature_note + ")\n";
    else if (f.signature == CheckState::Invalid)
        out += Latin1ToUtf8("NO V\xC1LIDA\n");
    else
        out += f.signature_note + "\n";
    return out;
}

std::string CertificateJson(const CertificateFacts& f) {
    nlohmann::json j;
    j["subject"] = f.subject;
    j["issuer"] = f.issuer;
    j["serial"] = f.serial;
    j["not_before"] = f.not_before;
    j["not_after"] = f.not_after;
    j["validity"] = f.validity > 0 ? "expired" : f.validity < 0 ? "not_yet_valid" : "valid";
    j["sha256_fingerprint"] = f.fingerprint;
    j["public_key"] = {{"algorithm", f.key_algorithm}, {"bits", f.key_bits}};
    j["signature"] = {{"algorithm", f.signature_algorithm},
                      {"status", f.signature == CheckState::Valid     ? "valid"
                                 : f.signature == CheckState::Invalid ? "invalid"
                                                                      : "not_checked"}};
    if (!f.signature_note.empty())
        j["signature"]["note"] = f.signature_note;
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool CertificateMatchesKey(const ParsedCertificate& cert, const RsaPrivateKey& key) {
    return cert.key_status == STATUS_OK &&
           std::equal(key.modulus, key.modulus + RSA_MAX_MODULUS_LEN, cert.key.modulus) &&
           std::equal(key.public_exponent, key.public_exponent + RSA_MAX_MODULUS_LEN,
                      cert.key.public_exponent);
}

}  // namespace cli
