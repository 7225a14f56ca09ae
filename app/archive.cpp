#include "app/archive.h"

#include <zip.h>

#include <vector>

#include "app/text.h"

namespace app {

namespace {

// The largest entry extracted. The profile's pages, images and library are a
// few hundred kilobytes; a small entry that claims or unpacks to more is not
// read at all, so that it cannot take the memory of the machine.
constexpr zip_uint64_t kMaxEntrySize = 32u << 20;

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
    if (zip_ != nullptr) {
        zip_discard(zip_);
        zip_ = nullptr;
    }
}

bool Archive::Open(const std::string& path) {
    Close();
    error_.clear();
    int code = 0;
    zip_ = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (zip_ == nullptr) {
        zip_error_t err;
        zip_error_init_with_code(&err, code);
        error_ = zip_error_strerror(&err);
        zip_error_fini(&err);
        return false;
    }
    return true;
}

size_t Archive::EntryCount() const {
    if (zip_ == nullptr)
        return 0;
    zip_int64_t n = zip_get_num_entries(zip_, 0);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

std::string Archive::EntryName(size_t index) const {
    const char* name = zip_ != nullptr ? zip_get_name(zip_, index, ZIP_FL_ENC_RAW) : nullptr;
    return name != nullptr ? name : "";
}

Archive::Result Archive::ReadEntry(size_t index, std::string& out) const {
    zip_stat_t st;
    if (zip_stat_index(zip_, index, 0, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0)
        return Result::Damaged;
    if (st.size > kMaxEntrySize)
        return Result::TooLarge;
    zip_file_t* file = zip_fopen_index(zip_, index, 0);
    if (file == nullptr)
        return Result::Damaged;
    std::string bytes;
    char buffer[8192];
    zip_int64_t n = 0;
    bytes.reserve(static_cast<size_t>(st.size));
    // The stated size is checked as the bytes come, not trusted.
    while ((n = zip_fread(file, buffer, sizeof buffer)) > 0 && bytes.size() <= st.size)
        bytes.append(buffer, static_cast<size_t>(n));
    // Closing reports a checksum mismatch found while reading.
    int closed = zip_fclose(file);
    if (n < 0 || closed != 0 || bytes.size() != st.size)
        return Result::Damaged;
    out += bytes;
    return Result::Extracted;
}

Archive::Result Archive::Extract(const std::string& name, std::string& out) const {
    size_t count = EntryCount();
    for (size_t i = 0; i < count; ++i) {
        if (ArchiveNameMatches(name, EntryName(i)))
            return ReadEntry(i, out);
    }
    return Result::NotFound;
}

bool Archive::AllEntriesIntact() const {
    const size_t count = EntryCount();
    for (size_t i = 0; i < count; ++i) {
        const std::string name = EntryName(i);
        if (!name.empty() && (name.back() == '/' || name.back() == '\\'))
            continue;
        std::string bytes;
        if (ReadEntry(i, bytes) == Result::Damaged)
            return false;
    }
    return true;
}

}  // namespace app
