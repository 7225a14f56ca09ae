#include "app/archive.h"

#include <minizip/unzip.h>

#include <utility>
#include <vector>

#include "app/text.h"

namespace app {

namespace {

// The largest entry extracted. The profile's pages, images and library are a
// few hundred kilobytes; a small entry that claims or unpacks to more is not
// read at all, so that it cannot take the memory of the machine.
constexpr uint64_t kMaxEntrySize = 32u << 20;

std::string Normalise(const std::string& name) {
    std::string out = LowerCase(name);
    for (char& c : out) {
        if (c == '/')
            c = '\\';
    }
    return out;
}

// Wildcard match over whole strings. It follows the set of pattern positions
// reachable after each character of the name, so no pattern can make it take
// longer than pattern length times name length.
bool WildMatch(const std::string& p, const std::string& s) {
    std::vector<char> cur(p.size() + 1, 0), next(p.size() + 1, 0);
    auto close = [&p](std::vector<char>& set) {
        // A star or "<" may match nothing: its position reaches the next one.
        for (size_t i = 0; i < p.size(); ++i) {
            if (set[i] && (p[i] == '*' || p[i] == '<'))
                set[i + 1] = 1;
        }
    };
    cur[0] = 1;
    close(cur);
    for (char c : s) {
        std::fill(next.begin(), next.end(), 0);
        for (size_t i = 0; i < p.size(); ++i) {
            if (!cur[i])
                continue;
            if (p[i] == '*' || (p[i] == '<' && c != '\\'))
                next[i] = 1;  // the run goes on
            else if (p[i] == '?' || p[i] == c)
                next[i + 1] = 1;
        }
        close(next);
        cur.swap(next);
    }
    return cur[p.size()] != 0;
}

}  // namespace

bool ArchiveNameMatches(const std::string& pattern, const std::string& stored) {
    if (stored.empty() || stored.back() == '/' || stored.back() == '\\')
        return false;
    return WildMatch(Normalise(pattern), Normalise(stored));
}

Archive::~Archive() {
    Close();
}

void Archive::Close() {
    if (unz_ != nullptr) {
        unzClose(unz_);
        unz_ = nullptr;
    }
    entries_.clear();
}

bool Archive::Open(const std::string& path) {
    Close();
    error_.clear();
    unz_ = unzOpen64(path.c_str());
    if (unz_ == nullptr) {
        error_ = "no se pudo leer el archivo o no es un archivo ZIP";
        return false;
    }
    // The whole central directory is read now, so that an archive whose
    // directory is cut short or inconsistent is refused here, as a whole.
    unz_global_info64 global;
    int status = unzGetGlobalInfo64(unz_, &global);
    if (status == UNZ_OK)
        status = unzGoToFirstFile(unz_);
    while (status == UNZ_OK) {
        unz_file_info64 info;
        status = unzGetCurrentFileInfo64(unz_, &info, nullptr, 0, nullptr, 0, nullptr, 0);
        if (status != UNZ_OK)
            break;
        Entry entry;
        entry.name.resize(info.size_filename);
        unz64_file_pos where;
        status = unzGetCurrentFileInfo64(unz_, &info, entry.name.data(), info.size_filename,
                                         nullptr, 0, nullptr, 0);
        if (status == UNZ_OK)
            status = unzGetFilePos64(unz_, &where);
        if (status != UNZ_OK)
            break;
        entry.directory_offset = where.pos_in_zip_directory;
        entry.number = where.num_of_file;
        entry.size = info.uncompressed_size;
        entries_.push_back(std::move(entry));
        status = unzGoToNextFile(unz_);
    }
    // An empty archive has no first entry; anything else must end at the
    // directory's end with as many entries as it announces.
    const bool empty = status == UNZ_END_OF_LIST_OF_FILE && entries_.empty();
    if (!empty && (status != UNZ_END_OF_LIST_OF_FILE || entries_.size() != global.number_entry)) {
        error_ =
            "el directorio del archivo ZIP est\xE1 da\xF1"
            "ado";
        Close();
        return false;
    }
    return true;
}

size_t Archive::EntryCount() const {
    return entries_.size();
}

std::string Archive::EntryName(size_t index) const {
    return index < entries_.size() ? entries_[index].name : "";
}

Archive::Result Archive::ReadEntry(const Entry& entry, std::string& out) const {
    if (entry.size > kMaxEntrySize)
        return Result::TooLarge;
    const unz64_file_pos where{entry.directory_offset, entry.number};
    if (unzGoToFilePos64(unz_, &where) != UNZ_OK || unzOpenCurrentFile(unz_) != UNZ_OK)
        return Result::Damaged;
    std::string bytes;
    char buffer[8192];
    int n = 0;
    bytes.reserve(static_cast<size_t>(entry.size));
    // The stated size is checked as the bytes come, not trusted.
    while ((n = unzReadCurrentFile(unz_, buffer, sizeof buffer)) > 0 && bytes.size() <= entry.size)
        bytes.append(buffer, static_cast<size_t>(n));
    // Closing reports a checksum mismatch once every stated byte was read.
    const int closed = unzCloseCurrentFile(unz_);
    if (n < 0 || closed != UNZ_OK || bytes.size() != entry.size)
        return Result::Damaged;
    out += bytes;
    return Result::Extracted;
}

Archive::Result Archive::Extract(const std::string& name, std::string& out) const {
    for (const Entry& entry : entries_) {
        if (ArchiveNameMatches(name, entry.name))
            return ReadEntry(entry, out);
    }
    return Result::NotFound;
}

bool Archive::AllEntriesIntact() const {
    for (const Entry& entry : entries_) {
        if (!entry.name.empty() && (entry.name.back() == '/' || entry.name.back() == '\\'))
            continue;
        std::string bytes;
        if (ReadEntry(entry, bytes) == Result::Damaged)
            return false;
    }
    return true;
}

}  // namespace app
