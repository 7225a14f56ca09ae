// `reqwiz inspect` on the files that come back from the authority and on
// the PKCS#12 file made of them:
//  - a certificate file (DER, PEM, PKCS#7 bundle): each certificate's
//    facts, its signature checked under its issuer when that is in the
//    file, whether it is valid today, and with --key whether it belongs to
//    the key (the key's password on the first line of standard input);
//  - a PKCS#12 file: its password on the first line of standard input; the
//    MAC and the schemes, the key (its numbers checked), each certificate,
//    and whether the key belongs to the first certificate.
#pragma once

#include <string>

namespace cli {

// Returns -1 when `bytes` are neither certificates nor a PKCS#12 file (the
// caller then reads them as a request); otherwise prints the report (text,
// or JSON with `json`) and returns the exit code: 0 everything checked is
// valid, 1 something is not, 2 unreadable.
int InspectCertificateOrPfx(const std::string& bytes, const std::string* key_path, bool json);

}  // namespace cli
