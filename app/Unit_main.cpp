#include "app/Unit_main.h"

#include <cstring>
#include <ctime>
#include <fstream>

#include "app/Unit_mousedata.h"
#include "app/file_names.h"
#include "app/messages.h"
#include "app/page_rules.h"
#include "app/text.h"
#include "crypto/common/mem.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/wipe.h"

namespace app {

namespace {

constexpr size_t kCopyBlock = 8192;
// System bytes that move the window's pool on once the job has its copy.
constexpr uint32_t kStirBytes = 32;

std::optional<StartupFailure> Fail(const char* message, int exit_code) {
    return StartupFailure{message, exit_code};
}

// Holds a flag up for as long as it lives.
class RaisedFlag {
  public:
    explicit RaisedFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RaisedFlag() { flag_ = false; }
    RaisedFlag(const RaisedFlag&) = delete;
    RaisedFlag& operator=(const RaisedFlag&) = delete;

  private:
    bool& flag_;
};

// Page and image names as the viewer asks for them ("/Images/pixel.gif")
// become archive entry names ("Images\pixel.gif").
std::string EntryNameOf(const std::string& requested) {
    std::string name = !requested.empty() && requested[0] == '/' ? requested.substr(1) : requested;
    for (char& c : name) {
        if (c == '/')
            c = '\\';
    }
    return name;
}

}  // namespace

Tfrm_req::Tfrm_req(platform::MessageLoop& loop, ProgramImage program)
    : OpenUrl(platform::OpenUrl), loop_(loop), program_(std::move(program)) {
    rand_init(&Pool);
    HttpMemoFilter_PAGE1.OnHttpEntry = [this](THttpMemoFilter& f, const std::string& name) {
        HttpMemoFilter_PAGE1HttpEntry(f, name);
    };
    HttpMemoFilter_PAGE2.OnHttpEntry = [this](THttpMemoFilter& f, const std::string& name) {
        HttpMemoFilter_PAGE2HttpEntry(f, name);
    };
}

Tfrm_req::~Tfrm_req() {
    if (GenerationJob)
        GenerationJob->WaitFor();
    GenerationJob.reset();
    FormDestroy();
    mem_wipe(Pool);
}

// ---------------------------------------------------------------------------
// Start-up

std::optional<StartupFailure> Tfrm_req::FormCreate(const std::vector<std::string>& args) {
    std::string config_path;
    ArchiveIsTemporary = false;
    ArchivePath.clear();
    loop_.SetHook([this](const platform::InputMessage& message) { InputEntropyHook(message); });
    DataFields.Clear();
    KeyFields.Clear();
    PageText.clear();

    // A switch's value is looked at as a switch itself in the next pass, and
    // a later switch overrides an earlier one.
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string word = UpperCase(args[i]);
        const std::string value = i + 1 < args.size() ? args[i + 1] : std::string();
        if (word == "/CONFIG") {
            config_path = value;
            if (!platform::FileExists(config_path))
                return Fail(msg::kConfigNotFound, 2);
        } else if (word == "/ZIP") {
            ArchivePath = value;
            if (!platform::FileExists(ArchivePath))
                return Fail(msg::kArchiveNotFound, 2);
        }
    }

    if (ArchivePath.empty()) {
        if (auto failure = CopyAppendedArchive())
            return failure;
    }

    if (!archive_.Open(ArchivePath))
        return Fail(msg::kArchiveNotZip, 2);
    if (!archive_.AllEntriesIntact())
        return Fail(msg::kArchiveDamaged, 2);

    if (auto failure = LoadValidationLibrary())
        return failure;
    if (auto failure = LoadConfiguration(config_path))
        return failure;
    if (auto failure = SizeWindow())
        return failure;

    ConfigDoc.LoadFieldDefaults(DataFields, KeyFields);
    return std::nullopt;
}

// The program file is the bare program followed by the data archive, a
// complete ZIP file of its own:
//
//   0                     bare_size                      end of file
//   | program (bare_size) | ZIP archive (offsets from here) |
//
// The archive part is copied into a temporary file for the archive reader.
std::optional<StartupFailure> Tfrm_req::CopyAppendedArchive() {
    if (!archive_copy_.Create("HTML"))
        return Fail(msg::kTempFileFailed, 1);
    ArchivePath = archive_copy_.path();

    std::ifstream program(program_.path, std::ios::binary);
    if (program_.path.empty() || !program)
        return Fail(msg::kProgramUnreadable, 1);
    program.seekg(0, std::ios::end);
    const std::streamoff size = program.tellg();
    if (size < 0)
        return Fail(msg::kProgramUnreadable, 1);
    if (static_cast<uint64_t>(size) == program_.bare_size)
        return Fail(msg::kNotConfigured, 2);

    std::ofstream copy(ArchivePath, std::ios::binary | std::ios::trunc);
    program.seekg(static_cast<std::streamoff>(program_.bare_size), std::ios::beg);
    char block[kCopyBlock];
    while (program && copy) {
        program.read(block, sizeof block);
        if (program.gcount() <= 0)
            break;
        copy.write(block, program.gcount());
    }
    copy.close();
    if (program.bad() || !copy)
        return Fail(msg::kProgramUnreadable, 1);
    ArchiveIsTemporary = true;
    return std::nullopt;
}

std::optional<StartupFailure> Tfrm_req::LoadValidationLibrary() {
    ValidationLoaded = false;
    std::string library;
    const Archive::Result got = archive_.Extract("REQ_DLL.DLL", library);
    if (got == Archive::Result::Damaged)
        return Fail(msg::kArchiveDamaged, 2);
    if (got == Archive::Result::TooLarge)
        return Fail(msg::kArchiveEntryTooLarge, 2);
    if (library.empty())
        return std::nullopt;  // no library: fields get the configured checks only

    ValidationLoaded = true;
    if (!library_file_.Create("HTML"))
        return Fail(msg::kTempFileFailed, 1);
    ValidationLibPath = library_file_.path();
    if (!platform::WriteWholeFile(ValidationLibPath, library))
        return Fail(msg::kLibraryNotLoaded, 2);
    if (!ValidationLib.Load(ValidationLibPath))
        return Fail(msg::kLibraryNotLoaded, 2);
    Valida_Campos = reinterpret_cast<ValidaCamposFunc>(ValidationLib.Symbol("Valida_Campos"));
    if (Valida_Campos == nullptr)
        return Fail(msg::kEntryPointMissing, 2);
    return std::nullopt;
}

std::optional<StartupFailure> Tfrm_req::LoadConfiguration(const std::string& config_path) {
    std::string bytes;
    if (config_path.empty()) {
        Archive::Result got = archive_.Extract("config.xml", bytes);
        if (got == Archive::Result::Damaged)
            return Fail(msg::kArchiveDamaged, 2);
        if (got == Archive::Result::TooLarge)
            return Fail(msg::kArchiveEntryTooLarge, 2);
        if (got == Archive::Result::NotFound)
            return Fail(msg::kConfigMissingInArchive, 2);
    } else if (!platform::ReadWholeFile(config_path, bytes)) {
        return Fail(msg::kConfigUnreadable, 2);
    }
    if (!ConfigDoc.Parse(bytes))
        return Fail(msg::kConfigNotXml, 2);
    return std::nullopt;
}

std::optional<StartupFailure> Tfrm_req::SizeWindow() {
    const std::string width = ConfigDoc.GetElementAttribute("WINDOW", "WIDTH");
    const std::string height = ConfigDoc.GetElementAttribute("WINDOW", "HEIGHT");
    if (width.empty() || height.empty())
        return std::nullopt;
    int w = 0, h = 0;
    if (!ParseDecimal(width, w) || !ParseDecimal(height, h) || w <= 0 || h <= 0)
        return Fail(msg::kWindowSizeInvalid, 2);
    Width = w;
    Height = h;
    return std::nullopt;
}

void Tfrm_req::FormShow() {
    LoadPage("INDEX.HTM");
}

void Tfrm_req::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    loop_.SetHook({});
    DataFields.Clear();
    KeyFields.Clear();
    PageText.clear();
    ConfigDoc.Free();
    archive_.Close();
    archive_copy_.Remove();
    Valida_Campos = nullptr;
    ValidationLib.Unload();
    library_file_.Remove();
}

void Tfrm_req::Close() {
    if (closed_)
        return;
    // The generation job reads and rewrites the window's lists and document:
    // the window goes away only after it has ended.
    if (GenerationJob)
        GenerationJob->WaitFor();
    closed_ = true;
    if (HTMLViewer != nullptr)
        HTMLViewer->Close();
    loop_.Quit(0);
}

// ---------------------------------------------------------------------------
// Pages and images

void Tfrm_req::LoadPage(const std::string& name) {
    if (HTMLViewer != nullptr)
        HTMLViewer->Load(name);
}

void Tfrm_req::ShowDataPage() {
    LoadPage("index.htm");
}

void Tfrm_req::ShowKeyPage() {
    LoadPage("Page2.htm");
}

const std::vector<std::string>& Tfrm_req::HTMLViewerStringsRequest(const std::string& name) {
    const std::string entry = EntryNameOf(name);
    std::string text;
    if (archive_.Extract(entry, text) != Archive::Result::Extracted)
        text.clear();  // a missing or unreadable page is served empty
    PageText.clear();
    const std::string upper = UpperCase(entry);
    if (upper == "PAGE2.HTM") {
        HttpMemoFilter_PAGE2.SetText(text);
        PageText = SplitLines(HttpMemoFilter_PAGE2.AsString());
    } else if (upper == "INDEX.HTM") {
        HttpMemoFilter_PAGE1.SetText(text);
        PageText = SplitLines(HttpMemoFilter_PAGE1.AsString());
    } else {
        PageText = SplitLines(text);
    }
    return PageText;
}

const std::vector<uint8_t>& Tfrm_req::HTMLViewerImageRequest(const std::string& name) {
    ImageStream.clear();
    std::string bytes;
    if (archive_.Extract(EntryNameOf(name), bytes) == Archive::Result::Extracted)
        ImageStream.assign(bytes.begin(), bytes.end());
    return ImageStream;
}

bool Tfrm_req::HTMLViewerHotSpotTargetClick(const std::string& /*target*/, const std::string& url) {
    if (OpenUrl)
        OpenUrl(url);
    return true;
}

// Values go into the pages HTML-escaped, so that a quote or "<" typed by the
// user cannot break the page; the browser submits the original text back.
void Tfrm_req::HttpMemoFilter_PAGE1HttpEntry(THttpMemoFilter& filter, const std::string& name) {
    if (GenerationJob)
        return;  // the job owns the lists: a form page asked for now shows no values
    if (name == "SELECTED_DN_C") {
        const auto& params = filter.GetEntryParams();
        if (!params.empty() && params[0] == DataFields.Value("DN_C"))
            filter.Put("SELECTED");
        return;
    }
    filter.Put(platform::HtmlEscape(DataFields.Value(name)));
}

void Tfrm_req::HttpMemoFilter_PAGE2HttpEntry(THttpMemoFilter& filter, const std::string& name) {
    if (GenerationJob)
        return;
    if (name == "SELECTED_SIZE_KEY") {
        const auto& params = filter.GetEntryParams();
        if (!params.empty() && params[0] == KeyFields.Value("SIZE_KEY"))
            filter.Put("SELECTED");
        return;
    }
    filter.Put(platform::HtmlEscape(KeyFields.Value(name)));
}

// ---------------------------------------------------------------------------
// Clicks and submissions

void Tfrm_req::HTMLViewerObjectClick(platform::PageViewer& viewer,
                                     const std::string& /*control_name*/,
                                     const std::string& on_click) {
    ClickViewer = &viewer;
    if (on_click.empty()) {
        ButtonCode = 0;
        return;
    }
    const std::string upper = UpperCase(on_click);
    if (upper.compare(0, 4, "BTN_") == 0) {
        // One modal step at a time: no save dialog over a message, another
        // dialog or the hand-over.
        if (answering_ || GenerationJob || dialog_open_)
            return;
        if (upper == "BTN_KEY")
            RunSaveDialog("KEY", "Llave Privada (*.key)|*.key", ".key");
        else
            RunSaveDialog("REQ", "Requerimiento (*.req)|*.req", ".req");
        return;
    }
    // Any other text is a button code; one that is not a number leaves the
    // last code as it was.
    int code = 0;
    if (ParseDecimal(Trim(on_click), code))
        ButtonCode = code;
}

void Tfrm_req::RunSaveDialog(const std::string& control, const std::string& filter,
                             const std::string& extension) {
    if (ClickViewer == nullptr)
        return;
    std::optional<FoundControl> found = FindFormControl(control);
    std::optional<std::string> chosen;
    {
        RaisedFlag open(dialog_open_);
        chosen = ClickViewer->SaveFileDialog(filter, extension, "");
    }
    // The chosen name reaches KeyFields with the page's next submission.
    if (chosen && found)
        ClickViewer->SetControlText(found->index, *chosen);
    if (chosen)
        DialogFileNames[control] = *chosen;
}

void Tfrm_req::HTMLViewerFormSubmit(platform::PageViewer& /*viewer*/, const std::string& action,
                                    const std::string& /*target*/, const std::string& /*enctype*/,
                                    const std::string& /*method*/,
                                    const std::vector<std::string>& lines,
                                    const std::vector<std::string>& not_latin1) {
    // While the job runs it owns the lists: the waiting page has no form, and
    // anything submitted meanwhile (a page the user got back to somehow) is
    // ignored, but for the close button, which waits for the job. While an
    // earlier submission is still being answered (a second click of a double
    // click arrives inside its message box or its collection), the same
    // holds: answering it again would start a second hand-over over the
    // first one's lists.
    if (GenerationJob || answering_) {
        if (ButtonCode == kButtonClose)
            Close();
        return;
    }
    RaisedFlag answering(answering_);
    const bool data_page = action == "VALIDA_1";
    const bool key_page = action == "VALIDA_2";

    // A value that lost characters on its way in is not what the user typed:
    // it is neither stored nor acted upon.
    if (!not_latin1.empty() && ButtonCode != kButtonClose) {
        ShowMessage(msg::NotLatin1(not_latin1.front()),
                    key_page ? platform::MessageIcon::Error : platform::MessageIcon::Warning);
        FocusField(not_latin1.front());
        return;
    }

    // Every submission stores its page's list, whatever the button, so that
    // the entries of a page survive leaving it.
    if (data_page)
        DataFields.Assign(lines);
    else if (key_page)
        KeyFields.Assign(lines);

    std::vector<std::string> submitted = lines;
    platform::WipeOnExit wipe;
    wipe.Add(submitted);
    switch (ButtonCode) {
        case kButtonBack:
            ShowDataPage();
            break;
        case kButtonDataPageNext:
            // The code of the last click may stem from the other page (Enter
            // pressed on the key page before any click there): each page is
            // validated only with its own form.
            if (data_page && ValidateDataPage(submitted)) {
                if (ValidationLoaded)
                    DataFields.Assign(submitted);
                ShowKeyPage();
            }
            break;
        case kButtonKeyPageNext:
            if (key_page && ValidateKeyPage(submitted)) {
                if (ValidationLoaded)
                    KeyFields.Assign(submitted);
                StartGeneration();
            }
            break;
        case kButtonClose:
            Close();
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------
// Randomness and the hand-over to generation

void Tfrm_req::InputEntropyHook(const platform::InputMessage& message) {
    if (hook_first_call_) {
        hook_first_call_ = false;
        FeedValue(Pool, static_cast<uint32_t>(std::time(nullptr)));
    }
    // The page's own millisecond time stamps stand for the tick count; the
    // differences wrap around like it.
    const uint32_t tick = message.time_ms;
    switch (message.kind) {
        case platform::InputMessage::MouseMove:
            FeedValue(Pool, InputParam(message));
            break;
        case platform::InputMessage::ButtonDown:
        case platform::InputMessage::ButtonUp:
            FeedValue(Pool, InputParam(message));
            FeedValue(Pool, tick - last_button_tick_);
            last_button_tick_ = tick;
            break;
        case platform::InputMessage::KeyDown:
            FeedValue(Pool, InputParam(message));
            FeedValue(Pool, tick - last_key_tick_);
            last_key_tick_ = tick;
            break;
    }
}

void Tfrm_req::FocusField(const std::string& control, bool reveal) {
    if (std::optional<FoundControl> found = FindFormControl(control)) {
        if (reveal && !found->visible)
            ClickViewer->ShowControl(found->index);
        ClickViewer->FocusControl(found->index);
    }
}

// A file the user chose in the save dialog was confirmed there; one typed in
// by hand is replaced only after a question.
bool Tfrm_req::ConfirmReplace(const std::string& control, const std::string& file_name) {
    if (!platform::FileExists(platform::DiskName(file_name)))
        return true;
    auto chosen = DialogFileNames.find(control);
    if (chosen != DialogFileNames.end() && Trim(chosen->second) == file_name)
        return true;
    const std::string question =
        std::string(msg::kReplaceFileHead) + file_name + msg::kReplaceFileTail;
    if (HTMLViewer != nullptr &&
        HTMLViewer->AskYesNo(msg::kTitle, question, platform::MessageIcon::Warning))
        return true;
    FocusField(control);
    return false;
}

void Tfrm_req::StartGeneration() {
    if (GenerationJob || closed_)
        return;

    // Names are used trimmed, as they were validated: a blank in front would
    // move the file to another folder.
    const OutputNames names = OutputNamesOf(KeyFields.Value("KEY"), KeyFields.Value("REQ"));
    if (std::optional<RuleFailure> failure = CheckOutputNames(names)) {
        ShowFailure(*failure);
        return;
    }
    if (!ConfirmReplace("KEY", names.key) || !ConfirmReplace("REQ", names.request))
        return;

    std::string mouse_message = ConfigDoc.GetElementText("MSG_MOUSE");
    if (mouse_message.empty())
        mouse_message = msg::kMouseMessage;
    ShowMessage(mouse_message, platform::MessageIcon::Warning);

    {
        TMouseData collector(loop_, HTMLViewer);
        collector.Needed = MouseEventsNeeded;
        if (!collector.Do_MouseData())
            return;  // the program is ending
        for (size_t i = 0; i < collector.GetCount(); ++i)
            FeedValue(Pool, collector.GetDatos(i));
        for (uint32_t& value : collector.Samples)
            value = 0;
    }

    if (HTMLViewer != nullptr)
        HTMLViewer->SetCursor(platform::Cursor::Wait);
    loop_.ProcessMessages();
    LoadPage("Page3.htm");
    if (HTMLViewer != nullptr)
        HTMLViewer->SetCursor(platform::Cursor::Wait);
    for (int i = 0; i < 100; ++i)
        loop_.ProcessMessages();
    if (loop_.QuitRequested() || closed_)
        return;

    KeyFields.SetValue("KEY", names.key);
    KeyFields.SetValue("REQ", names.request);

    auto job = std::make_unique<TThread_GenReq>(ConfigDoc, DataFields, KeyFields);
    bool started = SeedAndCopyPool(Pool, job->Pool);
    // The window's pool now holds the state the key will be made from: it
    // takes fresh system bytes at once, so that the key cannot be made again
    // from the window's memory. Without them it starts over (the next
    // collection seeds it again).
    if (started && !FeedSystemRandom(Pool, kStirBytes)) {
        mem_wipe(Pool);
        rand_init(&Pool);
    }
    const char* failure = started ? msg::kJobFailed : msg::kNoSystemRandom;
    if (started) {
        GenerationJob = std::move(job);
        started = GenerationJob->Start([this] { loop_.Post([this] { GenerationFinished(); }); });
        if (!started)
            GenerationJob.reset();
    }
    if (!started) {
        if (HTMLViewer != nullptr)
            HTMLViewer->SetCursor(platform::Cursor::Default);
        ShowMessage(failure, platform::MessageIcon::Error);
        ShowKeyPage();
    }
}

void Tfrm_req::GenerationFinished() {
    if (!GenerationJob)
        return;
    GenerationJob->WaitFor();
    const GenerationResult result = GenerationJob->Result();
    GenerationJob.reset();
    if (closed_ || destroyed_)
        return;
    if (result.completed) {
        LoadPage("Page4.htm");
        if (HTMLViewer != nullptr) {
            HTMLViewer->SetCursor(platform::Cursor::Default);
            // The final page says where the two files went.
            HTMLViewer->ShowResultFiles(KeyFields.Value("REQ"), KeyFields.Value("KEY"));
        }
        return;
    }
    if (HTMLViewer != nullptr)
        HTMLViewer->SetCursor(platform::Cursor::Default);
    RaisedFlag answering(answering_);
    ShowMessage(result.message, platform::MessageIcon::Error);
    ShowKeyPage();
}

std::optional<Tfrm_req::FoundControl> Tfrm_req::FindFormControl(const std::string& name) const {
    if (ClickViewer == nullptr)
        return std::nullopt;
    const std::vector<platform::FormControlInfo> controls = ClickViewer->FormControls();
    for (size_t i = 0; i < controls.size(); ++i) {
        if (SameText(controls[i].name, name))
            return FoundControl{i, controls[i].visible};
    }
    return std::nullopt;
}

void Tfrm_req::ShowMessage(const std::string& text, platform::MessageIcon icon) {
    if (HTMLViewer != nullptr)
        HTMLViewer->MessageBox(msg::kTitle, text, icon);
}

// ---------------------------------------------------------------------------
// Validation

bool Tfrm_req::ValidateDataPage(std::vector<std::string>& lines) {
    const std::optional<RuleFailure> failure =
        CheckDataPage(ConfigDoc, ValidationLoaded ? Valida_Campos : nullptr, lines);
    if (failure)
        ShowFailure(*failure);
    return !failure;
}

bool Tfrm_req::ValidateKeyPage(const std::vector<std::string>& lines) {
    const std::optional<RuleFailure> failure = CheckKeyPage(ConfigDoc, lines);
    if (failure)
        ShowFailure(*failure);
    return !failure;
}

// A rule's failure: its message, then the focus on its control (made
// visible first when the rule asks). The validation library told the user
// itself.
void Tfrm_req::ShowFailure(const RuleFailure& failure) {
    if (failure.silent)
        return;
    ShowMessage(failure.message, failure.icon);
    FocusField(failure.control, failure.reveal);
}

}  // namespace app
