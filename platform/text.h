// Text helpers the wizard and the viewer share: lines of a text, ASCII
// letter case (for protocol words: host names, schemes, file extensions),
// and HTML escaping.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Splits text into lines at carriage return, line feed, or both together. A
// final line break does not start another line.
std::vector<std::string> SplitLines(const std::string& text);

// `text` with the ASCII capitals A to Z in lower case; other bytes unchanged.
std::string AsciiLower(std::string text);

// Which quotes HtmlEscape writes as references: the double quote always
// (values go into double-quoted attributes), the apostrophe too on request.
enum class HtmlQuotes { Double, DoubleAndSingle };

// `text` with "&", "<", ">" and the chosen quotes written as character
// references, for insertion into an HTML page; other bytes unchanged.
std::string HtmlEscape(const std::string& text, HtmlQuotes quotes = HtmlQuotes::Double);

}  // namespace platform
