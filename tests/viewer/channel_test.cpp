// The window-to-page command list and the watch over the page's presence.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "viewer/command_channel.h"

namespace {

using nlohmann::json;
using viewer::CommandChannel;
using namespace std::chrono_literals;

std::vector<uint64_t> Seqs(const json& commands) {
    std::vector<uint64_t> out;
    for (const json& c : commands)
        out.push_back(c["seq"].get<uint64_t>());
    return out;
}

TEST(CommandChannel, CommandsStayUntilThePageHasFinishedThem) {
    CommandChannel channel;
    channel.Push(json{{"type", "load"}});
    channel.Push(json{{"type", "message"}});
    channel.Push(json{{"type", "focus"}});

    // A new page that finished nothing gets everything, in order.
    EXPECT_EQ(Seqs(channel.Poll(0, 0, 0ms)), (std::vector<uint64_t>{1, 2, 3}));
    // The page finished the load and holds the rest: nothing new for it.
    EXPECT_TRUE(channel.Poll(1, 3, 0ms).empty());
    // It reloads while the message box is open: the box comes again, the
    // load does not.
    EXPECT_EQ(Seqs(channel.Poll(1, 1, 0ms)), (std::vector<uint64_t>{2, 3}));
    EXPECT_TRUE(channel.Delivered(3));
    EXPECT_FALSE(channel.Delivered(4));
}

TEST(CommandChannel, APollWaitsForTheNextCommand) {
    CommandChannel channel;
    std::thread window([&] {
        std::this_thread::sleep_for(50ms);
        channel.Push(json{{"type", "close"}});
    });
    const json commands = channel.Poll(0, 0, 30s);
    window.join();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0]["type"], "close");
    EXPECT_TRUE(channel.WaitDelivered(1, 0ms));
}

TEST(CommandChannel, ShutdownEndsWaitingPolls) {
    CommandChannel channel;
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        channel.Shutdown();
    });
    EXPECT_TRUE(channel.Poll(0, 0, 60s).empty());
    stopper.join();
    EXPECT_FALSE(channel.WaitDelivered(1, 60s));
}

TEST(CommandChannel, PageIsGoneOnlyAfterAHelloAndASilentGrace) {
    const auto grace = 3s;
    const auto later = [] { return CommandChannel::Clock::now() + 10s; };
    CommandChannel channel;
    // Before the browser first shows a page nothing is gone, however long.
    EXPECT_FALSE(channel.PageGone(later(), grace));

    channel.PageHello("a");
    EXPECT_FALSE(channel.PageGone(CommandChannel::Clock::now(), grace));
    EXPECT_TRUE(channel.PageGone(later(), grace));

    // A page request the window is still answering keeps the page alive.
    channel.RequestStarted();
    EXPECT_FALSE(channel.PageGone(later(), grace));
    channel.RequestEnded();
    EXPECT_TRUE(channel.PageGone(later(), grace));
}

TEST(CommandChannel, AWaitingPollKeepsThePageUnlessThatPageSaidGoodbye) {
    const auto grace = 3s;
    const auto later = [] { return CommandChannel::Clock::now() + 10s; };
    CommandChannel channel;
    channel.PageHello("b");
    std::thread page([&] { channel.Poll(0, 0, 60s); });
    // Wait for the page's poll to be in flight.
    for (int i = 0; i < 2000 && channel.PageGone(later(), grace); ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(channel.PageGone(later(), grace));
    channel.PageLeaving("a");  // an older page's late goodbye
    EXPECT_FALSE(channel.PageGone(later(), grace));
    channel.PageLeaving("b");
    EXPECT_TRUE(channel.PageGone(later(), grace));
    // The next page says hello: present again.
    channel.PageHello("c");
    EXPECT_FALSE(channel.PageGone(CommandChannel::Clock::now(), grace));
    channel.Shutdown();
    page.join();
}

TEST(CommandChannel, SilenceCountsOnlyWhileTheServerHadAFreeThread) {
    const auto grace = 3s;
    const auto later = [] { return CommandChannel::Clock::now() + 10s; };
    CommandChannel channel;
    channel.PageHello("a");
    // Every thread busy: the page's requests wait in line, so no silence
    // counts, however long.
    channel.ServerFull(true);
    EXPECT_FALSE(channel.PageGone(later(), grace));
    // A thread is free again: the grace starts now, not at the last hello.
    channel.ServerFull(false);
    EXPECT_FALSE(channel.PageGone(CommandChannel::Clock::now() + 2s, grace));
    EXPECT_TRUE(channel.PageGone(later(), grace));
}

}  // namespace

namespace {

TEST(CommandChannelStart, TheFirstLoadIsTakenOnceAndNeverSentAgain) {
    viewer::CommandChannel channel;
    EXPECT_FALSE(channel.TakeFirstLoad());  // nothing yet
    channel.Push(nlohmann::json{{"type", "load"}, {"page", "INDEX.HTM"}});
    channel.Push(nlohmann::json{{"type", "focus"}, {"index", 2}});
    const std::optional<nlohmann::json> first = channel.TakeFirstLoad();
    ASSERT_TRUE(first);
    EXPECT_EQ((*first)["page"], "INDEX.HTM");
    EXPECT_EQ((*first)["seq"], 1);
    EXPECT_TRUE(channel.Delivered(1));
    EXPECT_FALSE(channel.TakeFirstLoad());
    // A page that knows nothing of it still gets only what follows.
    const nlohmann::json commands = channel.Poll(0, 0, std::chrono::milliseconds(0));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0]["type"], "focus");

    // A first command that is not a load, or one already delivered, stays.
    viewer::CommandChannel other;
    other.Push(nlohmann::json{{"type", "message"}, {"id", 1}});
    EXPECT_FALSE(other.TakeFirstLoad());
    viewer::CommandChannel polled;
    polled.Push(nlohmann::json{{"type", "load"}, {"page", "INDEX.HTM"}});
    ASSERT_EQ(polled.Poll(0, 0, std::chrono::milliseconds(0)).size(), 1u);
    EXPECT_FALSE(polled.TakeFirstLoad());
}

}  // namespace
