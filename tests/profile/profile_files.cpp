#include "tests/profile/profile_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace profile {

std::string path(const std::string& relative) {
    return std::string(REQWIZ_PROFILE_DIR) + "/" + relative;
}

std::string read(const std::string& relative) {
    std::ifstream in(path(relative), std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read profile file " + path(relative));
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> all_files() {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    const fs::path root(REQWIZ_PROFILE_DIR);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files.push_back(fs::relative(entry.path(), root).generic_string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace profile
