// Opening a data archive made of any bytes and looking its entries up, the
// way the wizard asks for its pages, images and configuration.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/archive.h"
#include "fuzz/fuzz_support.h"

namespace {

// One in-memory file for the whole run, rewritten for every input: the
// archive opens by path, and a memory file keeps the disk out of it.
int MemoryFile() {
    static const int fd = [] {
        const int made = memfd_create("fuzz-archive", MFD_CLOEXEC);
        if (made < 0)
            fuzz::Fail("memfd_create");
        return made;
    }();
    return fd;
}

const char* const kRequests[] = {"config.xml",   "index.htm", "Page2.htm", "images\\pixel.gif",
                                 "Images/*.gif", "*",         "?????.htm", "<\\*.gif",
                                 "*.dll",        "Temp\\"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = MemoryFile();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        fuzz::Fail("writing the memory file");
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);

    app::Archive archive;
    if (!archive.Open(path)) {
        fuzz::Check(!archive.error().empty(), "a refused archive says why");
        return 0;
    }
    const size_t count = archive.EntryCount();
    for (const char* request : kRequests) {
        std::string out = "before";
        const app::Archive::Result result = archive.Extract(request, out);
        if (result != app::Archive::Result::Extracted)
            fuzz::Check(out == "before", "a failed extraction leaves the output alone");
    }
    for (size_t i = 0; i < count && i < 32; ++i) {
        const std::string stored = archive.EntryName(i);
        // Every entry name matches itself unless it is empty (no request
        // names it) or a directory, and the entry found by it extracts or
        // fails cleanly.
        const bool directory = !stored.empty() && (stored.back() == '/' || stored.back() == '\\');
        if (!stored.empty() && !directory && stored.find_first_of("*?<") == std::string::npos)
            fuzz::Check(app::ArchiveNameMatches(stored, stored), "a name matches itself");
        std::string out;
        (void)archive.Extract(stored, out);
    }
    // A pattern taken from the input itself, against the stored names.
    const std::string pattern(reinterpret_cast<const char*>(data), size < 24 ? size : 24);
    for (size_t i = 0; i < count && i < 32; ++i)
        (void)app::ArchiveNameMatches(pattern, archive.EntryName(i));
    archive.Close();
    return 0;
}
