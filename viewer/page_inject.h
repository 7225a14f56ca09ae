// Putting the page shim into a page before it goes to the browser.
#pragma once

#include <string>

namespace viewer {

// The shim as one block of HTML: the style sheet and the script, with
// `config_json` (a JSON object written in ASCII only) handed to the script.
// Any "<" in the configuration is escaped so that it cannot end the script.
std::string ShimBlock(const std::string& config_json);

// `html` with `block` inserted where the browser reads it first: just after
// the opening <head> tag, else before the opening <body> tag, else at the
// very start. Tags are found without regard to letter case.
std::string InjectShim(const std::string& html, const std::string& block);

}  // namespace viewer
