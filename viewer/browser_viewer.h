// The page viewer is the user's browser. BrowserViewer runs a small HTTP
// server on 127.0.0.1 that serves the wizard's pages to one browser window
// and carries the viewer's operations and events between that window and the
// wizard window (platform::PageViewerEvents):
//
//   window -> page   commands fetched by the page's shim by long polling
//                    (CommandChannel): load a page, message box, question,
//                    save dialog, focus/show a control, set its text, cursor,
//                    collection overlay, close.
//   page -> window   GET /<name> becomes StringsRequest or ImageRequest;
//                    the shim posts control clicks, form submissions, link
//                    clicks, input events and the answers of modal dialogs.
//
// HTTP handlers run on the server's threads. They only parse, post the work
// to the window thread (MessageLoop::Post) and answer; a page or image
// request waits for the window thread's answer. The PageViewer operations
// run on the window thread; the modal ones (MessageBox, AskYesNo,
// SaveFileDialog) run a nested modal loop until the page answers.
//
// Text is ISO-8859-1 on the window's side and UTF-8 in every JSON message.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/message_loop.h"
#include "platform/page_viewer.h"
#include "viewer/access_gate.h"
#include "viewer/command_channel.h"
#include "viewer/portal_save_dialog.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace viewer {

struct ViewerOptions {
    // How long one poll of the page waits for a command.
    std::chrono::milliseconds poll_wait{4000};
    // How long the page may be away (between two pages, or while the
    // browser is busy) before it counts as closed.
    std::chrono::milliseconds page_grace{3000};
    // Title of the window (the browser shows it as the window caption);
    // ISO-8859-1. Empty keeps each page's own title.
    std::string title;
    // Folder the save dialog shows first; empty: the one kept in
    // `last_folder_file`, else the home folder.
    std::string start_directory;
    // Where the save dialog's last folder is kept between runs; empty keeps
    // it for this run only.
    std::string last_folder_file;
    // Opens a folder (UTF-8, absolute) in the desktop's file manager; the
    // final page's button calls it. Empty: xdg-open.
    std::function<bool(const std::string&)> open_folder;
    // The save dialog is first asked of the desktop, through its
    // file-chooser portal on the session bus; the dialog in the page is
    // used where there is none, and for the rest of the run once it has
    // failed.
    bool desktop_save_dialog = false;
};

class BrowserViewer : public platform::PageViewer {
  public:
    BrowserViewer(platform::MessageLoop& loop, platform::PageViewerEvents& events,
                  ViewerOptions options = {});
    ~BrowserViewer() override;
    BrowserViewer(const BrowserViewer&) = delete;
    BrowserViewer& operator=(const BrowserViewer&) = delete;

    // Binds 127.0.0.1 on a port the system chooses and starts serving on a
    // thread of its own. False when no port could be bound.
    bool Start();

    // Ends every waiting request, stops the server and joins its threads.
    // Runs once; the destructor calls it when nobody did.
    void Stop();

    uint16_t port() const { return port_; }

    // The server's name and port as the browser addresses it,
    // "reqwiz-<random>.localhost:PORT" (it listens on 127.0.0.1 alone).
    std::string Authority() const;

    // The address to open: http://reqwiz-<random>.localhost:PORT/?token=...
    // with the one-time start token.
    std::string StartUrl() const;

    // True when the server serves the user's own programs alone (it can
    // tell who is at the other end of a connection): then another user who
    // reads the start address, on a command line, still gets nothing.
    // After Start().
    bool ServesOnlyOwnUser() const { return only_own_user_; }

    // See AccessGate::TakeTokenOnlyFromTheBrowserItself: true while the
    // start address is on a browser's command line. After Start().
    void TakeStartTokenOnlyFromTheBrowserItself(bool only) {
        if (gate_)
            gate_->TakeTokenOnlyFromTheBrowserItself(only);
    }

    // `on_used` runs once, on a server thread, when the start token has been
    // exchanged for the session. After Start(), before the address is
    // handed out.
    void OnStartTokenUsed(std::function<void()> on_used) {
        if (gate_)
            gate_->OnTokenUsed(std::move(on_used));
    }

    // Runs on the window thread when the page has gone away for good (the
    // user closed the browser window).
    std::function<void()> OnPageGone;

    // platform::PageViewer; window thread only.
    void Load(const std::string& name) override;
    void MessageBox(const std::string& title, const std::string& text,
                    platform::MessageIcon icon) override;
    bool AskYesNo(const std::string& title, const std::string& text,
                  platform::MessageIcon icon) override;
    std::vector<platform::FormControlInfo> FormControls() override;
    void ShowControl(size_t index) override;
    void FocusControl(size_t index) override;
    void SetControlText(size_t index, const std::string& text) override;
    std::optional<std::string> SaveFileDialog(const std::string& filter,
                                              const std::string& default_extension,
                                              const std::string& initial_name) override;
    void SetCursor(platform::Cursor cursor) override;
    // The collection overlay is drawn by the page; each call is one command
    // ("collect" on with the events needed, or off; "progress" with the bar's
    // position).
    void StartCollection(uint32_t events_needed) override;
    void SetCollectionProgress(int percent) override;
    void StopCollection() override;
    void ShowResultFiles(const std::string& request_path, const std::string& key_path) override;
    void Close() override;

  private:
    void InstallRoutes();
    void Gate(const httplib::Request& request, httplib::Response& response, bool& handled);
    // The page `name` with the shim; `arrived` ({"done", "page"}) when it
    // answers the start address as the window's first page. False when the
    // window did not answer.
    bool ServePage(const std::string& name, httplib::Response& response,
                   const nlohmann::json& arrived = nullptr);
    void ServeImage(const std::string& name, httplib::Response& response);
    void ServeBootstrap(httplib::Response& response);
    void ServeDirectory(const httplib::Request& request, httplib::Response& response);
    // A page or an image of the profile, by the name the page asked for.
    void ServeNamed(const httplib::Request& request, httplib::Response& response);

    // One handler per message of the shim (viewer/wire_protocol.h).
    void HandlePoll(const httplib::Request& request, httplib::Response& response);
    void HandleHello(const httplib::Request& request, httplib::Response& response);
    void HandleBye(const httplib::Request& request, httplib::Response& response);
    void HandleClick(const httplib::Request& request, httplib::Response& response);
    void HandleSubmit(const httplib::Request& request, httplib::Response& response);
    void HandleLink(const httplib::Request& request, httplib::Response& response);
    void HandleInput(const httplib::Request& request, httplib::Response& response);
    void HandleAnswer(const httplib::Request& request, httplib::Response& response);
    void HandleOpenFolder(const httplib::Request& request, httplib::Response& response);

    // Runs `work` on the window thread and waits for its result; nothing
    // when the viewer stops first.
    std::optional<std::string> AskWindow(std::function<std::string()> work);

    // Pushes a modal command and runs a nested modal loop until the page
    // answers it, the page goes away or the program ends. Returns the
    // page's answer, or null.
    nlohmann::json RunModalCommand(nlohmann::json command);

    void Watch();

    // The save dialog of the desktop's portal: the chosen file (UTF-8
    // path made ISO-8859-1), nothing inside when the user cancelled, and
    // nothing at all when the portal is not there or failed.
    std::optional<std::optional<std::string>> DesktopSaveDialog(
        const std::string& filter, const std::string& default_extension,
        const std::string& initial_name);
    // Runs the portal's dialog on a thread of its own while the window
    // thread waits in a modal loop (the page's clicks wait meanwhile).
    PortalSaveResult RunDesktopDialog(const PortalSaveRequest& request);
    // Keeps the folder of a chosen file (UTF-8) for the next dialog, in
    // this run and the next.
    void KeepSaveFolder(const std::string& chosen);

    platform::MessageLoop& loop_;
    platform::PageViewerEvents& events_;
    ViewerOptions options_;
    std::unique_ptr<httplib::Server> server_;
    std::unique_ptr<AccessGate> gate_;
    std::string token_;
    uint16_t port_ = 0;
    // The socket that holds the port on ::1 (-1: none needed).
    int ipv6_hold_ = -1;
    // Connections from other users' programs are closed unread.
    bool only_own_user_ = false;
    std::thread server_thread_;
    std::atomic<bool> server_done_{false};
    std::thread watch_thread_;
    CommandChannel channel_;

    // Shared with the server's threads.
    std::mutex stop_mutex_;
    std::condition_variable stop_changed_;
    std::atomic<bool> stopping_{false};
    bool stopped_ = false;

    // Window-thread state.
    std::vector<platform::FormControlInfo> controls_;
    std::map<uint64_t, nlohmann::json> answers_;
    std::set<uint64_t> open_modals_;
    uint64_t next_modal_id_ = 1;
    bool page_gone_ = false;
    bool closed_ = false;
    bool portal_failed_ = false;
    std::string save_directory_;  // UTF-8
    // The folders of the files the final page names (UTF-8, absolute);
    // empty until a generation has succeeded.
    std::string request_folder_;
    std::string key_folder_;
};

}  // namespace viewer
