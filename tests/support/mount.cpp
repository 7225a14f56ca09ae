#include "tests/support/mount.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace testing_support {

TmpfsMount::~TmpfsMount() {
    Unmount();
}

bool TmpfsMount::Mount(const std::string& folder, size_t bytes, std::string& why) {
    Unmount();
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        why = "cannot mount a tmpfs on " + folder + " (" + std::strerror(errno) +
              "): the test needs root with the right to mount";
        return false;
    }
    folder_ = folder;
    // Keep the mount to this test: nothing propagates to other mounts.
    ::mount(nullptr, folder.c_str(), nullptr, MS_PRIVATE, nullptr);
    return true;
}

bool TmpfsMount::MakeReadOnly(std::string& why) {
    if (::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        why = "cannot remount " + folder_ + " read-only (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}

void TmpfsMount::Unmount() {
    if (folder_.empty())
        return;
    ::umount2(folder_.c_str(), MNT_DETACH);
    folder_.clear();
}

}  // namespace testing_support
