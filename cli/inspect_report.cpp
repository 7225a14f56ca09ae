#include "cli/inspect_report.h"

#include <nlohmann/json.hpp>

#include "cli/der_text.h"
#include "crypto/common/mem.h"
#include "crypto/der/der_reader.h"
#include "crypto/der/oid.h"
#include "crypto/der/pem.h"
#include "crypto/keyfile/keyfile.h"
#include "crypto/keyfile/keyfile_open.h"
#include "crypto/request/key_decoding.h"
#include "crypto/request/req_parse.h"
#include "crypto/request/req_sign.h"
#include "crypto/request/request.h"
#include "crypto/rsa/rsa_verify.h"
#include "platform/latin1.h"

namespace cli {

namespace {

// The program's sentences are written in ISO-8859-1; the report is UTF-8.
std::string L(const std::string& latin1) {
    return platform::Latin1ToUtf8(latin1);
}

// Subject components as the data page labels them, by component index.
const char* const kComponentLabels[] = {
    "Raz\xF3n social",
    "\xC1rea",
    "Nombre",
    "T\xEDtulo",
    "Calle",
    "C\xF3"
    "digo postal",
    "Pa\xEDs",
    "Entidad federativa",
    "Delegaci\xF3n o municipio",
    "RFC",
    "N\xFAmero de serie",
    "Correo electr\xF3nico",
    "Categor\xED"
    "a de negocio",
    "Tel\xE9"
    "fono",
    "Fax",
};

// GeneralNames: e-mail [1], DNS name [2] and IP address [7] shown, any other
// kind named by its tag number.
bool ReadGeneralNames(const uint8_t* der, uint32_t len, std::vector<std::string>& names) {
    DerReader top, list;
    DerElement e;
    der_reader_init(&top, der, len);
    if (der_read_expect(&top, DER_TAG_SEQUENCE, &e) != STATUS_OK ||
        der_expect_end(&top) != STATUS_OK || der_enter(&e, &list) != STATUS_OK)
        return false;
    while (!der_at_end(&list)) {
        DerElement name;
        if (der_read_element(&list, &name) != STATUS_OK)
            return false;
        if (name.tag == der_context_primitive(1)) {
            names.push_back(L("correo ") + ValueText(DER_TAG_IA5_STRING, name.value, name.length));
        } else if (name.tag == der_context_primitive(2)) {
            names.push_back("DNS " + ValueText(DER_TAG_IA5_STRING, name.value, name.length));
        } else if (name.tag == der_context_primitive(7) && name.length == 4) {
            names.push_back("IP " + std::to_string(name.value[0]) + "." +
                            std::to_string(name.value[1]) + "." + std::to_string(name.value[2]) +
                            "." + std::to_string(name.value[3]));
        } else if (name.tag == der_context_primitive(7)) {
            names.push_back("IP " + Hex(name.value, name.length, ""));
        } else {
            names.push_back(L("nombre de tipo [") + std::to_string(name.tag & 0x1F) + "]");
        }
    }
    return true;
}

// extensionRequest: the extensions asked for; the alternative names among
// them are shown, the others named.
void ReadExtensions(const uint8_t* der, uint32_t len, InspectReport& report) {
    DerReader top, list;
    DerElement e;
    der_reader_init(&top, der, len);
    if (der_read_expect(&top, DER_TAG_SEQUENCE, &e) != STATUS_OK ||
        der_enter(&e, &list) != STATUS_OK)
        return;
    while (!der_at_end(&list)) {
        DerElement extension, oid, value;
        DerReader fields;
        const uint8_t* octets = nullptr;
        uint32_t count = 0;
        if (der_read_expect(&list, DER_TAG_SEQUENCE, &extension) != STATUS_OK ||
            der_enter(&extension, &fields) != STATUS_OK ||
            der_read_expect(&fields, DER_TAG_OID, &oid) != STATUS_OK ||
            der_get_oid(&oid, &octets, &count) != STATUS_OK)
            return;
        if (der_next_is(&fields, DER_TAG_BOOLEAN))
            der_read_element(&fields, &value);
        if (der_read_expect(&fields, DER_TAG_OCTET_STRING, &value) != STATUS_OK)
            return;
        if (slot_for_oid(octets, count) == static_cast<int>(SLOT_SUBJECT_ALT_NAME) &&
            ReadGeneralNames(value.value, value.length, report.alt_names))
            continue;
        report.attributes.emplace_back(L("Extensi\xF3n solicitada"), Dotted(octets, count));
    }
}

const uint8_t kExtensionRequest[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x0E};

void DescribeAttributes(const ParsedRequest& request, InspectReport& report) {
    for (uint32_t i = 0; i < request.attribute_count; ++i) {
        const ReqAttribute& a = request.attributes[i];
        DerReader values;
        DerElement first{};
        der_reader_init(&values, a.values, a.values_len);
        const bool has_value = der_read_element(&values, &first) == STATUS_OK;
        const int slot = slot_for_oid(a.type, a.type_len);
        if (slot == static_cast<int>(SLOT_CHALLENGE_PASSWORD)) {
            // The challenge password is a secret: only its presence is shown.
            report.attributes.emplace_back(L("Contrase\xF1"
                                             "a de impugnaci\xF3n"),
                                           "presente");
        } else if (a.type_len == sizeof kExtensionRequest &&
                   std::equal(a.type, a.type + a.type_len, kExtensionRequest)) {
            if (has_value)
                ReadExtensions(first.start, first.size, report);
        } else if (slot == static_cast<int>(SLOT_SUBJECT_ALT_NAME) && has_value &&
                   ReadGeneralNames(first.value, first.length, report.alt_names)) {
            // This system writes the names' encoding inside a string value.
        } else if (slot == static_cast<int>(SLOT_NUMBER) && has_value && first.length == 4) {
            const uint32_t number = static_cast<uint32_t>(first.value[0]) << 24 |
                                    static_cast<uint32_t>(first.value[1]) << 16 |
                                    static_cast<uint32_t>(first.value[2]) << 8 | first.value[3];
            report.attributes.emplace_back(L("N\xFAmero (1.3.15.1)"), std::to_string(number));
        } else if (slot == static_cast<int>(SLOT_EMAIL) && has_value) {
            report.attributes.emplace_back(L("Correo electr\xF3nico"),
                                           ValueText(first.tag, first.value, first.length));
        } else {
            const bool text = has_value && (first.tag & DER_CONSTRUCTED) == 0;
            report.attributes.emplace_back(
                Dotted(a.type, a.type_len),
                text ? ValueText(first.tag, first.value, first.length) : "(valor estructurado)");
        }
    }
}

// The text lines of the trailer: CR LF, CR or LF end a line.
std::vector<std::string> TrailerLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(ValueText(DER_TAG_PRINTABLE_STRING,
                                      reinterpret_cast<const uint8_t*>(line.data()),
                                      static_cast<uint32_t>(line.size())));
            line.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(ValueText(DER_TAG_PRINTABLE_STRING,
                                  reinterpret_cast<const uint8_t*>(line.data()),
                                  static_cast<uint32_t>(line.size())));
    return lines;
}

const uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// The DER inside a PEM block with `label`, or nothing.
bool PemBody(const std::string& file, std::string& label, std::string& der) {
    PemBlock block;
    if (pem_find(Bytes(file), static_cast<uint32_t>(file.size()), &block) != STATUS_OK)
        return false;
    label.assign(reinterpret_cast<const char*>(block.label), block.label_length);
    der.assign(block.body_length, '\0');
    uint32_t length = 0;
    if (base64_decode(block.body, block.body_length, reinterpret_cast<uint8_t*>(der.data()),
                      block.body_length, &length) != STATUS_OK)
        return false;
    der.resize(length);
    return true;
}

// Whether DER bytes are a private key of any of the forms read here.
bool IsPrivateKey(const std::string& der) {
    KeyFileInfo info;
    if (keyfile_read_info(Bytes(der), static_cast<uint32_t>(der.size()), &info) !=
        KEYFILE_NOT_ENCRYPTED_KEY)
        return true;
    RsaPrivateKey* key = new RsaPrivateKey;
    const bool plain =
        rsa_read_private_key_info(Bytes(der), static_cast<uint32_t>(der.size()), key) ==
            STATUS_OK ||
        rsa_read_private_key(Bytes(der), static_cast<uint32_t>(der.size()), key) == STATUS_OK;
    mem_wipe(*key);
    delete key;
    return plain;
}

void Fail(InspectReport& report, const std::string& latin1) {
    report.problems.push_back(L(latin1));
    if (report.exit_code == 0)
        report.exit_code = 1;
}

void Unreadable(InspectReport& report, const std::string& latin1) {
    report.exit_code = 2;
    report.error = L(latin1);
}

void CheckKey(const std::string& key_file, const std::string& password,
              const ParsedRequest& request, InspectReport& report) {
    report.key_given = true;
    report.key = CheckState::Invalid;
    std::string der = key_file;
    std::string label;
    std::string pem_der;
    if (PemBody(key_file, label, pem_der)) {
        if (label == "PRIVATE KEY" || label == "RSA PRIVATE KEY") {
            report.key_note = L("no est\xE1 protegida con clave de acceso");
            Fail(report, "La llave privada no est\xE1 protegida con clave de acceso.");
            return;
        }
        if (label == "CERTIFICATE REQUEST" || label == "NEW CERTIFICATE REQUEST") {
            report.key_note = "es una solicitud";
            Fail(report, "El archivo de llave es una solicitud, no una llave privada.");
            return;
        }
        der = pem_der;
    }
    ParsedRequest* other = new ParsedRequest;
    const bool is_request =
        req_parse(Bytes(der), static_cast<uint32_t>(der.size()), other) == STATUS_OK;
    delete other;
    if (is_request) {
        report.key_note = "es una solicitud";
        Fail(report, "El archivo de llave es una solicitud, no una llave privada.");
        return;
    }
    KeyFileInfo info;
    const Status envelope = keyfile_read_info(Bytes(der), static_cast<uint32_t>(der.size()), &info);
    if (envelope == KEYFILE_NOT_ENCRYPTED_KEY) {
        if (IsPrivateKey(der)) {
            report.key_note = L("no est\xE1 protegida con clave de acceso");
            Fail(report, "La llave privada no est\xE1 protegida con clave de acceso.");
            return;
        }
        report.key = CheckState::NotChecked;
        Unreadable(report, "El archivo de llave no es una llave privada (DER o PEM).");
        return;
    }
    if (envelope == KEYFILE_UNSUPPORTED) {
        report.key = CheckState::NotChecked;
        Unreadable(report,
                   "La llave privada est\xE1 cifrada con un esquema que este programa no "
                   "abre (" +
                       platform::Utf8ToLatin1(OidName(info.scheme_oid, info.scheme_oid_len)) +
                       ").");
        return;
    }
    RsaPrivateKey* key = new RsaPrivateKey;
    const Status opened =
        keyfile_open_private_key(Bytes(der), static_cast<uint32_t>(der.size()), Bytes(password),
                                 static_cast<uint32_t>(password.size()), key, &info);
    if (opened == KEYFILE_WRONG_PASSWORD) {
        report.key_note = "clave de acceso incorrecta";
        Fail(report, "La clave de acceso no abre la llave privada.");
    } else if (opened != KEYFILE_OK) {
        report.key = CheckState::NotChecked;
        Unreadable(report, "La llave privada no es una llave RSA que este programa pueda usar.");
    } else if (rsa_check_private_key(key) != STATUS_OK) {
        report.key_note = L("sus n\xFAmeros no concuerdan");
        Fail(report,
             "La llave privada est\xE1 da\xF1"
             "ada: sus n\xFAmeros no concuerdan.");
    } else if (request.key_status != STATUS_OK ||
               !std::equal(key->modulus, key->modulus + RSA_MAX_MODULUS_LEN, request.key.modulus) ||
               !std::equal(key->public_exponent, key->public_exponent + RSA_MAX_MODULUS_LEN,
                           request.key.public_exponent)) {
        report.key_note = "no corresponde a la solicitud";
        Fail(report, "La llave privada no corresponde a esta solicitud.");
    } else {
        report.key = CheckState::Valid;
        report.key_note =
            L("se abre con la clave de acceso, es coherente y corresponde a la "
              "solicitud");
    }
    mem_wipe(*key);
    delete key;
}

}  // namespace

InspectReport InspectFiles(const std::string& request_file, const std::string* key_file,
                           const std::string& password) {
    InspectReport report;
    ParsedRequest* request = new ParsedRequest;
    std::string der = request_file;
    report.format = "DER";
    bool parsed = req_parse(Bytes(der), static_cast<uint32_t>(der.size()), request) == STATUS_OK;
    std::string label;
    std::string pem_der;
    if (!parsed && PemBody(request_file, label, pem_der)) {
        report.format = "PEM";
        der = pem_der;
        if (label.find("PRIVATE KEY") != std::string::npos) {
            Fail(report,
                 "Este archivo es una llave privada: no lo env\xED"
                 "es.");
            delete request;
            return report;
        }
        parsed = req_parse(Bytes(der), static_cast<uint32_t>(der.size()), request) == STATUS_OK &&
                 request->der_length == der.size();
    }
    if (!parsed) {
        if (IsPrivateKey(der))
            Fail(report,
                 "Este archivo es una llave privada: no lo env\xED"
                 "es.");
        else
            Unreadable(report,
                       "El archivo no es una solicitud de certificado (DER o PEM) o est\xE1 "
                       "da\xF1"
                       "ado.");
        delete request;
        return report;
    }

    report.der_length = request->der_length;
    for (uint32_t i = 0; i < request->name_count; ++i) {
        const ReqNameEntry& e = request->name[i];
        const int index = name_component_for_oid(e.type, e.type_len);
        const std::string name =
            index >= 0 ? L(kComponentLabels[index]) : Dotted(e.type, e.type_len);
        report.subject.emplace_back(name, ValueText(e.value_tag, e.value, e.value_len));
    }
    DescribeAttributes(*request, report);

    report.key_algorithm = OidName(request->key_algorithm, request->key_algorithm_len);
    if (request->key_status == STATUS_OK)
        report.key_bits = request->key.bits;
    uint8_t fingerprint[32];
    uint32_t fingerprint_len = 0;
    if (digest_oneshot(fingerprint, &fingerprint_len, request->public_key_info,
                       request->public_key_info_len, ALG_SHA256) == STATUS_OK)
        report.key_fingerprint = Hex(fingerprint, fingerprint_len, ":");

    report.signature_algorithm =
        OidName(request->signature_algorithm, request->signature_algorithm_len);
    const Status signature = req_verify_signature(request);
    if (signature == STATUS_OK) {
        report.signature = CheckState::Valid;
    } else if (signature == STATUS_SIGNATURE_INVALID) {
        report.signature = CheckState::Invalid;
        Fail(report,
             "La firma de la solicitud no es v\xE1lida: el archivo fue alterado o est\xE1 "
             "da\xF1"
             "ado.");
    } else if (signature == STATUS_BAD_DIGEST) {
        report.signature_note = "algoritmo de firma no comprobado por este programa";
    } else if (signature == STATUS_BAD_MODULUS_SIZE) {
        report.signature_note = L("llave de m\xE1s de 2048 bits, no comprobada");
    } else {
        report.signature_note = "llave que no es RSA, no comprobada";
    }

    if (report.format == "DER" && request->der_length < request_file.size()) {
        report.has_trailer = true;
        report.trailer = TrailerLines(request_file.substr(request->der_length));
    }
    if (key_file != nullptr)
        CheckKey(*key_file, password, *request, report);
    delete request;
    return report;
}

std::string RenderText(const InspectReport& r) {
    std::string out;
    if (r.exit_code == 2 && r.subject.empty() && r.key_fingerprint.empty())
        return r.error + "\n";
    if (r.key_fingerprint.empty() && r.subject.empty()) {
        for (const std::string& p : r.problems)
            out += p + "\n";
        return out;
    }
    out += L("Solicitud de certificado (") + r.format + ", " + std::to_string(r.der_length) +
           " bytes)\n";
    out += "Sujeto:\n";
    for (const auto& [label, value] : r.subject)
        out += "  " + label + ": " + value + "\n";
    if (!r.attributes.empty() || !r.alt_names.empty()) {
        out += "Atributos:\n";
        for (const auto& [name, value] : r.attributes)
            out += "  " + name + ": " + value + "\n";
        for (const std::string& name : r.alt_names)
            out += L("  Nombre alternativo: ") + name + "\n";
    }
    out += L("Llave p\xFA"
             "blica: ") +
           r.key_algorithm;
    if (r.key_bits != 0)
        out += " de " + std::to_string(r.key_bits) + " bits";
    out += "\n";
    out += L("Huella SHA-256 de la llave p\xFA"
             "blica: ") +
           r.key_fingerprint + "\n";
    out += "Firma: " + r.signature_algorithm + ", " +
           (r.signature == CheckState::Valid     ? L("v\xE1lida")
            : r.signature == CheckState::Invalid ? L("NO V\xC1LIDA")
                                                 : r.signature_note) +
           "\n";
    if (r.has_trailer) {
        out += L("El archivo termina con los datos que pidi\xF3 la autoridad:\n");
        for (const std::string& line : r.trailer)
            out += "  " + line + "\n";
    }
    if (r.key_given && !r.key_note.empty())
        out += "Llave privada: " + r.key_note + "\n";
    for (const std::string& p : r.problems)
        out += p + "\n";
    if (r.exit_code == 2)
        out += r.error + "\n";
    else if (r.exit_code == 0)
        out += L("Todo lo comprobado es v\xE1lido.\n");
    return out;
}

std::string RenderJson(const InspectReport& r) {
    using nlohmann::json;
    auto state = [](CheckState s) {
        return s == CheckState::Valid     ? "valid"
               : s == CheckState::Invalid ? "invalid"
                                          : "not_checked";
    };
    json j;
    j["exit_code"] = r.exit_code;
    if (!r.error.empty())
        j["error"] = r.error;
    if (!r.key_fingerprint.empty()) {
        j["format"] = r.format;
        j["der_length"] = r.der_length;
        j["subject"] = json::array();
        for (const auto& [label, value] : r.subject)
            j["subject"].push_back({{"label", label}, {"value", value}});
        j["attributes"] = json::array();
        for (const auto& [name, value] : r.attributes)
            j["attributes"].push_back({{"name", name}, {"value", value}});
        j["alt_names"] = r.alt_names;
        j["public_key"] = {{"algorithm", r.key_algorithm},
                           {"bits", r.key_bits},
                           {"sha256_fingerprint", r.key_fingerprint}};
        j["signature"] = {{"algorithm", r.signature_algorithm}, {"status", state(r.signature)}};
        if (!r.signature_note.empty())
            j["signature"]["note"] = r.signature_note;
        if (r.has_trailer)
            j["trailer"] = r.trailer;
        if (r.key_given)
            j["private_key"] = {{"status", state(r.key)}, {"note", r.key_note}};
    }
    j["problems"] = r.problems;
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace cli
