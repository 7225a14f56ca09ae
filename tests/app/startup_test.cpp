// Start-up: the failures with their messages and exit codes, run against the
// built program, and the details of a successful start in process.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/Unit_main.h"
#include "app/archive.h"
#include "app/messages.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/latin1.h"
#include "tests/app/fixture.h"
#include "tests/support/mount.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

size_t FilesIn(const std::string& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}

// Writes an executable program file: the bare program followed by `archive`.
std::string WriteProgram(const TempDir& dir, const std::string& archive) {
    const std::string path = dir.file("reqwiz-test");
    testing_support::write_file(path, Bytes(app_test::ReadText(APP_TEST_BARE_PROGRAM) + archive));
    chmod(path.c_str(), 0755);
    return path;
}

std::string ProfileArchive(const std::vector<app_test::ZipEntry>& extra = {}) {
    TempDir dir;
    app_test::WriteProfileArchive(dir.file("p.zip"), extra);
    return app_test::ReadText(dir.file("p.zip"));
}

// Runs a program with its own empty temporary folder, no desktop session and
// the given locale; reports whether the folder was left empty.
struct Outcome {
    testing_support::RunResult run;
    size_t temp_files_left = 0;
};

// A program that starts successfully serves its window until it is told to
// stop: with `stop_when_serving` it is started without a browser (--no-open)
// and sent SIGTERM once it has printed its address, which ends it like a
// closed window.
Outcome RunProgram(const std::string& program, std::vector<std::string> args,
                   const char* locale = "C.UTF-8", const std::vector<std::string>& prefix = {},
                   bool stop_when_serving = false) {
    TempDir temp;
    chmod(temp.path().c_str(), 01777);  // also for a run under another user
    setenv("TMPDIR", temp.path().c_str(), 1);
    setenv("LC_ALL", locale, 1);
    setenv("REQWIZ_NO_DIALOG", "1", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (stop_when_serving)
        args.push_back("--no-open");
    args.insert(args.begin(), program);
    args.insert(args.begin(), prefix.begin(), prefix.end());
    Outcome outcome{testing_support::run(args, "", stop_when_serving ? "http://reqwiz-" : ""), 0};
    outcome.temp_files_left = FilesIn(temp.path());
    unsetenv("TMPDIR");
    return outcome;
}

std::string Notice(const char* message) {
    return "Aviso: " + platform::Latin1ToUtf8(message) + "\n";
}

class StartupProgram : public ::testing::Test {
  protected:
    TempDir dir;
};

TEST_F(StartupProgram, CommandLineFailures) {
    const std::string program = WriteProgram(dir, ProfileArchive());
    fs::create_directory(dir.file("folder"));
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"/CONFIG", dir.file("absent.xml")}, app::msg::kConfigNotFound},
        {{"/CONFIG"}, app::msg::kConfigNotFound},
        {{"/config", dir.file("folder")}, app::msg::kConfigNotFound},  // a folder is no file
        {{"/CONFIG", "/ZIP", dir.file("absent.zip")}, app::msg::kConfigNotFound},
        {{"/ZIP", dir.file("absent.zip")}, app::msg::kArchiveNotFound},
        {{"/zip"}, app::msg::kArchiveNotFound},
        {{"x", "/Zip", dir.file("folder")}, app::msg::kArchiveNotFound},
    };
    for (const Case& c : cases) {
        Outcome o = RunProgram(program, c.args);
        EXPECT_EQ(o.run.exit_code, 2) << c.args[0];
        EXPECT_EQ(o.run.err, Notice(c.message)) << c.args[0];
        EXPECT_EQ(o.temp_files_left, 0u) << c.args[0];
    }
}

TEST_F(StartupProgram, BareProgramIsNotConfigured) {
    // The packed program is the bare one's bytes with the archive behind.
    const std::string bare = app_test::ReadText(APP_TEST_BARE_PROGRAM);
    EXPECT_EQ(app_test::ReadText(APP_TEST_PACKED_PROGRAM).substr(0, bare.size()), bare);
    Outcome o = RunProgram(APP_TEST_BARE_PROGRAM, {});
    EXPECT_EQ(o.run.exit_code, 2);
    EXPECT_EQ(o.run.err, Notice(app::msg::kNotConfigured));
    EXPECT_EQ(o.temp_files_left, 0u);
    // The message is ISO-8859-1 where the locale is not UTF-8.
    o = RunProgram(APP_TEST_BARE_PROGRAM, {}, "C");
    EXPECT_EQ(o.run.err, std::string("Aviso: ") + app::msg::kNotConfigured + "\n");
}

TEST_F(StartupProgram, ProfileFailures) {
    struct Case {
        const char* what;
        std::string archive;
        int exit_code;
        const char* message;
    } cases[] = {
        {"library that does not load", ProfileArchive({{"REQ_DLL.DLL", "not a library"}}), 2,
         app::msg::kLibraryNotLoaded},
        {"library without Valida_Campos",
         ProfileArchive({{"REQ_DLL.DLL", app_test::ReadText(APP_TEST_VALIDA_WITHOUT_ENTRY)}}), 2,
         app::msg::kEntryPointMissing},
        {"archive that is not a ZIP", "this is no archive", 2, app::msg::kArchiveNotZip},
        {"one byte of archive", "P", 2, app::msg::kArchiveNotZip},
        {"no config.xml", app_test::ZipBytes({{"index.htm", "<html></html>"}}), 2,
         app::msg::kConfigMissingInArchive},
        {"config.xml not well-formed", app_test::ZipBytes({{"config.xml", "<FIELDS><A></FIELDS>"}}),
         2, app::msg::kConfigNotXml},
        // 33 MiB that pack into a few kilobytes: refused unread.
        {"config.xml over 32 MiB",
         app_test::ZipBytes(
             {{"config.xml", "<FIELDS>" + std::string(33u << 20, ' ') + "</FIELDS>"}}),
         2, app::msg::kArchiveEntryTooLarge},
        {"window size not decimal",
         app_test::ZipBytes(
             {{"config.xml", "<FIELDS><WINDOW WIDTH=\"64O\" HEIGHT=\"515\"/></FIELDS>"}}),
         2, app::msg::kWindowSizeInvalid},
    };
    for (const Case& c : cases) {
        Outcome o = RunProgram(WriteProgram(dir, c.archive), {});
        EXPECT_EQ(o.run.exit_code, c.exit_code) << c.what;
        EXPECT_EQ(o.run.err, Notice(c.message)) << c.what;
        EXPECT_EQ(o.temp_files_left, 0u) << c.what;
    }
}

TEST_F(StartupProgram, ConfigurationNamedOnTheCommandLineMustBeXml) {
    testing_support::write_file(dir.file("broken.xml"), Bytes("<FIELDS"));
    Outcome o =
        RunProgram(WriteProgram(dir, ProfileArchive()), {"/CONFIG", dir.file("broken.xml")});
    EXPECT_EQ(o.run.exit_code, 2);
    EXPECT_EQ(o.run.err, Notice(app::msg::kConfigNotXml));
}

TEST_F(StartupProgram, UnreadableProgramFile) {
    // A program file that may be run but not read. Root reads any file, so
    // as root the program runs as the unprivileged user "nobody".
    std::vector<std::string> prefix;
    if (geteuid() == 0) {
        if (!platform::FileExists("/usr/bin/setpriv"))
            GTEST_SKIP() << "running as root without setpriv";
        prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    const std::string program = WriteProgram(dir, ProfileArchive());
    chmod(program.c_str(), 0111);
    chmod(dir.path().c_str(), 0711);
    Outcome o = RunProgram(program, {}, "C.UTF-8", prefix);
    chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(o.run.exit_code, 1) << o.run.err;
    EXPECT_EQ(o.run.err, Notice(app::msg::kProgramUnreadable));
    EXPECT_EQ(o.temp_files_left, 0u);
}

// The process holds the password and the key: it is not dumpable, so no
// core file is written and no other process of the same user may read its
// memory. The kernel shows that by giving /proc/PID/mem to root. As root
// the program runs as "nobody", so that the owner tells.
TEST_F(StartupProgram, TheProcessIsNotDumpable) {
    if (geteuid() != 0 || !platform::FileExists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs root and setpriv";
    testing_support::write_file(dir.file("campos.txt"), Bytes("DN_O=ACME\n"));
    chmod(dir.path().c_str(), 0755);
    chmod(dir.file("campos.txt").c_str(), 0644);
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, input[1]);
    std::vector<std::string> argv = {"/usr/bin/setpriv",
                                     "--reuid=65534",
                                     "--regid=65534",
                                     "--clear-groups",
                                     APP_TEST_PACKED_PROGRAM,
                                     "generate",
                                     "--data",
                                     dir.file("campos.txt"),
                                     "--key",
                                     dir.file("k"),
                                     "--req",
                                     dir.file("r")};
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    // Until it runs the program as "nobody", the spawned process is this
    // test's own (root's). Once the program waits for the password (asleep,
    // in the program), its memory must be root's.
    const std::string proc = "/proc/" + std::to_string(pid);
    bool waiting = false;
    for (int i = 0; i < 500 && !waiting; ++i) {
        std::error_code error;
        const std::string exe = fs::read_symlink(proc + "/exe", error).string();
        const std::string stat_line = app_test::ReadText(proc + "/stat");
        const size_t state = stat_line.rfind(')');
        waiting = exe == fs::canonical(APP_TEST_PACKED_PROGRAM).string() &&
                  state != std::string::npos && stat_line.compare(state, 3, ") S") == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    struct stat mem {};
    const bool root_owned = waiting && stat((proc + "/mem").c_str(), &mem) == 0 && mem.st_uid == 0;
    close(input[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    chmod(dir.path().c_str(), 0700);
    EXPECT_TRUE(waiting);
    EXPECT_TRUE(root_owned);
}

TEST_F(StartupProgram, SuccessfulStartsLeaveNothingBehind) {
    const std::string program = WriteProgram(
        dir, ProfileArchive({{"REQ_DLL.DLL", app_test::ReadText(APP_TEST_VALIDA_RECORDER)}}));
    app_test::WriteProfileArchive(dir.file("other.zip"));
    const std::vector<std::vector<std::string>> runs = {
        {},
        {"-ZIP", dir.file("absent.zip")},  // only the slash makes a switch
        {"/ZIP=" + dir.file("other.zip")},
        {"/zIp", dir.file("other.zip")},
    };
    for (const auto& args : runs) {
        Outcome o = RunProgram(program, args, "C.UTF-8", {}, true);
        EXPECT_EQ(o.run.exit_code, 0) << o.run.err;
        EXPECT_EQ(o.run.err, "");
        EXPECT_EQ(o.run.out.rfind("http://reqwiz-", 0), 0u) << o.run.out;
        EXPECT_EQ(o.temp_files_left, 0u);
    }
    Outcome o = RunProgram(APP_TEST_PACKED_PROGRAM, {}, "C.UTF-8", {}, true);
    EXPECT_EQ(o.run.exit_code, 0) << o.run.err;
    EXPECT_EQ(o.temp_files_left, 0u);
}

// In process: what a successful start sets up, and the rows that cannot be
// provoked from outside.
class StartupWindow : public ::testing::Test {
  protected:
    void SetUp() override { setenv("TMPDIR", temp.path().c_str(), 1); }
    void TearDown() override { unsetenv("TMPDIR"); }
    TempDir temp;
    TempDir dir;
    platform::MessageLoop loop;
};

TEST_F(StartupWindow, UnreadableProgramFile) {
    app::Tfrm_req window(loop, {dir.file("no-such-program"), 10});
    auto failure = window.FormCreate({});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, app::msg::kProgramUnreadable);
    EXPECT_EQ(failure->exit_code, 1);
    window.FormDestroy();
    EXPECT_EQ(FilesIn(temp.path()), 0u);
}

TEST_F(StartupWindow, AppendedArchiveIsCopiedAndRemovedAtTheEnd) {
    const std::string archive =
        ProfileArchive({{"REQ_DLL.DLL", app_test::ReadText(APP_TEST_VALIDA_RECORDER)}});
    testing_support::write_file(dir.file("prog"), Bytes(std::string(1000, 'P') + archive));
    app::Tfrm_req window(loop, {dir.file("prog"), 1000});
    ASSERT_FALSE(window.FormCreate({}));
    EXPECT_TRUE(window.ArchiveIsTemporary);
    EXPECT_TRUE(window.ValidationLoaded);
    EXPECT_NE(window.Valida_Campos, nullptr);
    EXPECT_EQ(app_test::ReadText(window.ArchivePath), archive);
    EXPECT_EQ(fs::path(window.ArchivePath).parent_path(), fs::path(temp.path()));
    EXPECT_EQ(fs::path(window.ArchivePath).filename().string().substr(0, 4), "HTML");
    EXPECT_TRUE(platform::FileExists(window.ValidationLibPath));
    EXPECT_EQ(FilesIn(temp.path()), 2u);
    window.FormDestroy();
    EXPECT_EQ(FilesIn(temp.path()), 0u);
}

TEST_F(StartupWindow, LaterSwitchOverridesEarlierOne) {
    app_test::WriteProfileArchive(dir.file("p.zip"));
    app_test::WriteProfileArchive(dir.file("q.zip"));
    app::Tfrm_req window(loop, {dir.file("no-such-program"), 10});
    ASSERT_FALSE(window.FormCreate({"/ZIP", dir.file("p.zip"), "/ZIP", dir.file("q.zip")}));
    EXPECT_EQ(window.ArchivePath, dir.file("q.zip"));
}

TEST_F(StartupWindow, ProfileSettings) {
    app_test::WriteProfileArchive(dir.file("p.zip"));
    {
        app::Tfrm_req window(loop, {dir.file("no-such-program"), 10});
        ASSERT_FALSE(window.FormCreate({"/ZIP", dir.file("p.zip")}));
        EXPECT_FALSE(window.ArchiveIsTemporary);
        EXPECT_EQ(window.ArchivePath, dir.file("p.zip"));
        EXPECT_FALSE(window.ValidationLoaded);
        EXPECT_EQ(FilesIn(temp.path()), 0u);  // nothing copied
        EXPECT_EQ(window.Caption, "Requerimiento");
        EXPECT_EQ(window.Width, 700);
        EXPECT_EQ(window.Height, 515);
        EXPECT_EQ(
            window.DataFields.Lines(),
            (std::vector<std::string>{"DN_C=MX", "EA_CHALLENGE=CAMPANAS1987", "SIZE_KEY=2048"}));
        EXPECT_EQ(window.KeyFields.Lines(), (std::vector<std::string>{"SIZE_KEY=2048"}));
        window.FormDestroy();
        EXPECT_TRUE(platform::FileExists(dir.file("p.zip")));  // not ours to delete
    }
    // /CONFIG replaces config.xml, which need not even be in the archive; a
    // WINDOW with one size only leaves the default size.
    app_test::WriteZip(dir.file("bare.zip"), {{"index.htm", "x"}, {"REQ_DLL.DLL", ""}});
    testing_support::write_file(
        dir.file("c.xml"),
        Bytes("<FIELDS><WINDOW WIDTH=\"800\"/><DN_O DEFAULT=\"ACME\"/></FIELDS>"));
    app::Tfrm_req window(loop, {dir.file("no-such-program"), 10});
    ASSERT_FALSE(window.FormCreate({"/CONFIG", dir.file("c.xml"), "/ZIP", dir.file("bare.zip")}));
    EXPECT_FALSE(window.ValidationLoaded);  // an empty REQ_DLL.DLL is no library
    EXPECT_EQ(window.Width, 648);
    EXPECT_EQ(window.Height, 480);
    EXPECT_EQ(window.DataFields.Value("DN_O"), "ACME");
}

TEST_F(StartupWindow, ExactlyTheBareSizeMeansNoArchive) {
    testing_support::write_file(dir.file("prog"), Bytes(std::string(100, 'P')));
    for (uint64_t bare : {100u, 99u}) {
        app::Tfrm_req window(loop, {dir.file("prog"), bare});
        auto failure = window.FormCreate({});
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->message,
                  bare == 100 ? app::msg::kNotConfigured : app::msg::kArchiveNotZip);
        EXPECT_EQ(failure->exit_code, 2);
    }
    EXPECT_EQ(FilesIn(temp.path()), 0u);
}

// The program as built serves its own data page with Mexico selected.
TEST_F(StartupWindow, PackedProgramServesItsDataPage) {
    app::Tfrm_req window(loop, {APP_TEST_PACKED_PROGRAM, fs::file_size(APP_TEST_BARE_PROGRAM)});
    ASSERT_FALSE(window.FormCreate({}));
    app_test::FakeViewer viewer;
    window.AttachViewer(&viewer);
    window.FormShow();
    ASSERT_EQ(viewer.loads, (std::vector<std::string>{"INDEX.HTM"}));
    std::string page;
    for (const std::string& line : window.StringsRequest("INDEX.HTM"))
        page += line + "\n";
    EXPECT_NE(page.find("value=\"MX\" SELECTED"), std::string::npos);
    EXPECT_EQ(page.find("value=\"AR\" SELECTED"), std::string::npos);
    EXPECT_EQ(page.find("#SELECTED_DN_C"), std::string::npos);
    EXPECT_FALSE(window.ImageRequest("Images/pixel.gif").empty());
}

// A page whose bytes no longer match their checksum is told at start-up,
// not served as an empty page when the user gets to it; the program's copy
// of its archive is removed.
TEST_F(StartupWindow, ADamagedPageEndsTheStart) {
    std::string archive =
        app_test::ZipBytes({{"config.xml", "<FIELDS/>", true},
                            {"index.htm", "<html>datos</html>", true},
                            {"Page2.htm", "<html>pagina de llaves</html>", true}});
    const size_t at = archive.find("pagina de llaves");
    ASSERT_NE(at, std::string::npos);
    archive[at] = 'P';
    testing_support::write_file(dir.file("p.zip"), Bytes(archive));
    app::Tfrm_req window(loop, {dir.file("no-such-program"), 10});
    auto failure = window.FormCreate({"/ZIP", dir.file("p.zip")});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, app::msg::kArchiveDamaged);
    EXPECT_EQ(failure->exit_code, 2);

    Outcome o = RunProgram(WriteProgram(dir, archive), {});
    EXPECT_EQ(o.run.exit_code, 2);
    EXPECT_EQ(o.run.err, Notice(app::msg::kArchiveDamaged));
    EXPECT_EQ(o.temp_files_left, 0u);
}

// The profile archive cut every few hundred bytes and with one bit flipped
// in every stretch of 97 bytes: the start either fails with its message or
// serves both form pages whole; no temporary file is left either way.
TEST_F(StartupWindow, ADamagedArchiveFailsTheStartOrServesEveryPage) {
    app_test::WriteProfileArchive(dir.file("p.zip"));
    const std::string archive = app_test::ReadText(dir.file("p.zip"));
    std::vector<std::pair<std::string, std::string>> damaged;
    for (size_t cut = 0; cut < archive.size(); cut += 300)
        damaged.push_back({"cut at " + std::to_string(cut), archive.substr(0, cut)});
    for (size_t at = 0; at < archive.size(); at += 97) {
        std::string flipped = archive;
        flipped[at] = static_cast<char>(flipped[at] ^ (1 << (at % 8)));
        damaged.push_back({"bit flipped at " + std::to_string(at), flipped});
    }
    size_t started = 0;
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        testing_support::write_file(dir.file("d.zip"), Bytes(bytes));
        app::Tfrm_req window(loop, {dir.file("no-such-program"), 10});
        auto failure = window.FormCreate({"/ZIP", dir.file("d.zip")});
        if (failure) {
            EXPECT_FALSE(failure->message.empty());
            EXPECT_EQ(failure->exit_code, 2);
        } else {
            // Each form page is whole, or, when the damage renamed its entry,
            // missing (served empty, as any missing page is); never present
            // and unreadable.
            ++started;
            app::Archive archive;
            ASSERT_TRUE(archive.Open(dir.file("d.zip")));
            for (const char* page : {"index.htm", "Page2.htm"}) {
                std::string text;
                const app::Archive::Result got = archive.Extract(page, text);
                EXPECT_NE(got, app::Archive::Result::Damaged) << page;
                if (got == app::Archive::Result::Extracted) {
                    EXPECT_FALSE(window.StringsRequest(page).empty()) << page;
                }
            }
        }
        window.FormDestroy();
        EXPECT_EQ(FilesIn(temp.path()), 0u);
    }
    EXPECT_GT(started, 0u);
}

// The temporary folder refuses writes: the program's archive cannot be
// copied out, which is said (exit code 1), and nothing is left.
TEST_F(StartupWindow, AnUnwritableTemporaryFolderEndsTheStart) {
    testing_support::TmpfsMount disk;
    std::string why;
    if (!disk.Mount(temp.path(), 64 << 10, why))
        GTEST_SKIP() << why;
    ASSERT_TRUE(disk.MakeReadOnly(why)) << why;
    app::Tfrm_req window(loop, {APP_TEST_PACKED_PROGRAM, fs::file_size(APP_TEST_BARE_PROGRAM)});
    auto failure = window.FormCreate({});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, app::msg::kTempFileFailed);
    EXPECT_EQ(failure->exit_code, 1);
    window.FormDestroy();
    disk.Unmount();
    EXPECT_EQ(FilesIn(temp.path()), 0u);
}

}  // namespace
