#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/files.h"
#include "platform/module.h"
#include "platform/temp_file.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

TEST(Files, ExistenceTellsFilesFromFolders) {
    TempDir dir;
    testing_support::write_file(dir.file("f"), {1, 2, 3});
    fs::create_directory(dir.file("d"));
    fs::create_symlink(dir.file("f"), dir.file("link"));
    EXPECT_TRUE(platform::FileExists(dir.file("f")));
    EXPECT_TRUE(platform::FileExists(dir.file("link")));
    EXPECT_FALSE(platform::FileExists(dir.file("d")));
    EXPECT_FALSE(platform::FileExists(dir.file("none")));
    EXPECT_FALSE(platform::FileExists(""));
    EXPECT_TRUE(platform::DirectoryExists(dir.file("d")));
    EXPECT_TRUE(platform::DirectoryExists(dir.path() + "/"));
    EXPECT_FALSE(platform::DirectoryExists(dir.file("f")));
    EXPECT_FALSE(platform::DirectoryExists(""));

    std::string bytes;
    EXPECT_TRUE(platform::ReadWholeFile(dir.file("f"), bytes));
    EXPECT_EQ(bytes, std::string("\x01\x02\x03"));
    EXPECT_FALSE(platform::ReadWholeFile(dir.file("none"), bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(platform::WriteWholeFile(dir.file("w"), std::string("a\0b", 3)));
    EXPECT_EQ(fs::file_size(dir.file("w")), 3u);
    EXPECT_FALSE(platform::WriteWholeFile(dir.file("none/w"), "x"));
    EXPECT_TRUE(platform::DeleteFile(dir.file("w")));
    EXPECT_FALSE(platform::DeleteFile(dir.file("w")));
    EXPECT_TRUE(platform::FileExists(platform::ProgramPath()));
}

TEST(TempFile, PrivateFileInTmpdirRemovedWithItsOwner) {
    TempDir dir;
    setenv("TMPDIR", dir.path().c_str(), 1);
    std::string path;
    {
        platform::TempFile a, b;
        ASSERT_TRUE(a.Create("HTML"));
        ASSERT_TRUE(b.Create("HTML"));
        path = a.path();
        EXPECT_NE(a.path(), b.path());
        EXPECT_EQ(fs::path(path).parent_path(), fs::path(dir.path()));
        EXPECT_EQ(fs::path(path).filename().string().rfind("HTML", 0), 0u);
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(st.st_size, 0);
        platform::TempFile moved(std::move(a));
        EXPECT_TRUE(a.empty());
        EXPECT_EQ(moved.path(), path);
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(fs::is_empty(dir.path()));

    // A TMPDIR that is no folder falls back to /tmp.
    setenv("TMPDIR", dir.file("missing").c_str(), 1);
    EXPECT_EQ(platform::TempDirectory(), "/tmp");
    unsetenv("TMPDIR");
    EXPECT_EQ(platform::TempDirectory(), "/tmp");
}

TEST(Module, LoadsFindsAndUnloads) {
    platform::Module module;
    ASSERT_TRUE(module.Load(PLATFORM_TEST_MODULE)) << module.error();
    auto answer = reinterpret_cast<int (*)()>(module.Symbol("test_module_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(module.Symbol("Valida_Campos"), nullptr);
    module.Unload();
    EXPECT_FALSE(module.loaded());
    EXPECT_EQ(module.Symbol("test_module_answer"), nullptr);

    TempDir dir;
    testing_support::write_file(dir.file("bad.so"), {'n', 'o', 't'});
    EXPECT_FALSE(module.Load(dir.file("bad.so")));
    EXPECT_FALSE(module.error().empty());
    EXPECT_FALSE(module.Load(dir.file("absent.so")));
}

}  // namespace
