#include "viewer/directory_listing.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
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

}  // namespace

DirectoryListing ListDirectory(const std::string& path) {
    DirectoryListing listing;
    std::error_code error;
    fs::path folder = fs::absolute(fs::path(path.empty() ? "/" : path), error);
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
        std::error_code kind_error;
        const bool is_directory = it->is_directory(kind_error);
        listing.entries.push_back({name, is_directory && !kind_error});
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
