#include "cli/generate_command.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/Unit_main.h"
#include "app/Unit_tthread_genreq.h"
#include "app/file_names.h"
#include "app/messages.h"
#include "app/page_rules.h"
#include "app/text.h"
#include "cli/bare_size.h"
#include "cli/help_text.h"
#include "cli/password.h"
#include "cli/terminal.h"
#include "crypto/common/mem.h"
#include "platform/files.h"
#include "platform/latin1.h"
#include "platform/message_loop.h"
#include "platform/wipe.h"

namespace cli {

namespace {

constexpr int kRejected = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "uso: reqwiz generate --data CAMPOS --key ARCHIVO --req ARCHIVO [--size BITS]\n"
    "                     [--zip ARCHIVO | --config XML] [--entropy-file ARCHIVO] [--force]\n"
    "Pruebe \xABreqwiz generate --help\xBB.\n";

struct Options {
    std::string data, key, request, size, zip, config, entropy;
    bool force = false;
    bool help = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--force") {
            options.force = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            options.help = true;
            return true;
        }
        std::string* target = word == "--data"           ? &options.data
                              : word == "--key"          ? &options.key
                              : word == "--req"          ? &options.request
                              : word == "--size"         ? &options.size
                              : word == "--zip"          ? &options.zip
                              : word == "--config"       ? &options.config
                              : word == "--entropy-file" ? &options.entropy
                                                         : nullptr;
        if (target == nullptr || i + 1 >= argc || argv[i + 1][0] == '\0') {
            const std::string problem =
                target == nullptr ? "opci\xF3n desconocida" : "falta el valor";
            std::fprintf(stderr, "reqwiz generate: %s: %s\n", word.c_str(),
                         ForTerminal(problem).c_str());
            return false;
        }
        *target = argv[++i];
    }
    if (options.data.empty() || options.key.empty() || options.request.empty()) {
        std::fprintf(stderr, "reqwiz generate: faltan --data, --key o --req\n");
        return false;
    }
    if (!options.zip.empty() && !options.config.empty()) {
        std::fprintf(stderr, "reqwiz generate: --zip y --config no van juntos\n");
        return false;
    }
    return true;
}

// The submission lines of FIELDS: every non-empty line, without its line
// break, in ISO-8859-1.
bool ReadFields(const std::string& path, std::vector<std::string>& lines) {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) {
        Notice("No se pudo leer el archivo de campos " + path);
        return false;
    }
    size_t number = 0, start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        std::optional<std::string> latin1 = platform::Utf8ToLatin1Strict(line);
        if (!latin1) {
            // The field is named as the line spells it (its name part
            // converted leniently, only for the message).
            const std::string name = platform::Utf8ToLatin1(line.substr(0, line.find('=')));
            Notice("L\xEDnea " + std::to_string(number) + " de " + path + ": " +
                   app::msg::NotLatin1(name));
            return false;
        }
        if (latin1->find('=') == std::string::npos) {
            Notice("La l\xEDnea " + std::to_string(number) + " de " + path +
                   " no tiene la forma NOMBRE=VALOR");
            return false;
        }
        lines.push_back(*latin1);
    }
    return true;
}

// The pool of a run: the entropy file's bytes, four at a time, and nothing
// else; or the operating system's random source.
bool SeedPool(const std::string& entropy_path, RandomPool& pool) {
    rand_init(&pool);
    if (entropy_path.empty()) {
        if (!app::FeedSystemRandom(pool, RAND_SEED_BYTES)) {
            Notice(app::msg::kNoSystemRandom);
            return false;
        }
        return true;
    }
    std::string bytes;
    if (!platform::ReadWholeFile(entropy_path, bytes) || bytes.size() < RAND_SEED_BYTES) {
        Notice(
            "El archivo de entrop\xED"
            "a " +
            entropy_path + " no se pudo leer o tiene menos de 256 bytes");
        return false;
    }
    for (size_t at = 0; at < bytes.size(); at += 4) {
        const size_t take = bytes.size() - at < 4 ? bytes.size() - at : 4;
        rand_update(&pool, reinterpret_cast<const uint8_t*>(bytes.data() + at),
                    static_cast<uint32_t>(take));
    }
    return true;
}

}  // namespace

int RunGenerate(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(ForTerminal(kUsageText).c_str(), stderr);
        return kUsage;
    }
    if (options.help) {
        std::fputs(ForTerminal(kGenerateHelp).c_str(), stdout);
        return 0;
    }

    std::vector<std::string> data_lines;
    if (!ReadFields(options.data, data_lines))
        return kRejected;
    std::string password;
    if (!ReadPassword(password))
        return kRejected;

    platform::MessageLoop loop;
    app::Tfrm_req window(loop, {platform::ProgramPath(), BareProgramSize()});
    std::vector<std::string> switches;
    if (!options.zip.empty())
        switches = {"/ZIP", options.zip};
    if (!options.config.empty())
        switches = {"/CONFIG", options.config};
    if (std::optional<app::StartupFailure> failure = window.FormCreate(switches)) {
        Notice(failure->message);
        return failure->exit_code;
    }
    // The data page, as its submission would be checked and stored.
    std::vector<std::string> submitted = data_lines;
    const app::ValidaCamposFunc valida = window.ValidationLoaded ? window.Valida_Campos : nullptr;
    if (std::optional<app::RuleFailure> failure =
            app::CheckDataPage(window.ConfigDoc, valida, submitted)) {
        Notice(failure->silent ? std::string("El perfil rechaz\xF3 los datos") : failure->message);
        return kRejected;
    }
    window.DataFields.Assign(window.ValidationLoaded ? submitted : data_lines);

    // The key page. Names are taken from the current folder when they name
    // none, as a shell user expects; a blank name stays blank for the
    // page's own message.
    // The wizard holds names in ISO-8859-1, as its pages send them; a name
    // with a character outside it cannot be held.
    for (auto [option, name] : {std::pair{"--key", &options.key}, {"--req", &options.request}}) {
        if (app::Trim(*name).empty())
            continue;
        std::optional<std::string> latin1 =
            platform::Utf8ToLatin1Strict(std::filesystem::absolute(app::Trim(*name)).string());
        if (!latin1) {
            Notice(app::msg::NotLatin1(option));
            return kRejected;
        }
        *name = *latin1;
    }
    const std::string size =
        options.size.empty() ? window.KeyFields.Value("SIZE_KEY") : options.size;
    // The lines are built in place: an initializer list would leave
    // unwiped temporary copies of the password behind.
    std::vector<std::string> key_lines;
    for (const char* name : {"PWD=", "PWD2="}) {
        key_lines.emplace_back(name);
        key_lines.back().append(password);
    }
    platform::WipeText(password);
    for (const std::string& line :
         {"KEY=" + options.key, "REQ=" + options.request, "SIZE_KEY=" + size})
        key_lines.push_back(line);
    const std::optional<app::RuleFailure> key_page = app::CheckKeyPage(window.ConfigDoc, key_lines);
    window.KeyFields.Assign(key_lines);
    platform::WipeLines(key_lines);
    if (key_page) {
        Notice(key_page->message);
        return kRejected;
    }

    const app::OutputNames names = app::OutputNamesOf(options.key, options.request);
    if (std::optional<app::RuleFailure> failure = app::CheckOutputNames(names)) {
        Notice(failure->message);
        return kRejected;
    }
    if (!options.force) {
        for (const std::string& name : {names.key, names.request}) {
            if (access(platform::DiskName(name).c_str(), F_OK) == 0) {
                Notice(app::msg::kReplaceFileHead + name +
                       " ya existe; use --force para reemplazarlo");
                return kRejected;
            }
        }
    }
    window.KeyFields.SetValue("KEY", names.key);
    window.KeyFields.SetValue("REQ", names.request);

    app::TThread_GenReq job(window.ConfigDoc, window.DataFields, window.KeyFields);
    if (!SeedPool(options.entropy, job.Pool))
        return kRejected;
    if (job.Start(nullptr))
        job.WaitFor();
    else
        job.Execute();
    if (!job.Result().completed) {
        Notice(job.Result().message);
        return kRejected;
    }
    std::printf("%s\n%s\n", platform::DiskName(names.key).c_str(),
                platform::DiskName(names.request).c_str());
    std::fflush(stdout);
    return 0;
}

}  // namespace cli
