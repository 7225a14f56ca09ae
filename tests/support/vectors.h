// Reading published test-vector files.
//
// Two layouts occur in the vector folder:
//  - key/value records ("Key = value" lines, a blank line ends a record,
//    "[Section]" lines name the section of the records that follow), as in the
//    NIST .rsp files and the .vec files;
//  - quoted lines ("message"  hexdigest, or "piece"*count  hexdigest), as in
//    the RFC and FIPS digest suites.
// Both tolerate CRLF line ends and '#' comment lines.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vectors {

using Bytes = std::vector<uint8_t>;

// Folder of the shared vector files, fixed at configure time.
std::string path(const std::string& relative);

// Hex text (either case, spaces ignored) to bytes. An odd count of digits is
// read as if a leading 0 were present. Throws std::invalid_argument on any
// other character.
Bytes from_hex(const std::string& hex);
std::string to_hex(const uint8_t* data, size_t len);
inline std::string to_hex(const Bytes& b) {
    return to_hex(b.data(), b.size());
}

struct Record {
    std::string file;
    int line = 0;  // line of the record's first field
    std::string section;
    std::map<std::string, std::string> fields;

    bool has(const std::string& key) const { return fields.count(key) != 0; }
    const std::string& text(const std::string& key) const;
    Bytes bytes(const std::string& key) const { return from_hex(text(key)); }
    // "file:line [section]" for failure messages.
    std::string where() const;
};

// All records of a key/value file. Throws std::runtime_error when the file
// cannot be read, so a missing vector file fails the test instead of passing it.
std::vector<Record> read_records(const std::string& relative);

struct QuotedVector {
    std::string file;
    int line = 0;
    Bytes message;
    Bytes expected;
    std::string where() const { return file + ":" + std::to_string(line); }
};

// All lines of a quoted-line file.
std::vector<QuotedVector> read_quoted(const std::string& relative);

}  // namespace vectors
