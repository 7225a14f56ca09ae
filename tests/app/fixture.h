// What the wizard tests share: ZIP archives made on the spot, the small test
// profile packed into an archive, and a scripted page viewer that records
// everything the window asks of it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/message_loop.h"
#include "platform/page_viewer.h"
#include "tests/support/process.h"

namespace app_test {

struct ZipEntry {
    std::string name;     // "Images/pixel.gif"; a name ending in "/" is a directory
    std::string content;  // ignored for directories
    bool stored = false;  // stored rather than deflated
};

// Writes a ZIP archive holding `entries`, in order, to `path`.
void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries);

// The ZIP bytes of `entries`.
std::string ZipBytes(const std::vector<ZipEntry>& entries);

// The test profile (tests/app/profile) packed as the build packs data/, plus
// `extra` entries; written to `path`.
void WriteProfileArchive(const std::string& path, const std::vector<ZipEntry>& extra = {});

std::string ReadText(const std::string& path);

class FakeViewer : public platform::PageViewer {
  public:
    struct Box {
        std::string title;
        std::string text;
        platform::MessageIcon icon;
    };
    struct SaveCall {
        std::string filter;
        std::string extension;
        std::string initial;
    };

    // Script.
    std::vector<platform::FormControlInfo> controls;
    std::optional<std::string> save_answer;
    bool yes_answer = true;
    // When set, showing the collection overlay posts `collection_input` mouse
    // moves to this loop (positions and times vary from one to the next), as
    // a user moving the mouse over it would.
    platform::MessageLoop* input_loop = nullptr;
    uint32_t collection_input = 0;
    // When set, a message box or question keeps input_loop's queue moving
    // while it is shown, as a real modal dialog's nested loop does: whatever
    // the page sent meanwhile (the second click of a double click) is
    // dispatched inside it.
    bool modal_boxes = false;

    // Record.
    std::vector<std::string> loads;
    std::vector<Box> boxes;
    std::vector<std::string> focused;  // names of the controls given the focus
    std::vector<std::string> shown;    // names of the controls made visible
    std::map<std::string, std::string> control_texts;
    std::vector<SaveCall> saves;
    bool closed = false;
    platform::Cursor cursor = platform::Cursor::Default;
    std::vector<platform::Cursor> cursors;
    int collections_started = 0;
    std::vector<uint32_t> collection_needs;  // the events each collection asked for
    int collections_stopped = 0;
    std::vector<int> progress;  // every bar position shown
    // The request and key paths of every final page's band, in order.
    std::vector<std::pair<std::string, std::string>> result_files;

    // Sets the controls of a page by name; names in `hidden` are not visible.
    void SetControls(const std::vector<std::string>& names,
                     const std::vector<std::string>& hidden = {});

    void Load(const std::string& name) override { loads.push_back(name); }
    void MessageBox(const std::string& title, const std::string& text,
                    platform::MessageIcon icon) override {
        boxes.push_back({title, text, icon});
        RunModalStep();
    }
    bool AskYesNo(const std::string& title, const std::string& text,
                  platform::MessageIcon icon) override {
        boxes.push_back({title, text, icon});
        RunModalStep();
        return yes_answer;
    }
    void RunModalStep() {
        if (modal_boxes && input_loop != nullptr)
            input_loop->ProcessMessages();
    }
    std::vector<platform::FormControlInfo> FormControls() override { return controls; }
    void ShowControl(size_t index) override;
    void FocusControl(size_t index) override;
    void SetControlText(size_t index, const std::string& text) override;
    std::optional<std::string> SaveFileDialog(const std::string& filter,
                                              const std::string& extension,
                                              const std::string& initial) override {
        saves.push_back({filter, extension, initial});
        return save_answer;
    }
    void SetCursor(platform::Cursor c) override {
        cursor = c;
        cursors.push_back(c);
    }
    void StartCollection(uint32_t events_needed) override;
    void SetCollectionProgress(int percent) override { progress.push_back(percent); }
    void StopCollection() override { ++collections_stopped; }
    void ShowResultFiles(const std::string& request_path, const std::string& key_path) override {
        result_files.push_back({request_path, key_path});
    }
    void Close() override { closed = true; }
};

}  // namespace app_test
