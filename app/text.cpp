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
