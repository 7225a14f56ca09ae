#include "cli/der_text.h"

#include "crypto/der/der_reader.h"

namespace cli {

namespace {

// Names of identifiers that are not in the program's tables.
struct KnownOid {
    const char* dotted;
    const char* name;
};
const KnownOid kKnownOids[] = {
    {"1.2.840.113549.1.1.1", "rsaEncryption"},
    {"1.2.840.113549.1.1.2", "md2WithRSAEncryption"},
    {"1.2.840.113549.1.1.3", "md4WithRSAEncryption"},
    {"1.2.840.113549.1.1.4", "md5WithRSAEncryption"},
    {"1.2.840.113549.1.1.5", "sha1WithRSAEncryption"},
    {"1.2.840.113549.1.1.10", "RSASSA-PSS"},
    {"1.2.840.113549.1.1.11", "sha256WithRSAEncryption"},
    {"1.2.840.113549.1.1.12", "sha384WithRSAEncryption"},
    {"1.2.840.113549.1.1.13", "sha512WithRSAEncryption"},
    {"1.2.840.10045.2.1", "id-ecPublicKey"},
    {"1.2.840.10045.4.3.2", "ecdsa-with-SHA256"},
    {"1.2.840.10045.4.3.3", "ecdsa-with-SHA384"},
    {"1.3.101.112", "Ed25519"},
    {"1.2.840.113549.1.5.3", "pbeWithMD5AndDES-CBC"},
    {"1.2.840.113549.1.5.1", "pbeWithMD2AndDES-CBC"},
    {"1.2.840.113549.1.5.13", "PBES2"},
};

void AppendUtf8(std::string& out, uint32_t c) {
    // Control characters (C0, DEL, C1) and what is no character become "?".
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
        out += '?';
    } else if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The value of a string element as UTF-8. UTF8String is decoded (a malformed
// sequence gives "?"), BMPString and UniversalString are big-endian code
// units, a BIT STRING (uniqueIdentifier) is its bytes after the unused-bits
// octet, and every other string type is taken as ISO-8859-1, which is what
// this system writes in its PrintableStrings.
}  // namespace

std::string Dotted(const uint8_t* octets, uint32_t len) {
    char text[256];
    return der_oid_text(octets, len, text, sizeof text) == 0 ? "?" : std::string(text);
}

std::string OidName(const uint8_t* octets, uint32_t len) {
    const std::string dotted = Dotted(octets, len);
    for (const KnownOid& k : kKnownOids) {
        if (dotted == k.dotted)
            return k.name;
    }
    return dotted;
}

std::string ValueText(uint8_t tag, const uint8_t* v, uint32_t n) {
    std::string out;
    if (tag == DER_TAG_UTF8_STRING) {
        for (uint32_t i = 0; i < n;) {
            const uint8_t b = v[i];
            uint32_t extra = b < 0x80             ? 0
                             : (b & 0xE0) == 0xC0 ? 1
                             : (b & 0xF0) == 0xE0 ? 2
                             : (b & 0xF8) == 0xF0 ? 3
                                                  : 9;
            if (extra == 9 || n - i <= extra) {
                out += '?';
                ++i;
                continue;
            }
            uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
            bool good = true;
            for (uint32_t k = 1; k <= extra; ++k) {
                good = good && (v[i + k] & 0xC0) == 0x80;
                c = (c << 6) | (v[i + k] & 0x3F);
            }
            const uint32_t least[4] = {0, 0x80, 0x800, 0x10000};
            if (!good || c < least[extra]) {
                out += '?';
                ++i;
                continue;
            }
            AppendUtf8(out, c);
            i += extra + 1;
        }
    } else if (tag == DER_TAG_BMP_STRING || tag == DER_TAG_UNIVERSAL_STRING) {
        const uint32_t unit = tag == DER_TAG_BMP_STRING ? 2 : 4;
        for (uint32_t i = 0; i + unit <= n; i += unit) {
            uint32_t c = 0;
            for (uint32_t k = 0; k < unit; ++k)
                c = (c << 8) | v[i + k];
            AppendUtf8(out, c);
        }
    } else {
        uint32_t start = tag == DER_TAG_BIT_STRING && n > 0 ? 1 : 0;
        for (uint32_t i = start; i < n; ++i)
            AppendUtf8(out, v[i]);
    }
    return out;
}

std::string Hex(const uint8_t* p, uint32_t n, const char* separator) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint32_t i = 0; i < n; ++i) {
        if (i != 0)
            out += separator;
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

}  // namespace cli
