#include "tests/app/fixture.h"

#include <zip.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "cli/profile_zip.h"

namespace app_test {

void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (archive == nullptr)
        throw std::runtime_error("cannot create " + path);
    for (const ZipEntry& e : entries) {
        zip_int64_t index = -1;
        if (!e.name.empty() && e.name.back() == '/') {
            index = zip_dir_add(archive, e.name.c_str(), ZIP_FL_ENC_RAW);
        } else {
            zip_source_t* src = zip_source_buffer(archive, e.content.data(), e.content.size(), 0);
            index = zip_file_add(archive, e.name.c_str(), src, ZIP_FL_ENC_RAW);
            if (index >= 0 && e.stored)
                zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE,
                                         0);
        }
        if (index < 0) {
            zip_discard(archive);
            throw std::runtime_error("cannot add " + e.name);
        }
    }
    if (zip_close(archive) != 0)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ZipBytes(const std::vector<ZipEntry>& entries) {
    testing_support::TempDir dir;
    WriteZip(dir.file("a.zip"), entries);
    return ReadText(dir.file("a.zip"));
}

void WriteProfileArchive(const std::string& path, const std::vector<ZipEntry>& extra) {
    std::string error;
    if (!cli::WriteProfileZip(APP_TEST_PROFILE_DIR, path, error))
        throw std::runtime_error(error);
    if (extra.empty())
        return;
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), 0, &code);
    if (archive == nullptr)
        throw std::runtime_error("cannot reopen " + path);
    for (const ZipEntry& e : extra) {
        zip_source_t* src = zip_source_buffer(archive, e.content.data(), e.content.size(), 0);
        if (zip_file_add(archive, e.name.c_str(), src, ZIP_FL_ENC_RAW) < 0) {
            zip_discard(archive);
            throw std::runtime_error("cannot add " + e.name);
        }
    }
    if (zip_close(archive) != 0)
        throw std::runtime_error("cannot write " + path);
}

void FakeViewer::SetControls(const std::vector<std::string>& names,
                             const std::vector<std::string>& hidden) {
    controls.clear();
    for (const std::string& n : names) {
        bool is_hidden = false;
        for (const std::string& h : hidden)
            is_hidden = is_hidden || h == n;
        controls.push_back({n, !is_hidden});
    }
}

void FakeViewer::StartCollection(uint32_t events_needed) {
    ++collections_started;
    collection_needs.push_back(events_needed);
    if (input_loop == nullptr)
        return;
    for (uint32_t i = 0; i < collection_input; ++i) {
        platform::InputMessage move;
        move.kind = platform::InputMessage::MouseMove;
        move.x = static_cast<int32_t>(100 + i % 640);
        move.y = static_cast<int32_t>(50 + (i * 7) % 480);
        move.time_ms = 1000000 + 16 * i;
        input_loop->PostInput(move);
    }
}

void FakeViewer::ShowControl(size_t index) {
    if (index < controls.size()) {
        controls[index].visible = true;
        shown.push_back(controls[index].name);
    }
}

void FakeViewer::FocusControl(size_t index) {
    if (index < controls.size())
        focused.push_back(controls[index].name);
}

void FakeViewer::SetControlText(size_t index, const std::string& text) {
    if (index < controls.size())
        control_texts[controls[index].name] = text;
}

}  // namespace app_test
