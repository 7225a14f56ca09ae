// Small text helpers for ISO-8859-1 text held in std::string (one byte per
// character): letter case over the whole ISO-8859-1 range, trimming, HTML
// escaping and decimal numbers.
#pragma once

#include <string>

namespace app {

char UpperChar(char c);
char LowerChar(char c);
std::string UpperCase(const std::string& text);
std::string LowerCase(const std::string& text);
bool SameText(const std::string& a, const std::string& b);

// Removes leading and trailing blanks and control characters (bytes 0 to 32).
std::string Trim(const std::string& text);

// Reads `text` as a decimal integer: an optional sign, then digits only.
// False (and `value` untouched) when it is not one or does not fit an int.
bool ParseDecimal(const std::string& text, int& value);

}  // namespace app
