#include "cli/key_open.h"

#include "crypto/common/mem.h"
#include "crypto/der/pem.h"
#include "crypto/keyfile/keyfile.h"
#include "crypto/keyfile/keyfile_open.h"
#include "crypto/request/key_decoding.h"
#include "crypto/rsa/rsa_verify.h"
#include "platform/wipe.h"

namespace cli {

namespace {

const uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

}  // namespace

KeyOpen OpenKeyFile(const std::string& bytes, const std::string& password, RsaPrivateKey* key,
                    std::string& problem) {
    mem_wipe(*key);
    std::string der = bytes;
    PemBlock block;
    if (pem_find(Bytes(bytes), static_cast<uint32_t>(bytes.size()), &block) == STATUS_OK) {
        if (pem_label_is(&block, "PRIVATE KEY") || pem_label_is(&block, "RSA PRIVATE KEY")) {
            problem = "La llave privada no est\xE1 protegida con clave de acceso.";
            return KeyOpen::Refused;
        }
        der.assign(block.body_length, '\0');
        uint32_t length = 0;
        if (!pem_label_is(&block, "ENCRYPTED PRIVATE KEY") ||
            base64_decode(block.body, block.body_length, reinterpret_cast<uint8_t*>(der.data()),
                          block.body_length, &length) != STATUS_OK) {
            problem = "El archivo de llave no es una llave privada (DER o PEM).";
            return KeyOpen::Unreadable;
        }
        der.resize(length);
    }
    KeyFileInfo info;
    const Status opened =
        keyfile_open_private_key(Bytes(der), static_cast<uint32_t>(der.size()), Bytes(password),
                                 static_cast<uint32_t>(password.size()), key, &info);
    KeyOpen result = KeyOpen::Opened;
    if (opened == KEYFILE_WRONG_PASSWORD) {
        problem = "La clave de acceso no abre la llave privada.";
        result = KeyOpen::Refused;
    } else if (opened == KEYFILE_NOT_ENCRYPTED_KEY) {
        RsaPrivateKey* plain = new RsaPrivateKey;
        const bool is_key = rsa_read_private_key_info(Bytes(der), static_cast<uint32_t>(der.size()),
                                                      plain) == STATUS_OK;
        mem_wipe(*plain);
        delete plain;
        problem = is_key ? "La llave privada no est\xE1 protegida con clave de acceso."
                         : "El archivo de llave no es una llave privada (DER o PEM).";
        result = is_key ? KeyOpen::Refused : KeyOpen::Unreadable;
    } else if (opened != KEYFILE_OK) {
        problem = "La llave privada no es una llave RSA que este programa pueda abrir.";
        result = KeyOpen::Unreadable;
    } else if (rsa_check_private_key(key) != STATUS_OK) {
        problem =
            "La llave privada est\xE1 da\xF1"
            "ada: sus n\xFAmeros no concuerdan.";
        result = KeyOpen::Refused;
    }
    platform::WipeText(der);
    if (result != KeyOpen::Opened)
        mem_wipe(*key);
    return result;
}

}  // namespace cli
