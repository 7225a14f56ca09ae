// The page the browser is opened on when the start address may not be on a
// command line. The address carries the one-time token, and a program's
// command line is readable by every local user (/proc/PID/cmdline); unless
// the server serves the user's own programs alone (BrowserViewer::
// ServesOnlyOwnUser, connection_owner.h) and the program does not run as
// root, the browser is given a small page instead, in a folder only the
// user can enter, that forwards to the address. The folder goes away once
// the token has been used and, at the latest, when the object does.
#pragma once

#include <mutex>
#include <string>

namespace viewer {

class LaunchPage {
  public:
    LaunchPage() = default;
    ~LaunchPage();
    LaunchPage(const LaunchPage&) = delete;
    LaunchPage& operator=(const LaunchPage&) = delete;

    // Makes a new folder (mode 0700) under $XDG_RUNTIME_DIR, else $TMPDIR,
    // else /tmp, and in it a page (mode 0600) that forwards to `url`. False
    // when neither could be made; nothing is left behind then.
    bool Create(const std::string& url);

    // The page as a file: address ("file:///..."), "" before Create.
    std::string FileUrl() const;
    const std::string& path() const { return file_; }
    const std::string& folder() const { return folder_; }

    // Removes the page and its folder. Safe from any thread, and more than
    // once.
    void Remove();

  private:
    mutable std::mutex mutex_;
    std::string folder_;
    std::string file_;
};

// The forwarding page's text for `url`.
std::string ForwardingPage(const std::string& url);

}  // namespace viewer
