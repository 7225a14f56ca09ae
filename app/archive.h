// The data archive: a ZIP file (stored or deflated entries) whose entries are
// extracted one at a time, by name, into memory.
//
// Lookup of a requested name: both the request and each entry's full stored
// path are lower-cased, and a "/" in a stored path reads as "\", so
// "images/PIXEL.GIF" and "Images\pixel.gif" name the same entry. Directory
// entries never match. In the request, "*" stands for any run of characters
// (none included), "?" for exactly one, and "<" for any run of characters
// that does not cross a "\". The first matching entry in the archive's
// directory order is the one extracted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace app {

class Archive {
  public:
    Archive() = default;
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Opens the ZIP file at `path` read-only and reads its central directory,
    // closing any archive opened before. False when the file cannot be read
    // or is not a ZIP archive; error() then says why.
    bool Open(const std::string& path);
    void Close();
    bool is_open() const { return unz_ != nullptr; }
    const std::string& error() const { return error_; }

    enum class Result { Extracted, NotFound, Damaged, TooLarge };

    // Appends the uncompressed bytes of the entry `name` to `out`. NotFound
    // (nothing appended) when no entry matches or no archive is open; Damaged
    // when the entry cannot be read back intact (bad data or checksum, or more
    // bytes than it states); TooLarge when it states more than 32 MiB (a
    // profile holds nothing that big, and memory is not spent on it). `out`
    // is left as it was on every failure.
    Result Extract(const std::string& name, std::string& out) const;

    // True when every entry but the directories reads back intact (entries
    // over 32 MiB, never extracted, are not read). The wizard checks this
    // once at start-up, so that a damaged page or image is told at once
    // rather than shown as an empty page later.
    bool AllEntriesIntact() const;

    // The entry names as stored, in directory order (for tests and tools).
    std::string EntryName(size_t index) const;
    size_t EntryCount() const;

  private:
    // One entry of the central directory, read once at Open.
    struct Entry {
        std::string name;
        uint64_t directory_offset = 0;  // where the reader finds it again
        uint64_t number = 0;
        uint64_t size = 0;  // uncompressed size as stated
    };

    Result ReadEntry(const Entry& entry, std::string& out) const;

    void* unz_ = nullptr;  // the reader's handle (minizip's unzFile)
    std::vector<Entry> entries_;
    std::string error_;
};

// True when the archive path `stored` (as stored: "/" separators) is matched
// by the requested `pattern` under the rules above. Directory entries (paths
// ending in a separator) never match.
bool ArchiveNameMatches(const std::string& pattern, const std::string& stored);

}  // namespace app
