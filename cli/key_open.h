// Opening a private key file given on the command line (this system's DER
// key file, or a PKCS#8 encrypted key in PEM from another tool) under the
// access password, with the check that its numbers agree.
#pragma once

#include <string>

#include "crypto/rsa/rsa_key.h"

namespace cli {

enum class KeyOpen {
    Opened,      // *key holds the key, its numbers agree
    Refused,     // wrong password, damaged key, not protected: `problem` says which
    Unreadable,  // not a key file this program opens: `problem` says why
};

// `problem` is one Spanish sentence (ISO-8859-1). *key is wiped unless the
// key opened.
KeyOpen OpenKeyFile(const std::string& bytes, const std::string& password, RsaPrivateKey* key,
                    std::string& problem);

}  // namespace cli
