// Running another program from a test (OpenSSL as an independent reader of
// what we write, the packed wizard binary) and scratch folders for its files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct RunResult {
    int exit_code = -1;  // -1 when the program could not be started or was killed
    std::string out;
    std::string err;
};

// Runs argv[0] (looked up in PATH) with the given arguments, feeds `input` on
// its standard input and collects both output streams. No shell is involved.
// With `terminate_when_output_has`, the program is sent SIGTERM once its
// standard output contains that text (for programs that serve until told to
// stop); the result is still what it printed and how it ended.
RunResult run(const std::vector<std::string>& argv, const std::string& input = "",
              const std::string& terminate_when_output_has = "");

// A fresh folder under the system's temporary directory, removed with its
// contents when the object goes away.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void write_file(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_file(const std::string& path);

}  // namespace testing_support
