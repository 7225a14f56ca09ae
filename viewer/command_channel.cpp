#include "viewer/command_channel.h"

#include <algorithm>
#include <utility>

namespace viewer {

uint64_t CommandChannel::Push(nlohmann::json command) {
    uint64_t seq = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        seq = next_seq_++;
        command["seq"] = seq;
        commands_.push_back(std::move(command));
    }
    changed_.notify_all();
    return seq;
}

std::optional<nlohmann::json> CommandChannel::TakeFirstLoad() {
    std::optional<nlohmann::json> taken;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (delivered_ != 0 || commands_.empty() || commands_.front()["seq"] != 1 ||
            commands_.front()["type"] != "load")
            return std::nullopt;
        taken = std::move(commands_.front());
        commands_.pop_front();
        delivered_ = 1;
    }
    changed_.notify_all();
    return taken;
}

nlohmann::json CommandChannel::Poll(uint64_t done, uint64_t have, Clock::duration wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!commands_.empty() && commands_.front()["seq"].get<uint64_t>() <= done)
        commands_.pop_front();
    ++polls_in_flight_;
    last_seen_ = Clock::now();
    auto fresh = [&] {
        return shut_down_ ||
               (!held_ && !commands_.empty() && commands_.back()["seq"].get<uint64_t>() > have);
    };
    changed_.wait_for(lock, wait, fresh);
    nlohmann::json out = nlohmann::json::array();
    // A poll whose time ran out while the window was at work brings nothing:
    // the window's step is not over.
    for (const nlohmann::json& command : commands_) {
        const uint64_t seq = command["seq"].get<uint64_t>();
        if (seq > have && (!held_ || shut_down_)) {
            out.push_back(command);
            delivered_ = std::max(delivered_, seq);
        }
    }
    --polls_in_flight_;
    last_seen_ = Clock::now();
    lock.unlock();
    changed_.notify_all();
    return out;
}

bool CommandChannel::Delivered(uint64_t seq) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return delivered_ >= seq;
}

void CommandChannel::Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
}

void CommandChannel::Release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!held_)
            return;
        held_ = false;
    }
    changed_.notify_all();
}

bool CommandChannel::WaitDelivered(uint64_t seq, Clock::duration wait) {
    Release();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, wait, [&] { return shut_down_ || delivered_ >= seq; });
    return delivered_ >= seq;
}

void CommandChannel::PageHello(const std::string& page) {
    std::lock_guard<std::mutex> lock(mutex_);
    connected_ = true;
    leaving_ = false;
    current_page_ = page;
    last_seen_ = Clock::now();
}

void CommandChannel::PageLeaving(const std::string& page) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (page != current_page_)
        return;
    leaving_ = true;
    last_seen_ = Clock::now();
}

void CommandChannel::RequestStarted() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_in_flight_;
    last_seen_ = Clock::now();
}

void CommandChannel::RequestEnded() {
    std::lock_guard<std::mutex> lock(mutex_);
    --requests_in_flight_;
    last_seen_ = Clock::now();
}

void CommandChannel::PageSeen() {
    std::lock_guard<std::mutex> lock(mutex_);
    last_seen_ = Clock::now();
}

bool CommandChannel::PageConnected() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connected_;
}

void CommandChannel::ServerFull(bool full) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (server_full_ && !full)
        server_free_since_ = Clock::now();
    server_full_ = full;
}

bool CommandChannel::PageGone(Clock::time_point now, Clock::duration grace) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connected_ || requests_in_flight_ > 0 || server_full_)
        return false;
    if (polls_in_flight_ > 0 && !leaving_)
        return false;
    return now - std::max(last_seen_, server_free_since_) > grace;
}

void CommandChannel::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shut_down_ = true;
    }
    changed_.notify_all();
}

}  // namespace viewer
