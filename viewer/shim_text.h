// The page shim's script and style sheet, built into the program from
// the script files of viewer/shim/ (joined in one function scope) and
// viewer/shim/shim.css, and the window's icon (packaging/icons/reqwiz.svg).
#pragma once

namespace viewer {

extern const char kShimScript[];
extern const char kShimStyle[];
extern const char kWindowIcon[];

}  // namespace viewer
