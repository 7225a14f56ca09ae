// Committing a set of files: all of them complete under their names, or no
// name changed, and no temporary file left in any case.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file_commit.h"
#include "tests/support/mount.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using platform::CommitFiles;
using platform::FileToCommit;
using testing_support::TempDir;
using testing_support::TmpfsMount;

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileCommit, WritesEveryFileWithItsModeAndReplacesOlderOnes) {
    TempDir dir;
    Write(dir.file("b.req"), "vieja");
    const std::vector<FileToCommit> files = {
        {dir.file("a.key"), 0600, {"llave"}},
        {dir.file("b.req"), 0644, {"solicitud", "", " y texto"}},
    };
    size_t failed = 99;
    ASSERT_TRUE(CommitFiles(files, failed));
    EXPECT_EQ(Read(dir.file("a.key")), "llave");
    EXPECT_EQ(Read(dir.file("b.req")), "solicitud y texto");
    EXPECT_EQ(fs::status(dir.file("a.key")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.key", "b.req"}));
}

// Each way a commit can fail: nothing changes, older files stay as they were,
// and no temporary file is left behind.
TEST(FileCommit, AFailureChangesNothing) {
    struct Case {
        const char* what;
        size_t failing;
        std::vector<std::string> targets;  // relative to the folder
    } cases[] = {
        {"the first file's folder does not exist", 0, {"falta/a.key", "b.req"}},
        {"the second file's folder does not exist", 1, {"a.key", "falta/b.req"}},
        {"the first name is a folder", 0, {"carpeta", "b.req"}},
        // Both written; the second rename fails after the first took place.
        {"the second name is a folder", 1, {"a.key", "carpeta"}},
        {"a name without a file part", 1, {"a.key", "carpeta/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fs::create_directory(dir.file("carpeta"));
        Write(dir.file("a.key"), "llave vieja");
        Write(dir.file("b.req"), "solicitud vieja");
        const std::vector<std::string> before = Names(dir.path());
        std::vector<FileToCommit> files;
        for (const std::string& target : c.targets)
            files.push_back({dir.file(target), 0600, {"nuevo"}});
        size_t failed = 99;
        EXPECT_FALSE(CommitFiles(files, failed));
        EXPECT_EQ(failed, c.failing);
        EXPECT_EQ(Names(dir.path()), before);
        EXPECT_TRUE(Names(dir.file("carpeta")).empty());
        EXPECT_EQ(Read(dir.file("a.key")), "llave vieja");
        EXPECT_EQ(Read(dir.file("b.req")), "solicitud vieja");
    }
}

// The faults a disk brings about at a moment of its own: full in the middle
// of either file (a short write, then ENOSPC), the rename of the second file
// refused. The system calls are replaced for the length of one commit.
struct InjectedFault {
    size_t file = 0;     // the file whose write or rename fails
    size_t written = 0;  // bytes of it written before the disk is full
    bool rename_fails = false;
};
InjectedFault fault;
size_t bytes_of_failing_file = 0;

ssize_t FillingWrite(size_t file, int fd, const void* data, size_t size) {
    if (fault.rename_fails || file != fault.file)
        return ::write(fd, data, size);
    if (bytes_of_failing_file >= fault.written) {
        errno = ENOSPC;
        return -1;
    }
    const size_t room = fault.written - bytes_of_failing_file;
    const ssize_t n = ::write(fd, data, size < room ? size : room);
    if (n > 0)
        bytes_of_failing_file += static_cast<size_t>(n);
    return n;
}

size_t renames = 0;
int FailingRename(const char* from, const char* to) {
    if (fault.rename_fails && renames++ == fault.file) {
        errno = EIO;
        return -1;
    }
    return ::rename(from, to);
}

class InjectedCommit : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = platform::CommitSystemCallsForTesting();
        platform::CommitSystemCallsForTesting() = {FillingWrite, FailingRename};
        bytes_of_failing_file = 0;
        renames = 0;
    }
    void TearDown() override { platform::CommitSystemCallsForTesting() = saved_; }
    platform::CommitSystemCalls saved_{};
};

TEST_F(InjectedCommit, DiskFullOrRenameRefusedChangesNothing) {
    const std::string key(700, 'k'), request(1500, 'r');
    struct Case {
        const char* what;
        InjectedFault fault;
        bool older_files;
    } cases[] = {
        {"disk full in the middle of the first file", {0, 350, false}, true},
        {"disk full in the middle of the second file", {1, 750, false}, true},
        {"disk full at the second file's first byte", {1, 0, false}, false},
        {"the first rename refused", {0, 0, true}, true},
        {"the second rename refused", {1, 0, true}, true},
        {"the second rename refused, no older files", {1, 0, true}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        if (c.older_files) {
            Write(dir.file("a.key"), "llave vieja");
            Write(dir.file("b.req"), "solicitud vieja");
        }
        const std::vector<std::string> before = Names(dir.path());
        fault = c.fault;
        bytes_of_failing_file = 0;
        renames = 0;
        size_t failed = 99;
        EXPECT_FALSE(
            CommitFiles({{dir.file("a.key"), 0600, {key}},
                         {dir.file("b.req"), 0644, {request.substr(0, 500), request.substr(500)}}},
                        failed));
        EXPECT_EQ(failed, c.fault.file);
        EXPECT_EQ(Names(dir.path()), before);
        if (c.older_files) {
            EXPECT_EQ(Read(dir.file("a.key")), "llave vieja");
            EXPECT_EQ(Read(dir.file("b.req")), "solicitud vieja");
        }
    }
}

// Real disks: one mounted read-only, and one too small for the second file.
TEST(FileCommitOnDisk, ReadOnlyAndFullDisksChangeNothing) {
    TempDir dir;
    TmpfsMount disk;
    std::string why;
    if (!disk.Mount(dir.path(), 16 << 10, why))
        GTEST_SKIP() << why;
    Write(dir.file("a.key"), "llave vieja");
    ASSERT_TRUE(disk.MakeReadOnly(why)) << why;
    size_t failed = 99;
    EXPECT_FALSE(CommitFiles(
        {{dir.file("a.key"), 0600, {"nueva"}}, {dir.file("b.req"), 0644, {"x"}}}, failed));
    EXPECT_EQ(failed, 0u);
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.key"}));
    EXPECT_EQ(Read(dir.file("a.key")), "llave vieja");
    disk.Unmount();

    // 16 KiB: the older key file and the new one fit, the request does not.
    ASSERT_TRUE(disk.Mount(dir.path(), 16 << 10, why)) << why;
    Write(dir.file("a.key"), "llave vieja");
    const std::string key(4096, 'k'), request(12 << 10, 'r');
    EXPECT_FALSE(CommitFiles(
        {{dir.file("a.key"), 0600, {key}}, {dir.file("b.req"), 0644, {request}}}, failed));
    EXPECT_EQ(failed, 1u);
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.key"}));
    EXPECT_EQ(Read(dir.file("a.key")), "llave vieja");
}

}  // namespace
