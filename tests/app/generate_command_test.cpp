// `reqwiz generate` run as a program, with OpenSSL reading what it writes:
// the request verifies and carries the subject the job builds, the key file
// opens with the password and holds the request's key; the same entropy file
// gives the same files; every rejection says why and leaves no file, and so
// does every fault of the disk or of the profile archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/text.h"
#include "platform/latin1.h"
#include "tests/app/fixture.h"
#include "tests/support/mount.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;

constexpr const char* kPassword = "Clave2024";

// The data page's submission with accented names, ISO-8859-1.
std::vector<std::pair<std::string, std::string>> Fields() {
    return {{"DN_O", "Tarsel SA"},
            {"DN_OU", ""},
            {"DN_CN_1",
             "Mar\xED"
             "a"},
            {"DN_CN_2",
             "Ib\xE1\xF1"
             "ez"},
            {"DN_CN_3", "Le\xF3n"},
            {"DN_T", ""},
            {"DN_STREET_1", "Reforma"},
            {"DN_STREET_2", "222"},
            {"DN_STREET_3", "4"},
            {"DN_STREET_4", "Centro"},
            {"DN_POSTALCODE", "06600"},
            {"DN_C", "MX"},
            {"DN_S", "cdmx"},
            {"DN_L", "Cuauht\xE9moc"},
            {"DN_UID_1", "IALM"},
            {"DN_UID_2", "800101"},
            {"DN_UID_3", "AB1"},
            {"DN_SN", ""},
            {"DN_E", "Maria@Example.COM"},
            {"DN_PHONE", "5555555555"},
            {"DN_FAX", ""},
            {"EA_CHALLENGE", "CAMPANAS1987"}};
}

// Latin-1 bytes as OpenSSL prints them with esc_msb: "\CD".
std::string EscapedMsb(const std::string& latin1) {
    std::string out;
    for (char c : latin1) {
        auto b = static_cast<uint8_t>(c);
        if (b < 0x80) {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "\\%02X", b);
            out += hex;
        }
    }
    return out;
}

std::string OuterDer(const std::string& bytes) {
    size_t length = static_cast<uint8_t>(bytes.at(1)), header = 2;
    if (length & 0x80) {
        const size_t count = length & 0x7F;
        length = 0;
        for (size_t i = 0; i < count; ++i)
            length = (length << 8) | static_cast<uint8_t>(bytes.at(2 + i));
        header += count;
    }
    return bytes.substr(0, header + length);
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

class Generate : public ::testing::Test {
  protected:
    void SetUp() override {
        // Messages come out in ISO-8859-1 under the C locale.
        setenv("LC_ALL", "C", 1);
        WriteFields(Fields());
    }
    void TearDown() override { unsetenv("LC_ALL"); }

    void WriteFields(const std::vector<std::pair<std::string, std::string>>& fields) {
        std::string text;
        for (const auto& [name, value] : fields)
            text += platform::Latin1ToUtf8(name + "=" + value) + "\n";
        testing_support::write_file(dir.file("campos.txt"), Bytes(text));
    }
    void ChangeFields(const std::map<std::string, std::string>& changes) {
        auto fields = Fields();
        for (auto& [name, value] : fields) {
            if (changes.count(name))
                value = changes.at(name);
        }
        for (const auto& [name, value] : changes) {
            bool known = false;
            for (const auto& field : fields)
                known = known || field.first == name;
            if (!known)
                fields.push_back({name, value});
        }
        WriteFields(fields);
    }

    RunResult Run(std::vector<std::string> extra, const std::string& password = kPassword,
                  const std::string& key = "", const std::string& req = "") {
        std::vector<std::string> argv = {APP_TEST_PACKED_PROGRAM,
                                         "generate",
                                         "--data",
                                         dir.file("campos.txt"),
                                         "--key",
                                         key.empty() ? out.file("llave") : key,
                                         "--req",
                                         req.empty() ? out.file("solicitud") : req};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return run(argv, password + "\n");
    }

    RunResult OpenSsl(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"openssl"};
        argv.insert(argv.end(), args.begin(), args.end());
        return run(argv);
    }

    // Writes the DER part of the request file to request.der.
    std::string RequestDer() {
        const std::string der = OuterDer(app_test::ReadText(out.file("solicitud.req")));
        testing_support::write_file(out.file("request.der"), Bytes(der));
        return out.file("request.der");
    }

    std::vector<std::string> OutputFiles() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(out.path()))
            names.push_back(entry.path().filename().string());
        return names;
    }

    TempDir dir, out;
};

TEST_F(Generate, OpenSslReadsBothFilesForEverySize) {
    for (const char* bits : {"508", "1025", "2048"}) {
        for (const auto& entry : fs::directory_iterator(out.path()))
            fs::remove(entry.path());
        const RunResult result = Run({"--size", bits});
        ASSERT_EQ(result.exit_code, 0) << result.err;
        EXPECT_EQ(result.out, out.file("llave.key") + "\n" + out.file("solicitud.req") + "\n");

        const std::string der = RequestDer();
        const RunResult verify =
            OpenSsl({"req", "-inform", "DER", "-in", der, "-verify", "-noout"});
        EXPECT_EQ(verify.exit_code, 0) << verify.err;
        EXPECT_NE((verify.out + verify.err).find("verify OK"), std::string::npos);

        const RunResult subject = OpenSsl({"req", "-inform", "DER", "-in", der, "-noout",
                                           "-subject", "-nameopt", "sep_multiline,esc_msb,lname"});
        ASSERT_EQ(subject.exit_code, 0) << subject.err;
        EXPECT_NE(subject.out.find("commonName=" +
                                   EscapedMsb("MAR\xCD"
                                              "A IB\xC1\xD1"
                                              "EZ LE\xD3N") +
                                   "\n"),
                  std::string::npos)
            << subject.out;
        EXPECT_NE(subject.out.find("streetAddress=REFORMA 222 4. CENTRO\n"), std::string::npos)
            << subject.out;
        EXPECT_NE(subject.out.find("emailAddress=maria@example.com\n"), std::string::npos);
        const RunResult text = OpenSsl({"req", "-inform", "DER", "-in", der, "-noout", "-text"});
        EXPECT_NE(text.out.find(std::string("Public-Key: (") + bits + " bit)"), std::string::npos);

        // The trailer: the mark, then the fields as the job left them.
        const std::string file = app_test::ReadText(out.file("solicitud.req"));
        const std::string trailer = file.substr(OuterDer(file).size());
        EXPECT_EQ(trailer.rfind("VERSION1.1DN_O=Tarsel SA\r\n", 0), 0u);
        EXPECT_NE(trailer.find("\r\nDN_CN_2=IB\xC1\xD1"
                               "EZ\r\n"),
                  std::string::npos);
        EXPECT_EQ(trailer.substr(trailer.size() - 27), "EA_CHALLENGE=CAMPANAS1987\r\n");

        // The key file opens with the password and holds the request's key.
        const RunResult key =
            OpenSsl({"pkcs8", "-inform", "DER", "-in", out.file("llave.key"), "-passin",
                     std::string("pass:") + kPassword, "-provider", "legacy", "-provider",
                     "default", "-out", out.file("clave.pem")});
        ASSERT_EQ(key.exit_code, 0) << key.err;
        const RunResult key_modulus =
            OpenSsl({"rsa", "-in", out.file("clave.pem"), "-noout", "-modulus"});
        const RunResult request_modulus =
            OpenSsl({"req", "-inform", "DER", "-in", der, "-noout", "-modulus"});
        ASSERT_EQ(key_modulus.exit_code, 0) << key_modulus.err;
        EXPECT_EQ(key_modulus.out, request_modulus.out);
        EXPECT_EQ(key_modulus.out.rfind("Modulus=", 0), 0u);
        const RunResult wrong = OpenSsl({"pkcs8", "-inform", "DER", "-in", out.file("llave.key"),
                                         "-passin", "pass:Clave2025", "-provider", "legacy",
                                         "-provider", "default", "-out", out.file("no.pem")});
        EXPECT_NE(wrong.exit_code, 0);

        // Our own reader agrees: the request with its trailer and the key
        // inspect clean, the trailer's lines shown; a wrong password is named.
        const RunResult inspect = run({APP_TEST_PACKED_PROGRAM, "inspect",
                                       out.file("solicitud.req"), "--key", out.file("llave.key")},
                                      std::string(kPassword) + "\n");
        EXPECT_EQ(inspect.exit_code, 0) << inspect.out << inspect.err;
        EXPECT_NE(inspect.out.find("  EA_CHALLENGE=CAMPANAS1987\n"), std::string::npos)
            << inspect.out;
        const RunResult mistaken = run({APP_TEST_PACKED_PROGRAM, "inspect",
                                        out.file("solicitud.req"), "--key", out.file("llave.key")},
                                       "Clave2025\n");
        EXPECT_EQ(mistaken.exit_code, 1);
        EXPECT_NE(mistaken.out.find("La clave de acceso no abre la llave privada."),
                  std::string::npos);
    }
}

TEST_F(Generate, SameEntropyFileSameFiles) {
    std::string entropy;
    for (int i = 0; i < 300; ++i)
        entropy += static_cast<char>(i * 37 + 11);
    testing_support::write_file(dir.file("azar.bin"), Bytes(entropy));
    testing_support::write_file(dir.file("otro.bin"), Bytes(entropy.substr(0, 299) + "x"));

    std::vector<std::string> keys, requests;
    for (const char* source : {"azar.bin", "azar.bin", "otro.bin"}) {
        const RunResult result =
            Run({"--size", "1024", "--force", "--entropy-file", dir.file(source)});
        ASSERT_EQ(result.exit_code, 0) << result.err;
        keys.push_back(app_test::ReadText(out.file("llave.key")));
        requests.push_back(app_test::ReadText(out.file("solicitud.req")));
    }
    EXPECT_EQ(keys[0], keys[1]);
    EXPECT_EQ(requests[0], requests[1]);
    EXPECT_NE(keys[0], keys[2]);
    EXPECT_NE(requests[0], requests[2]);

    // Without an entropy file the operating system seeds every run anew.
    ASSERT_EQ(Run({"--size", "1024", "--force"}).exit_code, 0);
    EXPECT_NE(app_test::ReadText(out.file("llave.key")), keys[0]);
}

TEST_F(Generate, AFolderNameWithAccentsIsUsedAsTheDiskHoldsIt) {
    const std::string folder = out.file("A\xC3\xB1o 2026");  // UTF-8, as the disk has it
    fs::create_directory(folder);
    const RunResult result =
        Run({"--size", "508"}, kPassword, folder + "/llave", folder + "/solicitud");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, folder + "/llave.key\n" + folder + "/solicitud.req\n");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"llave.key", "solicitud.req"}));
}

TEST_F(Generate, EveryRejectionSaysWhyAndWritesNothing) {
    const std::string o = out.path();
    fs::create_directory(dir.file("ocupado.req"));
    testing_support::write_file(dir.file("vieja.key"), Bytes("vieja"));
    testing_support::write_file(dir.file("corta.bin"), Bytes(std::string(255, 'a')));
    const std::string invalid_name =
        "\nEl nombre del archivo no puede contener acentos, \n \xF1 o caracteres especiales.\n"
        "Por favor modif\xED"
        "calo.";
    struct Case {
        std::map<std::string, std::string> fields;
        std::vector<std::string> extra;
        std::string password, key, req;
        std::string message;
    } cases[] = {
        {{{"DN_O", ""}}, {}, kPassword, "", "", "Proporciona el campo Raz\xF3n SOcial"},
        {{{"DN_CN_2", "  "}}, {}, kPassword, "", "", "Proporciona el campo Primer Apellido"},
        {{}, {}, "abc123", "", "", app::msg::kPasswordTooShort},
        {{}, {}, "abcdefghij", "", "", app::msg::kPasswordNeedsDigitsAndLetters},
        {{}, {}, "", "", "", app::msg::kPasswordTooShort},
        {{}, {}, kPassword, " ", "", "Indica el archivo para guardar la llave privada"},
        {{}, {}, kPassword, "", " ", "Indica el archivo para guardar el requerimiento"},
        {{}, {}, kPassword, "/no/existe/llave", "", app::msg::kKeyPathInvalid},
        {{}, {}, kPassword, "", "/no/existe/req", app::msg::kRequestPathInvalid},
        {{}, {}, kPassword, o + "/", "", app::msg::kKeyFileMissing},
        {{}, {}, kPassword, "", o + "/", app::msg::kRequestFileMissing},
        {{}, {}, kPassword, o + "/mi llave", "", invalid_name},
        {{},
         {},
         kPassword,
         "",
         o + "/solicit\xC3\xBA"
             "d",
         invalid_name},
        {{}, {}, kPassword, o + "/uno.dat", o + "/uno.dat", app::msg::kSameFile},
        {{}, {}, kPassword, o + "/\xE2\x82\xAC/llave", "", app::msg::NotLatin1("--key")},
        {{},
         {},
         "Pw1\xE2\x82\xAC"
         "abcdX",
         "",
         "",
         app::msg::NotLatin1("PWD")},
        {{},
         {},
         kPassword,
         dir.file("vieja.key"),
         "",
         std::string(app::msg::kReplaceFileHead) + dir.file("vieja.key") +
             " ya existe; use --force para reemplazarlo"},
        {{{"EA_SUBJECT_ALT_NAME_IP", "10.x.0.1"}},
         {},
         kPassword,
         "",
         "",
         std::string(app::msg::kIpAddressInvalid) + "10.x.0.1." + app::msg::kNothingWritten},
        {{},
         {"--size", "4096"},
         kPassword,
         "",
         "",
         std::string(app::msg::kKeySizeOutOfRange) + "4096." + app::msg::kNothingWritten},
        {{},
         {"--size", "mil"},
         kPassword,
         "",
         "",
         std::string(app::msg::kKeySizeInvalid) + "mil." + app::msg::kNothingWritten},
        {{},
         {"--force"},
         kPassword,
         "",
         dir.file("ocupado.req"),
         std::string(app::msg::kFileWriteFailed) + dir.file("ocupado.req") + "." +
             app::msg::kNothingWritten},
        {{},
         {"--entropy-file", dir.file("corta.bin")},
         kPassword,
         "",
         "",
         "El archivo de entrop\xED"
         "a " +
             dir.file("corta.bin") + " no se pudo leer o tiene menos de 256 bytes"},
        {{{"DN_L", "Euro \xE2\x82\xAC"}}, {}, kPassword, "", "", "L\xEDnea "},
    };
    for (const Case& c : cases) {
        ChangeFields(c.fields);
        // The euro sign is outside ISO-8859-1: the fields file gets it as
        // UTF-8 bytes, written unconverted.
        if (c.fields.count("DN_L")) {
            std::string text = app_test::ReadText(dir.file("campos.txt"));
            const std::string typed = platform::Latin1ToUtf8("Euro \xE2\x82\xAC");
            text.replace(text.find(typed), typed.size(), "Euro \xE2\x82\xAC");
            testing_support::write_file(dir.file("campos.txt"), Bytes(text));
        }
        const RunResult result = Run(c.extra, c.password, c.key, c.req);
        EXPECT_EQ(result.exit_code, 1) << c.message << "\n" << result.err;
        const std::string expected = "Aviso: " + c.message;
        // Messages are printed without the blank lines around them.
        std::string tidy = expected;
        while (tidy.find("Aviso: \n") != std::string::npos)
            tidy.replace(tidy.find("Aviso: \n"), 8, "Aviso: ");
        EXPECT_EQ(result.err.rfind(tidy, 0), 0u) << result.err << "\nexpected: " << tidy;
        EXPECT_TRUE(result.out.empty()) << result.out;
        EXPECT_TRUE(OutputFiles().empty()) << c.message;
        EXPECT_EQ(app_test::ReadText(dir.file("vieja.key")), "vieja");
    }

    // --force replaces.
    WriteFields(Fields());
    const RunResult forced = Run({"--size", "508", "--force"}, kPassword, dir.file("vieja.key"));
    EXPECT_EQ(forced.exit_code, 0) << forced.err;
    EXPECT_NE(app_test::ReadText(dir.file("vieja.key")), "vieja");

    // A malformed command line.
    EXPECT_EQ(run({APP_TEST_PACKED_PROGRAM, "generate", "--key"}).exit_code, 2);
    EXPECT_EQ(run({APP_TEST_PACKED_PROGRAM, "generate", "--data", dir.file("campos.txt"), "--key",
                   "a", "--req", "b", "--zip", "z", "--config", "c"})
                  .exit_code,
              2);
}

// The disk refuses: the output folder read-only, full at the first byte of
// the key file, full in the middle of the request, and the request's name a
// folder. Each is one "Aviso" naming the file, exit code 1, no file of the
// run left, and the older file of that name untouched.
TEST_F(Generate, DiskFaultsSayWhichFileAndChangeNothing) {
    // A request of more than one page: a long field goes into its trailer.
    ChangeFields({{"NOTA", std::string(6000, 'n')}});
    // ISO-8859-1: the runs' locale is C.
    const auto notice = [](const std::string& path) {
        return std::string("Aviso: ") + app::msg::kFileWriteFailed + path + "." +
               app::msg::kNothingWritten + "\n";
    };
    const std::vector<uint8_t> older = Bytes("vieja");
    testing_support::TmpfsMount disk;
    std::string why;

    // Read-only.
    if (!disk.Mount(out.path(), 64 << 10, why))
        GTEST_SKIP() << why;
    testing_support::write_file(out.file("llave.key"), older);
    ASSERT_TRUE(disk.MakeReadOnly(why)) << why;
    RunResult r = Run({"--size", "508", "--force"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, notice(out.file("llave.key")));
    EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"llave.key"}));
    EXPECT_EQ(app_test::ReadText(out.file("llave.key")), "vieja");
    disk.Unmount();

    // One page, taken by the older request: no room for the key file.
    ASSERT_TRUE(disk.Mount(out.path(), 4096, why)) << why;
    testing_support::write_file(out.file("solicitud.req"), older);
    r = Run({"--size", "508", "--force"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, notice(out.file("llave.key")));
    EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"solicitud.req"}));
    EXPECT_EQ(app_test::ReadText(out.file("solicitud.req")), "vieja");
    disk.Unmount();

    // Three pages: the older key file, the new one, and one page of the
    // request's two.
    ASSERT_TRUE(disk.Mount(out.path(), 3 * 4096, why)) << why;
    testing_support::write_file(out.file("llave.key"), older);
    r = Run({"--size", "508", "--force"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, notice(out.file("solicitud.req")));
    EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"llave.key"}));
    EXPECT_EQ(app_test::ReadText(out.file("llave.key")), "vieja");

    // With room, the same run completes.
    disk.Unmount();
    ASSERT_TRUE(disk.Mount(out.path(), 64 << 10, why)) << why;
    r = Run({"--size", "508"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    disk.Unmount();

    // The request's name is a folder.
    fs::create_directory(out.file("solicitud.req"));
    testing_support::write_file(out.file("llave.key"), older);
    r = Run({"--size", "508", "--force"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, notice(out.file("solicitud.req")));
    std::vector<std::string> files = OutputFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"llave.key", "solicitud.req"}));
    EXPECT_EQ(app_test::ReadText(out.file("llave.key")), "vieja");
    EXPECT_TRUE(fs::is_empty(out.file("solicitud.req")));
}

// The temporary folder refuses writes at start-up: the program's archive
// cannot be copied out, which is said, and nothing is written.
TEST_F(Generate, AnUnwritableTemporaryFolderEndsTheStart) {
    TempDir temp;
    testing_support::TmpfsMount disk;
    std::string why;
    if (!disk.Mount(temp.path(), 64 << 10, why))
        GTEST_SKIP() << why;
    ASSERT_TRUE(disk.MakeReadOnly(why)) << why;
    setenv("TMPDIR", temp.path().c_str(), 1);
    const RunResult r = Run({"--size", "508"});
    unsetenv("TMPDIR");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, std::string("Aviso: ") + app::msg::kTempFileFailed + "\n");
    EXPECT_TRUE(OutputFiles().empty());
}

// A damaged profile archive: cut every few hundred bytes, and one bit
// flipped in every stretch of 97 bytes. Each run either completes (the damage
// lay where nothing reads it) with both files whole, or ends with one
// "Aviso" and exit code 1 or 2; never a crash, a temporary file left or a
// file of the run written.
TEST_F(Generate, ADamagedProfileArchiveEndsInAnAvisoOrCompletes) {
    // The test profile, and the shipped one that travels behind the program.
    app_test::WriteProfileArchive(dir.file("perfil.zip"));
    const std::string shipped =
        app_test::ReadText(APP_TEST_PACKED_PROGRAM).substr(fs::file_size(APP_TEST_BARE_PROGRAM));
    std::vector<std::pair<std::string, std::string>> damaged;
    for (const std::string& archive : {app_test::ReadText(dir.file("perfil.zip")), shipped}) {
        const std::string which = archive == shipped ? "shipped profile, " : "test profile, ";
        for (size_t cut = 0; cut < archive.size(); cut += 300)
            damaged.push_back({which + "cut at " + std::to_string(cut), archive.substr(0, cut)});
        for (size_t at = 0; at < archive.size(); at += 97) {
            std::string flipped = archive;
            flipped[at] = static_cast<char>(flipped[at] ^ (1 << (at % 8)));
            damaged.push_back({which + "bit flipped at " + std::to_string(at), flipped});
        }
    }
    TempDir temp;
    setenv("TMPDIR", temp.path().c_str(), 1);
    size_t completed = 0;
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        testing_support::write_file(dir.file("danado.zip"), Bytes(bytes));
        const RunResult r = Run({"--size", "508", "--zip", dir.file("danado.zip")});
        std::vector<std::string> files = OutputFiles();
        std::sort(files.begin(), files.end());
        if (r.exit_code == 0) {
            ++completed;
            EXPECT_EQ(files, (std::vector<std::string>{"llave.key", "solicitud.req"}));
            const RunResult check =
                run({APP_TEST_PACKED_PROGRAM, "inspect", out.file("solicitud.req")});
            EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
            for (const std::string& file : files)
                fs::remove(out.file(file));
        } else {
            EXPECT_TRUE(r.exit_code == 1 || r.exit_code == 2) << r.exit_code << " " << r.err;
            EXPECT_EQ(r.err.rfind("Aviso: ", 0), 0u) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_TRUE(files.empty());
        }
        EXPECT_TRUE(fs::is_empty(temp.path()));
    }
    unsetenv("TMPDIR");
    // The untouched archive works, and so do some of the damaged ones.
    EXPECT_EQ(Run({"--size", "508", "--zip", dir.file("perfil.zip")}).exit_code, 0);
    EXPECT_GT(completed, 0u);
}

}  // namespace
