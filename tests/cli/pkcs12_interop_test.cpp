// `reqwiz pkcs12` and `reqwiz inspect` on certificates that OpenSSL issues
// for a request of `reqwiz generate` (a throw-away authority, DER and PEM,
// an expired one, one not yet valid, one for another key, PKCS#7 bundles),
// and the .pfx files we write opened by the independent readers: OpenSSL
// (default provider only), GnuTLS certtool, NSS pk12util importing into a
// fresh database, and Python's cryptography. Each must give back exactly
// our key and our certificates.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "crypto/x509/certificate.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::run;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::write_file;

constexpr const char* kKeyPassword = "Clave2026";
// Not ASCII, so every reader shows it takes the password as we do (BMP
// characters for the PKCS#12 derivation, UTF-8 for PBKDF2).
constexpr const char* kFilePassword =
    "Contrase\xC3\xB1"
    "a Pfx 7";
constexpr const char* kName = "MARIA LOPEZ GARCIA";

using Bytes = std::vector<uint8_t>;

std::string Text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// The DER element at the start of `bytes` (the request file has its text
// trailer after it).
Bytes OuterDer(const Bytes& bytes) {
    size_t length = bytes.at(1), header = 2;
    if (length & 0x80) {
        const size_t count = length & 0x7F;
        length = 0;
        for (size_t i = 0; i < count; ++i)
            length = (length << 8) | bytes.at(2 + i);
        header += count;
    }
    return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(header + length));
}

RunResult Must(const std::vector<std::string>& argv, const std::string& input = "") {
    RunResult r = run(argv, input);
    EXPECT_EQ(r.exit_code, 0) << argv[0] << " " << (argv.size() > 1 ? argv[1] : "") << "\n"
                              << r.out << r.err;
    return r;
}

// The files every test uses, made once.
struct Files {
    TempDir dir;
    std::string file(const std::string& name) const { return dir.file(name); }

    Files() {
        // The program's messages in UTF-8, whatever the test runner's locale.
        setenv("LC_ALL", "C.UTF-8", 1);
        const std::string fields =
            "DN_O=EMPRESA DE PRUEBA SA\nDN_OU=\nDN_CN_1=MARIA\nDN_CN_2=LOPEZ\nDN_CN_3=GARCIA\n"
            "DN_T=\nDN_STREET_1=Reforma\nDN_STREET_2=222\nDN_STREET_3=4\nDN_STREET_4=Centro\n"
            "DN_POSTALCODE=06600\nDN_C=MX\nDN_S=cdmx\nDN_L=Cuauhtemoc\nDN_UID_1=LOGM\n"
            "DN_UID_2=800101\nDN_UID_3=XYZ\nDN_SN=\nDN_E=maria@example.mx\n"
            "DN_PHONE=5555555555\nDN_FAX=\nEA_CHALLENGE=CAMPANAS1987\n";
        write_file(file("campos.txt"), Bytes(fields.begin(), fields.end()));
        Must({PKCS12_TEST_PROGRAM, "generate", "--data", file("campos.txt"), "--key", file("llave"),
              "--req", file("solicitud"), "--size", "2048"},
             std::string(kKeyPassword) + "\n");
        write_file(file("req.der"), OuterDer(read_file(file("solicitud.req"))));
        // Our key as OpenSSL decrypts it, in OpenSSL's DER form of an RSA
        // key (RSAPrivateKey): what every reader must give back.
        Must({"openssl", "pkcs8", "-inform", "DER", "-in", file("llave.key"), "-passin",
              std::string("pass:") + kKeyPassword, "-provider", "legacy", "-provider", "default",
              "-outform", "DER", "-out", file("key.der")});

        Must({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", file("ca.key"),
              "-out", file("ca.pem"), "-subj", "/CN=CA de prueba/O=Pruebas", "-days", "30"});
        Must({"openssl", "x509", "-in", file("ca.pem"), "-outform", "DER", "-out", file("ca.der")});
        // One certificate in both forms (two issues a second apart would
        // differ in their dates).
        Issue("cert.pem", "10", "PEM");
        Must({"openssl", "x509", "-in", file("cert.pem"), "-outform", "DER", "-out",
              file("cert.der")});
        Issue("expired.pem", "-1", "PEM");
        // Not yet valid: `openssl ca` takes a start date.
        const std::string config = "[ca]\ndefault_ca = d\n[d]\ndatabase = " + file("index.txt") +
                                   "\nnew_certs_dir = " + dir.path() +
                                   "\nserial = " + file("serial") +
                                   "\ndefault_md = sha256\npolicy = p\n[p]\ncommonName = "
                                   "optional\n";
        write_file(file("ca.cnf"), Bytes(config.begin(), config.end()));
        write_file(file("index.txt"), {});
        write_file(file("serial"), {'1', '0', '\n'});
        Must({"openssl", "req", "-inform", "DER", "-in", file("req.der"), "-out", file("req.pem")});
        Must({"openssl", "ca", "-batch", "-config", file("ca.cnf"), "-cert", file("ca.pem"),
              "-keyfile", file("ca.key"), "-in", file("req.pem"), "-preserveDN", "-notext",
              "-startdate", "20990101000000Z", "-enddate", "20991231000000Z", "-out",
              file("future.pem")});
        // A certificate for another key.
        Must({"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", file("other.key"),
              "-subj", "/CN=Otra persona", "-out", file("other.csr")});
        Must({"openssl", "x509", "-req", "-in", file("other.csr"), "-CA", file("ca.pem"), "-CAkey",
              file("ca.key"), "-days", "10", "-out", file("other.pem")});
        // The certificate with its authority as PKCS#7, PEM and DER.
        Must({"openssl", "crl2pkcs7", "-nocrl", "-certfile", file("cert.pem"), "-certfile",
              file("ca.pem"), "-out", file("bundle.p7b")});
        Must({"openssl", "crl2pkcs7", "-nocrl", "-certfile", file("cert.pem"), "-certfile",
              file("ca.pem"), "-outform", "DER", "-out", file("bundle-der.p7b")});
    }

    void Issue(const std::string& name, const std::string& days, const std::string& form) {
        Must({"openssl", "x509", "-req", "-in", file("req.der"), "-inform", "DER", "-CA",
              file("ca.pem"), "-CAkey", file("ca.key"), "-days", days, "-set_serial", "4660",
              "-outform", form, "-out", file(name)});
    }
};

Files& Shared() {
    static Files* files = new Files;
    return *files;
}

RunResult Pkcs12(const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> argv = {PKCS12_TEST_PROGRAM, "pkcs12"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, input);
}

RunResult Inspect(const std::vector<std::string>& args, const std::string& input = "") {
    std::vector<std::string> argv = {PKCS12_TEST_PROGRAM, "inspect"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, input);
}

std::string Passwords() {
    return std::string(kKeyPassword) + "\n" + kFilePassword + "\n";
}

// A .pfx written from `cert` (+ `chain`) with or without --modern.
std::string Write(const std::string& name, const std::string& cert, bool modern,
                  const std::vector<std::string>& chain = {}) {
    Files& f = Shared();
    std::vector<std::string> args = {"--cert", f.file(cert), "--key", f.file("llave.key"),
                                     "--out",  f.file(name)};
    for (const std::string& c : chain) {
        args.push_back("--chain");
        args.push_back(f.file(c));
    }
    if (modern)
        args.push_back("--modern");
    const RunResult r = Pkcs12(args, Passwords());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    return f.file(name);
}

// A PEM key or certificate file as DER, through OpenSSL.
Bytes KeyDer(const std::string& pem) {
    const std::string out = pem + ".der";
    Must({"openssl", "pkey", "-in", pem, "-outform", "DER", "-out", out});
    return read_file(out);
}

Bytes CertDer(const std::string& pem) {
    const std::string out = pem + ".der";
    Must({"openssl", "x509", "-in", pem, "-outform", "DER", "-out", out});
    return read_file(out);
}

// The first PEM block with `label` in `text`, written to `path`.
void SavePem(const std::string& text, const std::string& label, const std::string& path) {
    const std::string begin = "-----BEGIN " + label + "-----";
    const std::string end = "-----END " + label + "-----";
    const size_t a = text.find(begin);
    const size_t b = text.find(end, a == std::string::npos ? 0 : a);
    ASSERT_NE(a, std::string::npos) << label << " missing in\n" << text;
    ASSERT_NE(b, std::string::npos);
    const std::string block = text.substr(a, b + end.size() - a) + "\n";
    write_file(path, Bytes(block.begin(), block.end()));
}

class Pkcs12Interop : public ::testing::Test {
  protected:
    Files& f = Shared();
};

// OpenSSL's default provider (no legacy) gives back our key, our
// certificate and the authority, from both presets.
TEST_F(Pkcs12Interop, OpensslReadsBothPresets) {
    for (bool modern : {false, true}) {
        SCOPED_TRACE(modern ? "modern" : "compatible");
        const std::string pfx =
            Write(modern ? "o-m.pfx" : "o-c.pfx", "cert.pem", modern, {"ca.pem"});
        const std::string pass = std::string("pass:") + kFilePassword;
        const RunResult info = Must({"openssl", "pkcs12", "-info", "-in", pfx, "-passin", pass,
                                     "-noenc", "-out", f.file("o-all.pem")});
        EXPECT_NE(
            info.err.find(modern ? "MAC: sha256, Iteration 2048" : "MAC: sha1, Iteration 2048"),
            std::string::npos)
            << info.err;
        EXPECT_NE(
            info.err.find(modern ? "PBES2, PBKDF2, AES-256-CBC, Iteration 2048, PRF hmacWithSHA256"
                                 : "pbeWithSHA1And3-KeyTripleDES-CBC, Iteration 2048"),
            std::string::npos)
            << info.err;
        Must({"openssl", "pkcs12", "-in", pfx, "-passin", pass, "-nocerts", "-noenc", "-out",
              f.file("o-key.pem")});
        Must({"openssl", "pkcs12", "-in", pfx, "-passin", pass, "-nokeys", "-clcerts", "-out",
              f.file("o-cert.pem")});
        Must({"openssl", "pkcs12", "-in", pfx, "-passin", pass, "-nokeys", "-cacerts", "-out",
              f.file("o-ca.pem")});
        EXPECT_EQ(KeyDer(f.file("o-key.pem")), read_file(f.file("key.der")));
        EXPECT_EQ(CertDer(f.file("o-cert.pem")), read_file(f.file("cert.der")));
        EXPECT_EQ(CertDer(f.file("o-ca.pem")), read_file(f.file("ca.der")));
        const std::string all = Text(read_file(f.file("o-all.pem")));
        EXPECT_NE(all.find(std::string("friendlyName: ") + kName), std::string::npos) << all;
        EXPECT_NE(all.find("localKeyID:"), std::string::npos);
    }
}

TEST_F(Pkcs12Interop, CerttoolReadsBothPresets) {
    for (bool modern : {false, true}) {
        SCOPED_TRACE(modern ? "modern" : "compatible");
        const std::string pfx =
            Write(modern ? "g-m.pfx" : "g-c.pfx", "cert.der", modern, {"ca.der"});
        const RunResult info = Must(
            {"certtool", "--p12-info", "--inder", "--infile", pfx, "--password", kFilePassword});
        EXPECT_NE(info.out.find(modern ? "MAC: SHA256" : "MAC: SHA1"), std::string::npos);
        EXPECT_NE(info.out.find(std::string("Friendly name: ") + kName), std::string::npos);
        SavePem(info.out, "CERTIFICATE", f.file("g-cert.pem"));
        EXPECT_EQ(CertDer(f.file("g-cert.pem")), read_file(f.file("cert.der")));
        // The shrouded key as certtool found it, decrypted by certtool.
        SavePem(info.out, "ENCRYPTED PRIVATE KEY", f.file("g-enc.pem"));
        const RunResult key = Must({"certtool", "--key-info", "--infile", f.file("g-enc.pem"),
                                    "--password", kFilePassword});
        SavePem(key.out, "RSA PRIVATE KEY", f.file("g-key.pem"));
        EXPECT_EQ(KeyDer(f.file("g-key.pem")), read_file(f.file("key.der")));
    }
}

// NSS, what Linux browsers keep their certificates in: the file imports
// into a fresh database, the certificate comes back byte for byte under our
// friendly name with its key, and the key exported again is ours.
TEST_F(Pkcs12Interop, Pk12utilImportsBothPresets) {
    for (bool modern : {false, true}) {
        SCOPED_TRACE(modern ? "modern" : "compatible");
        const std::string pfx = Write(modern ? "n-m.pfx" : "n-c.pfx", "bundle.p7b", modern);
        TempDir db;
        const std::string database = "sql:" + db.path();
        Must({"certutil", "-N", "-d", database, "--empty-password"});
        const RunResult imported =
            Must({"pk12util", "-i", pfx, "-d", database, "-W", kFilePassword});
        EXPECT_NE(imported.out.find("PKCS12 IMPORT SUCCESSFUL"), std::string::npos);
        const RunResult cert = Must({"certutil", "-L", "-d", database, "-n", kName, "-r"});
        EXPECT_EQ(Bytes(cert.out.begin(), cert.out.end()), read_file(f.file("cert.der")));
        const RunResult keys = Must({"certutil", "-K", "-d", database});
        EXPECT_NE(keys.out.find(kName), std::string::npos) << keys.out;
        const RunResult list = Must({"certutil", "-L", "-d", database});
        EXPECT_NE(list.out.find("CA de prueba - Pruebas"), std::string::npos) << list.out;
        Must({"pk12util", "-o", f.file("n-export.p12"), "-n", kName, "-d", database, "-W", "x"});
        Must({"openssl", "pkcs12", "-in", f.file("n-export.p12"), "-passin", "pass:x", "-nocerts",
              "-noenc", "-out", f.file("n-key.pem")});
        EXPECT_EQ(KeyDer(f.file("n-key.pem")), read_file(f.file("key.der")));
    }
}

TEST_F(Pkcs12Interop, PythonCryptographyReadsBothPresets) {
    const char* script =
        "import sys\n"
        "from cryptography.hazmat.primitives.serialization import pkcs12, Encoding, "
        "PrivateFormat, NoEncryption\n"
        "key, cert, extra = pkcs12.load_key_and_certificates(open(sys.argv[1], 'rb').read(), "
        "sys.argv[2].encode())\n"
        "print(key.private_bytes(Encoding.DER, PrivateFormat.TraditionalOpenSSL, "
        "NoEncryption()).hex())\n"
        "print(cert.public_bytes(Encoding.DER).hex())\n"
        "print(','.join(c.public_bytes(Encoding.DER).hex() for c in extra))\n";
    auto hex = [](const Bytes& b) {
        static const char digits[] = "0123456789abcdef";
        std::string out;
        for (uint8_t c : b) {
            out += digits[c >> 4];
            out += digits[c & 15];
        }
        return out;
    };
    for (bool modern : {false, true}) {
        SCOPED_TRACE(modern ? "modern" : "compatible");
        const std::string pfx = Write(modern ? "p-m.pfx" : "p-c.pfx", "bundle-der.p7b", modern);
        const RunResult r = Must({"/usr/bin/python3", "-c", script, pfx, kFilePassword});
        EXPECT_EQ(r.out, hex(read_file(f.file("key.der"))) + "\n" +
                             hex(read_file(f.file("cert.der"))) + "\n" +
                             hex(read_file(f.file("ca.der"))) + "\n");
    }
}

// What the command prints, and a file OpenSSL writes by itself (OpenSSL
// 3's own defaults: PBES2 with AES-256 and an HMAC-SHA-256 MAC) read back
// by inspect.
TEST_F(Pkcs12Interop, PrintsTheCertificateAndInspectOpensTheFiles) {
    const std::string out = f.file("printed.pfx");
    const RunResult r = Pkcs12({"--cert", f.file("cert.pem"), "--chain", f.file("ca.der"), "--key",
                                f.file("llave.key"), "--out", out},
                               Passwords());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("Sujeto: "), std::string::npos);
    EXPECT_NE(r.out.find("CN=MARIA LOPEZ GARCIA"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Emisor: CN=CA de prueba, O=Pruebas\n"), std::string::npos);
    EXPECT_NE(r.out.find("N\xC3\xBAmero de serie: 12:34\n"), std::string::npos);
    EXPECT_NE(r.out.find("V\xC3\xA1lido desde: "), std::string::npos);
    EXPECT_NE(r.out.find("V\xC3\xA1lido hasta: "), std::string::npos);
    const RunResult fingerprint =
        Must({"openssl", "x509", "-in", f.file("cert.pem"), "-noout", "-fingerprint", "-sha256"});
    const std::string theirs = fingerprint.out.substr(fingerprint.out.find('=') + 1);
    EXPECT_NE(r.out.find("Huella SHA-256: " + theirs), std::string::npos) << r.out << theirs;
    EXPECT_EQ(r.out.substr(r.out.size() - out.size() - 1), out + "\n");
    EXPECT_EQ(fs::status(out).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    RunResult i = Inspect({out}, std::string(kFilePassword) + "\n");
    EXPECT_EQ(i.exit_code, 0) << i.out << i.err;
    EXPECT_NE(i.out.find("Llave privada: corresponde al certificado"), std::string::npos) << i.out;
    EXPECT_NE(i.out.find("Integridad: HMAC-SHA-1, 2048 iteraciones"), std::string::npos);
    i = Inspect({out}, "otra\n");
    EXPECT_EQ(i.exit_code, 1);
    EXPECT_NE(i.out.find("La clave no abre el archivo PKCS#12."), std::string::npos);

    Must(
        {"openssl", "pkey", "-inform", "DER", "-in", f.file("key.der"), "-out", f.file("key.pem")});
    Must({"openssl", "pkcs12", "-export", "-inkey", f.file("key.pem"), "-in", f.file("cert.pem"),
          "-certfile", f.file("ca.pem"), "-passout", std::string("pass:") + kFilePassword, "-out",
          f.file("theirs.pfx")});
    i = Inspect({f.file("theirs.pfx"), "--json"}, std::string(kFilePassword) + "\n");
    EXPECT_EQ(i.exit_code, 0) << i.out << i.err;
    EXPECT_NE(i.out.find("\"algorithm\": \"HMAC-SHA-256\""), std::string::npos) << i.out;
    EXPECT_NE(i.out.find("PBES2 (PBKDF2-HMAC-SHA-256, AES-256-CBC)"), std::string::npos);
    EXPECT_NE(i.out.find("\"matches_certificate\": true"), std::string::npos);
}

// Every refusal: its sentence on standard error, exit 1, and no file.
TEST_F(Pkcs12Interop, RefusalsWriteNothing) {
    struct Case {
        const char* what;
        std::string cert;
        std::string input;
        std::vector<std::string> extra;
        std::string sentence;
    } cases[] = {
        {"another key's certificate",
         "other.pem",
         Passwords(),
         {},
         "Aviso: El certificado no corresponde a esta llave privada."},
        {"wrong key password",
         "cert.pem",
         std::string("Clave2025\n") + kFilePassword + "\n",
         {},
         "Aviso: La clave de acceso no abre la llave privada."},
        {"expired", "expired.pem", Passwords(), {}, "Aviso: El certificado venci\xC3\xB3 el "},
        {"not yet valid",
         "future.pem",
         Passwords(),
         {},
         "Aviso: El certificado a\xC3\xBAn no es v\xC3\xA1lido: lo ser\xC3\xA1 del 2099-01-01 "
         "00:00:00 UTC al 2099-12-31 00:00:00 UTC; use --force"},
        {"empty new password",
         "cert.pem",
         std::string(kKeyPassword) + "\n\n",
         {},
         "Aviso: La clave del archivo .pfx no puede quedar vac\xC3\xAD"
         "a."},
        {"no input", "cert.pem", "", {}, "Aviso: La clave del archivo .pfx no puede quedar vac"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string out = f.file("refused.pfx");
        std::vector<std::string> args = {
            "--cert", f.file(c.cert), "--key", f.file("llave.key"), "--out", out};
        const RunResult r = Pkcs12(args, c.input);
        EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
        EXPECT_NE(r.err.find(c.sentence), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(out));
        // Nothing else is left in the folder: no temporary name either.
        for (const auto& entry : fs::directory_iterator(f.dir.path()))
            EXPECT_EQ(entry.path().filename().string().find(".refused"), std::string::npos);
    }
    // The expired certificate's dates are in the sentence; --force writes it.
    const RunResult dates =
        Must({"openssl", "x509", "-in", f.file("expired.pem"), "-noout", "-enddate"});
    const std::string forced = f.file("forced.pfx");
    RunResult r = Pkcs12(
        {"--cert", f.file("expired.pem"), "--key", f.file("llave.key"), "--out", forced, "--force"},
        Passwords());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(fs::exists(forced));

    // An existing file is kept as it was without --force.
    const Bytes before = read_file(forced);
    r = Pkcs12({"--cert", f.file("cert.pem"), "--key", f.file("llave.key"), "--out", forced},
               Passwords());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(
        r.err.find("Aviso: El archivo " + forced + " ya existe; use --force para reemplazarlo."),
        std::string::npos)
        << r.err;
    EXPECT_EQ(read_file(forced), before);
    r = Pkcs12(
        {"--cert", f.file("cert.pem"), "--key", f.file("llave.key"), "--out", forced, "--force"},
        Passwords());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(read_file(forced), before);
}

TEST_F(Pkcs12Interop, CommandLine) {
    RunResult r = Pkcs12({"--help"}, "");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(
        r.out.rfind("uso: reqwiz pkcs12 --cert ARCHIVO [--chain ARCHIVO]... --key ARCHIVO.key", 0),
        0u)
        << r.out;
    EXPECT_EQ(Pkcs12({}, "").exit_code, 2);
    EXPECT_EQ(Pkcs12({"--cert", f.file("cert.pem"), "--key"}, "").exit_code, 2);
    EXPECT_EQ(Pkcs12({"--cert", f.file("cert.pem"), "--key", f.file("llave.key"), "--out",
                      f.file("x.pfx"), "--otra"},
                     "")
                  .exit_code,
              2);
    // A file that is no certificate, one that cannot be read.
    r = Pkcs12(
        {"--cert", f.file("req.der"), "--key", f.file("llave.key"), "--out", f.file("x.pfx")},
        Passwords());
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("no contiene un certificado X.509"), std::string::npos) << r.err;
    r = Pkcs12({"--cert", "/no/existe.pem", "--key", f.file("llave.key"), "--out", f.file("x.pfx")},
               Passwords());
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_FALSE(fs::exists(f.file("x.pfx")));
}

// On a terminal (a pseudo-terminal driven by Python's pty module) the
// passwords are not echoed and the new one is asked twice: two different
// ones are refused with no file, the same one twice writes it.
TEST_F(Pkcs12Interop, TerminalAsksTheNewPasswordTwiceWithoutEcho) {
    const char* script =
        "import os, pty, select, sys\n"
        "def read(fd, until):\n"
        "    out = b''\n"
        "    while True:\n"
        "        r, _, _ = select.select([fd], [], [], 20)\n"
        "        if not r:\n"
        "            return out\n"
        "        try:\n"
        "            d = os.read(fd, 4096)\n"
        "        except OSError:\n"
        "            return out\n"
        "        if not d:\n"
        "            return out\n"
        "        out += d\n"
        "        if until and out.rstrip().endswith(until):\n"
        "            return out\n"
        "pid, fd = pty.fork()\n"
        "if pid == 0:\n"
        "    os.execv(sys.argv[2], sys.argv[2:2 + int(sys.argv[1])])\n"
        "out = b''\n"
        "for answer in sys.argv[2 + int(sys.argv[1]):]:\n"
        "    out += read(fd, b':')\n"
        "    os.write(fd, answer.encode() + b'\\n')\n"
        "out += read(fd, None)\n"
        "_, status = os.waitpid(pid, 0)\n"
        "sys.stdout.write(out.decode('utf-8', 'replace'))\n"
        "sys.exit(os.waitstatus_to_exitcode(status))\n";
    const std::string out = f.file("tty.pfx");
    auto typed = [&](const std::string& again) {
        return run({"/usr/bin/python3", "-c", script, "8", PKCS12_TEST_PROGRAM, "pkcs12", "--cert",
                    f.file("cert.pem"), "--key", f.file("llave.key"), "--out", out, kKeyPassword,
                    "Uno-1", again});
    };
    RunResult r = typed("Otro-2");
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Repita la clave del archivo .pfx: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Aviso: Las dos claves del archivo .pfx no coinciden."),
              std::string::npos);
    EXPECT_EQ(r.out.find("Uno-1"), std::string::npos) << "echoed:\n" << r.out;
    EXPECT_EQ(r.out.find(kKeyPassword), std::string::npos) << "echoed:\n" << r.out;
    EXPECT_FALSE(fs::exists(out));
    r = typed("Uno-1");
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("Uno-1"), std::string::npos) << "echoed:\n" << r.out;
    EXPECT_TRUE(fs::exists(out));
}

// inspect on the authority's files: each form reads, the bundle's
// signatures check under the authority, the key is matched or not, a
// tampered signature and an expired certificate are faults.
TEST_F(Pkcs12Interop, InspectReadsCertificates) {
    for (const char* name : {"cert.pem", "cert.der", "bundle.p7b", "bundle-der.p7b"}) {
        SCOPED_TRACE(name);
        RunResult r =
            Inspect({f.file(name), "--key", f.file("llave.key")}, std::string(kKeyPassword) + "\n");
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("Llave privada: corresponde al certificado"), std::string::npos);
        EXPECT_NE(r.out.find("N\xC3\xBAmero de serie: 12:34"), std::string::npos);
    }
    RunResult r = Inspect({f.file("bundle.p7b")});
    EXPECT_NE(r.out.find(
                  "Firma: sha256WithRSAEncryption, v\xC3\xA1lida (por CN=CA de prueba, O=Pruebas)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("v\xC3\xA1lida (autofirmado)"), std::string::npos);
    r = Inspect({f.file("other.pem"), "--key", f.file("llave.key")},
                std::string(kKeyPassword) + "\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("El certificado no corresponde a esta llave privada."), std::string::npos);
    r = Inspect({f.file("expired.pem")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("El certificado venci\xC3\xB3 el "), std::string::npos);

    // The last byte of the signature changed, the authority beside it.
    Bytes tampered = read_file(f.file("cert.der"));
    tampered.back() ^= 0x01;
    write_file(f.file("tampered.der"), tampered);
    Must({"openssl", "x509", "-inform", "DER", "-in", f.file("tampered.der"), "-out",
          f.file("tampered.pem")});
    Bytes both = read_file(f.file("tampered.pem"));
    const Bytes ca = read_file(f.file("ca.pem"));
    both.insert(both.end(), ca.begin(), ca.end());
    write_file(f.file("tampered-bundle.pem"), both);
    r = Inspect({f.file("tampered-bundle.pem")});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find("NO V\xC3\x81LIDA"), std::string::npos) << r.out;
    r = Pkcs12({"--cert", f.file("tampered-bundle.pem"), "--key", f.file("llave.key"), "--out",
                f.file("tampered.pfx")},
               Passwords());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("no es v\xC3\xA1lida"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(f.file("tampered.pfx")));
}

// Our certificate reader on OpenSSL's certificate cut at every length:
// refused each time, never read past the end (run under the sanitizers by
// the unit label's builds of the same reader).
TEST_F(Pkcs12Interop, TruncatedCertificatesAreRefused) {
    const Bytes der = read_file(f.file("cert.der"));
    auto cert = std::make_unique<ParsedCertificate>();
    ASSERT_EQ(cert_parse(der.data(), static_cast<uint32_t>(der.size()), cert.get()), STATUS_OK);
    EXPECT_EQ(cert->version, 1u);  // `openssl x509 -req` without extensions
    for (size_t n = 0; n < der.size(); ++n) {
        const Bytes cut(der.begin(), der.begin() + static_cast<long>(n));
        EXPECT_NE(cert_parse(cut.data(), static_cast<uint32_t>(n), cert.get()), STATUS_OK) << n;
    }
    // Every byte changed in turn: read or refused, never a crash; the
    // signature check then fails for a change in the signed part.
    const Bytes ca = read_file(f.file("ca.der"));
    auto issuer = std::make_unique<ParsedCertificate>();
    ASSERT_EQ(cert_parse(ca.data(), static_cast<uint32_t>(ca.size()), issuer.get()), STATUS_OK);
    ASSERT_EQ(cert_parse(der.data(), static_cast<uint32_t>(der.size()), cert.get()), STATUS_OK);
    ASSERT_EQ(cert_verify_signature(cert.get(), &issuer->key), STATUS_OK);
    for (size_t at = 0; at < der.size(); ++at) {
        Bytes changed = der;
        changed[at] ^= 0x20;
        if (cert_parse(changed.data(), static_cast<uint32_t>(changed.size()), cert.get()) ==
                STATUS_OK &&
            cert->der_len == changed.size()) {
            EXPECT_NE(cert_verify_signature(cert.get(), &issuer->key), STATUS_OK) << at;
        }
    }
}

}  // namespace
