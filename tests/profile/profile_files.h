// Reading the shipped profile's files (the data/ folder of the tree) in tests.
#pragma once

#include <string>
#include <vector>

namespace profile {

// Full path of a file of the profile, `relative` to the data folder
// ("index.htm", "Images/pixel.gif").
std::string path(const std::string& relative);

// The file's bytes, unchanged. Throws std::runtime_error when it cannot be
// read, so a missing file fails the test that asked for it.
std::string read(const std::string& relative);

// Every regular file of the profile, relative to the data folder, sorted.
std::vector<std::string> all_files();

}  // namespace profile
