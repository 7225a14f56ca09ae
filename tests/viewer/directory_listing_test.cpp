// The save dialog's view of the disk, on real folders: what a listing tells
// of each entry, and the new folder it may make, with every name it must
// refuse and every way the disk can say no.
#include "viewer/directory_listing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/mount.h"
#include "tests/support/process.h"

namespace {

using testing_support::TempDir;
using testing_support::TmpfsMount;
using viewer::MakeFolderResult;

void SetModified(const std::string& path, time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

const viewer::DirectoryEntry* Find(const viewer::DirectoryListing& listing,
                                   const std::string& name) {
    for (const viewer::DirectoryEntry& entry : listing.entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(DirectoryListing, FilesHaveTheirSizeAndEveryEntryItsModificationTime) {
    TempDir dir;
    testing_support::write_file(dir.file("empty.req"), {});
    testing_support::write_file(dir.file("old.key"), std::vector<uint8_t>(3, 'k'));
    testing_support::write_file(dir.file("big.req"), std::vector<uint8_t>(5000, 'r'));
    mkdir(dir.file("Documentos").c_str(), 0700);
    ASSERT_EQ(symlink("old.key", dir.file("to-key").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", dir.file("broken").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    // 2024-03-05 09:07:00 UTC; the link's own time differs from its file's.
    const time_t when = 1709629620;
    for (const char* name : {"empty.req", "old.key", "big.req", "Documentos", "pipe"})
        SetModified(dir.file(name), when);
    SetModified(dir.file("to-key"), when - 3600);

    const viewer::DirectoryListing listing = viewer::ListDirectory(dir.path());
    ASSERT_EQ(listing.result, viewer::DirectoryListing::Listed);
    const struct {
        const char* name;
        bool is_directory;
        bool has_size;
        uint64_t size;
        bool has_modified;
    } cases[] = {
        {"empty.req", false, true, 0, true},  {"old.key", false, true, 3, true},
        {"big.req", false, true, 5000, true}, {"Documentos", true, false, 0, true},
        {"to-key", false, true, 3, true},  // what the link points to
        {"broken", false, false, 0, false},   {"pipe", false, false, 0, true},
    };
    for (const auto& c : cases) {
        const viewer::DirectoryEntry* entry = Find(listing, c.name);
        ASSERT_NE(entry, nullptr) << c.name;
        EXPECT_EQ(entry->is_directory, c.is_directory) << c.name;
        EXPECT_EQ(entry->has_size, c.has_size) << c.name;
        EXPECT_EQ(entry->size, c.size) << c.name;
        EXPECT_EQ(entry->has_modified, c.has_modified) << c.name;
        if (c.has_modified) {
            EXPECT_EQ(entry->modified, when) << c.name;
        }
    }
}

TEST(DirectoryListing, TildeStandsForTheHomeFolder) {
    TempDir home;
    mkdir(home.file("llaves").c_str(), 0700);
    const char* before = std::getenv("HOME");
    const std::string saved = before ? before : "";
    setenv("HOME", home.path().c_str(), 1);
    EXPECT_EQ(viewer::ListDirectory("~").path, home.path());
    EXPECT_EQ(viewer::ListDirectory("~/llaves").path, home.file("llaves"));
    // Only a "~" of its own: "~ana" is a name like any other.
    EXPECT_EQ(viewer::ListDirectory("/x/~").path, "/x/~");
    EXPECT_NE(viewer::ListDirectory("~ana").path.find("/~ana"), std::string::npos);
    if (before)
        setenv("HOME", saved.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST(MakeFolder, NamesAreCheckedBeforeAnythingIsMade) {
    TempDir dir;
    testing_support::write_file(dir.file("old.key"), std::vector<uint8_t>(3, 'k'));
    mkdir(dir.file("respaldo").c_str(), 0700);
    ASSERT_EQ(symlink(dir.file("elsewhere").c_str(), dir.file("link").c_str()), 0);
    const std::string n255(255, 'a');
    // 127 two-byte letters and one more byte: 255 bytes; one letter more is 256.
    std::string enes255;
    for (int i = 0; i < 127; ++i)
        enes255 += "\xC3\xB1";
    enes255 += "x";
    const struct {
        std::string name;
        MakeFolderResult result;
        std::string made;  // the name on disk, when made
    } cases[] = {
        {"Informes", MakeFolderResult::Made, "Informes"},
        {"  Llaves 2024\t", MakeFolderResult::Made, "Llaves 2024"},
        {"A\xC3\xB1o", MakeFolderResult::Made, "A\xC3\xB1o"},  // "Año"
        {".oculta", MakeFolderResult::Made, ".oculta"},
        {"...", MakeFolderResult::Made, "..."},
        {n255, MakeFolderResult::Made, n255},
        {enes255, MakeFolderResult::Made, enes255},
        {"", MakeFolderResult::EmptyName, ""},
        {" \t ", MakeFolderResult::EmptyName, ""},
        {".", MakeFolderResult::InvalidName, ""},
        {" .. ", MakeFolderResult::InvalidName, ""},
        {"a/b", MakeFolderResult::InvalidName, ""},
        {"/", MakeFolderResult::InvalidName, ""},
        {std::string("a\0b", 3), MakeFolderResult::InvalidName, ""},
        {"l\xC3\xADnea\nnueva", MakeFolderResult::InvalidName, ""},
        {"c1\xC2\x85", MakeFolderResult::InvalidName, ""},  // U+0085
        {"del\x7F", MakeFolderResult::InvalidName, ""},
        {"\xE2\x82\xAC uros", MakeFolderResult::NotLatin1, ""},  // "€"
        {"\xFF\xFE", MakeFolderResult::NotLatin1, ""},           // not UTF-8
        {n255 + "a", MakeFolderResult::NameTooLong, ""},
        {enes255 + "x", MakeFolderResult::NameTooLong, ""},
        {"old.key", MakeFolderResult::Exists, ""},
        {"respaldo", MakeFolderResult::Exists, ""},
        {"link", MakeFolderResult::Exists, ""},  // never made where it points
    };
    std::vector<std::string> expected = {"link", "old.key", "respaldo"};
    for (const auto& c : cases) {
        std::string made = "stale";
        EXPECT_EQ(viewer::MakeFolder(dir.path(), c.name, made), c.result) << c.name;
        if (c.result == MakeFolderResult::Made) {
            EXPECT_EQ(made, dir.file(c.made)) << c.name;
            EXPECT_TRUE(std::filesystem::is_directory(made)) << c.name;
            expected.push_back(c.made);
        } else {
            EXPECT_EQ(made, "") << c.name;
        }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(dir.path()), expected);
    EXPECT_FALSE(std::filesystem::exists(dir.file("elsewhere")));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("old.key")));
}

TEST(MakeFolder, TheParentMustBeAnExistingFolderAndTheUmaskApplies) {
    TempDir dir;
    testing_support::write_file(dir.file("old.key"), std::vector<uint8_t>(3, 'k'));
    std::string made;
    for (const std::string& parent :
         {dir.file("nada"), dir.file("old.key"), std::string("relativa"), std::string()}) {
        EXPECT_EQ(viewer::MakeFolder(parent, "Nueva", made), MakeFolderResult::ParentMissing)
            << parent;
    }
    const mode_t before = umask(027);
    EXPECT_EQ(viewer::MakeFolder(dir.path() + "/./", "Nueva", made), MakeFolderResult::Made);
    umask(before);
    EXPECT_EQ(made, dir.file("Nueva"));
    struct stat info {};
    ASSERT_EQ(stat(made.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0750u);
}

TEST(MakeFolder, AReadOnlyDiskAndAFolderOfSomeoneElseSayWhy) {
    TempDir dir;
    TmpfsMount disk;
    std::string why;
    if (!disk.Mount(dir.path(), 16 << 10, why))
        GTEST_SKIP() << why;
    mkdir(dir.file("respaldo").c_str(), 0700);
    ASSERT_TRUE(disk.MakeReadOnly(why)) << why;
    std::string made;
    EXPECT_EQ(viewer::MakeFolder(dir.path(), "Nueva", made), MakeFolderResult::ReadOnly);
    // An existing name is named as such, read-only disk or not.
    EXPECT_EQ(viewer::MakeFolder(dir.path(), "respaldo", made), MakeFolderResult::Exists);
    disk.Unmount();

    // A folder the user may not write in: root ignores permission bits, so
    // a child process that is nobody tries.
    TempDir other;
    ASSERT_EQ(chmod(other.path().c_str(), 0755), 0);
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(other.path().c_str(), 0555), 0);
        EXPECT_EQ(viewer::MakeFolder(other.path(), "Nueva", made), MakeFolderResult::Denied);
        chmod(other.path().c_str(), 0755);
        return;
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(100);
        std::string ignored;
        _exit(static_cast<int>(viewer::MakeFolder(other.path(), "Nueva", ignored)));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(MakeFolderResult::Denied));
    EXPECT_TRUE(Names(other.path()).empty());
}

}  // namespace
