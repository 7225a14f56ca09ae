// DER values as text for the reports: identifiers by name, string values
// as UTF-8, bytes as hex. Shared by `inspect` and `pkcs12`.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

// The dotted form of an identifier's contents octets ("?" when invalid).
std::string Dotted(const uint8_t* octets, uint32_t len);

// The usual name of an algorithm identifier, or its dotted form.
std::string OidName(const uint8_t* octets, uint32_t len);

// The value of a string element as UTF-8. UTF8String is decoded (a
// malformed sequence gives "?"), BMPString and UniversalString are
// big-endian code units, a BIT STRING is its bytes after the unused-bits
// octet, and every other string type is taken as ISO-8859-1, which is what
// this system writes in its PrintableStrings. Control characters become
// "?", so that a file cannot drive the terminal.
std::string ValueText(uint8_t tag, const uint8_t* v, uint32_t n);

// Bytes as upper-case hex pairs joined by `separator`.
std::string Hex(const uint8_t* p, uint32_t n, const char* separator);

}  // namespace cli
