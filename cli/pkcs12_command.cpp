#include "cli/pkcs12_command.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/Unit_tthread_genreq.h"
#include "cli/certificates.h"
#include "cli/key_open.h"
#include "cli/password.h"
#include "cli/terminal.h"
#include "crypto/common/mem.h"
#include "crypto/pkcs12/pfx_write.h"
#include "crypto/rsa/rand.h"
#include "platform/file_commit.h"
#include "platform/files.h"
#include "platform/latin1.h"
#include "platform/wipe.h"

namespace cli {

namespace {

constexpr int kRefused = 1;
constexpr int kUsage = 2;

const char* const kHelp =
    "uso: reqwiz pkcs12 --cert ARCHIVO [--chain ARCHIVO]... --key ARCHIVO.key\n"
    "                   --out ARCHIVO.pfx [--modern] [--force]\n"
    "\n"
    "Junta el certificado que devolvi\xF3 la autoridad con la llave privada en un\n"
    "archivo PKCS#12 (.pfx o .p12) para navegadores y programas de firma.\n"
    "\n"
    "  --cert ARCHIVO   el certificado (DER, PEM o un paquete PKCS#7 .p7b); el que\n"
    "                   corresponde a la llave va como certificado, los dem\xE1s como\n"
    "                   cadena\n"
    "  --chain ARCHIVO  certificados de la cadena (autoridad intermedia y ra\xED"
    "z); se\n"
    "                   puede repetir\n"
    "  --key ARCHIVO    la llave privada protegida (.key)\n"
    "  --out ARCHIVO    el archivo PKCS#12 que se escribe\n"
    "  --modern         protecci\xF3n actual (PBES2 con AES-256, MAC HMAC-SHA-256); sin\n"
    "                   esta opci\xF3n se usa triple DES con MAC HMAC-SHA-1, que abren\n"
    "                   tambi\xE9n los sistemas antiguos\n"
    "  --force          escribe aunque el certificado est\xE9 vencido o a\xFAn no sea\n"
    "                   v\xE1lido, y reemplaza un archivo existente\n"
    "\n"
    "La entrada est\xE1ndar da la clave de acceso de la llave en la primera l\xEDnea y\n"
    "la clave del nuevo archivo en la segunda (en una terminal se piden sin eco y la\n"
    "nueva dos veces).\n"
    "\n"
    "C\xF3"
    "digos de salida: 0 archivo escrito; 1 rechazado (el certificado no es de la\n"
    "llave, clave incorrecta, certificado vencido, archivo existente); 2 opciones\n"
    "incorrectas o un archivo ilegible.\n";

struct Options {
    std::string cert, key, out;
    std::vector<std::string> chain;
    bool modern = false, force = false;
};

// 0 to go on, or the exit code (help printed, or a bad command line).
int ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            std::fputs(ForTerminal(kHelp).c_str(), stdout);
            return -1;
        }
        if (word == "--modern") {
            o.modern = true;
            continue;
        }
        if (word == "--force") {
            o.force = true;
            continue;
        }
        const bool has_value = i + 1 < argc && argv[i + 1][0] != '\0';
        if (has_value && word == "--cert") {
            o.cert = argv[++i];
        } else if (has_value && word == "--chain") {
            o.chain.emplace_back(argv[++i]);
        } else if (has_value && word == "--key") {
            o.key = argv[++i];
        } else if (has_value && word == "--out") {
            o.out = argv[++i];
        } else {
            std::fputs(
                ForTerminal("reqwiz pkcs12: " + word + ": opci\xF3n desconocida o sin valor\n")
                    .c_str(),
                stderr);
            std::fputs(ForTerminal(kHelp).c_str(), stderr);
            return kUsage;
        }
    }
    if (o.cert.empty() || o.key.empty() || o.out.empty()) {
        std::fputs(ForTerminal("reqwiz pkcs12: faltan --cert, --key o --out\n").c_str(), stderr);
        std::fputs(ForTerminal(kHelp).c_str(), stderr);
        return kUsage;
    }
    return 0;
}

// The certificates of one file, appended to `ders`; false with a notice.
bool LoadCertificates(const std::string& path, std::vector<std::string>& ders) {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) {
        Notice("No se pudo leer el archivo " + platform::Utf8ToLatin1(path) + ".");
        return false;
    }
    std::vector<std::string> found;
    std::string format, problem;
    if (!ReadCertificates(bytes, found, format, problem)) {
        Notice(problem.empty() ? "El archivo " + platform::Utf8ToLatin1(path) +
                                     " no contiene un certificado X.509 (DER, PEM o PKCS#7)."
                               : platform::Utf8ToLatin1(path) + ": " + problem);
        return false;
    }
    ders.insert(ders.end(), found.begin(), found.end());
    return true;
}

// The two passwords: the key's, then the new file's (twice on a terminal).
bool ReadPasswords(std::string& key_password, std::string& file_password) {
    if (!ReadPasswordLine("Clave de acceso de la llave: ", key_password) ||
        !ReadPasswordLine("Clave del archivo .pfx: ", file_password))
        return false;
    if (InputIsTerminal()) {
        std::string again;
        platform::WipeOnExit wipe;
        wipe.Add(again);
        if (!ReadPasswordLine("Repita la clave del archivo .pfx: ", again))
            return false;
        if (again != file_password) {
            Notice("Las dos claves del archivo .pfx no coinciden.");
            return false;
        }
    }
    if (file_password.empty()) {
        Notice(
            "La clave del archivo .pfx no puede quedar vac\xED"
            "a.");
        return false;
    }
    return true;
}

struct KeyHolder {
    RsaPrivateKey key{};
    ~KeyHolder() { mem_wipe(key); }
};

void PrintUtf8(const std::string& utf8) {
    const std::string text = LocaleIsUtf8() ? utf8 : platform::Utf8ToLatin1(utf8);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

int RunPkcs12(int argc, char** argv) {
    Options o;
    if (const int code = ParseOptions(argc, argv, o); code != 0)
        return code < 0 ? 0 : code;

    std::vector<std::string> own, chain;
    if (!LoadCertificates(o.cert, own))
        return kUsage;
    for (const std::string& path : o.chain) {
        if (!LoadCertificates(path, chain))
            return kUsage;
    }
    std::string key_bytes;
    if (!platform::ReadWholeFile(o.key, key_bytes)) {
        Notice("No se pudo leer el archivo " + platform::Utf8ToLatin1(o.key) + ".");
        return kUsage;
    }
    if (!o.force && access(o.out.c_str(), F_OK) == 0) {
        Notice("El archivo " + platform::Utf8ToLatin1(o.out) +
               " ya existe; use --force para reemplazarlo.");
        return kRefused;
    }

    std::string key_password, file_password;
    platform::WipeOnExit wipe;
    wipe.Add(key_password).Add(file_password);
    if (!ReadPasswords(key_password, file_password))
        return kRefused;
    auto holder = std::make_unique<KeyHolder>();
    std::string problem;
    const KeyOpen opened = OpenKeyFile(key_bytes, key_password, &holder->key, problem);
    if (opened != KeyOpen::Opened) {
        Notice(problem);
        return opened == KeyOpen::Refused ? kRefused : kUsage;
    }

    // The key's certificate first, then every other one once.
    std::vector<std::string> ders;
    ParsedCertificates parsed;
    if (!ParseCertificates(own, parsed))
        return kUsage;
    for (size_t i = 0; i < own.size(); ++i) {
        if (CertificateMatchesKey(*parsed[i], holder->key)) {
            ders.push_back(own[i]);
            break;
        }
    }
    if (ders.empty()) {
        Notice("El certificado no corresponde a esta llave privada.");
        return kRefused;
    }
    for (const std::vector<std::string>* list : {&own, &chain}) {
        for (const std::string& der : *list) {
            bool seen = false;
            for (const std::string& kept : ders)
                seen = seen || kept == der;
            if (!seen)
                ders.push_back(der);
        }
    }
    if (ders.size() > PFX_MAX_CERTIFICATES) {
        Notice("Demasiados certificados: un archivo lleva hasta " +
               std::to_string(PFX_MAX_CERTIFICATES) + ".");
        return kUsage;
    }
    if (!ParseCertificates(ders, parsed))
        return kUsage;

    const std::time_t now = std::time(nullptr);
    std::vector<CertificateFacts> facts;
    for (size_t i = 0; i < ders.size(); ++i) {
        facts.push_back(DescribeCertificate(parsed, i, now));
        if (facts.back().signature == CheckState::Invalid) {
            Notice("La firma del certificado " + platform::Utf8ToLatin1(facts.back().subject) +
                   " no es v\xE1lida: el certificado fue alterado o no lo emiti\xF3 " +
                   platform::Utf8ToLatin1(facts.back().issuer) + ".");
            return kRefused;
        }
    }
    const CertificateFacts& mine = facts[0];
    if (mine.validity != 0 && !o.force) {
        const std::string from = platform::Utf8ToLatin1(mine.not_before);
        const std::string to = platform::Utf8ToLatin1(mine.not_after);
        Notice(mine.validity > 0
                   ? "El certificado venci\xF3 el " + to + " (era v\xE1lido desde el " + from +
                         "); use --force para escribir el archivo de todos modos."
                   : "El certificado a\xFAn no es v\xE1lido: lo ser\xE1 del " + from + " al " + to +
                         "; use --force para escribir el archivo de todos modos.");
        return kRefused;
    }

    // The friendly name is the certificate's common name, when it can be
    // held in ISO-8859-1.
    std::optional<std::string> name = platform::Utf8ToLatin1Strict(mine.common_name);
    if (!name || name->size() > 256)
        name = std::string();
    PfxInput input{};
    input.key = &holder->key;
    for (size_t i = 0; i < ders.size(); ++i) {
        input.certificates[i] = ByteSpan{reinterpret_cast<uint8_t*>(ders[i].data()),
                                         static_cast<uint32_t>(ders[i].size())};
    }
    input.certificate_count = static_cast<uint32_t>(ders.size());
    input.friendly_name = reinterpret_cast<const uint8_t*>(name->data());
    input.friendly_name_len = static_cast<uint32_t>(name->size());
    input.password = reinterpret_cast<const uint8_t*>(file_password.data());
    input.password_len = static_cast<uint32_t>(file_password.size());
    input.preset = o.modern ? PFX_PRESET_MODERN : PFX_PRESET_COMPATIBLE;

    RandomPool pool;
    rand_init(&pool);
    if (!app::FeedSystemRandom(pool, RAND_SEED_BYTES)) {
        Notice("No se pudo leer el generador aleatorio del sistema.");
        mem_wipe(pool);
        return kRefused;
    }
    std::string file(pfx_size_bound(&input), '\0');
    uint32_t file_len = 0;
    const Status written = pfx_write(&input, &pool, reinterpret_cast<uint8_t*>(file.data()),
                                     static_cast<uint32_t>(file.size()), &file_len);
    mem_wipe(pool);
    if (written != PFX_WRITE_OK) {
        Notice(
            "No se pudo armar el archivo PKCS#12 (c\xF3"
            "digo " +
            std::to_string(written) + ").");
        return kRefused;
    }
    file.resize(file_len);
    size_t failed = 0;
    if (!platform::CommitFiles({{o.out, 0600, {file}}}, failed)) {
        Notice("No se pudo escribir el archivo " + platform::Utf8ToLatin1(o.out) + ".");
        return kRefused;
    }

    using platform::Latin1ToUtf8;
    PrintUtf8("Sujeto: " + mine.subject + "\n" + "Emisor: " + mine.issuer + "\n" +
              Latin1ToUtf8("N\xFAmero de serie: ") + mine.serial + "\n" +
              Latin1ToUtf8("V\xE1lido desde: ") + mine.not_before + "\n" +
              Latin1ToUtf8("V\xE1lido hasta: ") + mine.not_after + "\n" +
              "Huella SHA-256: " + mine.fingerprint + "\n" + o.out + "\n");
    return 0;
}

}  // namespace cli
