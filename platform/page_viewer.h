// The page viewer as the wizard window sees it: the operations the window
// asks of it, and the events it raises back into the window. The window talks
// to the viewer only through these two interfaces, so any viewer — the browser
// bridge, or a scripted fake in the tests — can host the wizard.
//
// Text crossing these interfaces is ISO-8859-1 (one byte per character).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class MessageIcon { Warning, Error };

enum class Cursor { Default, Wait };

// One control of the current page's forms, in document order.
struct FormControlInfo {
    std::string name;
    bool visible = true;
};

class PageViewer {
  public:
    virtual ~PageViewer() = default;

    // Shows the page `name` (an archive entry name such as "index.htm"). The
    // viewer then raises StringsRequest for it and ImageRequest for each image.
    virtual void Load(const std::string& name) = 0;

    // Modal message box with one OK button; returns when the user has closed
    // it (a viewer that waits runs a nested modal loop meanwhile).
    virtual void MessageBox(const std::string& title, const std::string& text,
                            MessageIcon icon) = 0;

    // Modal question with Yes and No buttons; true for Yes.
    virtual bool AskYesNo(const std::string& title, const std::string& text, MessageIcon icon) = 0;

    // The form controls of the page shown now, in document order.
    virtual std::vector<FormControlInfo> FormControls() = 0;

    // Operations on the control at `index` in FormControls(). An index out of
    // range is ignored.
    virtual void ShowControl(size_t index) = 0;
    virtual void FocusControl(size_t index) = 0;
    virtual void SetControlText(size_t index, const std::string& text) = 0;

    // Modal save-file dialog. `filter` is "Description (*.ext)|*.ext";
    // `default_extension` is ".ext", added when the chosen name has none. The
    // dialog insists that the folder exists and asks before overwriting.
    // Returns the chosen file's full path, or nothing when the user cancels.
    virtual std::optional<std::string> SaveFileDialog(const std::string& filter,
                                                      const std::string& default_extension,
                                                      const std::string& initial_name) = 0;

    virtual void SetCursor(Cursor cursor) = 0;

    // The collection overlay of the entropy step: it covers the screen (full
    // screen where the viewer can), stays in front of everything else and
    // shows a centred panel three quarters of the screen wide with the title
    // strip "Avance" and a progress bar from 0 to 100. Input events keep
    // arriving at the message loop while it is shown. StartCollection shows it
    // with the bar at 0 and says how many events the collection needs, so
    // that the viewer hands over the one that completes it at once;
    // SetCollectionProgress moves the bar (values outside 0 to 100 are
    // clamped), StopCollection takes it away.
    virtual void StartCollection(uint32_t events_needed) = 0;
    virtual void SetCollectionProgress(int percent) = 0;
    virtual void StopCollection() = 0;

    // After a successful generation, on the final page just loaded: a band
    // of the viewer's own (not part of the page) gives the full path of the
    // request, to be sent, and of the private key, to be kept, and a button
    // that opens their folder in the desktop's file manager. The paths are
    // the files as written.
    virtual void ShowResultFiles(const std::string& request_path, const std::string& key_path) = 0;

    // Closes the window: the viewer goes away and shows nothing more.
    virtual void Close() = 0;
};

// The events a viewer raises, handled by the window on the window thread.
class PageViewerEvents {
  public:
    virtual ~PageViewerEvents() = default;

    // Text of the page `name` as lines. The window keeps ownership; the lines
    // stay valid until the next request.
    virtual const std::vector<std::string>& StringsRequest(const std::string& name) = 0;

    // Bytes of the image `name` (the image's src). Valid until the next
    // image request.
    virtual const std::vector<uint8_t>& ImageRequest(const std::string& name) = 0;

    // A click on any form control, with its onClick text (empty when none),
    // reported before the click does anything else.
    virtual void ObjectClick(PageViewer& viewer, const std::string& control_name,
                             const std::string& on_click) = 0;

    // A form submission: one line per submitted control, in document order.
    // `not_latin1` names the controls whose value had a character that
    // ISO-8859-1 cannot hold; their lines carry "?" in its place and must not
    // be taken as typed. The viewer wipes its copy of the lines (they may
    // carry a password) once this returns.
    virtual void FormSubmit(PageViewer& viewer, const std::string& action,
                            const std::string& target, const std::string& enctype,
                            const std::string& method, const std::vector<std::string>& lines,
                            const std::vector<std::string>& not_latin1) = 0;

    // A click on a link. Returns true when the window handled it, so that the
    // viewer does not follow the link itself.
    virtual bool HotSpotTargetClick(const std::string& target, const std::string& url) = 0;
};

}  // namespace platform
