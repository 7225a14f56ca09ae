#include "cli/profile_zip.h"

#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/text.h"

namespace fs = std::filesystem;

namespace cli {

namespace {

// 2001-01-01 00:00 local time, for every entry: the archive depends only on
// the folder's content.
constexpr time_t kFixedTime = 978307200;

}  // namespace

bool BelongsInArchive(const std::string& file_name) {
    const std::string ext = platform::AsciiLower(fs::path(file_name).extension().string());
    for (const char* wanted : {".htm", ".html", ".xml", ".gif", ".jpg", ".jpeg", ".png", ".dll"}) {
        if (ext == wanted)
            return true;
    }
    return false;
}

bool WriteProfileZip(const std::string& folder, const std::string& zip_path, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        error = "not a folder: " + folder;
        return false;
    }
    std::vector<std::string> directories, files;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string relative = fs::relative(it->path(), folder).generic_string();
        if (it->path().filename().string().front() == '.') {
            if (it->is_directory())
                it.disable_recursion_pending();
            continue;
        }
        if (it->is_directory())
            directories.push_back(relative + "/");
        else if (it->is_regular_file() && BelongsInArchive(relative))
            files.push_back(relative);
    }
    if (ec) {
        error = "cannot read " + folder + ": " + ec.message();
        return false;
    }
    std::sort(directories.begin(), directories.end());
    std::sort(files.begin(), files.end());

    int code = 0;
    zip_t* archive = zip_open(zip_path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (archive == nullptr) {
        error = "cannot create " + zip_path;
        return false;
    }
    auto fail = [&](const std::string& why) {
        error = why + ": " + zip_strerror(archive);
        zip_discard(archive);
        return false;
    };

    // The file contents must stay alive until zip_close writes them.
    std::vector<std::string> contents;
    contents.reserve(files.size());
    for (const std::string& name : files) {
        std::ifstream in(fs::path(folder) / name, std::ios::binary);
        if (!in) {
            error = "cannot read " + name;
            zip_discard(archive);
            return false;
        }
        contents.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        const std::string& bytes = contents.back();
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        if (source == nullptr)
            return fail("cannot add " + name);
        zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            return fail("cannot add " + name);
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
        zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), kFixedTime, 0);
    }
    if (std::find(directories.begin(), directories.end(), kEmptyDirectoryEntry) ==
        directories.end())
        directories.push_back(kEmptyDirectoryEntry);
    for (const std::string& dir : directories) {
        zip_int64_t index = zip_dir_add(archive, dir.c_str(), ZIP_FL_ENC_UTF_8);
        if (index < 0)
            return fail("cannot add " + dir);
        zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), kFixedTime, 0);
    }
    if (zip_close(archive) != 0)
        return fail("cannot write " + zip_path);
    return true;
}

}  // namespace cli
