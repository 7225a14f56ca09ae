#include "platform/file_commit.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace platform {

namespace {

ssize_t SystemWrite(size_t, int fd, const void* data, size_t size) {
    return ::write(fd, data, size);
}

CommitSystemCalls calls = {SystemWrite, ::rename};

// The folder part of a path ("." for a bare name) and its last part.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A fresh name ".BASE.xxxxxxxx" next to `path`; `attempt` varies it when the
// system's random source is not available.
std::string SiblingName(const std::string& path, int attempt) {
    uint32_t tag = 0;
    if (getrandom(&tag, sizeof tag, 0) != static_cast<ssize_t>(sizeof tag))
        tag = static_cast<uint32_t>(std::time(nullptr)) ^ static_cast<uint32_t>(attempt * 7919);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", tag);
    const std::string folder = FolderOf(path);
    return (folder == "/" ? "/" : folder + "/") + "." + BaseOf(path) + suffix;
}

bool WriteAll(size_t file, int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = calls.write(file, fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Creates a new file next to the target, writes the parts and flushes them.
// The temporary name, or empty when it failed (nothing left behind).
std::string WriteTemporary(size_t index, const FileToCommit& file) {
    if (BaseOf(file.path).empty())
        return std::string();
    std::string name;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        name = SiblingName(file.path, attempt);
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, file.mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return std::string();
    bool ok = true;
    for (std::string_view part : file.parts)
        ok = ok && WriteAll(index, fd, part.data(), part.size());
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(name.c_str());
        return std::string();
    }
    return name;
}

// Keeps the file now under `path`, if any, under a second name. The name, or
// empty when there was nothing to keep or it could not be kept.
std::string KeepOlder(const std::string& path) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string name = SiblingName(path, attempt);
        if (::link(path.c_str(), name.c_str()) == 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    return std::string();
}

}  // namespace

bool CommitFiles(const std::vector<FileToCommit>& files, size_t& failed) {
    std::vector<std::string> temporary(files.size()), older(files.size());
    size_t renamed = 0;
    auto undo = [&](size_t index) {
        failed = index;
        for (size_t i = 0; i < files.size(); ++i) {
            if (i < renamed) {
                // Put back what was there, or take the new file away.
                if (!older[i].empty())
                    ::rename(older[i].c_str(), files[i].path.c_str());
                else
                    ::unlink(files[i].path.c_str());
            } else if (!older[i].empty()) {
                ::unlink(older[i].c_str());
            }
            if (!temporary[i].empty() && i >= renamed)
                ::unlink(temporary[i].c_str());
        }
        return false;
    };

    for (size_t i = 0; i < files.size(); ++i) {
        temporary[i] = WriteTemporary(i, files[i]);
        if (temporary[i].empty())
            return undo(i);
    }
    for (size_t i = 0; i < files.size(); ++i)
        older[i] = KeepOlder(files[i].path);
    for (; renamed < files.size(); ++renamed) {
        if (calls.rename(temporary[renamed].c_str(), files[renamed].path.c_str()) != 0)
            return undo(renamed);
    }
    for (const std::string& name : older) {
        if (!name.empty())
            ::unlink(name.c_str());
    }
    return true;
}

CommitSystemCalls& CommitSystemCallsForTesting() {
    return calls;
}

}  // namespace platform
