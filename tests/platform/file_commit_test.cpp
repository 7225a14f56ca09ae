// Committing a set of files: all of them complete under their names, or no
// name changed, and no temporary file left in any case.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file_commit.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using platform::CommitFiles;
using platform::FileToCommit;
using testing_support::TempDir;

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

}  // namespace
