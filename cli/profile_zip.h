// Packing a profile folder into the data archive that travels behind the
// program: every page, configuration document, image and validation library
// of the folder (other files, such as the scripts that make the images, stay
// out), a directory entry for each subfolder, and one more empty directory
// entry. Entries are deflated, in name order, with a fixed time stamp, so the
// same folder always gives the same bytes.
#pragma once

#include <string>

namespace cli {

// The name of the extra empty directory entry.
inline constexpr const char* kEmptyDirectoryEntry = "Temp/";

// Writes the ZIP archive of `folder` to `zip_path` (replacing it). False on
// failure, with `error` saying why.
bool WriteProfileZip(const std::string& folder, const std::string& zip_path, std::string& error);

// True for the files that belong in the archive, by extension in any letter
// case: .htm, .html, .xml, .gif, .jpg, .jpeg, .png and .dll.
bool BelongsInArchive(const std::string& file_name);

}  // namespace cli
