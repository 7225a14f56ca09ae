// Small helpers the fuzz targets share: reading a file of the source tree
// (the shipped profile) once, and stopping loudly when a property fails, so
// that libFuzzer keeps the input that broke it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fuzz {

// The bytes of `relative` under the source tree; aborts when it cannot be
// read, since a target without its fixture would fuzz nothing useful.
inline std::string SourceFile(const std::string& relative) {
    const std::string path = std::string(REQWIZ_SOURCE_DIR) + "/" + relative;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "fuzz: cannot read %s\n", path.c_str());
        std::abort();
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz: property failed: %s\n", what);
    std::abort();
}

inline void Check(bool condition, const char* what) {
    if (!condition)
        Fail(what);
}

// Splits at `separator` bytes (no part dropped, empty ones included).
inline std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

}  // namespace fuzz
