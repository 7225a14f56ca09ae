// The desktop's own save dialog, reached through the file-chooser portal,
// org.freedesktop.portal.FileChooser.SaveFile on the session bus. The call
// answers at once with a request object; the dialog's outcome comes later as
// that object's Response signal (0 chosen, 1 cancelled, 2 failed), with the
// chosen file as a file:// address. The portal's dialog itself asks before
// an existing file is replaced.
//
// The wizard uses it when the desktop offers it and falls back to its own
// dialog in the page when there is no session bus, nobody provides the
// portal, or the portal fails.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace viewer {

struct PortalSaveRequest {
    std::string parent_window;  // "x11:<hex id>", or "" when unknown
    std::string title;          // UTF-8
    // Each filter: its label and its glob patterns ("*.key"). The first is
    // the one shown first.
    std::vector<std::pair<std::string, std::vector<std::string>>> filters;
    std::string name;    // suggested file name, UTF-8
    std::string folder;  // the folder shown first, absolute, UTF-8; "" leaves it to the desktop
};

struct PortalSaveResult {
    enum Outcome { Chosen, Cancelled, Unavailable };
    Outcome outcome = Unavailable;
    std::string path;  // Chosen: the file, absolute, UTF-8
};

// Parses a dialog filter "Label (*.a)|*.a|Other|*.b;*.c" into the portal's
// filters.
std::vector<std::pair<std::string, std::vector<std::string>>> PortalFilters(
    const std::string& filter);

// The local path of a file:// address (host empty or "localhost"), its
// %-escapes decoded; nothing for any other address, a relative one, or one
// that decodes to a NUL.
std::optional<std::string> PathOfFileUri(const std::string& uri);

// Shows the dialog and waits for its outcome; blocks, so it runs on a thread
// of its own. When `abandon` turns true (the window is going away), the
// dialog is closed and the outcome is Cancelled. Unavailable when the
// session bus cannot be reached, the portal is not there or refuses the
// call, or its answer is not a local file.
PortalSaveResult RunPortalSaveDialog(const PortalSaveRequest& request,
                                     const std::atomic<bool>& abandon);

}  // namespace viewer
