// The built program answers --help and --version (its own and each
// command's) at once, on standard output, with exit code 0, and starts no
// server; an option it does not know is refused with exit code 2.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/help_text.h"
#include "tests/support/process.h"

namespace {

using testing_support::run;
using testing_support::RunResult;

// The program under `timeout`: a program that started its server instead of
// answering would be stopped and end with 124.
RunResult Ask(const std::vector<std::string>& args, const std::string& locale = "C.UTF-8") {
    std::vector<std::string> argv = {"env", "LC_ALL=" + locale, "timeout", "20", HELP_TEST_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

void ExpectAnswered(const RunResult& r, const std::string& head) {
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out.rfind(head, 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("?token="), std::string::npos) << "a server was started";
}

TEST(Help, ProgramHelpInEveryPlaceOfTheCommandLine) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"-h"},
                                               {"--no-open", "--help"},
                                               {"/ZIP", "/no/such.zip", "--help"},
                                               {"/config", "/no/such.xml", "-h"}}) {
        SCOPED_TRACE(args.back());
        const RunResult r = Ask(args);
        ExpectAnswered(r, "uso: reqwiz [/ZIP ARCHIVO | /CONFIG XML] [--no-open]\n");
        for (const char* part : {"--no-open", "/CONFIG XML", "--version",
                                 "C\xC3\xB3"
                                 "digos de salida",
                                 "~/.cache/reqwiz/browser", "man reqwiz"})
            EXPECT_NE(r.out.find(part), std::string::npos) << part;
        // Every command is listed.
        for (size_t i = 0; i < cli::kCommandCount; ++i)
            EXPECT_NE(r.out.find(std::string("\n  ") + cli::kCommands[i].name + " "),
                      std::string::npos)
                << cli::kCommands[i].name;
    }
}

TEST(Help, VersionIsTheProjectsOwn) {
    for (const char* option : {"--version", "-V"}) {
        const RunResult r = Ask({option});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, std::string("reqwiz ") + HELP_TEST_VERSION + "\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST(Help, EveryCommandHasItsOwnHelp) {
    for (size_t i = 0; i < cli::kCommandCount; ++i) {
        const std::string name = cli::kCommands[i].name;
        SCOPED_TRACE(name);
        for (const char* option : {"--help", "-h"})
            ExpectAnswered(Ask({name, option}), "uso: reqwiz " + name + " ");
        // Also after other options, before any input is read.
        ExpectAnswered(Ask({name, "--key", "/no/such.key", "--help"}), "uso: reqwiz " + name);
    }
}

TEST(Help, TextFollowsTheTerminalsCharacterSet) {
    // ISO-8859-1 bytes where the locale is not UTF-8.
    const RunResult latin1 = Ask({"--help"}, "C");
    EXPECT_EQ(latin1.exit_code, 0);
    EXPECT_NE(latin1.out.find("C\xF3"
                              "digos de salida"),
              std::string::npos);
    EXPECT_EQ(latin1.out.find("\xC3\xB3"), std::string::npos);
}

TEST(Help, UnknownOptionsAreRefused) {
    // Long options are the program's own; a word with one dash is left to the
    // window, which ignores it (the start-up tests run that).
    for (const char* option : {"--bogus", "--no-open=1", "--HELP"}) {
        SCOPED_TRACE(option);
        const RunResult r = Ask({option});
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(option), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("reqwiz --help"), std::string::npos) << r.err;
    }
    const RunResult generate = Ask({"generate", "--bogus"});
    EXPECT_EQ(generate.exit_code, 2);
    EXPECT_NE(generate.err.find("reqwiz generate --help"), std::string::npos) << generate.err;
}

}  // namespace
