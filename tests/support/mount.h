// A small tmpfs mounted over a folder for the length of a test: a disk that
// fills up at a known size, or, remounted read-only, one that refuses every
// write (root, which CI runs as, ignores permission bits).
#pragma once

#include <cstddef>
#include <string>

namespace testing_support {

class TmpfsMount {
  public:
    TmpfsMount() = default;
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    // Mounts a tmpfs of `bytes` bytes (whole pages) over the existing folder
    // `folder`. False when this process may not mount (not root, or a
    // sandbox that forbids it); `why` then says so, for GTEST_SKIP.
    bool Mount(const std::string& folder, size_t bytes, std::string& why);

    // Remounts it read-only. False with `why` when that fails.
    bool MakeReadOnly(std::string& why);

    // Unmounts now (also done by the destructor).
    void Unmount();

  private:
    std::string folder_;
};

}  // namespace testing_support
