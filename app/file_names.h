// File names as the wizard holds them (ISO-8859-1, as the pages submit
// them; platform::DiskName gives the disk's form): their parts, the default
// extension, and whether two names lead to one file.
#pragma once

#include <string>

namespace app {

// The directory part of a file name: everything up to and including its last
// "/", "\\" or ":"; the file-name part is what follows.
std::string DirectoryPart(const std::string& name);
std::string FileNamePart(const std::string& name);

// `name` with `extension` (".key") appended when its file-name part holds no
// full stop.
std::string WithDefaultExtension(const std::string& name, const std::string& extension);

// True when the two names lead to the same file, existing or not (the same
// path once "." and ".." and symbolic links of the existing part are
// resolved).
bool SameFile(const std::string& a, const std::string& b);

}  // namespace app
