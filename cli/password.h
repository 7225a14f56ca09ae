// The console side of the commands without a window: notices on standard
// error and the access password from standard input.
#pragma once

#include <optional>
#include <string>

namespace cli {

// Prints "Aviso: <message>" on standard error in the terminal's encoding,
// the message as one block of text (CR LF as LF, no blank lines around it).
void Notice(const std::string& latin1);

// The first line of standard input (UTF-8, a final CR dropped) in
// ISO-8859-1, not echoed when it comes from a terminal (a "Clave de acceso: "
// prompt is then shown on standard error). False, with a notice, when it has
// a character outside ISO-8859-1. Every copy made on the way is wiped.
bool ReadPassword(std::string& password);

// The next line of standard input in the same way, with `prompt` (ISO-8859-1)
// shown on a terminal. False, with a notice, for a character outside
// ISO-8859-1. An input that has ended gives an empty password.
bool ReadPasswordLine(const std::string& prompt, std::string& password);

// True when standard input is a terminal (passwords are then typed, and a
// new one is asked twice).
bool InputIsTerminal();

}  // namespace cli
