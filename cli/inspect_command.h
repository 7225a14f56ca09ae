// `reqwiz inspect FILE [--key FILE.key] [--json]`: shows what a request says
// and checks its signature and, with --key, that the key file opens with the
// access password (first line of standard input, not echoed on a terminal),
// is consistent and belongs to the request. Exit codes: 0 everything checked
// is valid, 1 something is not, 2 unreadable input or a bad command line.
#pragma once

namespace cli {

// Runs the command with the arguments that follow the word "inspect".
int RunInspect(int argc, char** argv);

}  // namespace cli
