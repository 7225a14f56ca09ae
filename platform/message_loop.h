// The window thread's message loop: a queue of work items that other threads
// post to, a loop that runs them in order, nested modal loops that keep the
// queue moving while a modal step (a message box, the collection window)
// waits, and one application-wide hook that sees every input message before
// it is dispatched.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <variant>

namespace platform {

// One user input event as the page viewer reports it: what happened, where,
// which key, and the viewer's own millisecond time stamp.
struct InputMessage {
    enum Kind { MouseMove, ButtonDown, ButtonUp, KeyDown };
    Kind kind = MouseMove;
    int32_t x = 0;
    int32_t y = 0;
    uint32_t key = 0;
    uint32_t time_ms = 0;
};

// The application-wide input hook. It sees every input message of the window
// thread, in order, before the message is dispatched.
using InputHook = std::function<void(const InputMessage&)>;

class MessageLoop {
  public:
    using Task = std::function<void()>;

    MessageLoop() = default;
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // Queues a task for the window thread. Safe from any thread.
    void Post(Task task);

    // Queues an input message. Safe from any thread. On the window thread the
    // hook in place at dispatch time sees it.
    void PostInput(const InputMessage& message);

    // Replaces the input hook and returns the one it replaces, so that a modal
    // step can put its own hook in place and restore the previous one after.
    // Window thread only. An empty hook means none.
    InputHook SetHook(InputHook hook);

    // Runs the loop on the calling thread (the window thread) until Quit is
    // called; returns the code given to Quit.
    int Run();

    // A nested loop for a modal step: runs queued messages until `done`
    // returns true (checked before waiting and after every message) or Quit is
    // called. `done` must look only at state that the messages of this loop
    // change: another thread that ends a modal step does so by posting a task.
    // Returns false when it ended because of Quit. Window thread only.
    bool RunModal(const std::function<bool()>& done);

    // Runs the messages already waiting, without blocking, and returns. Window
    // thread only.
    void ProcessMessages();

    // Told, on the window thread, when the thread takes up a message (true)
    // and when it has run out of them and is about to wait (false), so that
    // what one step of the window produces can leave together. Replaces the
    // handler before; an empty one means none. Window thread only.
    using ActivityHandler = std::function<void(bool busy)>;
    void SetActivityHandler(ActivityHandler handler);

    // Ends Run and every nested modal loop. Safe from any thread; the first
    // code given wins.
    void Quit(int exit_code);
    bool QuitRequested() const;

  private:
    using Message = std::variant<Task, InputMessage>;

    bool WaitAndTake(Message& out, const std::function<bool()>& done);
    void Dispatch(Message& message);

    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Message> queue_;
    bool quit_ = false;
    int exit_code_ = 0;
    InputHook hook_;
    ActivityHandler activity_;
};

}  // namespace platform
