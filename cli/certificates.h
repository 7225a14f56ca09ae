// Certificates as the commands read and show them: a certificate file in
// any of the forms authorities hand out (DER, PEM with one or more
// certificates, a PKCS#7 bundle in DER or PEM), each certificate's facts in
// Spanish, the check of each signature against its issuer when the issuer
// is among the certificates given, and whether a certificate belongs to a
// private key.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "cli/inspect_report.h"
#include "crypto/rsa/rsa_key.h"
#include "crypto/x509/certificate.h"

namespace cli {

// The certificates of a file's bytes, in the order they stand, and the
// form they came in ("DER", "PEM", "PKCS#7 DER", "PKCS#7 PEM"). False when
// the bytes hold no certificate, or one that is damaged (`problem` then
// says so in Spanish, ISO-8859-1; empty when the bytes are simply not
// certificates).
bool ReadCertificates(const std::string& bytes, std::vector<std::string>& ders, std::string& format,
                      std::string& problem);

// Parsed certificates; each views the DER string it was read from, which
// must outlive it.
using ParsedCertificates = std::vector<std::unique_ptr<ParsedCertificate>>;
bool ParseCertificates(const std::vector<std::string>& ders, ParsedCertificates& parsed);

// What is shown of one certificate. Texts are UTF-8.
struct CertificateFacts {
    std::string subject;  // "C=MX, O=..., CN=..." in the certificate's order
    std::string issuer;
    std::string common_name;  // the subject's last CN, empty without one
    std::string serial;       // hex pairs joined by ":"
    std::string not_before;   // "2026-12-10 20:13:22 UTC"
    std::string not_after;
    int validity = 0;         // -1 not yet valid, 0 valid now, 1 expired
    std::string fingerprint;  // SHA-256 of the certificate's DER, AA:BB:...
    std::string key_algorithm;
    uint32_t key_bits = 0;
    std::string signature_algorithm;
    CheckState signature = CheckState::NotChecked;
    std::string signature_note;  // why not checked, or who signed it
};

// The facts of certificate `index` of `all` at time `now`; its signature is
// checked under the first certificate of `all` whose subject is its issuer
// (itself included, for a self-signed one).
CertificateFacts DescribeCertificate(const ParsedCertificates& all, size_t index, std::time_t now);

// The facts as indented Spanish lines under the heading `title`.
std::string RenderCertificate(const std::string& title, const CertificateFacts& facts);

// The facts as a JSON object's text (for --json).
std::string CertificateJson(const CertificateFacts& facts);

// True when the certificate's public key is the private key's public part.
bool CertificateMatchesKey(const ParsedCertificate& cert, const RsaPrivateKey& key);

// A certificate time as "2026-12-10 20:13:22 UTC".
std::string TimeText(const DerTime& time);

// `now` as a DerTime (UTC).
DerTime DerTimeOf(std::time_t now);

}  // namespace cli
