// Randomness and generation on the window's side: the input hook, the mouse
// collection, the pool hand-over, the generation job (components, attributes,
// alternative names, files, failures) and the hand-over from the key page to
// the final page, driven through a scripted viewer.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "app/Unit_main.h"
#include "app/Unit_mousedata.h"
#include "app/Unit_tthread_genreq.h"
#include "app/file_names.h"
#include "app/messages.h"
#include "platform/file_commit.h"
#include "tests/app/fixture.h"
#include "tests/request/openssl_reader.h"
#include "tests/support/mount.h"

namespace {

namespace fs = std::filesystem;
using app::FieldList;
using app::TThread_GenReq;
using platform::InputMessage;
using testing_support::TempDir;

InputMessage Input(InputMessage::Kind kind, int32_t x, int32_t y, uint32_t key, uint32_t time) {
    InputMessage m;
    m.kind = kind;
    m.x = x;
    m.y = y;
    m.key = key;
    m.time_ms = time;
    return m;
}

RandomPool FedPool(const std::vector<uint32_t>& values) {
    RandomPool pool;
    rand_init(&pool);
    for (uint32_t v : values)
        app::FeedValue(pool, v);
    return pool;
}

// Pools that will give the same bytes: the output block counts only for
// the bytes still to hand out (initialising leaves the old block in place).
bool SamePool(const RandomPool& a, const RandomPool& b) {
    return a.bytes_needed == b.bytes_needed && a.output_available == b.output_available &&
           std::memcmp(a.state, b.state, sizeof a.state) == 0 &&
           std::memcmp(a.output + 16 - a.output_available, b.output + 16 - b.output_available,
                       a.output_available) == 0;
}

RandomPool SeededPool(uint32_t salt = 0) {
    std::vector<uint32_t> values;
    for (uint32_t i = 0; i < 64; ++i)
        values.push_back(i * 2654435761u + salt);
    return FedPool(values);
}

std::string Span(const ByteSpan& span) {
    return span.data == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(span.data), span.length);
}

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// The DER element at the start of `bytes` (tag, length, contents).
std::string OuterDer(const std::string& bytes) {
    if (bytes.size() < 2)
        return {};
    size_t length = static_cast<uint8_t>(bytes[1]), header = 2;
    if (length & 0x80) {
        const size_t count = length & 0x7F;
        length = 0;
        for (size_t i = 0; i < count; ++i)
            length = (length << 8) | static_cast<uint8_t>(bytes[2 + i]);
        header += count;
    }
    return bytes.substr(0, std::min(bytes.size(), header + length));
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------------------
// Small pieces

TEST(FileNames, DefaultExtensionOnlyWhenTheFileNameHasNoFullStop) {
    const std::pair<const char*, const char*> cases[] = {
        {"clave", "clave.key"},
        {"/home/ana/clave", "/home/ana/clave.key"},
        {"/home/ana/clave.", "/home/ana/clave."},
        {"/home/ana/clave.bin", "/home/ana/clave.bin"},
        {"/home/ana.d/clave", "/home/ana.d/clave.key"},
        {"C:\\datos.v1\\clave", "C:\\datos.v1\\clave.key"},
        {"c:clave", "c:clave.key"},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(app::WithDefaultExtension(name, ".key"), expected) << name;
}

TEST(FileNames, SameFileSeesThroughDotsAndLinks) {
    TempDir dir;
    fs::create_directory(dir.file("sub"));
    fs::create_directory_symlink(dir.file("sub"), dir.file("enlace"));
    EXPECT_TRUE(app::SameFile(dir.file("a.x"), dir.file("sub/../a.x")));
    EXPECT_TRUE(app::SameFile(dir.file("sub/a.x"), dir.file("enlace/a.x")));
    EXPECT_FALSE(app::SameFile(dir.file("a.key"), dir.file("a.req")));
}

TEST(ReplaceAll, ReplacesEveryOccurrenceOnce) {
    struct Case {
        std::string text, find, replacement, expected;
    } cases[] = {
        {"10.0.0.1", ".", "\r\n", "10\r\n0\r\n0\r\n1"},
        {"..", ".", "\r\n", "\r\n\r\n"},
        {"abc", "x", "y", "abc"},
        {"aaa", "a", "aa", "aaaaaa"},  // a replacement is not searched again
        {"abab", "ab", "", ""},
        {"abc", "", "z", "abc"},
    };
    for (Case c : cases) {
        TThread_GenReq::ReplaceAll(c.text, c.find, c.replacement);
        EXPECT_EQ(c.text, c.expected) << c.find;
    }
}

TEST(InputParam, PositionOrKeyCodeAsTheMessageParameter) {
    EXPECT_EQ(app::InputParam(Input(InputMessage::MouseMove, 10, 20, 0, 0)), 10u | (20u << 16));
    EXPECT_EQ(app::InputParam(Input(InputMessage::ButtonUp, -1, 70000, 0, 0)),
              0xFFFFu | ((70000u & 0xFFFF) << 16));
    EXPECT_EQ(app::InputParam(Input(InputMessage::KeyDown, 5, 5, 0x141, 0)), 1u | (0x41u << 16));
}

// ---------------------------------------------------------------------------
// Pool hand-over

TEST(SeedAndCopyPool, SeedsAnUnseededPoolAndCopiesIt) {
    RandomPool window = FedPool({1, 2, 3}), job;
    rand_init(&job);
    ASSERT_TRUE(app::SeedAndCopyPool(window, job));
    uint32_t needed = 1;
    rand_bytes_needed(&needed, &window);
    EXPECT_EQ(needed, 0u);
    EXPECT_TRUE(SamePool(window, job));
}

TEST(SeedAndCopyPool, SeededPoolStillGetsSystemBytesBeforeTheCopy) {
    const RandomPool before = SeededPool();
    RandomPool window = before, job, other = before, other_job;
    ASSERT_TRUE(app::SeedAndCopyPool(window, job));
    ASSERT_TRUE(app::SeedAndCopyPool(other, other_job));
    EXPECT_TRUE(SamePool(window, job));
    EXPECT_FALSE(SamePool(window, before));
    // The same user input gives different keys from one run to the next.
    EXPECT_FALSE(SamePool(job, other_job));
}

// ---------------------------------------------------------------------------
// The collector

// Records the bar position with the number of events behind it.
class ProgressSpy : public app_test::FakeViewer {
  public:
    const app::TMouseData* collector = nullptr;
    std::vector<std::pair<uint32_t, int>> steps;
    void SetCollectionProgress(int percent) override {
        steps.push_back({collector->Events, percent});
    }
};

TEST(TMouseData, RecordsNeededEventsAndMovesTheBar) {
    for (uint32_t needed : {500u, 100u}) {
        platform::MessageLoop loop;
        ProgressSpy viewer;
        viewer.input_loop = &loop;
        viewer.collection_input = needed + 10;
        int before = 0;
        loop.SetHook([&before](const InputMessage&) { ++before; });

        app::TMouseData collector(loop, &viewer);
        EXPECT_EQ(collector.Needed, 100u);
        viewer.collector = &collector;
        collector.Needed = needed;
        ASSERT_TRUE(collector.Do_MouseData());

        EXPECT_EQ(collector.Events, needed);
        ASSERT_EQ(collector.GetCount(), 2 * needed);
        EXPECT_EQ(collector.GetDatos(0), 100u | (50u << 16));
        EXPECT_EQ(collector.GetDatos(1), 1000000u);
        EXPECT_EQ(collector.GetDatos(3), 1000016u);
        EXPECT_EQ(viewer.collections_started, 1);
        EXPECT_EQ(viewer.collection_needs, std::vector<uint32_t>{needed});
        EXPECT_EQ(viewer.collections_stopped, 1);

        // The bar starts at 0 and takes every position once, at the event
        // where Events * 100 / Needed reaches it.
        ASSERT_EQ(viewer.steps.size(), 101u);
        for (int percent = 0; percent <= 100; ++percent) {
            EXPECT_EQ(viewer.steps[percent].second, percent);
            EXPECT_EQ(viewer.steps[percent].first, (percent * needed + 99) / 100) << percent;
        }
        if (needed == 500) {
            EXPECT_EQ(viewer.steps[1].first, 5u);
            EXPECT_EQ(viewer.steps[99].first, 495u);
            EXPECT_EQ(viewer.steps[100].first, 500u);
        }

        // The events after the last one needed go to the hook in place
        // before, which is back.
        EXPECT_EQ(before, 0);
        loop.ProcessMessages();
        EXPECT_EQ(before, 10);
    }
}

// A viewer that runs a step of the test when the overlay comes up.
class ScriptedViewer : public app_test::FakeViewer {
  public:
    std::function<void()> on_collection;
    std::function<void(platform::Cursor)> on_cursor;
    void StartCollection(uint32_t events_needed) override {
        FakeViewer::StartCollection(events_needed);
        if (on_collection)
            on_collection();
    }
    void SetCursor(platform::Cursor c) override {
        FakeViewer::SetCursor(c);
        if (on_cursor)
            on_cursor(c);
    }
};

TEST(TMouseData, EndsWhenTheProgramEnds) {
    platform::MessageLoop loop;
    ScriptedViewer viewer;
    viewer.input_loop = &loop;
    viewer.collection_input = 3;
    viewer.on_collection = [&loop] { loop.Post([&loop] { loop.Quit(0); }); };
    int outer = 0;
    loop.SetHook([&outer](const InputMessage&) { ++outer; });

    app::TMouseData collector(loop, &viewer);
    EXPECT_FALSE(collector.Do_MouseData());
    EXPECT_EQ(collector.Events, 3u);
    EXPECT_EQ(collector.GetCount(), 6u);
    EXPECT_EQ(viewer.collections_stopped, 1);
    const platform::InputHook back = loop.SetHook({});
    ASSERT_TRUE(back);
    back(Input(InputMessage::MouseMove, 1, 1, 0, 1));
    EXPECT_EQ(outer, 1);  // the hook in place before is back
}

// ---------------------------------------------------------------------------
// The job, with the delivered configuration

class Job : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config.Parse(app_test::ReadText(APP_TEST_SHIPPED_DIR "/config.xml")));
        data = FieldList({"DN_O=Tarsel", "DN_CN_1=maria", "DN_CN_2=l\xF3pez",
                          "DN_CN_3=", "DN_STREET_1=Reforma", "DN_STREET_2=222", "DN_STREET_3=4",
                          "DN_STREET_4=centro", "DN_POSTALCODE=ab12", "DN_C=MX",
                          "DN_E=Ana@Example.COM", "EA_CHALLENGE=CAMPANAS1987", "Image2.x=3"});
        keys = FieldList({"PWD=abcd1234", "PWD2=abcd1234", "KEY=" + dir.file("k.key"),
                          "REQ=" + dir.file("r.req"), "SIZE_KEY=508"});
    }

    // Runs the job on its own thread with a seeded pool.
    app::GenerationResult Run(uint32_t salt = 0) {
        TThread_GenReq job(config, data, keys);
        job.Pool = SeededPool(salt);
        bool ended = false;
        EXPECT_TRUE(job.Start([&ended] { ended = true; }));
        job.WaitFor();
        EXPECT_TRUE(ended);
        return job.Result();
    }

    std::string Request() { return app_test::ReadText(dir.file("r.req")); }

    app::ConfigDocument config;
    FieldList data, keys;
    TempDir dir;
};

TEST_F(Job, ComponentsFromFieldsAndParts) {
    TThread_GenReq job(config, data, keys);
    for (uint32_t i = 0; i < 15; ++i) {
        static const char* names[] = {"DN_O",          "DN_OU", "DN_CN", "DN_T",     "DN_STREET",
                                      "DN_PostalCode", "DN_C",  "DN_S",  "DN_L",     "DN_UID",
                                      "DN_SN",         "DN_E",  "DN_BC", "DN_Phone", "DN_Fax"};
        job.FillComponent(i, names[i]);
    }
    EXPECT_EQ(Span(job.Components[0]), "Tarsel");  // no CASE for DN_O
    EXPECT_EQ(Span(job.Components[2]), "MARIA L\xD3PEZ ");
    EXPECT_EQ(Span(job.Components[4]), "REFORMA 222 4. CENTRO");
    // The element is spelled DN_POSTALCODE: it does not apply.
    EXPECT_EQ(Span(job.Components[5]), "ab12");
    EXPECT_EQ(Span(job.Components[11]), "ana@example.com");
    EXPECT_EQ(job.Components[1].data, nullptr);
    EXPECT_EQ(job.Components[9].data, nullptr);

    // Converted values are written back under the job's spelling.
    EXPECT_EQ(data.Value("DN_CN_1"), "MARIA");
    EXPECT_EQ(data.Value("DN_CN_2"), "L\xD3PEZ");
    EXPECT_EQ(data.Line(data.IndexOfName("dn_e")), "DN_E=ana@example.com");
    EXPECT_EQ(data.Value("DN_POSTALCODE"), "ab12");

    // Without the third part, its separator goes with it.
    data.SetValue("DN_STREET_3", "");
    job.FillComponent(4, "DN_STREET");
    EXPECT_EQ(Span(job.Components[4]), "REFORMA 222 CENTRO");

    // A field of the plain name wins over its parts; parts past 5 are never
    // read.
    data.SetValue("DN_CN", "ana ruiz");
    job.FillComponent(2, "DN_CN");
    EXPECT_EQ(Span(job.Components[2]), "ana ruiz");
    data = FieldList({"DN_UID_1=ab", "DN_UID_6=zz", "DN_UID_3=c1"});
    job.FillComponent(9, "DN_UID");
    EXPECT_EQ(Span(job.Components[9]), "ABC1");
}

TEST_F(Job, FieldFormatAndTextMark) {
    TThread_GenReq job(config, data, keys);
    int letter_case = -1;
    std::string separator = "x";
    job.GetFieldFormat("DN_STREET_3", letter_case, separator);
    EXPECT_EQ(letter_case, 0);
    EXPECT_EQ(separator, ". ");
    job.GetFieldFormat("DN_E", letter_case, separator);
    EXPECT_EQ(letter_case, 1);
    EXPECT_EQ(separator, "");
    job.GetFieldFormat("DN_O", letter_case, separator);
    EXPECT_EQ(letter_case, 2);
    job.GetFieldFormat("dn_e", letter_case, separator);  // tag names match exactly
    EXPECT_EQ(letter_case, 2);

    bool present = false;
    std::string text;
    job.GetTextFileMark(present, text);
    EXPECT_TRUE(present);
    EXPECT_EQ(text, "VERSION1.1");
    app::ConfigDocument without;
    ASSERT_TRUE(without.Parse("<FIELDS><TXT_FILE/></FIELDS>"));
    TThread_GenReq other(without, data, keys);
    other.GetTextFileMark(present, text);
    EXPECT_TRUE(present);
    EXPECT_EQ(text, "");
    ASSERT_TRUE(without.Parse("<FIELDS/>"));
    other.GetTextFileMark(present, text);
    EXPECT_FALSE(present);
}

TEST_F(Job, WritesKeyAndRequestWithTrailer) {
    const app::GenerationResult result = Run();
    ASSERT_TRUE(result.completed) << result.message;

    const std::string key = app_test::ReadText(dir.file("k.key"));
    EXPECT_EQ(OuterDer(key), key);
    struct stat info {};
    ASSERT_EQ(stat(dir.file("k.key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const std::string request = Request();
    const std::string der = OuterDer(request);
    ASSERT_GT(der.size(), 100u);
    EXPECT_EQ(request.substr(der.size()), "VERSION1.1" + data.Text());
    EXPECT_TRUE(Contains(data.Text(), "DN_CN_1=MARIA\r\nDN_CN_2=L\xD3PEZ\r\n"));
    EXPECT_TRUE(Contains(data.Text(), "Image2.x=3\r\n"));
    EXPECT_TRUE(Contains(der, "MARIA L\xD3PEZ "));
    EXPECT_TRUE(Contains(der, "CAMPANAS1987"));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"k.key", "r.req"}));

    // The password and its confirmation are gone from the key page's list.
    EXPECT_EQ(keys.Value("PWD"), "");
    EXPECT_EQ(keys.Value("PWD2"), "");
    EXPECT_EQ(keys.Line(0), "PWD=");

    // Without a TXT_FILE element the file is the request alone.
    ASSERT_TRUE(config.Parse("<FIELDS><DN_O CASE=\"LOWER\"/></FIELDS>"));
    keys.SetValue("PWD", "abcd1234");
    ASSERT_TRUE(Run().completed);
    EXPECT_EQ(OuterDer(Request()), Request());
    EXPECT_TRUE(Contains(Request(), "tarsel"));
}

TEST_F(Job, SamePoolSameFilesAndExistingFilesAreReplaced) {
    fs::create_directory(dir.file("otra"));
    ASSERT_TRUE(Run(7).completed);
    const std::string key = app_test::ReadText(dir.file("k.key"));
    const std::string request = Request();

    keys = FieldList({"PWD=abcd1234", "KEY=" + dir.file("otra/k.key"),
                      "REQ=" + dir.file("otra/r.req"), "SIZE_KEY=508"});
    ASSERT_TRUE(Run(7).completed);
    EXPECT_EQ(app_test::ReadText(dir.file("otra/k.key")), key);
    EXPECT_EQ(app_test::ReadText(dir.file("otra/r.req")), request);

    keys.SetValue("PWD", "abcd1234");
    ASSERT_TRUE(Run(8).completed);
    EXPECT_NE(app_test::ReadText(dir.file("otra/k.key")), key);
    EXPECT_EQ(FilesIn(dir.file("otra")), (std::vector<std::string>{"k.key", "r.req"}));
}

TEST_F(Job, AttributeNumberAndIpAddressBytes) {
    struct Case {
        std::map<std::string, std::string> fields;
        std::string expected;  // bytes the request must hold
    } cases[] = {
        {{{"EA_SUBJECT_ALT_NAME_IP", "10.0.0.1"}}, std::string("\x87\x04\x0A\x00\x00\x01", 6)},
        {{{"EA_SUBJECT_ALT_NAME_IP", "10.0.1"}}, std::string("\x87\x04\x0A\x00\x01\x00", 6)},
        {{{"EA_SUBJECT_ALT_NAME_IP", "300.1.1.1"}}, std::string("\x87\x04\x2C\x01\x01\x01", 6)},
        {{{"EA_SUBJECT_ALT_NAME_IP", "10.0.0.1."}}, std::string("\x87\x04\x0A\x00\x00\x01", 6)},
        {{{"EA_SUBJECT_ALT_NAME_EMAIL", "a@b.mx"}, {"EA_SUBJECT_ALT_NAME_DOMAIN", "b.mx"}},
         std::string("\x30\x0E\x82\x04"
                     "b.mx\x81\x06"
                     "a@b.mx",
                     16)},
        {{{"EA_ATTR", "1"}}, std::string("\x13\x04\x00\x00\x00\x01", 6)},
        {{{"EA_ATTR", "-1"}}, std::string("\x13\x04\xFF\xFF\xFF\xFF", 6)},
    };
    for (const Case& c : cases) {
        SetUp();
        for (const auto& [name, value] : c.fields)
            data.SetValue(name, value);
        const app::GenerationResult result = Run();
        ASSERT_TRUE(result.completed) << result.message;
        EXPECT_TRUE(Contains(OuterDer(Request()), c.expected)) << c.fields.begin()->second;
    }
}

TEST_F(Job, AFailedStepLeavesNoFileAndSaysWhy) {
    struct Case {
        std::string field;  // "KEY"/"REQ"/"SIZE_KEY" are key-page fields
        std::string value;
        std::string message;
    } cases[] = {
        {"EA_SUBJECT_ALT_NAME_IP", "10.x.0.1", app::msg::kIpAddressInvalid},
        {"EA_SUBJECT_ALT_NAME_IP", "1.2.3.4.5", app::msg::kIpAddressInvalid},
        {"EA_SUBJECT_ALT_NAME_IP", "10..0.1", app::msg::kIpAddressInvalid},
        {"EA_ATTR", "uno", app::msg::kAttrInvalid},
        {"EA_ATTR", "99999999999", app::msg::kAttrInvalid},
        {"SIZE_KEY", "2048x", app::msg::kKeySizeInvalid},
        {"SIZE_KEY", "", app::msg::kKeySizeInvalid},
        {"SIZE_KEY", "4096", app::msg::kKeySizeOutOfRange},
        {"SIZE_KEY", "507", app::msg::kKeySizeOutOfRange},
        {"KEY", "/no/existe/k.key", app::msg::kFileWriteFailed},
        {"REQ", "/no/existe/r.req", app::msg::kFileWriteFailed},
        {"REQ", "carpeta", app::msg::kFileWriteFailed},  // a folder of that name
    };
    fs::create_directory(dir.file("carpeta"));
    for (const Case& c : cases) {
        SetUp();
        const bool key_page = c.field == "KEY" || c.field == "REQ" || c.field == "SIZE_KEY";
        const std::string value = c.value == "carpeta" ? dir.file("carpeta") : c.value;
        if (key_page)
            keys = FieldList({"PWD=abcd1234", "PWD2=abcd1234",
                              c.field == "KEY" ? "KEY=" + value : "KEY=" + dir.file("k.key"),
                              c.field == "REQ" ? "REQ=" + value : "REQ=" + dir.file("r.req"),
                              c.field == "SIZE_KEY" ? "SIZE_KEY=" + value : "SIZE_KEY=508"});
        else
            data.SetValue(c.field, value);
        const app::GenerationResult result = Run();
        EXPECT_FALSE(result.completed) << c.value;
        EXPECT_EQ(result.message.rfind(c.message, 0), 0u) << result.message;
        EXPECT_TRUE(Contains(result.message, app::msg::kNothingWritten));
        EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"carpeta"})) << c.value;
        EXPECT_TRUE(fs::is_empty(dir.file("carpeta")));
        EXPECT_EQ(keys.Value("PWD"), "") << c.value;
    }

    // An unseeded pool: key generation refuses.
    SetUp();
    TThread_GenReq job(config, data, keys);
    rand_init(&job.Pool);
    job.Execute();
    EXPECT_FALSE(job.Result().completed);
    EXPECT_EQ(job.Result().message.rfind(app::msg::kKeyGenerationFailed, 0), 0u);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"carpeta"}));
}

// Faults of the disk while the job writes: the disk full in the middle of
// either file, the second rename refused (both through the file commit's
// system calls), and a real read-only disk. Each ends the job with the
// message that names the file, leaves no file of its own behind, and keeps
// the older files of those names as they were.
namespace injected {
size_t failing_file = 0;
size_t room = 0;  // bytes of the failing file that still fit
bool rename_fails = false;
size_t renames = 0;

ssize_t Write(size_t file, int fd, const void* data, size_t size) {
    if (rename_fails || file != failing_file)
        return ::write(fd, data, size);
    if (room == 0) {
        errno = ENOSPC;
        return -1;
    }
    const ssize_t n = ::write(fd, data, std::min(size, room));
    if (n > 0)
        room -= static_cast<size_t>(n);
    return n;
}

int Rename(const char* from, const char* to) {
    if (rename_fails && renames++ == failing_file) {
        errno = EIO;
        return -1;
    }
    return ::rename(from, to);
}
}  // namespace injected

TEST_F(Job, DiskFaultsNameTheFileAndChangeNothing) {
    struct Case {
        const char* what;
        size_t file;
        size_t room;
        bool rename_fails;
    } cases[] = {
        {"disk full in the middle of the key file", 0, 150, false},
        {"disk full in the middle of the request", 1, 300, false},
        {"the request's rename refused", 1, 0, true},
    };
    const platform::CommitSystemCalls saved = platform::CommitSystemCallsForTesting();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        testing_support::write_file(dir.file("k.key"), {'v', 'i', 'e', 'j', 'a'});
        testing_support::write_file(dir.file("r.req"), {'v', 'i', 'e', 'j', 'a'});
        injected::failing_file = c.file;
        injected::room = c.room;
        injected::rename_fails = c.rename_fails;
        injected::renames = 0;
        platform::CommitSystemCallsForTesting() = {injected::Write, injected::Rename};
        const app::GenerationResult result = Run();
        platform::CommitSystemCallsForTesting() = saved;
        EXPECT_FALSE(result.completed);
        EXPECT_EQ(result.message, app::msg::kFileWriteFailed +
                                      dir.file(c.file == 0 ? "k.key" : "r.req") + "." +
                                      app::msg::kNothingWritten);
        EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"k.key", "r.req"}));
        EXPECT_EQ(app_test::ReadText(dir.file("k.key")), "vieja");
        EXPECT_EQ(app_test::ReadText(dir.file("r.req")), "vieja");
        EXPECT_EQ(keys.Value("PWD"), "");
    }

    // A disk mounted read-only.
    SetUp();
    fs::create_directory(dir.file("disco"));
    testing_support::TmpfsMount disk;
    std::string why;
    if (!disk.Mount(dir.file("disco"), 64 << 10, why))
        GTEST_SKIP() << why;
    testing_support::write_file(dir.file("disco/k.key"), {'v', 'i', 'e', 'j', 'a'});
    ASSERT_TRUE(disk.MakeReadOnly(why)) << why;
    keys = FieldList({"PWD=abcd1234", "PWD2=abcd1234", "KEY=" + dir.file("disco/k.key"),
                      "REQ=" + dir.file("disco/r.req"), "SIZE_KEY=508"});
    const app::GenerationResult result = Run();
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(result.message, app::msg::kFileWriteFailed + dir.file("disco/k.key") + "." +
                                  app::msg::kNothingWritten);
    EXPECT_EQ(FilesIn(dir.file("disco")), (std::vector<std::string>{"k.key"}));
    EXPECT_EQ(app_test::ReadText(dir.file("disco/k.key")), "vieja");
}

// ---------------------------------------------------------------------------
// The hand-over, through the window

const std::vector<std::string> kKeyControls = {"PWD",     "PWD2",     "KEY",   "BTN_KEY", "REQ",
                                               "BTN_REQ", "SIZE_KEY", "Image", "Image2",  "Image3"};

class HandOver : public ::testing::Test {
  protected:
    void SetUp() override { setenv("TMPDIR", temp.path().c_str(), 1); }
    void TearDown() override {
        window.reset();
        unsetenv("TMPDIR");
    }

    void Start(const std::string& config_xml = "") {
        app_test::WriteProfileArchive(dir.file("profile.zip"));
        std::vector<std::string> args = {"/ZIP", dir.file("profile.zip")};
        if (!config_xml.empty()) {
            testing_support::write_file(temp.file("config.xml"),
                                        std::vector<uint8_t>(config_xml.begin(), config_xml.end()));
            args.insert(args.end(), {"/CONFIG", temp.file("config.xml")});
        }
        window = std::make_unique<app::Tfrm_req>(loop, app::ProgramImage{dir.file("none"), 1});
        ASSERT_FALSE(window->FormCreate(args));
        window->AttachViewer(&viewer);
        window->FormShow();
        viewer.input_loop = &loop;
        viewer.collection_input = 500;
        window->ObjectClick(viewer, "Image2", "2");
        Submit("VALIDA_1", {"DN_O=ACME", "DN_CN_1=Juan", "DN_POSTALCODE=12345", "DN_C=MX"});
        ASSERT_EQ(viewer.loads.back(), "Page2.htm") << Boxes();
        viewer.SetControls(kKeyControls);
        viewer.loads.clear();
        window->ObjectClick(viewer, "Image2", "3");
    }
    void Submit(const std::string& action, const std::vector<std::string>& lines) {
        window->FormSubmit(viewer, action, "", "x-www-form-encoded", "POST", lines);
    }
    void SubmitKeyPage(const std::string& key, const std::string& req) {
        Submit("VALIDA_2", {"PWD=abcd1234", "PWD2=abcd1234", "KEY=" + key, "REQ=" + req,
                            "SIZE_KEY=1024", "Image2.x=3", "Image2.y=4"});
    }
    void FinishGeneration() {
        ASSERT_TRUE(loop.RunModal([this] { return !window->GenerationRunning(); }));
    }
    std::string Boxes() const {
        std::string all;
        for (const auto& box : viewer.boxes)
            all += box.text + "|";
        return all;
    }

    TempDir temp, dir;
    platform::MessageLoop loop;
    ScriptedViewer viewer;
    std::unique_ptr<app::Tfrm_req> window;
};

TEST_F(HandOver, InputHookFeedsTheTimeFirstThenEveryEvent) {
    // The calendar time is read when the first message arrives: run until
    // the second did not change meanwhile.
    for (int attempt = 0; attempt < 3; ++attempt) {
        window.reset();
        Start();
        const RandomPool start = window->Pool;
        const uint32_t before = static_cast<uint32_t>(std::time(nullptr));
        for (const InputMessage& m : {Input(InputMessage::MouseMove, 10, 20, 0, 1000),
                                      Input(InputMessage::KeyDown, 0, 0, 65, 5000),
                                      Input(InputMessage::ButtonDown, 1, 2, 0, 7000),
                                      Input(InputMessage::ButtonUp, 1, 2, 0, 7100),
                                      Input(InputMessage::KeyDown, 0, 0, 66, 9000),
                                      Input(InputMessage::ButtonDown, 1, 2, 0, 3)})
            loop.PostInput(m);
        loop.ProcessMessages();
        if (static_cast<uint32_t>(std::time(nullptr)) != before)
            continue;
        RandomPool unfed;
        rand_init(&unfed);
        ASSERT_TRUE(SamePool(start, unfed));
        // Key presses and button events keep their own previous time; the
        // first of each counts from 0, and the differences wrap around.
        const RandomPool expected =
            FedPool({before, 10u | (20u << 16), 1u | (65u << 16), 5000, 1u | (2u << 16), 7000,
                     1u | (2u << 16), 100, 1u | (66u << 16), 4000, 1u | (2u << 16),
                     static_cast<uint32_t>(3 - 7100)});
        EXPECT_TRUE(SamePool(window->Pool, expected));
        return;
    }
    FAIL() << "the clock kept changing";
}

TEST_F(HandOver, FromTheKeyPageToTheFinalPage) {
    Start();
    SubmitKeyPage(dir.file("clave"), dir.file("solicitud"));
    ASSERT_TRUE(window->GenerationRunning());
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"Page3.htm"}));
    EXPECT_EQ(viewer.cursor, platform::Cursor::Wait);
    // The job owns the lists until it ends: a submission meanwhile is
    // ignored, and a form page shows no values.
    window->ObjectClick(viewer, "Image2", "2");
    Submit("VALIDA_1", {"DN_O=OTRA", "DN_CN_1=Ana", "DN_POSTALCODE=1", "DN_C=MX"});
    bool empty_value = false;
    for (const std::string& line : window->StringsRequest("index.htm"))
        empty_value = empty_value || line.find("name=\"DN_O\" value=\"\"") != std::string::npos;
    EXPECT_TRUE(empty_value);
    FinishGeneration();
    EXPECT_EQ(window->DataFields.Value("DN_O"), "ACME");

    ASSERT_EQ(viewer.boxes.size(), 1u) << Boxes();
    EXPECT_EQ(viewer.boxes[0].title, "Aviso");
    EXPECT_EQ(viewer.boxes[0].text, app::msg::kMouseMessage);
    EXPECT_EQ(viewer.boxes[0].icon, platform::MessageIcon::Warning);
    EXPECT_EQ(viewer.collections_started, 1);
    EXPECT_EQ(viewer.collection_needs, std::vector<uint32_t>{500});
    EXPECT_EQ(viewer.collections_stopped, 1);
    EXPECT_EQ(viewer.progress.back(), 100);
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"Page3.htm", "Page4.htm"}));
    EXPECT_EQ(viewer.cursors,
              (std::vector<platform::Cursor>{platform::Cursor::Wait, platform::Cursor::Wait,
                                             platform::Cursor::Default}));
    EXPECT_EQ(window->KeyFields.Value("KEY"), dir.file("clave.key"));
    EXPECT_EQ(window->KeyFields.Value("REQ"), dir.file("solicitud.req"));
    EXPECT_EQ(window->KeyFields.Value("PWD"), "");
    EXPECT_EQ(window->DataFields.Value("DN_CN_1"), "JUAN");
    EXPECT_EQ(FilesIn(dir.path()),
              (std::vector<std::string>{"clave.key", "profile.zip", "solicitud.req"}));
    // The final page is told where the two files went, as written.
    EXPECT_EQ(viewer.result_files, (std::vector<std::pair<std::string, std::string>>{
                                       {dir.file("solicitud.req"), dir.file("clave.key")}}));

    // After the collection the input hook feeds the pool again.
    const RandomPool before = window->Pool;
    loop.PostInput(Input(InputMessage::MouseMove, 3, 4, 0, 5));
    loop.ProcessMessages();
    EXPECT_FALSE(SamePool(before, window->Pool));
}

TEST_F(HandOver, MouseMessageFromTheProfileOrBuiltIn) {
    const std::string head =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><FIELDS><DN_O MANDATORY=\"TRUE\"/>";
    const std::pair<std::string, std::string> cases[] = {
        {head + "</FIELDS>", app::msg::kMouseMessage},
        {head + "<MSG_MOUSE></MSG_MOUSE></FIELDS>", app::msg::kMouseMessage},
        {head + "<MSG_MOUSE>Mueve el rat\xF3n</MSG_MOUSE></FIELDS>", "Mueve el rat\xF3n"},
    };
    for (const auto& [config, expected] : cases) {
        viewer.boxes.clear();
        Start(config);
        SubmitKeyPage(dir.file("k.key"), dir.file("r.req"));
        FinishGeneration();
        ASSERT_FALSE(viewer.boxes.empty());
        EXPECT_EQ(viewer.boxes[0].text, expected);
        fs::remove(dir.file("k.key"));
        fs::remove(dir.file("r.req"));
    }
}

TEST_F(HandOver, AFailedJobShowsWhyAndTheKeyPageAgain) {
    Start();
    window->DataFields.SetValue("EA_SUBJECT_ALT_NAME_IP", "10.x.0.1");
    SubmitKeyPage(dir.file("k"), dir.file("r"));
    FinishGeneration();
    ASSERT_EQ(viewer.boxes.size(), 2u);
    EXPECT_EQ(viewer.boxes[1].text,
              std::string(app::msg::kIpAddressInvalid) + "10.x.0.1." + app::msg::kNothingWritten);
    EXPECT_EQ(viewer.boxes[1].icon, platform::MessageIcon::Error);
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"Page3.htm", "Page2.htm"}));
    EXPECT_EQ(viewer.cursor, platform::Cursor::Default);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"profile.zip"}));
    EXPECT_TRUE(viewer.result_files.empty());
    EXPECT_EQ(window->KeyFields.Value("KEY"), dir.file("k.key"));
    EXPECT_EQ(window->DataFields.Value("DN_O"), "ACME");
    EXPECT_FALSE(window->GenerationRunning());
}

// The output folder on a disk that refuses writes, and the disk full in the
// middle of the request: the job's "Aviso" and the key page again, with the
// older file and the typed names kept.
TEST_F(HandOver, ADiskFaultShowsWhyAndTheKeyPageAgain) {
    fs::create_directory(dir.file("disco"));
    testing_support::TmpfsMount disk;
    std::string why;
    if (!disk.Mount(dir.file("disco"), 64 << 10, why))
        GTEST_SKIP() << why;
    testing_support::write_file(dir.file("disco/k.key"), {'v', 'i', 'e', 'j', 'a'});
    ASSERT_TRUE(disk.MakeReadOnly(why)) << why;
    Start();
    viewer.yes_answer = true;  // replace the older key file
    SubmitKeyPage(dir.file("disco/k.key"), dir.file("disco/r.req"));
    FinishGeneration();
    ASSERT_EQ(viewer.boxes.size(), 3u) << Boxes();  // the question, the mouse, the failure
    EXPECT_EQ(viewer.boxes[2].title, app::msg::kTitle);
    EXPECT_EQ(viewer.boxes[2].text, app::msg::kFileWriteFailed + dir.file("disco/k.key") + "." +
                                        app::msg::kNothingWritten);
    EXPECT_EQ(viewer.boxes[2].icon, platform::MessageIcon::Error);
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"Page3.htm", "Page2.htm"}));
    EXPECT_EQ(FilesIn(dir.file("disco")), (std::vector<std::string>{"k.key"}));
    EXPECT_EQ(app_test::ReadText(dir.file("disco/k.key")), "vieja");
    EXPECT_EQ(window->KeyFields.Value("KEY"), dir.file("disco/k.key"));
    EXPECT_FALSE(window->GenerationRunning());

    // Writable again, but the disk fills up in the middle of the request.
    disk.Unmount();
    viewer.boxes.clear();
    viewer.loads.clear();
    const platform::CommitSystemCalls saved = platform::CommitSystemCallsForTesting();
    injected::failing_file = 1;
    injected::room = 200;
    injected::rename_fails = false;
    platform::CommitSystemCallsForTesting() = {injected::Write, injected::Rename};
    window->ObjectClick(viewer, "Image2", "3");
    SubmitKeyPage(dir.file("k.key"), dir.file("r.req"));
    FinishGeneration();
    platform::CommitSystemCallsForTesting() = saved;
    ASSERT_EQ(viewer.boxes.size(), 2u) << Boxes();
    EXPECT_EQ(viewer.boxes[1].text,
              app::msg::kFileWriteFailed + dir.file("r.req") + "." + app::msg::kNothingWritten);
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"Page3.htm", "Page2.htm"}));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"disco", "profile.zip"}));
}

TEST_F(HandOver, TypedNameOfAnExistingFileNeedsAYes) {
    Start();
    testing_support::write_file(dir.file("k.key"), {'v', 'i', 'e', 'j', 'a'});

    // No: back on the key page, focus on the field, nothing happens.
    viewer.yes_answer = false;
    SubmitKeyPage(dir.file("k.key"), dir.file("r.req"));
    ASSERT_EQ(viewer.boxes.size(), 1u);
    EXPECT_EQ(viewer.boxes[0].text, std::string(app::msg::kReplaceFileHead) + dir.file("k.key") +
                                        app::msg::kReplaceFileTail);
    EXPECT_EQ(viewer.focused, (std::vector<std::string>{"KEY"}));
    EXPECT_EQ(viewer.collections_started, 0);
    EXPECT_FALSE(window->GenerationRunning());
    EXPECT_EQ(app_test::ReadText(dir.file("k.key")), "vieja");

    // Yes: replaced.
    viewer.yes_answer = true;
    viewer.boxes.clear();
    SubmitKeyPage(dir.file("k.key"), dir.file("r.req"));
    FinishGeneration();
    EXPECT_EQ(viewer.boxes.size(), 2u);  // the question, then the mouse message
    EXPECT_NE(app_test::ReadText(dir.file("k.key")), "vieja");

    // A name the save dialog gave (it asked itself) is not asked about again.
    viewer.boxes.clear();
    viewer.save_answer = dir.file("k.key");
    window->ObjectClick(viewer, "BTN_KEY", "BTN_KEY");
    viewer.save_answer = dir.file("r.req");
    window->ObjectClick(viewer, "BTN_REQ", "BTN_REQ");
    window->ObjectClick(viewer, "Image2", "3");
    SubmitKeyPage(dir.file("k.key"), dir.file("r.req"));
    FinishGeneration();
    ASSERT_EQ(viewer.boxes.size(), 1u) << Boxes();
    EXPECT_EQ(viewer.boxes[0].text, app::msg::kMouseMessage);
}

TEST_F(HandOver, PageNamesAreIsoLatin1AndTheDiskHoldsUtf8) {
    Start();
    // The folder "Año" as the page sends it and as the disk holds it.
    const std::string page_folder = dir.path() + "/A\xF1o";
    const std::string disk_folder = dir.path() + "/A\xC3\xB1o";
    std::filesystem::create_directory(disk_folder);
    testing_support::write_file(disk_folder + "/r.req", {'v', 'i', 'e', 'j', 'a'});
    viewer.yes_answer = true;
    SubmitKeyPage(page_folder + "/k", page_folder + "/r.req");
    FinishGeneration();
    // The existing request was seen and asked about, then both files written.
    ASSERT_EQ(viewer.boxes.size(), 2u) << Boxes();
    EXPECT_EQ(viewer.boxes[0].text, std::string(app::msg::kReplaceFileHead) + page_folder +
                                        "/r.req" + app::msg::kReplaceFileTail);
    EXPECT_EQ(viewer.loads.back(), "Page4.htm");
    EXPECT_EQ(FilesIn(disk_folder), (std::vector<std::string>{"k.key", "r.req"}));
    EXPECT_NE(app_test::ReadText(disk_folder + "/r.req"), "vieja");
}

TEST_F(HandOver, BothNamesOnOneFileAreRefused) {
    Start();
    SubmitKeyPage(dir.file("uno.dat"), dir.path() + "/./uno.dat");
    ASSERT_EQ(viewer.boxes.size(), 1u);
    EXPECT_EQ(viewer.boxes[0].text, app::msg::kSameFile);
    EXPECT_EQ(viewer.focused, (std::vector<std::string>{"REQ"}));
    EXPECT_EQ(viewer.collections_started, 0);
}

TEST_F(HandOver, ProgramEndingDuringTheCollectionStartsNothing) {
    Start();
    // The user closes the window while moving the mouse.
    viewer.collection_input = 10;
    viewer.on_collection = [this] { loop.Post([this] { window->Close(); }); };
    SubmitKeyPage(dir.file("k.key"), dir.file("r.req"));
    EXPECT_TRUE(window->closed());
    EXPECT_FALSE(window->GenerationRunning());
    EXPECT_TRUE(viewer.loads.empty());
    EXPECT_EQ(viewer.collections_stopped, 1);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"profile.zip"}));
}

TEST_F(HandOver, ADoubleClickOnContinuarStartsOneHandOver) {
    Start();
    // The second click of the double click waits in the queue behind the
    // first; the first one's message box, like a real modal dialog, keeps
    // the queue moving.
    viewer.modal_boxes = true;
    loop.Post([this] {
        window->ObjectClick(viewer, "Image2", "3");
        SubmitKeyPage(dir.file("clave"), dir.file("solicitud"));
    });
    SubmitKeyPage(dir.file("clave"), dir.file("solicitud"));
    FinishGeneration();
    loop.ProcessMessages();
    ASSERT_EQ(viewer.boxes.size(), 1u) << Boxes();
    EXPECT_EQ(viewer.boxes[0].text, app::msg::kMouseMessage);
    EXPECT_EQ(viewer.collections_started, 1);
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"Page3.htm", "Page4.htm"}));
    // The key opens with the password typed, not with an empty one.
    const std::string key = app_test::ReadText(dir.file("clave.key"));
    EXPECT_FALSE(
        openssl_reader::decrypt_key_file(dir, test_keys::Bytes(key.begin(), key.end()), "abcd1234")
            .empty());
}

TEST_F(HandOver, AValueIsoLatin1CannotHoldIsRefusedNotAltered) {
    Start();
    // "Pw1€abcdX": the viewer could only pass "Pw1?abcdX" on.
    window->FormSubmit(viewer, "VALIDA_2", "", "x-www-form-encoded", "POST",
                       {"PWD=Pw1?abcdX", "PWD2=Pw1?abcdX", "KEY=" + dir.file("k"),
                        "REQ=" + dir.file("r"), "SIZE_KEY=1024"},
                       {"PWD", "PWD2"});
    ASSERT_EQ(viewer.boxes.size(), 1u) << Boxes();
    EXPECT_EQ(viewer.boxes[0].text, app::msg::NotLatin1("PWD"));
    EXPECT_EQ(viewer.boxes[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(viewer.focused, (std::vector<std::string>{"PWD"}));
    EXPECT_EQ(viewer.collections_started, 0);
    EXPECT_TRUE(viewer.loads.empty());
    EXPECT_EQ(window->KeyFields.Value("PWD"), "");
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"profile.zip"}));
}

TEST_F(HandOver, TheCollectedValuesReachTheWindowsPool) {
    Start();
    RandomPool expected{}, fed{};
    bool captured = false;
    viewer.on_collection = [&] { expected = window->Pool; };
    // The wait cursor comes right after the collected values were fed, and
    // before the hand-over tops the pool up.
    viewer.on_cursor = [&](platform::Cursor c) {
        if (c == platform::Cursor::Wait && !captured) {
            fed = window->Pool;
            captured = true;
        }
    };
    SubmitKeyPage(dir.file("k"), dir.file("r"));
    FinishGeneration();
    ASSERT_TRUE(captured);
    // The fake viewer's 500 moves, two values each: position, then time.
    for (uint32_t i = 0; i < 500; ++i) {
        const uint32_t x = 100 + i % 640, y = 50 + (i * 7) % 480;
        app::FeedValue(expected, x | (y << 16));
        app::FeedValue(expected, 1000000 + 16 * i);
    }
    EXPECT_TRUE(SamePool(fed, expected));
}

}  // namespace
