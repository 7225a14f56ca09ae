// Text for the terminal. The program's text is ISO-8859-1; a terminal whose
// locale is UTF-8 gets it converted, any other gets the bytes as they are.
#pragma once

#include <string>

namespace cli {

// True when the current locale's character set is UTF-8.
bool LocaleIsUtf8();

// `latin1` as the terminal shows it.
std::string ForTerminal(const std::string& latin1);

}  // namespace cli
