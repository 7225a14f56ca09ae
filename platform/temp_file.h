// Temporary files: made securely (mkstemp, mode 0600) in $TMPDIR or /tmp with
// a name prefix, and removed when their owner goes away, so that none is left
// behind, whatever way the program ends its start-up.
#pragma once

#include <string>

namespace platform {

class TempFile {
  public:
    TempFile() = default;
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;

    // Creates a new empty file named <dir>/<prefix>XXXXXX, where <dir> is
    // $TMPDIR when it names a directory and /tmp otherwise. Removes the file
    // this object held before. False when no file could be made; the object is
    // then empty.
    bool Create(const std::string& prefix);

    // Removes the file now (when there is one) and empties the object.
    void Remove();

    const std::string& path() const { return path_; }
    bool empty() const { return path_.empty(); }

  private:
    std::string path_;
};

// The folder temporary files go to: $TMPDIR when it names a directory, else
// /tmp.
std::string TempDirectory();

}  // namespace platform
