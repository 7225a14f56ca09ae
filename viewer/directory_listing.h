// What the save dialog may learn of the file system, and the one change it
// may make to it: the names in a folder, which of them are folders, each
// file's size and each entry's modification time (what a file manager
// shows); a new empty folder. Never a file's contents.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace viewer {

struct DirectoryEntry {
    std::string name;  // as stored on disk (UTF-8 on this system)
    bool is_directory = false;
    // A regular file's size in bytes; false for folders and for anything
    // else (a device, a pipe, a link to nowhere).
    bool has_size = false;
    uint64_t size = 0;
    // The last modification, in seconds since 1970-01-01 UTC; false when
    // the entry could not be examined.
    bool has_modified = false;
    int64_t modified = 0;
};

struct DirectoryListing {
    enum Result { Listed, NotFound, NotADirectory, Denied };
    Result result = NotFound;
    std::string path;    // the folder, absolute and without "." or ".." parts
    std::string parent;  // its parent folder; equal to `path` at the root
    std::vector<DirectoryEntry> entries;
};

// Lists the folder `path` (absolute; a relative path is taken from the
// working directory; "~" and "~/..." stand for $HOME when it is absolute).
// A link is described by what it points to. Names that are not valid UTF-8 are left out, since
// the page could not show them; hidden names (beginning with ".") are kept,
// so that the dialog can warn before overwriting one, and the page decides
// what to show.
// Folders come first, then files, each group in alphabetical order without
// regard to letter case.
DirectoryListing ListDirectory(const std::string& path);

// Why a new folder could not be made, or Made. The names are the wire
// protocol's error codes (MakeFolderCode).
enum class MakeFolderResult {
    Made,
    EmptyName,      // nothing but blanks
    InvalidName,    // ".", "..", a '/', a NUL or another control character
    NameTooLong,    // more than 255 bytes on disk
    NotLatin1,      // a character ISO-8859-1 cannot hold
    Exists,         // a file, folder or link of that name is already there
    ParentMissing,  // `parent` is not an existing folder
    Denied,         // no permission to write in `parent`
    ReadOnly,       // `parent` is on a read-only disk
    NoSpace,        // the disk or the user's quota is full
    Failed,         // anything else
};

// The short code of `result` the page receives: "made", "empty", "invalid",
// "toolong", "latin1", "exists", "notfound", "denied", "readonly",
// "nospace", "failed".
const char* MakeFolderCode(MakeFolderResult result);

// The problem with `name` (UTF-8) as the name of a new folder, or Made when
// it may be one. `name` is taken with blanks (spaces and tabs) at both ends
// removed; `trimmed` receives it so.
MakeFolderResult CheckFolderName(const std::string& name, std::string& trimmed);

// Makes the empty folder `name` (UTF-8, checked and trimmed as above) inside
// the existing folder `parent` (absolute, UTF-8), with mode 0777 less the
// umask. Nothing that exists is ever replaced or entered: an entry of that
// name, a link included, gives Exists. `made` receives the new folder's
// absolute path when Made.
MakeFolderResult MakeFolder(const std::string& parent, const std::string& name, std::string& made);

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
