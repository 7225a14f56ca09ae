#include "platform/message_loop.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <utility>

namespace {

using platform::InputMessage;
using platform::MessageLoop;

TEST(MessageLoop, RunsPostedTasksInOrderUntilQuit) {
    MessageLoop loop;
    std::string trace;
    loop.Post([&] { trace += "a"; });
    loop.Post([&] {
        trace += "b";
        loop.Post([&] { trace += "d"; });
        loop.Quit(7);
        loop.Quit(9);  // the first code wins
    });
    loop.Post([&] { trace += "c"; });
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_EQ(trace, "ab");
}

TEST(MessageLoop, TasksFromOtherThreadsWakeTheLoop) {
    MessageLoop loop;
    int sum = 0;
    std::thread poster([&] {
        for (int i = 1; i <= 100; ++i)
            loop.Post([&sum, i] { sum += i; });
        loop.Post([&] { loop.Quit(0); });
    });
    EXPECT_EQ(loop.Run(), 0);
    poster.join();
    EXPECT_EQ(sum, 5050);
}

// A modal step inside a task keeps the queue moving and returns to the
// statement after it, like a modal box on the window thread.
TEST(MessageLoop, NestedModalLoops) {
    MessageLoop loop;
    std::string trace;
    loop.Post([&] {
        bool acknowledged = false;
        trace += "[";
        loop.Post([&] { trace += "x"; });
        loop.Post([&] { acknowledged = true; });
        loop.Post([&] { trace += "after"; });
        EXPECT_TRUE(loop.RunModal([&] { return acknowledged; }));
        trace += "]";
        loop.Post([&] { loop.Quit(0); });
    });
    loop.Run();
    EXPECT_EQ(trace, "[x]after");
}

TEST(MessageLoop, QuitEndsEveryNestedLoop) {
    MessageLoop loop;
    bool modal_result = true;
    loop.Post([&] {
        loop.Post([&] { loop.Quit(3); });
        modal_result = loop.RunModal([] { return false; });
    });
    EXPECT_EQ(loop.Run(), 3);
    EXPECT_FALSE(modal_result);
}

TEST(MessageLoop, ProcessMessagesRunsOnlyWhatIsWaiting) {
    MessageLoop loop;
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        loop.Post(again);
    };
    loop.Post(again);
    loop.Post(again);
    loop.ProcessMessages();
    EXPECT_EQ(runs, 2);
}

TEST(MessageLoop, TheActivityHandlerHearsOfEveryStepAndEveryWait) {
    MessageLoop loop;
    std::string trace;
    std::function<void()> when_idle;  // run once, at the next wait
    loop.SetActivityHandler([&](bool busy) {
        trace += busy ? "+" : ".";
        if (!busy && when_idle)
            std::exchange(when_idle, nullptr)();
    });
    // Each task is a step of its own; a modal step waits inside its task;
    // what ProcessMessages runs are steps too.
    loop.Post([&] { trace += "a"; });
    loop.Post([&] {
        trace += "b";
        bool done = false;
        when_idle = [&] {
            loop.Post([&] {
                trace += "m";
                done = true;
            });
        };
        loop.RunModal([&] { return done; });
        loop.Post([&] { trace += "p"; });
        loop.ProcessMessages();
        trace += "c";
        when_idle = [&] { loop.Quit(0); };
    });
    loop.Run();
    EXPECT_EQ(trace, "+a+b.+m+pc.");
}

TEST(MessageLoop, HookSeesEveryInputFirstAndCanBeReplaced) {
    MessageLoop loop;
    std::string trace;
    // The trace is appended to piece by piece: GCC 12 at -O3 reports a false
    // -Wrestrict overlap inside "literal" + std::string.
    EXPECT_FALSE(loop.SetHook([&](const InputMessage& m) {
        trace.push_back('A');
        trace += std::to_string(m.x);
    }));
    loop.PostInput({InputMessage::MouseMove, 1, 0, 0, 10});
    loop.Post([&] {
        // A modal step puts its own hook in place and restores the old one.
        platform::InputHook previous = loop.SetHook([&](const InputMessage& m) {
            trace.push_back('B');
            trace += std::to_string(m.x);
        });
        loop.PostInput({InputMessage::ButtonDown, 2, 0, 0, 20});
        loop.ProcessMessages();
        loop.SetHook(previous);
        loop.PostInput({InputMessage::KeyDown, 3, 0, 65, 30});
        loop.Post([&] { loop.Quit(0); });
    });
    loop.Run();
    EXPECT_EQ(trace, "A1B2A3");
}

}  // namespace
