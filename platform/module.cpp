#include "platform/module.h"

#include <dlfcn.h>

namespace platform {

Module::~Module() {
    Unload();
}

bool Module::Load(const std::string& path) {
    Unload();
    error_.clear();
    // RTLD_LOCAL keeps the library's symbols out of the program's namespace;
    // RTLD_NOW finds missing dependencies at load time, not at the first call.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        error_ = why != nullptr ? why : "cannot load " + path;
        return false;
    }
    return true;
}

void* Module::Symbol(const std::string& name) const {
    if (handle_ == nullptr)
        return nullptr;
    return dlsym(handle_, name.c_str());
}

void Module::Unload() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

}  // namespace platform
