// Tfrm_req: the wizard window. It owns the profile (data archive, parsed
// configuration, optional validation library), the two field lists and the
// temporary files; it answers the page viewer's requests for pages and
// images from the archive, expanding the two form pages from the field
// lists, and it stores, validates and answers the submitted forms by moving
// between the pages.
//
// After a valid key page the window hands over to generation: the mouse
// collection (TMouseData), the waiting page, and the generation job
// (TThread_GenReq) on a worker thread, whose end brings the final page, or
// the key page again with a message when the job failed. From start-up on an
// input hook feeds every mouse movement, button event and key press into the
// window's random pool.
//
// Everything here runs on the window thread, except the job. The window talks
// to the viewer only through platform::PageViewer.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Unit_tthread_genreq.h"
#include "app/archive.h"
#include "app/config_lookup.h"
#include "app/field_list.h"
#include "app/page_rules.h"
#include "app/template_filter.h"
#include "crypto/rsa/rand.h"
#include "platform/message_loop.h"
#include "platform/module.h"
#include "platform/page_viewer.h"
#include "platform/temp_file.h"

namespace app {

// A start-up that cannot go on: the message to show (titled "Aviso", error
// icon) and the code the process ends with.
struct StartupFailure {
    std::string message;
    int exit_code = 2;
};

// Where the program's own archive is: the program file, and the size of the
// program without the archive appended (the build records it).
struct ProgramImage {
    std::string path;
    uint64_t bare_size = 0;
};

// The codes the page buttons report through their onClick text: Regresar
// (back to the data page), Continuar on the data page, Continuar on the key
// page, Cerrar/Salir.
enum ButtonCodes : int {
    kButtonBack = 1,
    kButtonDataPageNext = 2,
    kButtonKeyPageNext = 3,
    kButtonClose = 4,
};

class Tfrm_req : public platform::PageViewerEvents {
  public:
    Tfrm_req(platform::MessageLoop& loop, ProgramImage program);
    ~Tfrm_req() override;
    Tfrm_req(const Tfrm_req&) = delete;
    Tfrm_req& operator=(const Tfrm_req&) = delete;

    // Start-up: reads the switches /CONFIG and /ZIP from `args` (the command
    // line without the program name), finds and opens the data archive (the
    // /ZIP file, or a temporary copy of the archive appended to the program),
    // loads REQ_DLL.DLL when the archive carries one, parses the
    // configuration, sizes the window and loads the field defaults. Returns
    // the failure that ends the program, or nothing when the window can open.
    // Whatever it returns, every temporary file made so far is removed when
    // the window is destroyed.
    std::optional<StartupFailure> FormCreate(const std::vector<std::string>& args);

    // The viewer that shows this window's pages.
    void AttachViewer(platform::PageViewer* viewer) { HTMLViewer = viewer; }

    // Shows the data page.
    void FormShow();

    // Releases the profile: lists, document, library, temporary files. Runs
    // once; the destructor calls it when nobody did.
    void FormDestroy();

    // Closes the window, which ends the program with code 0. When a
    // generation job is running it waits for the job to end first.
    void Close();
    bool closed() const { return closed_; }

    // Viewer events.
    const std::vector<std::string>& StringsRequest(const std::string& name) override {
        return HTMLViewerStringsRequest(name);
    }
    const std::vector<uint8_t>& ImageRequest(const std::string& name) override {
        return HTMLViewerImageRequest(name);
    }
    void ObjectClick(platform::PageViewer& viewer, const std::string& control_name,
                     const std::string& on_click) override {
        HTMLViewerObjectClick(viewer, control_name, on_click);
    }
    void FormSubmit(platform::PageViewer& viewer, const std::string& action,
                    const std::string& target, const std::string& enctype,
                    const std::string& method, const std::vector<std::string>& lines,
                    const std::vector<std::string>& not_latin1 = {}) override {
        HTMLViewerFormSubmit(viewer, action, target, enctype, method, lines, not_latin1);
    }
    bool HotSpotTargetClick(const std::string& target, const std::string& url) override {
        return HTMLViewerHotSpotTargetClick(target, url);
    }

    const std::vector<std::string>& HTMLViewerStringsRequest(const std::string& name);
    const std::vector<uint8_t>& HTMLViewerImageRequest(const std::string& name);
    bool HTMLViewerHotSpotTargetClick(const std::string& target, const std::string& url);
    void HTMLViewerObjectClick(platform::PageViewer& viewer, const std::string& control_name,
                               const std::string& on_click);
    // Stores, validates and answers a submission. While a submission is being
    // answered (its message boxes and the hand-over run nested loops that
    // dispatch whatever the page sends meanwhile) and while the job runs,
    // another submission starts nothing: a double click on a button counts
    // once. Cerrar still closes (after the job). A submission with a value
    // ISO-8859-1 cannot hold is refused with a message, focus on that field.
    void HTMLViewerFormSubmit(platform::PageViewer& viewer, const std::string& action,
                              const std::string& target, const std::string& enctype,
                              const std::string& method, const std::vector<std::string>& lines,
                              const std::vector<std::string>& not_latin1 = {});

    // Checks the submitted data-page lines in order against the profile
    // (mandatory, allowed characters) and the validation library, which may
    // rewrite the lines of `lines`. On the first failure shows its message
    // and focuses the field; false.
    bool ValidateDataPage(std::vector<std::string>& lines);

    // Checks the key page: password rules, then the two file names. On the
    // first failure shows its message and focuses the field; false.
    bool ValidateKeyPage(const std::vector<std::string>& lines);

    // A control of the page that reported the last click, by name in any
    // letter case: its index in the viewer's control list and whether it is
    // visible. Nothing when there is no such control or no click yet.
    struct FoundControl {
        size_t index = 0;
        bool visible = true;
    };
    std::optional<FoundControl> FindFormControl(const std::string& name) const;

    void ShowDataPage();
    void ShowKeyPage();

    // The hand-over to generation after a valid key page. The file names
    // are trimmed and get ".key" / ".req" when their file-name part has no
    // full stop; the two names must differ, and a file that exists under a
    // name the user typed (rather than chose in the save dialog, which asked
    // already) is replaced only when the user says Yes. Then the mouse
    // message, the collection of 500 input events fed into Pool, the waiting
    // page with the wait cursor, and the job, started with a seeded copy of
    // Pool; the function returns once it runs. A refusal or a failure before
    // the job starts leaves the window on the key page with the focus on the
    // field concerned; the program ending during the collection starts
    // nothing. Does nothing while a job runs.
    void StartGeneration();

    // The job's end notification, on the window thread: waits for the
    // thread, then shows the final page with the default cursor, or, when
    // the job failed, its message ("Aviso", error icon) and the key page
    // again with the values kept (the password fields are empty: the job
    // wiped them). Nothing after the window has closed.
    void GenerationFinished();
    bool GenerationRunning() const { return GenerationJob != nullptr; }

    // The permanent input hook: feeds the calendar time once, on the first
    // message, then every mouse movement's position, and every button
    // event's and key press's parameter followed by the milliseconds since
    // the previous event of its kind (buttons and keys apart), into Pool.
    void InputEntropyHook(const platform::InputMessage& message);

    // Tag handlers of the two form pages.
    void HttpMemoFilter_PAGE1HttpEntry(THttpMemoFilter& filter, const std::string& name);
    void HttpMemoFilter_PAGE2HttpEntry(THttpMemoFilter& filter, const std::string& name);

    // The window.
    std::string Caption = "Requerimiento";
    int Width = 648;
    int Height = 480;

    // Profile and state.
    std::string ArchivePath;
    bool ArchiveIsTemporary = false;
    bool ValidationLoaded = false;
    std::string ValidationLibPath;
    ValidaCamposFunc Valida_Campos = nullptr;
    ConfigDocument ConfigDoc;
    FieldList DataFields;
    FieldList KeyFields;
    std::vector<std::string> PageText;
    std::vector<uint8_t> ImageStream;
    int ButtonCode = 0;
    platform::PageViewer* ClickViewer = nullptr;
    platform::PageViewer* HTMLViewer = nullptr;

    THttpMemoFilter HttpMemoFilter_PAGE1;
    THttpMemoFilter HttpMemoFilter_PAGE2;

    // The window's random pool; the input hook keeps feeding it all along.
    RandomPool Pool;
    // The running generation job; Close and the destructor wait for it.
    std::unique_ptr<TThread_GenReq> GenerationJob;
    // Events a collection gathers.
    uint32_t MouseEventsNeeded = 500;
    // The last name the save dialog gave each file control ("KEY", "REQ").
    std::map<std::string, std::string> DialogFileNames;

    // Opens a link's URL with the desktop; replaceable for tests.
    std::function<bool(const std::string&)> OpenUrl;

  private:
    std::optional<StartupFailure> CopyAppendedArchive();
    std::optional<StartupFailure> LoadValidationLibrary();
    std::optional<StartupFailure> LoadConfiguration(const std::string& config_path);
    std::optional<StartupFailure> SizeWindow();
    void RunSaveDialog(const std::string& control, const std::string& filter,
                       const std::string& extension);
    void ShowMessage(const std::string& text, platform::MessageIcon icon);
    void LoadPage(const std::string& name);
    void ShowFailure(const RuleFailure& failure);
    bool ConfirmReplace(const std::string& control, const std::string& file_name);
    void FocusField(const std::string& control, bool reveal = false);

    // A submission, or the end of a job, is being answered (see
    // HTMLViewerFormSubmit).
    bool answering_ = false;
    // The save dialog is open.
    bool dialog_open_ = false;

    // State of the input hook.
    bool hook_first_call_ = true;
    uint32_t last_key_tick_ = 0;
    uint32_t last_button_tick_ = 0;

    platform::MessageLoop& loop_;
    ProgramImage program_;
    Archive archive_;
    platform::TempFile archive_copy_;
    platform::TempFile library_file_;
    platform::Module ValidationLib;
    bool destroyed_ = false;
    bool closed_ = false;
};

}  // namespace app
