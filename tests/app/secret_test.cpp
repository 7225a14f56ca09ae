// The access password leaves no copy behind: every heap block that is freed
// while the test watches is searched for the password's bytes, from the key
// page's submission through validation, the hand-over and the generation job
// to the window's end. (The replacement operator new and delete below serve
// this whole test program.)
#include <malloc.h>
#include <string.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>

#include "app/Unit_main.h"
#include "platform/wipe.h"
#include "tests/app/fixture.h"

namespace {

// Long enough that no string keeps it inside its own object: every copy of
// it lives on the heap, where the watch below sees it freed.
constexpr char kPassword[] = "ClaveSecreta2026Larga";

std::atomic<bool> watching{false};
std::atomic<int> blocks_with_password{0};

// A function of its own, to break on in a debugger when the test fails.
[[gnu::noinline]] void PasswordFound() {
    blocks_with_password.fetch_add(1);
}

void Inspect(void* block) {
    if (block == nullptr || !watching.load(std::memory_order_relaxed))
        return;
    if (memmem(block, malloc_usable_size(block), kPassword, sizeof kPassword - 1) != nullptr)
        PasswordFound();
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

    watching = true;
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
    window.reset();
    watching = false;
    unsetenv("TMPDIR");

    EXPECT_EQ(blocks_with_password.load(), 0);
}

}  // namespace
