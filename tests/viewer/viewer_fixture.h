// A wizard window stand-in for the viewer's tests: a message loop running on
// its own "window thread", scripted page viewer events that record what the
// viewer delivers, a BrowserViewer serving on 127.0.0.1, and an HTTP client
// that has exchanged the start token for the session cookie.
#pragma once

#include <httplib.h>

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/message_loop.h"
#include "platform/page_viewer.h"
#include "viewer/browser_viewer.h"

namespace viewer_test {

// What the viewer delivered to the window, in order, one line per event.
class RecordingEvents : public platform::PageViewerEvents {
  public:
    std::map<std::string, std::vector<std::string>> pages;
    std::map<std::string, std::vector<uint8_t>> images;

    const std::vector<std::string>& StringsRequest(const std::string& name) override {
        Record("page " + name);
        auto it = pages.find(name);
        page_ = it == pages.end() ? std::vector<std::string>() : it->second;
        return page_;
    }
    const std::vector<uint8_t>& ImageRequest(const std::string& name) override {
        Record("image " + name);
        auto it = images.find(name);
        image_ = it == images.end() ? std::vector<uint8_t>() : it->second;
        return image_;
    }
    void ObjectClick(platform::PageViewer&, const std::string& control,
                     const std::string& on_click) override {
        Record("click " + control + " " + on_click);
        if (on_click_hook)
            on_click_hook(on_click);
    }
    void FormSubmit(platform::PageViewer&, const std::string& action, const std::string& target,
                    const std::string& enctype, const std::string& method,
                    const std::vector<std::string>& lines,
                    const std::vector<std::string>& not_latin1) override {
        std::string text = "submit " + action + "|" + target + "|" + enctype + "|" + method;
        for (const std::string& line : lines)
            text += "|" + line;
        for (const std::string& name : not_latin1)
            text += "|not latin-1: " + name;
        Record(text);
    }
    bool HotSpotTargetClick(const std::string& target, const std::string& url) override {
        Record("link " + target + " " + url);
        return true;
    }

    // Runs on the window thread inside ObjectClick (a modal step, say).
    std::function<void(const std::string&)> on_click_hook;

    std::vector<std::string> Log() {
        std::lock_guard<std::mutex> lock(mutex_);
        return log_;
    }

    // Waits until the log has at least `count` lines (or a generous limit
    // passes) and returns it.
    std::vector<std::string> WaitForLog(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [&] { return log_.size() >= count; });
        return log_;
    }

  private:
    void Record(const std::string& line) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            log_.push_back(line);
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> log_;
    std::vector<std::string> page_;
    std::vector<uint8_t> image_;
};

class Wizard {
  public:
    explicit Wizard(viewer::ViewerOptions options = {}) {
        viewer_ = std::make_unique<viewer::BrowserViewer>(loop_, events, options);
        started_ = viewer_->Start();
        window_thread_ = std::thread([this] { loop_.Run(); });
    }
    ~Wizard() {
        viewer_->Stop();
        loop_.Quit(0);
        window_thread_.join();
    }

    bool started() const { return started_; }
    viewer::BrowserViewer& viewer() { return *viewer_; }
    platform::MessageLoop& loop() { return loop_; }
    uint16_t port() const { return viewer_->port(); }
    // The server's own name and port, as the browser addresses it.
    std::string Host() const { return viewer_->Authority(); }
    std::string HostName() const { return Host().substr(0, Host().rfind(':')); }
    std::string Origin() const { return "http://" + Host(); }

    // Runs `work` on the window thread and returns its result.
    template <typename T>
    T OnWindow(std::function<T()> work) {
        auto promise = std::make_shared<std::promise<T>>();
        std::future<T> future = promise->get_future();
        loop_.Post([promise, work] { promise->set_value(work()); });
        return future.get();
    }

    // Starts `work` on the window thread without waiting for it.
    std::future<void> StartOnWindow(std::function<void()> work) {
        auto promise = std::make_shared<std::promise<void>>();
        std::future<void> future = promise->get_future();
        loop_.Post([promise, work] {
            work();
            promise->set_value();
        });
        return future;
    }

    // A client with no session: sends exactly the headers given, and the
    // server's own name as Host unless one of them is a Host. The name is
    // reached on 127.0.0.1, as the browser reaches it.
    httplib::Client Client() const {
        httplib::Client client(HostName(), port());
        client.set_hostname_addr_map({{HostName(), "127.0.0.1"}});
        client.set_follow_location(false);
        client.set_read_timeout(15, 0);
        return client;
    }

    // The token exchange, done once: the session cookie as "name=value".
    std::string SessionCookie() {
        if (!cookie_.empty())
            return cookie_;
        const std::string url = viewer_->StartUrl();
        const std::string path = url.substr(url.find('/', std::string("http://").size()));
        httplib::Client client = Client();
        auto result = client.Get(path.c_str());
        if (result && result->status == 200) {
            const std::string set_cookie = result->get_header_value("Set-Cookie");
            cookie_ = set_cookie.substr(0, set_cookie.find(';'));
        }
        return cookie_;
    }

    httplib::Headers SessionHeaders() {
        return {{"Cookie", SessionCookie()}, {"Origin", Origin()}};
    }

    httplib::Result Get(const std::string& path) {
        httplib::Client client = Client();
        return client.Get(path.c_str(), SessionHeaders());
    }

    httplib::Result Post(const std::string& path, const nlohmann::json& body) {
        httplib::Client client = Client();
        return client.Post(path.c_str(), SessionHeaders(), body.dump(), "application/json");
    }

    // One poll of the page; the commands it got.
    nlohmann::json Poll(uint64_t done, uint64_t have) {
        auto result =
            Get("/__reqwiz/poll?done=" + std::to_string(done) + "&have=" + std::to_string(have));
        if (!result || result->status != 200)
            return nlohmann::json::array();
        return nlohmann::json::parse(result->body)["commands"];
    }

    // Polls until a command arrives (the window posts it a moment later).
    nlohmann::json PollUntilAny(uint64_t done, uint64_t have) {
        for (int i = 0; i < 20; ++i) {
            nlohmann::json commands = Poll(done, have);
            if (!commands.empty())
                return commands;
        }
        return nlohmann::json::array();
    }

    RecordingEvents events;

  private:
    platform::MessageLoop loop_;
    std::unique_ptr<viewer::BrowserViewer> viewer_;
    bool started_ = false;
    std::thread window_thread_;
    std::string cookie_;
};

// Short waits so that the tests do not sit through the production ones.
inline viewer::ViewerOptions QuickOptions() {
    viewer::ViewerOptions options;
    options.poll_wait = std::chrono::milliseconds(300);
    options.page_grace = std::chrono::milliseconds(300);
    return options;
}

}  // namespace viewer_test
