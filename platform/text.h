// Text helpers the wizard and the viewer share: lines of a text, and ASCII
// letter case (for protocol words: host names, schemes, file extensions).
#pragma once

#include <string>
#include <vector>

namespace platform {

// Splits text into lines at carriage return, line feed, or both together. A
// final line break does not start another line.
std::vector<std::string> SplitLines(const std::string& text);

// `text` with the ASCII capitals A to Z in lower case; other bytes unchanged.
std::string AsciiLower(std::string text);

}  // namespace platform
