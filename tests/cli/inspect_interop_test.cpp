// The built program against other tools: requests and key files written by
// OpenSSL inspect clean, and GnuTLS's certtool reads our files with the same
// public key (its pin-sha256 is our SHA-256 fingerprint).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/process.h"

namespace {

using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;

RunResult inspect(const std::vector<std::string>& args, const std::string& input = "") {
    std::vector<std::string> argv = {INSPECT_TEST_PROGRAM, "inspect"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, input);
}

std::string field(const std::string& text, const std::string& key) {
    const size_t at = text.find(key);
    if (at == std::string::npos)
        return "";
    const size_t end = text.find('\n', at);
    return text.substr(at + key.size(), end - at - key.size());
}

TEST(InspectInterop, OpensslRequestsAndKeysInspectClean) {
    TempDir dir;
    ASSERT_EQ(run({"openssl", "genrsa", "-out", dir.file("k.pem"), "2048"}).exit_code, 0);
    struct Digest {
        const char* option;
        const char* algorithm;
    } digests[] = {{"", "sha256WithRSAEncryption"},
                   {"-sha1", "sha1WithRSAEncryption"},
                   {"-md5", "md5WithRSAEncryption"}};
    for (const Digest& d : digests) {
        SCOPED_TRACE(d.algorithm);
        std::vector<std::string> argv = {"openssl",
                                         "req",
                                         "-new",
                                         "-key",
                                         dir.file("k.pem"),
                                         "-subj",
                                         "/O=Empresa/CN=Jos\xC3\xA9 P\xC3\xA9rez/C=MX",
                                         "-utf8",
                                         "-out",
                                         dir.file("r.pem")};
        if (*d.option != '\0')
            argv.push_back(d.option);
        ASSERT_EQ(run(argv).exit_code, 0);
        ASSERT_EQ(run({"openssl", "req", "-in", dir.file("r.pem"), "-outform", "DER", "-out",
                       dir.file("r.der")})
                      .exit_code,
                  0);
        for (const char* file : {"r.pem", "r.der"}) {
            const RunResult r = inspect({dir.file(file)});
            EXPECT_EQ(r.exit_code, 0) << file << "\n" << r.out << r.err;
            EXPECT_EQ(field(r.out, "Firma: "), std::string(d.algorithm) + ", v\xC3\xA1lida");
            EXPECT_EQ(field(r.out, "  Nombre: "), "Jos\xC3\xA9 P\xC3\xA9rez");
        }
    }
    // The key as OpenSSL protects it with the legacy scheme (2048
    // iterations), DER and PEM.
    for (const char* form : {"DER", "PEM"}) {
        SCOPED_TRACE(form);
        const std::string key = dir.file(std::string("k8.") + form);
        ASSERT_EQ(run({"openssl", "pkcs8", "-topk8", "-v1", "PBE-MD5-DES", "-provider", "legacy",
                       "-provider", "default", "-in", dir.file("k.pem"), "-passout",
                       "pass:Clave 2026", "-outform", form, "-out", key})
                      .exit_code,
                  0);
        RunResult r = inspect({dir.file("r.der"), "--key", key}, "Clave 2026\n");
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        r = inspect({dir.file("r.der"), "--key", key}, "Clave 2025\n");
        EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
        // Given as the request, it is named for what it is.
        r = inspect({key});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.out.find("Este archivo es una llave privada: no lo env\xC3\xAD"
                             "es."),
                  std::string::npos);
    }
}

// The command line: help in Spanish with exit 0, misuse and a missing file
// with exit 2.
TEST(InspectInterop, HelpAndCommandLine) {
    RunResult r = inspect({"--help"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.rfind("uso: reqwiz inspect ARCHIVO [--key ARCHIVO.key] [--json]", 0), 0u);
    EXPECT_EQ(inspect({}).exit_code, 2);
    EXPECT_EQ(inspect({"a.req", "--otra"}).exit_code, 2);
    EXPECT_EQ(inspect({"a.req", "--key"}).exit_code, 2);
    r = inspect({"/no/existe.req"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("Aviso: No se pudo leer el archivo /no/existe.req."), std::string::npos)
        << r.err;
    r = inspect({"/no/existe.req", "--json"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.out.find("\"exit_code\": 2"), std::string::npos);
}

TEST(InspectInterop, CerttoolReadsOurFilesWithTheSameKey) {
    TempDir dir;
    const std::string sample = std::string(INSPECT_TEST_PROGRAM);
    const std::string maker = sample.substr(0, sample.rfind('/')) + "/make_sample";
    ASSERT_EQ(run({maker, dir.path()}).exit_code, 0);
    const RunResult ours = inspect({dir.file("sample.req"), "--json"});
    ASSERT_EQ(ours.exit_code, 0) << ours.out;
    const std::string fingerprint = field(ours.out, "\"sha256_fingerprint\": \"");
    ASSERT_FALSE(fingerprint.empty());

    const RunResult request =
        run({"certtool", "--crq-info", "--inder", "--infile", dir.file("sample.req")});
    ASSERT_EQ(request.exit_code, 0) << request.err;
    const RunResult key = run({"certtool", "--key-info", "--inder", "--infile",
                               dir.file("sample.key"), "--password", "Muestra2026"});
    ASSERT_EQ(key.exit_code, 0) << key.err;
    // certtool prints the same SHA-256 as lowercase hex after "sha256:".
    std::string hex;
    for (char c : fingerprint)
        if (c != ':' && c != '"' && c != ',')
            hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(request.out.find("sha256:" + hex), std::string::npos) << request.out;
    EXPECT_NE(key.out.find("sha256:" + hex), std::string::npos) << key.out;
    EXPECT_NE(request.out.find("O=EMPRESA DE PRUEBA S.A."), std::string::npos);
}

}  // namespace
