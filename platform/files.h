// File-system services the wizard needs: existence tests, whole-file reads,
// the path of the running program, and opening a URL with the desktop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The wizard holds file names as ISO-8859-1 text, as its pages submit them;
// names on the disk are UTF-8. This is the disk's form of `name`: every name
// that came from a page goes through it before the file system sees it.
std::string DiskName(const std::string& name);

// True when `path` names an existing regular file (symbolic links followed);
// a directory is not a file. An empty path is not a file.
bool FileExists(const std::string& path);

// True when `path` names an existing directory (symbolic links followed).
bool DirectoryExists(const std::string& path);

// Reads the whole file into `out` (replacing its content). False when the file
// cannot be opened or read; `out` is then empty.
bool ReadWholeFile(const std::string& path, std::string& out);

// Writes `bytes` to `path`, replacing the file. False on any failure.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Removes the file; false when it could not be removed (or did not exist).
bool DeleteFile(const std::string& path);

// Absolute path of the running program file, or empty when it cannot be
// found.
std::string ProgramPath();

// Asks the desktop to open `url` (xdg-open, started without a shell and not
// waited for). False when the opener could not be started.
bool OpenUrl(const std::string& url);

}  // namespace platform
