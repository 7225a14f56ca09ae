// The page shim's script and style sheet, built into the program from
// the script files of viewer/shim/ (joined in one function scope) and
// viewer/shim/shim.css.
#pragma once

namespace viewer {

extern const char kShimScript[];
extern const char kShimStyle[];

}  // namespace viewer
