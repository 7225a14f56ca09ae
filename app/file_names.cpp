#include "app/file_names.h"

#include <filesystem>
#include <system_error>

#include "platform/files.h"

namespace app {

std::string DirectoryPart(const std::string& name) {
    size_t last = name.find_last_of("/\\:");
    return last == std::string::npos ? std::string() : name.substr(0, last + 1);
}

std::string FileNamePart(const std::string& name) {
    size_t last = name.find_last_of("/\\:");
    return last == std::string::npos ? name : name.substr(last + 1);
}

std::string WithDefaultExtension(const std::string& name, const std::string& extension) {
    if (FileNamePart(name).find('.') != std::string::npos)
        return name;
    return name + extension;
}

bool SameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path pa = fs::weakly_canonical(fs::absolute(platform::DiskName(a), error), error);
    if (error)
        return a == b;
    const fs::path pb = fs::weakly_canonical(fs::absolute(platform::DiskName(b), error), error);
    if (error)
        return a == b;
    return pa == pb;
}

}  // namespace app
