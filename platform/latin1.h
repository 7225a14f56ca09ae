// Conversion between the program's ISO-8859-1 text and the UTF-8 that the
// browser and JSON speak. The program keeps one byte per character; the
// bridge converts every text that crosses to or from the page.
#pragma once

#include <optional>
#include <string>

namespace platform {

// Each byte becomes the Unicode character of the same number, written in
// UTF-8. Never fails.
std::string Latin1ToUtf8(const std::string& latin1);

// Each UTF-8 character becomes one byte. A character above U+00FF, and any
// byte that does not start or continue a well-formed UTF-8 sequence, becomes
// '?' (one '?' per malformed byte).
std::string Utf8ToLatin1(const std::string& utf8);

// The ISO-8859-1 form of `utf8`, or nothing when it has a character above
// U+00FF or is not well-formed UTF-8: text that must arrive unchanged (a
// password, a name on a certificate, a folder) is refused rather than
// altered.
std::optional<std::string> Utf8ToLatin1Strict(const std::string& utf8);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsUtf8(const std::string& text);

}  // namespace platform
