// `reqwiz generate`: the wizard's generation without its window, for scripts
// and audits.
//
//   reqwiz generate --data FIELDS --key FILE --req FILE [--size BITS]
//                   [--zip ARCHIVE | --config XML] [--entropy-file FILE] [--force]
//
// FIELDS holds the data page's submission as NAME=VALUE lines (UTF-8; every
// character must exist in ISO-8859-1), the whole of it: the profile's
// defaults do not apply. The access password is the first line of standard
// input (not echoed when it is a terminal). The profile is the program's own
// archive unless --zip or --config names another. The fields pass the data
// page's validation, the password and the file names the key page's rules;
// the size defaults to the profile's SIZE_KEY. File names get ".key" and
// ".req" like in the wizard, and a name without a folder is taken from the
// current one; an existing file is replaced only with --force.
//
// The random pool is seeded from the operating system, or, with
// --entropy-file, from that file's bytes alone (at least 256, fed four at a
// time), so that the same file, fields and password give the same outputs.
//
// Every problem is printed as "Aviso: <message>" on standard error. Exit
// codes: 0 when both files are complete (their paths are printed on standard
// output, key file first); 1 for a rejected input or a failed generation; 2
// for a malformed command line; a start-up failure's own code otherwise.
#pragma once

namespace cli {

// Runs the command with the arguments that follow the word "generate".
int RunGenerate(int argc, char** argv);

}  // namespace cli
