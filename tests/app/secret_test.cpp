// The access password and the private key leave no copy behind: every heap
// block that is freed while the test watches is searched for the password's
// bytes and for the key's secret numbers, from the key page's submission
// through validation, the hand-over and the generation job to the window's
// end, and the same for `reqwiz generate`. When the job ends, its own
// private-key record and key-file area must be zero and the stack its
// thread ran on must hold none of those bytes either. (The replacement
// operator new and delete below serve this whole test program.)
#include <malloc.h>
#include <pthread.h>
#include <string.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>

#include "app/Unit_main.h"
#include "app/Unit_tthread_genreq.h"
#include "cli/generate_command.h"
#include "crypto/common/mem.h"
#include "crypto/rsa/rsa_key.h"
#include "crypto/rsa/rsa_keygen.h"
#include "platform/wipe.h"
#include "tests/app/fixture.h"

namespace {

// Long enough that no string keeps it inside its own object: every copy of
// it lives on the heap, where the watch below sees it freed.
constexpr char kPassword[] = "ClaveSecreta2026Larga";

std::atomic<bool> watching{false};
std::atomic<int> blocks_with_password{0};
std::atomic<int> blocks_with_secret{0};

// A secret as searched for: a stretch of its bytes. The numbers of the key
// are searched in both byte orders, as the records hold them (most
// significant first) and as the arithmetic holds them (32-bit digits, least
// significant first). Kept in static storage, so that the searching leaves
// no copy of its own.
struct Needle {
    uint8_t bytes[16];
    size_t length = 0;
};
constexpr size_t kMostNeedles = 16;
Needle needles[kMostNeedles];
std::atomic<size_t> needle_count{0};

void AddNeedle(const uint8_t* bytes, size_t length) {
    const size_t at = needle_count.load();
    if (at >= kMostNeedles || length > sizeof needles[at].bytes)
        return;
    for (size_t i = 0; i < length; ++i)
        needles[at].bytes[i] = bytes[i];
    needles[at].length = length;
    needle_count.store(at + 1);
}

// Twelve bytes from the middle of a number's significant part, as stored and
// reversed: enough to be the number's alone, and inside it for the numbers
// next to it (p - 1 carries p's middle bytes too).
void AddNumber(const uint8_t* number, size_t size) {
    size_t first = 0;
    while (first < size && number[first] == 0)
        ++first;
    if (size - first < 24)
        return;
    const uint8_t* middle = number + first + (size - first) / 2 - 6;
    uint8_t reversed[12];
    for (size_t i = 0; i < 12; ++i)
        reversed[i] = middle[11 - i];
    AddNeedle(middle, 12);
    AddNeedle(reversed, 12);
}

void KeyMade(const RsaPrivateKey& key) {
    AddNumber(key.prime1, sizeof key.prime1);
    AddNumber(key.prime2, sizeof key.prime2);
    AddNumber(key.private_exponent, sizeof key.private_exponent);
    AddNumber(key.exponent1, sizeof key.exponent1);
    AddNumber(key.exponent2, sizeof key.exponent2);
    AddNumber(key.coefficient, sizeof key.coefficient);
}

// Whether [from, to) holds any needle (the password's first twelve bytes
// are needle 0 from the start). Byte by byte, unsanitized: the memory below
// a stack pointer is read on purpose.
__attribute__((no_sanitize("address"), noinline)) int NeedlesIn(const volatile uint8_t* from,
                                                                const volatile uint8_t* to) {
    int found = 0;
    const size_t count = needle_count.load();
    for (const volatile uint8_t* p = from; p + 16 <= to; ++p) {
        for (size_t n = 0; n < count; ++n) {
            size_t i = 0;
            while (i < needles[n].length && p[i] == needles[n].bytes[i])
                ++i;
            if (i == needles[n].length) {
                ++found;
                break;
            }
        }
    }
    return found;
}

// Functions of their own, to break on in a debugger when the test fails.
[[gnu::noinline]] void PasswordFound() {
    blocks_with_password.fetch_add(1);
}
[[gnu::noinline]] void SecretFound() {
    blocks_with_secret.fetch_add(1);
}

void Inspect(void* block) {
    if (block == nullptr || !watching.load(std::memory_order_relaxed))
        return;
    const size_t size = malloc_usable_size(block);
    if (memmem(block, size, kPassword, sizeof kPassword - 1) != nullptr)
        PasswordFound();
    auto* bytes = static_cast<const uint8_t*>(block);
    if (NeedlesIn(bytes, bytes + size) > 0)
        SecretFound();
}

// What the end of the job showed: its own records not zero, and the
// secrets still found on the stack below the job's frames.
struct JobEnd {
    bool record_zero = false;
    bool area_zero = false;
    bool pool_zero = false;
    bool password_gone = false;
    int on_stack = -1;
};
JobEnd job_end;

bool AllZero(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

// The stack of the calling thread below `frame`, down to 4 MiB (the job's
// steps need far less) or the stack's end.
int NeedlesBelow(const uint8_t* frame) {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0)
        return -1;
    void* low = nullptr;
    size_t size = 0;
    pthread_attr_getstack(&attributes, &low, &size);
    pthread_attr_destroy(&attributes);
    const uint8_t* from = static_cast<const uint8_t*>(low);
    if (frame - from > (4 << 20))
        from = frame - (4 << 20);
    return NeedlesIn(from, frame - 512);
}

__attribute__((noinline)) void JobFinished(const RsaPrivateKey& key, const uint8_t* key_area,
                                           size_t key_area_size, const RandomPool& pool,
                                           const app::FieldList& key_fields) {
    job_end.record_zero = AllZero(reinterpret_cast<const uint8_t*>(&key), sizeof key);
    job_end.area_zero = AllZero(key_area, key_area_size);
    job_end.pool_zero = AllZero(reinterpret_cast<const uint8_t*>(&pool), sizeof pool);
    job_end.password_gone = key_fields.Value("PWD").empty() && key_fields.Value("PWD2").empty();
    job_end.on_stack = NeedlesBelow(static_cast<const uint8_t*>(__builtin_frame_address(0)));
}

struct KeyPairRecords {
    RsaPublicKey public_key;
    RsaPrivateKey private_key;
};

// Watches the next generation: the password is needle 0, the key's numbers
// follow once they exist.
void StartWatching() {
    needle_count.store(0);
    AddNeedle(reinterpret_cast<const uint8_t*>(kPassword), 12);
    job_end = JobEnd{};
    blocks_with_password = 0;
    blocks_with_secret = 0;
    app::TThread_GenReq::ObserverForTesting = {KeyMade, JobFinished};
    watching = true;
}

void StopWatching() {
    watching = false;
    app::TThread_GenReq::ObserverForTesting = {};
}

}  // namespace

void* operator new(size_t size) {
    if (void* block = std::malloc(size == 0 ? 1 : size))
        return block;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept {
    Inspect(block);
    std::free(block);
}
void operator delete[](void* block) noexcept {
    Inspect(block);
    std::free(block);
}
void operator delete(void* block, size_t) noexcept {
    Inspect(block);
    std::free(block);
}
void operator delete[](void* block, size_t) noexcept {
    Inspect(block);
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    Inspect(block);
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    Inspect(block);
    std::free(block);
}

namespace {

using testing_support::TempDir;

TEST(Secrets, NoFreedBlockHoldsThePasswordAfterAGeneration) {
    TempDir temp, dir;
    setenv("TMPDIR", temp.path().c_str(), 1);
    app_test::WriteProfileArchive(dir.file("profile.zip"));
    platform::MessageLoop loop;
    app_test::FakeViewer viewer;
    viewer.input_loop = &loop;
    viewer.collection_input = 500;
    auto window = std::make_unique<app::Tfrm_req>(loop, app::ProgramImage{dir.file("none"), 1});
    ASSERT_FALSE(window->FormCreate({"/ZIP", dir.file("profile.zip")}));
    window->AttachViewer(&viewer);
    window->FormShow();
    window->ObjectClick(viewer, "Image2", "2");
    window->FormSubmit(viewer, "VALIDA_1", "", "", "POST",
                       {"DN_O=ACME", "DN_CN_1=Juan", "DN_POSTALCODE=12345", "DN_C=MX"});
    ASSERT_EQ(viewer.loads.back(), "Page2.htm");
    viewer.SetControls({"PWD", "PWD2", "KEY", "REQ", "SIZE_KEY", "Image2"});

    // The page's lines, as the viewer hands them over; the viewer wipes its
    // own copy afterwards, as this test does below.
    std::vector<std::string> lines;
    for (const char* name : {"PWD=", "PWD2="}) {
        lines.emplace_back(name);
        lines.back().append(kPassword);
    }
    for (const std::string& line :
         {"KEY=" + dir.file("clave"), "REQ=" + dir.file("solicitud"), std::string("SIZE_KEY=1024")})
        lines.push_back(line);

    StartWatching();
    // A first attempt that fails validation (confirmation differs), back to
    // the data page and forth, then the real one.
    std::vector<std::string> mismatch = lines;
    mismatch[1] = "PWD2=otra";
    window->ObjectClick(viewer, "Image2", "3");
    window->FormSubmit(viewer, "VALIDA_2", "", "", "POST", mismatch);
    platform::WipeLines(mismatch);
    window->ObjectClick(viewer, "Image2", "1");
    window->FormSubmit(viewer, "VALIDA_2", "", "", "POST", lines);
    window->ObjectClick(viewer, "Image2", "3");
    window->FormSubmit(viewer, "VALIDA_2", "", "", "POST", lines);
    ASSERT_TRUE(window->GenerationRunning());
    ASSERT_TRUE(loop.RunModal([&] { return !window->GenerationRunning(); }));
    EXPECT_EQ(viewer.loads.back(), "Page4.htm");
    EXPECT_TRUE(std::filesystem::exists(dir.file("clave.key")));
    EXPECT_EQ(window->KeyFields.Value("PWD"), "");
    platform::WipeLines(lines);
    // The window's pool no longer gives the job's key.
    RandomPool after = window->Pool;
    static KeyPairRecords again;
    const RsaKeySpec spec{1024, 1};
    ASSERT_EQ(rsa_generate_key_pair(&again.public_key, &again.private_key, &spec, &after),
              STATUS_OK);
    const size_t needles_of_the_job = needle_count.load();
    KeyMade(again.private_key);
    bool same_key = false;
    for (size_t n = 1; n < needles_of_the_job; ++n)
        same_key = same_key || memcmp(needles[n].bytes, needles[needles_of_the_job].bytes,
                                      needles[n].length) == 0;
    needle_count.store(needles_of_the_job);
    mem_wipe(again);
    mem_wipe(after);
    EXPECT_FALSE(same_key);
    window.reset();
    StopWatching();
    unsetenv("TMPDIR");

    EXPECT_EQ(blocks_with_password.load(), 0);
    EXPECT_EQ(blocks_with_secret.load(), 0);
    EXPECT_EQ(needle_count.load(), 13u);  // the password and six numbers
    EXPECT_TRUE(job_end.record_zero);
    EXPECT_TRUE(job_end.area_zero);
    EXPECT_TRUE(job_end.pool_zero);
    EXPECT_TRUE(job_end.password_gone);
    EXPECT_EQ(job_end.on_stack, 0);
}

// `reqwiz generate`, in process: the password arrives on standard input.
TEST(Secrets, NothingOfThePasswordOrTheKeyIsLeftAfterGenerate) {
    TempDir temp, dir;
    setenv("TMPDIR", temp.path().c_str(), 1);
    app_test::WriteProfileArchive(dir.file("profile.zip"));
    testing_support::write_file(
        dir.file("campos.txt"),
        {'D', 'N', '_', 'O', '=', 'A', 'C',  'M', 'E', '\n', 'D', 'N', '_', 'C', 'N', '_',
         '1', '=', 'J', 'u', 'a', 'n', '\n', 'D', 'N', '_',  'C', '=', 'M', 'X', '\n'});
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    static const char kLine[] = "ClaveSecreta2026Larga\n";
    static_assert(sizeof kLine == sizeof kPassword + 1);
    ASSERT_EQ(write(pipe_ends[1], kLine, sizeof kLine - 1), static_cast<ssize_t>(sizeof kLine - 1));
    close(pipe_ends[1]);
    const int saved_stdin = dup(STDIN_FILENO);
    dup2(pipe_ends[0], STDIN_FILENO);
    close(pipe_ends[0]);

    const std::string key = dir.file("clave"), request = dir.file("solicitud"),
                      data = dir.file("campos.txt"), zip = dir.file("profile.zip");
    std::vector<std::string> words = {"--data", data,     "--key", key,     "--req",
                                      request,  "--size", "1024",  "--zip", zip};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    StartWatching();
    const int code = cli::RunGenerate(static_cast<int>(words.size()), argv.data());
    StopWatching();
    // What the command's own frames left on this thread's stack.
    const int on_main_stack = NeedlesBelow(static_cast<const uint8_t*>(__builtin_frame_address(0)));
    // The buffer the C library read standard input into (still allocated).
    const int in_input_buffer =
        stdin->_IO_buf_base == nullptr
            ? 0
            : NeedlesIn(reinterpret_cast<const uint8_t*>(stdin->_IO_buf_base),
                        reinterpret_cast<const uint8_t*>(stdin->_IO_buf_end));
    dup2(saved_stdin, STDIN_FILENO);
    close(saved_stdin);
    unsetenv("TMPDIR");

    EXPECT_EQ(code, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("clave.key")));
    EXPECT_EQ(blocks_with_password.load(), 0);
    EXPECT_EQ(blocks_with_secret.load(), 0);
    EXPECT_EQ(needle_count.load(), 13u);
    EXPECT_TRUE(job_end.record_zero);
    EXPECT_TRUE(job_end.area_zero);
    EXPECT_TRUE(job_end.pool_zero);
    EXPECT_TRUE(job_end.password_gone);
    EXPECT_EQ(job_end.on_stack, 0);
    EXPECT_EQ(on_main_stack, 0);
    EXPECT_EQ(in_input_buffer, 0);
}

}  // namespace
