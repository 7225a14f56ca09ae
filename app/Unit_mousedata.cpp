#include "app/Unit_mousedata.h"

#include <algorithm>
#include <utility>

namespace app {

uint32_t InputParam(const platform::InputMessage& message) {
    if (message.kind == platform::InputMessage::KeyDown)
        return 1u | ((message.key & 0xFFu) << 16);
    return (static_cast<uint32_t>(message.x) & 0xFFFFu) |
           ((static_cast<uint32_t>(message.y) & 0xFFFFu) << 16);
}

void FeedValue(RandomPool& pool, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    rand_update(&pool, bytes, sizeof bytes);
}

TMouseData::TMouseData(platform::MessageLoop& loop, platform::PageViewer* viewer)
    : loop_(loop), viewer_(viewer) {}

bool TMouseData::Do_MouseData() {
    if (Needed == 0)
        Needed = 1;
    loop_.ProcessMessages();
    if (loop_.QuitRequested())
        return false;

    collecting_ = Events < Needed;
    if (viewer_ != nullptr) {
        viewer_->StartCollection(Needed - std::min(Events, Needed));
        viewer_->SetCollectionProgress(Bar);
    }
    platform::InputHook previous = loop_.SetHook([this](const platform::InputMessage& message) {
        bool handled = false;
        AppMessage(message, handled);
    });
    const bool completed = loop_.RunModal([this] { return !collecting_; }) && !collecting_;
    loop_.SetHook(std::move(previous));
    collecting_ = false;
    if (viewer_ != nullptr)
        viewer_->StopCollection();
    return completed;
}

void TMouseData::AppMessage(const platform::InputMessage& message, bool& /*handled*/) {
    if (!collecting_)
        return;
    Samples.push_back(InputParam(message));
    Samples.push_back(message.time_ms);
    ++Events;
    // Only a change of the bar's position goes to the viewer: 100 updates
    // for a whole collection, whatever Needed is.
    const int position = static_cast<int>(static_cast<uint64_t>(Events) * 100 / Needed);
    if (position != Bar) {
        Bar = position;
        if (viewer_ != nullptr)
            viewer_->SetCollectionProgress(Bar);
    }
    if (Events >= Needed)
        collecting_ = false;
}

}  // namespace app
