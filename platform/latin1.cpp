#include "platform/latin1.h"

#include <cstdint>

#include "platform/wipe.h"

namespace platform {

std::string Latin1ToUtf8(const std::string& latin1) {
    std::string out;
    out.reserve(latin1.size() * 2);
    for (char ch : latin1) {
        const auto c = static_cast<uint8_t>(ch);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

namespace {

// Decodes the character at `i`. Returns its length in bytes, or 0 when the
// bytes there are not a well-formed sequence.
size_t DecodeAt(const std::string& utf8, size_t i, uint32_t& code) {
    const size_t n = utf8.size();
    const auto c = static_cast<uint8_t>(utf8[i]);
    if (c < 0x80) {
        code = c;
        return 1;
    }
    // Length and smallest code point of the sequence a lead byte opens;
    // overlong forms and surrogates are malformed.
    size_t length = 0;
    uint32_t minimum = 0;
    code = 0;
    if ((c & 0xE0) == 0xC0) {
        length = 2, code = c & 0x1F, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3, code = c & 0x0F, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4, code = c & 0x07, minimum = 0x10000;
    }
    bool well_formed = length != 0 && i + length <= n;
    for (size_t k = 1; well_formed && k < length; ++k) {
        const auto next = static_cast<uint8_t>(utf8[i + k]);
        if ((next & 0xC0) != 0x80)
            well_formed = false;
        else
            code = (code << 6) | (next & 0x3F);
    }
    if (well_formed && (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
        well_formed = false;
    return well_formed ? length : 0;
}

// Converts `utf8` into `out`. A character above U+00FF and each malformed
// byte become '?', or, when `strict`, end the conversion with false.
bool ToLatin1(const std::string& utf8, bool strict, std::string& out) {
    out.clear();
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        uint32_t code = 0;
        const size_t length = DecodeAt(utf8, i, code);
        if ((length == 0 || code > 0xFF) && strict) {
            WipeText(out);  // the part converted may be part of a password
            return false;
        }
        out.push_back(length != 0 && code <= 0xFF ? static_cast<char>(code) : '?');
        i += length == 0 ? 1 : length;
    }
    return true;
}

}  // namespace

std::string Utf8ToLatin1(const std::string& utf8) {
    std::string out;
    ToLatin1(utf8, false, out);
    return out;
}

std::optional<std::string> Utf8ToLatin1Strict(const std::string& utf8) {
    std::string out;
    if (!ToLatin1(utf8, true, out))
        return std::nullopt;
    return out;
}

bool IsUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        uint32_t code = 0;
        const size_t length = DecodeAt(text, i, code);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

}  // namespace platform
