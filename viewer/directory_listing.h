// What the save dialog may learn of the file system: the names in a folder
// and which of them are folders. Never a file's contents, size or dates.
#pragma once

#include <string>
#include <vector>

namespace viewer {

struct DirectoryEntry {
    std::string name;  // as stored on disk (UTF-8 on this system)
    bool is_directory = false;
};

struct DirectoryListing {
    enum Result { Listed, NotFound, NotADirectory, Denied };
    Result result = NotFound;
    std::string path;    // the folder, absolute and without "." or ".." parts
    std::string parent;  // its parent folder; equal to `path` at the root
    std::vector<DirectoryEntry> entries;
};

// Lists the folder `path` (absolute; a relative path is taken from the
// working directory). Names that are not valid UTF-8 are left out, since
// the page could not show them; hidden names (beginning with ".") are kept,
// so that the dialog can warn before overwriting one, and the page decides
// what to show.
// Folders come first, then files, each group in alphabetical order without
// regard to letter case.
DirectoryListing ListDirectory(const std::string& path);

// The folder the save dialog opens first: $HOME when it is a folder, else
// the working directory.
std::string DefaultDirectory();

// A place the save dialog offers beside its list: the user's home and, when
// they exist, the desktop and documents folders.
struct Place {
    std::string label;  // UTF-8
    std::string path;   // absolute, UTF-8
};

// The places, read from the user's XDG folders ($XDG_CONFIG_HOME/user-dirs.dirs,
// or ~/.config/user-dirs.dirs: XDG_DESKTOP_DIR and XDG_DOCUMENTS_DIR); a
// folder that is not named there, is the home itself or does not exist is
// left out.
std::vector<Place> UserPlaces();

// The value of `name` in the text of a user-dirs.dirs file
// (NAME="$HOME/Escritorio"), $HOME replaced by `home`; "" when absent or
// not a path.
std::string UserDirFromText(const std::string& text, const std::string& name,
                            const std::string& home);

// Where the save dialog's last folder is kept between runs:
// $XDG_STATE_HOME/reqwiz/last-folder, or ~/.local/state/reqwiz/last-folder;
// "" when neither variable gives an absolute path.
std::string LastFolderFile();

// The folder kept in `file` (by RememberDirectory, in an earlier run) when
// it is still a folder; else DefaultDirectory().
std::string RememberedDirectory(const std::string& file);

// Keeps `folder` (absolute, UTF-8) in `file` for the next run. The file is
// replaced whole (mode 0600), its folder made when missing; false when it
// could not be written.
bool RememberDirectory(const std::string& file, const std::string& folder);

}  // namespace viewer
