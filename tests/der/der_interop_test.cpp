// OpenSSL as an independent reader and writer of DER: it must parse what our
// writer produces into the expected objects, and its own encoder must produce
// the same bytes from a description of the same structure.
#include <gtest/gtest.h>

#include <cctype>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "crypto/der/der.h"
#include "tests/der/sample.h"
#include "tests/support/process.h"
#include "tests/support/vectors.h"

namespace {

using testing_support::run;
using testing_support::TempDir;
using vectors::Bytes;

Bytes written_sample() {
    std::vector<uint8_t> buffer(1024);
    DerWriter w;
    der_init(&w, buffer.data(), 1024);
    const uint32_t n = der_sample::write(&w);
    EXPECT_NE(n, 0u);
    ByteSpan taken{nullptr, 1024};
    EXPECT_EQ(der_take(&w, &taken), n);
    return Bytes(taken.data, taken.data + taken.length);
}

// One line of `openssl asn1parse` output:
//   "   82:d=1  hl=3 l= 200 prim: OCTET STRING      [HEX DUMP]:0B30..."
struct ParsedLine {
    int offset = 0;
    int depth = 0;
    int header = 0;
    int length = 0;
    std::string type;   // "SEQUENCE", "cont [ 0 ]", "OCTET STRING"
    std::string value;  // text after the type's ':' (empty when none)
};

std::vector<ParsedLine> parse_listing(const std::string& text) {
    static const std::regex line_re(
        R"(^\s*(\d+):d=(\d+)\s+hl=(\d+)\s+l=\s*(\d+)\s+(?:prim|cons):\s+(.*?)\s*(?::(.*))?$)");
    std::vector<ParsedLine> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, line_re)) {
            ADD_FAILURE() << "unexpected asn1parse line: " << line;
            continue;
        }
        ParsedLine p;
        p.offset = std::stoi(m[1]);
        p.depth = std::stoi(m[2]);
        p.header = std::stoi(m[3]);
        p.length = std::stoi(m[4]);
        p.type = m[5];
        p.value = m[6];
        // "OCTET STRING      [HEX DUMP]" keeps its marker out of the type.
        const size_t marker = p.type.find("  ");
        if (marker != std::string::npos) {
            p.type = p.type.substr(0, marker);
        }
        lines.push_back(p);
    }
    return lines;
}

TEST(DerInterop, OpenSslParsesTheWrittenStructure) {
    const Bytes der = written_sample();
    TempDir dir;
    const std::string file = dir.file("sample.der");
    testing_support::write_file(file, der);

    const auto result = run({"openssl", "asn1parse", "-inform", "DER", "-in", file});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::vector<ParsedLine> lines = parse_listing(result.out);

    // asn1parse shows integers and hex dumps in upper case.
    std::string payload_hex = vectors::to_hex(der_sample::long_payload());
    for (char& c : payload_hex) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const struct {
        int depth;
        const char* type;
        const char* value;
    } expected[] = {
        {0, "SEQUENCE", ""},
        {1, "INTEGER", "00"},
        {1, "INTEGER", "801122334455667788"},
        {1, "SEQUENCE", ""},
        {2, "OBJECT", "rsaEncryption"},
        {2, "NULL", ""},
        {1, "SET", ""},
        {2, "SEQUENCE", ""},
        {3, "OBJECT", "commonName"},
        {3, "PRINTABLESTRING", "Prueba"},
        {1, "cont [ 0 ]", ""},
        {2, "SEQUENCE", ""},
        {3, "OBJECT", "emailAddress"},
        {3, "IA5STRING", "a@b.es"},
        {1, "BIT STRING", ""},
        {1, "OCTET STRING", payload_hex.c_str()},
        {1, "SEQUENCE", ""},
        {2, "OBJECT", "md5WithRSAEncryption"},
        {2, "NULL", ""},
        {1, "SEQUENCE", ""},
        {2, "OBJECT", "md5"},
        {2, "NULL", ""},
        {1, "NULL", ""},
    };
    ASSERT_EQ(lines.size(), std::size(expected)) << result.out;
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i) + ": " + lines[i].type);
        EXPECT_EQ(lines[i].depth, expected[i].depth);
        EXPECT_EQ(lines[i].type, expected[i].type);
        EXPECT_EQ(lines[i].value, expected[i].value);
    }

    // The outer SEQUENCE covers the whole file, and the long element got the
    // three-byte header 04 81 C8.
    EXPECT_EQ(lines[0].header + lines[0].length, static_cast<int>(der.size()));
    EXPECT_EQ(lines[15].header, 3);
    EXPECT_EQ(lines[15].length, 200);
    EXPECT_EQ(lines[14].length, 6);  // BIT STRING: unused-bits octet + 5 bytes
}

TEST(DerInterop, OpenSslEncoderProducesTheSameBytes) {
    // The structure of tests/der/sample.h in OpenSSL's generator language.
    const std::string conf =
        "asn1=SEQUENCE:top\n"
        "[top]\n"
        "a=INTEGER:0\n"
        "b=INTEGER:0x801122334455667788\n"
        "c=SEQUENCE:rsa\n"
        "d=SET:rdn\n"
        "e=IMPLICIT:0,SEQUENCE:attrs\n"
        "f=FORMAT:HEX,BITSTRING:DEADBEEF01\n"
        "g=FORMAT:HEX,OCTETSTRING:" +
        vectors::to_hex(der_sample::long_payload()) +
        "\n"
        "h=SEQUENCE:md5rsa\n"
        "i=SEQUENCE:md5\n"
        "j=NULL\n"
        "[rsa]\no=OID:rsaEncryption\np=NULL\n"
        "[md5rsa]\no=OID:md5WithRSAEncryption\np=NULL\n"
        "[md5]\no=OID:md5\np=NULL\n"
        "[rdn]\ns=SEQUENCE:cn\n"
        "[cn]\no=OID:commonName\nv=PRINTABLESTRING:Prueba\n"
        "[attrs]\ns=SEQUENCE:mail\n"
        "[mail]\no=OID:emailAddress\nv=IA5STRING:a@b.es\n";
    TempDir dir;
    const std::string conf_file = dir.file("sample.cnf");
    testing_support::write_file(conf_file, Bytes(conf.begin(), conf.end()));
    const std::string out_file = dir.file("openssl.der");

    const auto result =
        run({"openssl", "asn1parse", "-genconf", conf_file, "-out", out_file, "-noout"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    const Bytes theirs = testing_support::read_file(out_file);
    EXPECT_EQ(vectors::to_hex(written_sample()), vectors::to_hex(theirs));
}

}  // namespace
