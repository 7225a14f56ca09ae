// The road from the window to the page: a numbered list of commands (load a
// page, show a message box, focus a control, ...) that the page fetches by
// long polling, and the watch over whether a page is there at all.
//
// The page runs the commands one after the other and tells, with every poll,
// the number of the last command it finished (`done`) and the highest number
// it has received (`have`). A command stays in the list until a poll reports
// it finished, so a page that reloads while a message box is open gets the
// box again instead of leaving the window waiting for an answer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace viewer {

class CommandChannel {
  public:
    using Clock = std::chrono::steady_clock;

    // Appends a command and returns its number (1, 2, ...). The command gets
    // the member "seq". Safe from any thread.
    uint64_t Push(nlohmann::json command);

    // One poll of the page: forgets the commands up to `done`, then waits up
    // to `wait` for commands numbered above `have` and returns them in order
    // as a JSON array (empty when the wait ran out or the channel shut down).
    // Counts as a page request in flight while it waits. Commands pushed
    // while the channel is held are not handed out until it is released.
    nlohmann::json Poll(uint64_t done, uint64_t have, Clock::duration wait);

    // The window is at work (Hold) or waits again (Release): the commands of
    // one step of the window go to the page in one answer, so that the page
    // runs, say, "overlay off, wait cursor, load the next page" in one go
    // rather than drawing each on its own. Safe from any thread.
    void Hold();
    void Release();

    // The window's first command when it is a "load" that no page has
    // taken yet: it is taken now, and counts as delivered and finished, so
    // that the first page can be opened at once instead of through a page
    // that would fetch the command. Nothing otherwise.
    std::optional<nlohmann::json> TakeFirstLoad();

    // True once a poll has taken command `seq` (or a later one) to the page.
    bool Delivered(uint64_t seq) const;

    // Waits until command `seq` was taken by a poll, the channel shut down,
    // or `wait` ran out. Returns Delivered(seq). Releases the channel first:
    // the caller is the window, and it now waits.
    bool WaitDelivered(uint64_t seq, Clock::duration wait);

    // The page `page` (an id the page makes up when it loads) told that it
    // has loaded; it is the current page from now on.
    void PageHello(const std::string& page);
    // The page `page` told that it is going away (navigation or closed
    // window). Ignored unless it is the current page: the farewell of a page
    // may arrive after the next page said hello.
    void PageLeaving(const std::string& page);
    // Any request of the page: it is alive now.
    void PageSeen();
    // A request that the window is still answering (a page or an image):
    // while one is open the page is not gone, however long the window takes.
    void RequestStarted();
    void RequestEnded();

    // True once a page has said hello.
    bool PageConnected() const;

    // The server has no free thread (true) or has one again (false). While
    // it is full the page's requests wait in line, so its silence says
    // nothing about the page: silence counts only from the moment the server
    // last had a free thread.
    void ServerFull(bool full);

    // True when a page has said hello once and is now gone: no request is
    // being answered, no poll is waiting (or the current page said it was
    // leaving), and nothing was heard of it for `grace` while the server
    // could serve it.
    bool PageGone(Clock::time_point now, Clock::duration grace) const;

    // Ends every waiting poll and makes later ones return at once.
    void Shutdown();

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<nlohmann::json> commands_;
    uint64_t next_seq_ = 1;
    uint64_t delivered_ = 0;
    bool shut_down_ = false;
    bool held_ = false;

    bool connected_ = false;
    bool leaving_ = false;
    std::string current_page_;
    int polls_in_flight_ = 0;
    int requests_in_flight_ = 0;
    Clock::time_point last_seen_{};
    bool server_full_ = false;
    Clock::time_point server_free_since_{};
};

}  // namespace viewer
