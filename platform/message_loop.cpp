#include "platform/message_loop.h"

#include <utility>

namespace platform {

void MessageLoop::Post(Task task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.emplace_back(std::move(task));
    }
    ready_.notify_all();
}

void MessageLoop::PostInput(const InputMessage& message) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.emplace_back(message);
    }
    ready_.notify_all();
}

void MessageLoop::SetActivityHandler(ActivityHandler handler) {
    activity_ = std::move(handler);
}

InputHook MessageLoop::SetHook(InputHook hook) {
    std::swap(hook, hook_);
    return hook;
}

void MessageLoop::Quit(int exit_code) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!quit_) {
            quit_ = true;
            exit_code_ = exit_code;
        }
    }
    ready_.notify_all();
}

bool MessageLoop::QuitRequested() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return quit_;
}

// Waits for the next message. Returns false when the loop must end: Quit was
// called, or `done` (checked without the lock, since it looks at state that
// the dispatched messages change) says the modal step is over.
bool MessageLoop::WaitAndTake(Message& out, const std::function<bool()>& done) {
    bool idle = false;
    for (;;) {
        if (done && done())
            return false;
        std::unique_lock<std::mutex> lock(mutex_);
        if (quit_)
            return false;
        if (!queue_.empty()) {
            out = std::move(queue_.front());
            queue_.pop_front();
            return true;
        }
        // The handler hears of the wait first, outside the lock (it may post).
        if (!idle && activity_) {
            idle = true;
            lock.unlock();
            activity_(false);
            continue;
        }
        ready_.wait(lock);
    }
}

void MessageLoop::Dispatch(Message& message) {
    if (activity_)
        activity_(true);
    if (Task* task = std::get_if<Task>(&message)) {
        if (*task)
            (*task)();
        return;
    }
    const InputMessage& input = std::get<InputMessage>(message);
    if (hook_)
        hook_(input);
}

int MessageLoop::Run() {
    Message message;
    while (WaitAndTake(message, nullptr))
        Dispatch(message);
    std::lock_guard<std::mutex> lock(mutex_);
    return exit_code_;
}

bool MessageLoop::RunModal(const std::function<bool()>& done) {
    Message message;
    while (WaitAndTake(message, done))
        Dispatch(message);
    return !QuitRequested();
}

void MessageLoop::ProcessMessages() {
    size_t waiting = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting = queue_.size();
    }
    // Only the messages present on entry: a task that posts another does not
    // keep this call going.
    for (size_t i = 0; i < waiting; ++i) {
        Message message;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (quit_ || queue_.empty())
                return;
            message = std::move(queue_.front());
            queue_.pop_front();
        }
        Dispatch(message);
    }
}

}  // namespace platform
