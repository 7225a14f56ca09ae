// The program's help and version texts (ISO-8859-1, as all the program's
// text): `reqwiz --help`, `reqwiz --version` and each command's --help.
#pragma once

#include <string>

namespace cli {

// One line of the top-level help's command list.
struct CommandSummary {
    const char* name;
    const char* summary;
};

// Every command `reqwiz ORDEN` knows, in the order the help lists them.
extern const CommandSummary kCommands[];
extern const size_t kCommandCount;

// `reqwiz --help`: usage, the wizard's options, the commands, the files and
// the exit codes.
std::string ProgramHelp();

// `reqwiz --version`: the name and the project's version, one line.
std::string VersionText();

extern const char* const kGenerateHelp;
extern const char* const kInspectHelp;

}  // namespace cli
