#include "platform/temp_file.h"

#include <stdlib.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "platform/files.h"

namespace platform {

std::string TempDirectory() {
    const char* dir = getenv("TMPDIR");
    if (dir != nullptr && *dir != '\0' && DirectoryExists(dir))
        return dir;
    return "/tmp";
}

TempFile::~TempFile() {
    Remove();
}

TempFile::TempFile(TempFile&& other) noexcept : path_(std::move(other.path_)) {
    other.path_.clear();
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        Remove();
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

bool TempFile::Create(const std::string& prefix) {
    Remove();
    std::string dir = TempDirectory();
    if (dir.back() != '/')
        dir += '/';
    std::string pattern = dir + prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0)
        return false;
    close(fd);
    path_ = name.data();
    return true;
}

void TempFile::Remove() {
    if (!path_.empty()) {
        unlink(path_.c_str());
        path_.clear();
    }
}

}  // namespace platform
