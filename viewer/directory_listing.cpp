#include "viewer/directory_listing.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/file_commit.h"
#include "platform/files.h"
#include "platform/latin1.h"

namespace viewer {

namespace fs = std::filesystem;

namespace {

std::string FoldCase(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// "~" and "~/..." with $HOME in place of the "~", when $HOME is absolute.
std::string ExpandHome(const std::string& path) {
    if (path.empty() || path[0] != '~' || (path.size() > 1 && path[1] != '/'))
        return path;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home != '/')
        return path;
    return std::string(home) + path.substr(1);
}

// The entry `name` of `folder`, described by what it is or points to.
DirectoryEntry Describe(const fs::path& folder, const std::string& name) {
    DirectoryEntry entry;
    entry.name = name;
    struct stat info {};
    if (::stat((folder / name).c_str(), &info) != 0)
        return entry;
    entry.is_directory = S_ISDIR(info.st_mode);
    if (S_ISREG(info.st_mode)) {
        entry.has_size = true;
        entry.size = static_cast<uint64_t>(info.st_size);
    }
    entry.has_modified = true;
    entry.modified = static_cast<int64_t>(info.st_mtim.tv_sec);
    return entry;
}

}  // namespace

DirectoryListing ListDirectory(const std::string& path) {
    DirectoryListing listing;
    std::error_code error;
    fs::path folder = fs::absolute(fs::path(path.empty() ? "/" : ExpandHome(path)), error);
    if (error)
        return listing;
    folder = folder.lexically_normal();
    std::string text = folder.string();
    if (text.size() > 1 && text.back() == '/')
        text.pop_back();
    folder = fs::path(text);
    listing.path = text;
    listing.parent = folder.has_relative_path() ? folder.parent_path().string() : text;

    const fs::file_status status = fs::status(folder, error);
    if (error || !fs::exists(status)) {
        listing.result = DirectoryListing::NotFound;
        return listing;
    }
    if (!fs::is_directory(status)) {
        listing.result = DirectoryListing::NotADirectory;
        return listing;
    }
    fs::directory_iterator it(folder, error);
    if (error) {
        listing.result = DirectoryListing::Denied;
        return listing;
    }
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error)
            break;
        const std::string name = it->path().filename().string();
        if (name.empty() || !platform::IsUtf8(name))
            continue;
        listing.entries.push_back(Describe(folder, name));
    }
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) {
                  if (a.is_directory != b.is_directory)
                      return a.is_directory;
                  const std::string fa = FoldCase(a.name), fb = FoldCase(b.name);
                  return fa != fb ? fa < fb : a.name < b.name;
              });
    listing.result = DirectoryListing::Listed;
    return listing;
}

const char* MakeFolderCode(MakeFolderResult result) {
    switch (result) {
        case MakeFolderResult::Made:
            return "made";
        case MakeFolderResult::EmptyName:
            return "empty";
        case MakeFolderResult::InvalidName:
            return "invalid";
        case MakeFolderResult::NameTooLong:
            return "toolong";
        case MakeFolderResult::NotLatin1:
            return "latin1";
        case MakeFolderResult::Exists:
            return "exists";
        case MakeFolderResult::ParentMissing:
            return "notfound";
        case MakeFolderResult::Denied:
            return "denied";
        case MakeFolderResult::ReadOnly:
            return "readonly";
        case MakeFolderResult::NoSpace:
            return "nospace";
        case MakeFolderResult::Failed:
            break;
    }
    return "failed";
}

MakeFolderResult CheckFolderName(const std::string& name, std::string& trimmed) {
    const size_t first = name.find_first_not_of(" \t");
    if (first == std::string::npos) {
        trimmed.clear();
        return MakeFolderResult::EmptyName;
    }
    trimmed = name.substr(first, name.find_last_not_of(" \t") - first + 1);
    if (trimmed == "." || trimmed == "..")
        return MakeFolderResult::InvalidName;
    const std::optional<std::string> latin1 = platform::Utf8ToLatin1Strict(trimmed);
    // Control characters, C0 and C1 (U+0080..U+009F), and the separator
    // have no place in a name the user typed; NUL would cut it short.
    const std::string& characters = latin1 ? *latin1 : trimmed;
    for (char c : characters) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '/' || byte < 0x20 || byte == 0x7F || (latin1 && byte >= 0x80 && byte < 0xA0))
            return MakeFolderResult::InvalidName;
    }
    if (!latin1)
        return MakeFolderResult::NotLatin1;
    // The limit of one name on Linux file systems, in bytes of its UTF-8.
    if (trimmed.size() > 255)
        return MakeFolderResult::NameTooLong;
    return MakeFolderResult::Made;
}

MakeFolderResult MakeFolder(const std::string& parent, const std::string& name, std::string& made) {
    made.clear();
    std::string trimmed;
    const MakeFolderResult checked = CheckFolderName(name, trimmed);
    if (checked != MakeFolderResult::Made)
        return checked;
    if (parent.empty() || parent[0] != '/' || parent.find('\0') != std::string::npos)
        return MakeFolderResult::ParentMissing;
    std::string folder = fs::path(parent).lexically_normal().string();
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return MakeFolderResult::ParentMissing;
    const std::string path = (folder == "/" ? std::string() : folder) + "/" + trimmed;
    // mkdir never replaces nor follows an entry that is there, a link to
    // nowhere included: it fails with EEXIST.
    if (::mkdir(path.c_str(), 0777) == 0) {
        made = path;
        return MakeFolderResult::Made;
    }
    switch (errno) {
        case EEXIST:
            return MakeFolderResult::Exists;
        case EACCES:
        case EPERM:
            return MakeFolderResult::Denied;
        case EROFS:
            return MakeFolderResult::ReadOnly;
        case ENOSPC:
        case EDQUOT:
            return MakeFolderResult::NoSpace;
        case ENOENT:
        case ENOTDIR:
            return MakeFolderResult::ParentMissing;
        case ENAMETOOLONG:
            return MakeFolderResult::NameTooLong;
        default:
            return MakeFolderResult::Failed;
    }
}

std::string DefaultDirectory() {
    std::error_code error;
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0' && fs::is_directory(home, error))
        return home;
    const fs::path here = fs::current_path(error);
    return error ? std::string("/") : here.string();
}

std::string UserDirFromText(const std::string& text, const std::string& name,
                            const std::string& home) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        line = line.substr(start);
        if (line.compare(0, name.size() + 1, name + "=") != 0)
            continue;
        std::string value = line.substr(name.size() + 1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\r'))
            value.pop_back();
        if (value.size() < 2 || value.front() != '"' || value.back() != '"')
            return std::string();
        value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0)
            value = home + value.substr(5);
        return !value.empty() && value[0] == '/' ? value : std::string();
    }
    return std::string();
}

std::vector<Place> UserPlaces() {
    std::vector<Place> places;
    const char* home_env = std::getenv("HOME");
    std::error_code error;
    if (home_env == nullptr || *home_env != '/' || !fs::is_directory(home_env, error))
        return places;
    const std::string home = home_env;
    places.push_back({"Carpeta personal", home});
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string file =
        (config != nullptr && *config == '/' ? std::string(config) : home + "/.config") +
        "/user-dirs.dirs";
    std::string text;
    platform::ReadWholeFile(file, text);
    const struct {
        const char* label;
        const char* name;
    } wanted[] = {{"Escritorio", "XDG_DESKTOP_DIR"}, {"Documentos", "XDG_DOCUMENTS_DIR"}};
    for (const auto& place : wanted) {
        const std::string path = UserDirFromText(text, place.name, home);
        if (path.empty() ||
            fs::path(path).lexically_normal() == fs::path(home).lexically_normal() ||
            !fs::is_directory(path, error))
            continue;
        places.push_back({place.label, fs::path(path).lexically_normal().string()});
    }
    return places;
}

std::string LastFolderFile() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string base;
    if (state != nullptr && *state == '/')
        base = state;
    else if (home != nullptr && *home == '/')
        base = std::string(home) + "/.local/state";
    else
        return std::string();
    return base + "/reqwiz/last-folder";
}

std::string RememberedDirectory(const std::string& file) {
    std::string text;
    if (!file.empty() && platform::ReadWholeFile(file, text)) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        std::error_code error;
        if (!text.empty() && text[0] == '/' && text.find('\n') == std::string::npos &&
            fs::is_directory(text, error))
            return text;
    }
    return DefaultDirectory();
}

bool RememberDirectory(const std::string& file, const std::string& folder) {
    if (file.empty() || folder.empty() || folder[0] != '/' ||
        folder.find('\n') != std::string::npos)
        return false;
    std::error_code error;
    fs::create_directories(fs::path(file).parent_path(), error);
    if (error)
        return false;
    const std::string text = folder + "\n";
    size_t failed = 0;
    return platform::CommitFiles({{file, 0600, {std::string_view(text)}}}, failed);
}

}  // namespace viewer
