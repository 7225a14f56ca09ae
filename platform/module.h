// Loading a shared library from a file and finding its entry points
// (dlopen/dlsym). The library is unloaded when the Module goes away.
#pragma once

#include <string>

namespace platform {

class Module {
  public:
    Module() = default;
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // Loads the library at `path` (unloading the one held before). False when
    // it cannot be loaded; error() then says why.
    bool Load(const std::string& path);

    // Address of the exported symbol `name`, or null when the library does not
    // export it or no library is loaded.
    void* Symbol(const std::string& name) const;

    void Unload();
    bool loaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }

  private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace platform
