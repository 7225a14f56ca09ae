#include "app/text.h"

#include <cstdint>
#include <limits>

namespace app {

// ISO-8859-1 capitals: A-Z and 0xC0-0xDE except the multiplication sign 0xD7;
// their small letters are 0x20 higher.
char UpperChar(char c) {
    auto b = static_cast<uint8_t>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7))
        return static_cast<char>(b - 0x20);
    return c;
}

char LowerChar(char c) {
    auto b = static_cast<uint8_t>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7))
        return static_cast<char>(b + 0x20);
    return c;
}

std::string UpperCase(const std::string& text) {
    std::string out(text);
    for (char& c : out)
        c = UpperChar(c);
    return out;
}

std::string LowerCase(const std::string& text) {
    std::string out(text);
    for (char& c : out)
        c = LowerChar(c);
    return out;
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperChar(a[i]) != UpperChar(b[i]))
            return false;
    }
    return true;
}

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && static_cast<uint8_t>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<uint8_t>(text[end - 1]) <= ' ')
        --end;
    return text.substr(begin, end - begin);
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto b = static_cast<uint8_t>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string Utf8ToLatin1(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<uint8_t>(text[i]);
        if (b < 0x80) {
            out += text[i++];
            continue;
        }
        size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        if (extra == 0 || b >= 0xF8) {
            out += '?';
            ++i;
            continue;
        }
        uint32_t code = extra == 3 ? (b & 0x07u) : extra == 2 ? (b & 0x0Fu) : (b & 0x1Fu);
        size_t j = 1;
        for (; j <= extra; ++j) {
            if (i + j >= text.size() || (static_cast<uint8_t>(text[i + j]) & 0xC0) != 0x80)
                break;
            code = (code << 6) | (static_cast<uint8_t>(text[i + j]) & 0x3Fu);
        }
        if (j <= extra) {
            out += '?';
            i += j;
            continue;
        }
        // Overlong forms of ASCII are refused like any character past 0xFF.
        out += (code >= 0x80 && code <= 0xFF) ? static_cast<char>(code) : '?';
        i += extra + 1;
    }
    return out;
}

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool ParseDecimal(const std::string& text, int& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    int64_t result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (text[i] - '0');
        if (result > static_cast<int64_t>(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    if (negative)
        result = -result;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return false;
    value = static_cast<int>(result);
    return true;
}

}  // namespace app
