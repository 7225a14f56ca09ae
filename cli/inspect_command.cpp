#include "cli/inspect_command.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/help_text.h"
#include "cli/inspect_pfx.h"
#include "cli/inspect_report.h"
#include "cli/password.h"
#include "cli/terminal.h"
#include "crypto/common/mem.h"
#include "platform/files.h"
#include "platform/latin1.h"

namespace cli {

namespace {

void PrintUtf8(FILE* stream, const std::string& utf8) {
    const std::string text = LocaleIsUtf8() ? utf8 : platform::Utf8ToLatin1(utf8);
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

}  // namespace

int RunInspect(int argc, char** argv) {
    std::string request_path, key_path;
    bool json = false, with_key = false;
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            std::fputs(ForTerminal(kInspectHelp).c_str(), stdout);
            return 0;
        } else if (word == "--json") {
            json = true;
        } else if (word == "--key" && i + 1 < argc && argv[i + 1][0] != '\0') {
            key_path = argv[++i];
            with_key = true;
        } else if (word.size() > 1 && word[0] == '-') {
            std::fprintf(
                stderr, "%s",
                ForTerminal("reqwiz inspect: " + word + ": opci\xF3n desconocida o sin valor\n")
                    .c_str());
            std::fputs(ForTerminal(kInspectHelp).c_str(), stderr);
            return 2;
        } else if (request_path.empty()) {
            request_path = word;
        } else {
            std::fputs(ForTerminal(kInspectHelp).c_str(), stderr);
            return 2;
        }
    }
    if (request_path.empty()) {
        std::fputs(ForTerminal(kInspectHelp).c_str(), stderr);
        return 2;
    }

    std::string request_bytes, key_bytes;
    const std::string* unreadable = nullptr;
    if (!platform::ReadWholeFile(request_path, request_bytes))
        unreadable = &request_path;
    else if (with_key && !platform::ReadWholeFile(key_path, key_bytes))
        unreadable = &key_path;
    if (unreadable != nullptr) {
        InspectReport report;
        report.exit_code = 2;
        report.error = platform::Latin1ToUtf8("No se pudo leer el archivo ") + *unreadable + ".";
        if (json)
            PrintUtf8(stdout, RenderJson(report));
        else
            Notice(platform::Utf8ToLatin1(report.error));
        return 2;
    }

    const int other = InspectCertificateOrPfx(request_bytes, with_key ? &key_path : nullptr, json);
    if (other >= 0)
        return other;

    std::string password;
    if (with_key && !ReadPassword(password))
        return 2;
    InspectReport report = InspectFiles(request_bytes, with_key ? &key_bytes : nullptr, password);
    if (!password.empty())
        mem_fill(password.data(), 0, static_cast<uint32_t>(password.size()));

    if (json) {
        PrintUtf8(stdout, RenderJson(report));
    } else if (report.exit_code == 2 && report.key_fingerprint.empty()) {
        Notice(platform::Utf8ToLatin1(report.error));
    } else {
        PrintUtf8(stdout, RenderText(report));
    }
    return report.exit_code;
}

}  // namespace cli
