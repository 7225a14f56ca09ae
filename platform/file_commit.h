// Writing a set of files so that either all of them end complete under their
// names or none of the names changes: the files people keep (a private key
// and its request) are never left half written, and never one without the
// other.
//
//   1. each file is written under a new temporary name in its own folder
//      (".NAME.xxxxxxxx", created exclusively with the file's mode, the umask
//      applying) and flushed to the disk;
//   2. a file already under a target name is kept under a second temporary
//      name (a hard link);
//   3. the temporaries are renamed into place, in order;
//   4. on success the kept older files are dropped; on any failure every
//      temporary is removed, the targets renamed so far are removed, and the
//      older files are put back.
//
// A disk that refuses the hard link of step 2 (some file systems have none)
// still gets all or nothing for the new files; an older file replaced before
// a later failure is then lost.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct FileToCommit {
    std::string path;                     // the target, as the disk names it
    mode_t mode = 0666;                   // for a new file (the umask applies)
    std::vector<std::string_view> parts;  // the content, written in order
};

// Writes the files (see above). True when every file is in place. False when
// something failed; `failed` is then the index of the file whose write or
// rename failed, and no target has changed.
bool CommitFiles(const std::vector<FileToCommit>& files, size_t& failed);

// For tests: the two system calls whose failure a test cannot bring about on
// a real disk at the moment it chooses. `write` writes part of the contents
// of file number `file` (its index in the list); `rename` moves a temporary
// into place (putting older files back uses the system's rename). Both behave
// like the system calls, errno included; the program never changes them.
struct CommitSystemCalls {
    ssize_t (*write)(size_t file, int fd, const void* data, size_t size);
    int (*rename)(const char* from, const char* to);
};
CommitSystemCalls& CommitSystemCallsForTesting();

}  // namespace platform
