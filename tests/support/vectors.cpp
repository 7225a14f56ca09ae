#include "tests/support/vectors.h"

#include <fstream>
#include <stdexcept>

namespace vectors {

namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) {
        return "";
    }
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> read_lines(const std::string& full) {
    std::ifstream in(full, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read vector file " + full);
    }
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string path(const std::string& relative) {
    return std::string(REQWIZ_VECTORS_DIR) + "/" + relative;
}

Bytes from_hex(const std::string& hex) {
    std::string digits;
    for (char c : hex) {
        if (c == ' ' || c == '\t')
            continue;
        if (hex_value(c) < 0) {
            throw std::invalid_argument("not a hex digit in '" + hex + "'");
        }
        digits += c;
    }
    if (digits.size() % 2 != 0) {
        digits.insert(digits.begin(), '0');
    }
    Bytes out(digits.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<uint8_t>(hex_value(digits[2 * i]) * 16 + hex_value(digits[2 * i + 1]));
    }
    return out;
}

std::string to_hex(const uint8_t* data, size_t len) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(len * 2);
    for (size_t i = 0; i < len; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

const std::string& Record::text(const std::string& key) const {
    auto it = fields.find(key);
    if (it == fields.end()) {
        throw std::out_of_range(where() + ": no field " + key);
    }
    return it->second;
}

std::string Record::where() const {
    return file + ":" + std::to_string(line) + (section.empty() ? "" : " [" + section + "]");
}

std::vector<Record> read_records(const std::string& relative) {
    std::vector<std::string> lines = read_lines(path(relative));
    std::vector<Record> records;
    Record current;
    std::string section;
    auto flush = [&] {
        if (!current.fields.empty()) {
            records.push_back(current);
        }
        current = Record{};
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = trim(lines[i]);
        if (line.empty()) {
            flush();
            continue;
        }
        if (line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            flush();
            section = line.substr(1, line.size() - 2);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        if (current.fields.empty()) {
            current.file = relative;
            current.line = static_cast<int>(i + 1);
            current.section = section;
        }
        current.fields[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
    flush();
    return records;
}

std::vector<QuotedVector> read_quoted(const std::string& relative) {
    std::vector<std::string> lines = read_lines(path(relative));
    std::vector<QuotedVector> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = trim(lines[i]);
        if (line.empty() || line[0] == '#')
            continue;
        size_t close = line.find('"', 1);
        if (line[0] != '"' || close == std::string::npos) {
            throw std::runtime_error(relative + ":" + std::to_string(i + 1) + ": bad line");
        }
        std::string piece = line.substr(1, close - 1);
        size_t count = 1;
        size_t rest = close + 1;
        if (rest < line.size() && line[rest] == '*') {
            size_t end = line.find_first_of(" \t", rest);
            count = std::stoul(line.substr(rest + 1, end - rest - 1));
            rest = end;
        }
        QuotedVector v;
        v.file = relative;
        v.line = static_cast<int>(i + 1);
        for (size_t k = 0; k < count; ++k) {
            v.message.insert(v.message.end(), piece.begin(), piece.end());
        }
        v.expected = from_hex(trim(line.substr(rest)));
        out.push_back(std::move(v));
    }
    return out;
}

}  // namespace vectors
