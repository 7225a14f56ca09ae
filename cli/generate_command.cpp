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
#include "app/Unit_mousedata.h"
#include "app/Unit_tthread_genreq.h"
#include "app/messages.h"
#include "app/text.h"
#include "cli/bare_size.h"
#include "cli/password.h"
#include "cli/terminal.h"
#include "crypto/common/mem.h"
#include "platform/files.h"
#include "platform/latin1.h"
#include "platform/message_loop.h"

namespace cli {

namespace {

constexpr int kRejected = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "uso: reqwiz generate --data CAMPOS --key ARCHIVO --req ARCHIVO [--size BITS]\n"
    "                     [--zip ARCHIVO | --config XML] [--entropy-file ARCHIVO] [--force]\n";

// The viewer of a run without a window: messages go to standard error,
// questions are answered No, and there are no controls.
class ConsoleViewer : public platform::PageViewer {
  public:
    bool spoke = false;

    void Load(const std::string&) override {}
    void MessageBox(const std::string&, const std::string& text, platform::MessageIcon) override {
        spoke = true;
        Notice(text);
    }
    bool AskYesNo(const std::string&, const std::string& text, platform::MessageIcon) override {
        spoke = true;
        Notice(text);
        return false;
    }
    std::vector<platform::FormControlInfo> FormControls() override { return {}; }
    void ShowControl(size_t) override {}
    void FocusControl(size_t) override {}
    void SetControlText(size_t, const std::string&) override {}
    std::optional<std::string> SaveFileDialog(const std::string&, const std::string&,
                                              const std::string&) override {
        return std::nullopt;
    }
    void SetCursor(platform::Cursor) override {}
    void StartCollection() override {}
    void SetCollectionProgress(int) override {}
    void StopCollection() override {}
    void Close() override {}
};

struct Options {
    std::string data, key, request, size, zip, config, entropy;
    bool force = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--force") {
            options.force = true;
            continue;
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
        std::optional<std::string> latin1 = StrictLatin1(line);
        if (!latin1) {
            Notice("La l\xEDnea " + std::to_string(number) + " de " + path +
                   " tiene un car\xE1"
                   "cter que no existe en ISO-8859-1 (o no es UTF-8 v\xE1lido)");
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
        std::fputs(kUsageText, stderr);
        return kUsage;
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
    ConsoleViewer viewer;
    window.AttachViewer(&viewer);

    // The data page, as its submission would be checked and stored.
    std::vector<std::string> submitted = data_lines;
    if (!window.ValidateDataPage(submitted)) {
        if (!viewer.spoke)
            Notice("El perfil rechaz\xF3 los datos");
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
            StrictLatin1(std::filesystem::absolute(app::Trim(*name)).string());
        if (!latin1) {
            Notice(std::string("La ruta de ") + option +
                   " tiene caracteres que no existen en ISO-8859-1");
            return kRejected;
        }
        *name = *latin1;
    }
    const std::string size =
        options.size.empty() ? window.KeyFields.Value("SIZE_KEY") : options.size;
    std::vector<std::string> key_lines = {"PWD=" + password, "PWD2=" + password,
                                          "KEY=" + options.key, "REQ=" + options.request,
                                          "SIZE_KEY=" + size};
    mem_fill(password.data(), 0, static_cast<uint32_t>(password.size()));
    const bool key_page_ok = window.ValidateKeyPage(key_lines);
    window.KeyFields.Assign(key_lines);
    for (std::string& line : key_lines)
        mem_fill(line.data(), 0, static_cast<uint32_t>(line.size()));
    if (!key_page_ok)
        return kRejected;

    const std::string key_name = app::WithDefaultExtension(app::Trim(options.key), ".key");
    const std::string request_name = app::WithDefaultExtension(app::Trim(options.request), ".req");
    if (app::SameFile(key_name, request_name)) {
        Notice(app::msg::kSameFile);
        return kRejected;
    }
    if (!options.force) {
        for (const std::string& name : {key_name, request_name}) {
            if (access(platform::DiskName(name).c_str(), F_OK) == 0) {
                Notice(app::msg::kReplaceFileHead + name +
                       " ya existe; use --force para reemplazarlo");
                return kRejected;
            }
        }
    }
    window.KeyFields.SetValue("KEY", key_name);
    window.KeyFields.SetValue("REQ", request_name);

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
    std::printf("%s\n%s\n", platform::DiskName(key_name).c_str(),
                platform::DiskName(request_name).c_str());
    std::fflush(stdout);
    return 0;
}

}  // namespace cli
